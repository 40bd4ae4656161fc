#pragma once
// The drawing surface of forms and picture boxes: the inner drawing area in
// scale units, text measurement with the surface's font, and filled boxes.
// Drawings persist in a bitmap of the surface's size, so a repaint never
// loses them.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "forms/GdiObjects.h"

namespace norvale::forms {

class Widget;

// Scale modes the toolkit knows.
constexpr int16_t kScaleTwips = 1;
constexpr int16_t kScalePixels = 3;

class Surface {
 public:
  virtual ~Surface();
  Surface(const Surface&) = delete;
  Surface& operator=(const Surface&) = delete;

  // The form or picture box itself (its Font and BackColor are the
  // surface's).
  Widget& Owner() const { return owner_; }

  // Inner drawing area in scale units; 0 while there is no window.
  float ScaleWidth() const;
  float ScaleHeight() const;
  int16_t ScaleMode() const { return scaleMode_; }
  // Twips (1) and pixels (3); other modes are refused.
  bool ScaleMode(int16_t mode);
  bool AutoRedraw() const { return autoRedraw_; }
  void AutoRedraw(bool value) { autoRedraw_ = value; }

  // Text extent with the surface's font, in scale units; lines are split at
  // line feeds: the width is the widest line, the height all lines.
  float TextWidth(const std::wstring& text) const;
  float TextHeight(const std::wstring& text) const;

  // The Line operation with its box-and-fill option: a box filled in the
  // colour, both corners included.
  bool FillBox(float x1, float y1, float x2, float y2, int32_t color);
  // Clears the drawings to the back colour.
  void Cls();
  // The colour of a drawn point, -1 outside the surface.
  int32_t Point(float x, float y) const;

 protected:
  explicit Surface(Widget& owner) : owner_(owner) {}
  // Paints the drawings; false when nothing was ever drawn.
  bool PaintDrawings(HDC dc) const;
  void SurfaceResized();
  void SurfaceBackColorChanged() { Cls(); }

 private:
  double UnitsPerPixelX() const;
  double UnitsPerPixelY() const;
  SIZE ClientSize() const;
  bool EnsureCanvas();

  Widget& owner_;
  int16_t scaleMode_ = kScaleTwips;
  bool autoRedraw_ = false;
  std::unique_ptr<MemoryDc> canvasDc_;
  BitmapHandle canvas_;
  SIZE canvasSize_{};
};

}  // namespace norvale::forms
