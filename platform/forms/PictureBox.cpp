#include "forms/PictureBox.h"

#include "forms/WindowClasses.h"

namespace norvale::forms {

PictureBox::PictureBox(const Init& init) : Control(init), Surface(static_cast<Widget&>(*this)) {}

Control::WindowKind PictureBox::Kind() const {
  return {ToolkitClassName(ToolkitClass::kContainer), WS_CLIPCHILDREN,
          static_cast<DWORD>(borderStyle_ == 1 ? WS_EX_CLIENTEDGE : 0), true};
}

std::unique_ptr<Control> PictureBox::NewElement(const Init& init) const {
  return std::make_unique<PictureBox>(init);
}

void PictureBox::CopyFrom(const Control& source) {
  Control::CopyFrom(source);
  const auto& picture = static_cast<const PictureBox&>(source);
  borderStyle_ = picture.borderStyle_;
  ScaleMode(picture.ScaleMode());
  AutoRedraw(picture.AutoRedraw());
}

bool PictureBox::BorderStyle(int16_t value) {
  if (value != 0 && value != 1) return false;
  borderStyle_ = value;
  if (hwnd_) {
    SetWindowLongPtrW(hwnd_, GWL_EXSTYLE, value == 1 ? WS_EX_CLIENTEDGE : 0);
    SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  return true;
}

bool PictureBox::BackColor(int32_t value) {
  Widget::BackColor(value);
  SurfaceBackColorChanged();
  return true;
}

LRESULT PictureBox::WindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND:
      FillBackground(reinterpret_cast<HDC>(wParam));
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      PaintDrawings(dc);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_SIZE:
      SurfaceResized();
      return 0;
    default:
      return Control::WindowMessage(hwnd, message, wParam, lParam);
  }
}

}  // namespace norvale::forms
