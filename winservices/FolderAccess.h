#pragma once
// Who may change the folders whose contents an elevated program later runs
// or trusts. Install folders below C:\ and the user's TEMP are writable by
// people other than the administrator who runs us, so what an elevated run
// keeps there gets a list of its own, built here and nowhere else: the
// uninstaller's folder "Uninst" and the folder of the uninstaller's command
// file.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace norvale {

enum class GuardedFolder {
  // "Uninst", as Program Files is kept: Administrators and SYSTEM change it,
  // every user reads and runs what it holds.
  kUninstallerFolder,
  // A folder the running program keeps to itself: an elevated run gives it
  // to Administrators and SYSTEM alone (not to the user's own account, whose
  // unelevated programs may be hostile); an unelevated one to its account.
  kPrivateFolder,
};

// A security descriptor (self-relative) with its owner and a DACL protected
// from what the parent folder passes down.
class FolderAccessList {
 public:
  explicit FolderAccessList(std::vector<BYTE> descriptor) : descriptor_(std::move(descriptor)) {}
  PSECURITY_DESCRIPTOR Descriptor() const {
    return const_cast<BYTE*>(descriptor_.data());
  }
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
  // opened on the folder itself, which must be a directory and no reparse
  // point. False with the Windows error as the last error.
  virtual bool ApplyToFolder(const std::wstring& folder, const FolderAccessList& list) = 0;
  // Creates a new folder with the list in the same call; false when
  // something of that name exists or it cannot be made.
  virtual bool CreateFolder(const std::wstring& folder, const FolderAccessList& list) = 0;
};

class SystemFolderAccess final : public IFolderAccess {
 public:
  bool IsElevated() override;
  std::vector<BYTE> Account() override;
  bool ApplyToFolder(const std::wstring& folder, const FolderAccessList& list) override;
  bool CreateFolder(const std::wstring& folder, const FolderAccessList& list) override;
};

// The list this process should give a folder: nothing for "Uninst" of an
// unelevated run (it keeps what it inherits), nor when Windows cannot say
// who runs.
std::optional<FolderAccessList> FolderAccessListForThisRun(IFolderAccess& access,
                                                           GuardedFolder folder);

}  // namespace norvale
