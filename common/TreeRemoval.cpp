#include "TreeRemoval.h"

#include <cstring>
#include <vector>

#include "NtFileCalls.h"
#include "Paths.h"

namespace norvale {
namespace {

// Where the system keeps deleting a file for as long as it is open (POSIX
// semantics), its name goes at once, and a read-only mark is no obstacle.
constexpr DWORD kDispositionDelete = 0x1;
constexpr DWORD kDispositionPosix = 0x2;
constexpr DWORD kDispositionIgnoreReadOnly = 0x10;
// Windows 10 1709 and later; the toolchain's headers offer it only to
// programs that require that version.
constexpr auto kDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
struct DispositionInfoEx {
  DWORD Flags;
};

// Deletes through the handle; posixWorks remembers for a walk that the
// system lacks the newer call (Windows before 10 1709, Wine), so it is not
// asked again for every file. A read-only mark is cleared only once the
// plain delete met it, as most files carry none; a link's marks are its own
// and are never touched.
bool Dispose(HANDLE handle, bool& posixWorks) {
  if (posixWorks) {
    DispositionInfoEx info{kDispositionDelete | kDispositionPosix | kDispositionIgnoreReadOnly};
    if (SetFileInformationByHandle(handle, kDispositionInfoEx, &info, sizeof info)) return true;
    const DWORD error = GetLastError();
    if (error != ERROR_INVALID_PARAMETER && error != ERROR_INVALID_FUNCTION &&
        error != ERROR_NOT_SUPPORTED && error != ERROR_CALL_NOT_IMPLEMENTED) {
      return false;
    }
    posixWorks = false;
  }
  FILE_DISPOSITION_INFO info{};
  info.DeleteFile = TRUE;
  if (SetFileInformationByHandle(handle, FileDispositionInfo, &info, sizeof info)) return true;
  const DWORD error = GetLastError();
  FILE_BASIC_INFO basic{};
  if (error != ERROR_ACCESS_DENIED ||
      !GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic) ||
      !(basic.FileAttributes & FILE_ATTRIBUTE_READONLY) ||
      (basic.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    SetLastError(error);
    return false;
  }
  const DWORD marks = basic.FileAttributes;
  FILE_BASIC_INFO cleared{};  // zero times stay as they are
  cleared.FileAttributes = marks & ~FILE_ATTRIBUTE_READONLY;
  if (cleared.FileAttributes == 0) cleared.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  if (SetFileInformationByHandle(handle, FileBasicInfo, &cleared, sizeof cleared) &&
      SetFileInformationByHandle(handle, FileDispositionInfo, &info, sizeof info)) {
    return true;
  }
  const DWORD failed = GetLastError();
  FILE_BASIC_INFO restored{};
  restored.FileAttributes = marks;
  SetFileInformationByHandle(handle, FileBasicInfo, &restored, sizeof restored);
  SetLastError(failed);
  return false;
}

bool IsSelfOrParentName(const wchar_t* name, size_t length) {
  return (length == 1 && name[0] == L'.') || (length == 2 && name[0] == L'.' && name[1] == L'.');
}

struct Listed {
  std::wstring name;
  DWORD attributes;  // as listed: a hint for what to report, never for what to do
};

// What a folder holds, read through its handle, whole before anything in it
// goes.
bool ListThroughHandle(HANDLE folder, std::vector<Listed>& entries) {
  // 64 KB, aligned for the records' 64-bit fields.
  std::vector<LONGLONG> buffer(8192);
  FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
  for (;;) {
    if (!GetFileInformationByHandleEx(folder, kind, buffer.data(),
                                      static_cast<DWORD>(buffer.size() * sizeof(LONGLONG)))) {
      return GetLastError() == ERROR_NO_MORE_FILES;
    }
    kind = FileIdBothDirectoryInfo;
    const auto* bytes = reinterpret_cast<const unsigned char*>(buffer.data());
    for (size_t offset = 0;;) {
      const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes + offset);
      const size_t length = entry->FileNameLength / sizeof(wchar_t);
      if (!IsSelfOrParentName(entry->FileName, length)) {
        entries.push_back({std::wstring(entry->FileName, length), entry->FileAttributes});
      }
      if (entry->NextEntryOffset == 0) break;
      offset += entry->NextEntryOffset;
    }
  }
}

// Whether the folder of `expected` no longer lies where it was opened,
// asked by name.
bool FolderMoved(const std::wstring& expected) {
  const std::wstring folder = expected.substr(0, expected.rfind(L'\\'));
  const std::wstring now = SystemFinalPaths().FinalPathOf(folder, true);
  return !SamePath(now, folder);
}

// A file needs no more to be checked and deleted.
constexpr DWORD kFileAccess = DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE;

class Walk {
 public:
  Walk(ITreeRemovalEvents& events, const IFinalPaths* byName)
      : events_(events), byName_(byName), calls_(nt::FileCalls::Find()) {}

