#pragma once
// A push button; a click, the space bar or Enter on it raise Click.
#include "forms/Control.h"

namespace norvale::forms {

class CommandButton : public Control {
 public:
  explicit CommandButton(const Init& init);

  const std::wstring& Caption() const { return caption_; }
  void Caption(const std::wstring& value);
  bool TakesFocus() const override { return true; }

 protected:
  WindowKind Kind() const override;
  std::wstring InitialWindowText() const override { return caption_; }
  std::unique_ptr<Control> NewElement(const Init& init) const override;
  void CopyFrom(const Control& source) override;
  void OnCommand(WORD code) override;
  bool KeyDownAction(WPARAM key) override;

 private:
  std::wstring caption_;
};

}  // namespace norvale::forms
