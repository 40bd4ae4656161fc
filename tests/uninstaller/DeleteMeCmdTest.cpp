// The self-deleting command file: its lines, its encoding, and what Wine's
// command interpreter does with it.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "DeleteMeCmd.h"
#include "FileActs.h"
#include "FileCalls.h"
#include "OtherFileCalls.h"
#include "GuardedRemovals.h"
#include "Handles.h"
#include "Paths.h"
#include "RemovalGuards.h"
#include "RemovalSteps.h"
#include "RunningProgram.h"
#include "System.h"
#include "Text.h"
#include "UninstallerTestSupport.h"
#include "Utf8CodePages.h"

namespace {

using namespace uninstaller_test;
using norvale::BuildDeleteMeCmd;

std::vector<std::wstring> Lines(const std::string& bytes) {
  std::wstring text = norvale::FromAnsi(bytes);
  std::vector<std::wstring> lines;
  size_t start = 0;
  for (size_t end; (end = text.find(L"\r\n", start)) != std::wstring::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  EXPECT_EQ(start, text.size()) << "every line ends with CR LF";
  return lines;
}

// The program's file lies in the command file's own folder by then; the
// install folder is only looked for.
TEST(DeleteMeCmd, LinesForProgramFolderAndRestart) {
  const auto bytes =
      BuildDeleteMeCmd(L"C:\\Temp\\Dekant00-1\\Dekant00.exe", L" C:\\Pos ", true);
  ASSERT_TRUE(bytes);
  const std::vector<std::wstring> expected = {
      L"echo off",
      L"setlocal DisableDelayedExpansion",
      L"set i=1",
      L":Lbl0",
      L"echo [C:\\Temp\\Dekant00-1\\Dekant00.exe]を削除しています [%i%回目]",
      L"DEL \"C:\\Temp\\Dekant00-1\\Dekant00.exe\"",
      L"IF NOT EXIST \"C:\\Temp\\Dekant00-1\\Dekant00.exe\" GOTO Lbl1",
      L"set /a i+=1",
      L"TIMEOUT /T 1",
      L"if %i% leq 5 goto Lbl0",
      L":Lbl1",
      L"set i=1",
      L":Lbl2",
      L"echo [C:\\Pos]を削除しています [%i%回目]",
      L"IF NOT EXIST \"C:\\Pos\\\" GOTO Lbl3",
      L"set /a i+=1",
      L"TIMEOUT /T 1",
      L"if %i% leq 5 goto Lbl2",
      L"mshta vbscript:execute(\"MsgBox(\"\"フォルダ(C:\\Pos)を削除できませんでした！\"\"):close\")",
      L":Lbl3",
      L"shutdown -r -t 1",
      L"TIMEOUT /T 1",
      L"DEL \"%~f0\" & RD \"%~dp0\" 2>nul & EXIT /B",
  };
  EXPECT_EQ(Lines(*bytes), expected);
}

TEST(DeleteMeCmd, NoFolderAndNoRestart) {
  const auto bytes = BuildDeleteMeCmd(L"C:\\Pos\\Uninst\\Dekant00.exe", L"  ", false);
  ASSERT_TRUE(bytes);
  const std::vector<std::wstring> lines = Lines(*bytes);
  ASSERT_EQ(lines.size(), 14u);
  EXPECT_EQ(lines[11], L"set i=1");
  EXPECT_EQ(lines[12], L"TIMEOUT /T 1");
  for (const std::wstring& line : lines) {
    EXPECT_EQ(line.find(L"shutdown"), std::wstring::npos);
    EXPECT_FALSE(norvale::StartsWith(line, L"RD "));
  }
}

TEST(DeleteMeCmd, SpecialCharactersStayLiteral) {
  const auto bytes = BuildDeleteMeCmd(L"C:\\A%PATH%&b\\Uninst\\Dekant00.exe",
                                      L"C:\\A%PATH%&b^c|d<e>f!g!", false);
  ASSERT_TRUE(bytes);
  const std::vector<std::wstring> lines = Lines(*bytes);
  EXPECT_EQ(lines[4], L"echo [C:\\A%%PATH%%^&b\\Uninst\\Dekant00.exe]を削除しています [%i%回目]");
  EXPECT_EQ(lines[14], L"IF NOT EXIST \"C:\\A%%PATH%%&b^c|d<e>f!g!\\\" GOTO Lbl3");
}

// Once the program has ended, whatever names the install folder may lead
// elsewhere: the file deletes the program's file in its own folder and
// itself with that folder, nothing else, and no tree.
TEST(DeleteMeCmd, NoLineDeletesInTheInstallFolder) {
  for (const auto& [program, folder] : std::vector<std::pair<std::wstring, std::wstring>>{
           {L"C:\\T\\Dekant00-1\\Dekant00.exe", L"C:\\Pos"},
           {L"C:\\T\\Dekant00-1\\Dekant00.exe", L"C:\\Pos\\"},
           {L"C:\\T /s\\Dekant00-1\\Dekant00.exe", L"C:\\Pos /s"},
           {L"C:\\T\\Dekant00-1\\Dekant00.exe", L""}}) {
    const auto bytes = BuildDeleteMeCmd(program, folder, true);
    ASSERT_TRUE(bytes);
    std::vector<std::wstring> removals;
    for (const std::wstring& line : Lines(*bytes)) {
      const std::wstring upper = norvale::UpperCased(line);
      if (!norvale::StartsWith(upper, L"DEL ") && !norvale::StartsWith(upper, L"RD ")) continue;
      removals.push_back(line);
      // A path of ours may hold " /s"; only what stands outside quotes counts.
      std::wstring unquoted;
      bool inQuotes = false;
      for (wchar_t c : upper) {
        if (c == L'"') inQuotes = !inQuotes;
        else if (!inQuotes) unquoted += c;
      }
      EXPECT_EQ(unquoted.find(L"/S"), std::wstring::npos) << norvale::ToAnsi(line);
      EXPECT_EQ(unquoted.find(L"/Q"), std::wstring::npos) << norvale::ToAnsi(line);
      EXPECT_EQ(unquoted.find(L'*'), std::wstring::npos) << norvale::ToAnsi(line);
    }
    EXPECT_EQ(removals, (std::vector<std::wstring>{L"DEL \"" + program + L"\"",
                                                   L"DEL \"%~f0\" & RD \"%~dp0\" 2>nul & EXIT /B"}))
        << norvale::ToAnsi(folder);
  }
}

TEST(DeleteMeCmd, APathTheCodePageCannotHoldIsNotWritten) {
  EXPECT_FALSE(BuildDeleteMeCmd(L"C:\\P\\Uninst\\Dekant00.exe", L"C:\\P\u0101", false));
  EXPECT_FALSE(BuildDeleteMeCmd(L"C:\\P\u0101\\Uninst\\Dekant00.exe", L"", false));
}

// Runs the interpreter's command line and waits for it.
void RunCommandLine(std::wstring commandLine) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                             CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process));
  EXPECT_EQ(WaitForSingleObject(process.hProcess, 120000), WAIT_OBJECT_0);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

// Runs the file as the uninstaller starts it.
void RunCmd(const std::wstring& file) {
  const std::wstring commandLine = norvale::DeleteMeCmdCommandLine(file);
  ASSERT_FALSE(commandLine.empty()) << norvale::ToAnsi(file);
  RunCommandLine(commandLine);
}

