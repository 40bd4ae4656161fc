// The line-by-line sections and their grammar.
#include <gtest/gtest.h>

#include "SectionReaders.h"
#include "SetupInfoTestSupport.h"

using namespace norvale;
using namespace setupinfo_testing;

namespace {

class SectionReadersTest : public ::testing::Test {
 protected:
  InstallerState& With(const std::wstring& text, Machine m = Machine::Windows10x64) {
    machine.Become(m);
    WriteAnsiFile(dir / L"Setup.ini", text);
    state = StateIn(machine, dir.Path());
    return *state;
  }
  std::vector<DownloadEntry> Downloads(const std::wstring& lines,
                                       Machine m = Machine::Windows10x64) {
    InstallerState& s = With(L"[Setup]\nAppName=x\n[Download]\n" + lines + L"[Next]\nsrc=/no\n", m);
    std::wstring detail = L"old";
    EXPECT_EQ(ReadDownloadSection(s, detail), -1);
    EXPECT_EQ(detail, L"");
    EXPECT_EQ(s.DownloadList.size(), static_cast<size_t>(s.DownloadCount) + 1);
    EXPECT_TRUE(s.DownloadList[0].src.empty());
    return {s.DownloadList.begin() + 1, s.DownloadList.end()};
  }
  testing_support::TempDir dir{L"sr"};
  TestMachine machine;
  std::unique_ptr<InstallerState> state;
};

}  // namespace

TEST_F(SectionReadersTest, DownloadPairsAndTheirFlags) {
  auto list = Downloads(L"src=/pkg/app.zip\ndst={app}\nchk=\n"
                        L"SRC = /pkg/bin/\nDst={TMP}\\x\nchk= 1,2 \n"
                        L" src=/ignored\n; src=/comment\n"
                        L"src=/a=b.zip\ndst={app}\\a=b\n");
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].src, L"/pkg/app.zip");
  EXPECT_EQ(list[0].dst, L"{app}");
  EXPECT_EQ(list[0].chk, L"");
  EXPECT_EQ(list[0].IsFolder, 0);
  EXPECT_EQ(list[0].IsTemp, 0);
  EXPECT_EQ(list[1].src, L"/pkg/bin/");
  EXPECT_EQ(list[1].IsFolder, -1);
  EXPECT_EQ(list[1].IsTemp, -1);
  EXPECT_EQ(list[1].chk, L"1,2");
  // "=" inside a value belongs to it; a pair without chk keeps an empty one.
  EXPECT_EQ(list[2].src, L"/a=b.zip");
  EXPECT_EQ(list[2].dst, L"{app}\\a=b");
}

TEST_F(SectionReadersTest, DownloadWaitsForChkAndFirstSourceWins) {
  // src, dst, src, dst, chk: the first pair with that chk.
  auto list = Downloads(L"src=/a\ndst=d1\nsrc=/b\ndst=d2\nchk=task1\n");
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].src, L"/a");
  EXPECT_EQ(list[0].chk, L"task1");
  // src, src, dst: the first src; a dst alone is nothing.
  list = Downloads(L"src=/a\nsrc=/b\ndst=d\nchk=\ndst=lonely\nchk=\n");
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].src, L"/a");
}

TEST_F(SectionReadersTest, DownloadWindowsSuffixes) {
  const std::wstring win7 = L"src=/a,Windows 7\ndst={app},Windows 7\nchk=\n";
  EXPECT_EQ(Downloads(win7, Machine::Windows7x86).size(), 1u);
  EXPECT_EQ(Downloads(win7, Machine::Windows7x86)[0].dst, L"{app}");
  EXPECT_EQ(Downloads(win7, Machine::Windows10x64).size(), 0u);
  // The conditions must be equal.
  EXPECT_EQ(Downloads(L"src=/a,Windows 7\ndst={app}\nchk=\n", Machine::Windows7x86).size(), 0u);
  // The unused second src replaces the source condition.
  EXPECT_EQ(Downloads(L"src=/a,Windows 7\nsrc=/b\ndst={app},Windows 7\nchk=\n",
                      Machine::Windows7x86).size(), 0u);
  // On Windows 10 the Windows 7 line falls through to the next source.
  auto list = Downloads(L"src=/old,Windows 7\nsrc=/new,Windows 11\ndst={app},Windows 11\nchk=\n");
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].src, L"/new");
}

