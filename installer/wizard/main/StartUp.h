#pragma once
// The installer's start-up steps before the wizard's first page.
#include "InstallerState.h"

namespace norvale {

// Fills the setup record; false (with ErrText) stops the start-up.
bool RunStartUpSteps(InstallerState& state);

}  // namespace norvale