// An open folder, for writing the file into.
norvale::FileHandle Held(const std::wstring& folder) {
  return norvale::FileHandle(CreateFileW(folder.c_str(), norvale::kListingAccess,
                                         norvale::kRemovalSharing, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

// The interpreter deletes the program's file where it moved to and its own
// folder; the install folder it leaves as it finds it, however full, and
// once the program removed that folder it goes on without waiting.
TEST(DeleteMeCmd, InterpreterDeletesOnlyTheProgramAndItsOwnFolder) {
  testing_support::TempDir temp(L"dm");
  const std::wstring folder = temp.Path() + L"\\Pos a%PATH%&b!x!";
  const std::wstring neighbour = temp.Path() + L"\\Pos a";
  for (const std::wstring& dir : {folder, folder + L"\\Uninst", folder + L"\\data", neighbour}) {
    MakeFolder(dir);
  }
  Touch(folder + L"\\Uninst\\Dekant00.exe");
  Touch(folder + L"\\Uninst\\Setup.log");
  Touch(folder + L"\\data\\kept.dat");
  Touch(neighbour + L"\\other.dat");
  Touch(temp.Path() + L"\\Pos");
  // The file lies in a folder of its own with the program's file, and
  // removes that folder with itself.
  const std::wstring own = temp.Path() + L"\\own a&b (1)";
  const std::wstring program = own + L"\\Dekant00.exe";
  const std::wstring file = own + L"\\DeleteMe.cmd";
  const auto bytes = BuildDeleteMeCmd(program, folder, false);
  ASSERT_TRUE(bytes);
  EXPECT_TRUE(norvale::DeleteMeCmdCommandLine(temp.Path() + L"\\a%PATH%\\x.cmd").empty())
      << "a command line would expand it";

  MakeFolder(own);
  Touch(program);
  {
    const norvale::FileHandle held = Held(own);
    ASSERT_TRUE(norvale::WriteDeleteMeCmd(held.Get(), *bytes));
    EXPECT_FALSE(norvale::WriteDeleteMeCmd(held.Get(), *bytes)) << "an existing file is never reused";
  }
  RunCmd(file);
  EXPECT_FALSE(Exists(program));
  EXPECT_FALSE(Exists(own));
  for (const wchar_t* kept : {L"\\Uninst\\Dekant00.exe", L"\\Uninst\\Setup.log", L"\\data\\kept.dat"}) {
    EXPECT_TRUE(Exists(folder + kept)) << norvale::ToAnsi(kept);
  }

  norvale::NoUninstallerWindow window;
  norvale::SystemWaits waits;
  EXPECT_TRUE(norvale::RemoveInstallFolder(folder, waits, window));
  EXPECT_FALSE(Exists(folder));
  MakeFolder(own);
  Touch(program);
  ASSERT_TRUE(norvale::WriteDeleteMeCmd(Held(own).Get(), *bytes));
  const DWORD started = GetTickCount();
  RunCmd(file);
  EXPECT_LT(GetTickCount() - started, 4000u) << "the file waited for a folder that was gone";
  EXPECT_FALSE(Exists(own));
  EXPECT_TRUE(Exists(neighbour + L"\\other.dat"));
  EXPECT_TRUE(Exists(temp.Path() + L"\\Pos"));
}

// Everything below folder, links listed but not entered.
void ListBelow(const std::wstring& folder, std::vector<std::wstring>& found) {
  WIN32_FIND_DATAW data{};
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    found.push_back(folder + L"\\" + name);
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
        !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      ListBelow(folder + L"\\" + name, found);
    }
  } while (FindNextFileW(find, &data));
  FindClose(find);
}

std::vector<std::wstring> SortedBelow(const std::wstring& folder) {
  std::vector<std::wstring> left;
  ListBelow(folder, left);
  std::sort(left.begin(), left.end());
  return left;
}

// The fixture (tests/uninstaller/make-link-fixture.sh) holds an install
// folder with links made by the host, beside the program, in its own folder
// and in a data folder, leading to a decoy folder and a decoy file outside.
// The uninstaller's removal and its command file leave both untouched.
TEST(DeleteMeCmd, NothingIsDeletedThroughALink) {
  const std::wstring fixture = L"C:\\norvale-uninst-links";
  const std::wstring app = fixture + L"\\Pos";
  const std::wstring program = app + L"\\Uninst\\Dekant00.exe";
  const DWORD attributes = GetFileAttributesW((app + L"\\folderlink").c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) GTEST_SKIP() << "run through ctest for the links";
  ASSERT_NE(0u, attributes & FILE_ATTRIBUTE_REPARSE_POINT) << "Wine shows no reparse point";
  auto decoysIntact = [&] {
    EXPECT_EQ("mine", testing_support::ReadFileBytes(fixture + L"\\decoy\\precious.txt"));
    EXPECT_EQ("mine", testing_support::ReadFileBytes(fixture + L"\\decoy.txt"));
  };

  auto messages = std::make_shared<norvale::ScriptedMessageBox>();
  auto starts = std::make_shared<RecordingStarts>();
  norvale::UninstallerServices services;
  services.seams.messageBox = messages;
  services.windows.starts = starts;
  norvale::UninstallerState state(program, services);
  state.AppDir = app;
  testing_support::TempDir tmp(L"tmp");
  state.TmpDir = tmp.Path();
  RecordingEnd end;
  norvale::MakeDeleteMeCmd(state, false, end);
  ASSERT_EQ(starts->started.size(), 1u);
  decoysIntact();
  EXPECT_FALSE(Exists(app + L"\\data\\pos.dat"));
  const std::wstring own = norvale::BeforeLast(StartedCommandFile(starts->started[0]), L'\\');
  // Windows removes links as links, and the folder goes whole: the
  // program's file waits in the command file's folder.
  if (!Exists(app)) {
    EXPECT_TRUE(messages->Asked().empty());
    EXPECT_TRUE(Exists(own + L"\\Dekant00.exe"));
    RunCommandLine(starts->started[0]);
    decoysIntact();
    EXPECT_TRUE(Exists(fixture + L"\\decoy"));
    EXPECT_FALSE(Exists(own));
    return;
  }
  // Wine 8 cannot remove a folder link, and shows a file link as a plain
  // file that a delete goes through: there the removal stops before
  // "Uninst", which stays whole with the program's file and the record, and
  // the user hears which link stayed. Every link stays, with the folders
  // that hold one, and nothing else.
  ASSERT_EQ(messages->Asked().size(), 1u);
  const std::wstring& told = messages->Asked()[0].text;
  EXPECT_TRUE(norvale::StartsWith(told, L"インストール先フォルダ(" + app +
                                            L")に削除できないファイルがあるため"))
      << norvale::ToAnsi(told);
  EXPECT_NE(told.find(L"\r\n[" + app), std::wstring::npos) << norvale::ToAnsi(told);
  EXPECT_NE(told.find(norvale::ReasonText(norvale::Reason::LinkOnTheWay)), std::wstring::npos)
      << norvale::ToAnsi(told);
  EXPECT_FALSE(Exists(own)) << "the command file's folder stays";
  std::vector<std::wstring> left;
  ListBelow(app, left);
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::wstring>{
                      app + L"\\Uninst", app + L"\\Uninst\\Dekant00.exe",
                      app + L"\\Uninst\\Setup.log", app + L"\\Uninst\\filelink.txt",
                      app + L"\\Uninst\\folderlink", app + L"\\data",
                      app + L"\\data\\filelink.txt", app + L"\\filelink.txt",
                      app + L"\\folderlink"}));
}

