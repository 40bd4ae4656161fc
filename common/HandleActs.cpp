#include "HandleActs.h"

#include <vector>

#include "FolderHandles.h"
#include "NtFileCalls.h"
#include "Paths.h"
#include "Text.h"

namespace norvale {
namespace {

constexpr DWORD kOpenAsItself = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;

std::wstring FolderRefusal(const std::wstring& folder, const IFinalPaths& finalPaths,
                           const IProfileList& profiles) {
  const std::wstring refusal =
      DeleteRefusal(folder, DeleteKind::SinglePath, finalPaths, profiles);
  if (!refusal.empty()) return refusal;
  return FitsPlainPathCalls(Trim(folder), true) ? L"" : L"path too long";
}

// The system's own answer is what the walk reads from each handle; only a
// test's other system needs asking by name as well.
const IFinalPaths* AskedByName(const IFinalPaths& finalPaths) {
  return dynamic_cast<const SystemFinalPaths*>(&finalPaths) ? nullptr : &finalPaths;
}

bool Refused(const std::wstring& refusal, std::wstring* why) {
  if (refusal.empty()) return false;
  if (why) *why = refusal;
  SetLastError(ERROR_ACCESS_DENIED);
  return true;
}

// Why what a handle opened without following a link may not go: where it
// lies is judged (a folder above swapped for a junction after the name was
// judged leads the handle elsewhere, a link included), and what is no link
// must lie where its name is listed (Wine opens a link made on the host as
// its target even when asked not to). Empty when it may go.
std::wstring LiesRefusal(const HandleFacts& facts, const std::wstring& full,
                         const IFinalPaths& finalPaths, const IProfileList& profiles,
                         bool folder) {
  const std::wstring refusal =
      folder ? FolderRefusal(facts.lies, finalPaths, profiles)
             : DeleteRefusal(facts.lies, DeleteKind::SinglePath, finalPaths, profiles);
  if (!refusal.empty()) return refusal;
  // A link's handle lies where the link is; what it leads to is never reached.
  if (facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT) return L"";
  const std::wstring listed = ResolvedPath(full, finalPaths);
  if (listed.empty() || !SamePath(listed, facts.lies)) {
    return folder ? L"folder opens elsewhere than it is listed" : L"link to a file elsewhere";
  }
  return L"";
}

class NoEvents final : public ITreeRemovalEvents {};

bool Missing(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

}  // namespace

RemovalRoot RemovalRoot::Open(const std::wstring& folder, Kind kind,
                              const IFinalPaths& finalPaths, const IProfileList& profiles) {
  RemovalRoot root;
  try {
    root.refusal_ = FolderRefusal(folder, finalPaths, profiles);
    if (!root.refusal_.empty()) return root;
    root.path_ = FullPath(folder);
    root.byName_ = AskedByName(finalPaths);
    // Asked for deleting from the start when the folder is to go, so that
    // it is never opened again by its name; one that is someone's current
    // folder, or whose list keeps deletes out, is still emptied.
    if (kind == Kind::Tree) {
      root.handle_.Reset(CreateFileW(root.path_.c_str(), kListingAccess | DELETE,
                                     kRemovalSharing, nullptr, OPEN_EXISTING, kOpenAsItself,
                                     nullptr));
      root.deletable_ = root.handle_.Valid();
    }
    if (!root.handle_) {
      root.handle_.Reset(CreateFileW(root.path_.c_str(), kListingAccess, kRemovalSharing, nullptr,
                                     OPEN_EXISTING, kOpenAsItself, nullptr));
    }
    if (!root.handle_) {
      const bool missing = Missing(GetLastError());
      root.refusal_ = missing ? L"no such folder" : L"folder could not be opened";
      root.forNow_ = !missing;
      return root;
    }
    if (!finalPaths.FactsOf(root.handle_.Get(), root.facts_)) {
      root.refusal_ = L"folder cannot be judged";
    } else if (!(root.facts_.attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      root.refusal_ = L"no such folder";
    } else if (root.facts_.attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      // Whatever it leads to is never entered; the link itself must lie
      // where a removal may reach.
      root.refusal_ = kind == Kind::Contents
                          ? L"folder is a link"
                          : LiesRefusal(root.facts_, root.path_, finalPaths, profiles, true);
      root.isLink_ = true;
    } else {
      root.refusal_ = LiesRefusal(root.facts_, root.path_, finalPaths, profiles, true);
      root.forNow_ = root.refusal_ == L"folder opens elsewhere than it is listed";
    }
    if (root.refusal_.empty()) root.identity_ = IdentityOf(root.handle_.Get());
    if (root.refusal_.empty() && !root.identity_) root.refusal_ = L"folder cannot be judged";
  } catch (...) {
    root.refusal_ = L"folder cannot be judged";
  }
  if (!root.refusal_.empty()) root.handle_.Reset();
  return root;
}

bool RemovalRoot::HoldAgain() {
  if (handle_) return true;
  if (!refusal_.empty()) return false;
  // Let go for a delete that failed: what opens under the name now must be
  // the folder that was judged.
  FileHandle again(CreateFileW(path_.c_str(), kListingAccess | (deletable_ ? DELETE : 0),
                               kRemovalSharing, nullptr, OPEN_EXISTING, kOpenAsItself, nullptr));
  if (!again || IdentityOf(again.Get()) != identity_) {
    refusal_ = L"folder changed since it was judged";
    forNow_ = true;
    return false;
  }
  handle_ = std::move(again);
  return true;
}

TreeRemovalResult RemovalRoot::RemoveContents(ITreeRemovalEvents& events) {
  TreeRemovalResult result;
  if (!HoldAgain()) {
    result.retryable = forNow_;
    result.refused = !forNow_;
    return result;
  }
  if (isLink_) return result;
  return RemoveContentsOf(handle_.Get(), path_, events, byName_);
}

bool RemovalRoot::Remove() {
  try {
    if (!refusal_.empty()) return false;
    bool disposed = false;
    if (handle_ && deletable_) {
      disposed = DisposeOf(handle_.Get()) == Disposal::Done;
    } else {
      // Held for listing only, the handle shares no deletes with a second
      // one: it goes first, and the folder reopened must be the one judged.
      handle_.Reset();
      const FileHandle deleting(CreateFileW(path_.c_str(), kDeletingAccess, kRemovalSharing,
                                            nullptr, OPEN_EXISTING, kOpenAsItself, nullptr));
      disposed = deleting && IdentityOf(deleting.Get()) == identity_ &&
                 DisposeOf(deleting.Get()) == Disposal::Done;
    }
    handle_.Reset();
    // A folder goes once its last handle closes, which another program may
    // still hold for a moment.
    if (disposed && GetFileAttributesW(path_.c_str()) == INVALID_FILE_ATTRIBUTES) return true;
    HoldAgain();
    return false;
  } catch (...) {
    return false;
  }
}

bool DeleteTree(const std::wstring& folder, std::wstring* why, const IFinalPaths& finalPaths) {
  NoEvents events;
  return DeleteTree(folder, why, finalPaths, events);
}

bool DeleteTree(const std::wstring& folder, std::wstring* why, const IFinalPaths& finalPaths,
                ITreeRemovalEvents& events) {
  try {
    RemovalRoot root = RemovalRoot::Open(folder, RemovalRoot::Kind::Tree, finalPaths);
    if (!root) {
      if (why) *why = root.Refusal();
      return false;
    }
    if (root.RemoveContents(events).Complete() && root.Remove()) return true;
  } catch (...) {
  }
  if (why) *why = L"folder could not be removed completely";
  return false;
}

TreeRemovalResult EmptyGuardedFolder(const std::wstring& folder, ITreeRemovalEvents& events,
                                     std::wstring* why, const IFinalPaths& finalPaths) {
  TreeRemovalResult left;
  left.retryable = true;
  try {
    RemovalRoot root = RemovalRoot::Open(folder, RemovalRoot::Kind::Contents, finalPaths);
    if (!root) {
      if (why) *why = root.Refusal();
      left.retryable = root.RefusedForNow();
      left.refused = !root.RefusedForNow();
      return left;
    }
    return root.RemoveContents(events);
  } catch (...) {
    return left;
  }
}

bool DeleteGuardedFile(const std::wstring& path, std::wstring* why, bool evenReadOnly,
                       const IFinalPaths& finalPaths) {
  try {
    if (Refused(DeleteRefusal(path, DeleteKind::SinglePath, finalPaths), why)) return false;
    const std::wstring full = FullPath(path);
    // Opened as itself: a link is deleted as a link, and a folder does not
    // open at all, as deleting a file by its name answers.
    const FileHandle file(CreateFileW(full.c_str(), kDeletingAccess,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT,
                                      nullptr));
    if (!file) {
      const DWORD error = GetLastError();
      if (why) why->clear();
      SetLastError(error);
      return false;
    }
    HandleFacts facts;
    if (!finalPaths.FactsOf(file.Get(), facts)) return !Refused(L"file cannot be judged", why);
    if (Refused(LiesRefusal(facts, full, finalPaths, SystemProfileList(), false), why)) {
      return false;
    }
    switch (DisposeOf(file.Get(), evenReadOnly)) {
      case Disposal::Done:
        return true;
      case Disposal::Shared:
        return !Refused(L"read-only file with other names", why);
      case Disposal::Failed:
        break;
    }
    const DWORD error = GetLastError();
    if (why) why->clear();
    SetLastError(error);
    return false;
  } catch (...) {
    if (why) why->clear();
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
}

bool RemoveGuardedFolder(const std::wstring& folder, std::wstring* why) {
  try {
    const SystemFinalPaths finalPaths;
    if (Refused(FolderRefusal(folder, finalPaths, SystemProfileList()), why)) return false;
    const std::wstring full = FullPath(folder);
    FileHandle handle(CreateFileW(full.c_str(), kDeletingAccess,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, kOpenAsItself, nullptr));
    HandleFacts facts;
    if (!handle || !finalPaths.FactsOf(handle.Get(), facts)) {
      const DWORD error = GetLastError();
      if (why) why->clear();
      SetLastError(error);
      return false;
    }
    if (!(facts.attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      if (why) why->clear();
      SetLastError(ERROR_DIRECTORY);
      return false;
    }
    if (Refused(LiesRefusal(facts, full, finalPaths, SystemProfileList(), true), why)) {
      return false;
    }
    const bool disposed = DisposeOf(handle.Get(), false) == Disposal::Done;
    const DWORD error = GetLastError();
    handle.Reset();
    if (why) why->clear();
    if (!disposed) {
      SetLastError(error);
      return false;
    }
    // Some systems refuse a folder that is not empty only once it closes.
    if (GetFileAttributesW(full.c_str()) != INVALID_FILE_ATTRIBUTES) {
      SetLastError(ERROR_DIR_NOT_EMPTY);
      return false;
    }
    return true;
  } catch (...) {
    if (why) why->clear();
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
}

bool RemoveHeldOwnFolder(HANDLE folder, const std::wstring& path) {
  try {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!GetFileInformationByHandleEx(folder, FileAttributeTagInfo, &tag, sizeof tag) ||
        !(tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      return false;
    }
    NoEvents events;
    if (!RemoveContentsOf(folder, path, events).Complete()) return false;
    if (DisposeOf(folder) == Disposal::Done) return true;
    // Held without DELETE (a program writing into it opens it without
    // sharing deletes), it is opened again through itself for the delete.
    HANDLE self = nullptr;
    const nt::Status status = nt::FileCalls::System().CreateIn(
        folder, L"", kDeletingAccess | SYNCHRONIZE,
        0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nt::kFileOpen,
        nt::kFileDirectoryFile | nt::kFileOpenReparsePoint | nt::kFileSynchronousIoNonAlert, nullptr,
        &self);
    const FileHandle deleting(status < 0 ? nullptr : self);
    return deleting && DisposeOf(deleting.Get()) == Disposal::Done;
  } catch (...) {
    return false;
  }
}

bool RemoveListedFolder(HANDLE parent, const std::wstring& parentPath, const std::wstring& name,
                        std::wstring* why) {
  try {
    const std::wstring path = JoinPath(parentPath, name);
    if (Refused(FolderRefusal(EntryPath(parentPath, name), SystemFinalPaths(),
                              SystemProfileList()),
                why)) {
      return false;
    }
    if (why) why->clear();
    FileHandle folder = OpenListedFolder(parent, name);
    if (!folder) return false;
    const std::optional<FileIdentity> identity = IdentityOf(folder.Get());
    NoEvents events;
    if (!identity || !RemoveContentsOf(folder.Get(), path, events).Complete()) return false;
    // The listing handle shares no deletes: it goes first, and what opens
    // under the name then must be the folder that was emptied.
    folder.Reset();
    HANDLE again = nullptr;
    const nt::Status status = nt::FileCalls::System().CreateIn(
        parent, name, kDeletingAccess | SYNCHRONIZE, 0, kRemovalSharing, nt::kFileOpen,
        nt::kFileDirectoryFile | nt::kFileOpenReparsePoint | nt::kFileSynchronousIoNonAlert,
        nullptr, &again);
    const FileHandle deleting(status < 0 ? nullptr : again);
    return deleting && IdentityOf(deleting.Get()) == identity &&
           DisposeOf(deleting.Get(), false) == Disposal::Done;
  } catch (...) {
    return false;
  }
}

}  // namespace norvale
