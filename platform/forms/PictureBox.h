#pragma once
// A picture box: a container and drawing surface with a back colour and an
// optional sunken border.
#include "forms/Control.h"
#include "forms/Surface.h"

namespace norvale::forms {

class PictureBox : public Control, public Surface {
 public:
  explicit PictureBox(const Init& init);

  bool IsContainer() const override { return true; }
  Surface* AsSurface() override { return this; }
  int16_t BorderStyle() const { return borderStyle_; }
  // 0 none, 1 fixed single; other values are refused.
  bool BorderStyle(int16_t value);
  // A new back colour clears the drawings.
  bool BackColor(int32_t value) override;
  using Widget::BackColor;

 protected:
  WindowKind Kind() const override;
  std::unique_ptr<Control> NewElement(const Init& init) const override;
  void CopyFrom(const Control& source) override;
  LRESULT WindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  int16_t borderStyle_ = 1;
};

}  // namespace norvale::forms
