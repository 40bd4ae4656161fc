// Back and Next over every shape of setup record, the install folder's
// checks and their questions, the letter keys, Cancel away from the
// progress page, and the finish page's ways out.
#include <shlobj.h>

#include <gtest/gtest.h>

#include "FileSystem.h"
#include "Fonts.h"
#include "PageMachineSupport.h"
#include "SampleRecords.h"
#include "TempDir.h"
#include "Text.h"
#include "WinServicesTestSupport.h"

using namespace norvale;
using namespace wizard_testing;
using testing_support::ScopedRegKey;
using testing_support::TempDir;

namespace {

const std::wstring kGoOn = L"インストールを続行しますか？";
const std::wstring kChooseTail =
    L"★続行する場合は「はい」を、インストール先の変更、又は\r\n"
    L"\u3000インストールを中止する場合は「いいえ」を押して下さい。";
const std::wstring kDeleteWarning =
    L"\r\n\r\nインストールを続行すると現在のフォルダ及び全ファイルは削除されます。\r\n"
    L"（「はい」ボタンを押すとフォルダごと削除されますのでご注意下さい）\r\n\r\n"
    L"★インストールを続行しますか？";

void WriteFile(const std::wstring& path, const std::string& bytes) {
  testing_support::WriteFileBytes(path, bytes);
}

// Shapes of the record: option groups, input items, tasks.
void NoInputs(InstallerState& s) {
  FillPlain(s);
  ClearList(s.InputItemCount, s.InputItems);
}
void TasksOnly(InstallerState& s) {
  NoInputs(s);
  AddTask(s, L"追加:", L"デスクトップにアイコンを作成する", 1);
}
void GroupsNoInputs(InstallerState& s) {
  FillTypical(s);
  ClearList(s.InputItemCount, s.InputItems);
}
void GroupsOnly(InstallerState& s) {
  GroupsNoInputs(s);
  ClearList(s.CheckItemCount, s.CheckItems);
}
void GroupsAndInputs(InstallerState& s) {
  FillTypical(s);
  ClearList(s.CheckItemCount, s.CheckItems);
}

struct Move {
  const char* shape;
  void (*fill)(InstallerState&);
  int16_t page, subPage, button, toPage, toSubPage;
};

class PageMachineTest : public ::testing::Test {
 protected:
  TempDir temp_{L"pages"};
  MachineWizard w_;

