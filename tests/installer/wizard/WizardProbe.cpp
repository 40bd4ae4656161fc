#include "WizardProbe.h"

namespace wizard_testing {

using namespace norvale;

InstallerWindowOptions ProbeSetup::Options(std::function<void(InstallerState&)> fill,
                                           const std::wstring& errText) const {
  InstallerWindowOptions options;
  options.seams.common.messageBox = box;
  options.folderDialog = dialog;
  options.instanceName =
      L"Local\\Norvale_Installer.Tests." + std::to_wstring(GetCurrentProcessId());
  options.programFolder = L"C:\\norvale-wizard-tests-nowhere";
  options.startUp = [fill, errText](InstallerState& s) {
    if (!fill) {
      s.ErrText = errText;
      return false;
    }
    fill(s);
    return true;
  };
  return options;
}

bool Wizard::PumpUntil(const std::function<bool()>& done) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > 2000) return false;
    app.DoEvents();
    Sleep(5);
  }
  return true;
}

bool Overlap(const norvale::forms::Widget& a, const norvale::forms::Widget& b) {
  return a.Left() < b.Left() + b.Width() && b.Left() < a.Left() + a.Width() &&
         a.Top() < b.Top() + b.Height() && b.Top() < a.Top() + a.Height();
}

}  // namespace wizard_testing
