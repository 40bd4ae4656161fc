// Drawing and colours over the form toolkit: colour components, the
// contrasting signal colour, a vertical gradient and a bar gauge.
#include <cmath>
#include <cstdint>

#include "clsPublicFunc.h"
#include "forms/Forms.h"

using namespace norvale;

namespace {

struct Components {
  int32_t red, green, blue;
};

// Colours of six hexadecimal digits split into their bytes. A system colour
// code (highest bit set) is taken as the colour it stands for; any other
// value beyond six digits keeps its low three bytes.
Components SplitColor(int32_t color) {
  const int32_t value = (color & forms::kSystemColorFlag) != 0
                            ? static_cast<int32_t>(forms::ResolveColor(color))
                            : color;
  return {value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF};
}

// Rounds to a 16-bit integer, halves to even; false beyond its range.
bool RoundTo16Bit(double value, int32_t* rounded) {
  const double r = std::nearbyint(value);
  if (!(r >= -32768 && r <= 32767)) return false;
  *rounded = static_cast<int32_t>(r);
  return true;
}

int32_t BandComponent(int32_t start, int32_t end, int32_t y, int32_t height) {
  const int32_t product = (start - end) * y;
  double value = start - static_cast<double>(product) / height;
  if (value < 0) value = 0;
  return static_cast<int32_t>(std::nearbyint(value));
}

}  // namespace

int16_t clsPublicFunc::GetRedFromRGB(int32_t rgb) { return static_cast<int16_t>(rgb & 0xFF); }

int16_t clsPublicFunc::GetGreenFromRGB(int32_t rgb) {
  return static_cast<int16_t>((rgb >> 8) & 0xFF);
}

int16_t clsPublicFunc::GetBlueFromRGB(int32_t rgb) {
  return static_cast<int16_t>((rgb >> 16) & 0xFF);
}

// Green does not count; equal red and blue give blue.
int32_t clsPublicFunc::GetReverceColor(int32_t lngRGB) {
  return GetBlueFromRGB(lngRGB) > GetRedFromRGB(lngRGB) ? forms::Rgb(255, 0, 0)
                                                          : forms::Rgb(0, 0, 255);
}

bool clsPublicFunc::DrawBackGradation(forms::Surface* aObjCtrl, int32_t aLngStatColor,
                                      int32_t aLngEndColor) {
  if (!aObjCtrl) return false;
  forms::Widget& surface = aObjCtrl->Owner();
  const int32_t savedBackColor = surface.BackColor();
  auto fail = [&] {
    // Setting the back colour again also clears what was drawn.
    if (savedBackColor != 0) surface.BackColor(savedBackColor);
    return false;
  };
  const Components start = SplitColor(aLngStatColor);
  const Components end = SplitColor(aLngEndColor);
  int32_t height = 0, width = 0;
  if (!RoundTo16Bit(aObjCtrl->ScaleHeight(), &height) ||
      !RoundTo16Bit(aObjCtrl->ScaleWidth(), &width) || height == 0) {
    return fail();
  }
  // Bands of 50 units overlapping by one, the last one starting at the
  // greatest multiple of 50 not above the height.
  for (int32_t y = 0; y <= height; y += 50) {
    const int32_t color = forms::Rgb(BandComponent(start.red, end.red, y, height),
                                     BandComponent(start.green, end.green, y, height),
                                     BandComponent(start.blue, end.blue, y, height));
    if (!aObjCtrl->FillBox(-1, static_cast<float>(y - 1), static_cast<float>(width),
                           static_cast<float>(y + 50), color)) {
      return fail();
    }
  }
  return true;
}

bool clsPublicFunc::DrawFromGage(forms::Widget* objDrow, int32_t lngLeft, int32_t lngWidth,
                                 int16_t intRate) {
  if (!objDrow) return false;
  if (intRate <= 0 || lngWidth <= 1) {
    objDrow->Visible(false);
    return false;
  }
  const int32_t rate = intRate > 100 ? 100 : intRate;
  const int64_t product = static_cast<int64_t>(lngWidth) * rate;
  if (product > INT32_MAX || !objDrow->Left(static_cast<float>(lngLeft)) ||
      !objDrow->Width(static_cast<float>(rate == 100 ? lngWidth : product / 100))) {
    objDrow->Visible(false);
    return false;
  }
  objDrow->Visible(true);
  seams_.pump->DoEvents();
  return false;
}
