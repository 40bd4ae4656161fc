#include "InstallTree.h"

#include <wincrypt.h>

#include <algorithm>
#include <cstdio>
#include <new>
#include <vector>

#include "DeleteGuard.h"
#include "Paths.h"
#include "Text.h"

namespace norvale {
namespace {

constexpr ACCESS_MASK kTreeFolderAccess =
    FILE_TRAVERSE | FILE_LIST_DIRECTORY | FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY;
// Files are renamed into these folders, and Windows' own open of a rename's
// target shares no deletes: the tree's handles hold no DELETE and share all.
constexpr DWORD kTreeSharing = kShareAll;
// Folders held while a file that arrived in them is used: nobody renames or
// deletes them meanwhile, and names are still made and renamed in them.
constexpr DWORD kHeldWaySharing = FILE_SHARE_READ | FILE_SHARE_WRITE;

std::wstring FolderKey(const std::wstring& relative) { return UpperCased(relative); }

// The handle still lies at path: a folder renamed away since it was opened
// does not.
bool StillAt(HANDLE handle, const std::wstring& path) {
  const std::wstring opened = FinalPathOfHandle(handle);
  return !opened.empty() && SamePath(opened, path);
}

}  // namespace

InstallTree::InstallTree(FileHandle root, std::wstring rootPath, bool rootMade,
                         std::wstring namedAs)
    : root_(std::make_shared<HeldEntry>(HeldEntry{std::move(root), std::move(rootPath)})),
      rootMade_(rootMade),
      namedAs_(namedAs.empty() ? root_->path : std::move(namedAs)) {
  if (root_->handle) rootIdentity_ = IdentityOf(root_->handle.Get());
}

std::shared_ptr<InstallTree> InstallTree::Refusing(std::wstring namedAs) {
  auto tree = std::make_shared<InstallTree>(FileHandle(), namedAs, false, namedAs);
  tree->refusing_ = true;
  return tree;
}

std::optional<std::wstring> InstallTree::KeyOf(const std::wstring& path) const {
  std::wstring full = FullPath(path);
  // The 8.3 aliases Windows makes carry a tilde: a part so named is the
  // folder its listing shows under its own name ("C:\PROGRA~1" is
  // "C:\Program Files"), as the tree names its folders.
  if (full.find(L'~') != std::wstring::npos) {
    if (std::wstring listed = LongPath(full); !listed.empty()) full = std::move(listed);
  }
  // A last part ending in a blank or a dot keeps a closing separator there.
  if (full.size() > 3 && full.back() == L'\\') full.pop_back();
  if (full.empty()) return std::nullopt;
  // Named as the run names the install folder, or where it lies.
  for (const std::wstring* root : {&namedAs_, static_cast<const std::wstring*>(&root_->path)}) {
    if (SamePath(full, *root)) return std::wstring();
    std::wstring below = PartBelow(full, *root);
    if (!below.empty()) return below;
  }
  return std::nullopt;
}

void InstallTree::NoteMade(const std::wstring& path, HANDLE folder) {
  try {
    const std::optional<std::wstring> key = KeyOf(path);
    const std::optional<FileIdentity> identity = IdentityOf(folder);
    if (key && !key->empty() && identity) made_[FolderKey(*key)] = *identity;
  } catch (const std::bad_alloc&) {
    // Not known as the run's, the folder is refused later: the safe side.
  }
}

bool InstallTree::StillMadeHere(const std::wstring& path) {
  try {
    if (refusing_) return false;
    const std::optional<std::wstring> key = KeyOf(path);
    if (!key) return false;
    std::optional<FileIdentity> expected;
    if (key->empty()) {
      expected = rootIdentity_;
    } else if (const auto found = made_.find(FolderKey(*key)); found != made_.end()) {
      expected = found->second;
    }
    if (!expected) return false;
    // Where it lies: the way there has no link the run did not follow.
    const StepResult<HeldEntry> opened = OpenFolderFromRoot(
        key->empty() ? root_->path : EntryPath(root_->path, *key), FILE_READ_ATTRIBUTES);
    if (!opened) return false;
    const std::optional<FileIdentity> identity = IdentityOf(opened->handle.Get());
    return identity && *identity == *expected;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

void InstallTree::Release() {
  last_.reset();
  lastKey_.clear();
  root_->handle.Reset();
  released_ = true;
}

bool InstallTree::Holds(const std::wstring& path) const {
  try {
    return (root_->handle || refusing_ || released_) && KeyOf(path).has_value();
  } catch (const std::bad_alloc&) {
    return false;
  }
}

namespace {

// Each part of a folder below the root: opened where its folder lists it,
// made (with what its folder passes down) when missing and asked to, and
// when this run made a folder of that name, that very one.
class TreeSteps final : public IPathSteps {
 public:
  TreeSteps(bool make, std::map<std::wstring, FileIdentity>& made,
            ACCESS_MASK access = kTreeFolderAccess, DWORD share = kTreeSharing)
      : make_(make), made_(made), access_(access), share_(share) {}

  StepResult<HeldEntry> Step(const HeldEntry& parent, const std::wstring& name,
                              bool) override {
    key_ = key_.empty() ? name : key_ + L"\\" + name;
    const std::wstring path = JoinPath(parent.path, name);
    if (!IsSinglePart(name)) {
      return StepError::Refusal(ERROR_INVALID_NAME, path, Reason::NotAFolderName);
    }
    StepResult<HeldEntry> next =
        OpenListedIn(parent.handle.Get(), parent.path, name, access_, share_, EntryType::Folder);
    bool madeNow = false;
    if (!next && make_ && next.Error().Missing()) {
      StepResult<FileHandle> made = CreateIn(parent.handle.Get(), name, kTreeFolderAccess,
                                             kTreeSharing, EntryType::Folder);
      if (made) {
        madeNow = true;
        std::wstring lies = FinalPathOfHandle(made->Get());
        next = HeldEntry{std::move(*made), std::move(lies)};
      } else if (made.Error().code == ERROR_ALREADY_EXISTS) {
        next = OpenListedIn(parent.handle.Get(), parent.path, name, kTreeFolderAccess,
                            kTreeSharing, EntryType::Folder);
      } else {
        next = made.Error().At(path);
      }
    }
    if (!next) return next.Error().At(path);
    const std::optional<FileIdentity> identity = IdentityOf(next->handle.Get());
    if (!identity || next->path.empty()) {
      return StepError::Refusal(kErrorLinkOnTheWay, path, Reason::FolderCannotBeJudged);
    }
    const auto made = made_.find(FolderKey(key_));
    if (madeNow) {
      made_[FolderKey(key_)] = *identity;
    } else if (made != made_.end() && !(made->second == *identity)) {
      return StepError::Refusal(kErrorLinkOnTheWay, path, Reason::NotMadeByThisRun);
    }
    return next;
  }

 private:
  bool make_;
  std::map<std::wstring, FileIdentity>& made_;
  ACCESS_MASK access_;
  DWORD share_;
  std::wstring key_;
};

struct CryptProviderTraits {
  using handle_type = HCRYPTPROV;
  static HCRYPTPROV Invalid() { return 0; }
  static void Close(HCRYPTPROV h) { CryptReleaseContext(h, 0); }
};
struct CryptHashTraits {
  using handle_type = HCRYPTHASH;
  static HCRYPTHASH Invalid() { return 0; }
  static void Close(HCRYPTHASH h) { CryptDestroyHash(h); }
};

// SHA-256 of what `file` holds, read through that handle from its start;
// each piece is also written to `copy` when one is given.
std::optional<std::array<BYTE, 32>> DigestOf(HANDLE file, HANDLE copy) {
  if (!SetFilePointerEx(file, LARGE_INTEGER{}, nullptr, FILE_BEGIN)) return std::nullopt;
  HCRYPTPROV acquired = 0;
  if (!CryptAcquireContextW(&acquired, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
    return std::nullopt;
  }
  const UniqueHandle<CryptProviderTraits> provider(acquired);
  HCRYPTHASH created = 0;
  if (!CryptCreateHash(provider.Get(), CALG_SHA_256, 0, 0, &created)) return std::nullopt;
  const UniqueHandle<CryptHashTraits> hash(created);
  std::vector<BYTE> buffer(256 * 1024);
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
      return std::nullopt;
    }
    if (got == 0) break;
    DWORD written = 0;
    if (!CryptHashData(hash.Get(), buffer.data(), got, 0) ||
        (copy && (!WriteFile(copy, buffer.data(), got, &written, nullptr) || written != got))) {
      return std::nullopt;
    }
  }
  std::array<BYTE, 32> value{};
  DWORD size = static_cast<DWORD>(value.size());
  if (!CryptGetHashParam(hash.Get(), HP_HASHVAL, value.data(), &size, 0) || size != value.size()) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

StepResult<std::shared_ptr<const HeldEntry>> InstallTree::ReachReleased(
    const std::wstring& relative) {
  const std::wstring expected = relative.empty() ? root_->path : EntryPath(root_->path, relative);
  std::optional<FileIdentity> made = rootIdentity_;
  if (!relative.empty()) {
    const auto found = made_.find(FolderKey(relative));
    made = found == made_.end() ? std::nullopt : std::optional(found->second);
  }
  if (!made) return StepError::Refusal(ERROR_BAD_PATHNAME, expected, Reason::NotMadeByThisRun);
  StepResult<HeldEntry> opened = OpenFolderFromRoot(expected, kTreeFolderAccess);
  if (!opened || IdentityOf(opened->handle.Get()) != made) {
    return StepError::Refusal(kErrorLinkOnTheWay, expected, Reason::NotMadeByThisRun);
  }
  return std::shared_ptr<const HeldEntry>(std::make_shared<HeldEntry>(std::move(*opened)));
}

StepResult<std::shared_ptr<const HeldEntry>> InstallTree::OpenFolder(const std::wstring& folder,
                                                                      bool make) {
  try {
    if (refusing_) {
      return StepError::Refusal(ERROR_CANNOT_MAKE, folder, Reason::InstallFolderNotMade);
    }
    const std::optional<std::wstring> relative =
        root_->handle || released_ ? KeyOf(folder) : std::nullopt;
    if (!relative) {
      return StepError::Refusal(ERROR_BAD_PATHNAME, folder, Reason::OutsideInstallFolder);
    }
    if (!root_->handle) {
      if (make) return StepError::Refusal(ERROR_CANNOT_MAKE, folder, Reason::NotMadeAfterRun);
      return ReachReleased(*relative);
    }
    const std::wstring expected = relative->empty() ? root_->path : EntryPath(root_->path, *relative);
    if (last_ && SamePath(lastKey_, *relative)) {
      if (StillAt(last_->handle.Get(), expected)) return std::shared_ptr<const HeldEntry>(last_);
      last_.reset();
    }
    // The root cannot be renamed by others (its list keeps them from it);
    // should it have moved all the same, nothing more goes into it.
    if (!StillAt(root_->handle.Get(), root_->path)) {
      return StepError::Refusal(kErrorLinkOnTheWay, root_->path, Reason::NotWhereInstalled);
    }
    if (relative->empty()) return std::shared_ptr<const HeldEntry>(root_);
    TreeSteps steps(make, made_);
    StepResult<HeldEntry> reached = WalkDownFrom(*root_, *relative, steps);
    if (!reached) return reached.Error();
    last_ = std::make_shared<HeldEntry>(std::move(*reached));
    lastKey_ = *relative;
    return std::shared_ptr<const HeldEntry>(last_);
  } catch (const std::bad_alloc&) {
    return StepError::OutOfMemory(folder);
  }
}

void InstallTree::Watch(const std::wstring& path) {
  try {
    const std::optional<std::wstring> key = KeyOf(path);
    if (key && !key->empty()) watched_.try_emplace(FolderKey(*key));
  } catch (const std::bad_alloc&) {
    // Unwatched, the file is never used as it arrived: the safe side.
  }
}

bool InstallTree::Covers(const std::wstring& path) const {
  try {
    return KeyOf(path) || SamePlace(path, root_->path) || PlaceIsBelow(path, root_->path);
  } catch (const std::bad_alloc&) {
    return true;
  }
}

void InstallTree::Arrived(const std::wstring& path, HANDLE file) {
  if (watched_.empty()) return;
  try {
    const std::optional<std::wstring> key = KeyOf(path);
    const auto watched = key ? watched_.find(FolderKey(*key)) : watched_.end();
    if (watched == watched_.end()) return;
    // Whatever arrived there before is no longer there.
    watched->second.reset();
    const std::optional<FileIdentity> identity = IdentityOf(file);
    const std::optional<std::array<BYTE, 32>> digest = DigestOf(file, nullptr);
    if (identity && digest) watched->second = Arrival{*identity, *digest};
  } catch (const std::bad_alloc&) {
    // Not noted, what arrived is never used: the safe side.
  }
}

StepResult<HeldArrival> InstallTree::OpenArrived(const std::wstring& path, HANDLE copy) {
  try {
    const StepError notAsArrived = StepError::Refusal(ERROR_ACCESS_DENIED, path,
                                                      Reason::NotAsArrived);
    if (refusing_) return StepError::Refusal(ERROR_CANNOT_MAKE, path, Reason::InstallFolderNotMade);
    const std::optional<std::wstring> key = KeyOf(path);
    const auto watched = key ? watched_.find(FolderKey(*key)) : watched_.end();
    if (watched == watched_.end() || !watched->second) return notAsArrived;
    // The install folder once more, shared with all but deleting; after
    // Release reached from the drive's root, as StillMadeHere reaches it.
    StepResult<HeldEntry> from = root_->handle
                                      ? StepResult<HeldEntry>(HeldEntry{FileHandle(), root_->path})
                                      : OpenFolderFromRoot(root_->path, FILE_TRAVERSE);
    if (!from) return from.Error();
    StepResult<FileHandle> app = OpenIn(root_->handle ? root_->handle.Get() : from->handle.Get(),
                                        L"", FILE_TRAVERSE, kHeldWaySharing, EntryType::Folder);
    if (!app) return app.Error().At(root_->path);
    if (!rootIdentity_ || IdentityOf(app->Get()) != rootIdentity_ ||
        !StillAt(app->Get(), root_->path)) {
      return StepError::Refusal(kErrorLinkOnTheWay, root_->path, Reason::NotWhereInstalled);
    }
    HeldArrival held;
    HeldEntry folder{std::move(*app), root_->path};
    const std::wstring way = key->find(L'\\') == std::wstring::npos ? L"" : BeforeLast(*key, L'\\');
    if (!way.empty()) {
      TreeSteps steps(false, made_, FILE_TRAVERSE, kHeldWaySharing);
      std::vector<FileHandle> between;
      StepResult<HeldEntry> reached = WalkDownFrom(folder, way, steps, &between);
      if (!reached) return reached.Error();
      held.folders.push_back(std::move(folder.handle));
      for (FileHandle& passed : between) held.folders.push_back(std::move(passed));
      folder = std::move(*reached);
    }
    StepResult<HeldEntry> file = OpenListedIn(folder.handle.Get(), folder.path,
                                               AfterLast(*key, L'\\'), GENERIC_READ,
                                               FILE_SHARE_READ, EntryType::File);
    held.folders.push_back(std::move(folder.handle));
    if (!file) return file.Error();
    if (IdentityOf(file->handle.Get()) != watched->second->identity ||
        DigestOf(file->handle.Get(), copy) != watched->second->digest) {
      return notAsArrived;
    }
    held.file = std::move(file->handle);
    return held;
  } catch (const std::bad_alloc&) {
    return StepError::OutOfMemory(path);
  }
}

StepResult<FileHandle> CreatePartFileIn(const HeldEntry& folder, const std::wstring& name,
                                        IGeneratedFiles* files) {
  try {
    PartFileNames names(folder.path, name);
    for (std::wstring part = names.Next(); !part.empty(); part = names.Next()) {
      StepResult<FileHandle> file =
          files ? files->CreateIn(folder.handle.Get(), JoinPath(folder.path, part))
                : CreateIn(folder.handle.Get(), part, GENERIC_READ | GENERIC_WRITE | DELETE, 0,
                           EntryType::File);
      if (file || file.Error().code != ERROR_FILE_EXISTS) return file;
    }
    return StepError::Of(ERROR_FILE_EXISTS, JoinPath(folder.path, name));
  } catch (const std::bad_alloc&) {
    return StepError::OutOfMemory(JoinPath(folder.path, name));
  }
}

StepDone PlaceInFolder(HANDLE file, const HeldEntry& folder, const std::wstring& name,
                       bool replace) {
  const std::wstring path = JoinPath(folder.path, name);
  // Only what was judged may be replaced: a file put there meanwhile makes
  // the rename fail instead of going unjudged.
  const bool existed = replace && KindIn(folder.handle.Get(), name) != EntryKind::kMissing;
  if (existed) {
    // Replacing deletes the file that is there.
    if (const std::wstring refusal = DeleteRefusal(path); !refusal.empty()) {
      return StepError::Refusal(ERROR_ACCESS_DENIED, path, Reason::Described, refusal);
    }
  }
  const StepDone placed = RenameInto(file, folder.handle.Get(), name, existed);
  return placed ? placed : placed.Error().At(path);
}

namespace {

// Takes away a part file that did not take its name (read-only, it could not
// be taken away again); what kept it from its name is the answer.
StepDone DiscardPart(HANDLE file, StepError error) {
  FILE_BASIC_INFO plain{};
  plain.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  SetFileInformationByHandle(file, FileBasicInfo, &plain, sizeof plain);
  DiscardCreatedFile(file);
  return error;
}

// A file the installer generates takes its name whatever had it: a link or
// an empty folder there goes first (a rename takes no folder's name; a link
// to a file is replaced as itself), a file is replaced read-only or held by
// a scanner as it may be, once the guard agreed to its delete.
StepDone TakeGeneratedName(HANDLE file, const HeldEntry& folder, const std::wstring& name) {
  const std::wstring path = JoinPath(folder.path, name);
  const EntryKind there = KindIn(folder.handle.Get(), name);
  if (there == EntryKind::kMissing) return PlaceInFolder(file, folder, name, false);
  if (there == EntryKind::kFolder || there == EntryKind::kLink) {
    const StepDone removed = RemoveGuardedFolder(path);
    if (!removed && there == EntryKind::kFolder) return removed;
  }
  if (const std::wstring refusal = DeleteRefusal(path); !refusal.empty()) {
    return StepError::Refusal(ERROR_ACCESS_DENIED, path, Reason::Described, refusal);
  }
  const StepDone placed = ReplaceInto(file, folder.handle.Get(), name);
  return placed ? placed : placed.Error().At(path);
}

// Writes all of `bytes` through the handle.
StepDone WriteWhole(HANDLE file, std::string_view bytes, const std::wstring& path) {
  for (size_t done = 0; done < bytes.size();) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 20));
    DWORD written = 0;
    if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr)) {
      return StepError::Last(path);
    }
    if (written == 0) return StepError::Of(ERROR_WRITE_FAULT, path);
    done += written;
  }
  return {};
}

}  // namespace

