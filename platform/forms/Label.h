#pragma once
// A label: text that wraps within the control, on its back colour. Its
// caption is the value a DDE link sends.
#include "forms/Control.h"
#include "forms/DdeLink.h"

namespace norvale::forms {

class Label : public Control, public DdeLink {
 public:
  explicit Label(const Init& init);

  const std::wstring& Caption() const { return caption_; }
  void Caption(const std::wstring& value);
  bool SetValue(const std::wstring& value) override;

 protected:
  WindowKind Kind() const override;
  std::wstring InitialWindowText() const override { return caption_; }
  std::unique_ptr<Control> NewElement(const Init& init) const override;
  void CopyFrom(const Control& source) override;
  void OnCommand(WORD code) override;
  std::wstring LinkValue() const override { return caption_; }

 private:
  std::wstring caption_;
};

}  // namespace norvale::forms
