#pragma once
// The downloaded setup information file: fills the setup record from it
// and looks for an earlier installation of the same product.
#include <cstdint>

#include "InstallerState.h"

namespace norvale {

// -1 when the record was filled; 0 when the file is missing, [Download]
// cannot be read, or the user declined at the earlier-installation
// question. Accepting that question starts the uninstaller and ends the
// program.
int16_t ReadSetupInfo(InstallerState& state);

// "#,##0.##" for the free-space line: thousands grouped, up to two decimals.
std::wstring FormatGigabytes(int64_t scaledValue);

}  // namespace norvale
