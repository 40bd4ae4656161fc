#include <shlobj.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include "EngineSupport.h"
#include "EngineTestSupport.h"
#include "FileActs.h"
#include "FileSystem.h"
#include "FolderAccess.h"
#include "InstallTree.h"
#include "SetupLog.h"
#include "ShortCuts.h"
#include "TempDir.h"
#include "Text.h"
#include "Utf8CodePages.h"

using namespace engine_testing;
using namespace norvale;

namespace {

struct LinkFields {
  std::wstring target, arguments, workDir, iconFile, description;
  int iconIndex = -1;
  int showCmd = 0;
};

// Reads a ".lnk" back through the shell's own link object.
std::optional<LinkFields> ReadLink(const std::wstring& path) {
  engine::ComApartment com;
  engine::ComPtr<IShellLinkW> link;
  engine::ComPtr<IPersistFile> file;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              link.OutVoid())) ||
      FAILED(link->QueryInterface(IID_IPersistFile, file.OutVoid())) ||
      FAILED(file->Load(path.c_str(), STGM_READ))) {
    return std::nullopt;
  }
  LinkFields fields;
  wchar_t buffer[MAX_PATH * 2] = {};
  link->GetPath(buffer, MAX_PATH * 2, nullptr, SLGP_RAWPATH);
  fields.target = buffer;
  link->GetArguments(buffer, MAX_PATH * 2);
  fields.arguments = buffer;
  link->GetWorkingDirectory(buffer, MAX_PATH * 2);
  fields.workDir = buffer;
  link->GetIconLocation(buffer, MAX_PATH * 2, &fields.iconIndex);
  fields.iconFile = buffer;
  link->GetDescription(buffer, MAX_PATH * 2);
  fields.description = buffer;
  // Wine's link object answers its default for a loaded link, so the
  // window style comes from the file's header, where Windows reads it.
  const std::string bytes = ReadBytes(path);
  if (bytes.size() >= 0x40) fields.showCmd = static_cast<unsigned char>(bytes[0x3C]);
  return fields;
}

class ShortCutsTest : public ::testing::Test {
 protected:
  ShortCutsTest() {
    CreateDirectoryW(app_.c_str(), nullptr);
    CreateDirectoryW((app_ + L"\\Uninst").c_str(), nullptr);
    WriteSetupLog(state(), L";start", 1);
    engine_.macros.table = {{L"{app}", app_}, {L"{commonstartup}", dir_ / L"Startup"},
                            {L"{commondesktop}", dir_ / L"Desktop"}};
    state().ProgramGroupDir = dir_ / L"Programs\\ノルヴァーレ";
  }
  InstallerState& state() { return *engine_.state; }
  void Add(const std::wstring& dir, const std::wstring& nam, const std::wstring& exe,
           const std::wstring& ico, const std::wstring& chk = L"", const std::wstring& arg = L"") {
    ShortCutEntry entry{dir, nam, exe, ico, arg, L"{app}", chk, 0};
    AddToList(state().ShortCutCount, state().ShortCutList, entry);
  }
  std::vector<std::wstring> Record() { return ReadAnsiLines(SetupLogPath(state())); }
  // The run's install tree, rooted at root, as the install run holds it.
  void TreeAt(const std::wstring& root) {
    auto held = OpenFolderFromRoot(
        root, FILE_TRAVERSE | FILE_LIST_DIRECTORY | FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY);
    ASSERT_TRUE(held);
    state().installTree = std::make_shared<InstallTree>(std::move(held->handle), held->path, false);
  }

  testing_support::TempDir dir_{L"lnk"};
  const std::wstring app_ = dir_ / L"ノルヴァーレ POS";
  EngineUnderTest engine_{app_};
};