TEST(DeleteMeCmd, MakeWritesStartsAndEnds) {
  InstalledProduct product;
  product.WriteRecord({L"[Setup]"});
  MakeFolder(product.appDir + L"\\data");
  Touch(product.appDir + L"\\data\\pos.dat");
  Touch(product.appDir + L"\\Start.ini");
  // Unelevated, the run's own TEMP holds the command file's folder.
  product.folderAccess->elevated = false;
  auto state = product.MakeState();
  testing_support::TempDir tmp(L"tmp");
  state->TmpDir = tmp.Path();
  state->AppDir = product.appDir;
  RecordingEnd end;
  norvale::MakeDeleteMeCmd(*state, false, end);
  EXPECT_EQ(end.ends, 1);
  EXPECT_EQ(end.code, 0);
  ASSERT_EQ(product.starts->started.size(), 1u);
  const std::wstring file = StartedCommandFile(product.starts->started[0]);
  const std::wstring own = norvale::BeforeLast(file, L'\\');
  EXPECT_EQ(norvale::BeforeLast(own, L'\\'), tmp.Path());
  const std::string written = testing_support::ReadFileBytes(file);
  EXPECT_EQ(written, *BuildDeleteMeCmd(own + L"\\Dekant00.exe", product.appDir, false));
  EXPECT_TRUE(product.messages->Asked().empty());
  // The program's file waits in the command file's folder; the install
  // folder is gone before the program ends.
  EXPECT_EQ(SortedBelow(own), (std::vector<std::wstring>{own + L"\\Dekant00.exe",
                                                         own + L"\\DeleteMe.cmd"}));
  EXPECT_FALSE(Exists(product.appDir));

  // Nothing is started when the file cannot be written, and the program's
  // file stays where it is.
  MakeFolder(product.appDir);
  MakeFolder(product.uninstDir);
  Touch(product.program);
  state->TmpDir = tmp.Path() + L"\\missing";
  norvale::MakeDeleteMeCmd(*state, false, end);
  EXPECT_EQ(end.ends, 2);
  EXPECT_EQ(product.starts->started.size(), 1u);
  EXPECT_TRUE(Exists(product.program));
}

