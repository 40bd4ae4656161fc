// Hiding a form into an icon of the taskbar's notification area and bringing
// it back.
#include "clsWinCommon.h"

#include <commctrl.h>

#include <algorithm>

using namespace norvale;

namespace {

constexpr UINT kTrayIconId = 1;
// The icon reports its mouse messages as this message to the form.
constexpr UINT kTrayCallbackMessage = WM_MBUTTONDOWN;
constexpr UINT_PTR kTraySubclassId = 0x4E565449;  // one subclass per object and window

// The window's own icon: the small one it shows, else its class's.
HICON IconOf(HWND window) {
  HICON icon = reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_SMALL, 0));
  if (!icon) icon = reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_BIG, 0));
  if (!icon) icon = reinterpret_cast<HICON>(GetClassLongPtrW(window, GCLP_HICONSM));
  if (!icon) icon = reinterpret_cast<HICON>(GetClassLongPtrW(window, GCLP_HICON));
  return icon;
}

}  // namespace

void clsWinCommon::FillTrayIcon(forms::Form& form) {
  // A window handed over before is no longer ours to listen to.
  if (m_TrayIcon.hWnd && m_TrayIcon.hWnd != form.hWnd()) ReleaseTrayWindow();
  NOTIFYICONDATAW icon{};
  icon.cbSize = sizeof(icon);
  icon.hWnd = form.hWnd();
  icon.uID = kTrayIconId;
  icon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  icon.uCallbackMessage = kTrayCallbackMessage;
  icon.hIcon = icon.hWnd ? IconOf(icon.hWnd) : nullptr;
  const std::wstring& caption = form.Caption();
  const size_t fits = std::min(caption.size(), std::size(icon.szTip) - 1);
  std::copy_n(caption.begin(), fits, icon.szTip);
  m_TrayIcon = icon;
  if (icon.hWnd) SetWindowSubclass(icon.hWnd, TrayWindowProc, kTraySubclassId,
                                   reinterpret_cast<DWORD_PTR>(this));
}

void clsWinCommon::ReleaseTrayWindow() {
  if (m_TrayIcon.hWnd && IsWindow(m_TrayIcon.hWnd)) {
    RemoveWindowSubclass(m_TrayIcon.hWnd, TrayWindowProc, kTraySubclassId);
  }
}

// No exception may leave a window procedure.
LRESULT CALLBACK clsWinCommon::TrayWindowProc(HWND hwnd, UINT message, WPARAM wParam,
                                              LPARAM lParam, UINT_PTR, DWORD_PTR self) {
  // A real middle click always carries MK_MBUTTON; the icon's report carries
  // the icon's id instead.
  if (message == kTrayCallbackMessage && wParam == kTrayIconId) {
    try {
      reinterpret_cast<clsWinCommon*>(self)->pFrmApp_MouseDown(LOWORD(lParam));
    } catch (...) {
    }
    return 0;
  }
  return DefSubclassProc(hwnd, message, wParam, lParam);
}

void clsWinCommon::pFrmApp_MouseDown(UINT mouseMessage) {
  if (mouseMessage == WM_LBUTTONDOWN) {
    MessageBeep(MB_OK);
  } else if (mouseMessage == WM_LBUTTONDBLCLK) {
    WinTaskBarOut();
  }
}

bool clsWinCommon::WinTaskBarFormLoadProc(forms::Form& aFrmMainForm) {
  try {
    pFrmApp = &aFrmMainForm;
    FillTrayIcon(aFrmMainForm);
    return true;
  } catch (...) {
    return false;
  }
}

bool clsWinCommon::WinTaskBarIn() {
  try {
    if (!pFrmApp) return false;
    FillTrayIcon(*pFrmApp);
    pFrmApp->Visible(false);
    if (windows_.tray->Notify(NIM_ADD, m_TrayIcon)) return true;
    // Never leave the window hidden without an icon to bring it back.
    pFrmApp->Visible(true);
    return false;
  } catch (...) {
    return false;
  }
}

bool clsWinCommon::WinTaskBarModfy(forms::Form* aFrmMainForm) {
  try {
    if (!aFrmMainForm) return false;
    pFrmApp = aFrmMainForm;
    FillTrayIcon(*aFrmMainForm);
    return windows_.tray->Notify(NIM_MODIFY, m_TrayIcon);
  } catch (...) {
    return false;
  }
}

bool clsWinCommon::WinTaskBarOut() {
  try {
    if (!pFrmApp) return false;
    if (!windows_.tray->Notify(NIM_DELETE, m_TrayIcon)) return false;
    pFrmApp->Visible(true);
    return true;
  } catch (...) {
    return false;
  }
}