TEST_F(ShortCutsTest, AShortcutReadsBackWithItsFields) {
  const std::wstring folder = dir_ / L"デスクトップ\\新規";
  ASSERT_TRUE(MakeShortCut(state(), folder, L"売上 管理", L"C:\\Pos\\売上.exe",
                           L"C:\\Pos\\icons.dll,3", L"説明", L"C:\\Pos", L"/mode 1", 7));
  const std::optional<LinkFields> link = ReadLink(folder + L"\\売上 管理.lnk");
  ASSERT_TRUE(link);
  EXPECT_EQ(L"C:\\Pos\\売上.exe", link->target);
  EXPECT_EQ(L"/mode 1", link->arguments);
  EXPECT_EQ(L"C:\\Pos", link->workDir);
  EXPECT_EQ(L"C:\\Pos\\icons.dll", link->iconFile);
  EXPECT_EQ(3, link->iconIndex);
  EXPECT_EQ(L"説明", link->description);
  EXPECT_EQ(7, link->showCmd);

  // Replacing it; blank optional fields stay unset.
  ASSERT_TRUE(MakeShortCut(state(), folder, L"売上 管理", L"C:\\Pos\\b.exe", L"C:\\Pos\\b.exe",
                           L" ", L"", L"", 0));
  EXPECT_EQ(L"C:\\Pos\\b.exe", ReadLink(folder + L"\\売上 管理.lnk")->target);
  EXPECT_EQ(L"", ReadLink(folder + L"\\売上 管理.lnk")->arguments);
  EXPECT_FALSE(MakeShortCut(state(), folder, L"x", L"C:\\a.exe", L" ", L"", L"", L"", 0));
  EXPECT_FALSE(Exists(folder + L"\\x.lnk"));
}

TEST_F(ShortCutsTest, TheStepRecordsCountsAndDrawsTheGauge) {
  Add(L"{group}\\Tools", L"売上", L"{app}\\Pos.exe", L"{app}\\Pos.exe");
  Add(L"{commondesktop}", L"no icon", L"{app}\\Pos.exe", L"");
  Add(L"{commondesktop}", L"売上", L"{app}\\Pos.exe", L"{app}\\Pos.exe", L"", L"/d");
  Add(L"{commondesktop}", L"task", L"{app}\\Pos.exe", L"{app}\\Pos.exe", L"task1");
  // The fourth is counted but made impossible: its folder is a file.
  testing_support::WriteFileBytes(dir_ / L"blocker", "");
  Add(dir_ / L"blocker", L"fails", L"{app}\\Pos.exe", L"{app}\\Pos.exe");
  CheckItemEntry unticked;
  AddToList(state().CheckItemCount, state().CheckItems, unticked);

  EXPECT_FALSE(CreateShortCuts(*engine_.context));
  const std::wstring group = state().ProgramGroupDir;
  EXPECT_EQ((std::vector<std::wstring>{
                L";start", L"[ショートカット]", L";ショートカット作成結果", L"Group=" + group,
                L"Count=3", L"ShortCut01=" + group + L"\\売上.lnk", L"err01=",
                L"ShortCut02=" + (dir_ / L"Desktop\\売上.lnk"), L"err02=",
                L"ShortCut03=" + (dir_ / L"blocker\\fails.lnk"),
                L"err03=ショートカットの作成に失敗しました！", L""}),
            Record());
  EXPECT_EQ((std::vector<int16_t>{0, 33, 66, 100, -1}), engine_.window.gauge);
  EXPECT_EQ(app_ + L"\\Pos.exe", ReadLink(group + L"\\売上.lnk")->target);
  EXPECT_EQ(L"/d", ReadLink(dir_ / L"Desktop\\売上.lnk")->arguments);
  EXPECT_EQ(app_, ReadLink(dir_ / L"Desktop\\売上.lnk")->workDir);
  EXPECT_FALSE(Exists(dir_ / L"Desktop\\task.lnk"));
  // The entries stay expanded.
  EXPECT_EQ(group, state().ShortCutList[1].dir);
}

TEST_F(ShortCutsTest, AnEmptyListStillWritesTheSection) {
  EXPECT_TRUE(CreateShortCuts(*engine_.context));
  EXPECT_EQ((std::vector<std::wstring>{L";start", L"[ショートカット]", L";ショートカット作成結果",
                                       L"Group=" + state().ProgramGroupDir, L"Count=0", L""}),
            Record());
  EXPECT_EQ((std::vector<int16_t>{0, -1}), engine_.window.gauge);
}