TEST_F(SectionReadersTest, WindowsConditionNamesTheNewestWindows) {
  struct Row {
    Machine machine;
    const wchar_t* name;
    int16_t holds;
  };
  const Row rows[] = {
      {Machine::Windows7x86, L"Windows 7", -1},    {Machine::Windows7x86, L"Windows 8.1", -1},
      {Machine::Windows7x86, L"Windows XP", 0},    {Machine::Windows7x86, L"Windows 10", -1},
      {Machine::Windows7x86, L"Windows 11", -1},   {Machine::Windows10x64, L"Windows 10", -1},
      {Machine::Windows10x64, L" windows 11 ", -1}, {Machine::Windows10x64, L"Windows 8.1", 0},
      {Machine::Windows11x64, L"Windows 10", 0},   {Machine::Windows11x64, L"Windows 11", -1},
      {Machine::Windows11x64, L"Windows Vista", 0}, {Machine::Windows11x64, L"", -1},
  };
  for (const Row& row : rows) {
    machine.Become(row.machine);
    EXPECT_EQ(IsWindowsCondition(*machine.windows, row.name), row.holds) << row.name;
  }
  machine.windows->versionFails = true;
  EXPECT_EQ(IsWindowsCondition(*machine.windows, L"Windows 11"), 0);
}

TEST_F(SectionReadersTest, HeadersIgnoreCaseAndTrailingText) {
  InstallerState& s =
      With(L"[DOWNLOAD] ; packages\nsrc=/a\ndst=b\nchk=\n[\nsrc=/c\ndst=d\nchk=\n");
  std::wstring detail;
  EXPECT_EQ(ReadDownloadSection(s, detail), -1);
  EXPECT_EQ(s.DownloadCount, 1);
}

TEST_F(SectionReadersTest, ShortcutsPairByPosition) {
  InstallerState& s = With(
      L"[ショートカット]\ndir={group}\ndir={commondesktop}\nexe={app}\\a.exe\nexe={app}\\b.exe\n"
      L"nam=POS\nico={app}\\a.ico\nARG=/x\nwrk={app}\nchk=task1\ndir={app}\n");
  EXPECT_EQ(ReadShortCutSection(s), -1);
  ASSERT_EQ(s.ShortCutCount, 2);  // the third dir has no exe
  EXPECT_EQ(s.ShortCutList[1].dir, L"{group}");
  EXPECT_EQ(s.ShortCutList[1].nam, L"POS");
  EXPECT_EQ(s.ShortCutList[1].arg, L"/x");
  EXPECT_EQ(s.ShortCutList[1].chk, L"task1");
  EXPECT_EQ(s.ShortCutList[2].exe, L"{app}\\b.exe");
  EXPECT_EQ(s.ShortCutList[2].nam, L"");
  EXPECT_EQ(s.ShortCutList[2].style, 0);
}

TEST_F(SectionReadersTest, FileLinksNeedAllFourFieldsAndReadTheRecordedForm) {
  InstallerState& s = With(
      L"[APファイルリンク]\next=.pos\nid=Norvale.Doc\nname=POS文書\npath={app}\\pos.exe\n"
      L"ext01_ext=.abc\nid01_id=A\nname01_name=B\n");
  EXPECT_EQ(ReadApFileLinkSection(s), -1);
  ASSERT_EQ(s.ApFileLinkCount, 1);
  EXPECT_EQ(s.ApFileLinkList[1].name, L"POS文書");
  EXPECT_EQ(s.ApFileLinkList[1].chk, L"");

  // The uninstaller's form over "Setup.log".
  WriteAnsiFile(dir / L"Setup.log",
                L"[APファイルリンク]\next01_ext=.abc\nid01_id=A.B\nname01_name=N\npath01_path=C:\\p\\a.exe\n"
                L"chk01_chk=task2\n[管理者権限]\nexe01=C:\\p\\a.exe\nerr01=\n");
  int16_t count = 0;
  std::vector<ApFileLinkEntry> links;
  std::wstring err;
  EXPECT_EQ(ReadApFileLinkSection(dir / L"Setup.log", count, links, err), -1);
  ASSERT_EQ(count, 1);
  EXPECT_EQ(links[1].ext, L".abc");
  EXPECT_EQ(links[1].chk, L"task2");
  std::vector<AdminExeEntry> admins;
  EXPECT_EQ(ReadAdminRightsSection(dir / L"Setup.log", count, admins, err), -1);
  ASSERT_EQ(count, 1);
  EXPECT_EQ(admins[1].exe, L"C:\\p\\a.exe");
  EXPECT_EQ(admins[1].chk, L"");
}

