#pragma once
// A check box with the values 0 unticked, 1 ticked and 2 greyed.
#include "forms/Control.h"

namespace norvale::forms {

class CheckBox : public Control {
 public:
  explicit CheckBox(const Init& init);

  const std::wstring& Caption() const { return caption_; }
  void Caption(const std::wstring& value);
  int16_t Value() const { return value_; }
  // Values outside 0 to 2 are refused; a change raises Click.
  bool Value(int16_t value);
  bool TakesFocus() const override { return true; }

 protected:
  WindowKind Kind() const override;
  std::wstring InitialWindowText() const override { return caption_; }
  void AfterWindowCreated() override;
  std::unique_ptr<Control> NewElement(const Init& init) const override;
  void CopyFrom(const Control& source) override;
  void OnCommand(WORD code) override;

 private:
  void SetCheckMark();

  std::wstring caption_;
  int16_t value_ = 0;
};

}  // namespace norvale::forms
