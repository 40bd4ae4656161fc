#pragma once
// Setup records for opening the wizard's pages without a server: the
// shapes the tests and the screenshots need.
#include "InstallerState.h"

namespace wizard_testing {

// Only the product and the two input items: no groups, no tasks.
void FillPlain(norvale::InstallerState& s);
// Three groups (3, 2 and 2 options, one "なし"), three tasks, an [Execute]
// program, Windows 10.
void FillTypical(norvale::InstallerState& s);
// Five groups with many options, eight tasks, long Japanese texts.
void FillCrowded(norvale::InstallerState& s);

void AddGroup(norvale::InstallerState& s, const std::wstring& heading,
              const std::vector<std::wstring>& captions);
void AddTask(norvale::InstallerState& s, const std::wstring& heading, const std::wstring& name,
             int16_t checked);

}  // namespace wizard_testing
