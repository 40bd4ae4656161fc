#pragma once
// The one decision every delete of a folder or file goes through, and the
// deletes themselves (those through handles stand in GuardedRemovals.cpp, beside
// the tree walk). An installer that deletes the wrong folder destroys
// a user's data, so a path is refused unless it is an absolute, plain path
// that lies strictly below every folder that Windows or a user profile owns,
// outside every profile of another account (whichever account runs the
// program, LocalSystem included), outside the Windows folder (its own TEMP
// and font files excepted), and not on another name for this machine's disks
// (admin shares, localhost).
// Nothing else in the code base calls DeleteFileW, RemoveDirectoryW or a
// deleting shell operation; a build check keeps it so.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "Paths.h"
#include "TreeRemoval.h"

namespace norvale {

// The user profiles Windows lists for this machine, values as stored: they
// may hold environment variables, and any of them may be blank, relative or
// worse (the registry is not ours).
struct ProfileListing {
  // The running account's own profile folder; its folders keep the rules of
  // the folders a product installs into for this user.
  std::wstring ownProfile;
  // Each listed account's ProfileImagePath.
  std::vector<std::wstring> profiles;
  // The folder holding new profiles, the profile new users are made from,
  // and the folder shared by all users.
  std::wstring profilesDirectory, defaultProfile, publicProfile;
};

// Where the guard learns which profiles there are. Tests answer as Windows
// does for accounts a test cannot run as (another user, LocalSystem).
class IProfileList {
 public:
  virtual ~IProfileList() = default;
  virtual ProfileListing List() const = 0;
};

// What this account's profile folder and the machine's profile list say (the
// key "SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList" of HKLM).
class SystemProfileList final : public IProfileList {
 public:
  ProfileListing List() const override;
};

enum class DeleteKind {
  SinglePath,        // one file or folder, no wildcards
  PatternInFolder,   // wildcards allowed in the last part only
};

// Empty when the path may be deleted; otherwise why not (for the log).
// A path that does not fit the plain file calls (FitsPlainPathCalls), or
// whose long form does not, is refused before any of them sees it. Where an
// existing path lies is asked of finalPaths, the system unless a test
// answers as another system would; which profiles there are, of profiles.
// Every profile another account owns is refused whole, whichever account
// runs the program.
std::wstring DeleteRefusal(const std::wstring& path, DeleteKind kind = DeleteKind::SinglePath,
                           const IFinalPaths& finalPaths = SystemFinalPaths(),
                           const IProfileList& profiles = SystemProfileList());
inline bool MayDelete(const std::wstring& path, DeleteKind kind = DeleteKind::SinglePath,
                      const IFinalPaths& finalPaths = SystemFinalPaths(),
                      const IProfileList& profiles = SystemProfileList()) {
  return DeleteRefusal(path, kind, finalPaths, profiles).empty();
}

// Deletes a folder with everything below it (read-only files included) after
// the guard agreed to its name and the path fits a folder, and again to
// where the folder lies once it is open (GuardedRemovals.h), through handles held
// against renames (TreeRemoval.h). A folder that is a junction or symbolic
// link is removed as a link, and so is every link inside: what they point
// to is never entered. Done when the folder is gone; otherwise the guard's
// verdict, or the first thing of the walk that stayed and why.
StepDone DeleteTree(const std::wstring& folder,
                    const IFinalPaths& finalPaths = SystemFinalPaths());
// The same, telling `events` of each entry as it goes.
StepDone DeleteTree(const std::wstring& folder, const IFinalPaths& finalPaths,
                    ITreeRemovalEvents& events);

// Removes what a folder holds after the guard agreed to the folder, by its
// name and where it lies once open, the folder itself staying; `events`
// chooses what else stays and hears of each entry. A folder that is a link
// is refused, whatever it leads to. One that opens elsewhere than where it
// is listed is not touched (then retryable). The result's first error says
// what stayed, and why.
TreeRemovalResult EmptyGuardedFolder(const std::wstring& folder, ITreeRemovalEvents& events,
                                     const IFinalPaths& finalPaths = SystemFinalPaths());

// Deletes one file after the guard agreed, through a handle opened without
// following a link, once the guard agreed as well to where that handle
// lies; a read-only one only when asked, and never one whose read-only mark
// another name of the file shares. A link is deleted as itself. A refusal
// carries ERROR_ACCESS_DENIED and the guard's verdict; a failed delete the
// system's error.
StepDone DeleteGuardedFile(const std::wstring& path, bool evenReadOnly = false,
                           const IFinalPaths& finalPaths = SystemFinalPaths());

// Removes one empty folder after the guard agreed and the path fits a
// folder, through a handle judged as DeleteTree judges its folder; a link
// is removed as a link (errors as above).
StepDone RemoveGuardedFolder(const std::wstring& folder);

// Moves a finished file over an older one: replacing deletes the older one,
// so the target goes through the guard first (errors as above).
StepDone ReplaceGuardedFile(const std::wstring& from, const std::wstring& to);

// Why one of a shell operation's NUL-separated sources may not be taken
// away: a delete, a move and a rename all remove the source from where it
// was. Empty when the operation may run.
std::wstring ShellOperationRefusal(UINT operation, const std::wstring& sources);

// Runs a shell file operation after ShellOperationRefusal agreed; a refused
// one returns ERROR_ACCESS_DENIED without touching anything.
int GuardedShellOperation(SHFILEOPSTRUCTW& operation);

// Takes away a file that this program created itself as a new file
// (CREATE_NEW) and still holds, opened with DELETE access: through the
// handle, so that whatever another user put under its name meanwhile stays.
// The file goes when the last handle closes; the system's error when it
// refused.
StepDone DiscardCreatedFile(HANDLE file);

// Gives the file behind file (opened with DELETE access) the absolute path
// to, in the same folder, through the handle. A file already at to is
// replaced only when replace is set and the guard agrees to its delete;
// errors as for DeleteGuardedFile.
StepDone PlaceCreatedFile(HANDLE file, const std::wstring& to, bool replace);

}  // namespace norvale