// A product file held open without delete sharing, as a closing product, a
// virus scan or the search indexer holds one, in a folder of its own.
struct HeldFile {
  explicit HeldFile(const InstalledProduct& product)
      : folder(product.appDir + L"\\bin"), path(folder + L"\\pos.dll") {
    MakeFolder(folder);
    Touch(path);
    Touch(folder + L"\\other.dll");
    handle.Reset(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  }
  std::wstring folder, path;
  norvale::FileHandle handle;
};

// A removal whose waits take no time and whose window counts its answers.
struct PacedRemoval {
  explicit PacedRemoval(InstalledProduct& product, const std::wstring& startedAs = L"")
      : state(product.MakeState(startedAs)) {
    product.WriteRecord({L"[Setup]"});
    state->services.windows.waits = waits;
    state->AttachWindow(&window);
    state->TmpDir = tmp.Path();
    state->AppDir = product.appDir;
  }
  // Where the command file's folder is made: the system's Windows folder's
  // TEMP (the prefix's) for an elevated run, the run's own TEMP otherwise.
  std::wstring CommandFolderParent() const {
    if (!state->services.windows.folderAccess->IsElevated()) return tmp.Path();
    wchar_t windows[MAX_PATH + 1] = {};
    const UINT n = GetSystemWindowsDirectoryW(windows, MAX_PATH + 1);
    return std::wstring(windows, n) + L"\\Temp";
  }
  std::shared_ptr<VirtualWaits> waits = std::make_shared<VirtualWaits>();
  AnsweringWindow window;
  testing_support::TempDir tmp{L"tmp"};
  std::unique_ptr<norvale::UninstallerState> state;
  RecordingEnd end;
};

// A file held for a moment goes on a later try, its folder with it, and
// the install folder with them. One held for good is tried for five
// seconds; everything else but "Uninst" goes all the same, and "Uninst"
// stays whole with the program's file in it, for another run. The window
// answers during the waits.
TEST(DeleteMeCmd, AHeldFileIsTriedAgainForFiveSeconds) {
  {
    InstalledProduct product;
    PacedRemoval removal(product);
    HeldFile held(product);
    ASSERT_TRUE(held.handle);
    int answersAtLastWait = -1;
    removal.waits->hook = [&] {
      EXPECT_GT(removal.window.answers, answersAtLastWait) << "the window froze in the wait";
      answersAtLastWait = removal.window.answers;
      if (removal.waits->slept >= 1500) held.handle.Reset();
    };
    norvale::MakeDeleteMeCmd(*removal.state, false, removal.end);
    EXPECT_GE(removal.waits->slept, 1500u);
    EXPECT_LT(removal.waits->slept, 5000u);
    EXPECT_FALSE(Exists(product.appDir));
    ASSERT_EQ(product.starts->started.size(), 1u);
    const std::wstring own =
        norvale::BeforeLast(StartedCommandFile(product.starts->started[0]), L'\\');
    RunCommandLine(product.starts->started[0]);
    EXPECT_FALSE(Exists(own));
  }
  {
    InstalledProduct product;
    PacedRemoval removal(product);
    HeldFile held(product);
    ASSERT_TRUE(held.handle);
    norvale::MakeDeleteMeCmd(*removal.state, false, removal.end);
    EXPECT_EQ(removal.waits->slept, 5000u);
    EXPECT_EQ(SortedBelow(product.appDir),
              (std::vector<std::wstring>{product.uninstDir, product.program,
                                         product.uninstDir + L"\\Setup.log", held.folder,
                                         held.path}));
    EXPECT_EQ(product.starts->started.size(), 1u);
    EXPECT_EQ(removal.end.ends, 1);
    // What was made for the command file goes again.
    ASSERT_EQ(product.folderAccess->created.size(), 1u);
    EXPECT_FALSE(Exists(product.folderAccess->created[0].folder));
  }
}

// However much the install folder holds, the window answers between its
// items, not only once the folder is empty.
TEST(DeleteMeCmd, TheWindowAnswersWhileTheFolderIsEmptied) {
  InstalledProduct product;
  PacedRemoval removal(product);
  const std::wstring data = product.appDir + L"\\data";
  MakeFolder(data);
  constexpr int kFiles = 20;
  for (int i = 0; i < kFiles; ++i) Touch(data + L"\\" + std::to_wstring(i) + L".dat");
  bool answeredHalfway = false;
  // Counted file by file: the folder being emptied is held against anyone
  // who would open it without letting it be deleted, as a listing does.
  removal.window.hook = [&] {
    int left = 0;
    for (int i = 0; i < kFiles; ++i) left += Exists(data + L"\\" + std::to_wstring(i) + L".dat");
    if (left > 0 && left < kFiles) answeredHalfway = true;
  };
  norvale::MakeDeleteMeCmd(*removal.state, false, removal.end);
  EXPECT_TRUE(answeredHalfway);
  EXPECT_FALSE(Exists(data));
  EXPECT_EQ(removal.waits->slept, 0u);
}

// Without its command file nothing would remove the rest: with TEMP blank
// or missing and a drive root that may not take its folder, nothing of the
// install folder is deleted, nothing is started, the user is told (not in
// the silent run) and the exit code says that nothing was removed.
TEST(DeleteMeCmd, WithoutTheCommandFileNothingIsDeleted) {
  struct Case {
    std::wstring hint, tmp;
    bool silent;
  };
  const std::wstring missing = L"C:\\norvale-no-such-temp";
  for (const Case& c :
       {Case{L"un", L"", false}, Case{L"un", missing, false}, Case{L"un", L"", true}}) {
    InstalledProduct product(c.hint);
    // Unelevated, where the run's own TEMP is the one used.
    product.folderAccess->elevated = false;
    PacedRemoval removal(product);
    Touch(product.appDir + L"\\pos.dat");
    if (c.tmp != L"{own}") removal.state->TmpDir = c.tmp;
    removal.state->IsSilent = c.silent ? -1 : 0;
    const std::vector<std::wstring> before = SortedBelow(product.appDir);
    norvale::MakeDeleteMeCmd(*removal.state, false, removal.end);
    const std::string which = norvale::ToAnsi(c.hint + L" [" + c.tmp + L"]");
    EXPECT_EQ(SortedBelow(product.appDir), before) << which;
    EXPECT_TRUE(product.starts->started.empty()) << which;
    EXPECT_EQ(removal.end.ends, 1) << which;
    EXPECT_EQ(removal.end.code, 1603) << which;
    if (c.silent) {
      EXPECT_TRUE(product.messages->Asked().empty());
      continue;
    }
    ASSERT_EQ(product.messages->Asked().size(), 1u) << which;
    const auto& told = product.messages->Asked()[0];
    EXPECT_EQ(told.title, L"アンインストール");
    // The cause follows: which path, and why.
    EXPECT_TRUE(norvale::StartsWith(told.text, L"一時フォルダに削除用のファイル(DeleteMe.cmd)を作成できないため、"
                                               L"インストール先フォルダ(" +
                                                   product.appDir + L")は削除しません。\r\n["))
        << norvale::ToAnsi(told.text);
  }
}

// Started through the 8.3 spelling of its path, the uninstaller still finds
// its own file, which leaves under its long name, and the install folder
// goes.
TEST(DeleteMeCmd, StartedThroughAShortPathItsOwnFileStillLeaves) {
  InstalledProduct product;
  const std::wstring shortProgram = ShortForm(product.program);
  ASSERT_NE(shortProgram, product.program) << "no 8.3 names on this volume";
  PacedRemoval removal(product, shortProgram);
  norvale::MakeDeleteMeCmd(*removal.state, false, removal.end);
  ASSERT_EQ(product.starts->started.size(), 1u);
  const std::wstring own =
      norvale::BeforeLast(StartedCommandFile(product.starts->started[0]), L'\\');
  EXPECT_TRUE(Exists(own + L"\\Dekant00.exe"));
  EXPECT_FALSE(Exists(product.appDir));
}

// The elevated uninstaller's command file lies where no unelevated program
// of the user can change it: a folder of its own below the Windows
// folder's TEMP (its own TEMP lies in the profile, where the user's
// unelevated programs may rename whatever it holds), new for every run,
// made with a list that leaves the user's account out. Wine keeps no
// list, so the list is read as it was handed to the folder's creation
// (RecordingFolderAccess.h). Two uninstalls in a row keep a file each.
TEST(DeleteMeCmd, TheFileLiesInAFolderOnlyTheRunnersSideMayChange) {
  for (const bool elevated : {true, false}) {
    InstalledProduct product;
    PacedRemoval removal(product);
    product.folderAccess->elevated = elevated;
    norvale::MakeDeleteMeCmd(*removal.state, false, removal.end);
    MakeFolder(product.appDir);
    MakeFolder(product.uninstDir);
    Touch(product.program);
    norvale::MakeDeleteMeCmd(*removal.state, false, removal.end);
    ASSERT_EQ(product.starts->started.size(), 2u);
    ASSERT_EQ(product.folderAccess->created.size(), 2u);
    const std::wstring first = StartedCommandFile(product.starts->started[0]);
    const std::wstring second = StartedCommandFile(product.starts->started[1]);
    for (size_t i = 0; i < 2; ++i) {
      const auto& made = product.folderAccess->created[i];
      EXPECT_EQ(norvale::BeforeLast(made.folder, L'\\'), removal.CommandFolderParent());
      EXPECT_EQ((i == 0 ? first : second), made.folder + L"\\DeleteMe.cmd");
      const auto reading = testing_support::Read(made.list);
      EXPECT_TRUE(reading.isProtected);
      EXPECT_TRUE(reading.readers.empty());
      const std::wstring account =
          testing_support::SidText(product.folderAccess->account.data());
      EXPECT_EQ(reading.writers,
                elevated ? (std::vector<std::wstring>{L"Administrators", L"SYSTEM"})
                         : (std::vector<std::wstring>{L"Administrators", L"SYSTEM", account}));
    }
    EXPECT_NE(first, second);
    for (const std::wstring& file : {first, second}) {
      const std::wstring moved = norvale::BeforeLast(file, L'\\') + L"\\Dekant00.exe";
      EXPECT_EQ(testing_support::ReadFileBytes(file),
                *BuildDeleteMeCmd(moved, product.appDir, false));
    }
    RunCommandLine(product.starts->started[0]);
    RunCommandLine(product.starts->started[1]);
    EXPECT_FALSE(Exists(norvale::BeforeLast(first, L'\\')));
    EXPECT_FALSE(Exists(norvale::BeforeLast(second, L'\\')));
    EXPECT_FALSE(Exists(product.appDir));
  }
}

// Once the program has ended, another user may put what they like under
// the install folder's name: on Windows a junction to any folder; here a
// folder of their own, with a file where the program was. The command file
// deletes nothing there; it only finds the folder there and says so.
TEST(DeleteMeCmd, WhatTakesTheInstallFoldersPlaceAfterwardsStays) {
  InstalledProduct product;
  PacedRemoval removal(product);
  norvale::MakeDeleteMeCmd(*removal.state, false, removal.end);
  ASSERT_EQ(product.starts->started.size(), 1u);
  ASSERT_FALSE(Exists(product.appDir));
  MakeFolder(product.appDir);
  MakeFolder(product.uninstDir);
  testing_support::WriteFileBytes(product.program, "theirs");
  testing_support::WriteFileBytes(product.appDir + L"\\theirs.txt", "theirs");
  const std::wstring own =
      norvale::BeforeLast(StartedCommandFile(product.starts->started[0]), L'\\');
  RunCommandLine(product.starts->started[0]);
  EXPECT_EQ("theirs", testing_support::ReadFileBytes(product.program));
  EXPECT_EQ("theirs", testing_support::ReadFileBytes(product.appDir + L"\\theirs.txt"));
  EXPECT_FALSE(Exists(own));
}

// Wine maps every drive of a prefix onto one Unix file system, so which
// volume a handle lies on is answered here as Windows answers where TEMP
// lies on another drive than the install folder: below TEMP volume 2, below
// `programVolume3` (when given) volume 3, everything else volume 1. A clone
// of a disk keeps its serial: with `clonedTemp`, TEMP's volume has volume 1's
// serial and only its name tells it apart.
class TempOnAnotherVolume final : public norvale::IFinalPaths {
 public:
  TempOnAnotherVolume(std::wstring temp, std::wstring programVolume3, bool clonedTemp = false)
      : temp_(std::move(temp)), program_(std::move(programVolume3)), cloned_(clonedTemp) {}
  std::wstring FinalPathOf(const std::wstring& path, bool followLast) const override {
    return norvale::SystemFinalPaths().FinalPathOf(path, followLast);
  }
  bool FactsOf(HANDLE handle, norvale::HandleFacts& facts) const override {
    if (!IFinalPaths::FactsOf(handle, facts)) return false;
    const int volume = VolumeOf(facts.lies);
    facts.volume = cloned_ && volume == 2 ? 1 : volume;
    return true;
  }
  std::wstring VolumeNameOf(HANDLE handle) const override {
    return L"\\\\?\\Volume{" + std::to_wstring(VolumeOf(norvale::FinalPathOfHandle(handle))) +
           L"}\\";
  }

