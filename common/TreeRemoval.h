#pragma once
// Removing a tree that other users may change while it goes. The programs
// run as administrator over folders every user may write to, so a name
// checked a moment ago may by now be a link to someone's documents. Each
// entry is therefore opened relative to its already open folder, without
// following a link, and each folder is held open, not shared for deleting,
// while what it holds goes, so that nobody can rename it away meanwhile.
// What an entry is comes from the handle it was opened with, never from the
// listing, and it is deleted through a handle. A link is removed as itself;
// an entry that opens elsewhere than where its folder lists it (Wine follows
// a link made on the host even when asked not to) is left alone.
//
// The walk keeps its own stack of open folders instead of calling itself
// for each level, so a chain of folders any user can nest thousands deep
// costs memory, not the thread's stack. It names nothing to the system by
// path: how long a branch's paths grow does not matter.
//
// Only the delete guard walks trees: it judges the root first and hands the
// walk an open handle (DeleteGuard.h, GuardedRemovals.h).
#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "FileActs.h"
#include "Handles.h"
#include "Seams.h"

namespace norvale {

// What becomes of one entry a folder holds.
enum class EntryChoice {
  Remove,     // with everything below it
  Keep,       // untouched, and everything below it
  EmptyOnly,  // a folder: what it holds is asked about, the folder stays
};

// What the caller of a walk decides and hears. An answer that throws ends
// the walk, which then reports that something may stay.
class ITreeRemovalEvents {
 public:
  virtual ~ITreeRemovalEvents() = default;
  // path: the folder's path as the walk was given it and the listed name.
  virtual EntryChoice Choose(const std::wstring& path) {
    (void)path;
    return EntryChoice::Remove;
  }
  // Between a folder's listing and the opening of one of its entries, the
  // moment another user's swap would hit.
  virtual void BeforeOpening(const std::wstring& path) { (void)path; }
  // After each entry, whatever became of it: a window answers here.
  virtual void Done(const std::wstring& path) { (void)path; }
};

struct TreeRemovalResult {
  // Something stays that another try may remove (held open, not yet empty,
  // not to be opened now).
  bool retryable = false;
  // Something stays for good: it opened elsewhere than where it is listed,
  // or deleting it would change another name's file.
  bool refused = false;
  // The first step that failed: what stayed and why, for the user and the
  // record.
  std::optional<StepError> first;
  bool Complete() const { return !retryable && !refused; }
  // A step failed: a refusal stays for good, anything else may go on
  // another try.
  void Note(StepError error);
  // What stayed below, as this folder's own.
  void Add(const TreeRemovalResult& below);
};

// A folder is listed with what listing needs, and held without sharing
// deletes: nobody can rename it away while what it holds goes.
constexpr DWORD kListingAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
constexpr DWORD kRemovalSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;
// An entry is deleted with DELETE alone and its marks read; Windows grants
// the reading to whoever may list its folder, so a file whose own list
// grants nothing but DELETE still goes.
constexpr DWORD kDeletingAccess = DELETE | FILE_READ_ATTRIBUTES;

// What the walk makes of an entry it opened, from what the handle says.
enum class EntryVerdict {
  RemoveAsLink,  // a link or junction: removed as itself, never entered
  Enter,         // our folder: emptied, then removed
  Remove,        // our file
  LeaveForGood,  // a link that opening followed (Wine's view of one)
  LeaveForNow,   // the tree changed since it was listed: the next try decides
};

struct OpenedEntry {
  DWORD listedAttributes = 0;  // from the folder's listing: a hint, no more
  DWORD openedAttributes = 0;  // from the handle; 0 for one opened as a file
  std::wstring openedPath;     // where the handle lies (FinalPathOfHandle's form)
  std::wstring expectedPath;   // where its folder lies, and the listed name
};

// folderMoved answers whether the entry's folder no longer lies where it
// was opened; it is asked only about a file that opened elsewhere.
EntryVerdict JudgeOpenedEntry(const OpenedEntry& entry, const std::function<bool()>& folderMoved);

// Removes everything `folder` holds (an open handle with kListingAccess),
// asking `events` about each entry. `path` names the folder for the events.
TreeRemovalResult RemoveContentsOf(HANDLE folder, const std::wstring& path,
                                   ITreeRemovalEvents& events);

}  // namespace norvale
