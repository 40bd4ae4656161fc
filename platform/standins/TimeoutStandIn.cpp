// A stand-in for timeout.exe, which Wine lacks: "timeout /t N [/nobreak]"
// waits N seconds (at most 99999, as the real one); -1 waits for nothing here
// because no key can be pressed in a test.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <string>

int wmain() {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  long seconds = -2;
  for (int i = 1; i < argc; ++i) {
    std::wstring arg = argv[i];
    if ((arg == L"/t" || arg == L"/T" || arg == L"-t" || arg == L"-T") && i + 1 < argc) {
      wchar_t* end = nullptr;
      seconds = std::wcstol(argv[++i], &end, 10);
      if (end == argv[i] || *end != L'\0') seconds = -2;
    } else if (arg.size() > 2 && (arg[0] == L'/' || arg[0] == L'-') &&
               (arg[1] == L't' || arg[1] == L'T') && iswdigit(arg[2])) {
      seconds = std::wcstol(arg.c_str() + 2, nullptr, 10);
    }
  }
  LocalFree(argv);
  if (seconds < -1 || seconds > 99999) {
    std::fputs("ERROR: Invalid syntax. Usage: timeout /t N [/nobreak]\n", stderr);
    return 1;
  }
  if (seconds > 0) Sleep(DWORD(seconds) * 1000);
  return 0;
}
