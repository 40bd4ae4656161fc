#pragma once
// The install folder and the way to it, made sure of before anything is
// written: every folder the run makes from the drive root down gets its
// access list in the call that makes it, a folder on the way that an
// earlier run made is closed to renames, and the install folder and
// "Uninst" are either this run's own or not used at all. What the run then
// writes below the install folder goes through the InstallTree this leaves
// in the installer's state.
#include <string>
#include <vector>

#include "InstallRun.h"

namespace norvale {

struct PreparedFolders {
  // The record's comment lines on what each folder from the drive root down
  // to "Uninst" got, in that order, for after the record is started.
  std::vector<std::wstring> recordLines;
  // The install folder or "Uninst" could not be made the run's own: the user
  // was told, InstallAborted is set, and nothing was written into them.
  bool refused = false;
};

// Makes the install folder, "Uninst" and "TEMP" for an install run, sets
// the state's installTree (not when refused) and FoldersMadeAbove.
PreparedFolders PrepareInstallFolders(InstallRun& run);

// The record's comment line for a folder on the way to "Uninst": its path,
// what the run did with it and its list as SDDL.
extern const wchar_t kFolderAccessComment[];
extern const wchar_t kFolderAccessWarning[];

}  // namespace norvale