  WizardProbe& Open(void (*fill)(InstallerState&), bool show = false) {
    return w_.Open(fill, show);
  }
  // Page 2, sub-page 1, with the folder text given.
  WizardProbe& OnFolderPage(const std::wstring& folder, void (*fill)(InstallerState&) = FillPlain) {
    WizardProbe& f = Open(fill);
    f.OpenPage(2, 1);
    f.T_Input(1)->Text(folder);
    return f;
  }
};

TEST_F(PageMachineTest, BackAndNextFollowTheTablesForEveryShape) {
  const Move moves[] = {
      // Back.
      {"typical", FillTypical, 1, 2, 0, 1, 1},
      {"typical", FillTypical, 1, 1, 0, 0, 0},
      {"typical", FillTypical, 2, 2, 0, 2, 1},
      {"crowded", FillCrowded, 2, 1, 0, 1, 3},
      {"plain", FillPlain, 2, 1, 0, 0, 0},
      {"typical", FillTypical, 3, 0, 0, 2, 1},
      {"groups, no inputs", GroupsNoInputs, 3, 0, 0, 1, 2},
      {"tasks only", TasksOnly, 3, 0, 0, 0, 0},
      {"typical", FillTypical, 4, 0, 0, 3, 0},
      {"plain", FillPlain, 4, 0, 0, 2, 2},
      {"groups and inputs", GroupsAndInputs, 4, 0, 0, 2, 2},
      {"groups only", GroupsOnly, 4, 0, 0, 1, 2},
      {"no inputs", NoInputs, 4, 0, 0, 0, 0},
      {"typical", FillTypical, 0, 0, 0, 0, 0},
      // Next.
      {"typical", FillTypical, 0, 0, 1, 1, 1},
      {"plain", FillPlain, 0, 0, 1, 2, 1},
      {"tasks only", TasksOnly, 0, 0, 1, 3, 1},
      {"no inputs", NoInputs, 0, 0, 1, 4, 0},
      {"crowded", FillCrowded, 1, 2, 1, 1, 3},
      {"crowded", FillCrowded, 1, 3, 1, 2, 1},
      {"groups, no inputs", GroupsNoInputs, 1, 2, 1, 3, 1},
      {"groups only", GroupsOnly, 1, 2, 1, 4, 0},
      {"typical", FillTypical, 2, 1, 1, 3, 0},
      {"plain", FillPlain, 2, 1, 1, 4, 0},
      {"plain", FillPlain, 2, 2, 1, 4, 0},
      {"typical", FillTypical, 3, 1, 1, 4, 0},
      {"typical", FillTypical, 5, 0, 1, 5, 0},
  };
  for (const Move& m : moves) {
    SCOPED_TRACE(std::string(m.shape) + " page " + std::to_string(m.page) + "." +
                 std::to_string(m.subPage) + (m.button == 0 ? " Back" : " Next"));
    MachineWizard w;
    WizardProbe& f = w.Open(m.fill);
    f.OpenPage(m.page, m.subPage);
    if (f.T_Input(1)) f.T_Input(1)->Text(temp_ / L"not there yet");
    f.C_Skip_Click(m.button);
    EXPECT_EQ(m.toPage, w.S().PageNo);
    EXPECT_EQ(m.toSubPage, w.S().SubPageNo);
    EXPECT_TRUE(w.Asked().empty());
    // The new page is the one on show.
    forms::Frame* shown[] = {&f.F_Start, &f.F_Select, &f.F_Input, &f.F_Check, &f.F_END, &f.F_SETUP};
    if (m.toPage <= 5) {
      EXPECT_TRUE(shown[m.toPage]->Visible());
    }
  }
}

TEST_F(PageMachineTest, FiveGroupsMakeThreeSubPagesBothWays) {
  WizardProbe& f = Open(FillCrowded);
  f.T_Input(1)->Text(temp_ / L"new");
  std::vector<std::pair<int16_t, int16_t>> path;
  for (int i = 0; i < 6; ++i) {
    f.C_Skip_Click(1);
    path.emplace_back(w_.S().PageNo, w_.S().SubPageNo);
  }
  const std::vector<std::pair<int16_t, int16_t>> forward = {{1, 1}, {1, 2}, {1, 3},
                                                            {2, 1}, {3, 0}, {4, 0}};
  EXPECT_EQ(forward, path);
  path.clear();
  for (int i = 0; i < 6; ++i) {
    f.C_Skip_Click(0);
    path.emplace_back(w_.S().PageNo, w_.S().SubPageNo);
  }
  const std::vector<std::pair<int16_t, int16_t>> back = {{3, 0}, {2, 1}, {1, 3},
                                                         {1, 2}, {1, 1}, {0, 0}};
  EXPECT_EQ(back, path);
}

TEST_F(PageMachineTest, ABlankFolderAsksForOneOnTheInputPageAndBeforeInstalling) {
  for (const std::wstring blank : {L"", L"   "}) {
    MachineWizard w;
    WizardProbe& f = w.Open(FillPlain);
    f.OpenPage(2, 1);
    f.T_Input(1)->Text(blank);
    f.C_Skip_Click(1);
    EXPECT_EQ(2, w.S().PageNo);
    ASSERT_EQ(1u, w.Asked().size());
    EXPECT_EQ(L"インストール先を入力して下さい", w.Asked()[0].title);
    EXPECT_EQ(L"インストール先のフォルダが入力されていません！\r\n"
              L"インストール先フォルダを入力して下さい。",
              w.Asked()[0].text);
    EXPECT_EQ(unsigned(MB_OK | MB_ICONINFORMATION | MB_SYSTEMMODAL), w.Asked()[0].style);

    w.S().InputItems[1].value = blank;
    f.OpenPage(4, 0);
    f.C_Skip_Click(1);
    EXPECT_EQ(4, w.S().PageNo);
    ASSERT_EQ(2u, w.Asked().size());
    EXPECT_EQ(L"未設定の項目があります！", w.Asked()[1].title);
    EXPECT_EQ(L"インストール先フォルダが設定されていません！\r\n\r\n"
              L"★「戻る」をクリックして入力を行って下さい。",
              w.Asked()[1].text);
    EXPECT_EQ(unsigned(MB_OK | MB_ICONINFORMATION), w.Asked()[1].style);
  }
}

TEST_F(PageMachineTest, TooLittleOrUnknownFreeSpaceAsksWhetherToGoOn) {
  struct Case {
    const wchar_t* folder;
    int64_t alert;
    const wchar_t* head;
  };
  const std::wstring here = temp_ / L"new";
  const Case cases[] = {
      {L"Q:\\Norvale", 10000, L"インストール先ドライブの空き容量を取得できませんでした！\r\n"
                              L"インストール先を続行しますか？"},
      {here.c_str(), INT64_C(900000000000000) * 10000,
       L"インストール先ドライブの容量が不足しています！\r\n"
       L"インストール先を変更するかインストールを中止して下さい。"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    MachineWizard w;
    WizardProbe& f = w.Open(FillPlain);
    w.S().AlertSpaceOnDisk = c.alert;
    f.OpenPage(2, 1);
    f.T_Input(1)->Text(c.folder);
    w.Box().Answer(IDNO);
    f.C_Skip_Click(1);
    EXPECT_EQ(2, w.S().PageNo);
    ASSERT_EQ(1u, w.Asked().size());
    EXPECT_EQ(kGoOn, w.Asked()[0].title);
    EXPECT_EQ(std::wstring(c.head) +
                  L"\r\n（インストールを続行しても正常に動作しない可能性があります）\r\n\r\n" +
                  kChooseTail,
              w.Asked()[0].text);
    EXPECT_EQ(unsigned(MB_YESNO | MB_ICONINFORMATION | MB_DEFBUTTON2), w.Asked()[0].style);
    w.Box().Answer(IDYES);
    f.C_Skip_Click(1);
    EXPECT_EQ(4, w.S().PageNo);
  }
  // Without a limit nothing is asked; from the group item nothing either.
  MachineWizard w;
  WizardProbe& f = w.Open(FillPlain);
  f.OpenPage(2, 1);
  f.T_Input(1)->Text(L"Q:\\Norvale");
  f.C_Skip_Click(1);
  EXPECT_EQ(4, w.S().PageNo);
  w.S().AlertSpaceOnDisk = 10000;
  f.T_Input(1)->Text(L"");
  f.OpenPage(2, 2);
  f.C_Skip_Click(1);
  EXPECT_EQ(4, w.S().PageNo);
  EXPECT_TRUE(w.Asked().empty());
}

TEST_F(PageMachineTest, AnExistingFolderIsDeletedOnYesAndEndsTheInstallerOnNo) {
  const std::wstring folder = temp_ / L"Norvale";
  ASSERT_EQ(0, CreateMissingLevels(folder + L"\\data", nullptr));
  WriteFile(folder + L"\\data\\old.txt", "old");

  WizardProbe& f = OnFolderPage(folder);
  w_.Box().Answer(IDYES);
  f.C_Skip_Click(1);
  ASSERT_EQ(1u, w_.Asked().size());
  EXPECT_EQ(kGoOn, w_.Asked()[0].title);
  EXPECT_EQ(L"インストール先フォルダ[" + folder + L"]が存在します！" + kDeleteWarning,
            w_.Asked()[0].text);
  EXPECT_EQ(unsigned(MB_YESNO | MB_ICONINFORMATION | MB_DEFBUTTON2), w_.Asked()[0].style);
  EXPECT_FALSE(FolderExists(folder));
  EXPECT_EQ(4, w_.S().PageNo);

  // From the group item the folder is checked as well; No closes at once.
  ASSERT_EQ(0, CreateMissingLevels(folder, nullptr));
  w_.window.reset();  // one installer at a time
  MachineWizard w;
  WizardProbe& g = w.Open(FillPlain);
  g.OpenPage(2, 2);
  g.T_Input(1)->Text(L"  " + folder + L"  ");
  w.Box().Answer(IDNO);
  g.C_Skip_Click(1);
  ASSERT_EQ(1u, w.Asked().size());  // no closing question after it
  EXPECT_EQ(nullptr, g.State());
  EXPECT_FALSE(g.IsLoaded());
  EXPECT_TRUE(FolderExists(folder));
}

TEST_F(PageMachineTest, AnEarlierInstallationIsNamedAndAFailedDeletionReported) {
  const std::wstring folder = temp_ / L"Norvale POS";
  ASSERT_EQ(0, CreateMissingLevels(folder + L"\\Uninst", nullptr));
  WriteFile(folder + L"\\Uninst\\Dekant00.exe", "MZ");
  const std::wstring appId = testing_support::UniqueName(L"wizard");
  ScopedRegKey entry(HKEY_LOCAL_MACHINE,
                     L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + appId);
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, entry.Path().c_str(), 0, nullptr, 0,
                                           KEY_ALL_ACCESS, nullptr, &key, nullptr));
  RegCloseKey(key);
  // A file held open without sharing keeps the folder from going.
  const HANDLE held = CreateFileW((folder + L"\\Uninst\\Dekant00.exe").c_str(), GENERIC_READ, 0,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);

