// A small program the Windows services tests start, find, wait for and end:
//   nvws_helper sleep <ms> <exit code>
//   nvws_helper window <ms> <caption> [<second caption>]   visible windows
//   nvws_helper hidden <ms> <caption>                      a hidden window
// A window program ends after <ms>, or as soon as its windows are closed.
#include <windows.h>
#include <shellapi.h>

#include <cwchar>
#include <string>
#include <vector>

namespace {

const wchar_t kClassName[] = L"NorvaleServicesTestWindow";
int openWindows = 0;

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY && --openWindows == 0) PostQuitMessage(0);
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

int RunWindows(DWORD milliseconds, const std::vector<std::wstring>& captions, bool visible) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = kClassName;
  RegisterClassW(&windowClass);
  for (const std::wstring& caption : captions) {
    HWND window = CreateWindowExW(0, kClassName, caption.c_str(), WS_OVERLAPPEDWINDOW, 10, 10,
                                  200, 100, nullptr, nullptr, windowClass.hInstance, nullptr);
    if (!window) return 3;
    ++openWindows;
    if (visible) ShowWindow(window, SW_SHOWNOACTIVATE);
  }
  SetTimer(nullptr, 0, milliseconds, nullptr);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_TIMER) break;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  int count = 0;
  wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!args || count < 3) return 2;
  const std::wstring mode = args[1];
  const DWORD milliseconds = static_cast<DWORD>(wcstoul(args[2], nullptr, 10));
  if (mode == L"sleep") {
    Sleep(milliseconds);
    return count > 3 ? static_cast<int>(wcstol(args[3], nullptr, 10)) : 0;
  }
  std::vector<std::wstring> captions(args + 3, args + count);
  if (captions.empty()) return 2;
  if (mode == L"window") return RunWindows(milliseconds, captions, true);
  if (mode == L"hidden") return RunWindows(milliseconds, captions, false);
  return 2;
}
