#pragma once
// A label: text that wraps within the control, on its back colour.
#include "forms/Control.h"

namespace norvale::forms {

class Label : public Control {
 public:
  explicit Label(const Init& init);

  const std::wstring& Caption() const { return caption_; }
  void Caption(const std::wstring& value);

 protected:
  WindowKind Kind() const override;
  std::wstring InitialWindowText() const override { return caption_; }
  std::unique_ptr<Control> NewElement(const Init& init) const override;
  void CopyFrom(const Control& source) override;
  void OnCommand(WORD code) override;

 private:
  std::wstring caption_;
};

}  // namespace norvale::forms
