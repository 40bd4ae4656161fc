#include "WindowsRules.h"

#include <vector>

#include "FileActs.h"
#include "Paths.h"

namespace norvale {
namespace {

bool Missing(nt::Status status) {
  return status == nt::kStatusObjectNameNotFound || status == nt::kStatusObjectPathNotFound;
}

// The folder part of a rename's absolute target in the system's own form
// ("\??\C:\x\y", "\??\UNC\host\share\y"), as a Win32 path.
std::wstring TargetFolderOf(std::wstring_view name) {
  constexpr std::wstring_view kPrefix = L"\\??\\";
  if (name.substr(0, kPrefix.size()) != kPrefix) return {};
  name.remove_prefix(kPrefix.size());
  std::wstring path = name.substr(0, 4) == L"UNC\\" ? L"\\" + std::wstring(name.substr(3))
                                                     : std::wstring(name);
  const size_t last = path.find_last_of(L'\\');
  if (last == std::wstring::npos) return {};
  path.resize(last);
  if (path.size() == 2) path += L'\\';
  return path;
}

}  // namespace

bool RunsUnderWine() {
  // Wine's ntdll exports its own version call; Windows' never does.
  static const bool wine = [] {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
  }();
  return wine;
}

WindowsRelease ReleaseToModel() {
  wchar_t value[16] = {};
  const DWORD n = GetEnvironmentVariableW(L"NORVALE_WINDOWS_RULES", value, 16);
  if (n > 0 && n < 16 && std::wstring(value, n) == L"11-24H2") {
    return WindowsRelease::Windows11_24H2;
  }
  return WindowsRelease::Windows10;
}

DWORD WindowsRules::RenameTargetSharing() const {
  return release_ == WindowsRelease::Windows11_24H2 ? kShareAll
                                                   : FILE_SHARE_READ | FILE_SHARE_WRITE;
}

nt::Status WindowsRules::HoldAsRenameTarget(HANDLE folder, const std::wstring& byPath,
                                            HANDLE entry, FileHandle& held) const {
  const std::optional<DWORD> attributes = AttributesOf(entry);
  const ACCESS_MASK access =
      (attributes && (*attributes & FILE_ATTRIBUTE_DIRECTORY) ? FILE_ADD_SUBDIRECTORY
                                                              : FILE_ADD_FILE) |
      SYNCHRONIZE;
  if (folder) {
    return system_.CreateIn(folder, L"", access, 0, RenameTargetSharing(), nt::kFileOpen,
                            nt::kFileDirectoryFile | nt::kFileSynchronousIoNonAlert, nullptr,
                            held.Put());
  }
  held.Reset(CreateFileW(byPath.c_str(), access, RenameTargetSharing(), nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return held ? 0 : nt::kStatusAccessDenied;
}

nt::Status WindowsRules::Set(HANDLE file, PVOID information, ULONG length,
                             ULONG informationClass) const {
  if (informationClass == nt::kFileRenameInformation) {
    const auto* rename = static_cast<const nt::RenameInformation*>(information);
    const std::wstring_view name(rename->FileName, rename->FileNameLength / sizeof(wchar_t));
    if (rename->ReplaceIfExists) {
      // The older rename replaces no read-only file; Wine's does.
      FileHandle there;
      if (system_.CreateIn(rename->RootDirectory, name, FILE_READ_ATTRIBUTES, 0, kShareAll,
                           nt::kFileOpen, nt::kFileOpenReparsePoint | nt::kFileOpenForBackupIntent,
                           nullptr, there.Put()) >= 0) {
        const std::optional<DWORD> attributes = AttributesOf(there.Get());
        if (attributes && (*attributes & FILE_ATTRIBUTE_READONLY)) return nt::kStatusAccessDenied;
      }
    }
    FileHandle target;
    if (const nt::Status held = HoldAsRenameTarget(rename->RootDirectory, L"", file, target);
        held < 0) {
      return held;
    }
    return system_.Set(file, information, length, informationClass);
  }
  if (informationClass == nt::kFileRenameInformationEx) {
    const auto* rename = static_cast<const nt::RenameInformationEx*>(information);
    nt::Status status = 0;
    {
      FileHandle target;
      status = HoldAsRenameTarget(rename->RootDirectory, L"", file, target);
      if (status < 0) return status;
      status = system_.Set(file, information, length, informationClass);
    }
    if (!nt::Unsupported(status) || !(rename->Flags & nt::kRenamePosixSemantics)) return status;
    return ReplaceAsThePosixCallDoes(
        file, rename->RootDirectory,
        std::wstring_view(rename->FileName, rename->FileNameLength / sizeof(wchar_t)));
  }
  return system_.Set(file, information, length, informationClass);
}

nt::Status WindowsRules::RenameInto(HANDLE entry, HANDLE folder, std::wstring_view name) const {
  std::vector<unsigned char> buffer(sizeof(nt::RenameInformation) + name.size() * sizeof(wchar_t));
  auto* rename = reinterpret_cast<nt::RenameInformation*>(buffer.data());
  rename->ReplaceIfExists = FALSE;
  rename->RootDirectory = folder;
  rename->FileNameLength = static_cast<ULONG>(name.size() * sizeof(wchar_t));
  std::copy(name.begin(), name.end(), rename->FileName);
  return Set(entry, buffer.data(), static_cast<ULONG>(buffer.size()), nt::kFileRenameInformation);
}

// The file that has the name steps aside (a rename, which a handle sharing
// deletes admits) and goes once entry took the name; one that a handle holds
// without sharing deletes, or a folder, stays.
nt::Status WindowsRules::ReplaceAsThePosixCallDoes(HANDLE entry, HANDLE folder,
                                                   std::wstring_view name) const {
  FileHandle there;
  const nt::Status opened =
      system_.CreateIn(folder, name, DELETE | FILE_READ_ATTRIBUTES, 0, kShareAll, nt::kFileOpen,
                       nt::kFileOpenReparsePoint | nt::kFileOpenForBackupIntent, nullptr,
                       there.Put());
  if (Missing(opened)) return RenameInto(entry, folder, name);
  if (opened < 0) return opened;
  const std::optional<DWORD> attributes = AttributesOf(there.Get());
  if (!attributes || ((*attributes & FILE_ATTRIBUTE_DIRECTORY) && !IsLinkAttributes(*attributes))) {
    return nt::kStatusAccessDenied;
  }
  const std::wstring aside = UniqueFolderName(L"~nv");
  if (aside.empty()) return nt::kStatusAccessDenied;
  if (const nt::Status moved = RenameInto(there.Get(), folder, aside); moved < 0) return moved;
  if (const nt::Status placed = RenameInto(entry, folder, name); placed < 0) {
    RenameInto(there.Get(), folder, name);
    return placed;
  }
  DisposeOf(there.Get(), true);
  return 0;
}

bool WindowsRules::SetByHandle(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, PVOID information,
                               DWORD size) const {
  if (kind == FileRenameInfo) {
    const auto* rename = static_cast<const FILE_RENAME_INFO*>(information);
    const std::wstring folder = TargetFolderOf(
        std::wstring_view(rename->FileName, rename->FileNameLength / sizeof(wchar_t)));
    FileHandle target;
    if (folder.empty() || HoldAsRenameTarget(nullptr, folder, file, target) < 0) {
      if (folder.empty()) SetLastError(ERROR_INVALID_NAME);
      return false;
    }
    return system_.SetByHandle(file, kind, information, size);
  }
  return system_.SetByHandle(file, kind, information, size);
}

bool WindowsRules::Dispose(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, PVOID information,
                           DWORD size, Disposals& across, const KnownOfIt& known) const {
  const std::wstring lies = known.lies.empty() ? FinalPathOfHandle(file) : known.lies;
  if (across.images.Hold(file, lies, known.index)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  return system_.Dispose(file, kind, information, size, across, known);
}

}  // namespace norvale