TEST_F(ShortCutsTest, OnWindows10AStartupProgramStartsThroughItsCommandFile) {
  Add(L"{commonstartup}", L"POS", L"{app}\\Pos.Exe", L"{app}\\pos.ico", L"", L"/auto");
  Add(L"{commonstartup}", L"batch", L"{app}\\run.bat", L"{app}\\pos.ico");
  Add(L"{commonstartup}", L"unchosen", L"{app}\\Other.exe", L"{app}\\pos.ico", L"task1");
  CheckItemEntry unticked;
  AddToList(state().CheckItemCount, state().CheckItems, unticked);

  EXPECT_TRUE(CreateShortCuts(*engine_.context));
  const std::wstring cmd = app_ + L"\\Pos.CMD";
  EXPECT_EQ((std::vector<std::wstring>{
                L"ECHO OFF",
                L"rem このコマンドファイルはWindows10専用としてインストーラーにより作成されました。",
                L"rem ログオン時のスタートアップ時に使用されます。", L"",
                L"START \"Pos.CMDを起動しています...\" \"" + app_ + L"\\Pos.Exe\"", L"", L"EXIT"}),
            ReadAnsiLines(cmd));
  const std::optional<LinkFields> link = ReadLink(dir_ / L"Startup\\POS.lnk");
  ASSERT_TRUE(link);
  EXPECT_EQ(cmd, link->target);
  EXPECT_EQ(7, link->showCmd);
  EXPECT_EQ(L"/auto", link->arguments);
  EXPECT_EQ(app_ + L"\\pos.ico", link->iconFile);
  EXPECT_EQ(app_ + L"\\run.bat", ReadLink(dir_ / L"Startup\\batch.lnk")->target);
  // The command file is written whatever the condition says.
  EXPECT_TRUE(Exists(app_ + L"\\Other.CMD"));
  EXPECT_FALSE(Exists(dir_ / L"Startup\\unchosen.lnk"));
}

// The logon command file runs at every user's logon, an administrator's
// too. A user may make its name first in the install folder (users may add
// files below the drive root), as a file of their own or as another name of
// one: the run's file takes the name, made with a list under which only
// administrators may change it (Wine keeps none: read as handed over), and
// what the user made is never written into. The record says what it got.
TEST_F(ShortCutsTest, ALogonCommandFileAUserMadeFirstIsReplacedByTheRunsOwn) {
  TreeAt(app_);
  const std::wstring cmd = app_ + L"\\Pos.CMD";
  testing_support::WriteFileBytes(cmd, "START C:\\Users\\Public\\evil.exe\r\n");
  const std::wstring theirs = dir_ / L"theirs.txt";
  testing_support::WriteFileBytes(theirs, "mine");
  const std::wstring other = app_ + L"\\Other.CMD";
  ASSERT_TRUE(CreateHardLinkW(other.c_str(), theirs.c_str(), nullptr));
  Add(L"{commonstartup}", L"POS", L"{app}\\Pos.exe", L"{app}\\pos.ico");
  Add(L"{commonstartup}", L"other", L"{app}\\Other.exe", L"{app}\\pos.ico");

  EXPECT_TRUE(CreateShortCuts(*engine_.context));
  EXPECT_EQ(ReadAnsiLines(cmd)[4], L"START \"Pos.CMDを起動しています...\" \"" + app_ + L"\\Pos.exe\"");
  EXPECT_EQ(ReadAnsiLines(other)[4],
            L"START \"Other.CMDを起動しています...\" \"" + app_ + L"\\Other.exe\"");
  EXPECT_EQ(ReadBytes(theirs), "mine");
  const auto expected = FolderAccessListForThisRun(*engine_.folderAccess, GuardedFolder::kGeneratedFile);
  ASSERT_TRUE(expected);
  std::vector<std::wstring> lines;
  for (const std::wstring& path : {cmd, other}) {
    const auto* made = engine_.folderAccess->FileMadeAt(path);
    ASSERT_TRUE(made) << ToAnsi(path);
    ASSERT_TRUE(made->list);
    const auto reading = testing_support::Read(*made->list);
    EXPECT_EQ(reading.owner, L"Administrators");
    EXPECT_TRUE(reading.isProtected);
    EXPECT_EQ(reading.writers, (std::vector<std::wstring>{L"Administrators", L"SYSTEM"}));
    EXPECT_EQ(reading.readers, (std::vector<std::wstring>{L"Users"}));
    lines.push_back(L";ファイルのアクセス許可=" + path + L"|作成|" + expected->Text());
  }
  // After the section's own lines, before its closing empty line.
  const std::vector<std::wstring> record = Record();
  ASSERT_EQ(record.size(), 12u);
  EXPECT_EQ(record[8].rfind(L"err02=", 0), 0u);
  EXPECT_EQ(std::vector<std::wstring>(record.begin() + 9, record.begin() + 11), lines);
  EXPECT_EQ(record[11], L"");
  EXPECT_EQ(cmd, ReadLink(dir_ / L"Startup\\POS.lnk")->target);
}

