#pragma once
// Measures and looks shared by every form and control: twips (1/1440 inch)
// against the screen's pixels, colour values with the system colour codes,
// and fonts with the Japanese character set.
#include <windows.h>

#include <cstdint>
#include <string>

namespace norvale::forms {

// Twips per screen pixel (15 at 96 DPI).
double TwipsPerPixelX();
double TwipsPerPixelY();
int TwipsToPixelsX(double twips);
int TwipsToPixelsY(double twips);
float PixelsToTwipsX(int pixels);
float PixelsToTwipsY(int pixels);

// A colour is red + 256 × green + 65536 × blue; a value with the highest bit
// set names a system colour by its index in the low byte.
constexpr int32_t kSystemColorFlag = static_cast<int32_t>(0x80000000u);
constexpr int32_t kColorWindow = kSystemColorFlag | COLOR_WINDOW;
constexpr int32_t kColorWindowText = kSystemColorFlag | COLOR_WINDOWTEXT;
constexpr int32_t kColorButtonFace = kSystemColorFlag | COLOR_BTNFACE;
constexpr int32_t kColorButtonText = kSystemColorFlag | COLOR_BTNTEXT;
constexpr int32_t Rgb(int red, int green, int blue) {
  return (red & 0xFF) | ((green & 0xFF) << 8) | ((blue & 0xFF) << 16);
}
// The colour as Windows draws it.
COLORREF ResolveColor(int32_t color);

// A font as the controls hold it; the character set is always Shift-JIS.
struct StdFont {
  std::wstring Name = L"ＭＳ Ｐゴシック";
  float Size = 9;  // points
  bool Bold = false;
  bool Italic = false;
  bool Underline = false;
  bool Strikethrough = false;

  bool operator==(const StdFont&) const = default;
};

// A new GDI font for the screen; the caller owns it.
HFONT CreateScreenFont(const StdFont& font);

}  // namespace norvale::forms
