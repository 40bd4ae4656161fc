// The uninstaller window: command line, pages, summary, gauge, layout, and
// the runs that end the program.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include "Form_UnInset_MAIN.h"
#include "SingleInstance.h"
#include "InstallRecord.h"
#include "Text.h"
#include "UninstallerTestSupport.h"

namespace {

using namespace uninstaller_test;
using norvale::Form_UnInset_MAIN;
using norvale::ParseUninstallerCommandLine;

TEST(UninstallerCommandLine, SilentWhenAPieceHoldsSlashS) {
  std::vector<std::wstring> args;
  for (const wchar_t* line : {L"/s", L"/S", L"x,/S", L"/Silent", L" \"/S\" "}) {
    EXPECT_TRUE(ParseUninstallerCommandLine(line, args)) << line;
  }
  for (const wchar_t* line : {L"-S", L"", L"\"\"\"", L"x, y"}) {
    EXPECT_FALSE(ParseUninstallerCommandLine(line, args)) << line;
  }
  ParseUninstallerCommandLine(L"a,\"b\",/S", args);
  ASSERT_EQ(args.size(), 4u);
  EXPECT_EQ(args[2], L"b");
}

// The command file the run started, read back.
std::string StartedCmd(const InstalledProduct& product) {
  if (product.starts->started.size() != 1) return "";
  return testing_support::ReadFileBytes(StartedCommandFile(product.starts->started[0]));
}

struct Window {
  explicit Window(InstalledProduct& product, const std::wstring& commandLine = L"")
      : end(std::make_shared<RecordingEnd>()), app(end) {
    auto state = product.MakeState();
    form = std::make_unique<Form_UnInset_MAIN>(app, std::move(state), commandLine);
  }
  std::shared_ptr<RecordingEnd> end;
  norvale::forms::Application app;
  std::unique_ptr<Form_UnInset_MAIN> form;
};

std::vector<std::wstring> BasicRecord(const InstalledProduct& product) {
  return {L"[Setup]", L"AppId={NvTest-Form}", L"AppName=NvPos", L"AppVerName=Ver 7",
          L"AppDir=" + product.appDir};
}

TEST(UninstallerWindow, PagesSummaryAndFinish) {
  InstalledProduct product;
  product.WriteRecord(BasicRecord(product));
  Window w(product);
  Form_UnInset_MAIN& f = *w.form;
  ASSERT_TRUE(f.Load());
  auto& s = f.State();
  EXPECT_EQ(s.StartupOk, -1);
  EXPECT_EQ(f.Caption(), L"NvPos UnInstaller Ver 1.0.00");
  EXPECT_EQ(f.L_Start(1)->Caption(),
            L"このプログラムはご使用のコンピュータからNvPos Ver 7をアンインストールします。");
  EXPECT_TRUE(f.F_Start.Visible());
  EXPECT_FALSE(f.C_Skip(0)->Visible());
  ASSERT_TRUE(f.Chk_Check(1));
  EXPECT_FALSE(f.Chk_Check(2));

  f.C_Skip_Click(1);
  EXPECT_TRUE(f.F_Check.Visible());
  EXPECT_TRUE(f.Chk_Check(1)->Visible());
  f.Chk_Check(1)->Value(1);
  f.C_Skip_Click(1);
  EXPECT_EQ(s.PageNo, 2);
  EXPECT_EQ(f.C_Skip(1)->Caption(), L"アンインストール(U)");
  EXPECT_EQ(f.T_END.Text(), L"アンインストール先:\r\n    " + product.appDir +
                                L"\r\n\r\n追加オプション:\r\n    ファイルのリンク設定を残す");
  f.C_Skip_Click(0);
  f.C_Skip_Click(1);  // the tick is kept
  EXPECT_EQ(s.UninstOptions[1].Value, 1);

  f.C_Skip_Click(1);  // the removal
  EXPECT_EQ(s.PageNo, 4);
  EXPECT_TRUE(f.F_FINAL.Visible());
  EXPECT_FALSE(f.C_Cancel.Visible());
  EXPECT_EQ(f.C_Skip(1)->Caption(), L"完了(F)");
  EXPECT_EQ(w.end->ends, 0);
  f.Opt_Final(1)->Value(true);
  f.C_Skip_Click(1);
  EXPECT_EQ(w.end->ends, 1);
  EXPECT_EQ(w.end->code, 0);
  const std::string cmd = StartedCmd(product);
  EXPECT_EQ(cmd.find("shutdown"), std::string::npos);
  EXPECT_NE(cmd.find("IF NOT EXIST \"" + norvale::ToAnsi(product.appDir) + "\\\" GOTO Lbl3\r\n"),
            std::string::npos);
  f.Unload();
}

// The start page's side panel and the four headers show the same picture.
TEST(UninstallerWindow, EveryPageShowsThePicture) {
  InstalledProduct product;
  product.WriteRecord(BasicRecord(product));
  Window w(product);
  Form_UnInset_MAIN& f = *w.form;
  for (norvale::forms::Image* image :
       {&f.Image_Start, &f.Image_Check_H, &f.Image_END_H, &f.Image_SETUP_H, &f.Image_Final}) {
    EXPECT_TRUE(image->HasPicture()) << image->Name();
    EXPECT_TRUE(image->Stretch()) << image->Name();
  }
}

TEST(UninstallerWindow, GaugeAndLayout) {
  InstalledProduct product;
  product.WriteRecord(BasicRecord(product));
  Window w(product);
  Form_UnInset_MAIN& f = *w.form;
  ASSERT_TRUE(f.Load());
  f.Width(9000);
  f.Height(7000);
  EXPECT_FLOAT_EQ(f.F_footer.Top(), 5710);
  EXPECT_FLOAT_EQ(f.F_footer.Width(), 8920);
  EXPECT_FLOAT_EQ(f.C_Cancel.Left(), 6900);
  EXPECT_FLOAT_EQ(f.C_Skip(1)->Left(), 5100);
  EXPECT_FLOAT_EQ(f.C_Skip(0)->Left(), 3300);
  EXPECT_FLOAT_EQ(f.F_Start.Height(), 5920);
  EXPECT_FLOAT_EQ(f.L_Start(2)->Width(), 5900);

  f.State().PageNo = 2;
  f.C_Skip_Click(1);  // to the progress page and through the removal
  f.Dispゲージ(150);
  EXPECT_EQ(f.Pic_ing.Tag(), L"100");
  f.Dispゲージ(-1);
  EXPECT_FALSE(f.Pic_ingM.Visible());
  f.Unload();
}

// A close request that arrives while the removal runs (its steps let the
// window handle messages) neither ends the window nor starts anything again.
// The same holds while the install folder is emptied at the end, for a
// second click on "完了(F)" too.
TEST(UninstallerWindow, CloseDuringTheRemovalWaits) {
  InstalledProduct product;
  product.WriteRecord(BasicRecord(product));
  Window w(product);
  Form_UnInset_MAIN& f = *w.form;
  ASSERT_TRUE(f.Show());
  f.State().PageNo = 2;
  PostMessageW(f.hWnd(), WM_CLOSE, 0, 0);
  PostMessageW(f.hWnd(), WM_KEYDOWN, 'U', 0);
  f.C_Skip_Click(1);
  EXPECT_TRUE(w.app.IsLoaded(&f));
  EXPECT_EQ(f.State().PageNo, 4);
  EXPECT_TRUE(product.starts->started.empty());

  PostMessageW(f.C_Skip(1)->hWnd(), BM_CLICK, 0, 0);
  PostMessageW(f.hWnd(), WM_CLOSE, 0, 0);
  f.C_Skip_Click(1);
  EXPECT_EQ(w.end->ends, 1);
  EXPECT_EQ(product.starts->started.size(), 1u);
  EXPECT_TRUE(w.app.IsLoaded(&f));
  f.Unload();
}

TEST(UninstallerWindow, MissingRecordShowsTheBoxAndRemovesNothing) {
  for (const wchar_t* commandLine : {L"", L"/S"}) {
    InstalledProduct product;
    Window w(product, commandLine);
    ASSERT_TRUE(w.form->Show());
    for (int i = 0; i < 20 && w.app.Forms().size() > 0; ++i) w.app.DoEvents();
    ASSERT_EQ(product.messages->Asked().size(), 1u);
    EXPECT_EQ(product.messages->Asked()[0].title, L"処理を続行できません！");
    EXPECT_EQ(product.messages->Asked()[0].text, norvale::kMissingRecordText);
    EXPECT_TRUE(product.starts->started.empty());
    EXPECT_TRUE(Exists(product.program));
    EXPECT_EQ(w.end->ends, 0);
    EXPECT_EQ(static_cast<int>(w.form->State().Exit), 1619);
  }
}

// Where the end of the removal cannot be had (no folder for the command
// file), its first step does not run either: the uninstaller's own
// run-as-administrator value stays, the program ends with the code for
// nothing removed. Cancelled before, the run says so.
TEST(UninstallerWindow, AnEndThatCannotBeHadRemovesNothing) {
  for (const wchar_t* commandLine : {L"", L"/S"}) {
    InstalledProduct product;
    product.WriteRecord(BasicRecord(product));
    product.folderAccess->elevated = false;
    SetLayer(product.program);
    Window w(product, commandLine);
    w.form->State().TmpDir = L"C:\\norvale-no-such-temp";
    ASSERT_TRUE(w.form->Load());
    w.form->State().TmpDir = L"C:\\norvale-no-such-temp";
    if (commandLine[0]) {
      ASSERT_TRUE(w.form->Show());
      for (int i = 0; i < 20 && w.end->ends == 0; ++i) w.app.DoEvents();
    } else {
      EXPECT_EQ(static_cast<int>(w.form->State().Exit), 1602);
      w.form->State().PageNo = 2;
      w.form->C_Skip_Click(1);
    }
    EXPECT_EQ(w.end->ends, 1) << commandLine;
    EXPECT_EQ(w.end->code, 1603) << commandLine;
    EXPECT_TRUE(LayerExists(product.program)) << commandLine;
    EXPECT_TRUE(product.starts->started.empty());
    EXPECT_EQ(product.messages->Asked().size(), commandLine[0] ? 0u : 1u);
    ClearLayer(product.program);
    w.form->Unload();
  }
}

// A second uninstaller ends with its own code; the name taken first by a
// program that is no uninstaller (another owner) stops nothing.
TEST(UninstallerProgram, OneUninstallerAtATime) {
  const std::wstring name = L"Norvale.Test.Instance." + std::to_wstring(GetCurrentProcessId());
  norvale::KernelHandle first, second, third;
  EXPECT_EQ(norvale::ClaimSingleInstance(name.c_str(), first), norvale::InstanceClaim::Claimed);
  EXPECT_EQ(norvale::ClaimSingleInstance(name.c_str(), second),
            norvale::InstanceClaim::AnotherRuns);
  const std::wstring squatted = name + L".taken";
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
      L"O:WDD:(A;;GA;;;WD)", SDDL_REVISION_1, &descriptor, nullptr));
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  norvale::KernelHandle taken(CreateMutexW(&attributes, FALSE, squatted.c_str()));
  LocalFree(descriptor);
  ASSERT_TRUE(taken);
  EXPECT_EQ(norvale::ClaimSingleInstance(squatted.c_str(), third),
            norvale::InstanceClaim::Claimed);
}

TEST(UninstallerWindow, SilentRunEndsWithTheCommandFile) {
  InstalledProduct product;
  product.WriteRecord(BasicRecord(product));
  Window w(product, L"/S");
  ASSERT_TRUE(w.form->Show());
  for (int i = 0; i < 20 && w.end->ends == 0; ++i) w.app.DoEvents();
  EXPECT_EQ(w.end->ends, 1);
  EXPECT_TRUE(product.messages->Asked().empty());
  ASSERT_EQ(product.starts->started.size(), 1u);
  const std::string cmd = StartedCmd(product);
  EXPECT_NE(cmd.find("EXIT"), std::string::npos);
  EXPECT_EQ(cmd.find("shutdown"), std::string::npos);
  w.form->Unload();
}

}  // namespace
