#pragma once
// Reading "Setup.log" beside the uninstaller into its state: product
// identity, install folder, removal options, and the recorded downloads,
// shortcuts, file associations and run-as-administrator programs.
#include <cstdint>
#include <string>
#include "UninstallerState.h"

namespace norvale {

extern const wchar_t kMissingRecordText[];

int16_t LoadInstallRecord(UninstallerState& state);
// False only when "Setup.log" is missing (ErrText then tells so).
int16_t ReadInstallRecord(UninstallerState& state);
std::wstring GetRegisteredAppPath(UninstallerState& state);
int16_t ReadDownloadRecord(UninstallerState& state, std::wstring& errText);
int16_t ReadShortCutRecord(UninstallerState& state);

}  // namespace norvale
