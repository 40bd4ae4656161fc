#pragma once
// The condition language of the setup information's chk values and the
// folder placeholders of its paths, both read against the setup record.
#include <cstdint>
#include <string>

#include "InstallerState.h"

namespace norvale {

// Takes a condition apart: include is -1 when the bitness and Windows tokens
// hold; the task, group and option it names (numbers 0 and names empty when
// absent or unknown). False when a "<Windows>" list matched nothing.
int16_t ParseCondition(InstallerState& state, std::wstring condition, int16_t& groupNo,
                       int16_t& optionNo, int16_t& include, int16_t& taskNo,
                       std::wstring& groupName, std::wstring& optionName);

// The path with "{app}", "{tmp}", "{windir}", "{commondesktop}", "{group}"
// and "{commonstartup}" replaced and doubled backslashes collapsed.
std::wstring ExpandPathMacros(const SetupRecord& record, std::wstring path);

}  // namespace norvale
