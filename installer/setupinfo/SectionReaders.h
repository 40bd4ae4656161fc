#pragma once
// The line-by-line sections of the setup information file (and of
// "Setup.log", which records two of them in the same grammar): [Download],
// [ショートカット], [APファイルリンク], [自動実行], [管理者権限], and the
// key/value reader used for [条件] and the group sections.
//
// Each reader returns -1 (true) or 0 (false) and leaves its failure text in
// errText. The uninstaller uses the forms that take the file's path and the
// target list; the installer the overloads over its state, which read the
// setup information file (objSetupIni).
#include <cstdint>
#include <string>
#include <vector>

#include "InstallerState.h"
#include "SetupRecord.h"
#include "WinServicesSeams.h"

namespace norvale {

extern const wchar_t kSetupInfoOpenFailed[];
extern const wchar_t kSetupInfoReadFailed[];

int16_t ReadSectionValues(const std::wstring& iniPath, const std::wstring& sectionName,
                          int16_t& count, std::vector<std::wstring>& keys,
                          std::vector<std::wstring>& values, std::wstring& errText);
int16_t ReadApFileLinkSection(const std::wstring& iniPath, int16_t& count,
                              std::vector<ApFileLinkEntry>& list, std::wstring& errText);
int16_t ReadAdminRightsSection(const std::wstring& iniPath, int16_t& count,
                               std::vector<AdminExeEntry>& list, std::wstring& errText);

// One processed download as "Setup.log" records it: the values of its src,
// dst, chk and err lines ("" for a line it lacks).
struct RecordedDownloadLines {
  std::wstring src, dst, chk, err;
};
// The record's [Download] lines (keys and values as ReadSectionValues gives
// them) put together, in the order their first line comes. Lines join when
// their keys carry the same number ("dst7" and "dst007" join "src007"): the
// installer leaves out the src and dst lines of a download whose
// destination the code page cannot hold, but still writes its err line,
// which must not pass to the next download. Lines of one number (or of keys
// without a number) join in the order they come, the first src with the
// first dst, as all lines joined before numbers counted.
std::vector<RecordedDownloadLines> PairDownloadRecordLines(const std::vector<std::wstring>& keys,
                                                           const std::vector<std::wstring>& values,
                                                           int16_t count);
// Whether a line carrying the ",Windows" suffix `name` counts on this PC:
// the name is the newest Windows the line applies to.
int16_t IsWindowsCondition(IWindowsFacts& windows, const std::wstring& name);

int16_t ReadSectionValues(InstallerState& state, const std::wstring& sectionName, int16_t& count,
                          std::vector<std::wstring>& keys, std::vector<std::wstring>& values);
int16_t ReadDownloadSection(InstallerState& state, std::wstring& detail);
int16_t ReadShortCutSection(InstallerState& state);
int16_t ReadApFileLinkSection(InstallerState& state);
int16_t ReadAutoRunSection(InstallerState& state);
int16_t ReadAdminRightsSection(InstallerState& state);
int16_t IsWindowsCondition(InstallerState& state, const std::wstring& name);

}  // namespace norvale
