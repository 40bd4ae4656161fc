#include "forms/Frame.h"

#include "forms/WindowClasses.h"

namespace norvale::forms {

Frame::Frame(const Init& init) : Control(init) {}

Control::WindowKind Frame::Kind() const {
  return {ToolkitClassName(ToolkitClass::kContainer), WS_CLIPCHILDREN, 0, true};
}

std::unique_ptr<Control> Frame::NewElement(const Init& init) const {
  return std::make_unique<Frame>(init);
}

void Frame::CopyFrom(const Control& source) {
  Control::CopyFrom(source);
  const auto& frame = static_cast<const Frame&>(source);
  caption_ = frame.caption_;
  borderStyle_ = frame.borderStyle_;
}

void Frame::Caption(const std::wstring& value) {
  caption_ = value;
  if (hwnd_) InvalidateRect(hwnd_, nullptr, TRUE);
}

bool Frame::BorderStyle(int16_t value) {
  if (value != 0 && value != 1) return false;
  borderStyle_ = value;
  if (hwnd_) InvalidateRect(hwnd_, nullptr, TRUE);
  return true;
}

void Frame::PaintBorder(HDC dc) {
  RECT rc{};
  GetClientRect(hwnd_, &rc);
  Selection font(dc, ScreenFont());
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  RECT edge = rc;
  if (!caption_.empty()) edge.top += metrics.tmHeight / 2;
  if (borderStyle_ == 1) DrawEdge(dc, &edge, EDGE_ETCHED, BF_RECT);
  if (caption_.empty()) return;
  SetTextColor(dc, ResolveColor(foreColor_));
  SetBkColor(dc, ResolveColor(backColor_));
  SetBkMode(dc, OPAQUE);
  RECT text{rc.left + 8, rc.top, rc.right - 8, rc.top + metrics.tmHeight};
  DrawTextW(dc, caption_.c_str(), static_cast<int>(caption_.size()), &text,
            DT_LEFT | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
}

LRESULT Frame::WindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND:
      FillBackground(reinterpret_cast<HDC>(wParam));
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      PaintBorder(dc);
      EndPaint(hwnd, &ps);
      return 0;
    }
    default:
      return Control::WindowMessage(hwnd, message, wParam, lParam);
  }
}

}  // namespace norvale::forms
