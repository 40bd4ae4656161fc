#pragma once
// Who may change the folders whose contents an elevated program later runs
// or trusts. Install folders below C:\ and the user's TEMP are writable by
// people other than the administrator who runs us, so what an elevated run
// keeps there gets a list of its own, built here and nowhere else: the
// uninstaller's folder "Uninst", the folder of the uninstaller's command
// file, and the install folder with the folders on the way to it, which
// nobody else may rename or delete (or the Uninstall entry would name
// whatever another user put in their place).
#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Handles.h"
#include "StepError.h"

namespace norvale {

enum class GuardedFolder {
  // "Uninst", as Program Files is kept: Administrators and SYSTEM change it,
  // every user reads and runs what it holds.
  kUninstallerFolder,
  // A folder the running program keeps to itself: an elevated run gives it
  // to Administrators and SYSTEM alone (not to the user's own account, whose
  // unelevated programs may be hostile); an unelevated one to its account.
  kPrivateFolder,
  // A file the installer writes itself below the install folder, which runs
  // or is trusted later (a logon command file runs at every user's logon):
  // as "Uninst", but protected as a file with nothing to pass down.
  kGeneratedFile,
};

// A security descriptor (self-relative) with a DACL and, where it decides
// the folder's owner, the owner.
class FolderAccessList {
 public:
  explicit FolderAccessList(std::vector<BYTE> descriptor) : descriptor_(std::move(descriptor)) {}
  PSECURITY_DESCRIPTOR Descriptor() const {
    return const_cast<BYTE*>(descriptor_.data());
  }
  // Null when the list leaves the owner as it is.
  PSID Owner() const;
  // The list as SDDL ("O:BAD:P(A;OICI;FA;;;BA)..."): the form the install
  // record keeps of what was applied. Empty when it cannot be written.
  std::wstring Text() const;