 private:
  int VolumeOf(const std::wstring& lies) const {
    auto within = [&](const std::wstring& folder) {
      return !folder.empty() && (norvale::SamePath(lies, folder) || norvale::PathIsBelow(lies, folder));
    };
    return within(temp_) ? 2 : within(program_) ? 3 : 1;
  }
  std::wstring temp_, program_;
  bool cloned_;
};

// The drive root of Windows 10 (every signed-in user may make folders in it,
// delete nothing of another's), or one that lets everyone do everything.
const wchar_t kWindowsDriveRoot[] =
    L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)"
    L"(A;OICIIO;SDGXGWGR;;;AU)(A;;LC;;;AU)";
const wchar_t kOpenDriveRoot[] = L"O:BAD:(A;OICI;FA;;;WD)";

// Lists answered as Windows would for the drive root of `path`.
void AnswerDriveRoot(InstalledProduct& product, const wchar_t* sddl) {
  const std::wstring root = product.appDir.substr(0, 3);
  product.folderAccess->lists = [root, sddl](const std::wstring& path)
      -> std::optional<norvale::FolderAccessList> {
    if (norvale::SamePath(path, root)) return testing_support::ListFromSddl(sddl);
    return std::nullopt;
  };
}

// The program's file can only be renamed within its volume: with TEMP on
// another one, also one that shares its serial as a cloned disk does, the
// command file's folder is made in the root of the program's volume, where
// no other user may rename it. Where no folder can be had on that volume,
// or its root lets other accounts delete what it holds (a root that grants
// everyone everything, a volume without lists), nothing is deleted and the
// user is told why.
TEST(DeleteMeCmd, WithTempOnAnotherVolumeTheFolderLiesInTheProgramVolumesRoot) {
  for (const bool cloned : {false, true}) {
    InstalledProduct product;
    PacedRemoval removal(product);
    AnswerDriveRoot(product, kWindowsDriveRoot);
    removal.state->services.finalPaths =
        std::make_shared<TempOnAnotherVolume>(removal.CommandFolderParent(), L"", cloned);
    norvale::MakeDeleteMeCmd(*removal.state, false, removal.end);
    ASSERT_EQ(product.starts->started.size(), 1u) << cloned;
    const std::wstring own =
        norvale::BeforeLast(StartedCommandFile(product.starts->started[0]), L'\\');
    EXPECT_EQ(norvale::BeforeLast(own, L'\\') + L"\\", product.appDir.substr(0, 3));
    ASSERT_EQ(product.folderAccess->created.size(), 2u);
    EXPECT_FALSE(Exists(product.folderAccess->created[0].folder));
    EXPECT_EQ(product.folderAccess->created[1].folder, own);
    EXPECT_TRUE(Exists(own + L"\\Dekant00.exe"));
    EXPECT_FALSE(Exists(product.appDir));
    EXPECT_TRUE(product.messages->Asked().empty());
    RunCommandLine(product.starts->started[0]);
    EXPECT_FALSE(Exists(own));
  }
  struct Unfit {
    const wchar_t* root;
    bool keepsLists;
    bool programOnVolume3;
  };
  for (const Unfit& c :
       {Unfit{kWindowsDriveRoot, true, true}, Unfit{kOpenDriveRoot, true, false}}) {
    InstalledProduct product;
    PacedRemoval removal(product);
    Touch(product.appDir + L"\\pos.dat");
    AnswerDriveRoot(product, c.root);
    product.folderAccess->keepsLists = c.keepsLists;
    removal.state->services.finalPaths = std::make_shared<TempOnAnotherVolume>(
        removal.CommandFolderParent(), c.programOnVolume3 ? product.appDir : L"");
    const std::vector<std::wstring> before = SortedBelow(product.appDir);
    norvale::MakeDeleteMeCmd(*removal.state, false, removal.end);
    EXPECT_TRUE(product.starts->started.empty());
    EXPECT_EQ(SortedBelow(product.appDir), before);
    for (const auto& made : product.folderAccess->created) EXPECT_FALSE(Exists(made.folder));
    EXPECT_EQ(product.folderAccess->created.size(), c.programOnVolume3 ? 2u : 1u);
    ASSERT_EQ(product.messages->Asked().size(), 1u);
    EXPECT_TRUE(norvale::StartsWith(product.messages->Asked()[0].text,
                                    L"一時フォルダに削除用のファイル(DeleteMe.cmd)を作成できないため、"
                                    L"インストール先フォルダ(" +
                                        product.appDir + L")は削除しません。\r\n["))
        << norvale::ToAnsi(product.messages->Asked()[0].text);
  }
}

// Where the temporary folder cannot take the command file's folder, the
// volume's root does; an install folder the command file cannot name
// exactly goes all the same, only unwatched by the command file.
TEST(DeleteMeCmd, TheEndIsHadWithoutTempOrAnExactName) {
  for (const bool tempMissing : {true, false}) {
    InstalledProduct product(tempMissing ? L"un" : L"un\u0101");
    product.folderAccess->elevated = false;
    PacedRemoval removal(product);
    AnswerDriveRoot(product, kWindowsDriveRoot);
    if (tempMissing) removal.state->TmpDir = L"C:\\norvale-no-such-temp";
    norvale::MakeDeleteMeCmd(*removal.state, false, removal.end);
    EXPECT_FALSE(Exists(product.appDir)) << tempMissing;
    EXPECT_EQ(removal.end.code, 0) << tempMissing;
    ASSERT_EQ(product.starts->started.size(), 1u) << tempMissing;
    const std::wstring file = StartedCommandFile(product.starts->started[0]);
    const std::wstring own = norvale::BeforeLast(file, L'\\');
    EXPECT_EQ(norvale::BeforeLast(own, L'\\') + L"\\",
              tempMissing ? product.appDir.substr(0, 3) : removal.tmp.Path() + L"\\");
    EXPECT_EQ(testing_support::ReadFileBytes(file).find("Lbl2") == std::string::npos, !tempMissing);
    RunCommandLine(product.starts->started[0]);
    EXPECT_FALSE(Exists(own));
  }
}

// On a volume without access lists (FAT32, exFAT) no folder of the run's
// own can be had beside the program, and no link can be made: the command
// file, from its folder below TEMP, deletes the program's file where it
// lies and removes the two folders it leaves, once the program has ended.
TEST(DeleteMeCmd, OnAVolumeWithoutListsTheCommandFileEndsTheRemovalInPlace) {
  InstalledProduct product;
  PacedRemoval removal(product);
  Touch(product.appDir + L"\\pos.dat");
  product.folderAccess->keepsLists = false;
  removal.state->services.finalPaths =
      std::make_shared<TempOnAnotherVolume>(removal.CommandFolderParent(), L"");
  norvale::MakeDeleteMeCmd(*removal.state, false, removal.end);
  EXPECT_EQ(removal.end.code, 0);
  EXPECT_EQ(SortedBelow(product.appDir),
            (std::vector<std::wstring>{product.uninstDir, product.program}));
  ASSERT_EQ(product.starts->started.size(), 1u);
  const std::wstring file = StartedCommandFile(product.starts->started[0]);
  EXPECT_EQ(norvale::BeforeLast(norvale::BeforeLast(file, L'\\'), L'\\'),
            removal.CommandFolderParent());
  RunCommandLine(product.starts->started[0]);
  EXPECT_FALSE(Exists(product.appDir));
  EXPECT_FALSE(Exists(norvale::BeforeLast(file, L'\\')));
}

