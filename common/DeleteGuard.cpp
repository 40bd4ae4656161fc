#include "DeleteGuard.h"

#include <windows.h>
#include <shlobj.h>

#include <vector>

#include "Handles.h"
#include "Text.h"

namespace norvale {
namespace {

std::wstring WithoutTrailingSeparators(std::wstring path) {
  while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
  return path;
}

std::wstring Normalised(const std::wstring& path) {
  DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (n == 0) return {};
  std::vector<wchar_t> buffer(n + 1);
  n = GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
  if (n == 0 || n >= buffer.size()) return {};
  return WithoutTrailingSeparators(std::wstring(buffer.data(), n));
}

// The long form of an existing path ("C:\PROGRA~1" names Program Files too).
std::wstring LongForm(const std::wstring& path) {
  DWORD n = GetLongPathNameW(path.c_str(), nullptr, 0);
  if (n == 0) return path;
  std::vector<wchar_t> buffer(n + 1);
  n = GetLongPathNameW(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
  if (n == 0 || n >= buffer.size()) return path;
  return WithoutTrailingSeparators(std::wstring(buffer.data(), n));
}

// Where an existing path really lies: links and junctions on the way to it
// resolved, the last part itself taken as it is (a link there is deleted as
// a link). Empty when the path does not exist or cannot be asked.
std::wstring ResolvedForm(const std::wstring& path) {
  FileHandle handle(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                nullptr));
  if (!handle) return {};
  std::vector<wchar_t> buffer(1024);
  DWORD n = GetFinalPathNameByHandleW(handle.Get(), buffer.data(),
                                      static_cast<DWORD>(buffer.size()), VOLUME_NAME_DOS);
  if (n >= buffer.size()) {
    buffer.resize(n + 1);
    n = GetFinalPathNameByHandleW(handle.Get(), buffer.data(),
                                  static_cast<DWORD>(buffer.size()), VOLUME_NAME_DOS);
  }
  if (n == 0 || n >= buffer.size()) return {};
  std::wstring resolved(buffer.data(), n);
  if (StartsWith(resolved, L"\\\\?\\UNC\\")) {
    resolved = L"\\\\" + resolved.substr(8);
  } else if (StartsWith(resolved, L"\\\\?\\")) {
    resolved = resolved.substr(4);
  }
  return WithoutTrailingSeparators(resolved);
}

std::wstring KnownFolder(int csidl) {
  wchar_t buffer[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, csidl | CSIDL_FLAG_DONT_VERIFY, nullptr,
                              SHGFP_TYPE_CURRENT, buffer))) {
    return {};
  }
  return buffer;
}

std::wstring EnvironmentFolder(const wchar_t* name) {
  wchar_t buffer[MAX_PATH] = {};
  DWORD n = GetEnvironmentVariableW(name, buffer, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::wstring(buffer, n) : std::wstring();
}

// Folders that belong to Windows or to the user as a whole.
std::vector<std::wstring> AskProtectedFolders() {
  static const int kCsidls[] = {
      CSIDL_WINDOWS, CSIDL_SYSTEM, CSIDL_SYSTEMX86, CSIDL_PROGRAM_FILES,
      CSIDL_PROGRAM_FILESX86, CSIDL_PROGRAM_FILES_COMMON, CSIDL_PROGRAM_FILES_COMMONX86,
      CSIDL_COMMON_APPDATA, CSIDL_PROFILE, CSIDL_APPDATA, CSIDL_LOCAL_APPDATA,
      CSIDL_PERSONAL, CSIDL_DESKTOPDIRECTORY, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_PROGRAMS,
      CSIDL_COMMON_PROGRAMS, CSIDL_STARTMENU, CSIDL_COMMON_STARTMENU, CSIDL_STARTUP,
      CSIDL_COMMON_STARTUP, CSIDL_FONTS, CSIDL_TEMPLATES, CSIDL_COMMON_TEMPLATES,
      CSIDL_COMMON_DOCUMENTS, CSIDL_MYPICTURES, CSIDL_MYMUSIC, CSIDL_MYVIDEO, CSIDL_FAVORITES,
      CSIDL_SENDTO, CSIDL_RECENT, CSIDL_NETHOOD, CSIDL_PRINTHOOD, CSIDL_INTERNET_CACHE,
      CSIDL_COOKIES, CSIDL_HISTORY, CSIDL_COMMON_ADMINTOOLS, CSIDL_ADMINTOOLS};
  std::vector<std::wstring> folders;
  for (int csidl : kCsidls) folders.push_back(KnownFolder(csidl));
  for (const wchar_t* name : {L"ProgramW6432", L"ProgramFiles", L"ProgramFiles(x86)",
                              L"ProgramData", L"SystemRoot", L"windir", L"USERPROFILE",
                              L"PUBLIC", L"ALLUSERSPROFILE", L"TEMP", L"TMP"}) {
    folders.push_back(EnvironmentFolder(name));
  }
  // The folder holding every profile ("C:\Users").
  const std::wstring profile = KnownFolder(CSIDL_PROFILE);
  const size_t sep = profile.rfind(L'\\');
  if (sep != std::wstring::npos) folders.push_back(profile.substr(0, sep));
  std::vector<std::wstring> normalised;
  for (const std::wstring& f : folders) {
    if (f.empty()) continue;
    const std::wstring full = Normalised(f);
    normalised.push_back(full);
    const std::wstring longForm = LongForm(full);
    if (longForm != full) normalised.push_back(longForm);
  }
  return normalised;
}

// Where these folders lie does not change while a program runs; asking the
// shell costs milliseconds, and deletes come by the hundred.
const std::vector<std::wstring>& ProtectedFolders() {
  static const std::vector<std::wstring> folders = AskProtectedFolders();
  return folders;
}

// True when `ancestor` is `path` itself or one of its parents.
bool IsSameOrAncestor(const std::wstring& ancestor, const std::wstring& path) {
  if (ancestor.size() > path.size()) return false;
  if (!TextEqualsIgnoreCase(ancestor, path.substr(0, ancestor.size()))) return false;
  return ancestor.size() == path.size() || path[ancestor.size()] == L'\\' ||
         ancestor.back() == L'\\';
}

bool IsDriveAbsolute(const std::wstring& p) {
  return p.size() >= 3 && iswalpha(p[0]) && p[1] == L':' && (p[2] == L'\\' || p[2] == L'/');
}

}  // namespace

