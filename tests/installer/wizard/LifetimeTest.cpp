// Start-up, the first activation after a failed start-up, the close
// request by page, the unload, and the single running installer.
#include <gtest/gtest.h>

#include <thread>

#include "SampleRecords.h"
#include "TempDir.h"
#include "WizardProbe.h"

using namespace norvale;
using namespace wizard_testing;

namespace {

const wchar_t kCloseQuestion[] =
    L"セットアップ作業は完了していません。\r\n"
    L"ここでセットアップを中止するとプログラムはインストールされません。\r\n\r\n"
    L"改めてインストールする場合は、もう一度セットアップを実行して下さい。\r\n\r\n"
    L"セットアップを終了しますか？\r\n\r\n";

TEST(InstallerVersionTest, RevisionHasAtLeastTwoDigits) {
  EXPECT_EQ(L"1.1.12", InstallerVersionText(1, 1, 12));
  EXPECT_EQ(L"1.1.05", InstallerVersionText(1, 1, 5));
  EXPECT_EQ(L"2.3.07", InstallerVersionText(2, 3, 7));
  EXPECT_EQ(L"2.3.123", InstallerVersionText(2, 3, 123));
}

TEST(StartUpTest, ASuccessfulStartShowsTheWelcomePageAtTheFirstSize) {
  Wizard w;
  WizardProbe& f = w.Load([](InstallerState& s) { FillTypical(s); });
  InstallerState& s = w.S();
  EXPECT_EQ(-1, s.StartupOk);
  EXPECT_EQ(L"kovtar", s.DecodeKey);
  EXPECT_EQ(L"2.3.07", s.InstallerVersion);  // from this program's version resource
  EXPECT_EQ(L"Setup.ini", s.SetupFileId);
  EXPECT_EQ(L"C:\\norvale-wizard-tests-nowhere\\Setup.ini", s.objSetupIni.IniFilePath());
  EXPECT_FALSE(s.objFtp.ASYNC());
  EXPECT_NE(nullptr, s.objFtp.CallBackProcPtr());
  EXPECT_FLOAT_EQ(9000, f.Width());
  EXPECT_FLOAT_EQ(7000, f.Height());
  EXPECT_TRUE(f.F_Start.Visible());
  for (forms::Frame* page : {&f.F_Select, &f.F_Input, &f.F_Check, &f.F_END, &f.F_SETUP,
                             &f.F_FINAL}) {
    EXPECT_FALSE(page->Visible() || page->Enabled()) << page->Name();
  }
  EXPECT_EQ(L"Norvale POS セットアップウイザードの開始", f.L_Start(0)->Caption());
  EXPECT_EQ(L"Norvale Installer", f.Caption());
  EXPECT_EQ(0, w.end->ends);
}

TEST(StartUpTest, TheWindowTakesTheCaptionTheStartUpMade) {
  Wizard w;
  WizardProbe& f = w.Load([](InstallerState& s) {
    FillTypical(s);
    s.Caption = L"ノルヴァーレPOS Installer Ver 2.3.07";
  });
  EXPECT_EQ(L"ノルヴァーレPOS Installer Ver 2.3.07", f.Caption());
}

TEST(StartUpTest, ASecondInstanceEndsSilentlyBeforeMakingAnything) {
  Wizard first;
  first.Load([](InstallerState& s) { FillPlain(s); });
  Wizard second;
  second.setup = first.setup;
  WizardProbe& f = second.Load([](InstallerState& s) { FillPlain(s); });
  EXPECT_EQ(1, second.end->ends);
  EXPECT_EQ(nullptr, f.State());
  EXPECT_TRUE(first.setup.box->Asked().empty());
  // Once the first has gone, the next start runs.
  first.setup.box->Answer(IDYES);
  EXPECT_TRUE(first.window->Unload());
  Wizard third;
  third.Load([](InstallerState& s) { FillPlain(s); });
  EXPECT_EQ(0, third.end->ends);
  EXPECT_NE(nullptr, third.window->State());
}

TEST(StartUpTest, AFailedStartShowsItsTextOnceAndCloses) {
  Wizard w;
  w.window = std::make_unique<WizardProbe>(
      w.app, w.setup.Options(nullptr, L"  サーバーに接続できません。\r\n再度実行して下さい。"));
  w.setup.box->Answer(IDOK);
  ASSERT_TRUE(w.window->Show());
  EXPECT_TRUE(w.PumpUntil([&] { return !w.window->IsLoaded(); }));
  ASSERT_EQ(1u, w.setup.box->Asked().size());
  const auto& q = w.setup.box->Asked()[0];
  EXPECT_EQ(L"  サーバーに接続できません。\r\n再度実行して下さい。", q.text);
  EXPECT_EQ(L"処理を続行できません！", q.title);
  EXPECT_EQ(static_cast<unsigned>(MB_OK | MB_ICONSTOP), q.style);
  EXPECT_EQ(1u, w.setup.box->Asked().size());  // no closing question either
}

TEST(StartUpTest, AFailedStartWithoutTextClosesWithoutABox) {
  Wizard w;
  w.window = std::make_unique<WizardProbe>(w.app, w.setup.Options(nullptr, L"    "));
  ASSERT_TRUE(w.window->Show());
  EXPECT_TRUE(w.PumpUntil([&] { return !w.window->IsLoaded(); }));
  EXPECT_TRUE(w.setup.box->Asked().empty());
}

TEST(CloseRequestTest, PagesZeroToFourAskAndNoKeepsTheWindow) {
  for (int16_t page = 0; page <= 4; ++page) {
    Wizard w;
    WizardProbe& f = w.Load([](InstallerState& s) { FillTypical(s); });
    f.OpenPage(page, 1);
    w.setup.box->Answer(IDNO);
    EXPECT_FALSE(f.Unload()) << page;
    EXPECT_TRUE(f.IsLoaded());
    ASSERT_EQ(1u, w.setup.box->Asked().size());
    const auto& q = w.setup.box->Asked()[0];
    EXPECT_EQ(kCloseQuestion, q.text);
    EXPECT_EQ(L"セットアップ終了", q.title);
    EXPECT_EQ(static_cast<unsigned>(MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2), q.style);
    w.setup.box->Answer(IDYES);
    EXPECT_TRUE(f.Unload()) << page;
    EXPECT_FALSE(f.IsLoaded());
  }
}

TEST(CloseRequestTest, TheRunningInstallIsNotClosedAndTheFinishPageCloses) {
  Wizard w;
  WizardProbe& f = w.Load([](InstallerState& s) { FillTypical(s); });
  f.OpenPage(5, 0);
  EXPECT_FALSE(f.Unload());
  EXPECT_TRUE(w.setup.box->Asked().empty());
  f.OpenPage(6, 0);
  EXPECT_TRUE(f.Unload());
  EXPECT_TRUE(w.setup.box->Asked().empty());

  // After the start-up was called off, no question either.
  Wizard v;
  WizardProbe& g = v.Load([](InstallerState& s) { FillTypical(s); });
  v.S().StartupOk = 0;
  EXPECT_TRUE(g.Unload());
  EXPECT_TRUE(v.setup.box->Asked().empty());
}

TEST(UnloadTest, TheDownloadedSetupInformationIsDeleted) {
  testing_support::TempDir folder(L"wiz");
  testing_support::WriteFileBytes(folder / L"Setup.ini", "[Setup]\r\n");
  testing_support::WriteFileBytes(folder / L"Start.ini", "[server]\r\n");
  {
    Wizard w;
    w.setup.box->Answer(IDOK);
    InstallerWindowOptions options = w.setup.Options(nullptr, L"失敗");
    options.programFolder = folder.Path();
    w.window = std::make_unique<WizardProbe>(w.app, std::move(options));
    ASSERT_TRUE(w.window->Load());
    EXPECT_TRUE(w.window->Unload());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((folder / L"Setup.ini").c_str()));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((folder / L"Start.ini").c_str()));
  }
  {
    // Already gone: the unload goes on silently.
    Wizard w;
    InstallerWindowOptions options = w.setup.Options([](InstallerState& s) { FillPlain(s); });
    options.programFolder = folder.Path();
    w.window = std::make_unique<WizardProbe>(w.app, std::move(options));
    ASSERT_TRUE(w.window->Load());
    w.window->OpenPage(6, 0);
    EXPECT_TRUE(w.window->Unload());
    EXPECT_EQ(nullptr, w.window->State());
  }
}

TEST(StatusCallbackTest, ServesTheWindowOnlyOnTheWindowsThread) {
  Wizard w;
  w.window = std::make_unique<WizardProbe>(
      w.app, w.setup.Options([](InstallerState& s) { FillTypical(s); }));
  ASSERT_TRUE(w.window->Show());
  w.app.DoEvents();
  w.setup.box->Answer(IDNO);
  PostMessageW(w.window->hWnd(), WM_CLOSE, 0, 0);
  // WinINet's own threads have no window to serve: the close waits.
  std::thread other([] { InetStatusCallback(nullptr, 0, 0, nullptr, 0); });
  other.join();
  EXPECT_TRUE(w.setup.box->Asked().empty());
  InetStatusCallback(nullptr, 0, INTERNET_STATUS_RESPONSE_RECEIVED, nullptr, 0);
  ASSERT_EQ(1u, w.setup.box->Asked().size());
  EXPECT_EQ(L"セットアップ終了", w.setup.box->Asked()[0].title);
  EXPECT_TRUE(w.window->IsLoaded());
}

}  // namespace
