#include "SystemDlls.h"

#include <delayimp.h>

namespace norvale::dllsearch {
namespace {

// The LOAD_LIBRARY_SEARCH_* flags came with SetDefaultDllDirectories; a
// system without it refuses them as invalid.
bool HasSearchFlags() {
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  return kernel && GetProcAddress(kernel, "SetDefaultDllDirectories");
}

// A DLL name of an import table is ASCII; anything else, and any path, is
// no name this layer resolves.
bool WidenName(const char* name, wchar_t* wide, size_t capacity) {
  if (!name || !*name) return false;
  size_t i = 0;
  for (; name[i]; ++i) {
    const unsigned char c = static_cast<unsigned char>(name[i]);
    if (i + 1 >= capacity || c >= 0x80 || c < 0x20 || c == '\\' || c == '/' || c == ':') {
      return false;
    }
    wide[i] = static_cast<wchar_t>(c);
  }
  wide[i] = L'\0';
  return true;
}

bool RedirectedByActivationContext(const wchar_t* name) {
  ACTCTX_SECTION_KEYED_DATA data{};
  data.cbSize = sizeof data;
  return FindActCtxSectionStringW(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION, name,
                                  &data) != FALSE;
}

FARPROC WINAPI NotifyHook(unsigned notify, PDelayLoadInfo info) {
  if (notify != dliNotePreLoadLibrary || !info) return nullptr;
  const HMODULE module = LoadSystemDll(info->szDll);
  if (!module) {
    // Handing back nothing would make the helper load the bare name along
    // the whole search path, the program's folder first: fail the call as
    // the helper fails a DLL it cannot load at all.
    info->dwLastError = GetLastError();
    ULONG_PTR argument = reinterpret_cast<ULONG_PTR>(info);
    RaiseException(VcppException(ERROR_SEVERITY_ERROR, ERROR_MOD_NOT_FOUND), 0, 1, &argument);
  }
  return reinterpret_cast<FARPROC>(module);
}

}  // namespace

void KeepDllSearchToSystemFolder() {
  using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (!kernel) return;
  const auto narrow = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (narrow) narrow(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

HMODULE LoadSystemDll(const char* name) {
  wchar_t wide[MAX_PATH] = {};
  if (!WidenName(name, wide, MAX_PATH)) return nullptr;
  const bool searchFlags = HasSearchFlags();
  // The side-by-side store is the system's own: a name the manifest
  // redirects is found there before any folder is searched, and the system
  // folder's copy would be the wrong version (5.8 of the common controls).
  if (RedirectedByActivationContext(wide)) {
    return LoadLibraryExW(wide, nullptr, searchFlags ? LOAD_LIBRARY_SEARCH_SYSTEM32 : 0);
  }
  // A 32-bit program on 64-bit Windows names System32 here and is given
  // SysWOW64 by the system's redirection, which is the folder it needs.
  wchar_t path[MAX_PATH + 1 + MAX_PATH] = {};
  const UINT folder = GetSystemDirectoryW(path, MAX_PATH);
  if (folder == 0 || folder >= MAX_PATH) return nullptr;
  size_t at = folder;
  path[at++] = L'\\';
  for (const wchar_t* c = wide; *c; ++c) path[at++] = *c;
  path[at] = L'\0';
  // Without the search flags, the altered search path takes the DLL's own
  // dependencies from its folder, the system folder, first.
  return LoadLibraryExW(path, nullptr,
                        searchFlags ? LOAD_LIBRARY_SEARCH_SYSTEM32 : LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace norvale::dllsearch

// The delay-load helper of the runtime (libmingwex) asks this hook before
// it loads a DLL; set once here and never changed.
PfnDliHook __pfnDliNotifyHook2 = &norvale::dllsearch::NotifyHook;
