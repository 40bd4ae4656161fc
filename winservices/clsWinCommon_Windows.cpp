// Top-level windows: finding them, their caption and process, the
// foreground and the z-order.
#include "clsWinCommon.h"

#include "Text.h"

using namespace norvale;

namespace {

constexpr UINT kNoMoveNoSize = SWP_NOMOVE | SWP_NOSIZE;
// A bound on the walk in case windows keep appearing behind it.
constexpr int kMostWindowsVisited = 100000;

}  // namespace

void clsWinCommon::ForEachTopLevelWindow(const std::function<bool(HWND)>& visit) {
  HWND window = FindWindowW(nullptr, nullptr);
  for (int visited = 0; window && visited < kMostWindowsVisited; ++visited) {
    if (!visit(window)) return;
    window = GetWindow(window, GW_HWNDNEXT);
  }
}

int32_t clsWinCommon::GetPidFromHwnd(HWND hwnd) {
  try {
    if (!hwnd) return 0;
    DWORD processId = 0;
    GetWindowThreadProcessId(hwnd, &processId);
    return static_cast<int32_t>(processId);
  } catch (...) {
    return 0;
  }
}

HWND clsWinCommon::GetHwndFromPid(int32_t PID) {
  try {
    if (PID == 0) return nullptr;
    HWND last = nullptr;
    ForEachTopLevelWindow([&](HWND window) {
      if (::IsWindowVisible(window) && GetPidFromHwnd(window) == PID) last = window;
      return true;
    });
    return last;
  } catch (...) {
    return nullptr;
  }
}

bool clsWinCommon::SetZOrder(HWND hwnd, HWND insertAfter, bool activate) {
  const UINT flags = activate ? kNoMoveNoSize : kNoMoveNoSize | SWP_NOACTIVATE;
  const bool placed = SetWindowPos(hwnd, insertAfter, 0, 0, 0, 0, flags) != FALSE;
  if (seams_.pump) seams_.pump->DoEvents();
  return placed;
}

bool clsWinCommon::SetWindow前面(HWND hwnd, int32_t aLngWindowFlg) {
  try {
    if (!hwnd) return false;
    bool result = true;
    if (aLngWindowFlg == 0 || aLngWindowFlg == -1) {
      const DWORD foregroundThread =
          GetWindowThreadProcessId(GetForegroundWindow(), nullptr);
      const DWORD ownThread = GetCurrentThreadId();
      const bool attach = foregroundThread != 0 && foregroundThread != ownThread;
      if (attach) AttachThreadInput(ownThread, foregroundThread, TRUE);
      // The lock time-out is only lifted when its value can be put back.
      DWORD savedTimeout = 0;
      const bool saved = SystemParametersInfoW(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &savedTimeout,
                                               0) != FALSE;
      if (saved) SystemParametersInfoW(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, nullptr, 0);
      const bool foreground = SetForegroundWindow(hwnd) != FALSE;
      if (saved) {
        SystemParametersInfoW(SPI_SETFOREGROUNDLOCKTIMEOUT, 0,
                              reinterpret_cast<void*>(static_cast<uintptr_t>(savedTimeout)), 0);
      }
      if (attach) AttachThreadInput(ownThread, foregroundThread, FALSE);
      if (seams_.pump) seams_.pump->DoEvents();
      if (foreground) {
        SetActiveWindow(hwnd);
      } else {
        result = false;
      }
    }
    // Without the foreground step the window keeps out of the foreground:
    // moving it must not activate it.
    switch (aLngWindowFlg) {
      case 0:
        if (!SetZOrder(hwnd, HWND_TOP, true)) result = false;
        if (!SetZOrder(hwnd, HWND_NOTOPMOST, true)) result = false;
        break;
      case -1:
        if (!SetZOrder(hwnd, HWND_TOPMOST, true)) result = false;
        break;
      case -2:
        if (!SetZOrder(hwnd, HWND_NOTOPMOST, false)) result = false;
        break;
      case 1:
        if (!SetZOrder(hwnd, HWND_BOTTOM, false)) result = false;
        break;
      default:
        break;
    }
    return result;
  } catch (...) {
    return false;
  }
}

bool clsWinCommon::SetWindow表示(HWND hwnd, int32_t wFlags) {
  try {
    if (!hwnd) return false;
    return ShowWindow(hwnd, wFlags) != FALSE;
  } catch (...) {
    return false;
  }
}

bool clsWinCommon::SetWindow表示ByPID(int32_t PID, int32_t wFlags) {
  try {
    if (PID == 0) return false;
    bool lastShown = false;
    ForEachTopLevelWindow([&](HWND window) {
      if (::IsWindowVisible(window) && GetPidFromHwnd(window) == PID) {
        lastShown = ShowWindow(window, wFlags) != FALSE;
      }
      return true;
    });
    return lastShown;
  } catch (...) {
    return false;
  }
}

HWND clsWinCommon::GethWndFromCaption(const std::wstring& sCaption,
                                      const std::wstring& aClassName) {
  try {
    if (!IsBlank(sCaption)) return FindWindowW(nullptr, sCaption.c_str());
    if (!IsBlank(aClassName)) return FindWindowW(aClassName.c_str(), nullptr);
    return kBothBlank;
  } catch (...) {
    return nullptr;
  }
}

std::wstring clsWinCommon::GetWindowCaption(HWND lhWnd) {
  try {
    wchar_t caption[256] = {};
    const int length = GetWindowTextW(lhWnd, caption, 256);
    return std::wstring(caption, length > 0 ? static_cast<size_t>(length) : 0);
  } catch (...) {
    return L"";
  }
}

int32_t clsWinCommon::IsWindowVisible(HWND lhWnd) {
  try {
    return ::IsWindowVisible(lhWnd) ? -1 : 0;
  } catch (...) {
    return 0;
  }
}

// Activates the application window that bears the caption: the one whose
// title is the caption, else one whose title begins with it.
void clsWinCommon::ActivateWindowByHwnd(HWND hwnd) {
  try {
    if (!hwnd) return;
    const std::wstring caption = GetWindowCaption(hwnd);
    if (IsBlank(caption)) return;
    HWND exact = nullptr, beginning = nullptr;
    ForEachTopLevelWindow([&](HWND window) {
      const std::wstring title = GetWindowCaption(window);
      if (TextEqualsIgnoreCase(title, caption)) {
        exact = window;
        return false;
      }
      if (!beginning && title.size() > caption.size() &&
          TextEqualsIgnoreCase(title.substr(0, caption.size()), caption)) {
        beginning = window;
      }
      return true;
    });
    if (HWND target = exact ? exact : beginning) SetForegroundWindow(target);
  } catch (...) {
  }
}

int32_t clsWinCommon::KillWindow(HWND lhWnd) {
  try {
    return static_cast<int32_t>(SendMessageW(lhWnd, WM_SYSCOMMAND, SC_CLOSE, 0));
  } catch (...) {
    return 0;
  }
}

int32_t clsWinCommon::RemoveSysMenu(HWND hwnd, uint32_t uItem) {
  try {
    return RemoveMenu(GetSystemMenu(hwnd, FALSE), uItem, MF_BYCOMMAND);
  } catch (...) {
    return 0;
  }
}
