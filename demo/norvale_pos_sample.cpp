// The program the sample package installs in place of the point-of-sale
// suite. It shows a window for a moment and ends, so that shortcuts, the
// file association, the auto-run step and the finish page's start all have
// something real to start.
//   NorvalePos.exe            the window, closing itself after 3 seconds
//   NorvalePos.exe /init      no window: writes "Setup_Init.txt" beside itself
//   NorvalePos.exe FILE       the window, naming the opened file
#include <windows.h>

#include <string>

namespace {

constexpr UINT_PTR kCloseTimer = 1;
constexpr UINT kShowMilliseconds = 3000;

std::wstring OwnFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return L"";
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  const size_t cut = path.rfind(L'\\');
  return cut == std::wstring::npos ? L"" : path.substr(0, cut);
}

// The auto-run step waits for this; the file shows that it ran.
int WriteInitMarker() {
  const std::wstring folder = OwnFolder();
  if (folder.empty()) return 1;
  const std::wstring path = folder + L"\\Setup_Init.txt";
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  const char text[] = "initialised\r\n";
  DWORD written = 0;
  const BOOL ok = WriteFile(file, text, sizeof text - 1, &written, nullptr);
  CloseHandle(file);
  return ok && written == sizeof text - 1 ? 0 : 1;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_TIMER:
      if (wParam == kCloseTimer) DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int show) {
  const std::wstring arguments = commandLine ? commandLine : L"";
  if (CompareStringOrdinal(arguments.c_str(), -1, L"/init", -1, TRUE) == CSTR_EQUAL) {
    return WriteInitMarker();
  }
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = L"NorvalePosSample";
  if (!RegisterClassW(&windowClass)) return 1;
  const std::wstring title =
      arguments.empty() ? std::wstring(L"Norvale POS") : L"Norvale POS - " + arguments;
  HWND window = CreateWindowExW(0, windowClass.lpszClassName, title.c_str(), WS_OVERLAPPEDWINDOW,
                                CW_USEDEFAULT, CW_USEDEFAULT, 480, 240, nullptr, nullptr,
                                instance, nullptr);
  if (!window) return 1;
  ShowWindow(window, show);
  SetTimer(window, kCloseTimer, kShowMilliseconds, nullptr);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
