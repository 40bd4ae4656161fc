// Which page and buttons show, the summary of the choices, the finish page's
// variants, the progress gauge and the Windows version check.
#include <gtest/gtest.h>

#include "SampleRecords.h"
#include "SetupInfoTestSupport.h"
#include "StartIni.h"
#include "WizardProbe.h"

using namespace norvale;
using namespace wizard_testing;

namespace {

std::vector<forms::Frame*> Pages(WizardProbe& f) {
  return {&f.F_Start, &f.F_Select, &f.F_Input, &f.F_Check, &f.F_END, &f.F_SETUP, &f.F_FINAL};
}

TEST(ShowPageTest, EachPageShowsItsFrameAndButtons) {
  Wizard w;
  WizardProbe& f = w.Load([](InstallerState& s) { FillTypical(s); });
  struct Expect {
    int16_t page;
    bool back;
    bool next;
    const wchar_t* nextCaption;
    bool cancel;
  };
  const Expect expected[] = {{0, false, true, L"次へ(N)", true},
                             {1, true, true, L"次へ(N)", true},
                             {2, true, true, L"次へ(N)", true},
                             {3, true, true, L"次へ(N)", true},
                             {4, true, true, L"インストール(I)", true},
                             {5, false, false, L"次へ(N)", true},
                             {6, false, true, L"完了(F)", false}};
  for (const Expect& e : expected) {
    f.OpenPage(e.page, 1);
    for (forms::Frame* page : Pages(f)) {
      const bool current = page == Pages(f)[e.page];
      EXPECT_EQ(current, page->Visible()) << e.page << " " << page->Name();
      EXPECT_EQ(current, page->Enabled()) << e.page << " " << page->Name();
    }
    EXPECT_EQ(e.back, f.C_Skip(0)->Visible()) << e.page;
    EXPECT_EQ(e.next, f.C_Skip(1)->Visible()) << e.page;
    EXPECT_EQ(e.nextCaption, f.C_Skip(1)->Caption()) << e.page;
    EXPECT_EQ(e.cancel, f.C_Cancel.Visible()) << e.page;
  }
  // The progress page's headings.
  f.OpenPage(5, 0);
  EXPECT_EQ(L"インストール状況", f.L_SETUP_H(0)->Caption());
  EXPECT_EQ(L"ご使用のコンピュータにNorvale POSをインストールしています、しばらくお待ち下さい。",
            f.L_SETUP_H(1)->Caption());
}

TEST(ShowPageTest, SubPagesShowTwoGroupsOrOneInputItem) {
  Wizard w;
  WizardProbe& f = w.Load([](InstallerState& s) { FillTypical(s); });
  f.OpenPage(1, 1);
  EXPECT_TRUE(f.F_SelItem(1)->Visible() && f.F_SelItem(2)->Visible());
  EXPECT_FALSE(f.F_SelItem(3)->Visible());
  f.OpenPage(1, 2);
  EXPECT_FALSE(f.F_SelItem(1)->Visible() || f.F_SelItem(2)->Visible());
  EXPECT_TRUE(f.F_SelItem(3)->Visible() && f.F_SelItem(3)->Enabled());

  f.OpenPage(2, 2);
  EXPECT_FALSE(f.F_InputItem(1)->Visible());
  EXPECT_TRUE(f.F_InputItem(2)->Visible() && f.F_InputItem(2)->Enabled());
  EXPECT_EQ(L"プログラムグループの指定", f.L_Input_H(0)->Caption());
  EXPECT_EQ(w.S().InputItems[2].description1, f.L_Input_H(1)->Caption());
  f.OpenPage(2, 1);
  EXPECT_TRUE(f.F_InputItem(1)->Visible());
  EXPECT_EQ(L"インストール先の指定", f.L_Input_H(0)->Caption());
}

TEST(SummaryTest, BlocksFromTheChoicesAsTheUserLeftThem) {
  Wizard w;
  WizardProbe& f = w.Load([](InstallerState& s) { FillTypical(s); });
  f.Opt_SelItem(2)->Value(true);  // 最小インストール
  f.Opt_SelItem(5)->Value(true);  // 売上集計なし: not listed
  f.T_Input(1)->Text(L"  D:\\Shop\\Norvale");
  f.Chk_Check(2)->Value(2);  // greyed counts as ticked
  f.Chk_Check(3)->Value(0);
  f.OpenPage(4, 0);
  EXPECT_EQ(
      L"モジュール選択:\r\n    最小インストール\r\n    在庫管理を使う\r\n\r\n"
      L"インストール先:\r\n      D:\\Shop\\Norvale\r\n\r\n"
      L"プログラムグループ:\r\n    C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Norvale POS"
      L"\r\n\r\n"
      L"追加オプション:\r\n    デスクトップにアイコンを作成する\r\n"
      L"    Windows の起動時に受注モニタを起動する",
      f.T_END.Text());
  InstallerState& s = w.S();
  EXPECT_EQ(L"  D:\\Shop\\Norvale", s.InputItems[1].value);
  EXPECT_EQ(s.InputItems[2].value, s.ProgramGroupDir);
  EXPECT_EQ(-1, s.SelectGroups[1].options[2].chosen);
  EXPECT_EQ(0, s.SelectGroups[1].options[1].chosen);
  EXPECT_EQ(-1, s.SelectGroups[2].options[2].chosen);
  EXPECT_EQ(2, s.CheckItems[2].checked);
}

TEST(SummaryTest, EmptyBlocksAreLeftOut) {
  Wizard w;
  WizardProbe& f = w.Load([](InstallerState& s) {
    FillPlain(s);
    AddGroup(s, L"集計", {L"集計ナシ", L"なし"});
    s.SelectGroups[1].options[1].caption = L"集計なし";
    AddGroup(s, L"在庫", {L"在庫なし"});
    AddTask(s, L"t", L"使わない", 0);
    s.InputItems[2].value.clear();
  });
  f.OpenPage(4, 0);
  EXPECT_EQ(L"インストール先:\r\n    C:\\Program Files\\Norvale", f.T_END.Text());
  EXPECT_EQ(L"", w.S().ProgramGroupDir);
}

TEST(FinishPageTest, RestartBlockProgramOptionAndThePlainEnd) {
  {
    Wizard w;
    WizardProbe& f = w.Load([](InstallerState& s) { FillTypical(s); });
    w.S().RestartNeeded = -1;
    f.OpenPage(6, 0);
    EXPECT_EQ(L"Norvale POSのインストールを終了しました。\r\n\r\n"
              L"処理を完了するにはコンピュータを再起動する必要があります。\r\n"
              L"コンピュータを再起動しますか？",
              f.L_Final(1)->Caption());
    EXPECT_TRUE(f.F_Final_Sel.Visible() && f.F_Final_Sel.Enabled());
    EXPECT_TRUE(f.Opt_Final(0)->Value());
    EXPECT_EQ(L"後で再起動する(N)", f.Opt_Final(1)->Caption());
    // The program option waits for the later restart.
    EXPECT_FALSE(f.Chk_FinalRun.Visible());
    EXPECT_EQ(L"Norvale POS を起動する", f.Chk_FinalRun.Caption());
    EXPECT_EQ(0, f.Chk_FinalRun.Value());
  }
  {
    Wizard w;
    WizardProbe& f = w.Load([](InstallerState& s) { FillTypical(s); });
    w.S().RestartNeeded = -1;
    w.S().OsVersion.dwMajorVersion = 5;
    f.OpenPage(6, 0);
    EXPECT_FALSE(f.F_Final_Sel.Visible());
    EXPECT_TRUE(f.Chk_FinalRun.Visible());
    EXPECT_EQ(1, f.Chk_FinalRun.Value());
    EXPECT_EQ(L"終了後の処理を選択後[完了(F)]ボタンをクリックして下さい。",
              f.L_Final(1)->Caption());
  }
  {
    Wizard w;
    WizardProbe& f = w.Load([](InstallerState& s) {
      FillTypical(s);
      s.ExecuteDsp = L"   ";
    });
    f.OpenPage(6, 0);
    EXPECT_FALSE(f.Chk_FinalRun.Visible());
    EXPECT_EQ(L"Norvale POSのインストールを終了しました。", f.L_Final(1)->Caption());
    EXPECT_EQ(L"セットアップウイザードの終了", f.L_Final(0)->Caption());
  }
}

TEST(GaugeTest, WidthTagAndTrackForEveryKindOfValue) {
  Wizard w;
  WizardProbe& f = w.Load([](InstallerState& s) { FillTypical(s); });
  f.OpenPage(5, 0);
  EXPECT_FALSE(f.Pic_ingM.Visible());
  EXPECT_EQ(L"", f.Pic_ing.Tag());
  const float track = f.Pic_ingM.Width();
  ASSERT_FLOAT_EQ(7855, track);
  f.Dispゲージ(0);
  EXPECT_TRUE(f.Pic_ingM.Visible());
  EXPECT_FLOAT_EQ(0, f.Pic_ing.Width());
  EXPECT_EQ(L"0", f.Pic_ing.Tag());
  f.Dispゲージ(57);
  EXPECT_FLOAT_EQ(4477, f.Pic_ing.Width());  // 7855 × 0.57 = 4477.35, cut
  EXPECT_EQ(L"57", f.Pic_ing.Tag());
  f.Dispゲージ(100);
  EXPECT_FLOAT_EQ(7855, f.Pic_ing.Width());
  f.Dispゲージ(150);
  EXPECT_FLOAT_EQ(7855, f.Pic_ing.Width());
  EXPECT_EQ(L"100", f.Pic_ing.Tag());
  f.Dispゲージ(40);
  f.Dispゲージ(-1);
  EXPECT_FALSE(f.Pic_ingM.Visible());
  EXPECT_FLOAT_EQ(3142, f.Pic_ing.Width());
  EXPECT_EQ(L"40", f.Pic_ing.Tag());
}

TEST(GaugeTest, TheLastValueIsRedrawnAfterAResize) {
  Wizard w;
  WizardProbe& f = w.Load([](InstallerState& s) { FillTypical(s); });
  f.OpenPage(5, 0);
  f.Form_Resize();
  EXPECT_FLOAT_EQ(4000, f.Pic_ing.Width());  // no value yet: left alone
  f.Dispゲージ(40);
  f.Move(0, 0, 12000, 7000);
  f.Form_Resize();
  EXPECT_FLOAT_EQ(12000 - 80 - 465 - 600, f.Pic_ingM.Width());
  EXPECT_FLOAT_EQ(4342, f.Pic_ing.Width());  // 10855 × 0.4
  EXPECT_EQ(L"40", f.Pic_ing.Tag());
}

TEST(WindowsVersionCheckTest, ListsEveryNameAndMarksThoseInTheWindowsName) {
  Wizard w;
  WizardProbe& f = w.Load([](InstallerState& s) {
    FillPlain(s);
    s.WindowsName = L"Windows 8.1";
  });
  w.setup.box->Answer(IDOK);
  f.C_WinVer_Click();
  ASSERT_EQ(1u, w.setup.box->Asked().size());
  const auto& q = w.setup.box->Asked()[0];
  EXPECT_EQ(L"Windowsバージョンチェック", q.title);
  EXPECT_EQ(static_cast<unsigned>(MB_OK | MB_ICONINFORMATION | MB_SYSTEMMODAL), q.style);
  EXPECT_EQ(0u, q.text.find(L"このPCのバージョンは[Windows 8.1]です。\r\n\r\nWindows XP\r\n"));
  EXPECT_NE(std::wstring::npos, q.text.find(L"\r\nWindows 8（★）\r\nWindows 8.1（★）\r\n"));
  EXPECT_NE(std::wstring::npos, q.text.find(L"\r\nWindows 10\r\nWindows Server 2016\r\n"));
  EXPECT_EQ(std::wstring::npos, q.text.find(L"Windows 7（★）"));
}

// The window as the programs make it: the check goes through the condition
// language itself, over the Windows that the PC reports.
TEST(WindowsVersionCheckTest, MarksOnlyThePcsOwnWindows) {
  using setupinfo_testing::Machine;
  struct Case {
    Machine machine;
    const wchar_t* windowsName;
    const wchar_t* markedLine;  // none: the list has no line for it
  };
  const Case cases[] = {{Machine::Windows7x86, L"Windows 7", L"\r\nWindows 7（★）\r\n"},
                        {Machine::Windows10x64, L"Windows 10", L"\r\nWindows 10（★）\r\n"},
                        {Machine::Windows11x64, L"Windows 11", nullptr}};
  for (const Case& c : cases) {
    setupinfo_testing::TestMachine pc(c.machine);
    Wizard w;
    InstallerWindowOptions options = w.setup.Options([](InstallerState& s) {
      FillPlain(s);
      ReadWindowsFacts(s);
    });
    options.seams.windows.windows = pc.windows;
    w.window = std::make_unique<WizardProbe>(w.app, std::move(options));
    w.window->Load();
    w.setup.box->Answer(IDOK);
    w.window->C_WinVer_Click();
    ASSERT_EQ(1u, w.setup.box->Asked().size()) << c.windowsName;
    const std::wstring& text = w.setup.box->Asked()[0].text;
    EXPECT_EQ(0u, text.find(std::wstring(L"このPCのバージョンは[") + c.windowsName + L"]です。"))
        << c.windowsName;
    size_t marks = 0;
    for (size_t at = text.find(L"（★）"); at != std::wstring::npos; at = text.find(L"（★）", at + 1)) {
      ++marks;
    }
    EXPECT_EQ(c.markedLine ? 1u : 0u, marks) << c.windowsName;
    if (c.markedLine) {
      EXPECT_NE(std::wstring::npos, text.find(c.markedLine)) << c.windowsName;
    }
  }
}

}  // namespace
