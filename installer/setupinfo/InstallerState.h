#pragma once
// The installer window's state without its visuals: the window's own fields,
// the setup record and the service objects. The procedures of the setup
// information, the engine and the wizard all work on one of these, so each
// of them can run and be tested without a window.
#include <cstdint>
#include <memory>
#include <string>

#include "ClsWinFTP.h"
#include "SetupRecord.h"
#include "Seams.h"
#include "WinServicesSeams.h"
#include "clsError.h"
#include "clsIni.h"
#include "clsPublicFunc.h"
#include "clsTimer.h"
#include "clsWinCommon.h"

namespace norvale {

// The replaceable surroundings of one installer: questions, clock and pump;
// Windows facts, registry, program starts; the FTP client's pauses.
struct InstallerSeams {
  Seams common = Seams::System();
  WinServicesSeams windows = WinServicesSeams::System();
  FtpWaits ftpWaits{};

  static InstallerSeams System() { return InstallerSeams{}; }
};

struct InstallerState : SetupRecord {
  explicit InstallerState(InstallerSeams seams = InstallerSeams::System());
  InstallerState(const InstallerState&) = delete;
  InstallerState& operator=(const InstallerState&) = delete;

  std::wstring SetupFileId = L"Setup.ini";
  int16_t StartupOk = -1;
  std::wstring ErrText;
  int16_t PageNo = 0;
  int16_t SubPageNo = 0;

  InstallerSeams seams;
  clsWinCommon objWinCommon;
  clsIni objStartIni;
  clsIni objSetupIni;
  clsError objError;
  clsPublicFunc objPublicFunc;
  clsTimer objTimer;
  ClsWinFTP objFtp;

  int16_t InstallAborted = 0;
  const std::wstring DecodeKey = L"kovtar";
  int16_t RestartNeeded = 0;
};

}  // namespace norvale
