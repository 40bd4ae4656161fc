#include "PageMachineSupport.h"

namespace wizard_testing {

using namespace norvale;

bool RecordingActions::EnablePrivilege(const std::wstring& name) {
  return Note(L"EnablePrivilege " + name);
}

bool RecordingActions::RequestExitWindows(UINT flags, DWORD) {
  if (onRestart) onRestart();
  return Note(L"RequestExitWindows " + std::to_wstring(flags));
}

bool RecordingActions::InitiateShutdown(const std::wstring&, const std::wstring&, DWORD, bool,
                                        bool) {
  if (onRestart) onRestart();
  return Note(L"InitiateShutdown");
}

WizardProbe& MachineWizard::Open(std::function<void(InstallerState&)> fill, bool show) {
  InstallerWindowOptions options = setup.Options(std::move(fill));
  options.seams.common.messageBox = box;
  options.seams.common.pump = pump;
  options.seams.windows.actions = actions;
  options.seams.windows.starts = starts;
  options.seams.programEnd = end;
  options.seams.ftpWaits = FtpWaits::None();
  if (adjust) adjust(options);
  window = std::make_unique<WizardProbe>(app, std::move(options));
  if (show) {
    window->Show();
    for (int i = 0; i < 20; ++i) {  // let the window settle for a moment
      app.DoEvents();
      Sleep(5);
    }
  } else {
    window->Load();
  }
  return *window;
}

}  // namespace wizard_testing
