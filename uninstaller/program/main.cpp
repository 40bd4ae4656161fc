// Dekant00: the uninstaller the installer copies into "<install folder>\Uninst".
#include <windows.h>
#include <shlwapi.h>

#include <memory>

#include "Form_UnInset_MAIN.h"
#include "Handles.h"
#include "ProgramVersion.h"
#include "System.h"
#include "SystemDlls.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  norvale::dllsearch::KeepDllSearchToSystemFolder();
  // One uninstaller at a time: a second one ends without a word.
  norvale::KernelHandle instance(CreateMutexW(nullptr, FALSE, L"Norvale.Dekant00.SingleInstance"));
  if (GetLastError() == ERROR_ALREADY_EXISTS) return 0;

  norvale::forms::Application app;
  auto state = std::make_unique<norvale::UninstallerState>(norvale::ProgramPath());
  state->ProgramVersion = norvale::UninstallerVersionText(
      DEKANT00_VERSION_MAJOR, DEKANT00_VERSION_MINOR, DEKANT00_VERSION_REVISION);
  norvale::Form_UnInset_MAIN form(app, std::move(state), PathGetArgsW(GetCommandLineW()));
  form.Icon(GetModuleHandleW(nullptr), 1);
  if (!form.Show()) return 1;
  return app.Run();
}
