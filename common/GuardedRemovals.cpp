#include "GuardedRemovals.h"

#include <new>
#include <vector>

#include "FileActs.h"
#include "Paths.h"
#include "Text.h"

namespace norvale {
namespace {


std::wstring FolderRefusal(const std::wstring& folder, const IFinalPaths& finalPaths,
                           const IProfileList& profiles) {
  const std::wstring refusal =
      DeleteRefusal(folder, DeleteKind::SinglePath, finalPaths, profiles);
  if (!refusal.empty()) return refusal;
  return FitsPlainPathCalls(Trim(folder), true) ? L"" : ReasonText(Reason::PathTooLong);
}

// The guard's verdict on path as a step's refusal; nothing when it agrees.
std::optional<StepError> GuardRefusal(const std::wstring& refusal, const std::wstring& path) {
  if (refusal.empty()) return std::nullopt;
  return StepError::Refusal(ERROR_ACCESS_DENIED, path, Reason::Described, refusal);
}

// Not done now: what opened is not what was judged, which another try may
// find as it was.
StepError ForNow(DWORD code, const std::wstring& path, Reason reason) {
  return StepError::ForNow(code, path, reason);
}

// Why what a handle opened without following a link may not go: where it
// lies is judged (a folder above swapped for a junction after the name was
// judged leads the handle elsewhere, a link included), and what is no link
// must lie where its name is listed (Wine opens a link made on the host as
// its target even when asked not to). Nothing when it may go.
std::optional<StepError> LiesRefusal(const HandleFacts& facts, const std::wstring& full,
                                     const IFinalPaths& finalPaths, const IProfileList& profiles,
                                     bool folder) {
  const std::wstring refusal =
      folder ? FolderRefusal(facts.lies, finalPaths, profiles)
             : DeleteRefusal(facts.lies, DeleteKind::SinglePath, finalPaths, profiles);
  if (!refusal.empty()) return GuardRefusal(refusal, full);
  // A link's handle lies where the link is; what it leads to is never reached.
  if (IsLinkAttributes(facts.attributes)) return std::nullopt;
  const std::wstring listed = ResolvedPath(full, finalPaths);
  if (listed.empty() || !SamePath(listed, facts.lies)) {
    if (folder) return ForNow(ERROR_ACCESS_DENIED, full, Reason::FolderOpensElsewhere);
    return StepError::Refusal(ERROR_ACCESS_DENIED, full, Reason::LinkToFileElsewhere);
  }
  return std::nullopt;
}

// Deleting through a handle, as a step's result.
StepDone Disposed(HANDLE handle, bool evenReadOnly, const std::wstring& path) {
  StepDone disposed = DisposeOf(handle, evenReadOnly);
  if (disposed) return disposed;
  return disposed.Error().At(path);
}

class NoEvents final : public ITreeRemovalEvents {};

}  // namespace

RemovalRoot RemovalRoot::Open(const std::wstring& folder, Kind kind,
                              const IFinalPaths& finalPaths, const IProfileList& profiles) {
  RemovalRoot root;
  try {
    root.refusal_ = GuardRefusal(FolderRefusal(folder, finalPaths, profiles), folder);
    if (root.refusal_) return root;
    root.path_ = FullPath(folder);
    // Asked for deleting from the start when the folder is to go, so that
    // it is never opened again by its name; one that is someone's current
    // folder, or whose list keeps deletes out, is still emptied.
    StepResult<FileHandle> opened = StepError::Of(ERROR_ACCESS_DENIED, root.path_);
    if (kind == Kind::Tree) {
      opened = OpenByPath(root.path_, kListingAccess | DELETE, kRemovalSharing, EntryType::Any);
      root.deletable_ = static_cast<bool>(opened);
    }
    if (!opened) opened = OpenByPath(root.path_, kListingAccess, kRemovalSharing, EntryType::Any);
    if (!opened) {
      const StepError& error = opened.Error();
      root.refusal_ = error.Missing()
                          ? StepError::Refusal(error.code, root.path_, Reason::NoSuchFolder)
                          : ForNow(error.code, root.path_, Reason::FolderCannotBeOpened);
      return root;
    }
    root.handle_ = std::move(*opened);
    if (!finalPaths.FactsOf(root.handle_.Get(), root.facts_)) {
      root.refusal_ = StepError::Refusal(ERROR_ACCESS_DENIED, root.path_,
                                         Reason::FolderCannotBeJudged);
    } else if (!(root.facts_.attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      root.refusal_ = StepError::Refusal(ERROR_DIRECTORY, root.path_, Reason::NoSuchFolder);
    } else if (IsLinkAttributes(root.facts_.attributes)) {
      // Whatever it leads to is never entered; the link itself must lie
      // where a removal may reach.
      root.refusal_ =
          kind == Kind::Contents
              ? StepError::Refusal(kErrorLinkOnTheWay, root.path_, Reason::FolderIsLink)
              : LiesRefusal(root.facts_, root.path_, finalPaths, profiles, true);
      root.isLink_ = true;
    } else {
      root.refusal_ = LiesRefusal(root.facts_, root.path_, finalPaths, profiles, true);
    }
    if (!root.refusal_) root.identity_ = IdentityOf(root.handle_.Get());
    if (!root.refusal_ && !root.identity_) {
      root.refusal_ =
          StepError::Refusal(ERROR_ACCESS_DENIED, root.path_, Reason::FolderCannotBeJudged);
    }
  } catch (const std::bad_alloc&) {
    root.refusal_ = StepError::OutOfMemory(folder);
  }
  if (root.refusal_) root.handle_.Reset();
  return root;
}

bool RemovalRoot::HoldAgain() {
  if (handle_) return true;
  if (refusal_) return false;
  // Let go for a delete that failed: what opens under the name now must be
  // the folder that was judged.
  StepResult<FileHandle> again =
      OpenAgain(handle_, nullptr, path_, kListingAccess | (deletable_ ? DELETE : 0),
                kRemovalSharing, EntryType::Any, {identity_});
  if (!again) {
    refusal_ = ForNow(again.Error().code, path_, Reason::FolderChanged);
    return false;
  }
  handle_ = std::move(*again);
  return true;
}

StepDone RemovalRoot::HoldForListingOnly() {
  if (refusal_) return *refusal_;
  if (handle_ && !deletable_) return {};
  deletable_ = false;
  StepResult<FileHandle> again = OpenAgain(handle_, nullptr, path_, kListingAccess,
                                           kRemovalSharing, EntryType::Any, {identity_});
  if (!again) {
    const StepError error = again.Error().At(path_);
    HoldAgain();
    return error;
  }
  handle_ = std::move(*again);
  return {};
}

TreeRemovalResult RemovalRoot::RemoveContents(ITreeRemovalEvents& events) {
  TreeRemovalResult result;
  if (!HoldAgain()) {
    if (refusal_) result.Note(*refusal_);
    return result;
  }
  if (isLink_) return result;
  return RemoveContentsOf(handle_.Get(), path_, events);
}

StepDone RemovalRoot::Remove() {
  try {
    if (refusal_) return *refusal_;
    StepDone disposed = StepError::Of(ERROR_INVALID_HANDLE, path_);
    if (handle_ && deletable_) {
      disposed = Disposed(handle_.Get(), true, path_);
    } else {
      // Held for listing only, the handle shares no deletes with a second
      // one: it goes first, and the folder reopened must be the one judged.
      const StepResult<FileHandle> deleting = OpenAgain(
          handle_, nullptr, path_, kDeletingAccess, kRemovalSharing, EntryType::Any, {identity_});
      disposed = deleting ? Disposed(deleting->Get(), true, path_) : deleting.Error().At(path_);
    }
    handle_.Reset();
    // A folder goes once its last handle closes, which another program may
    // still hold for a moment.
    if (disposed && GetFileAttributesW(path_.c_str()) == INVALID_FILE_ATTRIBUTES) return {};
    HoldAgain();
    if (disposed) return StepError::Of(ERROR_DIR_NOT_EMPTY, path_);
    return disposed;
  } catch (const std::bad_alloc&) {
    return StepError::OutOfMemory(path_);
  }
}

StepResult<RemovalBranch> RemovalBranch::Open(const RemovalRoot& root, const std::wstring& name,
                                              const std::optional<FileIdentity>& identity) {
  try {
    RemovalBranch branch;
    branch.path_ = JoinPath(root.Path(), name);
    if (!root) return *root.Refusal();
    StepResult<FileHandle> opened =
        OpenAgain(branch.handle_, root.Handle(), name, kListingAccess | DELETE, kRemovalSharing,
                  EntryType::Folder, {identity});
    if (!opened) return opened.Error().At(branch.path_);
    branch.handle_ = std::move(*opened);
    return branch;
  } catch (const std::bad_alloc&) {
    return StepError::Of(ERROR_NOT_ENOUGH_MEMORY, name);
  }
}

TreeRemovalResult RemovalBranch::RemoveContents(ITreeRemovalEvents& events) {
  return RemoveContentsOf(handle_.Get(), path_, events);
}

StepResult<std::vector<std::pair<std::wstring, FileHandle>>> RemovalBranch::HoldAlone(
    const std::vector<std::wstring>& names) const {
  std::vector<std::pair<std::wstring, FileHandle>> held;
  for (const std::wstring& name : names) {
    // Sharing nothing: a program that holds one of them, sharing deletes or
    // not, refuses this open.
    StepResult<FileHandle> file = OpenIn(handle_.Get(), name, kDeletingAccess, 0, EntryType::File);
    if (file) {
      held.emplace_back(JoinPath(path_, name), std::move(*file));
    } else if (!file.Error().Missing()) {
      return file.Error().At(JoinPath(path_, name));
    }
  }
  return held;
}

StepDone RemovalBranch::NoOtherHolds(const std::vector<std::wstring>& names) const {
  try {
    const auto held = HoldAlone(names);
    if (!held) return held.Error();
    return {};
  } catch (const std::bad_alloc&) {
    return StepError::Of(ERROR_NOT_ENOUGH_MEMORY, path_);
  }
}

StepDone RemovalBranch::MoveInto(HANDLE folder, const std::wstring& folderPath) {
  try {
    const std::wstring name = AfterLast(path_, L'\\');
    if (const StepDone moved = RenameInto(handle_.Get(), folder, name, false); !moved) {
      return moved.Error().At(path_);
    }
    path_ = JoinPath(folderPath, name);
    return {};
  } catch (const std::bad_alloc&) {
    return StepError::Of(ERROR_NOT_ENOUGH_MEMORY, path_);
  }
}

StepDone RemovalBranch::RemoveTogether(const std::vector<std::wstring>& names) {
  try {
    auto held = HoldAlone(names);
    if (!held) return held.Error();
    for (auto it = held->rbegin(); it != held->rend(); ++it) {
      if (const StepDone gone = DisposeOf(it->second.Get(), true); !gone) {
        return gone.Error().At(it->first);
      }
    }
    return {};
  } catch (const std::bad_alloc&) {
    return StepError::Of(ERROR_NOT_ENOUGH_MEMORY, path_);
  }
}

StepDone RemovalBranch::Remove() {
  const StepDone disposed = DisposeOf(handle_.Get(), true);
  handle_.Reset();
  if (!disposed) return disposed.Error().At(path_);
  return {};
}

StepDone DeleteTree(const std::wstring& folder, const IFinalPaths& finalPaths) {
  NoEvents events;
  return DeleteTree(folder, finalPaths, events);
}

StepDone DeleteTree(const std::wstring& folder, const IFinalPaths& finalPaths,
                    ITreeRemovalEvents& events) {
  try {
    RemovalRoot root = RemovalRoot::Open(folder, RemovalRoot::Kind::Tree, finalPaths);
    if (!root) return *root.Refusal();
    const TreeRemovalResult below = root.RemoveContents(events);
    if (!below.Complete()) {
      return below.first.value_or(StepError::Refusal(ERROR_DIR_NOT_EMPTY, root.Path(),
                                                     Reason::NotRemovedCompletely));
    }
    return root.Remove();
  } catch (const std::bad_alloc&) {
    return StepError::OutOfMemory(folder);
  }
}

TreeRemovalResult EmptyGuardedFolder(const std::wstring& folder, ITreeRemovalEvents& events,
                                     const IFinalPaths& finalPaths) {
  try {
    RemovalRoot root = RemovalRoot::Open(folder, RemovalRoot::Kind::Contents, finalPaths);
    if (root) return root.RemoveContents(events);
    TreeRemovalResult left;
    left.Note(*root.Refusal());
    return left;
  } catch (const std::bad_alloc&) {
    TreeRemovalResult left;
    left.Note(StepError::OutOfMemory(folder));
    return left;
  }
}

StepDone DeleteGuardedFile(const std::wstring& path, bool evenReadOnly,
                           const IFinalPaths& finalPaths) {
  try {
    if (const auto refused =
            GuardRefusal(DeleteRefusal(path, DeleteKind::SinglePath, finalPaths), path)) {
      return *refused;
    }
    const std::wstring full = FullPath(path);
    // Opened as itself: a link is deleted as a link, and a folder does not
    // open at all, as deleting a file by its name answers.
    const StepResult<FileHandle> file =
        OpenByPath(full, kDeletingAccess, kShareAll, EntryType::File);
    if (!file) return file.Error();
    HandleFacts facts;
    if (!finalPaths.FactsOf(file->Get(), facts)) {
      return StepError::Refusal(ERROR_ACCESS_DENIED, full, Reason::FileCannotBeJudged);
    }
    if (const auto refused = LiesRefusal(facts, full, finalPaths, SystemProfileList(), false)) {
      return *refused;
    }
    return Disposed(file->Get(), evenReadOnly, full);
  } catch (const std::bad_alloc&) {
    return StepError::OutOfMemory(path);
  }
}

StepDone DeleteGuardedFileIn(HANDLE folder, const std::wstring& folderLies,
                             const std::wstring& name, bool evenReadOnly,
                             const IFinalPaths& finalPaths) {
  try {
    const std::wstring lies = EntryPath(folderLies, name);
    if (const auto refused =
            GuardRefusal(DeleteRefusal(lies, DeleteKind::SinglePath, finalPaths), lies)) {
      return *refused;
    }
    const StepResult<FileHandle> file =
        OpenIn(folder, name, kDeletingAccess, kShareAll, EntryType::File);
    if (!file) return file.Error().At(lies);
    return Disposed(file->Get(), evenReadOnly, lies);
  } catch (const std::bad_alloc&) {
    return StepError::OutOfMemory(name);
  }
}

StepDone RemoveGuardedFolder(const std::wstring& folder) {
  try {
    const SystemFinalPaths finalPaths;
    if (const auto refused =
            GuardRefusal(FolderRefusal(folder, finalPaths, SystemProfileList()), folder)) {
      return *refused;
    }
    const std::wstring full = FullPath(folder);
    StepResult<FileHandle> handle =
        OpenByPath(full, kDeletingAccess, kShareAll, EntryType::Folder);
    if (!handle) return handle.Error();
    HandleFacts facts;
    if (!finalPaths.FactsOf(handle->Get(), facts)) return StepError::Last(full);
    if (const auto refused = LiesRefusal(facts, full, finalPaths, SystemProfileList(), true)) {
      return *refused;
    }
    const StepDone deleted = Disposed(handle->Get(), false, full);
    handle->Reset();
    if (!deleted) return deleted;
    // Some systems refuse a folder that is not empty only once it closes.
    if (GetFileAttributesW(full.c_str()) != INVALID_FILE_ATTRIBUTES) {
      return StepError::Of(ERROR_DIR_NOT_EMPTY, full);
    }
    return {};
  } catch (const std::bad_alloc&) {
    return StepError::OutOfMemory(folder);
  }
}

StepDone RemoveHeldOwnFolder(FileHandle& folder, const std::wstring& path) {
  try {
    const std::optional<DWORD> attributes = AttributesOf(folder.Get());
    if (!attributes) return StepError::Last(path);
    if (!(*attributes & FILE_ATTRIBUTE_DIRECTORY) || IsLinkAttributes(*attributes)) {
      return StepError::Refusal(ERROR_DIRECTORY, path, Reason::NoSuchFolder);
    }
    NoEvents events;
    const TreeRemovalResult below = RemoveContentsOf(folder.Get(), path, events);
    if (!below.Complete()) return below.first.value_or(StepError::Of(ERROR_DIR_NOT_EMPTY, path));
    if (DisposeOf(folder.Get(), true)) {
      folder.Reset();
      return {};
    }
    // Held without DELETE (a rename into it has to be admitted), it is
    // opened again by its name once let go, and must be the one emptied.
    const std::optional<FileIdentity> identity = IdentityOf(folder.Get());
    if (!identity) return StepError::Last(path);
    const std::wstring lies = FinalPathOfHandle(folder.Get());
    if (lies.empty()) return StepError::Last(path);
    const StepResult<FileHandle> deleting =
        OpenAgain(folder, nullptr, lies, kDeletingAccess, kShareAll, EntryType::Folder, {identity});
    if (!deleting) return deleting.Error().At(path);
    return Disposed(deleting->Get(), true, path);
  } catch (const std::bad_alloc&) {
    return StepError::OutOfMemory(path);
  }
}

StepDone RemoveListedFolder(HANDLE parent, const std::wstring& parentPath,
                            const std::wstring& name) {
  try {
    const std::wstring path = JoinPath(parentPath, name);
    if (const auto refused = GuardRefusal(
            FolderRefusal(EntryPath(parentPath, name), SystemFinalPaths(), SystemProfileList()),
            path)) {
      return *refused;
    }
    StepResult<HeldEntry> folder =
        OpenListedIn(parent, parentPath, name, kListingAccess, kRemovalSharing, EntryType::Folder);
    if (!folder) return folder.Error();
    const std::optional<FileIdentity> identity = IdentityOf(folder->handle.Get());
    if (!identity) return StepError::Last(path);
    NoEvents events;
    const TreeRemovalResult below = RemoveContentsOf(folder->handle.Get(), path, events);
    if (!below.Complete()) return below.first.value_or(StepError::Of(ERROR_DIR_NOT_EMPTY, path));
    // The listing handle shares no deletes: it goes first, and what opens
    // under the name then must be the folder that was emptied.
    const StepResult<FileHandle> deleting = OpenAgain(
        folder->handle, parent, name, kDeletingAccess, kRemovalSharing, EntryType::Folder,
        {identity});
    if (!deleting) return deleting.Error().At(path);
    return Disposed(deleting->Get(), false, path);
  } catch (const std::bad_alloc&) {
    return StepError::OutOfMemory(name);
  }
}

}  // namespace norvale