  WizardProbe& f = Open(FillPlain);
  w_.S().AppId = appId;
  f.OpenPage(2, 1);
  f.T_Input(1)->Text(folder);
  w_.Box().Answer(IDYES);
  f.C_Skip_Click(1);
  CloseHandle(held);
  ASSERT_EQ(2u, w_.Asked().size());
  EXPECT_EQ(L"指定されたフォルダ[" + folder +
                L"]には既にシステムがインストールされています！\r\n"
                L"（先にアンインストールを実行し、その後でインストールを行うことをお勧め致します）" +
                kDeleteWarning,
            w_.Asked()[0].text);
  EXPECT_EQ(L"デレクトリを削除できませんでした！", w_.Asked()[1].title);
  EXPECT_EQ(L"フォルダ[" + folder + L"]を削除できませんでした！", w_.Asked()[1].text);
  EXPECT_EQ(unsigned(MB_OK | MB_ICONINFORMATION | MB_SYSTEMMODAL), w_.Asked()[1].style);
  EXPECT_EQ(4, w_.S().PageNo);  // the wizard goes on all the same

  // The product registered without its uninstaller in the folder: plain M4b.
  w_.window.reset();  // one installer at a time
  MachineWizard w;
  WizardProbe& g = w.Open(FillPlain);
  w.S().AppId = appId;
  ASSERT_EQ(0, CreateMissingLevels(temp_ / L"other", nullptr));
  g.OpenPage(2, 1);
  g.T_Input(1)->Text(temp_ / L"other");
  w.Box().Answer(IDYES);
  g.C_Skip_Click(1);
  ASSERT_FALSE(w.Asked().empty());
  EXPECT_EQ(0u, w.Asked()[0].text.find(L"インストール先フォルダ["));
}

