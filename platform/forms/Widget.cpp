#include "forms/Widget.h"

#include <cmath>

#include "forms/Form.h"
#include "forms/Keyboard.h"

namespace norvale::forms {

namespace {

constexpr wchar_t kWidgetProperty[] = L"NorvaleFormsWidget";

bool IsUsableNumber(float value) { return std::isfinite(value); }

}  // namespace

Widget::Widget(std::wstring name) : name_(std::move(name)) {}

Widget::~Widget() {
  if (hwnd_) {
    // The window outlives nothing of ours: cut it loose before it goes.
    RemovePropW(hwnd_, kWidgetProperty);
    if (originalProc_) {
      SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(originalProc_));
    }
  }
}

Widget* Widget::FromWindow(HWND hwnd) {
  return hwnd ? static_cast<Widget*>(GetPropW(hwnd, kWidgetProperty)) : nullptr;
}

void Widget::AttachWindow(HWND hwnd, bool subclass) {
  hwnd_ = hwnd;
  SetPropW(hwnd, kWidgetProperty, this);
  if (subclass) {
    originalProc_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SubclassWindowProc)));
  }
  if (HasFont()) {
    if (!fontHandle_) fontHandle_.Reset(CreateScreenFont(font_));
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(fontHandle_.Get()), FALSE);
  }
}

bool Widget::Left(float value) {
  if (!IsUsableNumber(value)) return false;
  left_ = value;
  ApplyPlacement();
  return true;
}

bool Widget::Top(float value) {
  if (!IsUsableNumber(value)) return false;
  top_ = value;
  ApplyPlacement();
  return true;
}

bool Widget::Width(float value) {
  if (!IsUsableNumber(value) || value < 0) return false;
  width_ = value;
  ApplyPlacement();
  return true;
}

bool Widget::Height(float value) {
  if (!IsUsableNumber(value) || value < 0) return false;
  height_ = value;
  ApplyPlacement();
  return true;
}

bool Widget::Move(float left, float top, float width, float height) {
  // All or nothing, as one statement.
  if (!IsUsableNumber(left) || !IsUsableNumber(top) || !IsUsableNumber(width) ||
      !IsUsableNumber(height) || width < 0 || height < 0) {
    return false;
  }
  return Left(left) && Top(top) && Width(width) && Height(height);
}

bool Widget::Visible(bool value) {
  visible_ = value;
  if (hwnd_) ShowWindow(hwnd_, value ? SW_SHOWNA : SW_HIDE);
  return true;
}

bool Widget::Enabled(bool value) {
  enabled_ = value;
  if (hwnd_) EnableWindow(hwnd_, value);
  return true;
}

bool Widget::Font(const StdFont& value) {
  if (!HasFont() || !(value.Size > 0) || value.Size > 2160) return false;
  FontHandle created(CreateScreenFont(value));
  if (!created) return false;
  font_ = value;
  fontHandle_ = std::move(created);
  if (hwnd_) SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(fontHandle_.Get()), TRUE);
  return true;
}

bool Widget::FontSize(float points) {
  StdFont changed = font_;
  changed.Size = points;
  return Font(changed);
}

bool Widget::BackColor(int32_t value) {
  backColor_ = value;
  if (hwnd_) InvalidateRect(hwnd_, nullptr, TRUE);
  return true;
}

bool Widget::ForeColor(int32_t value) {
  foreColor_ = value;
  if (hwnd_) InvalidateRect(hwnd_, nullptr, TRUE);
  return true;
}

void Widget::Refresh() {
  if (hwnd_) {
    RedrawWindow(hwnd_, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  }
}

HBRUSH Widget::BackBrush() {
  const COLORREF color = ResolveColor(backColor_);
  if (!backBrush_ || backBrushColor_ != color) {
    backBrush_.Reset(CreateSolidBrush(color));
    backBrushColor_ = color;
  }
  return backBrush_.Get();
}

void Widget::FillBackground(HDC dc) {
  RECT rc{};
  GetClientRect(hwnd_, &rc);
  FillRect(dc, &rc, BackBrush());
}

void Widget::ApplyWindowText(const std::wstring& text) {
  if (hwnd_) SetWindowTextW(hwnd_, text.c_str());
}

LRESULT Widget::DefaultMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (originalProc_) return CallWindowProcW(originalProc_, hwnd, message, wParam, lParam);
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT Widget::ChildColors(UINT message, HDC dc, HWND child) {
  Widget* control = FromWindow(child);
  if (!control) return DefaultMessage(hwnd_, message, reinterpret_cast<WPARAM>(dc),
                                      reinterpret_cast<LPARAM>(child));
  SetTextColor(dc, ResolveColor(control->foreColor_));
  SetBkColor(dc, ResolveColor(control->backColor_));
  return reinterpret_cast<LRESULT>(control->BackBrush());
}

bool Widget::KeyboardMessage(HWND hwnd, UINT message, WPARAM* wParam, LPARAM lParam) {
  if (message == WM_CHAR) {
    // Tab only moves the focus; it never reaches a window as a character.
    if (*wParam == L'\t') return true;
    return !FilterKeyPress(wParam) || !IsWindow(hwnd);
  }
  if (ParentForm().PreviewKeyDown(message, wParam, lParam) || !IsWindow(hwnd)) return true;
  const int16_t mask = CurrentShiftMask(message == WM_SYSKEYDOWN && (lParam & (1 << 29)));
  if (*wParam == VK_TAB && (mask & (kCtrlMask | kAltMask)) == 0) {
    ParentForm().MoveFocus((mask & kShiftMask) == 0);
    return true;
  }
  return KeyDownAction(*wParam);
}

LRESULT Widget::WindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (lParam) {
        Widget* child = FromWindow(reinterpret_cast<HWND>(lParam));
        if (child && child != this) {
          child->OnCommand(HIWORD(wParam));
          return 0;
        }
      }
      break;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
      return ChildColors(message, reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_CHAR:
      if (KeyboardMessage(hwnd, message, &wParam, lParam)) return 0;
      break;
    case WM_NCDESTROY: {
      const LRESULT result = DefaultMessage(hwnd, message, wParam, lParam);
      RemovePropW(hwnd, kWidgetProperty);
      if (originalProc_) {
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(originalProc_));
        originalProc_ = nullptr;
      }
      hwnd_ = nullptr;
      OnWindowGone();
      return result;
    }
    default:
      break;
  }
  return DefaultMessage(hwnd, message, wParam, lParam);
}

}  // namespace norvale::forms
