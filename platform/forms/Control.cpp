#include "forms/Control.h"

#include <algorithm>
#include <cmath>

#include "forms/Form.h"
#include "forms/Keyboard.h"
#include "forms/Units.h"

namespace norvale::forms {

namespace {

RECT ChildPixelRect(float left, float top, float width, float height) {
  const int x = TwipsToPixelsX(left), y = TwipsToPixelsY(top);
  return RECT{x, y, x + TwipsToPixelsX(width), y + TwipsToPixelsY(height)};
}

}  // namespace

Control::Control(const Init& init)
    : Widget(init.name), form_(init.form), index_(init.index), container_(&init.form) {}

Control::~Control() = default;

bool Control::CreateControlWindow() {
  HWND parent = container_->hWnd();
  if (!parent) return false;
  const WindowKind kind = Kind();
  DWORD style = kind.style | WS_CHILD | WS_CLIPSIBLINGS;
  if (visible_) style |= WS_VISIBLE;
  if (!enabled_) style |= WS_DISABLED;
  const RECT rc = ChildPixelRect(left_, top_, width_, height_);
  controlId_ = form_.nextControlId_++;
  HWND hwnd = CreateWindowExW(kind.exStyle, kind.className, InitialWindowText().c_str(), style,
                              rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, parent,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlId_)),
                              GetModuleHandleW(nullptr), kind.ownClass ? this : nullptr);
  if (!hwnd) return false;
  if (!kind.ownClass) AttachWindow(hwnd, true);
  AfterWindowCreated();
  return true;
}

void Control::ApplyPlacement() {
  if (!hwnd_) return;
  const RECT rc = ChildPixelRect(left_, top_, width_, height_);
  SetWindowPos(hwnd_, nullptr, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

bool Control::IsInside(const Widget& widget) const {
  for (const Widget* w = &widget; w;) {
    if (w == this) return true;
    const Control* control = dynamic_cast<const Control*>(w);
    w = control ? control->container_ : nullptr;
  }
  return false;
}

bool Control::Container(Widget& container) {
  if (!container.IsContainer() || &container.ParentForm() != &form_ || IsInside(container)) {
    return false;
  }
  Widget& previous = *container_;
  if (&previous == &container) return true;
  container_ = &container;
  if (hwnd_ && container.hWnd()) {
    SetParent(hwnd_, container.hWnd());
    ApplyPlacement();
  }
  ContainerChanged(previous);
  return true;
}

bool Control::CanFocusNow() const {
  if (!TakesFocus() || !hwnd_ || !form_.IsLoaded() || !form_.Visible() || !form_.Enabled()) {
    return false;
  }
  for (const Widget* w = this; w && w != &form_;) {
    if (!w->Visible() || !w->Enabled()) return false;
    const Control* control = dynamic_cast<const Control*>(w);
    w = control ? control->container_ : nullptr;
  }
  return IsWindowVisible(hwnd_) != FALSE;
}

bool Control::SetFocus() {
  if (!CanFocusNow()) return false;
  ::SetFocus(hwnd_);
  return true;
}

int16_t Control::TabIndex() const {
  const auto& order = form_.tabOrder_;
  const auto it = std::find(order.begin(), order.end(), this);
  return static_cast<int16_t>(it - order.begin());
}

bool Control::TabIndex(int16_t position) {
  auto& order = form_.tabOrder_;
  if (position < 0) return false;
  const auto it = std::find(order.begin(), order.end(), this);
  if (it == order.end()) return false;
  order.erase(it);
  const size_t at = std::min<size_t>(static_cast<size_t>(position), order.size());
  order.insert(order.begin() + static_cast<std::ptrdiff_t>(at), this);
  return true;
}

bool Control::Visible(bool value) {
  const HWND focus = GetFocus();
  const bool hadFocus = hwnd_ && focus && (focus == hwnd_ || IsChild(hwnd_, focus));
  Widget::Visible(value);
  if (!value && hadFocus) form_.MoveFocus(true);
  return true;
}

bool Control::Enabled(bool value) {
  const HWND focus = GetFocus();
  const bool hadFocus = hwnd_ && focus && (focus == hwnd_ || IsChild(hwnd_, focus));
  Widget::Enabled(value);
  if (!value && hadFocus) form_.MoveFocus(true);
  return true;
}

void Control::CopyFrom(const Control& source) {
  left_ = source.left_;
  top_ = source.top_;
  width_ = source.width_;
  height_ = source.height_;
  font_ = source.font_;
  backColor_ = source.backColor_;
  foreColor_ = source.foreColor_;
  enabled_ = source.enabled_;
  tag_ = source.tag_;
  mousePointer_ = source.mousePointer_;
  visible_ = false;
  Click = source.Click;
  GotFocus = source.GotFocus;
  KeyPress = source.KeyPress;
}

void Control::RaiseClick() { RaiseEvent(Click, index_); }

bool Control::FilterKeyPress(WPARAM* character) {
  if (!KeyPress) return true;
  const wchar_t typed = static_cast<wchar_t>(*character);
  if (IS_HIGH_SURROGATE(typed) || IS_LOW_SURROGATE(typed)) return true;
  const int16_t original = CharToKeyAscii(typed);
  if (original == 0) return true;
  int16_t key = original;
  RaiseEvent(KeyPress, index_, key);
  if (key == 0) return false;
  if (key != original) {
    const wchar_t replaced = KeyAsciiToChar(key);
    if (replaced == 0) return false;
    *character = replaced;
  }
  return true;
}

LRESULT Control::WindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_SETFOCUS) {
    const LRESULT result = DefaultMessage(hwnd, message, wParam, lParam);
    form_.NoteFocus(*this);
    RaiseEvent(GotFocus, index_);
    return result;
  }
  // Over the control's own client area; over its border or a window inside
  // it the usual pointer shows.
  if (message == WM_SETCURSOR && mousePointer_ == PointerShape::kHand &&
      reinterpret_cast<HWND>(wParam) == hwnd && LOWORD(lParam) == HTCLIENT) {
    SetCursor(LoadCursorW(nullptr, IDC_HAND));
    return TRUE;
  }
  return Widget::WindowMessage(hwnd, message, wParam, lParam);
}

}  // namespace norvale::forms
