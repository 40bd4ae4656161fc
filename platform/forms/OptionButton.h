#pragma once
// An option button. Within one container at most one is selected; the
// toolkit keeps that itself, so it holds after a button moves to another
// container.
#include "forms/Control.h"

namespace norvale::forms {

class OptionButton : public Control {
 public:
  explicit OptionButton(const Init& init);

  const std::wstring& Caption() const { return caption_; }
  void Caption(const std::wstring& value);
  bool Value() const { return value_; }
  // Selecting clears the other option buttons of the container and raises
  // Click when the button was not selected before.
  void Value(bool selected);
  bool TakesFocus() const override { return true; }
  bool IsTabStop() const override;

 protected:
  WindowKind Kind() const override;
  std::wstring InitialWindowText() const override { return caption_; }
  void AfterWindowCreated() override;
  std::unique_ptr<Control> NewElement(const Init& init) const override;
  void CopyFrom(const Control& source) override;
  void OnCommand(WORD code) override;
  void ContainerChanged(Widget& previous) override;

 private:
  void SetCheckMark(bool selected);
  void ClearOthersInContainer();

  std::wstring caption_;
  bool value_ = false;
};

}  // namespace norvale::forms
