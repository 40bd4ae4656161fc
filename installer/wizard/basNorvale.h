#pragma once
// The installer's module procedures that hand callbacks to Windows: the
// WinINet status callback that keeps the window responsive, and the folder
// dialog with the callback that opens it on the start folder.
#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <optional>
#include <string>

namespace norvale {

// Returns the value unchanged: how a callback's address becomes a plain
// number that can be stored and handed on.
template <typename T>
T GetAddressOf(T value) {
  return value;
}

// Ignores its arguments and lets the window handle its waiting messages
// once. WinINet may call it on a thread of its own, where there is no window
// to serve: it does nothing there.
void CALLBACK InetStatusCallback(HINTERNET hInternet, DWORD_PTR dwContext,
                                 DWORD dwInternetStatus, LPVOID lpvStatusInformation,
                                 DWORD dwStatusInformationLength);

// The folder dialog: the chosen folder's path, or startPath when the user
// cancels or the dialog cannot open.
std::wstring BrowseFolder(HWND owner, const std::wstring& title, int32_t rootFolder,
                          const std::wstring& startPath);
// The same dialog, telling a cancel (nothing) apart from a choice.
std::optional<std::wstring> BrowseFolderChoice(HWND owner, const std::wstring& title,
                                               int32_t rootFolder,
                                               const std::wstring& startPath);

// Selects the start path (lpData) once the dialog is initialised; always 0.
int CALLBACK BrowseFolderCallback(HWND hwnd, UINT uMsg, LPARAM lParam, LPARAM lpData);

// The folder dialog as the window uses it, so tests can choose or cancel.
class IFolderDialog {
 public:
  virtual ~IFolderDialog() = default;
  // Nothing when the user cancels.
  virtual std::optional<std::wstring> Choose(HWND owner, const std::wstring& title,
                                             int32_t rootFolder,
                                             const std::wstring& startPath) = 0;
};

class SystemFolderDialog final : public IFolderDialog {
 public:
  std::optional<std::wstring> Choose(HWND owner, const std::wstring& title, int32_t rootFolder,
                                     const std::wstring& startPath) override {
    return BrowseFolderChoice(owner, title, rootFolder, startPath);
  }
};

}  // namespace norvale
