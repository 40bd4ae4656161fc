#pragma once
// What the installer hands to the platform as callback addresses.
#include <windows.h>
#include <wininet.h>

namespace norvale {

// Returns the value unchanged: the way a procedure's address becomes a plain
// number that can be stored and handed on.
template <class T>
T GetAddressOf(T value) {
  return value;
}

// WinINet's status callback for asynchronous sessions: it only keeps the
// installer window responsive during a transfer, by letting the window's
// thread handle its waiting messages once. On a WinINet thread of its own,
// which has no windows to serve, it does nothing: the window's own loop is
// running then.
void CALLBACK InetStatusCallback(HINTERNET hInternet, DWORD_PTR dwContext, DWORD dwInternetStatus,
                                 LPVOID lpvStatusInformation, DWORD dwStatusInformationLength);

}  // namespace norvale
