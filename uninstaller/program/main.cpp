// Dekant00: the uninstaller the installer copies into "<install folder>\Uninst".
#include <windows.h>
#include <shlwapi.h>

#include <memory>

#include "Form_UnInset_MAIN.h"
#include "Handles.h"
#include "ProgramVersion.h"
#include "SingleInstance.h"
#include "System.h"
#include "SystemDlls.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  norvale::dllsearch::KeepDllSearchToSystemFolder();
  // One uninstaller at a time: a second one ends without a word, with the
  // code that tells its caller why.
  norvale::KernelHandle instance;
  if (norvale::ClaimSingleInstance(norvale::kSingleInstanceName, instance) ==
      norvale::InstanceClaim::AnotherRuns) {
    return static_cast<int>(norvale::UninstallExit::AnotherRunning);
  }

  norvale::forms::Application app;
  auto state = std::make_unique<norvale::UninstallerState>(norvale::ProgramPath());
  state->ProgramVersion = norvale::UninstallerVersionText(
      DEKANT00_VERSION_MAJOR, DEKANT00_VERSION_MINOR, DEKANT00_VERSION_REVISION);
  norvale::Form_UnInset_MAIN form(app, std::move(state), PathGetArgsW(GetCommandLineW()));
  form.Icon(GetModuleHandleW(nullptr), 1);
  if (!form.Show()) return static_cast<int>(norvale::UninstallExit::NothingRemoved);
  const int ended = app.Run();
  // The window closed without ending the program itself: how far the run
  // came is the state's to say.
  return app.Ended() ? ended : static_cast<int>(form.State().Exit);
}