std::wstring DeleteRefusal(const std::wstring& path, DeleteKind kind) {
  const std::wstring p = Trim(path);
  if (p.empty()) return L"blank path";
  if (p.find(L'\0') != std::wstring::npos) return L"path holds a NUL";
  if (StartsWith(p, L"\\\\?\\") || StartsWith(p, L"\\\\.\\") || StartsWith(p, L"//?/") ||
      StartsWith(p, L"//./")) {
    return L"device or raw path";
  }
  const size_t lastSep = p.find_last_of(L"\\/");
  const size_t wildcard = p.find_first_of(L"*?");
  if (wildcard != std::wstring::npos &&
      (kind == DeleteKind::SinglePath || lastSep == std::wstring::npos || wildcard < lastSep)) {
    return L"wildcard in path";
  }
  const bool unc = StartsWith(p, L"\\\\") || StartsWith(p, L"//");
  if (!unc && !IsDriveAbsolute(p)) return L"relative path";

  // What the folder part resolves to ("C:\a\..\.." is the drive root).
  // The separator stays with the folder part: "C:" alone would name the
  // drive's current directory, not its root.
  const std::wstring folderPart =
      wildcard != std::wstring::npos ? p.substr(0, lastSep + 1) : p;
  const std::wstring full = Normalised(folderPart);
  if (full.empty()) return L"path cannot be resolved";
  if (unc) {
    // "\\server\share" and anything above it is a share root.
    size_t parts = 0;
    for (size_t i = 2; i < full.size(); ++i) {
      if (full[i] == L'\\' && i + 1 < full.size()) ++parts;
    }
    if (parts < 2) return L"share root";
  } else if (full.size() <= 3) {
    return L"drive root";
  }
  // The same folder by other names: its long form, and where it lies once
  // the links on the way are followed.
  std::vector<std::wstring> forms{full};
  const std::wstring longForm = LongForm(full);
  if (longForm != full) forms.push_back(longForm);
  const std::wstring resolved = ResolvedForm(full);
  if (!resolved.empty() && resolved != full) {
    if (!StartsWith(resolved, L"\\\\") && resolved.size() <= 3) return L"drive root";
    forms.push_back(resolved);
  }
  for (const std::wstring& form : forms) {
    for (const std::wstring& guarded : ProtectedFolders()) {
      if (IsSameOrAncestor(form, guarded)) return L"protected folder: " + guarded;
    }
  }
  return L"";
}

namespace {

bool RemoveBelow(const std::wstring& folder) {
  bool ok = true;
  WIN32_FIND_DATAW data{};
  FindHandle find(FindFirstFileW((folder + L"\\*").c_str(), &data));
  if (find) {
    do {
      const std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring child = folder + L"\\" + name;
      const DWORD attributes = data.dwFileAttributes;
      if (attributes & FILE_ATTRIBUTE_READONLY) {
        SetFileAttributesW(child.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
      }
      if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        // A junction or directory link is removed as itself, never entered.
        if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) ok = RemoveBelow(child) && ok;
        ok = RemoveDirectoryW(child.c_str()) && ok;
      } else {
        ok = DeleteFileW(child.c_str()) && ok;
      }
    } while (FindNextFileW(find.Get(), &data));
  }
  return ok;
}

}  // namespace

bool DeleteTree(const std::wstring& folder, std::wstring* why) {
  const std::wstring refusal = DeleteRefusal(folder);
  if (!refusal.empty()) {
    if (why) *why = refusal;
    return false;
  }
  const std::wstring full = Normalised(Trim(folder));
  const DWORD attributes = GetFileAttributesW(full.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    if (why) *why = L"no such folder";
    return false;
  }
  if (attributes & FILE_ATTRIBUTE_READONLY) {
    SetFileAttributesW(full.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  }
  if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) RemoveBelow(full);
  if (RemoveDirectoryW(full.c_str())) return true;
  if (why) *why = L"folder could not be removed completely";
  return false;
}

}  // namespace norvale
