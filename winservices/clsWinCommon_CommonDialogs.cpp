// The common dialogs: a file to open or save, a folder, a font, a colour.
#include <cmath>
#include <cstdlib>

#include "Text.h"
#include "clsWinCommon.h"
#include "forms/Application.h"
#include "forms/Form.h"

using namespace norvale;

namespace {

constexpr wchar_t kAllFilesFilter[] = L"すべてのﾌｧｲﾙ(*.*)|*.*";
// Long enough for any path the dialogs can hand back.
constexpr size_t kPathChars = 32768;
constexpr size_t kCustomFilterChars = 40;
constexpr LONG kNormalWeight = 400;
constexpr LONG kBoldWeight = 700;
constexpr double kPointsPerPixel = 0.75;  // at 96 pixels per inch

std::wstring OrDefault(const std::wstring& text, const wchar_t* fallback) {
  return IsBlank(text) ? std::wstring(fallback) : text;
}

std::wstring CurrentFolder() {
  const DWORD size = GetCurrentDirectoryW(0, nullptr);
  if (size == 0) return L"";
  std::wstring folder(size, L'\0');
  return CutAtNull(std::wstring_view(folder.data(), GetCurrentDirectoryW(size, folder.data())));
}

// "description|pattern|..." as the dialogs want it: NUL-separated pairs
// ending with two NULs.
std::wstring DialogFilter(const std::wstring& select) {
  std::wstring filter = OrDefault(select, kAllFilesFilter);
  for (wchar_t& c : filter) {
    if (c == L'|') c = L'\0';
  }
  filter.append(2, L'\0');
  return filter;
}

struct FileDialogRequest {
  HWND owner;
  std::wstring title, folder, fileName, filter;
  DWORD flags;
};

// The chosen file's full path, "" on cancel.
std::wstring AskForFile(IDialogs& dialogs, bool save, const FileDialogRequest& request) {
  std::wstring file(kPathChars, L'\0');
  request.fileName.copy(file.data(), std::min(request.fileName.size(), kPathChars - 1));
  std::wstring fileTitle(kPathChars, L'\0');
  std::wstring customFilter(kCustomFilterChars, L'\0');
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof(dialog);
  dialog.hwndOwner = request.owner;
  dialog.lpstrFilter = request.filter.c_str();
  dialog.lpstrCustomFilter = customFilter.data();
  dialog.nMaxCustFilter = static_cast<DWORD>(customFilter.size());
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = file.data();
  dialog.nMaxFile = static_cast<DWORD>(file.size());
  dialog.lpstrFileTitle = fileTitle.data();
  dialog.nMaxFileTitle = static_cast<DWORD>(fileTitle.size());
  dialog.lpstrInitialDir = request.folder.empty() ? nullptr : request.folder.c_str();
  dialog.lpstrTitle = request.title.c_str();
  dialog.Flags = request.flags;
  const bool chosen = save ? dialogs.SaveFile(dialog) : dialogs.OpenFile(dialog);
  return chosen ? CutAtNull(file) : L"";
}

// Half-points round to the even neighbour, as the dialog's sizes do.
int32_t RoundHalfEven(double value) { return static_cast<int32_t>(std::nearbyint(value)); }

}  // namespace

HWND clsWinCommon::ActiveFormWindow() {
  const forms::Application* app = forms::Application::Current();
  if (!app) return nullptr;
  const forms::Form* form = app->Screen().ActiveForm();
  return form ? form->hWnd() : nullptr;
}

std::wstring clsWinCommon::GetFilePathByDialog(const std::wstring& aStrTitle,
                                               const std::wstring& aStrInitPath,
                                               const std::wstring& aStrSelect) {
  try {
    FileDialogRequest request;
    request.owner = ActiveFormWindow();
    if (!request.owner) return L"";
    request.title = OrDefault(aStrTitle, L"ファイルを選択して下さい。");
    request.folder = Trim(GetFilePath(aStrInitPath));
    if (request.folder.empty()) request.folder = CurrentFolder();
    request.fileName = Trim(GetFileID(aStrInitPath));
    request.filter = DialogFilter(aStrSelect);
    request.flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    return AskForFile(*windows_.dialogs, false, request);
  } catch (...) {
    return L"";
  }
}

