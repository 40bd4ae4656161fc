#pragma once
// Removing a tree that other users may change while it goes. The programs
// run as administrator over folders every user may write to, so a name
// checked a moment ago may by now be a link to someone's documents. Each
// folder is therefore opened relative to its already open parent, without
// following a link, and held open, not shared for deleting, while what it
// holds goes, so that nobody can rename it away meanwhile. What an entry is
// comes from the handle it was opened with, never from the listing, and it
// is deleted through that same handle. A link is removed as itself; an entry
// that opens elsewhere than where its folder lists it (Wine follows a link
// made on the host even when asked not to) is left alone.
//
// Only the delete guard walks trees: it judges the root first and hands the
// walk an open handle (DeleteGuard.h).
#include <windows.h>

#include <string>

#include "Handles.h"
#include "Seams.h"

namespace norvale {

// What becomes of one entry a folder holds.
enum class EntryChoice {
  Remove,     // with everything below it
  Keep,       // untouched, and everything below it
  EmptyOnly,  // a folder: what it holds is asked about, the folder stays
};

// What the caller of a walk decides and hears. Nothing thrown here leaves
// the walk: a failing call counts as the default answer.
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
  // Something stays that another try may remove (held open, not yet empty).
  bool retryable = false;
  // Something stays for good: it opened elsewhere than where it is listed.
  bool refused = false;
  bool Complete() const { return !retryable && !refused; }
};

// The access and sharing every folder of a walk is held with.
constexpr DWORD kRemovalAccess =
    DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | FILE_LIST_DIRECTORY | SYNCHRONIZE;
constexpr DWORD kRemovalSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;

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
  std::wstring openedPath;     // FinalPathOfHandle (Paths.h)
  std::wstring expectedPath;   // the folder's own opened path and the name
};

// folderMoved answers, by name, whether the entry's folder no longer lies
// where it was opened; it is asked only about a file that opened elsewhere.
EntryVerdict JudgeOpenedEntry(const OpenedEntry& entry, bool (*folderMoved)(const std::wstring&));

// Removes everything `folder` holds (an open handle with kRemovalAccess),
// asking `events` about each entry. `path` names the folder for the events;
// `openedPath` is FinalPathOfHandle(folder), against which each entry is checked.
// `byName`, when not null, is also asked where each file opens by its
// name: a test answers there as another system would.
TreeRemovalResult RemoveContentsOf(HANDLE folder, const std::wstring& path,
                                   const std::wstring& openedPath, ITreeRemovalEvents& events,
                                   const IFinalPaths* byName = nullptr);

// Deletes an open file, folder or link through its handle; a read-only file
// or folder too, a link without touching its marks. The system's error when
// it fails.
bool DeleteThroughHandle(HANDLE handle);

}  // namespace norvale
