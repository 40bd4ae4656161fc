#pragma once
// The DDE link properties of a control, over the system's DDE client
// library. A manual link (mode 2) is a conversation with the server and topic
// that LinkTopic names as "application|topic"; LinkPoke sends the control's
// value to the server under LinkItem, as text in the ANSI code page.
#include <cstdint>
#include <memory>
#include <string>

#include "forms/DdeLinkControl.h"

namespace norvale::forms {

class DdeLink : public IDdeLinkControl {
 public:
  DdeLink();
  DdeLink(const DdeLink&) = delete;
  DdeLink& operator=(const DdeLink&) = delete;
  ~DdeLink() override;

  // 2 while the conversation is open at both ends: one the server closed,
  // or whose server stopped, is no link any more.
  int32_t LinkMode() const override;
  // 0 ends the link. 2 connects anew; when no server answers it is refused
  // and the control is left as it was. Other modes are refused.
  bool SetLinkMode(int32_t mode) override;
  // Both are read when the link is made and the poke is sent, so changing
  // them never touches the link there is.
  const std::wstring& LinkTopic() const { return topic_; }
  bool SetLinkTopic(const std::wstring& topic) override;
  const std::wstring& LinkItem() const { return item_; }
  bool SetLinkItem(const std::wstring& item) override;
  // False without a link, without an item, or when the server does not
  // acknowledge the value in time. The control may end its link or be
  // destroyed by a message handled while the poke waits; the conversation
  // then ends once the poke has returned.
  bool LinkPoke() override;

 protected:
  // What the control sends: a text box's text, a label's caption.
  virtual std::wstring LinkValue() const = 0;

 private:
  class Conversation;

  std::wstring topic_;
  std::wstring item_;
  // Shared with a poke under way, which keeps it until the poke returns.
  std::shared_ptr<Conversation> conversation_;
};

}  // namespace norvale::forms
