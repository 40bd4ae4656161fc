#include "TreeRemoval.h"

#include <algorithm>
#include <vector>

#include "NtFileCalls.h"
#include "Paths.h"

namespace norvale {
namespace {

// Where the system keeps deleting a file for as long as it is open (POSIX
// semantics), its name goes at once, and a read-only mark is no obstacle
// (nor changed, so a file's other names keep theirs).
constexpr DWORD kDispositionDelete = 0x1;
constexpr DWORD kDispositionPosix = 0x2;
constexpr DWORD kDispositionIgnoreReadOnly = 0x10;
// Windows 10 1709 and later; the toolchain's headers offer it only to
// programs that require that version.
constexpr auto kDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
struct DispositionInfoEx {
  DWORD Flags;
};

const nt::FileCalls& Calls() { return nt::FileCalls::System(); }

// Opens `name` relative to the open `folder` (an empty name reopens the
// folder's own file), never following a link.
FileHandle OpenIn(HANDLE folder, const std::wstring& name, DWORD access, ULONG sharing,
                  ULONG options, nt::Status* status) {
  HANDLE opened = nullptr;
  *status = Calls().CreateIn(folder, name, access, 0, sharing, nt::kFileOpen,
                             options | nt::kFileOpenReparsePoint | nt::kFileOpenForBackupIntent,
                             nullptr, &opened);
  return *status < 0 ? FileHandle() : FileHandle(opened);
}

bool Gone(nt::Status status) {
  return status == nt::kStatusObjectNameNotFound || status == nt::kStatusObjectPathNotFound;
}

// The name an open file or folder has on its volume ("\Pos\data"), asked
// of the file system itself, however long; empty when it cannot be asked.
std::wstring NameOnVolume(HANDLE handle) {
  const nt::FileCalls& calls = Calls();
  if (!calls.Available()) return {};
  try {
    // The name's length in bytes, then the name; the deepest tree's paths
    // fit in 32,767 characters.
    std::vector<ULONG> buffer(260);
    for (int tries = 0; tries < 3; ++tries) {
      nt::IoStatusBlock io{};
      const ULONG size = static_cast<ULONG>(buffer.size() * sizeof(ULONG));
      const nt::Status status =
          calls.queryInformation(handle, &io, buffer.data(), size, nt::kFileNameInformation);
      const ULONG bytes = buffer[0];
      if (status == nt::kStatusBufferOverflow) {
        buffer.resize(std::max<size_t>(bytes / sizeof(ULONG) + 2, buffer.size() * 2));
        if (buffer.size() > 16400) return {};
        continue;
      }
      if (status < 0 || bytes > size - sizeof(ULONG)) return {};
      std::wstring name(reinterpret_cast<const wchar_t*>(buffer.data() + 1),
                        bytes / sizeof(wchar_t));
      while (name.size() > 1 && name.back() == L'\\') name.pop_back();
      return name;
    }
  } catch (...) {
  }
  return {};
}

// Where an open file or folder lies, in FinalPathOfHandle's form (Paths.h).
// Wine gives that form only short of 260 characters; past them the name on
// the volume is asked and put after `volume`, the form's part before such a
// name ("C:").
std::wstring LiesAt(HANDLE handle, const std::wstring& volume) {
  std::wstring lies = FinalPathOfHandle(handle);
  if (!lies.empty() || volume.empty()) return lies;
  const std::wstring name = NameOnVolume(handle);
  return name.empty() ? name : volume + name;
}

// The part of where an open folder lies before its name on the volume
// ("C:", "\\host\share"); empty when the two do not agree.
std::wstring VolumeOf(HANDLE folder, const std::wstring& lies) {
  const std::wstring name = NameOnVolume(folder);
  // The drive form closes a name ending in a blank or a dot with a separator
  // that the name on the volume lacks.
  std::wstring_view form(lies);
  if (form.size() > 3 && form.back() == L'\\') form.remove_suffix(1);
  if (name.empty() || form.size() < name.size() ||
      !SamePath(form.substr(form.size() - name.size()), name)) {
    return {};
  }
  return std::wstring(form.substr(0, form.size() - name.size()));
}

// Disposition through the handle; posixWorks remembers for a walk that the
// system lacks the newer call (Windows before 10 1709, Wine), so it is not
// asked again for every file.
bool SetDisposition(HANDLE handle, bool evenReadOnly, bool& posixWorks) {
  if (posixWorks) {
    DispositionInfoEx info{kDispositionDelete | kDispositionPosix |
                           (evenReadOnly ? kDispositionIgnoreReadOnly : 0)};
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
  return SetFileInformationByHandle(handle, FileDispositionInfo, &info, sizeof info) != FALSE;
}

// The older systems refuse to delete a read-only file: its mark is cleared
// first, through a second handle to the same file that may write marks, and
// put back when the delete fails all the same. A link's marks are its own
// and are never touched; a file with more than one name shares its mark
// with the others, which keep it.
Disposal Dispose(HANDLE handle, bool evenReadOnly, bool& posixWorks) {
  if (SetDisposition(handle, evenReadOnly, posixWorks)) return Disposal::Done;
  const DWORD error = GetLastError();
  FILE_BASIC_INFO basic{};
  if (!evenReadOnly || error != ERROR_ACCESS_DENIED ||
      !GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic) ||
      !(basic.FileAttributes & FILE_ATTRIBUTE_READONLY) ||
      (basic.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    SetLastError(error);
    return Disposal::Failed;
  }
  // A folder has one name, whatever count the system gives for it.
  FILE_STANDARD_INFO standard{};
  if (!GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof standard) ||
      (!standard.Directory && standard.NumberOfLinks != 1)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return Disposal::Shared;
  }
  nt::Status status = 0;
  const FileHandle marks =
      OpenIn(handle, L"", FILE_WRITE_ATTRIBUTES,
             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0, &status);
  if (!marks) {
    SetLastError(error);
    return Disposal::Failed;
  }
  const DWORD kept = basic.FileAttributes;
  FILE_BASIC_INFO cleared{};  // zero times stay as they are
  cleared.FileAttributes = kept & ~FILE_ATTRIBUTE_READONLY;
  if (cleared.FileAttributes == 0) cleared.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  if (SetFileInformationByHandle(marks.Get(), FileBasicInfo, &cleared, sizeof cleared) &&
      SetDisposition(handle, evenReadOnly, posixWorks)) {
    return Disposal::Done;
  }
  const DWORD failed = GetLastError();
  FILE_BASIC_INFO restored{};
  restored.FileAttributes = kept;
  SetFileInformationByHandle(marks.Get(), FileBasicInfo, &restored, sizeof restored);
  SetLastError(failed);
  return Disposal::Failed;
}

bool IsSelfOrParentName(const wchar_t* name, size_t length) {
  return (length == 1 && name[0] == L'.') || (length == 2 && name[0] == L'.' && name[1] == L'.');
}

struct Listed {
  std::wstring name;
  DWORD attributes;  // as listed: a hint for what to report, never for what to do
};

// What a folder holds, read through its handle, whole before anything in it
// goes. buffer is reused from folder to folder (aligned for the records'
// 64-bit fields).
bool ListThroughHandle(HANDLE folder, std::vector<LONGLONG>& buffer, std::vector<Listed>& entries) {
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

class Walk {
 public:
  Walk(ITreeRemovalEvents& events, const IFinalPaths* byName)
      : events_(events), byName_(byName), buffer_(8192) {}

  TreeRemovalResult Run(HANDLE root, const std::wstring& path) {
    name_ = FinalPathOfHandle(root);
    volume_ = VolumeOf(root, name_);
    if (!Calls().Available() || name_.empty()) {
      TreeRemovalResult result;
      result.retryable = true;
      return result;
    }
    path_ = path;
    Frame top;
    top.folder = root;
    top.choice = EntryChoice::EmptyOnly;
    frames_.push_back(std::move(top));
    Fill(frames_.back());
    for (;;) {
      Frame& current = frames_.back();
      if (current.next < current.entries.size()) {
        // Someone is changing the tree right now: whatever is done while
        // they do may be done to what they put in its place. The rest waits
        // for the next try.
        if (changed_) {
          current.below.retryable = true;
          current.next = current.entries.size();
          continue;
        }
        const Listed listed = current.entries[current.next++];
        Step(listed);
        continue;
      }
      if (frames_.size() == 1) return current.below;
      Leave();
    }
  }

 private:
  // A folder being emptied: its listing handle, what it listed, and how far
  // the walk has come.
  struct Frame {
    FileHandle owned;  // empty for the root, which the caller holds
    HANDLE folder = nullptr;
    std::wstring listedName;  // in the folder above
    ULONGLONG number = 0;
    EntryChoice choice = EntryChoice::Remove;
    std::vector<Listed> entries;
    size_t next = 0;
    TreeRemovalResult below;
    // How long the texts of the folder above were.
    size_t pathAbove = 0, nameAbove = 0;
    // Where a test's other system finds this folder by name.
    std::wstring resolvedByName;
  };

  void Fill(Frame& frame) {
    if (!ListThroughHandle(frame.folder, buffer_, frame.entries)) frame.below.retryable = true;
    if (byName_ && FitsPlainPathCalls(path_)) frame.resolvedByName = ResolvedFolder(path_, *byName_);
  }

  void Step(const Listed& listed) {
    const std::wstring child = path_ + L"\\" + listed.name;
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
      // A folder entered is told of once everything below it is done.
      if (Entry(listed, child, choice)) return;
    }
    Tell(child);
  }

  void Tell(const std::wstring& path) {
    try {
      events_.Done(path);
    } catch (...) {
    }
  }

  // True when the entry is a folder now entered.
  bool Entry(const Listed& listed, const std::wstring& path, EntryChoice choice) {
    Frame& current = frames_.back();
    const std::wstring& name = listed.name;
    if (name.empty() || name.size() > 255 || name.find_first_of(L"\\/") != std::wstring::npos) {
      current.below.refused = true;
      return false;
    }
    // Most entries are files, which need neither a listing right nor a
    // question about their type: opened as a file, an entry is one (a link
    // to a file included, which a delete then removes as itself). A folder
    // refuses that open, and so may one held or closed to deleting, which
    // is then opened again for what listing needs.
    nt::Status status = 0;
    FileHandle entry =
        OpenIn(current.folder, name, kDeletingAccess, kRemovalSharing, nt::kFileNonDirectoryFile,
               &status);
    if (!entry && !Gone(status)) {
      nt::Status asFolder = 0;
      FileHandle folder =
          OpenIn(current.folder, name, kListingAccess, kRemovalSharing,
                 nt::kFileDirectoryFile | nt::kFileSynchronousIoNonAlert, &asFolder);
      if (folder) return Folder(listed, path, choice, std::move(folder));
      // Gone meanwhile is what was wanted.
      if (!Gone(asFolder)) current.below.retryable = true;
      return false;
    }
    if (!entry) return false;
    const OpenedEntry opened{listed.attributes, 0, LiesAt(entry.Get(), volume_),
                             EntryPath(name_, name)};
    switch (Judge(opened)) {
      case EntryVerdict::Remove:
        if (OpensElsewhereByName(current, path, name)) {
          current.below.refused = true;
          return false;
        }
        break;
      case EntryVerdict::RemoveAsLink:
      case EntryVerdict::Enter:
        break;
      case EntryVerdict::LeaveForGood:
      case EntryVerdict::LeaveForNow:
        return false;
    }
    if (choice != EntryChoice::EmptyOnly) Delete(entry.Get(), current.below);
    return false;
  }

  bool Folder(const Listed& listed, const std::wstring& path, EntryChoice choice,
              FileHandle folder) {
    Frame& current = frames_.back();
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!GetFileInformationByHandleEx(folder.Get(), FileAttributeTagInfo, &tag, sizeof tag)) {
      current.below.retryable = true;
      return false;
    }
    OpenedEntry opened{listed.attributes, tag.FileAttributes, L"", EntryPath(name_, listed.name)};
    // A link's own path needs no asking: it is removed as itself.
    if (!(tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      opened.openedPath = LiesAt(folder.Get(), volume_);
    }
    switch (Judge(opened)) {
      case EntryVerdict::RemoveAsLink: {
        if (choice == EntryChoice::EmptyOnly) return false;
        const ULONGLONG number = FileNumberOf(folder.Get());
        folder.Reset();
        FileHandle link = Reopened(current, listed.name, number, 0);
        if (link) Delete(link.Get(), current.below);
        return false;
      }
      case EntryVerdict::Enter:
        break;
      default:
        return false;
    }
    Frame frame;
    frame.number = FileNumberOf(folder.Get());
    frame.owned = std::move(folder);
    frame.folder = frame.owned.Get();
    frame.listedName = listed.name;
    frame.choice = choice;
    frame.pathAbove = path_.size();
    frame.nameAbove = name_.size();
    path_ = path;
    name_ = opened.expectedPath;
    frames_.push_back(std::move(frame));
    Fill(frames_.back());
    return true;
  }

  // Done with the folder on top: it goes when everything below it went,
  // and the folder above hears of it.
  void Leave() {
    Frame done = std::move(frames_.back());
    frames_.pop_back();
    Frame& above = frames_.back();
    above.below.retryable = above.below.retryable || done.below.retryable;
    above.below.refused = above.below.refused || done.below.refused;
    // What stays below keeps the folder.
    if (done.choice == EntryChoice::Remove && done.below.Complete() && !changed_) {
      // The listing handle shares no deletes, not even with this walk: it
      // goes first, and what opens under the name must be the folder that
      // was emptied.
      done.owned.Reset();
      FileHandle folder = Reopened(above, done.listedName, done.number, nt::kFileDirectoryFile);
      if (folder) Delete(folder.Get(), above.below);
    }
    const std::wstring path = path_;
    path_.resize(done.pathAbove);
    name_.resize(done.nameAbove);
    Tell(path);
  }

  // The entry `name` of the folder `in`, opened again for deleting, when it
  // is still the file numbered `number`; otherwise the tree changed.
  FileHandle Reopened(Frame& in, const std::wstring& name, ULONGLONG number, ULONG options) {
    nt::Status status = 0;
    FileHandle again = OpenIn(in.folder, name, kDeletingAccess, kRemovalSharing, options, &status);
    if (!again) {
      if (!Gone(status)) in.below.retryable = true;
      return {};
    }
    if (number == 0 || FileNumberOf(again.Get()) != number) {
      changed_ = true;
      in.below.retryable = true;
      return {};
    }
    return again;
  }

  EntryVerdict Judge(const OpenedEntry& opened) {
    Frame& current = frames_.back();
    const EntryVerdict verdict = JudgeOpenedEntry(opened, [&] {
      const std::wstring now = LiesAt(current.folder, volume_);
      return now.empty() || !SamePath(now, name_);
    });
    if (verdict == EntryVerdict::LeaveForGood) current.below.refused = true;
    if (verdict == EntryVerdict::LeaveForNow) {
      changed_ = true;
      current.below.retryable = true;
    }
    return verdict;
  }

  // A test's other system may open a file elsewhere than its folder lists
  // it, by name.
  bool OpensElsewhereByName(const Frame& current, const std::wstring& path,
                            const std::wstring& name) {
    if (!byName_ || current.resolvedByName.empty() || !FitsPlainPathCalls(path)) return false;
    const std::wstring opens = byName_->FinalPathOf(path, false);
    return !opens.empty() && !SamePath(opens, EntryPath(current.resolvedByName, name));
  }

  void Delete(HANDLE handle, TreeRemovalResult& result) {
    switch (Dispose(handle, true, posixWorks_)) {
      case Disposal::Done:
        break;
      case Disposal::Failed:
        result.retryable = true;
        break;
      case Disposal::Shared:
        result.refused = true;
        break;
    }
  }

  ITreeRemovalEvents& events_;
  const IFinalPaths* byName_;
  std::vector<LONGLONG> buffer_;
  std::vector<Frame> frames_;
  // The folder on top: its path as the caller named it, and where it lies
  // (LiesAt); the part of that before a name on the volume.
  std::wstring path_, name_, volume_;
  bool posixWorks_ = true;
  bool changed_ = false;
};

}  // namespace

EntryVerdict JudgeOpenedEntry(const OpenedEntry& entry, const std::function<bool()>& folderMoved) {
  if (entry.openedAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return EntryVerdict::RemoveAsLink;
  const bool isFolder = (entry.openedAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  // What opened must be what the folder lists under this name.
  if (entry.openedPath.empty() || !SamePath(entry.openedPath, entry.expectedPath)) {
    // A folder listed as a plain folder was swapped since the listing, and
    // a file opens elsewhere once its own folder was moved; a file or folder
    // listed as what it is and opening elsewhere is a link that stays.
    const bool swapped = isFolder ? !(entry.listedAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
                                  : folderMoved();
    return swapped ? EntryVerdict::LeaveForNow : EntryVerdict::LeaveForGood;
  }
  return isFolder ? EntryVerdict::Enter : EntryVerdict::Remove;
}

ULONGLONG FileNumberOf(HANDLE handle) {
  const nt::FileCalls& calls = Calls();
  if (!calls.Available()) return 0;
  nt::IoStatusBlock io{};
  LARGE_INTEGER number{};
  if (calls.queryInformation(handle, &io, &number, sizeof number, nt::kFileInternalInformation) <
      0) {
    return 0;
  }
  return static_cast<ULONGLONG>(number.QuadPart);
}

TreeRemovalResult RemoveContentsOf(HANDLE folder, const std::wstring& path,
                                   ITreeRemovalEvents& events, const IFinalPaths* byName) {
  try {
    return Walk(events, byName).Run(folder, path);
  } catch (...) {
    TreeRemovalResult failed;
    failed.retryable = true;
    return failed;
  }
}

namespace {

// What folder lists as name, opened as itself and only where it is listed.
FileHandle OpenListedEntry(HANDLE folder, const std::wstring& name, ACCESS_MASK access,
                           ULONG options) {
  try {
    nt::Status status = 0;
    FileHandle opened = OpenIn(folder, name, access, kRemovalSharing, options, &status);
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!opened ||
        !GetFileInformationByHandleEx(opened.Get(), FileAttributeTagInfo, &tag, sizeof tag) ||
        (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      return {};
    }
    const std::wstring where = FinalPathOfHandle(folder);
    const std::wstring lies = LiesAt(opened.Get(), VolumeOf(folder, where));
    if (where.empty() || lies.empty() || !SamePath(lies, EntryPath(where, name))) return {};
    return opened;
  } catch (...) {
    return {};
  }
}

}  // namespace

FileHandle OpenListedFolder(HANDLE folder, const std::wstring& name) {
  return OpenListedEntry(folder, name, kListingAccess,
                         nt::kFileDirectoryFile | nt::kFileSynchronousIoNonAlert);
}

FileHandle OpenListedFile(HANDLE folder, const std::wstring& name) {
  return OpenListedEntry(folder, name, kDeletingAccess, nt::kFileNonDirectoryFile);
}

Disposal DisposeOf(HANDLE handle, bool evenReadOnly) {
  bool posixWorks = true;
  return Dispose(handle, evenReadOnly, posixWorks);
}


}  // namespace norvale