// Windows 7's deletes, which lack the POSIX disposition: a file another
// program holds sharing deletes stays listed, and its folder not empty,
// until that program lets it go.
class WithoutPosixDeletes final : public testing_support::OtherFileCalls {
 public:
  bool Dispose(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, PVOID information, DWORD size,
               norvale::Disposals& across, const norvale::KnownOfIt& known) const override {
    if (kind != FileDispositionInfo) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return false;
    }
    return system_.Dispose(file, kind, information, size, across, known);
  }
};

// What arrives at the install folder's top level while the removal runs
// (the log of a product service whose file lies elsewhere) goes with it.
// What stays, held for good there, or one of the files another run needs
// held by another program, sharing deletes or not (on Windows 7 its delete
// would stay pending), leaves "Uninst" whole with the program's file and
// the record in it, and the exit code says the removal is unfinished.
TEST(DeleteMeCmd, WhatArrivesOrIsHeldMeanwhileLeavesTheProductGoneOrRemovable) {
  enum class Meanwhile { Arrives, ArrivesHeld, RecordHeld, HeldOnWindows7 };
  for (const Meanwhile c : {Meanwhile::Arrives, Meanwhile::ArrivesHeld, Meanwhile::RecordHeld,
                            Meanwhile::HeldOnWindows7}) {
    InstalledProduct product;
    PacedRemoval removal(product);
    Touch(product.appDir + L"\\pos.dat");
    const std::wstring log = product.appDir + L"\\agent.log";
    const DWORD sharing = c == Meanwhile::ArrivesHeld ? FILE_SHARE_READ : norvale::kShareAll;
    norvale::FileHandle held;
    if (c == Meanwhile::RecordHeld) {
      held.Reset(CreateFileW((product.uninstDir + L"\\Setup.log").c_str(), GENERIC_READ, sharing,
                             nullptr, OPEN_EXISTING, 0, nullptr));
    }
    if (c == Meanwhile::HeldOnWindows7) {
      Touch(log);
      held.Reset(CreateFileW(log.c_str(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING, 0,
                             nullptr));
    }
    bool arrived = false;
    removal.window.hook = [&] {
      if (arrived || (c != Meanwhile::Arrives && c != Meanwhile::ArrivesHeld)) return;
      arrived = true;
      held.Reset(CreateFileW(log.c_str(), GENERIC_WRITE, sharing, nullptr, CREATE_NEW, 0,
                             nullptr));
      if (c == Meanwhile::Arrives) held.Reset();
    };
    const WithoutPosixDeletes windows7;
    std::optional<norvale::ScopedFileCalls> rules;
    if (c == Meanwhile::HeldOnWindows7) rules.emplace(windows7);
    norvale::MakeDeleteMeCmd(*removal.state, false, removal.end);
    rules.reset();
    const int which = static_cast<int>(c);
    if (c == Meanwhile::Arrives) {
      EXPECT_TRUE(arrived);
      EXPECT_FALSE(Exists(product.appDir));
      EXPECT_EQ(removal.end.code, 0);
      continue;
    }
    EXPECT_EQ(removal.end.code, 1604) << which;
    EXPECT_TRUE(Exists(product.program)) << which;
    EXPECT_TRUE(Exists(product.uninstDir + L"\\Setup.log")) << which;
    EXPECT_FALSE(Exists(product.appDir + L"\\pos.dat")) << which;
    ASSERT_EQ(product.messages->Asked().size(), 1u) << which;
    EXPECT_NE(product.messages->Asked()[0].text.find(L"アンインストールを完了できませんでした"),
              std::wstring::npos)
        << which;
    held.Reset();
    // Let go, it is the registered uninstaller's to finish.
    product.messages->Clear();
    norvale::MakeDeleteMeCmd(*removal.state, false, removal.end);
    EXPECT_FALSE(Exists(product.appDir)) << which;
    EXPECT_EQ(removal.end.code, 0) << which;
  }
}

// The interpreter is named by its full path and started with /D, so that
// no AutoRun command of the registry (a "chcp 65001") runs before the file;
// it starts before anything is deleted.
TEST(DeleteMeCmd, TheInterpreterStartsAloneAndBeforeTheFolderIsEmptied) {
  InstalledProduct product;
  PacedRemoval removal(product);
  Touch(product.appDir + L"\\pos.dat");
  bool fullAtStart = false;
  product.starts->onHeldStart = [&] { fullAtStart = Exists(product.appDir + L"\\pos.dat"); };
  norvale::MakeDeleteMeCmd(*removal.state, false, removal.end);
  ASSERT_EQ(product.starts->started.size(), 1u);
  const std::wstring interpreter = norvale::SystemFolder() + L"\\cmd.exe";
  EXPECT_EQ(product.starts->heldApplications, (std::vector<std::wstring>{interpreter}));
  EXPECT_EQ(product.starts->started[0].rfind(L"\"" + interpreter + L"\" /D /S /C \"\"", 0), 0u)
      << norvale::ToAnsi(product.starts->started[0]);
  EXPECT_TRUE(fullAtStart);
  EXPECT_FALSE(Exists(product.appDir + L"\\pos.dat"));
}

// Program starts as the system makes them, keeping the held interpreter's
// process to wait on and noting whether it acted while held.
class WaitableStarts final : public norvale::IProgramStarts {
 public:
  explicit WaitableStarts(std::wstring program) : program_(std::move(program)) {}
  bool Start(const std::wstring& commandLine, int showState, DWORD* processId,
             HANDLE* process) override {
    return system_.Start(commandLine, showState, processId, process);
  }
  std::optional<norvale::HeldProgram> StartHeld(
      const std::wstring& application, const std::wstring& commandLine, int showState,
      const norvale::ProgramSurroundings& surroundings) override {
    std::optional<norvale::HeldProgram> held =
        system_.StartHeld(application, commandLine, showState, surroundings);
    if (!held) return held;
    HANDLE copy = nullptr;
    DuplicateHandle(GetCurrentProcess(), held->Process(), GetCurrentProcess(), &copy, SYNCHRONIZE,
                    FALSE, 0);
    interpreter.Reset(copy);
    // Running, the interpreter would delete the program file at once.
    Sleep(300);
    programKeptWhileHeld = Exists(program_);
    return held;
  }
  norvale::KernelHandle interpreter;
  bool programKeptWhileHeld = false;

 private:
  std::wstring program_;
  norvale::SystemProgramStarts system_;
};

// The interpreter really held and let go: it does nothing until the folder
// is emptied, then removes the rest, its file and the file's folder.
//
// The command file names TIMEOUT, mshta and shutdown bare. The interpreter
// finds them in the system's folders, not where the starting account's
// PATH or its current folder point: the account's unelevated programs
// could put a "TIMEOUT.cmd" of their own there for the elevated interpreter.
TEST(DeleteMeCmd, TheHeldInterpreterRunsOnceLetGo) {
  InstalledProduct product;
  PacedRemoval removal(product);
  Touch(product.appDir + L"\\pos.dat");
  testing_support::TempDir planted(L"planted");
  const std::wstring marker = planted / L"ran.txt";
  for (const std::wstring& folder : {planted.Path(), removal.tmp.Path()}) {
    testing_support::WriteFileBytes(folder + L"\\TIMEOUT.cmd",
                                    "@echo planted> \"" + norvale::ToAnsi(marker) + "\"\r\n");
  }
  wchar_t path[8192] = {};
  GetEnvironmentVariableW(L"PATH", path, 8192);
  const std::wstring ownPath = path;
  SetEnvironmentVariableW(L"PATH", (planted.Path() + L";" + ownPath).c_str());
  wchar_t current[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, current);
  auto starts = std::make_shared<WaitableStarts>(product.program);
  removal.state->services.windows.starts = starts;
  // The program stands in its own folder while it removes it no more, but
  // the interpreter starts where it is told.
  SetCurrentDirectoryW(removal.tmp.Path().c_str());
  norvale::MakeDeleteMeCmd(*removal.state, false, removal.end);
  SetEnvironmentVariableW(L"PATH", ownPath.c_str());
  SetCurrentDirectoryW(current);
  ASSERT_TRUE(starts->interpreter);
  EXPECT_TRUE(starts->programKeptWhileHeld);
  EXPECT_EQ(WaitForSingleObject(starts->interpreter.Get(), 60000), WAIT_OBJECT_0);
  EXPECT_FALSE(Exists(product.appDir));
  ASSERT_EQ(product.folderAccess->created.size(), 1u);
  EXPECT_FALSE(Exists(product.folderAccess->created[0].folder));
  EXPECT_FALSE(Exists(marker)) << "the interpreter ran a planted TIMEOUT";
}

// Starts that hold the interpreter, as Windows 7 holds it inside a job that
// forbids breaking away: without a job of its own. Such a start would stay
// held for good should the program die, so it is undone and the
// interpreter started once the program's file has moved; when that start
// fails, the file moves back and "Uninst" stays whole.
class StartsWithoutAJob final : public norvale::IProgramStarts {
 public:
  explicit StartsWithoutAJob(std::wstring program) : program_(std::move(program)) {}
  bool Start(const std::wstring&, int, DWORD*, HANDLE*) override { return false; }
  std::optional<norvale::HeldProgram> StartHeld(const std::wstring& application,
                                                const std::wstring& commandLine, int,
                                                const norvale::ProgramSurroundings&) override {
    programInPlace.push_back(Exists(program_));
    commandLines.push_back(commandLine);
    if (programInPlace.size() > 1 && refuseAfterTheMove) {
      SetLastError(ERROR_ACCESS_DENIED);
      return std::nullopt;
    }
    // A real process held, first without a job, then as a stand-in that
    // runs at once (the test runs the command file itself).
    if (programInPlace.size() > 1) return norvale::HeldProgram(0, norvale::KernelHandle());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::wstring line = L"\"" + application + L"\" /c exit";
    if (!CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, FALSE,
                        CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info)) {
      return std::nullopt;
    }
    return norvale::HeldProgram(info.dwProcessId, norvale::KernelHandle(info.hProcess),
                                norvale::KernelHandle(info.hThread));
  }
  std::vector<bool> programInPlace;
  std::vector<std::wstring> commandLines;
  bool refuseAfterTheMove = false;

 private:
  std::wstring program_;
};

