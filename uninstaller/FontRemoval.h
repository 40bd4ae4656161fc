#pragma once
// The fonts the installer put into the Fonts folder: whether one of them is
// still installed (which offers the option to keep them), and their removal.
#include <cstdint>
#include <string>
#include "Fonts.h"
#include "UninstallerState.h"

namespace norvale {

int16_t HasInstalledFonts(UninstallerState& state);
int16_t UninstallFonts(UninstallerState& state);
// Removes the font file of exactly that name and its registry values; the
// font cache is left to UninstallFonts, which deletes it once.
int16_t vbRemoveFont(UninstallerState& state, std::wstring fontFileName,
                     std::wstring aStrErrMsg = L"", int16_t* aDelCount = nullptr);

// The state's font services (special folders, registry, Fonts folder verbs).
FontServices FontServicesOf(UninstallerState& state);

}  // namespace norvale
