#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ServicesTestSupport.h"
#include "System.h"
#include "TempDir.h"
#include "clsWinCommon.h"
#include "forms/Application.h"
#include "forms/Form.h"

using namespace testing_support;
namespace forms = norvale::forms;

namespace {

// Answers each dialog as the test says and keeps what the dialog was asked.
class ScriptedDialogs final : public norvale::IDialogs {
 public:
  // The file the user picks; nothing for a cancel.
  std::optional<std::wstring> file;
  struct FileQuestion {
    bool save;
    HWND owner;
    std::wstring title, folder, fileName, filter;
    DWORD flags, filterIndex;
  };
  std::vector<FileQuestion> fileQuestions;

  std::optional<std::wstring> folder;
  struct FolderQuestion {
    HWND owner;
    std::wstring title;
    UINT flags;
    BFFCALLBACK callback;
    std::wstring startFolder;
  };
  std::vector<FolderQuestion> folderQuestions;

  std::function<bool(LOGFONTW&, CHOOSEFONTW&)> font;
  std::vector<LOGFONTW> fontsAsked;
  std::vector<CHOOSEFONTW> fontDialogs;

  std::optional<COLORREF> color;
  std::vector<CHOOSECOLORW> colorDialogs;
  std::vector<COLORREF> customColors;

  intptr_t findResult = 42;
  std::vector<std::wstring> finds;
  int computerFinds = 0;
  std::vector<UINT> runFlags;
  int desktopCloses = 0;

  // The icon picker's result; nothing when this Windows lacks it.
  std::optional<int> iconResult = 1;
  std::wstring iconPicked;
  int indexPicked = 0;
  std::wstring iconAsked;
  int indexAsked = -1;
  UINT iconBufferSize = 0;

  DWORD connectAnswer = NO_ERROR;
  std::vector<DWORD> connectTypes;

  bool OpenFile(OPENFILENAMEW& request) override { return AnswerFile(request, false); }
  bool SaveFile(OPENFILENAMEW& request) override { return AnswerFile(request, true); }
  LPITEMIDLIST BrowseForFolder(BROWSEINFOW& request) override {
    folderQuestions.push_back(
        {request.hwndOwner, request.lpszTitle, request.ulFlags, request.lpfn,
         request.lParam ? reinterpret_cast<const wchar_t*>(request.lParam) : L""});
    return folder ? ILCreateFromPathW(folder->c_str()) : nullptr;
  }
  bool PickFont(CHOOSEFONTW& request) override {
    fontsAsked.push_back(*request.lpLogFont);
    fontDialogs.push_back(request);
    return font && font(*request.lpLogFont, request);
  }
  bool PickColor(CHOOSECOLORW& request) override {
    colorDialogs.push_back(request);
    customColors.assign(request.lpCustColors, request.lpCustColors + 16);
    if (!color) return false;
    request.rgbResult = *color;
    return true;
  }
  intptr_t FindFiles(const std::wstring& where) override {
    finds.push_back(where);
    return findResult;
  }
  bool FindComputer() override {
    ++computerFinds;
    return true;
  }
  bool RunDialog(HWND, UINT flags) override {
    runFlags.push_back(flags);
    return true;
  }
  std::optional<int> PickIcon(HWND, wchar_t* path, UINT size, int* index) override {
    iconAsked = path;
    indexAsked = *index;
    iconBufferSize = size;
    if (iconResult == 1) {
      wcsncpy(path, iconPicked.c_str(), size);
      *index = indexPicked;
    }
    return iconResult;
  }
  bool CloseShellDesktop() override {
    ++desktopCloses;
    return true;
  }
  DWORD ConnectDialog(HWND, DWORD resourceType) override {
    connectTypes.push_back(resourceType);
    return connectAnswer;
  }

 private:
  bool AnswerFile(OPENFILENAMEW& request, bool save) {
    std::wstring filter;
    for (const wchar_t* p = request.lpstrFilter; *p; p += wcslen(p) + 1) filter += p + std::wstring(L"|");
    fileQuestions.push_back({save, request.hwndOwner, request.lpstrTitle,
                             request.lpstrInitialDir ? request.lpstrInitialDir : L"",
                             request.lpstrFile, filter, request.Flags, request.nFilterIndex});
    if (!file) return false;
    wcsncpy(request.lpstrFile, file->c_str(), request.nMaxFile);
    return true;
  }
};

class DialogsTest : public ::testing::Test {
 protected:
  ServicesUnderTest services;
  std::shared_ptr<ScriptedDialogs> dialogs = std::make_shared<ScriptedDialogs>();
  std::unique_ptr<clsWinCommon> win;

