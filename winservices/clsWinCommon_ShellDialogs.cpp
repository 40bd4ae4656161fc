// The shell's own dialogs and search windows.
#include "clsWinCommon.h"

#include <winnetwk.h>

#include <algorithm>

#include "System.h"
#include "Text.h"

using namespace norvale;

namespace {

constexpr UINT kRunNoDefault = 2;  // RFF_NODEFAULT
constexpr size_t kIconPathChars = MAX_PATH;

std::wstring FindFailureText(intptr_t result) {
  switch (result) {
    case 0: return L"メモリ不足です。";
    case ERROR_FILE_NOT_FOUND: return L"ファイルが見つかりません。";
    case ERROR_PATH_NOT_FOUND: return L"ファイルのパスが見つかりません。";
    default: return (result >= 0 ? L" " : L"") + std::to_wstring(result) + L"その他のエラー";
  }
}

bool IsExistingFile(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

void clsWinCommon::OpenFileFindDialog(const std::wstring& FilePath) {
  try {
    const intptr_t result = windows_.dialogs->FindFiles(FilePath);
    if (result > 32) return;
    seams_.messageBox->Show(FindFailureText(result), ProgramTitle(), MB_OK | MB_ICONSTOP);
  } catch (...) {
  }
}

void clsWinCommon::OpenCompFindDialog() {
  try {
    windows_.dialogs->FindComputer();
  } catch (...) {
  }
}

void clsWinCommon::OpenRunDialog(HWND hwnd, int32_t sw) {
  try {
    windows_.dialogs->RunDialog(hwnd, sw == 1 ? kRunNoDefault : 0);
  } catch (...) {
  }
}

void clsWinCommon::ExitWindowsDialog() {
  try {
    windows_.dialogs->CloseShellDesktop();
  } catch (...) {
  }
}

int16_t clsWinCommon::OpenChangeIconDialog(HWND hwnd, std::wstring& IconFile,
                                           int32_t& Iconindex) {
  try {
    std::wstring startFile = IconFile;
    int index = Iconindex;
    if (!IsExistingFile(IconFile)) {
      startFile = GetSysDir() + L"\\SHELL32.DLL";
      index = 0;
    }
    // The user may browse to another file: room for any path, at least the
    // dialog's usual size.
    std::wstring buffer(std::max(kIconPathChars, startFile.size() + 1), L'\0');
    startFile.copy(buffer.data(), startFile.size());
    const std::optional<int> result = windows_.dialogs->PickIcon(
        hwnd, buffer.data(), static_cast<UINT>(buffer.size()), &index);
    IconFile = CutAtNull(buffer);
    Iconindex = index;
    return result ? static_cast<int16_t>(*result) : 0;
  } catch (...) {
    return 0;
  }
}

bool clsWinCommon::ConnectNetDriveDialog(HWND hwnd) {
  try {
    return windows_.dialogs->ConnectDialog(hwnd, RESOURCETYPE_DISK) == NO_ERROR;
  } catch (...) {
    return false;
  }
}

// Only a drive letter names a drive: anything else would hand the shell a
// drive number outside A: to Z:.
int32_t clsWinCommon::GetDiskFormatDialog(HWND hwnd, const std::wstring& Drv) {
  try {
    if (Drv.empty()) return -1;
    const wchar_t letter = static_cast<wchar_t>(towupper(Drv[0]));
    if (letter < L'A' || letter > L'Z') return -1;
    return static_cast<int32_t>(windows_.actions->FormatDriveDialog(
        hwnd, static_cast<UINT>(letter - L'A'), SHFMT_ID_DEFAULT, 0));
  } catch (...) {
    return -1;
  }
}
