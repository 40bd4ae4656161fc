// Reading "Setup.log": defaults, the [Download] pairing, the shortcut lines,
// and the lines the reader must never pass on.
#include <shlobj.h>

#include <gtest/gtest.h>

#include "FontRemoval.h"
#include "InstallRecord.h"
#include "SetupLog.h"
#include "Text.h"
#include "UninstallerTestSupport.h"

namespace {

using namespace uninstaller_test;
using norvale::ReadInstallRecord;

TEST(InstallRecord, MissingRecordIsTheOnlyFailure) {
  InstalledProduct product;
  auto state = product.MakeState();
  EXPECT_EQ(ReadInstallRecord(*state), 0);
  EXPECT_EQ(state->ErrText, norvale::kMissingRecordText);
  EXPECT_EQ(state->UninstOptionCount, 0);

  // A hidden record counts as missing too.
  product.WriteRecord({L"[Setup]", L"AppId=X"});
  SetFileAttributesW((product.uninstDir + L"\\Setup.log").c_str(), FILE_ATTRIBUTE_HIDDEN);
  auto hidden = product.MakeState();
  EXPECT_EQ(ReadInstallRecord(*hidden), 0);
}

TEST(InstallRecord, BlankIdentityGetsTheDefaultsAndTheCaption) {
  InstalledProduct product;
  product.WriteRecord({L";Setup処理を開始しました。", L"[Setup]", L"AppId= ", L"AppName=",
                       L"AppVerName=  Ver 2 ", L"AppDir=" + product.appDir});
  auto state = product.MakeState();
  state->ProgramVersion = L"3.1.05";
  ASSERT_EQ(ReadInstallRecord(*state), -1);
  EXPECT_EQ(state->AppId, norvale::kDefaultAppId);
  EXPECT_EQ(state->AppName, L"Norvale");
  EXPECT_EQ(state->AppVerName, L"Ver 2");
  EXPECT_EQ(state->AppDir, product.appDir);
  EXPECT_EQ(state->Caption, L"Norvale UnInstaller Ver 3.1.05");
  EXPECT_EQ(state->UninstOptionCount, 1);
  EXPECT_EQ(state->UninstOptions[1].Name, L"ファイルリンク");
  EXPECT_EQ(state->UninstOptions[1].Caption, L"ファイルのリンク設定を残す");
  EXPECT_FALSE(state->TmpDir.empty());
  EXPECT_GE(state->OsVersion.dwMajorVersion, 5u);
}

TEST(InstallRecord, DownloadPairsSrcWithDst) {
  InstalledProduct product;
  product.WriteRecord({L"[setup]", L"AppId=P", L"[download] trailing text", L";ダウンロード結果",
                       L"Count=3", L"", L"src001=/pos/a.exe", L"dst001=C:\\\\Pos\\\\a.exe",
                       L"chk001=task1", L"err001=", L";src009=C:\\ignored", L"src002=/pos/sub/",
                       L"dst002=C:\\Pos\\sub\\", L"src003=/pos/b.exe", L"[Download]",
                       L"src004=/pos/c.exe", L"dst004=C:\\Pos\\c.exe"});
  auto state = product.MakeState();
  ASSERT_EQ(ReadInstallRecord(*state), -1);
  ASSERT_EQ(state->DownloadCount, 2);
  EXPECT_EQ(state->DownloadList[1].src, L"/pos/a.exe");
  EXPECT_EQ(state->DownloadList[1].dst, L"C:\\Pos\\a.exe");
  EXPECT_EQ(state->DownloadList[1].chk, L"task1");
  EXPECT_EQ(state->DownloadList[1].IsFolder, 0);
  EXPECT_EQ(state->DownloadList[2].IsFolder, -1);
  EXPECT_EQ(state->DownloadList[2].chk, L"");
}

TEST(InstallRecord, ShortCutLinesAndGroup) {
  InstalledProduct product;
  product.WriteRecord({L"[Setup]", L"AppId=P", L"[ショートカット]", L";ショートカット作成結果",
                       L"Group=C:\\ProgramData\\Menu\\Pos", L"Count=2",
                       L"ShortCut01=C:\\Users\\Public\\Desktop\\Pos.lnk", L"err01=",
                       L";ShortCut03=C:\\Users\\Public\\Desktop\\Hidden.lnk", L"ShortCut02=",
                       L"", L"[APファイルリンク]", L"ShortCut04=C:\\x\\y.lnk"});
  auto state = product.MakeState();
  ASSERT_EQ(ReadInstallRecord(*state), -1);
  EXPECT_EQ(state->ProgramGroupDir, L"C:\\ProgramData\\Menu\\Pos");
  ASSERT_EQ(state->ShortCutLogCount, 1);
  EXPECT_EQ(state->ShortCutLogList[1].dir, L"C:\\Users\\Public\\Desktop\\Pos.lnk");
}

TEST(InstallRecord, UnsafeOrForgedLinesAreSkipped) {
  InstalledProduct product;
  const std::wstring record =
      L"[Setup]\r\nAppId=P\r\nAppDir=C:\\App\r\n"
      L"[ShortCut]\r\n"  // not the section: ignored
      L"[ショートカット]\r\n"
      L"Group=C:\\Menu\\Pos\rShortCut09=C:\\Windows\\forged.lnk\r\n"
      L"ShortCut01=C:\\Desk\\ok.lnk\r\n"
      L"ShortCut02=\\\\server\\share\\x.lnk\r\n"
      L"ShortCut03=C:\\Desk\\..\\Windows\\x.lnk\r\n"
      L"ShortCut04=C:\\Desk\\CON.lnk\r\n"
      L"ShortCut05=\\\\?\\C:\\Desk\\x.lnk\r\n"
      L"ShortCut06=Desk\\relative.lnk\r\n"
      L"ShortCut07=C:\\Desk\\*.lnk\r\n"
      L"ShortCut08=C:\\Desk\\a.lnk:stream\r\n"
      L"ShortCut10=C:\\Desk\\good.lnk\nShortCut11=C:\\Windows\\lf.lnk\r\n"
      L"[管理者権限]\r\n"
      L"exe01=C:\\App\\pos.exe\r\nexe02=\\\\srv\\x.exe\r\nexe03=C:\\App\\a.exe\rexe04=C:\\x.exe\r\n";
  product.WriteRecordBytes(norvale::ToAnsi(record));
  auto state = product.MakeState();
  ASSERT_EQ(ReadInstallRecord(*state), -1);
  EXPECT_EQ(state->ProgramGroupDir, L"");
  ASSERT_EQ(state->ShortCutLogCount, 1);
  EXPECT_EQ(state->ShortCutLogList[1].dir, L"C:\\Desk\\ok.lnk");
  ASSERT_EQ(state->AdminExeCount, 1);
  EXPECT_EQ(state->AdminExeList[1].exe, L"C:\\App\\pos.exe");
}

TEST(InstallRecord, FontOptionOnlyForAStillInstalledRecordedFont) {
  InstalledProduct product;
  auto probe = product.MakeState();
  const std::wstring fonts = probe->objWinCommon.GetSpecialFolderPath(CSIDL_FONTS);
  const std::wstring present = fonts + L"\\nvtest_present.ttf";
  product.WriteRecord({L"[Setup]", L"AppId=P", L"[Download]", L"src001=/f/nvtest_gone.ttf",
                       L"dst001=" + fonts + L"\\nvtest_gone.ttf", L"src002=/f/nvtest_present.ttf",
                       L"dst002=" + fonts + L"\\sub\\nvtest_present.ttf"});
  auto none = product.MakeState();
  ASSERT_EQ(ReadInstallRecord(*none), -1);
  EXPECT_EQ(none->UninstOptionCount, 1);  // gone, and the other one is in a subfolder

  Touch(present);
  product.WriteRecord({L"[Setup]", L"AppId=P", L"[Download]", L"src001=/f/nvtest_present.ttf",
                       L"dst001=" + fonts + L"\\NVTEST_present.ttf"});
  auto withFont = product.MakeState();
  ASSERT_EQ(ReadInstallRecord(*withFont), -1);
  EXPECT_EQ(withFont->UninstOptionCount, 2);
  EXPECT_EQ(withFont->UninstOptions[2].Caption, L"インストールされたフォントを残す");
  DeleteFileW(present.c_str());
}

// A font recorded with the note that the machine already had it is none of
// the product's: it neither offers the font option nor is removed with ours.
TEST(InstallRecord, AFontThatWasThereBeforeIsNotTheProducts) {
  InstalledProduct product;
  auto probe = product.MakeState();
  const std::wstring fonts = probe->objWinCommon.GetSpecialFolderPath(CSIDL_FONTS);
  const std::wstring theirs = fonts + L"\\nvtest_theirs.ttf";
  const std::wstring ours = fonts + L"\\nvtest_ours.ttf";
  Touch(theirs);
  Touch(ours);
  product.fontRegistry->values = {{L"NvTest Theirs (TrueType)", L"nvtest_theirs.ttf"},
                                  {L"NvTest Ours (TrueType)", L"nvtest_ours.ttf"}};
  const std::wstring earlier = std::wstring(L"err001=") + norvale::kFontAlreadyInstalledText;

  product.WriteRecord({L"[Setup]", L"AppId=P", L"[Download]", L"src001=/f/nvtest_theirs.ttf",
                       L"dst001=" + theirs, earlier});
  auto onlyTheirs = product.MakeState();
  ASSERT_EQ(ReadInstallRecord(*onlyTheirs), -1);
  EXPECT_EQ(onlyTheirs->DownloadCount, 0);
  EXPECT_EQ(onlyTheirs->UninstOptionCount, 1);

  product.WriteRecord({L"[Setup]", L"AppId=P", L"[Download]", L"src001=/f/nvtest_theirs.ttf",
                       L"dst001=" + theirs, earlier, L"src002=/f/nvtest_ours.ttf",
                       L"dst002=" + ours, L"err002="});
  auto both = product.MakeState();
  ASSERT_EQ(ReadInstallRecord(*both), -1);
  ASSERT_EQ(both->DownloadCount, 1);
  EXPECT_EQ(both->DownloadList[1].dst, ours);
  ASSERT_EQ(both->UninstOptionCount, 2);
  both->OsVersion.dwMajorVersion = 6;  // the registry route, whatever Wine reports
  EXPECT_EQ(norvale::UninstallFonts(*both), -1);
  EXPECT_FALSE(Exists(ours));
  EXPECT_TRUE(Exists(theirs));
  ASSERT_EQ(product.fontRegistry->values.size(), 1u);
  EXPECT_EQ(product.fontRegistry->values[0].second, L"nvtest_theirs.ttf");
  DeleteFileW(theirs.c_str());
  DeleteFileW(ours.c_str());
}

// The installer leaves out the src and dst lines of a download whose
// destination the code page cannot hold, but writes its err line. That line
// belongs to its own number: the next entry, a font the machine had before
// the installation, keeps its note, and neither its file nor its Fonts value
// goes with the product's.
TEST(InstallRecord, AnErrLineStaysWithItsNumberWhenItsEntryWasLeftOut) {
  InstalledProduct product;
  auto probe = product.MakeState();
  const std::wstring fonts = probe->objWinCommon.GetSpecialFolderPath(CSIDL_FONTS);
  // The prefix's Fonts folder (not redirected in either build); the Fonts
  // key is the test's registry in memory.
  const std::wstring theirs = fonts + L"\\nvtest_before.ttf";
  Touch(theirs);
  product.fontRegistry->values = {{L"NvTest Before (TrueType)", L"nvtest_before.ttf"}};
  product.WriteRecord({L"[Setup]", L"AppId=P", L"[Download]", L";ダウンロード結果", L"Count=2", L"",
                       norvale::LeftOutNote(L"src001"), L"err001=",
                       L"src002=/f/nvtest_before.ttf", L"dst002=" + theirs,
                       L"err002=" + norvale::FontWasThereNote()});
  auto state = product.MakeState();
  ASSERT_EQ(ReadInstallRecord(*state), -1);
  EXPECT_EQ(state->DownloadCount, 0);
  EXPECT_EQ(state->UninstOptionCount, 1);

  // Even with the font option offered, the removal has nothing of ours.
  if (state->UninstOptionCount < 2) {
    state->UninstOptions.push_back({L"フォント削除", L"インストールされたフォントを残す", 0, 0});
    state->UninstOptionCount = 2;
  }
  state->OsVersion.dwMajorVersion = 6;  // the registry route, whatever Wine reports
  norvale::UninstallFonts(*state);
  EXPECT_TRUE(Exists(theirs));
  ASSERT_EQ(product.fontRegistry->values.size(), 1u);
  EXPECT_EQ(product.fontRegistry->values[0].first, L"NvTest Before (TrueType)");
  DeleteFileW(theirs.c_str());
}

// Records from before the lines were joined by number read as they did:
// numbers with gaps or other widths, keys without a number, a number
// written twice. Numbers of any size or form are only text to the reader.
TEST(InstallRecord, EarlierRecordsPairAsBeforeWhereTheirNumbersAgree) {
  InstalledProduct product;
  const std::wstring huge(400, L'9');
  product.WriteRecord({L"[Setup]", L"AppId=P", L"[Download]",
                       L"src1=/p/a.exe", L"dst001=C:\\Pos\\a.exe", L"chk01=task1", L"err1=",
                       L"src007=/p/b.exe", L"dst007=C:\\Pos\\b.exe",
                       L"src=/p/c.exe", L"dst=C:\\Pos\\c.exe",
                       L"src=/p/d.exe", L"dst=C:\\Pos\\d.exe",
                       L"src008=/p/e.exe", L"dst008=C:\\Pos\\e.exe",
                       L"src008=/p/f.exe", L"dst008=C:\\Pos\\f.exe",
                       L"src" + huge + L"=/p/g.exe", L"dst0" + huge + L"=C:\\Pos\\g.exe",
                       L"src-1=/p/h.exe", L"dst-1=C:\\Pos\\h.exe",
                       L"src009=/p/i.exe", L"dst10=C:\\Pos\\other.exe"});
  auto state = product.MakeState();
  ASSERT_EQ(ReadInstallRecord(*state), -1);
  std::vector<std::wstring> pairs;
  for (int16_t i = 1; i <= state->DownloadCount; ++i) {
    pairs.push_back(state->DownloadList[i].src + L">" + state->DownloadList[i].dst);
  }
  EXPECT_EQ(pairs, (std::vector<std::wstring>{
                       L"/p/a.exe>C:\\Pos\\a.exe", L"/p/b.exe>C:\\Pos\\b.exe",
                       L"/p/c.exe>C:\\Pos\\c.exe", L"/p/d.exe>C:\\Pos\\d.exe",
                       L"/p/e.exe>C:\\Pos\\e.exe", L"/p/f.exe>C:\\Pos\\f.exe",
                       L"/p/g.exe>C:\\Pos\\g.exe", L"/p/h.exe>C:\\Pos\\h.exe"}));
  EXPECT_EQ(state->DownloadList[1].chk, L"task1");
}

// The note that a font was there before survives a record written in any
// ANSI code page; records that carry the Japanese text alone still count,
// written in this code page or in 932. A plain failure is no such note.
TEST(InstallRecord, TheThereBeforeNoteSurvivesEveryCodePage) {
  using norvale::FontWasThereNote;
  using norvale::IsFontWasThereNote;
  using norvale::kFontAlreadyInstalledText;
  const std::wstring failure = L"FONTファイル[C:\\T\\a.ttf]をインストールできませんでした！";
  auto stored = [](const std::wstring& text, unsigned int codePage) {
    return norvale::FromAnsi(norvale::ToAnsi(text, codePage), codePage);
  };
  for (unsigned int codePage : {1252u, 1251u, 1253u, 437u, 874u, 936u, 949u, 932u, 65001u}) {
    EXPECT_TRUE(IsFontWasThereNote(stored(FontWasThereNote(), codePage), codePage)) << codePage;
    EXPECT_TRUE(IsFontWasThereNote(stored(FontWasThereNote(failure), codePage), codePage))
        << codePage;
    EXPECT_TRUE(IsFontWasThereNote(stored(kFontAlreadyInstalledText, codePage), codePage))
        << codePage;
    EXPECT_TRUE(IsFontWasThereNote(norvale::FromAnsi(norvale::ToAnsi(kFontAlreadyInstalledText, 932),
                                                     codePage),
                                   codePage))
        << codePage;
    EXPECT_FALSE(IsFontWasThereNote(stored(failure, codePage), codePage)) << codePage;
    EXPECT_FALSE(IsFontWasThereNote(L"", codePage)) << codePage;
  }

  // The reader, given a record that a code page 1252 machine wrote.
  InstalledProduct product;
  auto probe = product.MakeState();
  const std::wstring theirs =
      probe->objWinCommon.GetSpecialFolderPath(CSIDL_FONTS) + L"\\nvtest_latin.ttf";
  std::wstring text;
  for (const std::wstring& line :
       {std::wstring(L"[Setup]"), std::wstring(L"AppId=P"), std::wstring(L"[Download]"),
        std::wstring(L"src001=/f/nvtest_latin.ttf"), L"dst001=" + theirs,
        L"err001=" + FontWasThereNote(failure)}) {
    text += line + L"\r\n";
  }
  product.WriteRecordBytes(norvale::ToAnsi(text, 1252));
  auto state = product.MakeState();
  ASSERT_EQ(ReadInstallRecord(*state), -1);
  EXPECT_EQ(state->DownloadCount, 0);
}

}  // namespace
