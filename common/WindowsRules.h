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
// - a running program's own file cannot be deleted (it may be renamed);
// - a rename through the older call replaces no read-only file (Wine's
//   does), and the newer call with POSIX semantics (10 1809 on), which Wine
//   lacks, replaces a file a handle holds sharing deletes.
#include <windows.h>

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

}  // namespace norvale
