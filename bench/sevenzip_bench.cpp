// Times one extraction through our 7-zip32.dll, bound by name as the
// installer binds it, and prints "ok <seconds>" or "failed <code> <message>".
//   sevenzip_bench.exe <archive> <output folder>
#include <windows.h>

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fputs("usage: sevenzip_bench <archive> <output folder>\n", stderr);
    return 2;
  }
  HMODULE dll = LoadLibraryW(L"7-zip32.dll");
  if (dll == nullptr) {
    std::fputs("failed 0 7-zip32.dll not found\n", stdout);
    return 1;
  }
  using SevenZipFn = int(WINAPI*)(HWND, LPCSTR, LPSTR, DWORD);
  auto sevenZip = reinterpret_cast<SevenZipFn>(
      reinterpret_cast<void*>(GetProcAddress(dll, "SevenZip")));
  std::wstring command = L"-hide x \"" + std::wstring(argv[1]) + L"\" -o\"" + argv[2] + L"\\\"";
  int n = WideCharToMultiByte(CP_ACP, 0, command.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string ansi(size_t(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, command.c_str(), -1, ansi.data(), n, nullptr, nullptr);
  std::string output(64010, ' ');
  LARGE_INTEGER frequency{}, start{}, end{};
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  int r = sevenZip(nullptr, ansi.c_str(), output.data(), DWORD(output.size()));
  QueryPerformanceCounter(&end);
  output.resize(output.find('\0'));
  if (r != 0) {
    std::printf("failed %d %s\n", r, output.c_str());
    return 1;
  }
  std::printf("ok %.3f\n", double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart));
  FreeLibrary(dll);
  return 0;
}