// A folder on the way to the command file that was swapped for a link (one
// made on the host: tests/support/make-host-links.sh) gets nothing: the
// file is not written, neither there nor where the link leads.
TEST_F(ShortCutsTest, ALogonCommandFileIsNeverWrittenThroughALink) {
  const std::wstring links = L"C:\\norvale-tree-links";
  ASSERT_TRUE(FolderExists(links + L"\\outside")) << "the host's links are missing";
  TreeAt(links);
  EXPECT_FALSE(MakeStartupCmdFile(links + L"\\linked", L"Pos.CMD", app_ + L"\\Pos.exe",
                                  SystemCodePages(), &state()));
  EXPECT_FALSE(Exists(links + L"\\outside\\Pos.CMD"));
  EXPECT_TRUE(engine_.folderAccess->createdFiles.empty());
}

TEST_F(ShortCutsTest, BeforeWindows10TheProgramIsTheTarget) {
  engine_.windows->major = 6;
  engine_.windows->minor = 3;
  Add(L"{commonstartup}", L"POS", L"{app}\\Pos.exe", L"{app}\\Pos.exe");
  EXPECT_TRUE(CreateShortCuts(*engine_.context));
  EXPECT_FALSE(Exists(app_ + L"\\Pos.CMD"));
  const std::optional<LinkFields> link = ReadLink(dir_ / L"Startup\\POS.lnk");
  ASSERT_TRUE(link);
  EXPECT_EQ(app_ + L"\\Pos.exe", link->target);
  EXPECT_NE(7, link->showCmd);
}

TEST_F(ShortCutsTest, CommandFilesNeedEveryPart) {
  EXPECT_FALSE(MakeStartupCmdFile(L" ", L"a.CMD", L"C:\\a.exe"));
  EXPECT_FALSE(MakeStartupCmdFile(app_, L"", L"C:\\a.exe"));
  EXPECT_FALSE(MakeStartupCmdFile(app_, L"a.CMD", L""));
  EXPECT_TRUE(MakeStartupCmdFile(app_ + L"\\", L"a.CMD", L"C:\\a.exe"));
  EXPECT_EQ(7u, ReadAnsiLines(app_ + L"\\a.CMD").size());
  EXPECT_FALSE(MakeStartupCmdFile(dir_ / L"missing", L"a.CMD", L"C:\\a.exe"));
}

// A shortcut whose name the record's code page lacks is recorded by its
// short name, which the uninstaller finds it by, never as "Cafe.lnk".
TEST_F(ShortCutsTest, ANameTheCodePageLacksIsRecordedByItsShortName) {
  Add(L"{commondesktop}", L"Café", L"{app}\\Pos.exe", L"{app}\\Pos.exe");
  EXPECT_TRUE(CreateShortCuts(*engine_.context));
  const std::vector<std::wstring> record = Record();
  ASSERT_EQ(8u, record.size());
  ASSERT_TRUE(StartsWith(record[5], L"ShortCut01=")) << ToAnsi(record[5]);
  const std::wstring recorded = record[5].substr(11);
  EXPECT_EQ(recorded.find(L"Cafe"), std::wstring::npos);
  wchar_t longForm[MAX_PATH] = {};
  ASSERT_NE(0u, GetLongPathNameW(recorded.c_str(), longForm, MAX_PATH));
  EXPECT_EQ(dir_ / L"Desktop\\Café.lnk", std::wstring(longForm));
}

// The command interpreter reads a logon command file in the OEM code page:
// the program is named by bytes that read alike in both code pages, by its
// short name where they do not, and no file is made when neither does. A
// look-alike there would start another program. Code pages other than the
// prefix's are handed in.
TEST_F(ShortCutsTest, ALogonCommandFileNamesItsProgramExactly) {
  // dir_ is plain ASCII: 1252 holds all of this path.
  const std::wstring cafe = dir_ / L"Café.exe";
  testing_support::WriteFileBytes(cafe, "x");
  const std::wstring japanese = app_ + L"\\売上.exe";
  EXPECT_EQ(japanese, CommandFileProgramPath(japanese, 932, 932));
  EXPECT_EQ(cafe, CommandFileProgramPath(cafe, 1252, 1252));
  for (const auto& [ansi, oem] : {std::pair{932u, 932u}, std::pair{1252u, 850u}}) {
    const std::optional<std::wstring> named = CommandFileProgramPath(cafe, ansi, oem);
    ASSERT_TRUE(named) << ansi;
    EXPECT_NE(cafe, *named);
    EXPECT_EQ(ToAnsiExact(*named, ansi), ToAnsiExact(*named, oem));
  }
  const std::wstring missing = app_ + L"\\Crème.exe";
  EXPECT_FALSE(CommandFileProgramPath(missing, 932, 932));
  EXPECT_FALSE(MakeStartupCmdFile(app_, L"Crème.CMD", missing));
  EXPECT_FALSE(Exists(app_ + L"\\Crème.CMD"));

  // The prefix's own code pages, as the file is written.
  ASSERT_TRUE(MakeStartupCmdFile(app_, L"Café.CMD", cafe));
  const std::string bytes = ReadBytes(app_ + L"\\Café.CMD");
  EXPECT_EQ(bytes.find("Cafe.exe"), std::string::npos);
  EXPECT_NE(bytes.find(ToAnsi(*CommandFileProgramPath(cafe))), std::string::npos);
}

