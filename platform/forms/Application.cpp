#include "forms/Application.h"

#include <algorithm>
#include <cwchar>

#include "forms/Form.h"
#include "forms/Units.h"

namespace norvale::forms {

namespace {

constexpr wchar_t kApplicationClass[] = L"NorvaleFormsApplication";
constexpr wchar_t kApplicationProperty[] = L"NorvaleFormsApplication";

void RegisterApplicationClass() {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof existing;
  if (GetClassInfoExW(instance, kApplicationClass, &existing)) return;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &DefWindowProcW;
  wc.hInstance = instance;
  wc.lpszClassName = kApplicationClass;
  RegisterClassExW(&wc);
}

BOOL CALLBACK FindApplicationWindow(HWND hwnd, LPARAM found) {
  wchar_t name[64] = {};
  GetClassNameW(hwnd, name, 64);
  if (std::wcscmp(name, kApplicationClass) != 0) return TRUE;
  auto* app = static_cast<Application*>(GetPropW(hwnd, kApplicationProperty));
  if (!app) return TRUE;
  *reinterpret_cast<Application**>(found) = app;
  return FALSE;
}

}  // namespace

float Screen::Width() const {
  return PixelsToTwipsX(GetSystemMetrics(SM_CXSCREEN));
}
float Screen::Height() const {
  return PixelsToTwipsY(GetSystemMetrics(SM_CYSCREEN));
}
float Screen::TwipsPerPixelX() const { return static_cast<float>(forms::TwipsPerPixelX()); }
float Screen::TwipsPerPixelY() const { return static_cast<float>(forms::TwipsPerPixelY()); }
Form* Screen::ActiveForm() const { return app_.activeForm_; }

Application::Application(std::shared_ptr<IProgramEnd> programEnd)
    : programEnd_(programEnd ? std::move(programEnd) : std::make_shared<SystemProgramEnd>()) {
  RegisterApplicationClass();
  hwnd_ = CreateWindowExW(0, kApplicationClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                          GetModuleHandleW(nullptr), nullptr);
  if (hwnd_) SetPropW(hwnd_, kApplicationProperty, this);
}

Application::~Application() {
  if (hwnd_) {
    RemovePropW(hwnd_, kApplicationProperty);
    DestroyWindow(hwnd_);
  }
}

Application* Application::Current() {
  Application* found = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), &FindApplicationWindow,
                    reinterpret_cast<LPARAM>(&found));
  return found;
}

Form* Application::FindForm(const std::wstring& name) const {
  for (Form* form : forms_) {
    if (form->Name() == name) return form;
  }
  return nullptr;
}

bool Application::IsLoaded(const Form* form) const {
  return form && std::find(forms_.begin(), forms_.end(), form) != forms_.end();
}

int Application::Run() {
  MSG msg;
  while (!ended_ && !forms_.empty()) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) return got == 0 ? static_cast<int>(msg.wParam) : -1;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return exitCode_;
}

void PumpWaitingMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

int Application::DoEvents() {
  PumpWaitingMessages();
  return static_cast<int>(forms_.size());
}

void Application::End(int exitCode) {
  ended_ = true;
  exitCode_ = exitCode;
  WakeLoop();
  programEnd_->End(exitCode);
}

void Application::WakeLoop() {
  if (hwnd_) PostMessageW(hwnd_, WM_NULL, 0, 0);
}

void Application::FormLoaded(Form& form) { forms_.push_back(&form); }

void Application::FormUnloaded(Form& form) {
  forms_.erase(std::remove(forms_.begin(), forms_.end(), &form), forms_.end());
  if (activeForm_ == &form) activeForm_ = nullptr;
  if (activateOwner_ == &form) activateOwner_ = nullptr;
  // The last form gone ends the program's loop.
  if (forms_.empty()) WakeLoop();
}

bool Application::FormActivated(Form& form) {
  activeForm_ = &form;
  if (activateOwner_ == &form) return false;
  activateOwner_ = &form;
  return true;
}

}  // namespace norvale::forms
