#include "FolderHandles.h"

#include <objbase.h>

#include <cwchar>
#include <vector>

#include "NtFileCalls.h"
#include "Paths.h"
#include "Text.h"

namespace norvale {
namespace {

constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

const nt::FileCalls& Calls() { return nt::FileCalls::System(); }

// One native create of name relative to root; the handle, or none with the
// Windows error set.
FileHandle NativeCreate(HANDLE root, const std::wstring& name, ACCESS_MASK access, ULONG share,
                        ULONG disposition, ULONG options, PSECURITY_DESCRIPTOR descriptor,
                        nt::Status* statusOut = nullptr) {
  const nt::FileCalls& calls = Calls();
  if (!calls.Available()) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return {};
  }
  if (!IsSinglePart(name) || name.size() > 255) {
    SetLastError(ERROR_INVALID_NAME);
    return {};
  }
  HANDLE opened = nullptr;
  const nt::Status status = calls.CreateIn(
      root, name, access | SYNCHRONIZE | FILE_READ_ATTRIBUTES, FILE_ATTRIBUTE_NORMAL, share,
      disposition, options | nt::kFileSynchronousIoNonAlert | nt::kFileOpenForBackupIntent,
      descriptor, &opened);
  if (statusOut) *statusOut = status;
  if (status < 0) {
    calls.SetLastErrorOf(status);
    return {};
  }
  return FileHandle(opened);
}

bool IsLink(HANDLE handle) {
  FILE_ATTRIBUTE_TAG_INFO tag{};
  if (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag)) return true;
  return (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// The handle lies where its folder lists it. A link that opening followed
// all the same leads elsewhere: to another folder, or under another name.
bool LiesAt(HANDLE handle, const std::wstring& expected, std::wstring* openedPath) {
  const std::wstring opened = FinalPathOfHandle(handle);
  if (openedPath) *openedPath = opened;
  return !opened.empty() && SamePath(opened, expected);
}

}  // namespace

std::optional<FileIdentity> IdentityOf(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file, &info)) return std::nullopt;
  return FileIdentity{info.dwVolumeSerialNumber,
                      (static_cast<ULONGLONG>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

std::wstring UniqueFolderName(const std::wstring& prefix) {
  GUID guid{};
  if (FAILED(CoCreateGuid(&guid))) return L"";
  wchar_t digits[40];
  swprintf(digits, 40, L"%08lX%04X%04X%02X%02X%02X%02X%02X%02X%02X%02X",
           static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0],
           guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
           guid.Data4[6], guid.Data4[7]);
  return prefix + digits;
}

bool IsSinglePart(std::wstring_view name) {
  if (name.empty() || name == L"." || name == L"..") return false;
  for (wchar_t c : name) {
    if (c < 0x20 || std::wstring_view(L"\\/:*?\"<>|").find(c) != std::wstring_view::npos) {
      return false;
    }
  }
  return true;
}

FileHandle OpenFolderIn(HANDLE parent, const std::wstring& parentPath, const std::wstring& name,
                        ACCESS_MASK access, std::wstring* openedPath) try {
  FileHandle folder = NativeCreate(parent, name, access, kShareAll, nt::kFileOpen,
                                   nt::kFileDirectoryFile | nt::kFileOpenReparsePoint, nullptr);
  if (!folder) return {};
  if (IsLink(folder.Get()) || parentPath.empty() ||
      !LiesAt(folder.Get(), EntryPath(parentPath, name), openedPath)) {
    SetLastError(kErrorLinkOnTheWay);
    return {};
  }
  return folder;
} catch (...) {
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return {};
}

FileHandle CreateFolderIn(HANDLE parent, const std::wstring& name,
                          PSECURITY_DESCRIPTOR descriptor, ACCESS_MASK access) {
  nt::Status status = 0;
  FileHandle folder = NativeCreate(parent, name, access, kShareAll, nt::kFileCreate,
                                   nt::kFileDirectoryFile, descriptor, &status);
  if (!folder && status == nt::kStatusObjectNameCollision) SetLastError(ERROR_ALREADY_EXISTS);
  return folder;
}

FileHandle CreateFileIn(HANDLE folder, const std::wstring& name, ACCESS_MASK access,
                        DWORD share) {
  nt::Status status = 0;
  FileHandle file = NativeCreate(folder, name, access, share, nt::kFileCreate,
                                 nt::kFileNonDirectoryFile, nullptr, &status);
  if (!file && status == nt::kStatusObjectNameCollision) SetLastError(ERROR_FILE_EXISTS);
  return file;
}

FileHandle OpenFileIn(HANDLE folder, const std::wstring& name, ACCESS_MASK access, DWORD share) {
  FileHandle file = NativeCreate(folder, name, access, share, nt::kFileOpen,
                                 nt::kFileNonDirectoryFile | nt::kFileOpenReparsePoint, nullptr);
  if (file && IsLink(file.Get())) {
    SetLastError(kErrorLinkOnTheWay);
    return {};
  }
  return file;
}

EntryKind KindIn(HANDLE folder, const std::wstring& name) {
  nt::Status status = 0;
  const FileHandle entry = NativeCreate(folder, name, FILE_READ_ATTRIBUTES, kShareAll,
                                        nt::kFileOpen, nt::kFileOpenReparsePoint, nullptr, &status);
  if (!entry) {
    return status == nt::kStatusObjectNameNotFound ? EntryKind::kMissing : EntryKind::kUnknown;
  }
  FILE_ATTRIBUTE_TAG_INFO tag{};
  if (!GetFileInformationByHandleEx(entry.Get(), FileAttributeTagInfo, &tag, sizeof tag)) {
    return EntryKind::kUnknown;
  }
  if (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return EntryKind::kLink;
  return (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? EntryKind::kFolder : EntryKind::kFile;
}

bool RenameInto(HANDLE file, HANDLE folder, const std::wstring& name, bool replace) {
  const nt::FileCalls& calls = Calls();
  if (!calls.setInformation) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return false;
  }
  if (!IsSinglePart(name) || name.size() > 255) {
    SetLastError(ERROR_INVALID_NAME);
    return false;
  }
  const size_t bytes = name.size() * sizeof(wchar_t);
  std::vector<unsigned char> buffer(sizeof(nt::RenameInformation) + bytes);
  auto* rename = reinterpret_cast<nt::RenameInformation*>(buffer.data());
  rename->ReplaceIfExists = replace ? TRUE : FALSE;
  rename->RootDirectory = folder;
  rename->FileNameLength = static_cast<ULONG>(bytes);
  for (size_t i = 0; i < name.size(); ++i) rename->FileName[i] = name[i];
  nt::IoStatusBlock io{};
  const nt::Status status = calls.setInformation(file, &io, rename,
                                                     static_cast<ULONG>(buffer.size()),
                                                     nt::kFileRenameInformation);
  if (status < 0) {
    Calls().SetLastErrorOf(status);
    return false;
  }
  return true;
}

FileHandle OpenFolderWithoutLinks(const std::wstring& path, ACCESS_MASK access,
                                  std::wstring* openedPath) try {
  // The parts as the folders list them: an 8.3 alias names the same folder
  // by a name its listing does not show as the folder's own.
  const std::wstring full = FullPath(path);
  std::wstring listed = LongPath(full);
  if (listed.empty()) listed = full;
  if (listed.size() < 3 || !IsDriveAbsolute(listed)) {
    SetLastError(ERROR_BAD_PATHNAME);
    return {};
  }
  const std::wstring root = listed.substr(0, 3);
  const bool onlyRoot = listed.size() == 3;
  FileHandle current(CreateFileW(root.c_str(),
                                 (onlyRoot ? access : FILE_TRAVERSE) | FILE_READ_ATTRIBUTES |
                                     SYNCHRONIZE,
                                 kShareAll, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                 nullptr));
  if (!current) return {};
  std::wstring at = FinalPathOfHandle(current.Get());
  if (at.empty() || !SamePath(at, root.substr(0, 2) + L"\\")) {
    SetLastError(kErrorLinkOnTheWay);
    return {};
  }
  size_t start = 3;
  while (start < listed.size()) {
    size_t end = listed.find(L'\\', start);
    if (end == std::wstring::npos) end = listed.size();
    const std::wstring name = listed.substr(start, end - start);
    start = end + 1;
    if (name.empty()) continue;
    const bool last = start >= listed.size();
    std::wstring opened;
    FileHandle next = OpenFolderIn(current.Get(), at, name,
                                   last ? access : FILE_TRAVERSE, &opened);
    if (!next) return {};
    current = std::move(next);
    at = opened;
  }
  if (openedPath) *openedPath = at;
  return current;
} catch (...) {
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return {};
}

}  // namespace norvale
