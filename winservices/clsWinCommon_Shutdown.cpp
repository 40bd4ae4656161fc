// Restart, shutdown and log-off of Windows, and setting the clock.
#include "clsWinCommon.h"

using namespace norvale;

namespace {

constexpr int32_t kTrue = -1;

SYSTEMTIME ClockRecord(OleDate date) {
  SYSTEMTIME time = date.ToSystemTime();
  time.wDayOfWeek = 0;
  time.wMilliseconds = 0;
  return time;
}

}  // namespace

void clsWinCommon::LOGOFF() {
  try {
    windows_.actions->RequestExitWindows(EWX_LOGOFF, 0xFFFFFFFF);
  } catch (...) {
  }
}

// Reports what Windows answered, so a caller can tell a refused restart from
// one under way.
int32_t clsWinCommon::shutdown(int32_t lApp_Close, int32_t lSystem_Reboot) {
  try {
    REG_RegFlush();
    windows_.actions->EnablePrivilege(SE_SHUTDOWN_NAME);
    UINT flags = lSystem_Reboot == kTrue ? EWX_REBOOT : EWX_SHUTDOWN;
    if (lApp_Close == kTrue) flags |= EWX_FORCEIFHUNG;
    return windows_.actions->RequestExitWindows(flags, 0) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

int32_t clsWinCommon::RemoteShutdown(const std::wstring& sHostName, const std::wstring& sMessage,
                                     int32_t lTimeout, int32_t lAppClose, int32_t lReboot) {
  try {
    return windows_.actions->InitiateShutdown(sHostName, sMessage,
                                              static_cast<DWORD>(lTimeout), lAppClose != 0,
                                              lReboot != 0)
               ? -1
               : 0;
  } catch (...) {
    return 0;
  }
}

bool clsWinCommon::SetSystemDateTime(OleDate aSetDate) {
  try {
    return windows_.actions->SetSystemClock(ClockRecord(aSetDate));
  } catch (...) {
    return false;
  }
}

bool clsWinCommon::SetLocalDateTime(OleDate aSetDate) {
  try {
    return windows_.actions->SetLocalClock(ClockRecord(aSetDate));
  } catch (...) {
    return false;
  }
}
