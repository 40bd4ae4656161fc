#include "basNorvale.h"

#include <shlobj.h>

#include <vector>

#include "Text.h"
#include "forms/Application.h"

namespace norvale {

namespace {

// Frees an item list the shell handed out.
struct ItemList {
  PIDLIST_ABSOLUTE pidl = nullptr;
  ~ItemList() {
    if (pidl) CoTaskMemFree(pidl);
  }
};

}  // namespace

void CALLBACK InetStatusCallback(HINTERNET, DWORD_PTR, DWORD, LPVOID, DWORD) {
  try {
    if (forms::Application::Current()) forms::PumpWaitingMessages();
  } catch (...) {
  }
}

int CALLBACK BrowseFolderCallback(HWND hwnd, UINT uMsg, LPARAM, LPARAM lpData) {
  // The wide form of the selection message: the start path is kept as
  // UTF-16, so Japanese folder names survive whatever the code page.
  if (uMsg == BFFM_INITIALIZED) SendMessageW(hwnd, BFFM_SETSELECTIONW, TRUE, lpData);
  return 0;
}

std::optional<std::wstring> BrowseFolderChoice(HWND owner, const std::wstring& title,
                                               int32_t rootFolder,
                                               const std::wstring& startPath) {
  try {
    ItemList root;
    if (rootFolder != 0) {
      SHGetSpecialFolderLocation(owner, rootFolder, &root.pidl);
    }
    std::vector<wchar_t> displayName(MAX_PATH, L'\0');
    std::wstring callbackData = startPath;  // c_str() ends it with the NUL
    BROWSEINFOW info{};
    info.hwndOwner = owner;
    info.pidlRoot = root.pidl;
    info.pszDisplayName = displayName.data();
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    info.lpfn = &BrowseFolderCallback;
    info.lParam = reinterpret_cast<LPARAM>(callbackData.c_str());
    info.iImage = 0;
    ItemList chosen;
    chosen.pidl = SHBrowseForFolderW(&info);
    if (!chosen.pidl) return std::nullopt;
    std::vector<wchar_t> path(MAX_PATH, L'\0');
    if (!SHGetPathFromIDListW(chosen.pidl, path.data())) return std::wstring();
    return CutAtNull(std::wstring_view(path.data(), path.size()));
  } catch (...) {
    return std::nullopt;
  }
}

std::wstring BrowseFolder(HWND owner, const std::wstring& title, int32_t rootFolder,
                          const std::wstring& startPath) {
  return BrowseFolderChoice(owner, title, rootFolder, startPath).value_or(startPath);
}

}  // namespace norvale