StepDone MakeFolderInTree(ITreeWrites& tree, const std::wstring& folder) {
  const auto opened = tree.OpenFolder(folder, true);
  if (!opened) return opened.Error();
  return {};
}

StepDone CopyIntoTree(ITreeWrites& tree, const std::wstring& source, const std::wstring& target,
                      bool overwrite) {
  try {
    const std::wstring full = FullPath(target);
    const std::wstring name = AfterLast(full, L'\\');
    const auto folder = tree.OpenFolder(BeforeLast(full, L'\\'), true);
    if (!folder) return folder.Error();
    if (!overwrite && KindIn((*folder)->handle.Get(), name) != EntryKind::kMissing) {
      return StepError::Of(ERROR_FILE_EXISTS, full);
    }
    StepResult<FileHandle> from =
        OpenByPath(source, GENERIC_READ, FILE_SHARE_READ, EntryType::File);
    if (!from) return from.Error();
    StepResult<FileHandle> to = CreatePartFileIn(**folder, name);
    if (!to) return to.Error();
    std::vector<char> buffer(1024 * 1024);
    for (;;) {
      DWORD got = 0;
      if (!ReadFile(from->Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got,
                    nullptr)) {
        return DiscardPart(to->Get(), StepError::Last(source));
      }
      if (got == 0) break;
      if (const StepDone written = WriteWhole(to->Get(), std::string_view(buffer.data(), got), full);
          !written) {
        return DiscardPart(to->Get(), written.Error());
      }
    }
    // As the system's copy leaves it: the source's times and attributes.
    FILE_BASIC_INFO basic{};
    if (GetFileInformationByHandleEx(from->Get(), FileBasicInfo, &basic, sizeof basic)) {
      basic.ChangeTime.QuadPart = 0;
      basic.FileAttributes &= FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                              FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;
      if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
      SetFileInformationByHandle(to->Get(), FileBasicInfo, &basic, sizeof basic);
    }
    const StepDone placed = PlaceInFolder(to->Get(), **folder, name, overwrite);
    if (!placed) return DiscardPart(to->Get(), placed.Error());
    tree.Arrived(full, to->Get());
    return {};
  } catch (const std::bad_alloc&) {
    return StepError::OutOfMemory(target);
  }
}

