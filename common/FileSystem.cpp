#include "FileSystem.h"

#include <vector>

#include "Handles.h"
#include "RuntimeError.h"
#include "System.h"
#include "Text.h"

namespace norvale {
namespace {

constexpr DWORD kHiddenOrSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

bool IsFolderAttr(DWORD a) { return (a & FILE_ATTRIBUTE_DIRECTORY) != 0; }

}  // namespace

std::optional<FoundFile> QueryFile(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (path.empty() || !GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
    return std::nullopt;
  }
  FoundFile f;
  size_t sep = path.find_last_of(L"\\/");
  f.name = sep == std::wstring::npos ? path : path.substr(sep + 1);
  f.attributes = data.dwFileAttributes;
  f.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  f.lastWrite = data.ftLastWriteTime;
  return f;
}

bool FileExists(const std::wstring& path) {
  auto f = QueryFile(path);
  return f && !IsFolderAttr(f->attributes);
}

bool IsOrdinaryFile(const std::wstring& path) {
  auto f = QueryFile(path);
  return f && !IsFolderAttr(f->attributes) && (f->attributes & kHiddenOrSystem) == 0;
}

bool FolderExists(const std::wstring& path) {
  auto f = QueryFile(path);
  return f && IsFolderAttr(f->attributes);
}

std::vector<FoundFile> ListFiles(const std::wstring& pattern, bool includeHiddenAndSystem,
                                 int32_t* listError) {
  std::vector<FoundFile> found;
  if (listError) *listError = 0;
  WIN32_FIND_DATAW data{};
  FindHandle find(FindFirstFileW(pattern.c_str(), &data));
  if (!find) {
    const DWORD code = GetLastError();
    if (listError && code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND &&
        code != ERROR_NO_MORE_FILES && code != ERROR_SUCCESS) {
      *listError = RuntimeErrorFromWin32(code);
    }
    return found;
  }
  do {
    if (IsFolderAttr(data.dwFileAttributes)) continue;
    if (!includeHiddenAndSystem && (data.dwFileAttributes & kHiddenOrSystem) != 0) continue;
    FoundFile f;
    f.name = data.cFileName;
    f.attributes = data.dwFileAttributes;
    f.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    f.lastWrite = data.ftLastWriteTime;
    found.push_back(std::move(f));
  } while (FindNextFileW(find.Get(), &data));
  return found;
}

bool IsNetworkPath(const std::wstring& path) { return StartsWith(path, L"\\\\"); }

bool IsFullyQualifiedPath(const std::wstring& path) {
  const wchar_t first = path.empty() ? L'\0' : path[0];
  const bool letter = (first >= L'A' && first <= L'Z') || (first >= L'a' && first <= L'z');
  if (path.size() >= 3 && letter && path[1] == L':' && path[2] == L'\\') return true;
  return path.size() > 2 && path[0] == L'\\' && path[1] == L'\\' && path[2] != L'\\' &&
         path[2] != L'?' && path[2] != L'.';
}

std::optional<std::wstring> AbsolutePath(const std::wstring& path,
                                         const std::wstring& baseFolder) {
  std::wstring p = Trim(path);
  if (p.empty()) return std::wstring();
  if (p[0] == L'.') {
    std::wstring base = IsBlank(baseFolder) ? ProgramFolder() : Trim(baseFolder);
    if (!base.empty() && base.back() != L'\\') base += L'\\';
    p = base + p;
  }
  DWORD n = GetFullPathNameW(p.c_str(), 0, nullptr, nullptr);
  if (n == 0) return std::nullopt;
  std::vector<wchar_t> buffer(n + 1);
  n = GetFullPathNameW(p.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
  if (n == 0 || n >= buffer.size()) return std::nullopt;
  return std::wstring(buffer.data(), n);
}

int32_t CreateMissingLevels(const std::wstring& full, std::wstring* failedLevel) {
  // Prefixes "C:", "C:\A", "C:\A\B", ... each created when missing. Unlike
  // entering each level, this leaves the current directory alone, so the new
  // folder stays deletable and relative paths keep their meaning.
  std::wstring prefix;
  size_t start = 0;
  while (true) {
    size_t p = full.find(L'\\', start);
    if (p == std::wstring::npos) p = full.size();
    std::wstring component = full.substr(start, p - start);
    prefix = prefix.empty() ? component : prefix + L"\\" + component;
    std::wstring probe = prefix;
    if (probe.size() == 2 && probe[1] == L':') probe += L'\\';
    if (!FolderExists(probe) && !CreateDirectoryW(prefix.c_str(), nullptr)) {
      DWORD code = GetLastError();
      // A level that another process created meanwhile is fine.
      if (!(code == ERROR_ALREADY_EXISTS && FolderExists(probe))) {
        if (failedLevel) *failedLevel = prefix;
        return RuntimeErrorFromWin32(code);
      }
    }
    if (p + 1 >= full.size()) return 0;
    start = p + 1;
  }
}

int32_t CreateNetworkFolder(const std::wstring& path) {
  WIN32_FIND_DATAW data{};
  FindHandle find(FindFirstFileW(path.c_str(), &data));
  if (find) return 0;
  if (CreateDirectoryW(path.c_str(), nullptr)) return 0;
  return LastRuntimeError();
}

bool IsSelfOrParent(std::wstring_view name) { return name == L"." || name == L".."; }

std::wstring WithoutTrailingSeparator(std::wstring path) {
  if (path.size() > 3 && path.back() == L'\\') path.pop_back();
  return path;
}

}  // namespace norvale
