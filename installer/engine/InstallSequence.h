#pragma once
// The install run: the one procedure that Next on the ready page calls. It
// prepares the install folder, starts the install record and the marker file
// of a started installation, downloads, and when the download was not
// aborted makes the shortcuts, associations, auto-run programs,
// administrator flags, the Uninstall entry and the uninstaller.
#include <cstdint>
#include <string>

#include "InstallRun.h"

namespace norvale {

// Always 0; the caller reads InstallAborted.
int16_t ExecuteSetup(InstallRun& run);
// Mode 1 creates "Setup_Start.txt" anew, other modes append. 0 or the
// Windows error number of the open or the write.
int32_t WriteSetupStartTxt(InstallRun& run, const std::wstring& line, int16_t mode);

}  // namespace norvale
