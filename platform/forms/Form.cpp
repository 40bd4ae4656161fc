#include "forms/Form.h"

#include <algorithm>

#include "forms/Application.h"
#include "forms/Keyboard.h"
#include "forms/Units.h"
#include "forms/WindowClasses.h"

namespace norvale::forms {

namespace {

bool IsOwnFormWindow(HWND hwnd) {
  return dynamic_cast<Form*>(Widget::FromWindow(hwnd)) != nullptr;
}

}  // namespace

Form::Form(Application& app, std::wstring name)
    : Widget(std::move(name)), Surface(static_cast<Widget&>(*this)), app_(app) {
  caption_ = name_;
  width_ = 6000;
  height_ = 4500;
  const RECT rc = PixelRect();
  CreateWindowExW(ExStyle(), ToolkitClassName(ToolkitClass::kForm), caption_.c_str(), Style(),
                  rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top,
                  showInTaskbar_ ? nullptr : app_.hWnd(), nullptr, GetModuleHandleW(nullptr),
                  static_cast<Widget*>(this));
}

Form::~Form() {
  const bool wasLoaded = state_ == State::kLoaded;
  state_ = State::kUnloaded;
  DestroyWindows();
  if (wasLoaded) app_.FormUnloaded(*this);
}

Control& Form::Adopt(std::unique_ptr<Control> control, Widget& container) {
  Control& added = *control;
  added.container_ =
      container.IsContainer() && &container.ParentForm() == this ? &container : this;
  owned_.push_back(std::move(control));
  controls_.push_back(&added);
  tabOrder_.push_back(&added);
  added.CreateControlWindow();
  return added;
}

Control* Form::LoadElement(const Control& templateElement, int16_t index) {
  if (&templateElement.form_ != this || state_ == State::kUnloaded) return nullptr;
  std::unique_ptr<Control> element =
      templateElement.NewElement(Control::Init(*this, templateElement.Name(), index));
  element->CopyFrom(templateElement);
  return &Adopt(std::move(element), *templateElement.container_);
}

Control* Form::ActiveControl() const {
  const HWND focus = GetFocus();
  for (Control* c : controls_) {
    if (c->hWnd() && c->hWnd() == focus) return c;
  }
  return lastFocus_;
}

DWORD Form::Style() const {
  DWORD style = WS_CLIPCHILDREN;
  switch (borderStyle_) {
    case kBorderNone:
      style |= WS_POPUP;
      break;
    case kBorderFixedSingle:
      style |= WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
      break;
    case kBorderFixedDialog:
      style |= WS_POPUP | WS_CAPTION | WS_SYSMENU;
      break;
    default:
      style |= WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME;
      break;
  }
  if (borderStyle_ != kBorderNone) {
    if (maxButton_) style |= WS_MAXIMIZEBOX;
    if (minButton_) style |= WS_MINIMIZEBOX;
  }
  return style;
}

DWORD Form::ExStyle() const {
  return borderStyle_ == kBorderFixedDialog ? WS_EX_DLGMODALFRAME : 0;
}

void Form::ApplyStyles() {
  if (!hwnd_) return;
  const LONG_PTR kept = GetWindowLongPtrW(hwnd_, GWL_STYLE) &
                        (WS_VISIBLE | WS_DISABLED | WS_MINIMIZE | WS_MAXIMIZE);
  SetWindowLongPtrW(hwnd_, GWL_STYLE, static_cast<LONG_PTR>(Style()) | kept);
  SetWindowLongPtrW(hwnd_, GWL_EXSTYLE, static_cast<LONG_PTR>(ExStyle()));
  SetWindowLongPtrW(hwnd_, GWLP_HWNDPARENT,
                    reinterpret_cast<LONG_PTR>(showInTaskbar_ ? nullptr : app_.hWnd()));
  // The outer size stays; the frame is drawn anew around it.
  SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0,
               SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form::Caption(const std::wstring& value) {
  caption_ = value;
  ApplyWindowText(value);
}

int16_t Form::WindowState() const {
  if (hwnd_ && IsWindowVisible(hwnd_)) {
    if (IsIconic(hwnd_)) return kMinimized;
    if (IsZoomed(hwnd_)) return kMaximized;
    return kNormal;
  }
  return windowState_;
}

bool Form::WindowState(int16_t value) {
  if (value < kNormal || value > kMaximized) return false;
  windowState_ = value;
  if (hwnd_ && IsWindowVisible(hwnd_)) {
    ShowWindow(hwnd_, value == kMinimized   ? SW_MINIMIZE
                      : value == kMaximized ? SW_MAXIMIZE
                                            : SW_RESTORE);
  }
  return true;
}

bool Form::BorderStyle(int16_t value) {
  if (value < kBorderNone || value > kBorderFixedDialog) return false;
  borderStyle_ = value;
  if (value == kBorderFixedDialog) maxButton_ = minButton_ = false;
  ApplyStyles();
  return true;
}

void Form::MaxButton(bool value) {
  maxButton_ = value;
  ApplyStyles();
}

void Form::MinButton(bool value) {
  minButton_ = value;
  ApplyStyles();
}

void Form::ShowInTaskbar(bool value) {
  showInTaskbar_ = value;
  ApplyStyles();
}

bool Form::Icon(HMODULE module, int resourceId) {
  HICON big = static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(resourceId), IMAGE_ICON,
                                            GetSystemMetrics(SM_CXICON),
                                            GetSystemMetrics(SM_CYICON), 0));
  if (!big) return false;
  HICON small = static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(resourceId), IMAGE_ICON,
                                              GetSystemMetrics(SM_CXSMICON),
                                              GetSystemMetrics(SM_CYSMICON), 0));
  bigIcon_.Reset(big);
  smallIcon_.Reset(small);
  if (hwnd_) {
    SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small ? small : big));
  }
  return true;
}

