#pragma once
// What Windows does around a file act that Wine leaves out, as a table of
// file calls (FileCalls.h) over the system's own. On Windows the system does
// it itself and the table is not used. Under Wine it is chosen when the
// program starts, as the Windows release named by the environment variable
// NORVALE_WINDOWS_RULES does it ("10", the default: Windows 7, 10 and
// Windows 11 up to 23H2 behave alike here; "11-24H2": the later builds), so
// that every test, and every program a test starts, meets these rules:
// - a rename opens the folder it goes into once more, asking FILE_ADD_FILE
//   (FILE_ADD_SUBDIRECTORY for a folder) and SYNCHRONIZE and sharing only
//   reading and writing (the later builds share deletes too): a handle on
//   that folder that holds DELETE, or does not share writing, fails the
//   rename with a sharing violation;
// - a file that a running program was started from or has loaded (a DLL,
//   a shell extension Explorer took from a product folder) cannot be
//   deleted while it is mapped (it may be renamed): the delete through a
//   handle that holds DELETE fails with ERROR_ACCESS_DENIED;
// - a rename through the older call replaces no read-only file (Wine's
//   does), and the newer call with POSIX semantics (10 1809 on), which Wine
//   lacks, replaces a file a handle holds sharing deletes.
#include <windows.h>

#include "FileCalls.h"
#include "Handles.h"

namespace norvale {

enum class WindowsRelease {
  Windows10,      // 7, 8.1, 10, 11 up to 23H2
  Windows11_24H2  // and later
};

// The file acts run under Wine.
bool RunsUnderWine();

// The release NORVALE_WINDOWS_RULES names.
WindowsRelease ReleaseToModel();

class WindowsRules final : public IFileCalls {
 public:
  WindowsRules(const IFileCalls& system, WindowsRelease release)
      : system_(system), release_(release) {}
  bool Available() const override { return system_.Available(); }
  nt::Status CreateIn(HANDLE root, std::wstring_view name, ACCESS_MASK access, ULONG attributes,
                      ULONG share, ULONG disposition, ULONG options, PVOID descriptor,
                      HANDLE* opened) const override {
    return system_.CreateIn(root, name, access, attributes, share, disposition, options,
                            descriptor, opened);
  }
  nt::Status Query(HANDLE file, PVOID information, ULONG length,
                   ULONG informationClass) const override {
    return system_.Query(file, information, length, informationClass);
  }
  nt::Status Set(HANDLE file, PVOID information, ULONG length,
                 ULONG informationClass) const override;
  bool SetByHandle(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, PVOID information,
                   DWORD size) const override;
  bool Dispose(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, PVOID information, DWORD size,
               Disposals& across, const KnownOfIt& known) const override;
  DWORD ErrorOf(nt::Status status) const override { return system_.ErrorOf(status); }

 private:
  // The sharing this release's own open of a rename's target folder grants.
  DWORD RenameTargetSharing() const;
  // That open, of the open folder or (null) of the folder at byPath, held
  // while the rename runs; the status of the open.
  nt::Status HoldAsRenameTarget(HANDLE folder, const std::wstring& byPath, HANDLE entry,
                                FileHandle& held) const;
  nt::Status RenameInto(HANDLE entry, HANDLE folder, std::wstring_view name) const;
  nt::Status ReplaceAsThePosixCallDoes(HANDLE entry, HANDLE folder, std::wstring_view name) const;

  const IFileCalls& system_;
  WindowsRelease release_;
};

}  // namespace norvale
