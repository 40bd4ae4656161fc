#pragma once
// What forms and controls share: a name, a place and size in twips, the
// look, and the window that mirrors them. The model is the truth: reads
// return the stored values, so the numbers a layout sets come back exactly
// whatever the pixel grid; the window follows the model.
#include <windows.h>

#include <cstdint>
#include <string>

#include "forms/GdiObjects.h"
#include "forms/Units.h"

namespace norvale::forms {

class Form;
class Surface;

// The window procedures of the toolkit's own window classes and of the
// subclassed standard controls.
LRESULT CALLBACK WidgetWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK SubclassWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

class Widget {
 public:
  virtual ~Widget();
  Widget(const Widget&) = delete;
  Widget& operator=(const Widget&) = delete;

  const std::wstring& Name() const { return name_; }
  const std::wstring& Tag() const { return tag_; }
  void Tag(const std::wstring& value) { tag_ = value; }

  // Place and size in twips. A negative width or height is refused (false).
  virtual float Left() const { return left_; }
  virtual bool Left(float value);
  virtual float Top() const { return top_; }
  virtual bool Top(float value);
  virtual float Width() const { return width_; }
  virtual bool Width(float value);
  virtual float Height() const { return height_; }
  virtual bool Height(float value);
  bool Move(float left, float top, float width, float height);

  // The widget's own flags; a control inside a hidden container keeps its
  // own value.
  bool Visible() const { return visible_; }
  virtual bool Visible(bool value);
  bool Enabled() const { return enabled_; }
  virtual bool Enabled(bool value);

  // Controls without a font (images) refuse it.
  virtual bool HasFont() const { return true; }
  const StdFont& Font() const { return font_; }
  virtual bool Font(const StdFont& value);
  bool FontSize(float points);

  int32_t BackColor() const { return backColor_; }
  virtual bool BackColor(int32_t value);
  int32_t ForeColor() const { return foreColor_; }
  bool ForeColor(int32_t value);

  // Redraws the window at once.
  void Refresh();

  HWND hWnd() const { return hwnd_; }
  virtual Form& ParentForm() = 0;
  // Frames, picture boxes and forms hold other controls.
  virtual bool IsContainer() const { return false; }
  // Forms and picture boxes are drawing surfaces.
  virtual Surface* AsSurface() { return nullptr; }

  // The widget behind a window of the toolkit, null for any other window.
  static Widget* FromWindow(HWND hwnd);

 protected:
  explicit Widget(std::wstring name);

  // Hooks the window to this widget; the standard control classes are
  // subclassed so their keys and focus pass through the toolkit.
  void AttachWindow(HWND hwnd, bool subclass);
  virtual void ApplyPlacement() {}
  virtual LRESULT WindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT DefaultMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  // Paints the background in the back colour.
  void FillBackground(HDC dc);
  HBRUSH BackBrush();
  HFONT ScreenFont() const { return fontHandle_.Get(); }
  void ApplyWindowText(const std::wstring& text);
  virtual void OnWindowGone() {}
  // A notification (WM_COMMAND code) of this control's own window.
  virtual void OnCommand(WORD code) { (void)code; }
  // Keys after the form has seen them: true when the key was used.
  virtual bool KeyDownAction(WPARAM key) { (void)key; return false; }
  // A typed character on its way to the window; false drops it.
  virtual bool FilterKeyPress(WPARAM* character) { (void)character; return true; }

  std::wstring name_;
  std::wstring tag_;
  float left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  bool visible_ = true;
  bool enabled_ = true;
  StdFont font_;
  int32_t backColor_ = kColorButtonFace;
  int32_t foreColor_ = kColorButtonText;
  HWND hwnd_ = nullptr;

 private:
  friend LRESULT CALLBACK WidgetWindowProc(HWND, UINT, WPARAM, LPARAM);
  friend LRESULT CALLBACK SubclassWindowProc(HWND, UINT, WPARAM, LPARAM);

  LRESULT ChildColors(UINT message, HDC dc, HWND child);
  bool KeyboardMessage(HWND hwnd, UINT message, WPARAM* wParam, LPARAM lParam);

  FontHandle fontHandle_;
  BrushHandle backBrush_;
  COLORREF backBrushColor_ = 0;
  WNDPROC originalProc_ = nullptr;
};

}  // namespace norvale::forms
