#pragma once
// A frame: a container with a back colour and, with border style 1, an
// etched border with its caption at the top.
#include "forms/Control.h"

namespace norvale::forms {

class Frame : public Control {
 public:
  explicit Frame(const Init& init);

  bool IsContainer() const override { return true; }
  const std::wstring& Caption() const { return caption_; }
  void Caption(const std::wstring& value);
  int16_t BorderStyle() const { return borderStyle_; }
  // 0 none, 1 fixed single; other values are refused.
  bool BorderStyle(int16_t value);

 protected:
  WindowKind Kind() const override;
  std::unique_ptr<Control> NewElement(const Init& init) const override;
  void CopyFrom(const Control& source) override;
  LRESULT WindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void PaintBorder(HDC dc);

  std::wstring caption_;
  int16_t borderStyle_ = 1;
};

}  // namespace norvale::forms
