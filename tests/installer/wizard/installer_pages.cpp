// Opens the installer window on any page with a sample setup record, for
// screenshots and for looking at the layout:
//   installer_pages PAGE [SUBPAGE] [crowded|restart|program]
//   installer_pages winver        (the Windows version check's box)
// PAGE 5 shows the gauge at 57 %.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "SampleRecords.h"
#include "WizardProbe.h"

using namespace norvale;
using namespace wizard_testing;

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::vector<std::wstring> args(argv, argv + argc);
  LocalFree(argv);
  const std::wstring first = args.size() > 1 ? args[1] : L"0";
  const bool winver = first == L"winver";
  const int16_t page = winver ? 0 : static_cast<int16_t>(_wtoi(first.c_str()));
  const int16_t subPage = args.size() > 2 ? static_cast<int16_t>(_wtoi(args[2].c_str())) : 1;
  const std::wstring variant = args.size() > 3 ? args[3] : L"";

  forms::Application app;
  ProbeSetup setup;
  InstallerWindowOptions options = setup.Options([&](InstallerState& s) {
    if (variant == L"crowded") {
      FillCrowded(s);
    } else {
      FillTypical(s);
    }
    s.RestartNeeded = variant == L"restart" ? -1 : 0;
    if (variant != L"program") {
      s.ExecuteCmd.clear();
      s.ExecuteDsp.clear();
    }
  });
  options.seams.common.messageBox = std::make_shared<SystemMessageBox>();
  options.folderDialog = std::make_shared<SystemFolderDialog>();
  WizardProbe window(app, std::move(options));
  window.Show();
  if (window.State()) {
    window.Caption(window.State()->AppName + L" Installer Ver 1.0.01");
    if (page != 0) window.OpenPage(page, subPage);
    if (page == 5) window.Dispゲージ(57);
    if (winver) window.C_WinVer_Click();
  }
  return app.Run();
}