TEST_F(SectionReadersTest, AutoRunBlocks) {
  InstallerState& s = With(
      L"[自動実行]\nexe=setup.exe\nid=\nid=ABC\nprm=/q\nexe=other.exe\nchk=task1\n"
      L"exe=vc.exe\nid=VC_2010_x86\nprm=<NULL>\nchk=\n"
      L"exe=nochk.exe\nid=X\n");
  EXPECT_EQ(ReadAutoRunSection(s), -1);
  ASSERT_EQ(s.AutoRunCount, 2);
  EXPECT_EQ(s.AutoRunList[1].exe, L"setup.exe");
  EXPECT_EQ(s.AutoRunList[1].id, L"");
  EXPECT_EQ(s.AutoRunList[1].prm, L"/q");
  EXPECT_EQ(s.AutoRunList[1].chk, L"task1");
  EXPECT_EQ(s.AutoRunList[2].id, L"VC_2010_x86");
  EXPECT_EQ(s.AutoRunList[2].prm, L"");
}

TEST_F(SectionReadersTest, AutoRunWindowsSuffixes) {
  const std::wstring text =
      L"[自動実行]\nexe=a.exe,Windows 7\nid=A,Windows 7\nprm=/x\nchk=\n";
  InstallerState& s7 = With(text, Machine::Windows7x86);
  EXPECT_EQ(ReadAutoRunSection(s7), -1);
  ASSERT_EQ(s7.AutoRunCount, 1);
  EXPECT_EQ(s7.AutoRunList[1].id, L"A");
  EXPECT_EQ(s7.AutoRunList[1].prm, L"");  // its condition differs from the entry's
  InstallerState& s10 = With(text, Machine::Windows10x64);
  EXPECT_EQ(ReadAutoRunSection(s10), -1);
  EXPECT_EQ(s10.AutoRunCount, 0);
}

TEST_F(SectionReadersTest, SectionValuesKeepKeysAsWritten) {
  InstallerState& s = With(L"[条件]\na = b\n=x\nnoequals\n;c=d\nBase=基本=版\n[次]\nz=1\n");
  int16_t count = 0;
  std::vector<std::wstring> keys, values;
  EXPECT_EQ(ReadSectionValues(s, L"条件", count, keys, values), -1);
  ASSERT_EQ(count, 3);
  EXPECT_EQ(keys[1], L"a ");
  EXPECT_EQ(values[1], L"b");
  EXPECT_EQ(keys[2], L"");
  EXPECT_EQ(values[2], L"x");
  EXPECT_EQ(values[3], L"基本=版");
  EXPECT_EQ(ReadSectionValues(s, L"無い", count, keys, values), -1);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(ReadSectionValues(s, L" ", count, keys, values), 0);
}

TEST_F(SectionReadersTest, AMissingFileLeavesListsAndSaysSo) {
  InstallerState& s = With(L"[Download]\nsrc=/a\ndst=b\nchk=\n");
  std::wstring detail;
  ASSERT_EQ(ReadDownloadSection(s, detail), -1);
  DeleteFileW((dir / L"Setup.ini").c_str());
  EXPECT_EQ(ReadDownloadSection(s, detail), 0);
  EXPECT_EQ(s.DownloadCount, 1);
  EXPECT_EQ(s.ErrText, kSetupInfoOpenFailed);
  for (auto reader : {&ReadShortCutSection, &ReadAutoRunSection}) {
    s.ErrText.clear();
    EXPECT_EQ(reader(s), 0);
    EXPECT_EQ(s.ErrText, kSetupInfoOpenFailed);
  }
}

TEST_F(SectionReadersTest, ListsStopAtTheirCap) {
  std::wstring lines = L"[管理者権限]\n";
  for (int i = 0; i < kMaxListEntries + 5; ++i) lines += L"exe=a" + std::to_wstring(i) + L".exe\n";
  lines += L"[Download]\n";
  for (int i = 0; i < kMaxListEntries + 5; ++i) lines += L"src=/a\ndst=b\nchk=\n";
  InstallerState& s = With(lines);
  EXPECT_EQ(ReadAdminRightsSection(s), 0);
  EXPECT_EQ(s.AdminExeCount, kMaxListEntries);
  EXPECT_NE(s.ErrText.find(L"多すぎます"), std::wstring::npos);
  std::wstring detail;
  EXPECT_EQ(ReadDownloadSection(s, detail), 0);
  EXPECT_EQ(s.DownloadCount, kMaxListEntries);
}