RECT Form::PixelRect() const {
  const int x = TwipsToPixelsX(left_), y = TwipsToPixelsY(top_);
  return RECT{x, y, x + TwipsToPixelsX(width_), y + TwipsToPixelsY(height_)};
}

void Form::ApplyPlacement() {
  if (!hwnd_ || IsIconic(hwnd_) || IsZoomed(hwnd_)) return;
  const RECT rc = PixelRect();
  SetWindowPos(hwnd_, nullptr, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

// The model keeps its exact twips as long as the window stands where they
// put it; a real move or resize (by the user or the system) wins.
void Form::SyncModelFromWindow() {
  if (!hwnd_ || IsIconic(hwnd_) || IsZoomed(hwnd_)) return;
  RECT actual{};
  if (!GetWindowRect(hwnd_, &actual)) return;
  const RECT expected = PixelRect();
  if (actual.left != expected.left) left_ = PixelsToTwipsX(actual.left);
  if (actual.top != expected.top) top_ = PixelsToTwipsY(actual.top);
  if (actual.right - actual.left != expected.right - expected.left) {
    width_ = PixelsToTwipsX(actual.right - actual.left);
  }
  if (actual.bottom - actual.top != expected.bottom - expected.top) {
    height_ = PixelsToTwipsY(actual.bottom - actual.top);
  }
}

namespace {

// Minimised or maximised, a form reports the place and size it has.
bool ActualOuterRect(HWND hwnd, RECT* rc) {
  return hwnd && (IsIconic(hwnd) || IsZoomed(hwnd)) && GetWindowRect(hwnd, rc);
}

}  // namespace

float Form::Left() const {
  RECT rc;
  return ActualOuterRect(hwnd_, &rc) ? PixelsToTwipsX(rc.left) : left_;
}
float Form::Top() const {
  RECT rc;
  return ActualOuterRect(hwnd_, &rc) ? PixelsToTwipsY(rc.top) : top_;
}
float Form::Width() const {
  RECT rc;
  return ActualOuterRect(hwnd_, &rc) ? PixelsToTwipsX(rc.right - rc.left) : width_;
}
float Form::Height() const {
  RECT rc;
  return ActualOuterRect(hwnd_, &rc) ? PixelsToTwipsY(rc.bottom - rc.top) : height_;
}

// A minimised or maximised form cannot be moved or sized.
bool Form::Left(float value) {
  RECT rc;
  return !ActualOuterRect(hwnd_, &rc) && Widget::Left(value);
}
bool Form::Top(float value) {
  RECT rc;
  return !ActualOuterRect(hwnd_, &rc) && Widget::Top(value);
}
bool Form::Width(float value) {
  RECT rc;
  return !ActualOuterRect(hwnd_, &rc) && Widget::Width(value);
}
bool Form::Height(float value) {
  RECT rc;
  return !ActualOuterRect(hwnd_, &rc) && Widget::Height(value);
}

bool Form::Visible(bool value) { return value ? Show(0) : Hide(); }

bool Form::BackColor(int32_t value) {
  Widget::BackColor(value);
  SurfaceBackColorChanged();
  return true;
}

bool Form::Load() {
  if (state_ == State::kLoaded) return true;
  if (state_ == State::kUnloaded || !hwnd_) return false;
  state_ = State::kLoaded;
  app_.FormLoaded(*this);
  RaiseEvent([this] { Form_Load(); });
  return state_ == State::kLoaded;
}

bool Form::Show(int16_t modal) {
  // A Load that ended the program shows nothing.
  if (!Load() || !hwnd_ || app_.Ended()) return false;
  const bool wasVisible = IsWindowVisible(hwnd_) != FALSE;
  if (modal != 0 && wasVisible) return false;
  visible_ = true;
  if (wasVisible) {
    SetActiveWindow(hwnd_);
  } else {
    showing_ = true;
    ShowWindow(hwnd_, windowState_ == kMinimized   ? SW_SHOWMINIMIZED
                      : windowState_ == kMaximized ? SW_SHOWMAXIMIZED
                                                    : SW_SHOW);
    showing_ = false;
    if (IsLoaded()) RaiseResize();
  }
  if (modal != 0 && IsLoaded()) RunModalLoop();
  return true;
}

void Form::RunModalLoop() {
  std::vector<HWND> disabled;
  for (Form* other : app_.Forms()) {
    if (other != this && other->hwnd_ && IsWindowEnabled(other->hwnd_)) {
      EnableWindow(other->hwnd_, FALSE);
      disabled.push_back(other->hwnd_);
    }
  }
  MSG msg;
  while (IsLoaded() && hwnd_ && IsWindowVisible(hwnd_) && !app_.Ended()) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) {
      // Leave the quit for the outer loop to see.
      if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  for (HWND h : disabled) {
    if (IsWindow(h)) EnableWindow(h, TRUE);
  }
}

bool Form::Hide() {
  if (!Load() || !hwnd_) return false;
  visible_ = false;
  ShowWindow(hwnd_, SW_HIDE);
  return true;
}

bool Form::Unload() { return UnloadWith(kFormCode); }

bool Form::UnloadWith(int16_t mode) {
  if (state_ == State::kDesign) return true;
  if (state_ == State::kUnloaded) return true;
  if (unloading_) return false;
  unloading_ = true;
  int16_t cancel = 0;
  RaiseEvent([&] { Form_QueryUnload(cancel, mode); });
  if (cancel == 0 && state_ == State::kLoaded) RaiseEvent([&] { Form_Unload(cancel); });
  unloading_ = false;
  if (cancel != 0 || state_ != State::kLoaded) return false;
  state_ = State::kUnloaded;
  visible_ = false;
  DestroyWindows();
  app_.FormUnloaded(*this);
  return true;
}

void Form::DestroyWindows() {
  if (hwnd_) DestroyWindow(hwnd_);
  lastFocus_ = nullptr;
}

bool Form::PreviewKeyDown(UINT message, WPARAM* key, LPARAM lParam) {
  if (!keyPreview_ || state_ != State::kLoaded) return false;
  int16_t code = static_cast<int16_t>(*key);
  const int16_t shift = CurrentShiftMask(message == WM_SYSKEYDOWN && (lParam & (1 << 29)));
  RaiseEvent([&] { Form_KeyDown(code, shift); });
  if (!hwnd_ || code == 0) return true;
  *key = static_cast<WPARAM>(static_cast<uint16_t>(code));
  return false;
}

void Form::MoveFocus(bool forward) {
  std::vector<Control*> stops;
  for (Control* c : tabOrder_) {
    if (c->CanFocusNow() && c->IsTabStop()) stops.push_back(c);
  }
  if (stops.empty()) {
    if (hwnd_) ::SetFocus(hwnd_);
    return;
  }
  const HWND focus = GetFocus();
  auto current = std::find_if(stops.begin(), stops.end(), [focus](Control* c) {
    return focus && (c->hWnd() == focus || IsChild(c->hWnd(), focus));
  });
  Control* next;
  if (current == stops.end()) {
    next = forward ? stops.front() : stops.back();
  } else if (forward) {
    next = ++current == stops.end() ? stops.front() : *current;
  } else {
    next = current == stops.begin() ? stops.back() : *--current;
  }
  next->SetFocus();
}

void Form::FocusFirst() {
  if (lastFocus_ && lastFocus_->CanFocusNow()) {
    ::SetFocus(lastFocus_->hWnd());
    return;
  }
  for (Control* c : tabOrder_) {
    if (c->CanFocusNow() && c->IsTabStop()) {
      ::SetFocus(c->hWnd());
      return;
    }
  }
  if (hwnd_) ::SetFocus(hwnd_);
}

void Form::OnActivated() {
  if (state_ != State::kLoaded) return;
  if (app_.FormActivated(*this) && !activatePending_) {
    // Raised from the loop, once the activation has settled.
    activatePending_ = true;
    PostMessageW(hwnd_, kActivateMessage, 0, 0);
  }
  FocusFirst();
}

void Form::RaiseActivate() { RaiseEvent([this] { Form_Activate(); }); }
void Form::RaiseResize() { RaiseEvent([this] { Form_Resize(); }); }

LRESULT Form::WindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_WINDOWPOSCHANGED:
      // Before the size message, so Resize sees the new size.
      SyncModelFromWindow();
      break;
    case WM_SIZE:
      SurfaceResized();
      if (state_ == State::kLoaded && !showing_ && IsWindowVisible(hwnd)) RaiseResize();
      return 0;
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
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE) {
        if (HIWORD(wParam) == 0) {
          OnActivated();
          return 0;
        }
      } else {
        HWND other = reinterpret_cast<HWND>(lParam);
        if (other && GetWindowThreadProcessId(other, nullptr) == GetCurrentThreadId() &&
            !IsOwnFormWindow(other)) {
          app_.ActivationLeftForms();
        }
      }
      break;
    case kActivateMessage:
      activatePending_ = false;
      // Settled means no other form of ours has been activated since; the
      // window may already have lost the foreground to another program,
      // which, as with any form, raises no event of ours. Asking the window
      // instead dropped the event for good, and a form that acts on its
      // first activation then never acted.
      if (state_ == State::kLoaded && app_.activeForm_ == this) RaiseActivate();
      return 0;
    case WM_CLOSE:
      UnloadWith(kFormControlMenu);
      return 0;
    case WM_QUERYENDSESSION: {
      if (state_ != State::kLoaded) return TRUE;
      int16_t cancel = 0;
      RaiseEvent([&] { Form_QueryUnload(cancel, kAppWindows); });
      return cancel == 0;
    }
    default:
      break;
  }
  return Widget::WindowMessage(hwnd, message, wParam, lParam);
}

}  // namespace norvale::forms