 private:
  std::vector<BYTE> descriptor_;
};

// The list for a folder. account: the running account's SID, used only by
// an unelevated run's private folder. Nothing when it cannot be built (no
// account where one is needed).
std::optional<FolderAccessList> BuildFolderAccessList(GuardedFolder folder, bool elevated,
                                                      PSID account);

// The list a folder gets that an install run makes on the way to its install
// folder, or as that folder: what the parent passes down to a new folder,
// owned by Administrators (unelevated: by the running account), in which
// nobody but Administrators, SYSTEM and the owner may delete, rename or
// re-list the folder itself or delete what it holds by the folder's right
// (a user could otherwise take "Uninst" away from inside it). Everything the
// parent passes down to files and folders below keeps its rights, as
// entries that reach only them. Nothing when the lists cannot be read.
std::optional<FolderAccessList> InstallPathFolderList(const FolderAccessList& parent,
                                                      bool elevated, PSID account);

// An existing folder's list closed to renames the same way, its other
// entries and its owner as they are (the result names no owner); nothing
// when nobody but those may delete or rename the folder already.
std::optional<FolderAccessList> ClosedToRenames(const FolderAccessList& current, bool elevated,
                                                PSID account);

// The list's DACL alone, to apply where the owner stays as it is; and the
// list with another owner (as the record describes a folder).
std::optional<FolderAccessList> DaclOnly(const FolderAccessList& list);
std::optional<FolderAccessList> WithOwner(const FolderAccessList& list, PSID owner);

// What Windows gives a new folder below parent (a list that names no owner
// gets owner for CREATOR OWNER): the parent's entries that reach folders,
// with the entries that reach only what lies further below.
std::optional<FolderAccessList> InheritedByNewFolder(const FolderAccessList& parent, PSID owner);

// An owner that only the machine's administrators stand behind: Administrators,
// SYSTEM, TrustedInstaller, or `account` (none: no account) itself.
bool IsTrustedOwner(PSID owner, PSID account);

// Only those the machine's administrators stand behind (as IsTrustedOwner
// says, the owner among them) may change the object the list guards: delete
// or rename it, rewrite its data, marks, owner or list. A link on the way to
// an install folder guarded so leads where an administrator set it.
bool OnlyTrustedMayChange(const FolderAccessList& list, bool elevated, PSID account);

// Another account may delete or rename what the folder holds, whatever the
// entries' own lists say (the folder grants it deleting its children).
bool OthersMayDeleteWhatItHolds(const FolderAccessList& list, bool elevated, PSID account);

// What the programs ask of Windows about access lists. Wine neither keeps
// nor enforces a folder's list, so tests record what was asked instead.
class IFolderAccess {
 public:
  virtual ~IFolderAccess() = default;
  // This process runs with an administrator's full rights (an elevated
  // token; before UAC, membership in Administrators).
  virtual bool IsElevated() = 0;
  // The running account's SID; empty when it cannot be read.
  virtual std::vector<BYTE> Account() = 0;
  // Gives an existing folder the list's owner and DACL through a handle
  // opened from the drive's root part by part, none of them a link and each
  // where its folder lists it.
  virtual StepDone ApplyToFolder(const std::wstring& folder, const FolderAccessList& list) = 0;
  // Creates a new folder with the list in the same call; fails when
  // something of that name exists or it cannot be made.
  virtual StepDone CreateFolder(const std::wstring& folder, const FolderAccessList& list) = 0;
  // The owner and DACL of an open folder; path says which one it is.
  virtual std::optional<FolderAccessList> ReadList(HANDLE folder, const std::wstring& path) = 0;
  // Gives an open folder the list's DACL, protected, and its owner when the
  // list names one.
  virtual StepDone ApplyToOpenFolder(HANDLE folder, const std::wstring& path,
                                     const FolderAccessList& list) = 0;
  // Makes path's last part inside the open folder parent with the list in
  // the same call (null: what parent passes down); fails with
  // ERROR_ALREADY_EXISTS when the name is taken.
  virtual StepResult<FileHandle> CreateFolderIn(HANDLE parent, const std::wstring& path,
                                                const FolderAccessList* list) = 0;
  // The volume an open folder lies on keeps access lists (FAT32 and exFAT
  // keep none).
  virtual bool KeepsLists(HANDLE folder) = 0;
  // Makes path's last part inside the open folder as a new file with the
  // list in the same call (null: what the folder passes down), opened with
  // GENERIC_READ, GENERIC_WRITE and DELETE and shared with nobody; fails
  // with ERROR_FILE_EXISTS when the name is taken.
  virtual StepResult<FileHandle> CreateFileIn(HANDLE folder, const std::wstring& path,
                                              const FolderAccessList* list) = 0;
};

// Writes one object's own security (the information named) through its
// handle; the system's error, ERROR_SUCCESS when done.
using OwnSecurityWrite =
    std::function<DWORD(HANDLE object, SECURITY_INFORMATION what, PSECURITY_DESCRIPTOR descriptor)>;

class SystemFolderAccess final : public IFolderAccess {
 public:
  // writeOwn: how a folder's own list is written; the system's own call
  // for one object, which leaves whatever lies below the folder as it is
  // (SetSecurityInfo would rewrite everything below that inherits).
  explicit SystemFolderAccess(OwnSecurityWrite writeOwn = nullptr);
  bool IsElevated() override;
  std::vector<BYTE> Account() override;
  StepDone ApplyToFolder(const std::wstring& folder, const FolderAccessList& list) override;
  StepDone CreateFolder(const std::wstring& folder, const FolderAccessList& list) override;
  std::optional<FolderAccessList> ReadList(HANDLE folder, const std::wstring& path) override;
  StepDone ApplyToOpenFolder(HANDLE folder, const std::wstring& path,
                             const FolderAccessList& list) override;
  StepResult<FileHandle> CreateFolderIn(HANDLE parent, const std::wstring& path,
                                        const FolderAccessList* list) override;
  StepResult<FileHandle> CreateFileIn(HANDLE folder, const std::wstring& path,
                                      const FolderAccessList* list) override;
  bool KeepsLists(HANDLE folder) override;

 private:
  OwnSecurityWrite writeOwn_;
};

// The list this process should give a folder: nothing for "Uninst" or a
// generated file of an unelevated run (they keep what they inherit), nor
// when Windows cannot say who runs.
std::optional<FolderAccessList> FolderAccessListForThisRun(IFolderAccess& access,
                                                           GuardedFolder folder);

// Where this run makes a private folder that programs use by name after it
// is made (the archive DLL, the command interpreter): `temp` unelevated; the
// system's Windows folder's TEMP elevated, since the run's own TEMP lies in
// the account's profile, where its unelevated programs may rename whatever
// it holds, and the Windows folder's lets users add but rename nothing of
// another's. That is the system's Windows folder: on a terminal server a
// program that does not say it knows of one is told of one of the user's
// own. Empty when it cannot be had.
std::wstring PrivateFolderParent(IFolderAccess& access, const std::wstring& temp);

// A new folder of this run's own in the folder `parent`: named `prefix` and
// a new GUID's digits, made with `list` in the same call, and held from then
// on sharing no deletes, so that nobody can rename it away or put anything
// in its place. Its path is parent's text and the name, as programs that use
// it by name are handed it. Why not, when it cannot be made so (it must lie
// where it was made, and nobody else may hold it with DELETE).
StepResult<HeldEntry> MakePrivateFolder(IFolderAccess& access, const std::wstring& parent,
                                         const std::wstring& prefix,
                                         const FolderAccessList& list);

}  // namespace norvale
