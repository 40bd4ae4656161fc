// A program linked as the shipped ones are, started by DllSearchTest from a
// folder that also holds planted DLLs:
//   dllsearch_probe OUT delayed    calls one function of each delay-loaded
//                                  DLL through its delayed import
//   dllsearch_probe OUT bare       loads "planted.dll" by its bare name
//   dllsearch_probe OUT narrowed   the same after KeepDllSearchToSystemFolder
// and writes to OUT (UTF-8), a line for each DLL, its name, a tab and the
// file of the module it got ("-" for none).
//
// The programs narrow the search at their start as well; "delayed" leaves
// that out, so that only the delay-load hook keeps the DLLs to the system
// folder.
#include <windows.h>
#include <commctrl.h>
#include <wininet.h>
#include <winnetwk.h>

#include <cstdio>
#include <string>

#include "SystemDlls.h"

namespace {

std::string Utf8(const std::wstring& text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string bytes(n > 0 ? n - 1 : 0, '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, bytes.data(), n, nullptr, nullptr);
  return bytes;
}

std::wstring ModuleFile(HMODULE module) {
  wchar_t path[MAX_PATH] = {};
  const DWORD n = module ? GetModuleFileNameW(module, path, MAX_PATH) : 0;
  return n ? std::wstring(path, n) : L"-";
}

void CallDelayedImports() {
  DWORD handle = 0;
  GetFileVersionInfoSizeW(L"kernel32.dll", &handle);
  DWORD error = 0;
  wchar_t text[64] = {}, provider[64] = {};
  WNetGetLastErrorW(&error, text, 64, provider, 64);
  wchar_t url[256] = {};
  DWORD length = 256;
  InternetCanonicalizeUrlW(L"http://example.invalid/a b", url, &length, 0);
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  const std::wstring mode = argv[2];
  std::string report;
  if (mode == L"delayed") {
    CallDelayedImports();
    for (const wchar_t* name : {L"version.dll", L"mpr.dll", L"wininet.dll", L"comctl32.dll"}) {
      report += Utf8(name) + "\t" + Utf8(ModuleFile(GetModuleHandleW(name))) + "\n";
    }
  } else if (mode == L"bare" || mode == L"narrowed") {
    if (mode == L"narrowed") norvale::dllsearch::KeepDllSearchToSystemFolder();
    const HMODULE planted = LoadLibraryW(L"planted.dll");
    report = "planted.dll\t" + Utf8(ModuleFile(planted)) + "\n";
  } else {
    return 2;
  }
  FILE* out = _wfopen(argv[1], L"wb");
  if (!out) return 3;
  const bool written = std::fwrite(report.data(), 1, report.size(), out) == report.size();
  return std::fclose(out) == 0 && written ? 0 : 3;
}
