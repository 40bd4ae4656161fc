#pragma once
// The install record "Setup.log": the journal of one installation in the
// install folder's "Uninst" folder, written one line at a time and read back
// by the uninstaller to learn what to remove.
#include <cstdint>
#include <string>

#include "SetupRecord.h"

namespace norvale {

// The install folder as stored, "\Uninst\Setup.log", trimmed.
std::wstring SetupLogPath(const SetupRecord& record);

// Writes one line and CR LF in the ANSI code page; mode 1 creates the file
// anew, any other mode appends. The file is opened and closed for this line
// alone. Returns 0 or the run-time error number of the open or the write.
// A line holding CR or LF would forge further lines, so its value (all after
// the first "=") is written blank; such a line without "=" keeps only its
// comment mark.
int32_t WriteSetupLog(const SetupRecord& record, const std::wstring& line, int16_t mode);

// A running number with at least the given digits: (1, 2) is "01", (100, 2)
// is "100".
std::wstring LogNumber(int32_t number, int digits);

}  // namespace norvale