  TreeRemovalResult Empty(HANDLE folder, const std::wstring& path, const std::wstring& opened) {
    TreeRemovalResult result;
    if (!calls_.Available() || opened.empty()) {
      result.retryable = true;
      return result;
    }
    std::vector<Listed> entries;
    if (!ListThroughHandle(folder, entries)) result.retryable = true;
    // The folder as a test's other system finds it, asked once for its files.
    const std::wstring resolved = byName_ ? ResolvedFolder(path, *byName_) : std::wstring();
    for (const Listed& listed : entries) {
      // Someone is changing the tree right now: whatever is done while they
      // do may be done to what they put in its place. The rest waits for
      // the next try.
      if (changed_) {
        result.retryable = true;
        break;
      }
      const std::wstring& name = listed.name;
      const std::wstring child = path + L"\\" + name;
      EntryChoice choice = EntryChoice::Remove;
      try {
        choice = events_.Choose(child);
      } catch (...) {
      }
      if (choice != EntryChoice::Keep) {
        try {
          events_.BeforeOpening(child);
        } catch (...) {
        }
        Entry(folder, listed, child, opened + L"\\" + name, resolved, choice, result);
      }
      try {
        events_.Done(child);
      } catch (...) {
      }
    }
    return result;
  }

 private:
  // Opens a listed name in its open folder, never following a link, held
  // against renames and deletes by others while it is handled.
  FileHandle OpenIn(HANDLE folder, const std::wstring& name, DWORD access, ULONG options,
                    nt::Status* status) {
    nt::UnicodeString text{static_cast<USHORT>(name.size() * sizeof(wchar_t)),
                           static_cast<USHORT>(name.size() * sizeof(wchar_t)),
                           const_cast<PWSTR>(name.data())};
    nt::ObjectAttributes object{sizeof(nt::ObjectAttributes), folder, &text,
                                nt::kObjCaseInsensitive, nullptr, nullptr};
    nt::IoStatusBlock io{};
    HANDLE opened = nullptr;
    *status = calls_.createFile(&opened, access, &object, &io, nullptr, 0, kRemovalSharing,
                                nt::kFileOpen,
                                options | nt::kFileOpenReparsePoint |
                                    nt::kFileSynchronousIoNonAlert | nt::kFileOpenForBackupIntent,
                                nullptr, 0);
    return *status < 0 ? FileHandle() : FileHandle(opened);
  }