// The fonts that the deleted installation's record names as the product's
// are remembered first: they stay the product's in the new record.
TEST_F(PageMachineTest, NextOnTheReadyPageDeletesAnExistingFolderWithoutAsking) {
  const std::wstring folder = temp_ / L"Norvale";
  ASSERT_EQ(0, CreateMissingLevels(folder + L"\\Uninst", nullptr));
  WizardProbe& f = Open(FillPlain);
  const std::wstring fonts = w_.S().objWinCommon.GetSpecialFolderPath(CSIDL_FONTS);
  std::wstring record;
  for (const std::wstring& line :
       {std::wstring(L"[Download]"), L"dst001=" + fonts + L"\\nvpos.ttf", std::wstring(L"err001="),
        L"dst002=" + fonts + L"\\nvusers.ttf", L"err002=" + FontWasThereNote(),
        L"dst003=" + folder + L"\\nvlocal.ttf", std::wstring(L"err003="),
        L"dst004=" + fonts + L"\\sub\\nvdeep.ttf", std::wstring(L"err004=")}) {
    record += line + L"\r\n";
  }
  testing_support::WriteFileBytes(folder + L"\\Uninst\\Setup.log", ToAnsi(record));
  w_.S().InputItems[1].value = folder;
  EXPECT_TRUE(f.CheckInstallFolder());
  EXPECT_FALSE(FolderExists(folder));
  EXPECT_TRUE(w_.Asked().empty());
  EXPECT_EQ(w_.S().EarlierProductFonts, std::vector<std::wstring>{L"nvpos.ttf"});
}

