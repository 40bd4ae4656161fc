#include "FormsTestSupport.h"

#include <algorithm>

namespace forms_testing {

int EventForm::Count(const std::wstring& event) const {
  return static_cast<int>(std::count(log.begin(), log.end(), event));
}

void EventForm::Form_Load() {
  log.push_back(L"Load");
  if (onLoad) onLoad();
}

void EventForm::Form_Activate() {
  log.push_back(L"Activate");
  if (onActivate) onActivate();
}

void EventForm::Form_KeyDown(int16_t& KeyCode, int16_t Shift) {
  keys.push_back({KeyCode, Shift});
  if (swallowKeys) KeyCode = 0;
}

void EventForm::Form_QueryUnload(int16_t& Cancel, int16_t UnloadMode) {
  log.push_back(L"QueryUnload");
  unloadModes.push_back(UnloadMode);
  Cancel = cancelQueryUnload;
}

void EventForm::Form_Unload(int16_t& Cancel) {
  log.push_back(L"Unload");
  Cancel = cancelUnload;
}

bool PumpUntil(forms::Application& app, const std::function<bool()>& done,
               std::chrono::milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (true) {
    app.DoEvents();
    if (done()) return true;
    if (std::chrono::steady_clock::now() > until) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

void PumpFor(forms::Application& app, std::chrono::milliseconds time) {
  PumpUntil(app, [] { return false; }, time);
}

void PressKeySequence(const std::vector<std::pair<WORD, bool>>& events) {
  std::vector<INPUT> inputs;
  for (const auto& [vk, up] : events) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    inputs.push_back(in);
  }
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

void PressKey(WORD key, bool shift, bool ctrl, bool alt) {
  std::vector<std::pair<WORD, bool>> events;
  if (shift) events.push_back({VK_SHIFT, false});
  if (ctrl) events.push_back({VK_CONTROL, false});
  if (alt) events.push_back({VK_MENU, false});
  events.push_back({key, false});
  events.push_back({key, true});
  if (alt) events.push_back({VK_MENU, true});
  if (ctrl) events.push_back({VK_CONTROL, true});
  if (shift) events.push_back({VK_SHIFT, true});
  PressKeySequence(events);
}

namespace {

struct DialogSearch {
  const std::wstring* title;
  HWND found;
};

BOOL CALLBACK FindDialog(HWND hwnd, LPARAM lParam) {
  auto* search = reinterpret_cast<DialogSearch*>(lParam);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  wchar_t cls[32] = {}, title[256] = {};
  GetClassNameW(hwnd, cls, 32);
  GetWindowTextW(hwnd, title, 256);
  if (pid == GetCurrentProcessId() && std::wstring(cls) == L"#32770" &&
      *search->title == title && IsWindowVisible(hwnd)) {
    search->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK CollectText(HWND hwnd, LPARAM lParam) {
  wchar_t cls[32] = {}, text[1024] = {};
  GetClassNameW(hwnd, cls, 32);
  if (std::wstring(cls) == L"Static") {
    GetWindowTextW(hwnd, text, 1024);
    if (text[0]) *reinterpret_cast<std::wstring*>(lParam) += text;
  }
  return TRUE;
}

}  // namespace

BoxAnswerer::BoxAnswerer(std::wstring title, int button)
    : title_(std::move(title)), button_(button) {
  thread_ = std::thread([this] {
    for (int i = 0; i < 500 && !stop_; ++i) {
      DialogSearch search{&title_, nullptr};
      EnumWindows(&FindDialog, reinterpret_cast<LPARAM>(&search));
      HWND button = search.found ? GetDlgItem(search.found, button_) : nullptr;
      if (button) {
        std::wstring text;
        EnumChildWindows(search.found, &CollectText, reinterpret_cast<LPARAM>(&text));
        text_ = text;
        answered_ = true;
        PostMessageW(button, BM_CLICK, 0, 0);
        return;
      }
      Sleep(10);
    }
  });
}

BoxAnswerer::~BoxAnswerer() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

std::wstring BoxAnswerer::Text() const { return answered_ ? text_ : std::wstring(); }

}  // namespace forms_testing