  void Entry(HANDLE folder, const Listed& listed, const std::wstring& path,
             const std::wstring& expected, const std::wstring& resolvedFolder, EntryChoice choice,
             TreeRemovalResult& result) {
    const std::wstring& name = listed.name;
    if (name.size() > 255 || name.find_first_of(L"\\/") != std::wstring::npos) {
      result.refused = true;
      return;
    }
    // Most entries are files, which need neither a listing right nor a
    // question about their type: opened as a file, an entry is one (a link
    // to a file included, which a delete then removes as itself); a folder
    // refuses that open and is opened again as what it is.
    nt::Status status = 0;
    FileHandle entry = OpenIn(folder, name, kFileAccess, nt::kFileNonDirectoryFile, &status);
    FILE_ATTRIBUTE_TAG_INFO tag{};
    bool listable = true;
    if (status == nt::kStatusFileIsADirectory) {
      entry = OpenIn(folder, name, kRemovalAccess, 0, &status);
      // Someone reading without sharing reads keeps a folder from being
      // opened for listing; another try may find it free.
      if (status == nt::kStatusSharingViolation) {
        entry = OpenIn(folder, name, kRemovalAccess & ~FILE_LIST_DIRECTORY, 0, &status);
        listable = false;
      }
      if (entry &&
          !GetFileInformationByHandleEx(entry.Get(), FileAttributeTagInfo, &tag, sizeof tag)) {
        result.retryable = true;
        return;
      }
    }
    if (!entry) {
      // Gone meanwhile is what was wanted.
      if (status != nt::kStatusObjectNameNotFound && status != nt::kStatusObjectPathNotFound) {
        result.retryable = true;
      }
      return;
    }
    OpenedEntry opened{listed.attributes, tag.FileAttributes, {}, expected};
    // A link's own path needs no asking: it is removed as itself.
    if (!(tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      opened.openedPath = FinalPathOfHandle(entry.Get());
    }
    switch (JudgeOpenedEntry(opened, &FolderMoved)) {
      case EntryVerdict::LeaveForGood:
        result.refused = true;
        return;
      case EntryVerdict::LeaveForNow:
        changed_ = true;
        result.retryable = true;
        return;
      case EntryVerdict::Enter: {
        if (!listable) {
          result.retryable = true;
          return;
        }
        const TreeRemovalResult below = Empty(entry.Get(), path, opened.openedPath);
        result.retryable = result.retryable || below.retryable;
        result.refused = result.refused || below.refused;
        // What stays below keeps the folder.
        if (!below.Complete()) return;
        break;
      }
      case EntryVerdict::Remove:
        if (byName_ && !resolvedFolder.empty()) {
          const std::wstring opens = byName_->FinalPathOf(path, false);
          if (!opens.empty() && !SamePath(opens, resolvedFolder + L"\\" + name)) {
            result.refused = true;
            return;
          }
        }
        break;
      case EntryVerdict::RemoveAsLink:
        break;
    }
    if (choice == EntryChoice::EmptyOnly) return;
    if (!Dispose(entry.Get(), posixWorks_)) result.retryable = true;
  }

  ITreeRemovalEvents& events_;
  const IFinalPaths* byName_;
  nt::FileCalls calls_;
  bool posixWorks_ = true;
  bool changed_ = false;
};

}  // namespace

EntryVerdict JudgeOpenedEntry(const OpenedEntry& entry,
                              bool (*folderMoved)(const std::wstring&)) {
  if (entry.openedAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return EntryVerdict::RemoveAsLink;
  const bool isFolder = (entry.openedAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  // What opened must be what the folder lists under this name.
  if (entry.openedPath.empty() || !SamePath(entry.openedPath, entry.expectedPath)) {
    // A folder listed as a plain folder was swapped since the listing, and
    // a file opens elsewhere once its own folder was moved; a file or folder
    // listed as what it is and opening elsewhere is a link that stays.
    const bool swapped = isFolder ? !(entry.listedAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
                                  : folderMoved(entry.expectedPath);
    return swapped ? EntryVerdict::LeaveForNow : EntryVerdict::LeaveForGood;
  }
  return isFolder ? EntryVerdict::Enter : EntryVerdict::Remove;
}


TreeRemovalResult RemoveContentsOf(HANDLE folder, const std::wstring& path,
                                   const std::wstring& openedPath, ITreeRemovalEvents& events,
                                   const IFinalPaths* byName) {
  try {
    return Walk(events, byName).Empty(folder, path, openedPath);
  } catch (...) {
    TreeRemovalResult failed;
    failed.retryable = true;
    return failed;
  }
}

bool DeleteThroughHandle(HANDLE handle) {
  bool posixWorks = true;
  return Dispose(handle, posixWorks);
}

}  // namespace norvale