TEST_F(PageMachineTest, LettersInATextBoxTypeTextAndActOnlyWithAlt) {
  WizardProbe& f = Open(FillTypical, true);
  f.OpenPage(2, 1);
  forms::TextBox& folder = *f.T_Input(1);
  folder.Text(L"");
  ASSERT_TRUE(folder.SetFocus());
  // Real keystrokes: the window sees them first, the text box gets them.
  for (UINT key : {'C', 'N', 'O', 'R', 'V', 'A', 'L', 'E', 'B', 'I'}) forms::SendKeyStroke(key);
  EXPECT_EQ(2, w_.S().PageNo);
  EXPECT_EQ(1, w_.S().SubPageNo);
  EXPECT_TRUE(w_.setup.dialog->calls.empty());

  int16_t key = 'R';
  f.Form_KeyDown(key, forms::kAltMask);
  EXPECT_EQ(1u, w_.setup.dialog->calls.size());
  EXPECT_EQ('R', key);  // the key goes on to the control
  folder.Text(temp_ / L"new");
  key = 'N';
  f.Form_KeyDown(key, forms::kAltMask);
  EXPECT_EQ(3, w_.S().PageNo);
  ASSERT_TRUE(f.Chk_Check(1)->SetFocus());
  key = 'B';
  f.Form_KeyDown(key, 0);
  EXPECT_EQ(2, w_.S().PageNo);
}

TEST_F(PageMachineTest, LettersElsewhereFollowThePageWithOrWithoutModifiers) {
  WizardProbe& f = Open(FillTypical, true);
  auto press = [&](wchar_t letter, int16_t shift = 0) {
    int16_t key = static_cast<int16_t>(letter);
    f.Form_KeyDown(key, shift);
  };
  ASSERT_TRUE(f.C_Skip(1)->SetFocus());
  forms::SendKeyStroke('N');
  EXPECT_EQ(1, w_.S().PageNo);
  press(L'N', forms::kShiftMask | forms::kCtrlMask);
  EXPECT_EQ(1, w_.S().PageNo);
  EXPECT_EQ(2, w_.S().SubPageNo);
  press(L'B', forms::kCtrlMask);
  EXPECT_EQ(1, w_.S().SubPageNo);
  press(L'B');
  press(L'B');
  EXPECT_EQ(0, w_.S().PageNo);
  // Numpad 2 has the code of a small "b": no letter at all.
  press(VK_NUMPAD2);
  press(L'I');
  EXPECT_EQ(0, w_.S().PageNo);

  f.OpenPage(4, 0);
  press(L'N');
  EXPECT_EQ(4, w_.S().PageNo);

  EXPECT_FALSE(f.C_WinVer.Visible());
  press(L'S', forms::kShiftMask | forms::kCtrlMask);
  EXPECT_FALSE(f.C_WinVer.Visible());
  press(L'S', forms::kShiftMask | forms::kCtrlMask | forms::kAltMask);
  EXPECT_TRUE(f.C_WinVer.Visible());
  press(L'S', forms::kShiftMask | forms::kCtrlMask | forms::kAltMask);
  EXPECT_FALSE(f.C_WinVer.Visible());

  // Browsing by key needs the input page with its item on show.
  f.OpenPage(3, 0);
  press(L'R');
  f.OpenPage(2, 2);
  ASSERT_TRUE(f.C_Skip(1)->SetFocus());
  press(L'R');
  EXPECT_EQ(1u, w_.setup.dialog->calls.size());
}

TEST_F(PageMachineTest, CancelAwayFromTheProgressPageAsksToClose) {
  WizardProbe& f = Open(FillTypical);
  f.OpenPage(3, 0);
  w_.Box().Answer(IDNO);
  f.C_Cancel_Click();
  ASSERT_EQ(1u, w_.Asked().size());
  EXPECT_EQ(L"セットアップ終了", w_.Asked()[0].title);
  EXPECT_TRUE(f.IsLoaded());
  w_.Box().Answer(IDYES);
  f.C_Cancel_Click();
  EXPECT_FALSE(f.IsLoaded());
}

TEST_F(PageMachineTest, CancelOnTheProgressPageOnlyStopsTheTransfer) {
  WizardProbe& f = Open(FillTypical);
  f.OpenPage(5, 0);
  w_.S().objFtp.ASYNC(true);
  f.C_Cancel_Click();
  EXPECT_EQ(-999, w_.S().objFtp.StopFlag());
  EXPECT_TRUE(f.IsLoaded());
  EXPECT_TRUE(w_.Asked().empty());
  // Back and Next find nothing to do there.
  f.C_Skip_Click(0);
  f.C_Skip_Click(1);
  EXPECT_EQ(5, w_.S().PageNo);
}