std::wstring clsWinCommon::GetSaveFilePathByDialog(const std::wstring& aStrTitle,
                                                   const std::wstring& aStrSelect,
                                                   int32_t aLngFlag,
                                                   const std::wstring& aStrIniPath) {
  try {
    FileDialogRequest request;
    request.owner = ActiveFormWindow();
    if (!request.owner) return L"";
    request.title = OrDefault(aStrTitle, L"保存するファイルを指定して下さい。");
    const std::wstring initialPath = Trim(aStrIniPath);
    if (initialPath.empty()) {
      request.folder = CurrentFolder();
    } else {
      request.folder = GetFilePath(initialPath);
      request.fileName = GetFileID(initialPath);
    }
    request.filter = DialogFilter(aStrSelect);
    request.flags = aLngFlag != 0 ? static_cast<DWORD>(aLngFlag)
                                  : OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_CREATEPROMPT;
    return AskForFile(*windows_.dialogs, true, request);
  } catch (...) {
    return L"";
  }
}

std::wstring clsWinCommon::GetFolder(HWND hwnd, const std::wstring& Title, LPCITEMIDLIST aPidRoot,
                                     const std::wstring& DefDir) {
  try {
    const std::wstring title = OrDefault(Trim(Title), L"フォルダを選択して下さい。");
    const std::wstring startFolder = Trim(DefDir);
    wchar_t displayName[MAX_PATH] = {};
    BROWSEINFOW browse{};
    browse.hwndOwner = hwnd;
    browse.pidlRoot = aPidRoot;
    browse.pszDisplayName = displayName;
    browse.lpszTitle = title.c_str();
    browse.ulFlags = BIF_RETURNONLYFSDIRS;
    if (!startFolder.empty()) {
      browse.lpfn = BFFCallback;
      browse.lParam = reinterpret_cast<LPARAM>(startFolder.c_str());
    }
    ItemIdList chosen(windows_.dialogs->BrowseForFolder(browse));
    if (!chosen) return L"";
    wchar_t path[MAX_PATH + 2] = {};
    if (!SHGetPathFromIDListW(chosen.Get(), path)) return L"";
    return CutAtNull(std::wstring_view(path, std::size(path)));
  } catch (...) {
    return L"";
  }
}

int CALLBACK clsWinCommon::BFFCallback(HWND hwnd, UINT uMsg, LPARAM, LPARAM lpData) {
  if (uMsg == BFFM_INITIALIZED && lpData) SendMessageW(hwnd, BFFM_SETSELECTIONW, TRUE, lpData);
  return 0;
}

bool clsWinCommon::GetFONT(HWND aLngHwnd, std::wstring& strFontName, int32_t& lngFontSize,
                           bool& bolFontBold, bool& bolFontItalic, bool& bolFontStrikethrough,
                           bool& bolFontUnderline, int32_t& lngColor) {
  try {
    LOGFONTW font{};
    strFontName.copy(font.lfFaceName,
                     std::min(strFontName.size(), std::size(font.lfFaceName) - 1));
    font.lfHeight = RoundHalfEven(lngFontSize / kPointsPerPixel);
    font.lfWeight = bolFontBold ? kBoldWeight : kNormalWeight;
    font.lfItalic = bolFontItalic ? 0xFF : 0;
    font.lfUnderline = bolFontUnderline ? 0xFF : 0;
    font.lfStrikeOut = bolFontStrikethrough ? 0xFF : 0;
    CHOOSEFONTW dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = aLngHwnd;
    dialog.lpLogFont = &font;
    dialog.Flags = CF_SCREENFONTS | CF_PRINTERFONTS | CF_INITTOLOGFONTSTRUCT | CF_EFFECTS |
                   CF_LIMITSIZE;
    dialog.rgbColors = static_cast<COLORREF>(lngColor);
    dialog.nSizeMin = 8;
    dialog.nSizeMax = 24;
    if (!windows_.dialogs->PickFont(dialog)) return false;
    strFontName = CutAtNull(std::wstring_view(font.lfFaceName, std::size(font.lfFaceName)));
    bolFontBold = font.lfWeight != kNormalWeight;
    bolFontItalic = font.lfItalic != 0;
    bolFontStrikethrough = font.lfStrikeOut != 0;
    bolFontUnderline = font.lfUnderline != 0;
    lngFontSize = RoundHalfEven(std::abs(static_cast<double>(font.lfHeight)) * kPointsPerPixel);
    lngColor = static_cast<int32_t>(dialog.rgbColors);
    return true;
  } catch (...) {
    return false;
  }
}

bool clsWinCommon::GetColorDialog(HWND hwnd, int32_t& color) {
  try {
    COLORREF customColors[16];
    std::fill(std::begin(customColors), std::end(customColors), RGB(255, 255, 255));
    CHOOSECOLORW dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = hwnd;
    dialog.rgbResult = static_cast<COLORREF>(color);
    dialog.lpCustColors = customColors;
    dialog.Flags = CC_RGBINIT | CC_FULLOPEN;
    const bool chosen = windows_.dialogs->PickColor(dialog);
    color = static_cast<int32_t>(dialog.rgbResult);
    return chosen;
  } catch (...) {
    return false;
  }
}
