// The installer program: its one window, started and run until it unloads.
#include <windows.h>

#include "Form_Inset_MAIN.h"
#include "SetupInfoDownload.h"
#include "SystemDlls.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  norvale::dllsearch::KeepDllSearchToSystemFolder();
  norvale::forms::Application app;
  norvale::InstallerWindowOptions options;
  options.startUp = [&app](norvale::InstallerState& state) {
    return norvale::DownloadSetupInfo(state, app);
  };
  norvale::Form_Inset_MAIN window(app, std::move(options));
  window.Show();
  return app.Run();
}