  void SetUp() override {
    norvale::WinServicesSeams windows = services.Windows();
    windows.dialogs = dialogs;
    win = std::make_unique<clsWinCommon>(services.Seams(), windows);
  }
  std::wstring CurrentFolder() {
    wchar_t folder[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, folder);
    return folder;
  }
};

// The file dialogs belong to the program's active form.
class FileDialogsTest : public DialogsTest {
 protected:
  forms::Application app;
  forms::Form form{app, L"FrmOwner"};
  void SetUp() override {
    DialogsTest::SetUp();
    ASSERT_TRUE(form.Show());
    SetForegroundWindow(form.hWnd());
    app.DoEvents();
    ASSERT_EQ(app.Screen().ActiveForm(), &form);
  }
};

TEST_F(DialogsTest, FileDialogsWithoutAnActiveFormShowNothing) {
  dialogs->file = L"C:\\a.txt";
  EXPECT_EQ(win->GetFilePathByDialog(), L"");
  EXPECT_EQ(win->GetSaveFilePathByDialog(), L"");
  EXPECT_TRUE(dialogs->fileQuestions.empty());
}

TEST_F(FileDialogsTest, OpenDialogAsksWithItsDefaultsAndReturnsThePathChosen) {
  dialogs->file = L"C:\\Data\\chosen.txt";
  EXPECT_EQ(win->GetFilePathByDialog(), L"C:\\Data\\chosen.txt");
  ASSERT_EQ(dialogs->fileQuestions.size(), 1u);
  const auto& asked = dialogs->fileQuestions[0];
  EXPECT_FALSE(asked.save);
  EXPECT_EQ(asked.owner, form.hWnd());
  EXPECT_EQ(asked.title, L"ファイルを選択して下さい。");
  EXPECT_EQ(asked.folder, CurrentFolder());
  EXPECT_EQ(asked.fileName, L"");
  EXPECT_EQ(asked.filter, L"すべてのﾌｧｲﾙ(*.*)|*.*|");
  EXPECT_EQ(asked.filterIndex, 1u);
  EXPECT_EQ(asked.flags, static_cast<DWORD>(0x1004));

  dialogs->file.reset();
  EXPECT_EQ(win->GetFilePathByDialog(L"題", L"C:\\Data\\a.txt", L"Text|*.txt|All|*.*"), L"");
  const auto& second = dialogs->fileQuestions[1];
  EXPECT_EQ(second.title, L"題");
  EXPECT_EQ(second.folder, win->GetFilePath(L"C:\\Data\\a.txt"));
  EXPECT_EQ(second.fileName, L"a.txt");
  EXPECT_EQ(second.filter, L"Text|*.txt|All|*.*|");
}

TEST_F(FileDialogsTest, SaveDialogAsksBeforeOverwritingAndCreating) {
  dialogs->file = L"C:\\Data\\new.txt";
  EXPECT_EQ(win->GetSaveFilePathByDialog(), L"C:\\Data\\new.txt");
  const auto& asked = dialogs->fileQuestions[0];
  EXPECT_TRUE(asked.save);
  EXPECT_EQ(asked.title, L"保存するファイルを指定して下さい。");
  EXPECT_EQ(asked.folder, CurrentFolder());
  EXPECT_EQ(asked.fileName, L"");
  EXPECT_EQ(asked.flags, static_cast<DWORD>(OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_CREATEPROMPT));

  dialogs->file.reset();
  EXPECT_EQ(win->GetSaveFilePathByDialog(L"", L"", OFN_NOCHANGEDIR, L" C:\\Out\\b.csv "), L"");
  const auto& second = dialogs->fileQuestions[1];
  EXPECT_EQ(second.folder, win->GetFilePath(L"C:\\Out\\b.csv"));
  EXPECT_EQ(second.fileName, L"b.csv");
  EXPECT_EQ(second.flags, static_cast<DWORD>(OFN_NOCHANGEDIR));
}

TEST_F(DialogsTest, FolderDialogChoosesFileSystemFoldersAndStartsInTheDefault) {
  TempDir dir(L"folder");
  dialogs->folder = dir.Path();
  EXPECT_EQ(win->GetFolder(nullptr, L"  ", nullptr, dir.Path()), dir.Path());
  ASSERT_EQ(dialogs->folderQuestions.size(), 1u);
  const auto& asked = dialogs->folderQuestions[0];
  EXPECT_EQ(asked.title, L"フォルダを選択して下さい。");
  EXPECT_EQ(asked.flags, static_cast<UINT>(BIF_RETURNONLYFSDIRS));
  EXPECT_EQ(asked.callback, &clsWinCommon::BFFCallback);
  EXPECT_EQ(asked.startFolder, dir.Path());

  dialogs->folder.reset();
  EXPECT_EQ(win->GetFolder(nullptr, L"選んで"), L"");
  EXPECT_EQ(dialogs->folderQuestions[1].title, L"選んで");
  EXPECT_EQ(dialogs->folderQuestions[1].callback, nullptr);
  EXPECT_EQ(clsWinCommon::BFFCallback(nullptr, BFFM_SELCHANGED, 0, 0), 0);
}

TEST_F(DialogsTest, FontDialogConvertsPointsAndStylesBothWays) {
  std::wstring name = L"ＭＳ ゴシック";
  int32_t size = 12, color = 0x0000FF;
  bool bold = true, italic = false, strike = true, underline = false;
  dialogs->font = [](LOGFONTW& font, CHOOSEFONTW& dialog) {
    wcscpy(font.lfFaceName, L"Arial");
    font.lfHeight = -14;
    font.lfWeight = 600;
    font.lfItalic = 1;
    font.lfStrikeOut = 0;
    font.lfUnderline = 0xFF;
    dialog.rgbColors = 0x00FF00;
    return true;
  };
  ASSERT_TRUE(win->GetFONT(nullptr, name, size, bold, italic, strike, underline, color));
  const LOGFONTW& asked = dialogs->fontsAsked[0];
  EXPECT_STREQ(asked.lfFaceName, L"ＭＳ ゴシック");
  EXPECT_EQ(asked.lfHeight, 16);
  EXPECT_EQ(asked.lfWeight, 700);
  EXPECT_EQ(asked.lfStrikeOut, 0xFF);
  EXPECT_EQ(asked.lfItalic, 0);
  EXPECT_EQ(dialogs->fontDialogs[0].nSizeMin, 8);
  EXPECT_EQ(dialogs->fontDialogs[0].nSizeMax, 24);
  EXPECT_EQ(dialogs->fontDialogs[0].rgbColors, 0x0000FFu);
  EXPECT_EQ(name, L"Arial");
  EXPECT_EQ(size, 10) << "14 pixels are 10.5 points, rounded to even";
  EXPECT_TRUE(bold) << "a semi-bold weight reads as bold";
  EXPECT_TRUE(italic);
  EXPECT_FALSE(strike);
  EXPECT_TRUE(underline);
  EXPECT_EQ(color, 0x00FF00);

  int32_t nine = 9;
  dialogs->font = nullptr;
  EXPECT_FALSE(win->GetFONT(nullptr, name, nine, bold, italic, strike, underline, color));
  EXPECT_EQ(dialogs->fontsAsked[1].lfHeight, 12);
}

TEST_F(DialogsTest, CancelledFontDialogChangesNothing) {
  std::wstring name = L"Arial";
  int32_t size = 11, color = 5;
  bool bold = false, italic = true, strike = false, underline = true;
  EXPECT_FALSE(win->GetFONT(nullptr, name, size, bold, italic, strike, underline, color));
  EXPECT_EQ(dialogs->fontsAsked[0].lfHeight, 15);
  EXPECT_EQ(name, L"Arial");
  EXPECT_EQ(size, 11);
  EXPECT_FALSE(bold);
  EXPECT_TRUE(italic);
  EXPECT_TRUE(underline);
  EXPECT_EQ(color, 5);
}

TEST_F(DialogsTest, ColourDialogOpensExpandedWithWhiteCustomColours) {
  int32_t color = 0x123456;
  dialogs->color = 0x00ABCDEF;
  EXPECT_TRUE(win->GetColorDialog(nullptr, color));
  EXPECT_EQ(color, 0x00ABCDEF);
  const CHOOSECOLORW& asked = dialogs->colorDialogs[0];
  EXPECT_EQ(asked.rgbResult, 0x123456u);
  EXPECT_EQ(asked.Flags, static_cast<DWORD>(CC_RGBINIT | CC_FULLOPEN));
  EXPECT_EQ(dialogs->customColors, std::vector<COLORREF>(16, RGB(255, 255, 255)));

  dialogs->color.reset();
  EXPECT_FALSE(win->GetColorDialog(nullptr, color));
  EXPECT_EQ(color, 0x00ABCDEF);
}

TEST_F(DialogsTest, FileSearchReportsWhatTheShellCouldNotDo) {
  win->OpenFileFindDialog(L"C:\\Data");
  EXPECT_EQ(dialogs->finds, std::vector<std::wstring>{L"C:\\Data"});
  EXPECT_TRUE(services.boxes->Asked().empty());

  const std::pair<intptr_t, std::wstring> failures[] = {
      {0, L"メモリ不足です。"},
      {2, L"ファイルが見つかりません。"},
      {3, L"ファイルのパスが見つかりません。"},
      {8, L" 8その他のエラー"},
      {32, L" 32その他のエラー"}};
  for (const auto& [result, text] : failures) {
    services.boxes->Clear();
    dialogs->findResult = result;
    win->OpenFileFindDialog(L"C:\\Data");
    ASSERT_EQ(services.boxes->Asked().size(), 1u) << result;
    EXPECT_EQ(services.boxes->Asked()[0].text, text);
    EXPECT_EQ(services.boxes->Asked()[0].title, norvale::ProgramTitle());
    EXPECT_EQ(services.boxes->Asked()[0].style, static_cast<unsigned>(MB_OK | MB_ICONSTOP));
  }
}

TEST_F(DialogsTest, RunSearchAndShutDownDialogsAreHandedToTheShell) {
  for (int32_t sw : {1, 0, 2, -1}) win->OpenRunDialog(nullptr, sw);
  EXPECT_EQ(dialogs->runFlags, (std::vector<UINT>{2, 0, 0, 0}));
  win->OpenCompFindDialog();
  EXPECT_EQ(dialogs->computerFinds, 1);
  win->ExitWindowsDialog();
  EXPECT_EQ(dialogs->desktopCloses, 1);
}

TEST_F(DialogsTest, IconPickerStartsInAnExistingFileElseInTheSystemIcons) {
  TempDir dir(L"icons");
  const std::wstring iconFile = dir / L"app.ico";
  WriteFileBytes(iconFile, "icon");
  std::wstring file = iconFile;
  int32_t index = 3;
  dialogs->iconPicked = L"C:\\other.dll";
  dialogs->indexPicked = 7;
  EXPECT_EQ(win->OpenChangeIconDialog(nullptr, file, index), 1);
  EXPECT_EQ(dialogs->iconAsked, iconFile);
  EXPECT_EQ(dialogs->indexAsked, 3);
  EXPECT_GE(dialogs->iconBufferSize, static_cast<UINT>(MAX_PATH));
  EXPECT_EQ(file, L"C:\\other.dll");
  EXPECT_EQ(index, 7);

  dialogs->iconResult = 0;
  file = dir / L"missing.ico";
  index = 9;
  EXPECT_EQ(win->OpenChangeIconDialog(nullptr, file, index), 0);
  EXPECT_EQ(dialogs->iconAsked, win->GetSysDir() + L"\\SHELL32.DLL");
  EXPECT_EQ(file, win->GetSysDir() + L"\\SHELL32.DLL") << "a cancel hands back the start";
  EXPECT_EQ(index, 0);

  dialogs->iconResult.reset();
  file = dir.Path();  // a folder is no icon file
  EXPECT_EQ(win->OpenChangeIconDialog(nullptr, file, index), 0) << "no picker in this Windows";
}

TEST_F(DialogsTest, NetworkDriveAndFormatDialogs) {
  EXPECT_TRUE(win->ConnectNetDriveDialog(nullptr));
  dialogs->connectAnswer = static_cast<DWORD>(-1);
  EXPECT_FALSE(win->ConnectNetDriveDialog(nullptr)) << "cancelled";
  EXPECT_EQ(dialogs->connectTypes, (std::vector<DWORD>{RESOURCETYPE_DISK, RESOURCETYPE_DISK}));

  services.actions->dialogAnswer = static_cast<DWORD>(-2);
  EXPECT_EQ(win->GetDiskFormatDialog(nullptr, L"a:"), -2);
  EXPECT_EQ(win->GetDiskFormatDialog(nullptr, L""), -1);
  EXPECT_EQ(win->GetDiskFormatDialog(nullptr, L"1"), -1);
  ASSERT_EQ(services.actions->calls.size(), 1u);
  EXPECT_EQ(services.actions->calls[0].rfind(L"format 0 ", 0), 0u) << services.actions->calls[0];
}

// The shell's unnamed entries are bound by number when called; a number
// that is not there binds nothing.
TEST(ShellOrdinalsTest, EntriesAreBoundByOrdinalOrNotAtAll) {
  LoadLibraryW(L"shell32.dll");
  EXPECT_NE(norvale::EntryByOrdinal(L"shell32.dll", 61), nullptr);
  EXPECT_NE(norvale::EntryByOrdinal(L"shell32.dll", 62), nullptr);
  EXPECT_EQ(norvale::EntryByOrdinal(L"shell32.dll", 65000), nullptr);
  EXPECT_EQ(norvale::EntryByOrdinal(L"nvws-no-such-module.dll", 61), nullptr);
}

}  // namespace
