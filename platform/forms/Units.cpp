#include "forms/Units.h"

#include <cmath>

namespace norvale::forms {

namespace {

int ScreenDpi(int index) {
  HDC dc = GetDC(nullptr);
  const int dpi = dc ? GetDeviceCaps(dc, index) : 96;
  if (dc) ReleaseDC(nullptr, dc);
  return dpi > 0 ? dpi : 96;
}

}  // namespace

double TwipsPerPixelX() { return 1440.0 / ScreenDpi(LOGPIXELSX); }
double TwipsPerPixelY() { return 1440.0 / ScreenDpi(LOGPIXELSY); }

int TwipsToPixelsX(double twips) { return static_cast<int>(std::lround(twips / TwipsPerPixelX())); }
int TwipsToPixelsY(double twips) { return static_cast<int>(std::lround(twips / TwipsPerPixelY())); }
float PixelsToTwipsX(int pixels) { return static_cast<float>(pixels * TwipsPerPixelX()); }
float PixelsToTwipsY(int pixels) { return static_cast<float>(pixels * TwipsPerPixelY()); }

COLORREF ResolveColor(int32_t color) {
  if ((color & kSystemColorFlag) != 0) {
    const int index = color & 0xFF;
    if (index <= COLOR_MENUBAR) return GetSysColor(index);
  }
  return static_cast<COLORREF>(color & 0xFFFFFF);
}

HFONT CreateScreenFont(const StdFont& font) {
  const int height = -static_cast<int>(std::lround(font.Size * ScreenDpi(LOGPIXELSY) / 72.0));
  return CreateFontW(height, 0, 0, 0, font.Bold ? FW_BOLD : FW_NORMAL, font.Italic,
                     font.Underline, font.Strikethrough, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                     font.Name.c_str());
}

}  // namespace norvale::forms