TEST(DeleteMeCmd, WithoutAJobTheInterpreterStartsOnceTheProgramMoved) {
  for (const bool refused : {false, true}) {
    InstalledProduct product;
    PacedRemoval removal(product);
    Touch(product.appDir + L"\\pos.dat");
    auto starts = std::make_shared<StartsWithoutAJob>(product.program);
    starts->refuseAfterTheMove = refused;
    removal.state->services.windows.starts = starts;
    norvale::MakeDeleteMeCmd(*removal.state, false, removal.end);
    EXPECT_EQ(starts->programInPlace, (std::vector<bool>{true, false})) << refused;
    if (refused) {
      EXPECT_TRUE(Exists(product.program));
      EXPECT_TRUE(Exists(product.uninstDir + L"\\Setup.log"));
      ASSERT_EQ(product.messages->Asked().size(), 1u);
      EXPECT_TRUE(norvale::StartsWith(product.messages->Asked()[0].text,
                                      L"削除用のファイル(DeleteMe.cmd)を実行できないため、"));
      ASSERT_EQ(product.folderAccess->created.size(), 1u);
      EXPECT_FALSE(Exists(product.folderAccess->created[0].folder));
      continue;
    }
    EXPECT_FALSE(Exists(product.appDir));
    EXPECT_TRUE(product.messages->Asked().empty());
    RunCommandLine(starts->commandLines[1]);
    ASSERT_EQ(product.folderAccess->created.size(), 1u);
    EXPECT_FALSE(Exists(product.folderAccess->created[0].folder));
  }
}

// An interpreter that cannot start (a policy that disables it) would leave
// an emptied install folder behind: nothing is deleted, what was made for
// it goes, and the user is told as when the file cannot be written.
TEST(DeleteMeCmd, AnInterpreterThatCannotStartDeletesNothing) {
  for (const bool silent : {false, true}) {
    InstalledProduct product;
    PacedRemoval removal(product);
    Touch(product.appDir + L"\\pos.dat");
    removal.state->IsSilent = silent ? -1 : 0;
    product.starts->refusal = ERROR_ACCESS_DENIED;
    const std::vector<std::wstring> before = SortedBelow(product.appDir);
    norvale::MakeDeleteMeCmd(*removal.state, false, removal.end);
    EXPECT_EQ(SortedBelow(product.appDir), before);
    EXPECT_EQ(removal.end.ends, 1);
    // Made, in the elevated run where only removals through its handle
    // reach it, and gone again.
    ASSERT_EQ(product.folderAccess->created.size(), 1u);
    EXPECT_EQ(norvale::BeforeLast(product.folderAccess->created[0].folder, L'\\'),
              removal.CommandFolderParent());
    EXPECT_FALSE(Exists(product.folderAccess->created[0].folder))
        << "the command file's folder stays";
    if (silent) {
      EXPECT_TRUE(product.messages->Asked().empty());
      continue;
    }
    // The user hears that the interpreter, not the command file, failed.
    ASSERT_EQ(product.messages->Asked().size(), 1u);
    const std::wstring& told = product.messages->Asked()[0].text;
    EXPECT_TRUE(norvale::StartsWith(told, L"削除用のファイル(DeleteMe.cmd)を実行できないため、"
                                          L"インストール先フォルダ(" +
                                              product.appDir + L")は削除しません。\r\n["))
        << norvale::ToAnsi(told);
    EXPECT_NE(told.find(L"cmd.exe] (5: "), std::wstring::npos) << norvale::ToAnsi(told);
  }
}

// The product's Uninstall entry, naming its uninstaller, in the 64-bit view,
// where the installer writes it on 64-bit Windows; found to be ours by the
// removal step, as the removal finds it before its last steps.
struct RegisteredProduct {
  RegisteredProduct(const InstalledProduct& product, norvale::UninstallerState& state,
                    const std::wstring& appId)
      : key(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + appId) {
    HKEY h = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | kView,
                        nullptr, &h, nullptr) == ERROR_SUCCESS) {
      RegSetValueExW(h, L"UninstallString", 0, REG_SZ,
                     reinterpret_cast<const BYTE*>(product.program.c_str()),
                     static_cast<DWORD>((product.program.size() + 1) * sizeof(wchar_t)));
      RegCloseKey(h);
    }
    state.AppId = appId;
    norvale::UnRegstUninstInfo(state);
  }
  ~RegisteredProduct() { RegDeleteKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), kView, 0); }
  bool Registered() const {
    HKEY h = nullptr;
    const bool there = RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ | kView, &h) ==
                       ERROR_SUCCESS;
    if (there) RegCloseKey(h);
    return there;
  }
  static constexpr REGSAM kView = KEY_WOW64_64KEY;
  std::wstring key;
};

