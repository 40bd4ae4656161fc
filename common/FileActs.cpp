#include "FileActs.h"

#include <objbase.h>

#include <algorithm>
#include <cwchar>
#include <iterator>

#include "FileCalls.h"
#include "NtFileCalls.h"
#include "Paths.h"
#include "System.h"

namespace norvale {
namespace {


// Where the system keeps deleting a file for as long as it is open (POSIX
// semantics), its name goes at once, and a read-only mark is no obstacle
// (nor changed, so a file's other names keep theirs). Windows 10 1709 and
// later; the toolchain's headers offer it only to programs that require
// that version.
constexpr DWORD kDispositionDelete = 0x1;
constexpr DWORD kDispositionPosix = 0x2;
constexpr DWORD kDispositionIgnoreReadOnly = 0x10;
constexpr auto kDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
struct DispositionInfoEx {
  DWORD Flags;
};

DWORD ErrorOf(nt::Status status) {
  // Deleted but still open somewhere: the system maps it to "access denied",
  // which would read as a list that keeps us out.
  if (status == nt::kStatusDeletePending) return ERROR_DELETE_PENDING;
  return FileCalls().ErrorOf(status);
}

ULONG OptionsFor(EntryType type) {
  switch (type) {
    case EntryType::File:
      return nt::kFileNonDirectoryFile;
    case EntryType::Folder:
      return nt::kFileDirectoryFile;
    case EntryType::Any:
      break;
  }
  return 0;
}

// One native create of `name` relative to `folder`. Every handle may be
// asked what it is and where it lies: Windows grants reading attributes to
// whoever may list the folder.
StepResult<FileHandle> NativeCreate(HANDLE folder, std::wstring_view name, ACCESS_MASK access,
                                    DWORD share, ULONG disposition, ULONG options,
                                    ULONG attributes, PSECURITY_DESCRIPTOR descriptor) {
  const std::wstring text(name);
  if (!FileCalls().Available()) return StepError::Of(ERROR_PROC_NOT_FOUND, text);
  // A handle that reads or writes data does so in turn, which takes
  // SYNCHRONIZE; one that only deletes or asks after marks asks for no more
  // than it needs, so a file whose list grants nothing but DELETE still goes.
  constexpr ACCESS_MASK kDataRights = FILE_READ_DATA | FILE_WRITE_DATA | FILE_APPEND_DATA |
                                      FILE_EXECUTE | GENERIC_READ | GENERIC_WRITE |
                                      GENERIC_EXECUTE | GENERIC_ALL;
  const bool inTurn = (access & (kDataRights | SYNCHRONIZE)) != 0;
  FileHandle opened;
  const nt::Status status = FileCalls().CreateIn(
      folder, text, access | FILE_READ_ATTRIBUTES | (inTurn ? SYNCHRONIZE : 0), attributes, share,
      disposition,
      options | (inTurn ? nt::kFileSynchronousIoNonAlert : 0) | nt::kFileOpenForBackupIntent,
      descriptor, opened.Put());
  if (status < 0) {
    if (status == nt::kStatusObjectNameCollision) {
      return StepError::Of(options & nt::kFileDirectoryFile ? ERROR_ALREADY_EXISTS
                                                            : ERROR_FILE_EXISTS,
                           text);
    }
    return StepError::Of(ErrorOf(status), text);
  }
  return opened;
}

// The name an open file or folder has on its volume ("\Pos\data"), asked
// of the file system itself, however long; empty when it cannot be asked.
std::wstring NameOnVolume(HANDLE handle) {
  const IFileCalls& calls = FileCalls();
  if (!calls.Available()) return {};
  // The name's length in bytes, then the name; the deepest tree's paths fit
  // in 32,767 characters.
  std::vector<ULONG> buffer(260);
  for (int tries = 0; tries < 3; ++tries) {
    const ULONG size = static_cast<ULONG>(buffer.size() * sizeof(ULONG));
    const nt::Status status =
        calls.Query(handle, buffer.data(), size, nt::kFileNameInformation);
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
  return {};
}

// Disposition through the handle; posixWorks remembers that the system
// lacks the newer call (Windows before 10 1709), so it is not asked again
// for every file of a walk.
bool SetDisposition(HANDLE handle, bool evenReadOnly, Disposals& across,
                    const KnownOfIt& known) {
  const IFileCalls& calls = FileCalls();
  if (across.posixWorks) {
    DispositionInfoEx info{kDispositionDelete | kDispositionPosix |
                           (evenReadOnly ? kDispositionIgnoreReadOnly : 0)};
    if (calls.Dispose(handle, kDispositionInfoEx, &info, sizeof info, across, known)) return true;
    const DWORD error = GetLastError();
    if (error != ERROR_INVALID_PARAMETER && error != ERROR_INVALID_FUNCTION &&
        error != ERROR_NOT_SUPPORTED && error != ERROR_CALL_NOT_IMPLEMENTED) {
      return false;
    }
    across.posixWorks = false;
  }
  FILE_DISPOSITION_INFO info{};
  info.DeleteFile = TRUE;
  return calls.Dispose(handle, FileDispositionInfo, &info, sizeof info, across, known);
}

// A delete the system refused on a handle that holds DELETE: a read-only
// mark, or a file a running program has mapped (its program file, a DLL it
// loaded), which it may let go.
StepError RefusedDisposal(DWORD error, DWORD attributes) {
  if (error != ERROR_ACCESS_DENIED || (attributes & FILE_ATTRIBUTE_READONLY)) {
    return StepError::Of(error, L"");
  }
  return StepError::ForNow(error, L"", Reason::InUseByRunningProgram);
}

bool IsSelfOrParentName(const wchar_t* name, size_t length) {
  return (length == 1 && name[0] == L'.') || (length == 2 && name[0] == L'.' && name[1] == L'.');
}

}  // namespace

std::optional<FileIdentity> IdentityOf(HANDLE file) {
  FileIdentity identity;
  FILE_ID_INFO wide{};
  if (GetFileInformationByHandleEx(file, FileIdInfo, &wide, sizeof wide)) {
    identity.volume = wide.VolumeSerialNumber;
    std::copy(std::begin(wide.FileId.Identifier), std::end(wide.FileId.Identifier),
              identity.id.begin());
    return identity;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file, &info)) return std::nullopt;
  identity.volume = info.dwVolumeSerialNumber;
  const ULONGLONG index = (static_cast<ULONGLONG>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  for (size_t i = 0; i < sizeof index; ++i) identity.id[i] = static_cast<BYTE>(index >> (8 * i));
  return identity;
}

std::optional<ULONGLONG> IndexOf(HANDLE file) {
  const IFileCalls& calls = FileCalls();
  if (!calls.Available()) return std::nullopt;
  LARGE_INTEGER number{};
  if (calls.Query(file, &number, sizeof number, nt::kFileInternalInformation) < 0) {
    return std::nullopt;
  }
  return static_cast<ULONGLONG>(number.QuadPart);
}

std::optional<DWORD> AttributesOf(HANDLE file) {
  FILE_ATTRIBUTE_TAG_INFO tag{};
  if (!GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag)) {
    return std::nullopt;
  }
  return tag.FileAttributes;
}

bool IsSinglePart(std::wstring_view name) {
  if (name.empty() || name.size() > 255 || name == L"." || name == L"..") return false;
  for (wchar_t c : name) {
    if (c < 0x20 || std::wstring_view(L"\\/:*?\"<>|").find(c) != std::wstring_view::npos) {
      return false;
    }
  }
  return true;
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

StepResult<FileHandle> OpenIn(HANDLE folder, std::wstring_view name, ACCESS_MASK access,
                              DWORD share, EntryType type) {
  if (!name.empty() && !IsSinglePart(name)) {
    return StepError::Refusal(ERROR_INVALID_NAME, std::wstring(name));
  }
  StepResult<FileHandle> opened =
      NativeCreate(folder, name, access, share, nt::kFileOpen,
                   OptionsFor(type) | nt::kFileOpenReparsePoint, 0, nullptr);
  if (!opened && opened.Error().code == ERROR_DELETE_PENDING) {
    return StepError::Of(ERROR_FILE_NOT_FOUND, std::wstring(name));
  }
  return opened;
}

StepResult<std::optional<FileHandle>> OpenIfStillIn(HANDLE folder, std::wstring_view name,
                                                    ACCESS_MASK access, DWORD share,
                                                    EntryType type) {
  StepResult<FileHandle> opened = OpenIn(folder, name, access, share, type);
  if (opened) return std::optional<FileHandle>(std::move(*opened));
  if (opened.Error().Missing()) return std::optional<FileHandle>();
  return opened.Error();
}

bool SameEntry::Is(HANDLE handle) const {
  if (identity) return IdentityOf(handle) == identity;
  return index && IndexOf(handle) == index;
}

StepResult<FileHandle> OpenAgain(FileHandle& held, HANDLE folder, const std::wstring& name,
                                 ACCESS_MASK access, DWORD share, EntryType type,
                                 const SameEntry& same) {
  held.Reset();
  StepResult<FileHandle> again =
      folder ? OpenIn(folder, name, access, share, type) : OpenByPath(name, access, share, type);
  if (again && !same.Is(again->Get())) {
    return StepError::ForNow(ERROR_RETRY, name, Reason::FolderChanged);
  }
  return again;
}

StepResult<FileHandle> OpenThroughLinkIn(HANDLE folder, std::wstring_view name,
                                         ACCESS_MASK access, DWORD share, EntryType type) {
  if (!IsSinglePart(name)) return StepError::Refusal(ERROR_INVALID_NAME, std::wstring(name));
  return NativeCreate(folder, name, access, share, nt::kFileOpen, OptionsFor(type), 0, nullptr);
}

StepResult<FileHandle> CreateIn(HANDLE folder, std::wstring_view name, ACCESS_MASK access,
                                DWORD share, EntryType type, PSECURITY_DESCRIPTOR descriptor) {
  if (!IsSinglePart(name)) return StepError::Refusal(ERROR_INVALID_NAME, std::wstring(name));
  return NativeCreate(folder, name, access, share, nt::kFileCreate,
                      type == EntryType::Folder ? nt::kFileDirectoryFile
                                                : nt::kFileNonDirectoryFile,
                      FILE_ATTRIBUTE_NORMAL, descriptor);
}

EntryKind KindIn(HANDLE folder, const std::wstring& name) {
  const StepResult<FileHandle> entry = OpenIn(folder, name, 0, kShareAll, EntryType::Any);
  if (!entry) return entry.Error().Missing() ? EntryKind::kMissing : EntryKind::kUnknown;
  const std::optional<DWORD> attributes = AttributesOf(entry->Get());
  if (!attributes) return EntryKind::kUnknown;
  if (IsLinkAttributes(*attributes)) return EntryKind::kLink;
  return (*attributes & FILE_ATTRIBUTE_DIRECTORY) ? EntryKind::kFolder : EntryKind::kFile;
}

StepResult<FileHandle> OpenByPath(const std::wstring& path, ACCESS_MASK access, DWORD share,
                                  EntryType type) {
  // Opened as a file, a folder fails as the system fails one; as a folder or
  // either, a file is told by its attributes.
  const DWORD flags = FILE_FLAG_OPEN_REPARSE_POINT |
                      (type == EntryType::File ? 0 : FILE_FLAG_BACKUP_SEMANTICS);
  FileHandle opened(CreateFileW(path.c_str(), access | FILE_READ_ATTRIBUTES, share, nullptr,
                                OPEN_EXISTING, flags, nullptr));
  if (!opened) return StepError::Last(path);
  if (type == EntryType::Folder) {
    const std::optional<DWORD> attributes = AttributesOf(opened.Get());
    if (!attributes) return StepError::Last(path);
    if (!(*attributes & FILE_ATTRIBUTE_DIRECTORY)) return StepError::Of(ERROR_DIRECTORY, path);
  }
  return opened;
}

StepResult<HeldEntry> OpenListedIn(HANDLE folder, const std::wstring& folderPath,
                                    const std::wstring& name, ACCESS_MASK access, DWORD share,
                                    EntryType type) {
  const std::wstring expected = EntryPath(folderPath, name);
  StepResult<FileHandle> opened = OpenIn(folder, name, access, share, type);
  if (!opened) return opened.Error().At(expected);
  const std::optional<DWORD> attributes = AttributesOf(opened->Get());
  if (!attributes) return StepError::Last(expected);
  if (IsLinkAttributes(*attributes) || folderPath.empty()) {
    return StepError::Refusal(kErrorLinkOnTheWay, expected);
  }
  std::wstring lies = FinalPathOfHandle(opened->Get());
  if (lies.empty()) lies = WhereItLies(opened->Get(), VolumeOf(folder, folderPath));
  if (lies.empty() || !SamePath(lies, expected)) {
    return StepError::Refusal(kErrorLinkOnTheWay, expected);
  }
  return HeldEntry{std::move(*opened), std::move(lies)};
}

std::wstring WhereItLies(HANDLE handle, const std::wstring& volume) {
  std::wstring lies = FinalPathOfHandle(handle);
  if (!lies.empty() || volume.empty()) return lies;
  const std::wstring name = NameOnVolume(handle);
  return name.empty() ? name : volume + name;
}

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

StepResult<HeldEntry> ExistingFolders::Step(const HeldEntry& parent, const std::wstring& name,
                                             bool last) {
  return OpenListedIn(parent.handle.Get(), parent.path, name, last ? access_ : FILE_TRAVERSE,
                      kShareAll, EntryType::Folder);
}

StepResult<HeldEntry> WalkDownFrom(const HeldEntry& start, std::wstring_view below,
                                    IPathSteps& steps, std::vector<FileHandle>* way) {
  std::vector<std::wstring> parts;
  for (size_t at = 0; at < below.size();) {
    size_t end = below.find(L'\\', at);
    if (end == std::wstring_view::npos) end = below.size();
    if (end > at) parts.emplace_back(below.substr(at, end - at));
    at = end + 1;
  }
  if (parts.empty()) return StepError::Of(ERROR_BAD_PATHNAME, start.path);
  // The part it came from stays held while the next is opened.
  std::optional<HeldEntry> current;
  for (size_t i = 0; i < parts.size(); ++i) {
    StepResult<HeldEntry> next = steps.Step(current ? *current : start, parts[i],
                                             i + 1 == parts.size());
    if (!next) return next.Error();
    if (current && way) way->push_back(std::move(current->handle));
    current = std::move(*next);
  }
  return std::move(*current);
}

StepResult<HeldEntry> WalkDown(HeldEntry start, std::wstring_view below, IPathSteps& steps) {
  if (below.find_first_not_of(L'\\') == std::wstring_view::npos) return start;
  return WalkDownFrom(start, below, steps);
}

PartFileNames::PartFileNames(std::wstring folder, std::wstring name)
    : folder_(std::move(folder)),
      name_(std::move(name)),
      seed_(GetTickCount64() ^ (static_cast<ULONGLONG>(GetCurrentProcessId()) << 20)) {}

std::wstring PartFileNames::Next() {
  constexpr wchar_t kSuffix[] = L".nvpart";
  while (tries_ < kTries) {
    const int attempt = tries_++;
    if (attempt == 0) {
      const std::wstring part = name_ + kSuffix;
      if (IsSinglePart(part) && FitsPlainPathCalls(JoinPath(folder_, part))) return part;
      continue;
    }
    wchar_t hex[9] = {};
    const auto mixed = static_cast<uint32_t>((seed_ + static_cast<ULONGLONG>(attempt)) *
                                             0x9E3779B97F4A7C15ull >> 32);
    swprintf(hex, 9, L"%08x", mixed);
    std::wstring part = std::wstring(L"~") + hex + kSuffix;
    if (!FitsPlainPathCalls(JoinPath(folder_, part))) part = hex;
    while (part.size() > 1 && !FitsPlainPathCalls(JoinPath(folder_, part))) part.pop_back();
    if (!FitsPlainPathCalls(JoinPath(folder_, part))) return L"";
    return part;
  }
  return L"";
}

StepResult<HeldEntry> OpenDriveRoot(const std::wstring& path, ACCESS_MASK access) {
  if (path.size() < 3 || !IsDriveAbsolute(path)) return StepError::Of(ERROR_BAD_PATHNAME, path);
  const std::wstring root = path.substr(0, 2) + L"\\";
  StepResult<FileHandle> opened = OpenByPath(root, access | SYNCHRONIZE, kShareAll,
                                             EntryType::Folder);
  if (!opened) return opened.Error();
  std::wstring at = FinalPathOfHandle(opened->Get());
  if (at.empty() || !SamePath(at, root)) return StepError::Refusal(kErrorLinkOnTheWay, root);
  return HeldEntry{std::move(*opened), std::move(at)};
}

std::optional<std::wstring> ListedPartsBelowRoot(const std::wstring& path) {
  // The parts as the folders list them: an 8.3 alias names the same folder
  // by a name its listing does not show as the folder's own.
  const std::wstring full = FullPath(path);
  std::wstring listed = LongPath(full);
  if (listed.empty()) listed = full;
  if (listed.size() < 3 || !IsDriveAbsolute(listed)) return std::nullopt;
  return listed.substr(3);
}

StepResult<HeldEntry> OpenFolderFromRoot(const std::wstring& path, ACCESS_MASK access) {
  ExistingFolders steps(access);
  const std::optional<std::wstring> below = ListedPartsBelowRoot(path);
  const bool onlyRoot = below && below->find_first_not_of(L'\\') == std::wstring::npos;
  return OpenFolderFromRoot(path, onlyRoot ? access : FILE_TRAVERSE, steps);
}

StepResult<HeldEntry> OpenFolderFromRoot(const std::wstring& path, ACCESS_MASK rootAccess,
                                          IPathSteps& steps) {
  const std::optional<std::wstring> below = ListedPartsBelowRoot(path);
  if (!below) return StepError::Of(ERROR_BAD_PATHNAME, path);
  StepResult<HeldEntry> root = OpenDriveRoot(FullPath(path), rootAccess);
  if (!root) return root;
  return WalkDown(std::move(*root), *below, steps);
}

namespace {

// One rename of entry to `name` inside folder: the older call with
// ReplaceIfExists, or the newer one with its flags.
nt::Status SetRename(HANDLE entry, HANDLE folder, const std::wstring& name, ULONG infoClass,
                     ULONG flags) {
  const size_t bytes = name.size() * sizeof(wchar_t);
  std::vector<unsigned char> buffer(sizeof(nt::RenameInformationEx) + bytes);
  if (infoClass == nt::kFileRenameInformationEx) {
    auto* rename = reinterpret_cast<nt::RenameInformationEx*>(buffer.data());
    rename->Flags = flags;
    rename->RootDirectory = folder;
    rename->FileNameLength = static_cast<ULONG>(bytes);
    std::copy(name.begin(), name.end(), rename->FileName);
  } else {
    auto* rename = reinterpret_cast<nt::RenameInformation*>(buffer.data());
    rename->ReplaceIfExists = flags != 0 ? TRUE : FALSE;
    rename->RootDirectory = folder;
    rename->FileNameLength = static_cast<ULONG>(bytes);
    std::copy(name.begin(), name.end(), rename->FileName);
  }
  return FileCalls().Set(entry, buffer.data(), static_cast<ULONG>(buffer.size()), infoClass);
}

}  // namespace

StepDone RenameInto(HANDLE entry, HANDLE folder, const std::wstring& name, bool replace) {
  if (!FileCalls().Available()) return StepError::Of(ERROR_PROC_NOT_FOUND, name);
  if (!IsSinglePart(name)) return StepError::Refusal(ERROR_INVALID_NAME, name);
  const nt::Status status =
      SetRename(entry, folder, name, nt::kFileRenameInformation, replace ? 1 : 0);
  if (status < 0) return StepError::Of(ErrorOf(status), name);
  return {};
}

StepDone ReplaceInto(HANDLE entry, HANDLE folder, const std::wstring& name) {
  if (!FileCalls().Available()) return StepError::Of(ERROR_PROC_NOT_FOUND, name);
  if (!IsSinglePart(name)) return StepError::Refusal(ERROR_INVALID_NAME, name);
  const nt::Status status =
      SetRename(entry, folder, name, nt::kFileRenameInformationEx,
                nt::kRenameReplaceIfExists | nt::kRenamePosixSemantics | nt::kRenameIgnoreReadOnly);
  if (status >= 0) return {};
  if (!nt::Unsupported(status)) return StepError::Of(ErrorOf(status), name);
  // Before Windows 10 1809: the older call, which leaves a read-only or open
  // file in place.
  return RenameInto(entry, folder, name, true);
}

StepDone RenameTo(HANDLE entry, const std::wstring& target, bool replace) {
  const bool unc = target.size() > 2 && target[0] == L'\\' && target[1] == L'\\';
  if (!unc && !IsDriveAbsolute(target)) return StepError::Refusal(ERROR_INVALID_NAME, target);
  // The rename takes the system's own form of the name: Windows reads
  // nothing else there, and Wine would take a bare name as one of the
  // current folder.
  const std::wstring name = unc ? L"\\??\\UNC" + target.substr(1) : L"\\??\\" + target;
  const size_t bytes = name.size() * sizeof(wchar_t);
  std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + bytes);
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  rename->ReplaceIfExists = replace ? TRUE : FALSE;
  rename->RootDirectory = nullptr;
  rename->FileNameLength = static_cast<DWORD>(bytes);
  std::copy(name.begin(), name.end(), rename->FileName);
  if (!FileCalls().SetByHandle(entry, FileRenameInfo, rename, static_cast<DWORD>(buffer.size()))) {
    return StepError::Last(target);
  }
  return {};
}

// The older systems refuse to delete a read-only file: its mark is cleared
// first, through a second handle to the same file that may write marks, and
// put back when the delete fails all the same. A link's marks are its own
// and are never touched; a file with more than one name shares its mark
// with the others, which keep it.
StepDone DisposeOf(HANDLE handle, bool evenReadOnly, Disposals* across,
                   const KnownOfIt& known) {
  Disposals once;
  Disposals& run = across ? *across : once;
  if (SetDisposition(handle, evenReadOnly, run, known)) return {};
  const DWORD error = GetLastError();
  FILE_BASIC_INFO basic{};
  if (!GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic)) {
    return StepError::Of(error, L"");
  }
  if (!evenReadOnly || error != ERROR_ACCESS_DENIED ||
      !(basic.FileAttributes & FILE_ATTRIBUTE_READONLY) ||
      (basic.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return RefusedDisposal(error, basic.FileAttributes);
  }
  // A folder has one name, whatever count the system gives for it.
  FILE_STANDARD_INFO standard{};
  if (!GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof standard) ||
      (!standard.Directory && standard.NumberOfLinks != 1)) {
    return StepError::Refusal(ERROR_ACCESS_DENIED, L"", Reason::ReadOnlyWithOtherNames);
  }
  const StepResult<FileHandle> marks =
      OpenIn(handle, L"", FILE_WRITE_ATTRIBUTES, kShareAll, EntryType::Any);
  if (!marks) return StepError::Of(error, L"");
  const DWORD kept = basic.FileAttributes;
  FILE_BASIC_INFO cleared{};  // zero times stay as they are
  cleared.FileAttributes = kept & ~FILE_ATTRIBUTE_READONLY;
  if (cleared.FileAttributes == 0) cleared.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  if (SetFileInformationByHandle(marks->Get(), FileBasicInfo, &cleared, sizeof cleared) &&
      SetDisposition(handle, evenReadOnly, run, known)) {
    return {};
  }
  const DWORD failed = GetLastError();
  FILE_BASIC_INFO restored{};
  restored.FileAttributes = kept;
  SetFileInformationByHandle(marks->Get(), FileBasicInfo, &restored, sizeof restored);
  return RefusedDisposal(failed, cleared.FileAttributes);
}

StepDone ListIn(HANDLE folder, std::vector<ListedEntry>& entries,
                std::vector<LONGLONG>& buffer) {
  // Aligned for the records' 64-bit fields.
  if (buffer.size() < 8192) buffer.resize(8192);
  FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
  for (;;) {
    if (!GetFileInformationByHandleEx(folder, kind, buffer.data(),
                                      static_cast<DWORD>(buffer.size() * sizeof(LONGLONG)))) {
      if (GetLastError() == ERROR_NO_MORE_FILES) return {};
      return StepError::Last(L"");
    }
    kind = FileIdBothDirectoryInfo;
    const auto* bytes = reinterpret_cast<const unsigned char*>(buffer.data());
    for (size_t offset = 0;;) {
      const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes + offset);
      const size_t length = entry->FileNameLength / sizeof(wchar_t);
      if (!IsSelfOrParentName(entry->FileName, length)) {
        entries.push_back({std::wstring(entry->FileName, length), entry->FileAttributes,
                           static_cast<ULONGLONG>(entry->FileId.QuadPart)});
      }
      if (entry->NextEntryOffset == 0) break;
      offset += entry->NextEntryOffset;
    }
  }
}

}  // namespace norvale