// Where Windows uses UTF-8 for every language, both code pages are 65001:
// the command file is written, and read, in UTF-8, which holds every path
// exactly. Wine runs no prefix so and takes the flags that Windows refuses
// on UTF-8; the test's Windows answers as that Windows does.
TEST_F(ShortCutsTest, AUtf8MachineGetsItsLogonCommandFile) {
  const testing_support::Utf8CodePages utf8;
  engine_.windows->codePages = &utf8;
  Add(L"{commonstartup}", L"POS", L"{app}\\Pōs.exe", L"{app}\\pos.ico");
  EXPECT_TRUE(CreateShortCuts(*engine_.context));
  const std::wstring cmd = app_ + L"\\Pōs.CMD";
  EXPECT_EQ(ToAnsi(L"ECHO OFF\r\n"
                   L"rem このコマンドファイルはWindows10専用としてインストーラーにより作成されました。\r\n"
                   L"rem ログオン時のスタートアップ時に使用されます。\r\n\r\n"
                   L"START \"Pōs.CMDを起動しています...\" \"" + app_ + L"\\Pōs.exe\"\r\n\r\n"
                   L"EXIT\r\n",
                   CP_UTF8),
            ReadBytes(cmd));
  // Redirected to it (Wine's link keeps its target in code page 932, which
  // lacks "ō", so the style shows it).
  EXPECT_EQ(cmd, state().ShortCutList[1].exe);
  EXPECT_EQ(7, ReadLink(dir_ / L"Startup\\POS.lnk")->showCmd);
}

TEST_F(ShortCutsTest, TheSimpleConditionKnowsTasksAndOptionsOnly) {
  SetupRecord& r = state();
  CheckItemEntry ticked, unticked;
  ticked.checked = -1;
  AddToList(r.CheckItemCount, r.CheckItems, ticked);
  AddToList(r.CheckItemCount, r.CheckItems, unticked);
  SelectGroupEntry group;
  for (int16_t i = 1; i <= 3; ++i) {
    SelectOptionEntry option;
    option.chosen = i == 1 ? -1 : 0;
    group.options.push_back(option);
  }
  group.optionCount = 3;
  AddToList(r.SelectGroupCount, r.SelectGroups, group);

  EXPECT_TRUE(IsTaskOrOptionChosen(r, L""));
  EXPECT_TRUE(IsTaskOrOptionChosen(r, L"task1"));
  EXPECT_FALSE(IsTaskOrOptionChosen(r, L"task2"));
  EXPECT_FALSE(IsTaskOrOptionChosen(r, L"TASK 2"));
  EXPECT_TRUE(IsTaskOrOptionChosen(r, L"task3"));
  EXPECT_TRUE(IsTaskOrOptionChosen(r, L"taskX"));
  EXPECT_TRUE(IsTaskOrOptionChosen(r, L"1,1"));
  EXPECT_FALSE(IsTaskOrOptionChosen(r, L"1,2"));
  EXPECT_TRUE(IsTaskOrOptionChosen(r, L"1,5"));
  EXPECT_TRUE(IsTaskOrOptionChosen(r, L"2,2"));
  EXPECT_TRUE(IsTaskOrOptionChosen(r, L",2"));
  EXPECT_TRUE(IsTaskOrOptionChosen(r, L"64bit"));
  EXPECT_TRUE(IsTaskOrOptionChosen(r, L"<Windows10>"));
  EXPECT_TRUE(IsTaskOrOptionChosen(r, L"group,option"));
  EXPECT_TRUE(IsTaskOrOptionChosen(r, L"1,2,64bit"));
}

}  // namespace