class FinishActionTest : public PageMachineTest {
 protected:
  // The finish page of a typical record installed into a folder that holds
  // its program, with the downloaded setup information beside the installer.
  WizardProbe& Finish(bool restart) {
    app_ = temp_ / L"Norvale";
    CreateMissingLevels(app_, nullptr);
    WriteFile(app_ + L"\\NorvalePOS.exe", "MZ");
    setupInfo_ = temp_ / L"Setup.ini";
    WriteFile(setupInfo_, "[Setup]\r\n");
    w_.adjust = [this](InstallerWindowOptions& o) { o.programFolder = temp_.Path(); };
    WizardProbe& f = Open(FillTypical);
    w_.S().InputItems[1].value = app_;
    w_.S().ExecutePrm = L"  /first run  ";
    w_.S().RestartNeeded = restart ? -1 : 0;
    f.OpenPage(6, 0);
    return f;
  }
  std::wstring app_, setupInfo_;
};

TEST_F(FinishActionTest, RestartDeletesTheSetupInformationFirstAndEndsTheProgram) {
  WizardProbe& f = Finish(true);
  ASSERT_TRUE(f.F_Final_Sel.Visible());
  ASSERT_TRUE(f.Opt_Final(0)->Value());
  bool goneBeforeRestart = false;
  w_.actions->onRestart = [&] { goneBeforeRestart = !FileExists(setupInfo_); };
  f.C_Skip_Click(1);
  EXPECT_TRUE(goneBeforeRestart);
  EXPECT_EQ((std::vector<std::wstring>{
                L"EnablePrivilege SeShutdownPrivilege",
                L"RequestExitWindows " + std::to_wstring(EWX_REBOOT | EWX_FORCEIFHUNG)}),
            w_.actions->calls);
  EXPECT_EQ(1, w_.end->ends);
  EXPECT_TRUE(w_.starts->starts.empty());
}

TEST_F(FinishActionTest, TheProgramStartsByItsExactPathWithTrimmedParameters) {
  WizardProbe& f = Finish(true);
  f.Opt_Final(1)->Value(true);
  f.Opt_Final_Click(1);
  EXPECT_TRUE(f.Chk_FinalRun.Visible());
  f.Opt_Final(0)->Value(true);
  f.Opt_Final_Click(0);
  EXPECT_FALSE(f.Chk_FinalRun.Visible());
  f.Opt_Final(1)->Value(true);
  f.Opt_Final_Click(1);
  f.Chk_FinalRun.Value(1);
  f.C_Skip_Click(1);
  ASSERT_EQ(1u, w_.starts->starts.size());
  EXPECT_EQ(app_ + L"\\NorvalePOS.exe", w_.starts->starts[0].application);
  EXPECT_EQ(L"\"" + app_ + L"\\NorvalePOS.exe\" /first run", w_.starts->starts[0].commandLine);
  EXPECT_EQ(SW_SHOWNORMAL, w_.starts->starts[0].showState);
  EXPECT_TRUE(w_.actions->calls.empty());
  EXPECT_FALSE(f.IsLoaded());
  EXPECT_FALSE(FileExists(setupInfo_));  // the unload removed it
}

TEST_F(FinishActionTest, OnlyAnExistingProgramByItsFullPathIsStarted) {
  struct Case {
    const wchar_t* command;
    bool tick;
  };
  const Case cases[] = {{L"NorvalePOS.exe", true},       // relative: a search would find it
                        {L"{app}\\Missing.exe", true},   // not there
                        {L"cmd /c del *", true},         // a command line, not a program
                        {L"{app}\\NorvalePOS.exe", false}};  // not ticked
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    MachineWizard w;
    w.adjust = [this](InstallerWindowOptions& o) { o.programFolder = temp_.Path(); };
    const std::wstring app = temp_ / L"Norvale";
    CreateMissingLevels(app, nullptr);
    WriteFile(app + L"\\NorvalePOS.exe", "MZ");
    WizardProbe& f = w.Open(FillTypical);
    w.S().InputItems[1].value = app;
    w.S().ExecuteCmd = c.command;
    f.OpenPage(6, 0);
    f.Chk_FinalRun.Value(c.tick ? 1 : 0);
    f.C_Skip_Click(1);
    EXPECT_TRUE(w.starts->starts.empty());
    EXPECT_FALSE(f.IsLoaded());
  }
}

}  // namespace
