#include "UninstallerState.h"

#include "Text.h"

namespace norvale {

const wchar_t kDefaultAppId[] = L"{231EFB6B-3A82-475F-B7E1-8E10D420BE40}";
const wchar_t kDefaultAppName[] = L"Norvale";
const wchar_t kUninstallerFileName[] = L"Dekant00.exe";

UninstallerState::UninstallerState(std::wstring programPath, UninstallerServices servicesIn)
    : ProgramPath(std::move(programPath)),
      ProgramFolder(BeforeLast(ProgramPath, L'\\')),
      services(std::move(servicesIn)),
      objWinCommon(services.seams, services.windows),
      objIni(services.seams),
      window(&noWindow_) {
  objIni.iniDir(ProgramFolder);
  objIni.IniFileID(L"Setup.log");
}

bool UninstallerState::KeepsFileLinks() const {
  return UninstOptionCount >= 1 && UninstOptions.size() > 1 && UninstOptions[1].Value != 0;
}

bool UninstallerState::KeepsFonts() const {
  return UninstOptionCount >= 2 && UninstOptions.size() > 2 && UninstOptions[2].Value != 0;
}

}  // namespace norvale
