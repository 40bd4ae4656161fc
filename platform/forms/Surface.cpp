#include "forms/Surface.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "forms/Units.h"
#include "forms/Widget.h"

namespace norvale::forms {

namespace {

std::vector<std::wstring> SplitLines(const std::wstring& text) {
  std::vector<std::wstring> lines;
  std::wstring current;
  for (wchar_t c : text) {
    if (c == L'\r') continue;
    if (c == L'\n') {
      lines.push_back(current);
      current.clear();
    } else {
      current.push_back(c);
    }
  }
  lines.push_back(current);
  return lines;
}

}  // namespace

Surface::~Surface() = default;

double Surface::UnitsPerPixelX() const {
  return scaleMode_ == kScalePixels ? 1.0 : TwipsPerPixelX();
}
double Surface::UnitsPerPixelY() const {
  return scaleMode_ == kScalePixels ? 1.0 : TwipsPerPixelY();
}

SIZE Surface::ClientSize() const {
  RECT rc{};
  if (!owner_.hWnd() || !GetClientRect(owner_.hWnd(), &rc)) return SIZE{0, 0};
  return SIZE{rc.right - rc.left, rc.bottom - rc.top};
}

float Surface::ScaleWidth() const {
  return static_cast<float>(ClientSize().cx * UnitsPerPixelX());
}
float Surface::ScaleHeight() const {
  return static_cast<float>(ClientSize().cy * UnitsPerPixelY());
}

bool Surface::ScaleMode(int16_t mode) {
  if (mode != kScaleTwips && mode != kScalePixels) return false;
  scaleMode_ = mode;
  return true;
}

float Surface::TextWidth(const std::wstring& text) const {
  MemoryDc dc;
  if (!dc.Get()) return 0;
  FontHandle font(CreateScreenFont(owner_.Font()));
  Selection selected(dc.Get(), font.Get());
  LONG widest = 0;
  for (const std::wstring& line : SplitLines(text)) {
    SIZE extent{};
    if (!line.empty() &&
        GetTextExtentPoint32W(dc.Get(), line.c_str(), static_cast<int>(line.size()), &extent)) {
      widest = std::max(widest, extent.cx);
    }
  }
  return static_cast<float>(widest * UnitsPerPixelX());
}

float Surface::TextHeight(const std::wstring& text) const {
  MemoryDc dc;
  if (!dc.Get()) return 0;
  FontHandle font(CreateScreenFont(owner_.Font()));
  Selection selected(dc.Get(), font.Get());
  TEXTMETRICW metrics{};
  if (!GetTextMetricsW(dc.Get(), &metrics)) return 0;
  const size_t lines = SplitLines(text).size();
  return static_cast<float>(lines * metrics.tmHeight * UnitsPerPixelY());
}

bool Surface::EnsureCanvas() {
  const SIZE size = ClientSize();
  if (canvas_ && size.cx == canvasSize_.cx && size.cy == canvasSize_.cy) return true;
  if (size.cx <= 0 || size.cy <= 0) return false;
  HDC screen = GetDC(nullptr);
  if (!screen) return false;
  BitmapHandle bitmap(CreateCompatibleBitmap(screen, size.cx, size.cy));
  ReleaseDC(nullptr, screen);
  if (!bitmap) return false;
  auto dc = std::make_unique<MemoryDc>();
  if (!dc->Get()) return false;
  SelectObject(dc->Get(), bitmap.Get());
  // New area takes the back colour; what was drawn before stays.
  BrushHandle brush(CreateSolidBrush(ResolveColor(owner_.BackColor())));
  RECT all{0, 0, size.cx, size.cy};
  FillRect(dc->Get(), &all, brush.Get());
  if (canvas_) BitBlt(dc->Get(), 0, 0, canvasSize_.cx, canvasSize_.cy, canvasDc_->Get(), 0, 0, SRCCOPY);
  // The old bitmap must leave its DC before it is deleted.
  canvasDc_ = std::move(dc);
  canvas_ = std::move(bitmap);
  canvasSize_ = size;
  return true;
}

bool Surface::FillBox(float x1, float y1, float x2, float y2, int32_t color) {
  if (!EnsureCanvas()) return false;
  const double ux = UnitsPerPixelX(), uy = UnitsPerPixelY();
  const long left = std::lround(std::min(x1, x2) / ux), right = std::lround(std::max(x1, x2) / ux);
  const long top = std::lround(std::min(y1, y2) / uy), bottom = std::lround(std::max(y1, y2) / uy);
  RECT box{left, top, right + 1, bottom + 1};
  BrushHandle brush(CreateSolidBrush(ResolveColor(color)));
  if (!brush || !FillRect(canvasDc_->Get(), &box, brush.Get())) return false;
  if (owner_.hWnd()) InvalidateRect(owner_.hWnd(), &box, FALSE);
  return true;
}

void Surface::Cls() {
  if (!canvas_) return;
  BrushHandle brush(CreateSolidBrush(ResolveColor(owner_.BackColor())));
  RECT all{0, 0, canvasSize_.cx, canvasSize_.cy};
  FillRect(canvasDc_->Get(), &all, brush.Get());
  if (owner_.hWnd()) InvalidateRect(owner_.hWnd(), nullptr, TRUE);
}

int32_t Surface::Point(float x, float y) const {
  const long px = std::lround(x / UnitsPerPixelX()), py = std::lround(y / UnitsPerPixelY());
  const SIZE size = ClientSize();
  if (px < 0 || py < 0 || px >= size.cx || py >= size.cy) return -1;
  if (!canvas_ || px >= canvasSize_.cx || py >= canvasSize_.cy) {
    return static_cast<int32_t>(ResolveColor(owner_.BackColor()));
  }
  const COLORREF c = GetPixel(canvasDc_->Get(), px, py);
  return c == CLR_INVALID ? -1 : static_cast<int32_t>(c);
}

bool Surface::PaintDrawings(HDC dc) const {
  if (!canvas_) return false;
  BitBlt(dc, 0, 0, canvasSize_.cx, canvasSize_.cy, canvasDc_->Get(), 0, 0, SRCCOPY);
  return true;
}

void Surface::SurfaceResized() {
  if (canvas_) EnsureCanvas();
}

}  // namespace norvale::forms
