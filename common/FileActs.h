#pragma once
// Every act the programs do on the file system relative to a folder they
// hold: opening a name inside it as itself (a link is never followed),
// making a new name there, walking down a path one part at a time, renaming
// into a folder, deleting through a handle, listing through a handle and
// telling which file a handle holds. An elevated program writes and deletes
// where other users may rename folders and put links in their place: a name
// looked at a moment ago may lead elsewhere now, a folder held open stays
// the folder it was. Each act asks only the rights and the sharing its step
// needs, and a failed step says why in one form (StepError).
//
// The acts call the system through one table (FileCalls.h). Windows makes
// opens of its own around some acts that Wine leaves out (a rename opens its
// target folder once more); under Wine the table keeps those rules over the
// system's calls (WindowsRules.h), so that a handle held with the wrong
// rights fails a test under Wine as it would fail the program on Windows.
//
// The words this code uses in its own sense:
// - held: open through a handle of ours, kept open while the step runs;
//   whoever holds a folder without sharing deletes keeps it from being
//   renamed or deleted, so a held folder stays the folder it was (HeldEntry).
// - lies: where a handle's file or folder is, as the system says for the
//   handle (FinalPathOfHandle's form), as against the name it was opened by;
//   "lies below" a folder by some name of each (Paths.h: PlaceIsBelow).
// - listed: what a folder's listing names; an entry "opens elsewhere" when
//   what opens under a listed name lies anywhere but where the folder lists
//   it (a link the system followed all the same).
// - judged: checked by the delete guard (DeleteGuard.h): by name first, then
//   again where its handle lies once it is open.
// - the way: the folders from a drive's root down to a path, each opened
//   from the one above without following a link (WalkDown).
// - list: a file's or folder's access list (its security descriptor);
//   listing: what a folder holds (ListIn).
// - marks: a file's attributes (read-only, hidden); passes down: what a
//   folder's list gives what is made in it; born closed: made with a list
//   under which only administrators may change it, from its first moment,
//   and given its final list once it holds what it must.
// - arrival: a file the install run wrote whole and put in place, known by
//   its identity and its bytes' SHA-256 until the run uses it (InstallTree);
//   vouched: opened again exactly as it arrived.
// - refused for good / for now: a step another try meets the same way, or
//   one another try may find changed (StepError::Kind).
// - another system: one whose rules differ from the system the program runs
//   on; the file calls (FileCalls.h) are the layer where they are kept.
// - the run: one start of the installer or the uninstaller.
#include <windows.h>

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Handles.h"
#include "StepError.h"
#include "FileCalls.h"

