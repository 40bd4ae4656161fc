#pragma once
// A control with the DDE link properties of the toolkit: a link mode (0 no
// link, 2 manual), the server's topic and item, the value it sends and the
// poke that sends it. A control without a link has none of this.
#include <cstdint>
#include <string>

namespace norvale::forms {

class IDdeLinkControl {
 public:
  virtual ~IDdeLinkControl() = default;
  virtual int32_t LinkMode() const = 0;
  // Each setter returns false when the control refuses (no server answers).
  virtual bool SetLinkMode(int32_t mode) = 0;
  virtual bool SetLinkTopic(const std::wstring& topic) = 0;
  virtual bool SetLinkItem(const std::wstring& item) = 0;
  virtual bool SetValue(const std::wstring& value) = 0;
  virtual bool LinkPoke() = 0;
};

}  // namespace norvale::forms