StepDone WriteGeneratedFile(ITreeWrites& tree, const std::wstring& path, std::string_view content,
                            IGeneratedFiles* files) {
  try {
    const std::wstring full = FullPath(path);
    const std::wstring name = AfterLast(full, L'\\');
    if (!IsSinglePart(name)) return StepError::Refusal(ERROR_INVALID_NAME, full);
    const auto folder = tree.OpenFolder(BeforeLast(full, L'\\'), true);
    if (!folder) return folder.Error();
    StepResult<FileHandle> file = CreatePartFileIn(**folder, name, files);
    if (!file) return file.Error();
    if (const StepDone written = WriteWhole(file->Get(), content, full); !written) {
      return DiscardPart(file->Get(), written.Error());
    }
    const StepDone placed = TakeGeneratedName(file->Get(), **folder, name);
    if (!placed) return DiscardPart(file->Get(), placed.Error());
    if (files) files->Placed(JoinPath((*folder)->path, name));
    return {};
  } catch (const std::bad_alloc&) {
    return StepError::OutOfMemory(path);
  }
}

StepDone AppendInTree(ITreeWrites& tree, const std::wstring& path, std::string_view content) {
  try {
    const std::wstring full = FullPath(path);
    const std::wstring name = AfterLast(full, L'\\');
    const auto folder = tree.OpenFolder(BeforeLast(full, L'\\'), false);
    if (!folder) return folder.Error();
    StepResult<FileHandle> file =
        OpenIn((*folder)->handle.Get(), name, FILE_APPEND_DATA, FILE_SHARE_READ, EntryType::File);
    if (!file && file.Error().Missing()) {
      file = CreateIn((*folder)->handle.Get(), name, FILE_APPEND_DATA, FILE_SHARE_READ,
                      EntryType::File);
    }
    if (!file) return file.Error().At(full);
    const std::optional<DWORD> attributes = AttributesOf(file->Get());
    if (!attributes || IsLinkAttributes(*attributes)) {
      return StepError::Refusal(kErrorLinkOnTheWay, full);
    }
    return WriteWhole(file->Get(), content, full);
  } catch (const std::bad_alloc&) {
    return StepError::OutOfMemory(path);
  }
}

}  // namespace norvale