namespace norvale {

// What an open must find under the name.
enum class EntryType { Any, File, Folder };

// Which file or folder an open handle holds (Handles.h: FileIdentity).
std::optional<FileIdentity> IdentityOf(HANDLE file);
// The number alone, which names the file among those of one volume: cheap
// to ask for every entry of a walk, whose entries on another volume are
// links it never enters.
std::optional<ULONGLONG> IndexOf(HANDLE file);

// The attributes an open handle has, as FileAttributeTagInfo gives them
// (a link's own, never those of what it leads to).
std::optional<DWORD> AttributesOf(HANDLE file);
inline bool IsLinkAttributes(DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// One name that a folder can hold: not empty, at most 255 characters, no
// separator, colon or wildcard, not "." or "..".
bool IsSinglePart(std::wstring_view name);

// A folder name nobody can have prepared: prefix and a new GUID's digits
// (another run at the same time, or a program of the user that planted a
// folder, gets its own). Empty when no GUID could be had.
std::wstring UniqueFolderName(const std::wstring& prefix);

// The existing entry `name` of the open `folder` (an empty name: that folder
// itself once more), opened as itself: a link in the name's place is opened
// as the link. An entry deleted meanwhile but still open somewhere counts
// as missing.
StepResult<FileHandle> OpenIn(HANDLE folder, std::wstring_view name, ACCESS_MASK access,
                              DWORD share, EntryType type);

// The same for what a folder listed a moment ago: a name gone since
// (deleted or renamed away, nor the folder it was in) is no error but
// nothing, which is what a removal wants.
StepResult<std::optional<FileHandle>> OpenIfStillIn(HANDLE folder, std::wstring_view name,
                                                    ACCESS_MASK access, DWORD share,
                                                    EntryType type);

// What a file or folder opened again must be: the one `identity` names, or,
// where the caller knows only the number its volume gives it (a walk), the
// one with that number.
struct SameEntry {
  std::optional<FileIdentity> identity = std::nullopt;
  std::optional<ULONGLONG> index = std::nullopt;
  bool Is(HANDLE handle) const;
};

// Lets `held` go (a handle that shares no deletes would refuse a second
// one) and opens the same file or folder again with `access`: the entry
// `name` of the open `folder`, or with no folder the absolute path `name`.
// What opens must be `same`; another under that name is refused for now
// (ERROR_RETRY, Reason::FolderChanged), which another try may find as it
// was. The error names `name`.
StepResult<FileHandle> OpenAgain(FileHandle& held, HANDLE folder, const std::wstring& name,
                                 ACCESS_MASK access, DWORD share, EntryType type,
                                 const SameEntry& same);

// The same as OpenIn, following a link in the name's place to where it leads: only
// for a link an administrator stands behind.
StepResult<FileHandle> OpenThroughLinkIn(HANDLE folder, std::wstring_view name,
                                         ACCESS_MASK access, DWORD share, EntryType type);

// A new entry `name` in the open `folder`, never one that exists
// (ERROR_ALREADY_EXISTS for a folder, ERROR_FILE_EXISTS for a file), with
// `descriptor` as its list in the same call (null: what the folder passes
// down).
StepResult<FileHandle> CreateIn(HANDLE folder, std::wstring_view name, ACCESS_MASK access,
                                DWORD share, EntryType type,
                                PSECURITY_DESCRIPTOR descriptor = nullptr);

// What `folder` holds under `name`: nothing, a file, a folder, or a link.
enum class EntryKind { kMissing, kFile, kFolder, kLink, kUnknown };
EntryKind KindIn(HANDLE folder, const std::wstring& name);

// An existing file or folder by its absolute path, the last part opened as
// itself (the folders on the way as the system follows them).
StepResult<FileHandle> OpenByPath(const std::wstring& path, ACCESS_MASK access, DWORD share,
                                  EntryType type);


// What `folder` (lying at `folderPath`) lists as `name`, opened as itself
// and only where the folder lists it: a link there, or one that opening
// followed all the same, is refused with kErrorLinkOnTheWay. `path` of the
// result is where it lies.
StepResult<HeldEntry> OpenListedIn(HANDLE folder, const std::wstring& folderPath,
                                    const std::wstring& name, ACCESS_MASK access, DWORD share,
                                    EntryType type);

// Where an open file or folder lies, in FinalPathOfHandle's form. Past the
// length that form is given for (Wine: 260 characters), the name the volume
// knows it by after `volume` (VolumeOf). Empty when it cannot be asked.
std::wstring WhereItLies(HANDLE handle, const std::wstring& volume = L"");
// The part of where an open folder lies before its name on the volume
// ("C:", "\\host\share"); empty when the two do not agree.
std::wstring VolumeOf(HANDLE folder, const std::wstring& lies);

// How the walk down a path reaches each part. The walk holds the part it
// came from while the next is opened, so nobody can rename the way away.
class IPathSteps {
 public:
  virtual ~IPathSteps() = default;
  // The part `name` inside `parent`; last: the path's own folder.
  virtual StepResult<HeldEntry> Step(const HeldEntry& parent, const std::wstring& name,
                                      bool last) = 0;
};

// Opens each existing part as OpenListedIn does, folders on the way with
// FILE_TRAVERSE and the last one with `access`, every one shared.
class ExistingFolders final : public IPathSteps {
 public:
  explicit ExistingFolders(ACCESS_MASK access) : access_(access) {}
  StepResult<HeldEntry> Step(const HeldEntry& parent, const std::wstring& name,
                              bool last) override;

 private:
  ACCESS_MASK access_;
};

// Walks from `start` down the parts of `below` ("a\b", empty for `start`
// itself), each reached by `steps`.
StepResult<HeldEntry> WalkDown(HeldEntry start, std::wstring_view below, IPathSteps& steps);
// The same from a folder the caller keeps; `below` names at least one part.
// With `way`, the folders between `start` and the last part stay held
// there, in their order, for a caller that keeps the whole way held.
StepResult<HeldEntry> WalkDownFrom(const HeldEntry& start, std::wstring_view below,
                                    IPathSteps& steps, std::vector<FileHandle>* way = nullptr);

// The names a file written whole beside `name`, in the folder lying at
// `folder`, is tried under before it takes that name: "name.nvpart" first,
// then names of its own ("~1a2b3c4d.nvpart", shortened where the path would
// not fit the plain file calls), one for each try. Another run, or a file a
// user put there first, has the one before.
class PartFileNames {
 public:
  static constexpr int kTries = 32;
  PartFileNames(std::wstring folder, std::wstring name);
  // The name for the next try; empty when the tries are used up or no name
  // fits.
  std::wstring Next();

 private:
  std::wstring folder_, name_;
  ULONGLONG seed_;
  int tries_ = 0;
};

// The root of an absolute drive path's drive, checked to be that root, with
// `access` and every kind of sharing.
StepResult<HeldEntry> OpenDriveRoot(const std::wstring& path, ACCESS_MASK access);

// The parts of a drive-absolute path below its drive's root, as the folders
// list them (8.3 aliases expanded where the path exists); nothing for a
// relative or share path.
std::optional<std::wstring> ListedPartsBelowRoot(const std::wstring& path);

// The folder at an absolute drive path, opened from the drive's root one part
// at a time by `steps` (existing folders, none a link, each where its folder
// lists it, when not given).
StepResult<HeldEntry> OpenFolderFromRoot(const std::wstring& path, ACCESS_MASK access);
StepResult<HeldEntry> OpenFolderFromRoot(const std::wstring& path, ACCESS_MASK rootAccess,
                                          IPathSteps& steps);

// Gives the file or folder behind `entry` (opened with DELETE) the name
// `name` inside the open `folder`, replacing a file of that name only when
// replace. The folder is opened once more for the rename as Windows opens a
// rename's target: a handle of ours on it that holds DELETE, or does not
// share writing, makes the rename fail with a sharing violation.
StepDone RenameInto(HANDLE entry, HANDLE folder, const std::wstring& name, bool replace);
// The same with the target named by its absolute path.
StepDone RenameTo(HANDLE entry, const std::wstring& target, bool replace);
// Gives entry the name `name` inside folder whatever file has it, one that is
// read-only or that a program (a scanner) holds sharing deletes included:
// POSIX semantics, the mark ignored, where the system has them (Windows 10
// 1809 on); elsewhere as RenameInto replacing. A folder in the name's place
// stays, and so does a file a handle holds without sharing deletes.
StepDone ReplaceInto(HANDLE entry, HANDLE folder, const std::wstring& name);

// Deletes an open file, folder or link through its handle (DELETE and
// FILE_READ_ATTRIBUTES suffice): where the system has it, so that the name
// goes at once (POSIX semantics); a read-only one too when evenReadOnly
// (its mark cleared first where the system needs that), a link without
// touching its marks. across, when given, is what earlier deletes of the
// same removal learnt. A read-only file with other names stays (clearing
// its mark would clear theirs; Refused), and so does a file a running
// program has mapped (Transient): the error names no path, which the caller
// knows.
StepDone DisposeOf(HANDLE handle, bool evenReadOnly, Disposals* across = nullptr,
                   const KnownOfIt& known = {});

// One entry an open folder lists.
struct ListedEntry {
  std::wstring name;
  DWORD attributes;  // as listed: a hint for what to report, never for what to do
  // The number the volume knows it by when it was listed (0: not told): what
  // opens under the name later must be that one, or the name changed hands.
  ULONGLONG index = 0;
};

// What an open folder (held with FILE_LIST_DIRECTORY) holds, read through its
// handle, whole before anything in it goes; "." and ".." left out. buffer
// is kept from folder to folder by a caller that lists many.
StepDone ListIn(HANDLE folder, std::vector<ListedEntry>& entries,
                std::vector<LONGLONG>& buffer);

}  // namespace norvale
