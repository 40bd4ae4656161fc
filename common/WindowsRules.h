#pragma once
// What Windows does around a file act that Wine leaves out. On Windows the
// system does it itself and nothing here acts. Under Wine the file acts
// (FileActs.h) do it in the system's place, as the Windows release named by
// the environment variable NORVALE_WINDOWS_RULES does ("10", the default:
// Windows 7, 10 and Windows 11 up to 23H2 behave alike here; "11-24H2":
// the later builds), so that every test, and every program a test starts,
// meets these rules under Wine:
// - a rename or a hard link opens the folder it goes into once more, asking
//   FILE_ADD_FILE (FILE_ADD_SUBDIRECTORY for a folder) and SYNCHRONIZE and
//   sharing only reading and writing (the later builds share deletes too):
//   a handle on that folder that holds DELETE, or does not share writing,
//   fails the act with a sharing violation;
// - a file that a running program was started from or has loaded (a DLL,
//   a shell extension Explorer took from a product folder) cannot be
//   deleted while it is mapped (it may be renamed): the delete through a
//   handle that holds DELETE fails with ERROR_ACCESS_DENIED;
// - a rename through the older call replaces no read-only file (Wine's
//   does), and the newer call with POSIX semantics (10 1809 on), which Wine
//   lacks, replaces a file a handle holds sharing deletes.
#include <windows.h>

#include <optional>
#include <set>
#include <string>

namespace norvale {

enum class WindowsRelease {
  System,         // the system is Windows: it keeps its rules itself
  Windows10,      // 7, 8.1, 10, 11 up to 23H2
  Windows11_24H2  // and later
};

// The release whose rules the file acts keep in the system's place.
WindowsRelease ModelledRelease();

// The sharing a release's own open of a rename's target folder grants.
DWORD RenameTargetSharing(WindowsRelease release);

// The file acts run under Wine.
bool RunsUnderWine();

// Which files running programs have mapped as images (the programs
// themselves and the DLLs they loaded), asked of the processes once, when a
// file that may be one is first deleted: that is a round trip per process.
// Only names of the kinds programs load images by (".exe", ".dll", ...)
// are asked about; a program that maps a file of another name is not seen.
// Nothing is asked where the system is Windows, which keeps the rule itself.
class RunningImages {
 public:
  // For the files in `folder` or below it; empty: for each file asked about.
  explicit RunningImages(std::wstring folder = L"") : folder_(std::move(folder)) {}
  // The open file that lies at `lies` (FinalPathOfHandle's form) is mapped
  // by a running program; index is its number on the volume, when known.
  bool Hold(HANDLE file, const std::wstring& lies, std::optional<ULONGLONG> index);

 private:
  std::wstring folder_;
  std::optional<std::set<ULONGLONG>> indexes_;
};

}  // namespace norvale
