#include "InstallerState.h"

#include <vector>

#include "Text.h"

namespace norvale {

InstallerState::InstallerState(InstallerSeams s)
    : seams(std::move(s)),
      objWinCommon(seams.common, seams.windows),
      objStartIni(seams.common),
      objSetupIni(seams.common),
      objError(seams.common),
      objPublicFunc(seams.common),
      objTimer(seams.common.clock),
      objFtp(seams.common, seams.ftpWaits) {
  std::vector<wchar_t> buffer(32768);
  DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  if (length > 0 && length < buffer.size()) ProgramPath.assign(buffer.data(), length);
}

int32_t SystemAddressOpener::Open(const std::wstring& address) {
  clsWinCommon services;
  return services.ShellExe(address, L"", 1);
}

std::string SystemDriveFacts::LogicalDriveStrings() {
  char buffer[251] = {};
  DWORD length = GetLogicalDriveStringsA(250, buffer);
  if (length == 0 || length > 250) return {};
  return std::string(buffer, length);
}

int64_t SystemDriveFacts::FreeSpace(const std::wstring& root, bool isGB) {
  clsWinCommon services;
  int64_t value = services.GetDiskFreeSpace2(root, 1, isGB).scaled;
  return value > 0 ? value : 0;
}

}  // namespace norvale
