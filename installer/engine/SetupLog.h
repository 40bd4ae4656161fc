#pragma once
// The install record "Setup.log": the journal of one installation in the
// install folder's "Uninst" folder, written one line at a time and read back
// by the uninstaller to learn what to remove.
#include <cstdint>
#include <optional>
#include <string>

#include "SetupRecord.h"

namespace norvale {

struct InstallerState;

// The install folder as stored, "\Uninst\Setup.log", trimmed.
std::wstring SetupLogPath(const SetupRecord& record);

// Writes one line and CR LF in the ANSI code page; mode 1 creates the file
// anew, any other mode appends. The file is opened and closed for this line
// alone. Returns 0 or the run-time error number of the open or the write.
// A line holding CR or LF would forge further lines, so its value (all after
// the first "=") is written blank; such a line without "=" keeps only its
// comment mark.
//
// The file is read back in the same code page, and a name the code page
// lacks a character of would be read as a look-alike that names another
// shortcut, key or font. So a line is written only as it reads back: a key
// line the code page cannot hold exactly becomes a comment that names its
// key (the uninstaller skips comments), and comments and headers keep "?"
// for what the code page lacks. codePage 0 is the system's.
int32_t WriteSetupLog(const SetupRecord& record, const std::wstring& line, int16_t mode);
int32_t WriteSetupLog(const SetupRecord& record, const std::wstring& line, int16_t mode,
                      unsigned int codePage);
// The same for an install run: below an install folder the run guards, the
// record goes through the run's tree, its first line a new file in place of
// whatever had the name, every later one added to the file the tree reaches
// as itself in the run's own "Uninst"; where the tree refuses, the line is
// missing as one that cannot be written.
int32_t WriteSetupLog(InstallerState& state, const std::wstring& line, int16_t mode);

// The bytes WriteSetupLog writes for one line, CR LF not included.
std::string SetupLogLineBytes(const std::wstring& line, unsigned int codePage = 0);

// The 8.3 short form of an existing path (a closing "\" kept), "" when it
// has none or is missing.
std::wstring ShortPathOf(const std::wstring& path);

// A path of an existing file or folder as the record can hold it in the
// code page: the path itself when the code page holds it exactly, else its
// 8.3 short form when that is exact (it finds the very same item); nothing
// otherwise. A closing "\" is kept.
std::optional<std::wstring> RecordablePath(const std::wstring& path, unsigned int codePage = 0);

// The comment that stands in the record for an item left out because the
// code page cannot hold its name exactly; it holds no "=".
std::wstring LeftOutNote(const std::wstring& key);

// The path as it is best recorded: RecordablePath's answer, else the path
// as it is, which WriteSetupLog then leaves out as a comment.
std::wstring PathForRecord(const std::wstring& path, unsigned int codePage = 0);

// A running number with at least the given digits: (1, 2) is "01", (100, 2)
// is "100".
std::wstring LogNumber(int32_t number, int digits);

}  // namespace norvale
