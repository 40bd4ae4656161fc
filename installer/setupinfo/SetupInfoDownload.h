#pragma once
// The installer's start-up step: "Start.ini", the server dialog when values
// are missing, the outdated-installer check, the download of the setup
// information file with the progress window, and reading it.
#include <functional>

#include "Form_IpInput.h"
#include "Form_MSG.h"
#include "Form_UpdateMsg.h"
#include "InstallerState.h"
#include "forms/Application.h"

namespace norvale {

// What a test does inside the start-up windows while they are shown (each
// runs at the window's first activation, inside its modal loop; the
// progress window's hook runs once it is shown).
struct StartupDialogHooks {
  std::function<void(Form_IpInput&)> serverDialogShown;
  std::function<void(Form_UpdateMsg&)> updateNoticeShown;
  std::function<void(Form_MSG&)> progressShown;
};

// True only when the setup information was downloaded and read. On false,
// ErrText holds the reason (or the reader's text); an outdated installer
// ends the program through the seam.
bool DownloadSetupInfo(InstallerState& state, forms::Application& app,
                       const StartupDialogHooks& hooks = {});

}  // namespace norvale
