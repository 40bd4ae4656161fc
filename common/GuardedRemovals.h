#pragma once
// The delete guard's acts that work through handles: where a removal
// starts and how it is judged once it is open (the acts themselves are
// FileActs.h's). The verdicts on paths stay in
// DeleteGuard.h; what a path is refused for is asked there.
#include <windows.h>

#include <string>
#include <vector>

#include "DeleteGuard.h"
#include "FileActs.h"
#include "Handles.h"
#include "TreeRemoval.h"

namespace norvale {

// A folder a removal starts from. Judged by its name, then opened without
// following a link, and judged again where its handle lies: a folder above
// it that was swapped for a junction after the name was judged leads the
// handle elsewhere, and that place is what counts. Held, not shared for
// deleting, from the moment it is opened, so that nobody can rename it away
// while it is handled.
class RemovalRoot {
 public:
  enum class Kind {
    // The folder goes too; a link there is removed as a link.
    Tree,
    // Only what it holds goes; a link there is refused.
    Contents,
  };

  static RemovalRoot Open(const std::wstring& folder, Kind kind,
                          const IFinalPaths& finalPaths = SystemFinalPaths(),
                          const IProfileList& profiles = SystemProfileList());

  RemovalRoot(RemovalRoot&&) = default;
  RemovalRoot& operator=(RemovalRoot&&) = default;

  // Nothing when the folder was opened and may be removed; otherwise why
  // not: refused only for now (Transient) when what opened is not what was
  // judged, which another try may find as it was.
  const std::optional<StepError>& Refusal() const { return refusal_; }
  bool RefusedForNow() const {
    return refusal_ && refusal_->kind == StepError::Kind::Transient;
  }
  explicit operator bool() const { return !refusal_; }
  bool IsLink() const { return isLink_; }
  // The folder's handle, held for listing; its name in full form; what the
  // handle said when it was opened.
  HANDLE Handle() const { return handle_.Get(); }
  const std::wstring& Path() const { return path_; }
  const HandleFacts& Facts() const { return facts_; }

  // Removes what the folder holds (nothing is entered through a link).
  TreeRemovalResult RemoveContents(ITreeRemovalEvents& events);
  // Holds the folder for listing alone from now on, without DELETE, so that
  // Windows' own open of a rename's target admits a rename back into it.
  // Done when it is held so, still the folder judged.
  StepDone HoldForListingOnly();
  // Removes the folder itself once it is empty (a link as a link) and lets
  // it go; done when it is gone. A folder that could not be removed is held
  // again for another try, when it is still the same one.
  StepDone Remove();

 private:
  RemovalRoot() = default;
  bool HoldAgain();

  FileHandle handle_;
  bool deletable_ = false;
  bool isLink_ = false;
  std::wstring path_;
  std::optional<StepError> refusal_;
  HandleFacts facts_;
  // Which folder was judged: its volume and number, whatever it is named.
  std::optional<FileIdentity> identity_;
};

// A folder of a removal root, held for its own removal with DELETE from the
// moment it is opened (nobody can make it their current folder, or hold it
// against its delete, meanwhile; Windows' own open of a rename's target is
// refused while it is held) and removed through that handle.
class RemovalBranch {
 public:
  // The folder `name` of the root, opened as itself, when it is still the
  // folder `identity` names.
  static StepResult<RemovalBranch> Open(const RemovalRoot& root, const std::wstring& name,
                                        const std::optional<FileIdentity>& identity);
  RemovalBranch(RemovalBranch&&) = default;
  RemovalBranch& operator=(RemovalBranch&&) = default;

  // Where it lies now: in the root it was opened in, or where it moved.
  const std::wstring& Path() const { return path_; }
  HANDLE Handle() const { return handle_.Get(); }
  // Removes what the folder holds, as a removal root's contents go.
  TreeRemovalResult RemoveContents(ITreeRemovalEvents& events);
  // The files `names` of the folder (those there), each held for its
  // delete before the first goes, then deleted from the last to the first:
  // held by anyone else, none of them goes.
  StepDone RemoveTogether(const std::vector<std::wstring>& names);
  // Done when nobody else holds any of the files `names` (those there): a
  // folder with a file open below it cannot be renamed on Windows.
  StepDone NoOtherHolds(const std::vector<std::wstring>& names) const;
  // Moves the folder, with what it holds and under its own name, into the
  // open `folder` lying at `folderPath` (one that admits Windows' open of a
  // rename's target).
  StepDone MoveInto(HANDLE folder, const std::wstring& folderPath);
  // The folder itself, once it is empty; the handle goes with it.
  StepDone Remove();

 private:
  RemovalBranch() = default;
  // The files `names`, each held alone for its delete.
  StepResult<std::vector<std::pair<std::wstring, FileHandle>>> HoldAlone(
      const std::vector<std::wstring>& names) const;
  FileHandle handle_;
  std::wstring path_;
};

// Deletes the file `name` of the open folder `folder`, which was judged to
// lie at `folderLies`, once the guard agreed to where the file lies: opened
// inside that folder as itself (a link is deleted as a link), so that a
// folder swapped since its judging is never reached. The guard's verdict or
// the system's error when it stays.
StepDone DeleteGuardedFileIn(HANDLE folder, const std::wstring& folderLies,
                             const std::wstring& name, bool evenReadOnly = false,
                             const IFinalPaths& finalPaths = SystemFinalPaths());

// Removes a folder a run made for itself, closed to other users, and has
// held since (opened for listing, without following a link, sharing no
// deletes), with what it holds; `path` names it. For a private folder where
// removals by name are refused, such as the Windows folder's TEMP: what is
// in it is what the run put there. The handle goes: the folder's own delete
// needs DELETE, which a second handle beside it would not get. What opens
// under its name afterwards must be the folder that was emptied.
StepDone RemoveHeldOwnFolder(FileHandle& folder, const std::wstring& path);

// Removes the folder `name` of the open folder `parent` (which lies at
// `parentPath`, as FinalPathOfHandle says) with what it holds, reached from
// the parent's handle alone: judged where it lies, no link, and the folder
// that was emptied is the one that goes. The first thing that stayed, and
// why, when it or something in it stays.
StepDone RemoveListedFolder(HANDLE parent, const std::wstring& parentPath,
                            const std::wstring& name);

}  // namespace norvale