// The product stays in the list of installed programs until its install
// folder is gone: a removal that cannot finish (here: no interpreter, a
// program file that cannot move) can be run again from that list.
TEST(DeleteMeCmd, TheUninstallEntryStaysUntilTheInstallFolderIsGone) {
  InstalledProduct product;
  PacedRemoval removal(product);
  const RegisteredProduct entry(product, *removal.state, L"{NvTest-Finish}");
  auto registered = [&] { return entry.Registered(); };
  ASSERT_TRUE(registered()) << "the removal step only finds the entry to be ours";

  product.starts->refusal = ERROR_ACCESS_DENIED;
  norvale::MakeDeleteMeCmd(*removal.state, false, removal.end);
  EXPECT_TRUE(Exists(product.program));
  EXPECT_TRUE(registered());
  product.starts->refusal = ERROR_SUCCESS;

  // Nobody else gets the command file's folder with the right to rename it
  // while it is held (another account could put a folder of its own with
  // its own lines in its place); the program's file cannot move there when
  // something of its name is there already.
  product.messages->Clear();
  bool deletable = true;
  product.starts->onHeldStart = [&] {
    ASSERT_FALSE(product.folderAccess->created.empty());
    const std::wstring folder = product.folderAccess->created.back().folder;
    deletable = norvale::FileHandle(CreateFileW(
        folder.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)).Valid();
    Touch(folder + L"\\Dekant00.exe");
  };
  norvale::MakeDeleteMeCmd(*removal.state, false, removal.end);
  EXPECT_FALSE(deletable) << "another program may rename the command file's folder";
  product.starts->onHeldStart = nullptr;
  EXPECT_TRUE(Exists(product.program));
  EXPECT_TRUE(Exists(product.uninstDir + L"\\Setup.log"));
  EXPECT_TRUE(registered());
  ASSERT_EQ(product.messages->Asked().size(), 1u);
  const std::wstring told = product.messages->Asked()[0].text;
  EXPECT_NE(told.find(L")を一時フォルダに移動できないため、"), std::wstring::npos)
      << norvale::ToAnsi(told);
  EXPECT_FALSE(Exists(product.folderAccess->created.back().folder));

  norvale::MakeDeleteMeCmd(*removal.state, false, removal.end);
  EXPECT_FALSE(Exists(product.appDir));
  EXPECT_FALSE(registered());
}

// A product program still running, as Windows meets it: its file cannot be
// deleted while it runs (Wine would delete it; the file acts refuse it as
// Windows does). Everything else of the install folder goes, but "Uninst"
// stays whole with the program's file, the record and the font scripts in
// it, the entry stays, and the user hears which file stayed and why. Run
// again once the program has ended, the registered uninstaller ends the
// removal; what the first run removed being gone stops nothing.
TEST(DeleteMeCmd, ARunningProductProgramLeavesTheProductRemovableAgain) {
  InstalledProduct product;
  PacedRemoval removal(product);
  const RegisteredProduct entry(product, *removal.state, L"{NvTest-Running}");
  ASSERT_TRUE(entry.Registered());
  MakeFolder(product.appDir + L"\\bin");
  MakeFolder(product.appDir + L"\\data");
  Touch(product.appDir + L"\\data\\pos.dat");
  Touch(product.uninstDir + L"\\Remove-Font.ps1");
  Touch(product.uninstDir + L"\\Add-Font.ps1");
  const std::wstring running = product.appDir + L"\\bin\\pos.exe";
  testing_support::RunningProgram program(norvale::ProgramFolder() + L"\\running_product.exe",
                                          running);
  ASSERT_TRUE(program.Running());

  norvale::MakeDeleteMeCmd(*removal.state, false, removal.end);
  EXPECT_EQ(SortedBelow(product.appDir),
            (std::vector<std::wstring>{product.uninstDir, product.uninstDir + L"\\Add-Font.ps1",
                                       product.program, product.uninstDir + L"\\Remove-Font.ps1",
                                       product.uninstDir + L"\\Setup.log",
                                       product.appDir + L"\\bin", running}));
  EXPECT_TRUE(entry.Registered());
  ASSERT_EQ(product.folderAccess->created.size(), 1u);
  EXPECT_FALSE(Exists(product.folderAccess->created[0].folder)) << "the command file stays";
  ASSERT_EQ(product.messages->Asked().size(), 1u);
  const std::wstring told = product.messages->Asked()[0].text;
  EXPECT_NE(told.find(L"[" + running + L"] (5: 実行中のプログラムが使用しています)"),
            std::wstring::npos)
      << norvale::ToAnsi(told);
  EXPECT_NE(told.find(L"もう一度アンインストールしてください"), std::wstring::npos);

  program.End();
  product.messages->Clear();
  norvale::MakeDeleteMeCmd(*removal.state, false, removal.end);
  EXPECT_TRUE(product.messages->Asked().empty());
  EXPECT_FALSE(Exists(product.appDir));
  EXPECT_FALSE(entry.Registered());
}

// Windows with "Use Unicode UTF-8 for worldwide language support" has the
// OEM code page 65001. Wine cannot switch a running prefix to it, so the
// code page comes through the Windows facts seam.
class Utf8Windows final : public norvale::IWindowsFacts {
 public:
  bool GetVersion(OSVERSIONINFOEXW& info) override { return real_.GetVersion(info); }
  bool VerifyWorkstation() override { return real_.VerifyWorkstation(); }
  bool IsServerR2() override { return real_.IsServerR2(); }
  std::optional<bool> IsWow64Process() override { return real_.IsWow64Process(); }
  const norvale::ICodePages& CodePages() override { return pages_; }

 private:
  norvale::SystemWindowsFacts real_;
  testing_support::Utf8CodePages pages_;
};

std::wstring FromUtf8(const std::string& bytes) {
  const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                                         static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring text(static_cast<size_t>(length > 0 ? length : 0), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(),
                      length);
  return text;
}

// In UTF-8 every path can be written, and is, exactly; only text that is no
// Unicode (a lone surrogate) is refused.
TEST(DeleteMeCmd, AUtf8MachineGetsItsLinesInUtf8) {
  const std::wstring folder = L"C:\\Pōs 販売\u00e9";
  // Windows refuses on UTF-8 the flags Wine takes: the code pages answer
  // as Windows does.
  const testing_support::Utf8CodePages utf8;
  const auto bytes =
      BuildDeleteMeCmd(folder + L"\\Uninst\\Dekant00.exe", folder, false, CP_OEMCP, utf8);
  ASSERT_TRUE(bytes);
  const std::wstring text = FromUtf8(*bytes);
  EXPECT_NE(text.find(L"IF NOT EXIST \"" + folder + L"\\\" GOTO Lbl3\r\n"), std::wstring::npos);
  EXPECT_NE(text.find(L"]を削除しています [%i%回目]"), std::wstring::npos);
  EXPECT_FALSE(
      BuildDeleteMeCmd(L"C:\\P\xD800\\Uninst\\Dekant00.exe", L"", false, CP_OEMCP, utf8));

  InstalledProduct product(L"un\u0101");
  PacedRemoval removal(product);
  removal.state->services.windows.windows = std::make_shared<Utf8Windows>();
  norvale::MakeDeleteMeCmd(*removal.state, false, removal.end);
  EXPECT_TRUE(product.messages->Asked().empty());
  ASSERT_EQ(product.starts->started.size(), 1u);
  const std::wstring file = StartedCommandFile(product.starts->started[0]);
  EXPECT_EQ(testing_support::ReadFileBytes(file),
            *BuildDeleteMeCmd(norvale::BeforeLast(file, L'\\') + L"\\Dekant00.exe",
                              product.appDir, false, CP_OEMCP, testing_support::Utf8CodePages()));
}

}  // namespace
