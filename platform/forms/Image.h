#pragma once
// An image: an icon or a picture from the program's resources, drawn at its
// own size or stretched to the control.
#include "forms/Control.h"

namespace norvale::forms {

class Image : public Control {
 public:
  explicit Image(const Init& init);
  ~Image() override;

  bool HasFont() const override { return false; }
  bool Stretch() const { return stretch_; }
  void Stretch(bool value);

  // An icon resource of the module.
  bool PictureFromIcon(HMODULE module, int resourceId);
  // A JPEG, GIF or BMP picture stored as a resource of the given type.
  bool PictureFromResource(HMODULE module, int resourceId, const wchar_t* type = RT_RCDATA);
  void ClearPicture();
  bool HasPicture() const { return icon_.Get() || bitmap_; }

 protected:
  WindowKind Kind() const override;
  std::unique_ptr<Control> NewElement(const Init& init) const override;
  void CopyFrom(const Control& source) override;
  LRESULT WindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void PaintPicture(HDC dc);

  bool stretch_ = false;
  IconHandle icon_;
  BitmapHandle bitmap_;
};

}  // namespace norvale::forms
