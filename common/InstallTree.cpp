#include "InstallTree.h"

#include <wincrypt.h>

#include <algorithm>
#include <cstdio>
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
constexpr DWORD kTreeSharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr wchar_t kPartSuffix[] = L".nvpart";
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

std::shared_ptr<const TreeFolder> Refused(DWORD error, std::wstring* why, std::wstring text) {
  if (why) *why = std::move(text);
  SetLastError(error);
  return nullptr;
}

}  // namespace

InstallTree::InstallTree(FileHandle root, std::wstring rootPath, bool rootMade,
                         std::wstring namedAs)
    : root_(std::make_shared<TreeFolder>(TreeFolder{std::move(root), std::move(rootPath)})),
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
  } catch (...) {
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
    const StepResult<HeldFolder> opened = OpenFolderFromRoot(
        key->empty() ? root_->path : EntryPath(root_->path, *key), FILE_READ_ATTRIBUTES);
    if (!opened) return false;
    const std::optional<FileIdentity> identity = IdentityOf(opened->handle.Get());
    return identity && *identity == *expected;
  } catch (...) {
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
  } catch (...) {
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
            ACCESS_MASK access = kTreeFolderAccess, DWORD share = kTreeSharing,
            std::vector<FileHandle>* keep = nullptr)
      : make_(make), made_(made), access_(access), share_(share), keep_(keep) {}

  StepResult<HeldFolder> Step(const HeldFolder& parent, const std::wstring& name,
                              bool) override {
    key_ = key_.empty() ? name : key_ + L"\\" + name;
    const std::wstring path = JoinPath(parent.path, name);
    if (!IsSinglePart(name)) {
      return Refused(ERROR_INVALID_NAME, path, L"[" + path + L"]はフォルダ名として使えません");
    }
    StepResult<HeldFolder> next =
        OpenListedIn(parent.handle.Get(), parent.path, name, access_, share_, EntryType::Folder);
    bool madeNow = false;
    if (!next && make_ && next.Error().Missing()) {
      StepResult<FileHandle> made = CreateIn(parent.handle.Get(), name, kTreeFolderAccess,
                                             kTreeSharing, EntryType::Folder);
      if (made) {
        madeNow = true;
        std::wstring lies = FinalPathOfHandle(made->Get());
        next = HeldFolder{std::move(*made), std::move(lies)};
      } else if (made.Error().code == ERROR_ALREADY_EXISTS) {
        next = OpenListedIn(parent.handle.Get(), parent.path, name, kTreeFolderAccess,
                            kTreeSharing, EntryType::Folder);
      } else {
        next = made.Error();
      }
    }
    if (!next) {
      const StepError& error = next.Error();
      if (error.code == kErrorLinkOnTheWay) {
        return Refused(error.code, path,
                       L"[" + path + L"]はリンクか、その先が別の場所にあるフォルダです");
      }
      return Refused(error.code, path, L"[" + path + L"]を開けませんでした");
    }
    const std::optional<FileIdentity> identity = IdentityOf(next->handle.Get());
    if (!identity || next->path.empty()) {
      return Refused(kErrorLinkOnTheWay, path, L"[" + path + L"]を確認できませんでした");
    }
    const auto made = made_.find(FolderKey(key_));
    if (madeNow) {
      made_[FolderKey(key_)] = *identity;
    } else if (made != made_.end() && !(made->second == *identity)) {
      return Refused(kErrorLinkOnTheWay, path,
                     L"[" + path + L"]はこのインストールで作成したフォルダではありません");
    }
    // The walk lets go of each part once it has the next: a caller that
    // holds the whole way keeps each part once more.
    HANDLE kept = nullptr;
    if (keep_ && !DuplicateHandle(GetCurrentProcess(), next->handle.Get(), GetCurrentProcess(),
                                  &kept, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
      return Refused(GetLastError(), path, L"[" + path + L"]を開けませんでした");
    }
    if (keep_) keep_->emplace_back(kept);
    return next;
  }

 private:
  static StepError Refused(DWORD code, const std::wstring& path, std::wstring why) {
    StepError error = StepError::Of(code, path);
    error.reason = Reason::Described;
    error.detail = std::move(why);
    return error;
  }

  bool make_;
  std::map<std::wstring, FileIdentity>& made_;
  ACCESS_MASK access_;
  DWORD share_;
  std::vector<FileHandle>* keep_;
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

std::shared_ptr<const TreeFolder> InstallTree::ReachReleased(const std::wstring& relative,
                                                             std::wstring* why) {
  const std::wstring expected = relative.empty() ? root_->path : EntryPath(root_->path, relative);
  std::optional<FileIdentity> made = rootIdentity_;
  if (!relative.empty()) {
    const auto found = made_.find(FolderKey(relative));
    made = found == made_.end() ? std::nullopt : std::optional(found->second);
  }
  if (!made) {
    return Refused(ERROR_BAD_PATHNAME, why,
                   L"[" + expected + L"]はこのインストールで作成したフォルダではありません");
  }
  StepResult<HeldFolder> opened = OpenFolderFromRoot(expected, kTreeFolderAccess);
  if (!opened || IdentityOf(opened->handle.Get()) != made) {
    return Refused(kErrorLinkOnTheWay, why,
                   L"[" + expected + L"]はこのインストールで作成したフォルダではありません");
  }
  return std::make_shared<TreeFolder>(std::move(*opened));
}

std::shared_ptr<const TreeFolder> InstallTree::OpenFolder(const std::wstring& folder, bool make,
                                                          std::wstring* why) {
  try {
    if (refusing_) {
      return Refused(ERROR_CANNOT_MAKE, why,
                     L"[" + folder + L"]はインストール先のフォルダを作成できなかったため使用しません");
    }
    const std::optional<std::wstring> relative =
        root_->handle || released_ ? KeyOf(folder) : std::nullopt;
    if (!relative) {
      return Refused(ERROR_BAD_PATHNAME, why, L"[" + folder + L"]はインストール先の外にあります");
    }
    if (!root_->handle) {
      if (make) return Refused(ERROR_CANNOT_MAKE, why, L"[" + folder + L"]を作成できません");
      return ReachReleased(*relative, why);
    }
    const std::wstring expected = relative->empty() ? root_->path : EntryPath(root_->path, *relative);
    if (last_ && SamePath(lastKey_, *relative)) {
      if (StillAt(last_->handle.Get(), expected)) return last_;
      last_.reset();
    }
    // The root cannot be renamed by others (its list keeps them from it);
    // should it have moved all the same, nothing more goes into it.
    if (!StillAt(root_->handle.Get(), root_->path)) {
      return Refused(kErrorLinkOnTheWay, why,
                     L"[" + root_->path + L"]はインストール時の場所にありません");
    }
    if (relative->empty()) return root_;
    TreeSteps steps(make, made_);
    StepResult<HeldFolder> reached = WalkDownFrom(*root_, *relative, steps);
    if (!reached) return Refused(reached.Error().code, why, ReasonText(reached.Error().reason, reached.Error().detail));
    last_ = std::make_shared<TreeFolder>(std::move(*reached));
    lastKey_ = *relative;
    return last_;
  } catch (...) {
    return Refused(ERROR_NOT_ENOUGH_MEMORY, why, L"[" + folder + L"]を開けませんでした");
  }
}

void InstallTree::Watch(const std::wstring& path) {
  try {
    const std::optional<std::wstring> key = KeyOf(path);
    if (key && !key->empty()) watched_.try_emplace(FolderKey(*key));
  } catch (...) {
  }
}

bool InstallTree::Covers(const std::wstring& path) const {
  try {
    return KeyOf(path) || SamePlace(path, root_->path) || LiesBelow(path, root_->path);
  } catch (...) {
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
  } catch (...) {
  }
}

std::optional<HeldArrival> InstallTree::OpenArrived(const std::wstring& path, HANDLE copy) {
  try {
    if (refusing_) return std::nullopt;
    const std::optional<std::wstring> key = KeyOf(path);
    const auto watched = key ? watched_.find(FolderKey(*key)) : watched_.end();
    if (watched == watched_.end() || !watched->second) return std::nullopt;
    // The install folder once more, shared with all but deleting; after
    // Release reached from the drive's root, as StillMadeHere reaches it.
    StepResult<HeldFolder> from = root_->handle
                                      ? StepResult<HeldFolder>(HeldFolder{FileHandle(), root_->path})
                                      : OpenFolderFromRoot(root_->path, FILE_TRAVERSE);
    if (!from) return std::nullopt;
    StepResult<FileHandle> app = OpenIn(root_->handle ? root_->handle.Get() : from->handle.Get(),
                                        L"", FILE_TRAVERSE, kHeldWaySharing, EntryType::Folder);
    if (!app || !rootIdentity_ || IdentityOf(app->Get()) != rootIdentity_ ||
        !StillAt(app->Get(), root_->path)) {
      return std::nullopt;
    }
    HeldArrival held;
    HeldFolder folder{std::move(*app), root_->path};
    const std::wstring way = key->find(L'\\') == std::wstring::npos ? L"" : BeforeLast(*key, L'\\');
    if (!way.empty()) {
      TreeSteps steps(false, made_, FILE_TRAVERSE, kHeldWaySharing, &held.folders);
      StepResult<HeldFolder> reached = WalkDownFrom(folder, way, steps);
      if (!reached) return std::nullopt;
      held.folders.insert(held.folders.begin(), std::move(folder.handle));
      folder = std::move(*reached);
    }
    StepResult<HeldFolder> file = OpenListedIn(folder.handle.Get(), folder.path,
                                               AfterLast(*key, L'\\'), GENERIC_READ,
                                               FILE_SHARE_READ, EntryType::File);
    if (way.empty()) held.folders.push_back(std::move(folder.handle));
    if (!file || IdentityOf(file->handle.Get()) != watched->second->identity ||
        DigestOf(file->handle.Get(), copy) != watched->second->digest) {
      return std::nullopt;
    }
    held.file = std::move(file->handle);
    return held;
  } catch (...) {
    return std::nullopt;
  }
}

FileHandle CreatePartFileIn(const TreeFolder& folder, const std::wstring& name,
                            IGeneratedFiles* files) try {
  const ULONGLONG seed = GetTickCount64() ^ (static_cast<ULONGLONG>(GetCurrentProcessId()) << 20);
  constexpr int kNames = 32;
  for (int attempt = 0; attempt < kNames; ++attempt) {
    std::wstring part = name + kPartSuffix;
    if (attempt > 0 || part.size() > 255 || !FitsPlainPathCalls(JoinPath(folder.path, part))) {
      wchar_t hex[9] = {};
      const auto mixed = static_cast<uint32_t>(
          (seed + static_cast<ULONGLONG>(attempt)) * 0x9E3779B97F4A7C15ull >> 32);
      swprintf(hex, 9, L"%08x", mixed);
      part = std::wstring(L"~") + hex + kPartSuffix;
    }
    StepResult<FileHandle> file =
        files ? files->CreateIn(folder.handle.Get(), JoinPath(folder.path, part))
              : CreateIn(folder.handle.Get(), part, GENERIC_READ | GENERIC_WRITE | DELETE, 0,
                         EntryType::File);
    if (file) return std::move(*file);
    if (file.Error().code != ERROR_FILE_EXISTS) {
      SetLastError(file.Error().code);
      return {};
    }
  }
  SetLastError(ERROR_FILE_EXISTS);
  return {};
} catch (...) {
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return {};
}

bool PlaceInFolder(HANDLE file, const TreeFolder& folder, const std::wstring& name, bool replace,
                   std::wstring* why) {
  // Only what was judged may be replaced: a file put there meanwhile makes
  // the rename fail instead of going unjudged.
  const bool existed = replace && KindIn(folder.handle.Get(), name) != EntryKind::kMissing;
  if (existed) {
    // Replacing deletes the file that is there.
    const std::wstring refusal = DeleteRefusal(JoinPath(folder.path, name));
    if (!refusal.empty()) {
      if (why) *why = refusal;
      SetLastError(ERROR_ACCESS_DENIED);
      return false;
    }
  }
  const StepDone placed = RenameInto(file, folder.handle.Get(), name, existed);
  if (placed) return true;
  if (why) why->clear();
  SetLastError(placed.Error().code);
  return false;
}

namespace {

// Takes away a part file that did not take its name (read-only, it could not
// be taken away again), leaving error as the last error: false.
bool DiscardPart(HANDLE file, DWORD error) {
  FILE_BASIC_INFO plain{};
  plain.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  SetFileInformationByHandle(file, FileBasicInfo, &plain, sizeof plain);
  DiscardCreatedFile(file);
  SetLastError(error);
  return false;
}

// A file the installer generates takes its name whatever had it: a link or
// an empty folder there goes first (a rename takes no folder's name; a link
// to a file is replaced as itself), a file is replaced read-only or held by
// a scanner as it may be, once the guard agreed to its delete.
bool TakeGeneratedName(HANDLE file, const TreeFolder& folder, const std::wstring& name,
                       std::wstring* why) {
  const std::wstring path = JoinPath(folder.path, name);
  const EntryKind there = KindIn(folder.handle.Get(), name);
  if (there == EntryKind::kMissing) return PlaceInFolder(file, folder, name, false, why);
  if (there == EntryKind::kFolder || there == EntryKind::kLink) {
    const StepDone removed = RemoveGuardedFolder(path);
    if (!removed && there == EntryKind::kFolder) {
      if (why) *why = removed.Error().Why();
      SetLastError(removed.Error().code);
      return false;
    }
  }
  if (const std::wstring refusal = DeleteRefusal(path); !refusal.empty()) {
    if (why) *why = refusal;
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  const StepDone placed = ReplaceInto(file, folder.handle.Get(), name);
  if (placed) return true;
  if (why) why->clear();
  SetLastError(placed.Error().code);
  return false;
}

}  // namespace

bool MakeFolderInTree(ITreeWrites& tree, const std::wstring& folder, std::wstring* why) {
  return tree.OpenFolder(folder, true, why) != nullptr;
}

bool CopyIntoTree(ITreeWrites& tree, const std::wstring& source, const std::wstring& target,
                  bool overwrite, std::wstring* why) {
  try {
    const std::wstring full = FullPath(target);
    const std::wstring name = AfterLast(full, L'\\');
    const std::shared_ptr<const TreeFolder> folder =
        tree.OpenFolder(BeforeLast(full, L'\\'), true, why);
    if (!folder) return false;
    if (!overwrite && KindIn(folder->handle.Get(), name) != EntryKind::kMissing) {
      SetLastError(ERROR_FILE_EXISTS);
      return false;
    }
    StepResult<FileHandle> opened =
        OpenByPath(source, GENERIC_READ, FILE_SHARE_READ, EntryType::File);
    if (!opened) {
      SetLastError(opened.Error().code);
      return false;
    }
    const FileHandle from = std::move(*opened);
    FileHandle to = CreatePartFileIn(*folder, name);
    if (!to) return false;
    bool copied = true;
    std::vector<char> buffer(1024 * 1024);
    for (;;) {
      DWORD got = 0;
      if (!ReadFile(from.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
        copied = false;
        break;
      }
      if (got == 0) break;
      DWORD written = 0;
      if (!WriteFile(to.Get(), buffer.data(), got, &written, nullptr) || written != got) {
        copied = false;
        break;
      }
    }
    DWORD error = copied ? 0 : GetLastError();
    if (copied) {
      // As the system's copy leaves it: the source's times and attributes.
      FILE_BASIC_INFO basic{};
      if (GetFileInformationByHandleEx(from.Get(), FileBasicInfo, &basic, sizeof basic)) {
        basic.ChangeTime.QuadPart = 0;
        basic.FileAttributes &= FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;
        if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        SetFileInformationByHandle(to.Get(), FileBasicInfo, &basic, sizeof basic);
      }
      if (PlaceInFolder(to.Get(), *folder, name, overwrite, why)) {
        tree.Arrived(full, to.Get());
        return true;
      }
      error = GetLastError();
    }
    return DiscardPart(to.Get(), error);
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
}

bool WriteGeneratedFile(ITreeWrites& tree, const std::wstring& path, std::string_view content,
                        IGeneratedFiles* files, std::wstring* why) {
  try {
    const std::wstring full = FullPath(path);
    const std::wstring name = AfterLast(full, L'\\');
    if (!IsSinglePart(name)) {
      SetLastError(ERROR_INVALID_NAME);
      return false;
    }
    const std::shared_ptr<const TreeFolder> folder =
        tree.OpenFolder(BeforeLast(full, L'\\'), true, why);
    if (!folder) return false;
    FileHandle file = CreatePartFileIn(*folder, name, files);
    if (!file) return false;
    DWORD error = 0;
    for (size_t done = 0; done < content.size() && error == 0;) {
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(content.size() - done, 1 << 20));
      DWORD written = 0;
      if (!WriteFile(file.Get(), content.data() + done, chunk, &written, nullptr)) {
        error = GetLastError();
      } else if (written == 0) {
        error = ERROR_WRITE_FAULT;
      }
      done += written;
    }
    if (error == 0) {
      if (TakeGeneratedName(file.Get(), *folder, name, why)) {
        if (files) files->Placed(JoinPath(folder->path, name));
        return true;
      }
      error = GetLastError();
    }
    return DiscardPart(file.Get(), error);
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
}

DWORD AppendInTree(ITreeWrites& tree, const std::wstring& path, std::string_view content) {
  try {
    const std::wstring full = FullPath(path);
    const std::wstring name = AfterLast(full, L'\\');
    const std::shared_ptr<const TreeFolder> folder =
        tree.OpenFolder(BeforeLast(full, L'\\'), false, nullptr);
    if (!folder) return GetLastError() != 0 ? GetLastError() : ERROR_PATH_NOT_FOUND;
    StepResult<FileHandle> file =
        OpenIn(folder->handle.Get(), name, FILE_APPEND_DATA, FILE_SHARE_READ, EntryType::File);
    if (!file && file.Error().Missing()) {
      file = CreateIn(folder->handle.Get(), name, FILE_APPEND_DATA, FILE_SHARE_READ,
                      EntryType::File);
    }
    if (!file) return file.Error().code;
    const std::optional<DWORD> attributes = AttributesOf(file->Get());
    if (!attributes || IsLinkAttributes(*attributes)) return kErrorLinkOnTheWay;
    DWORD written = 0;
    if (!WriteFile(file->Get(), content.data(), static_cast<DWORD>(content.size()), &written,
                   nullptr)) {
      return GetLastError();
    }
    return written == content.size() ? 0 : static_cast<DWORD>(ERROR_WRITE_FAULT);
  } catch (...) {
    return ERROR_NOT_ENOUGH_MEMORY;
  }
}

}  // namespace norvale
