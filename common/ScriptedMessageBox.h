#pragma once
// A message box that answers from a queue and records every question, so a
// test can answer the program and check what it asked.
#include <deque>
#include <string>
#include <vector>

#include "Seams.h"

namespace norvale {

class ScriptedMessageBox final : public IMessageBox {
 public:
  struct Question {
    std::wstring text;
    std::wstring title;
    unsigned style;
  };

  // Queues the answer to the next question (IDYES, IDNO, ...).
  void Answer(int button) { answers_.push_back(button); }
  int Show(const std::wstring& text, const std::wstring& title, unsigned style) override;

  const std::vector<Question>& Asked() const { return asked_; }
  void Clear() { asked_.clear(); answers_.clear(); }

 private:
  std::deque<int> answers_;
  std::vector<Question> asked_;
};

}  // namespace norvale
