// The self-deleting command file: its lines, its encoding, and what Wine's
// command interpreter does with it.
#include <gtest/gtest.h>

#include "DeleteMeCmd.h"
#include "System.h"
#include "Text.h"
#include "UninstallerTestSupport.h"

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

TEST(DeleteMeCmd, LinesForProgramFolderAndRestart) {
  const auto bytes = BuildDeleteMeCmd(L"C:\\Pos\\Uninst\\Dekant00.exe", L" C:\\Pos ", true);
  ASSERT_TRUE(bytes);
  const std::vector<std::wstring> expected = {
      L"echo off",
      L"setlocal DisableDelayedExpansion",
      L"set i=1",
      L":Lbl0",
      L"echo [C:\\Pos\\Uninst\\Dekant00.exe]を削除しています [%i%回目]",
      L"DEL \"C:\\Pos\\Uninst\\Dekant00.exe\"",
      L"IF NOT EXIST \"C:\\Pos\\Uninst\\Dekant00.exe\" GOTO Lbl1",
      L"set /a i+=1",
      L"TIMEOUT /T 1",
      L"if %i% leq 5 goto Lbl0",
      L":Lbl1",
      L"set i=1",
      L":Lbl2",
      L"echo [C:\\Pos]を削除しています [%i%回目]",
      L"DEL \"C:\\Pos\\*\" /s /q",
      L"RD /s /q \"C:\\Pos\"",
      L"IF NOT EXIST \"C:\\Pos\\\" GOTO Lbl3",
      L"set /a i+=1",
      L"TIMEOUT /T 1",
      L"if %i% leq 5 goto Lbl2",
      L"mshta vbscript:execute(\"MsgBox(\"\"フォルダ(C:\\Pos)を削除できませんでした！\"\"):close\")",
      L":Lbl3",
      L"shutdown -r -t 1",
      L"TIMEOUT /T 1",
      L"DEL %0",
      L"EXIT",
  };
  EXPECT_EQ(Lines(*bytes), expected);
}

TEST(DeleteMeCmd, NoFolderAndNoRestart) {
  const auto bytes = BuildDeleteMeCmd(L"C:\\Pos\\Uninst\\Dekant00.exe", L"  ", false);
  ASSERT_TRUE(bytes);
  const std::vector<std::wstring> lines = Lines(*bytes);
  ASSERT_EQ(lines.size(), 15u);
  EXPECT_EQ(lines[11], L"set i=1");
  EXPECT_EQ(lines[12], L"TIMEOUT /T 1");
  for (const std::wstring& line : lines) {
    EXPECT_EQ(line.find(L"shutdown"), std::wstring::npos);
    EXPECT_EQ(line.find(L"RD "), std::wstring::npos);
  }
}

TEST(DeleteMeCmd, SpecialCharactersStayLiteral) {
  const auto bytes = BuildDeleteMeCmd(L"C:\\A%PATH%&b\\Uninst\\Dekant00.exe",
                                      L"C:\\A%PATH%&b^c|d<e>f!g!", false);
  ASSERT_TRUE(bytes);
  const std::vector<std::wstring> lines = Lines(*bytes);
  EXPECT_EQ(lines[4], L"echo [C:\\A%%PATH%%^&b\\Uninst\\Dekant00.exe]を削除しています [%i%回目]");
  EXPECT_EQ(lines[15], L"RD /s /q \"C:\\A%%PATH%%&b^c|d<e>f!g!\"");
}

TEST(DeleteMeCmd, APathTheCodePageCannotHoldIsNotWritten) {
  EXPECT_FALSE(BuildDeleteMeCmd(L"C:\\P\\Uninst\\Dekant00.exe", L"C:\\P\u0101", false));
  EXPECT_FALSE(BuildDeleteMeCmd(L"C:\\P\u0101\\Uninst\\Dekant00.exe", L"", false));
}

// Runs the file with the command interpreter and waits for it.
void RunCmd(const std::wstring& file) {
  std::wstring commandLine =
      L"\"" + norvale::SystemFolder() + L"\\cmd.exe\" /c \"\"" + file + L"\"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                             CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process));
  EXPECT_EQ(WaitForSingleObject(process.hProcess, 120000), WAIT_OBJECT_0);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

TEST(DeleteMeCmd, InterpreterDeletesOnlyTheProgramAndTheFolder) {
  testing_support::TempDir temp(L"dm");
  const std::wstring folder = temp.Path() + L"\\Pos a%PATH%&b!x!";
  const std::wstring program = folder + L"\\Uninst\\Dekant00.exe";
  const std::wstring neighbour = temp.Path() + L"\\Pos a";
  for (const std::wstring& dir : {folder, folder + L"\\Uninst", folder + L"\\data", neighbour}) {
    MakeFolder(dir);
  }
  Touch(program);
  Touch(folder + L"\\data\\kept.dat");
  Touch(neighbour + L"\\other.dat");
  Touch(temp.Path() + L"\\Pos");
  const auto bytes = BuildDeleteMeCmd(program, folder, false);
  ASSERT_TRUE(bytes);
  const std::wstring file = temp.Path() + L"\\DeleteMe.cmd";
  ASSERT_TRUE(norvale::WriteDeleteMeCmd(file, *bytes));
  RunCmd(file);
  EXPECT_FALSE(Exists(program));
  EXPECT_FALSE(Exists(folder));
  EXPECT_FALSE(Exists(file));
  EXPECT_TRUE(Exists(neighbour + L"\\other.dat"));
  EXPECT_TRUE(Exists(temp.Path() + L"\\Pos"));
}

TEST(DeleteMeCmd, MakeWritesStartsAndEnds) {
  InstalledProduct product;
  auto state = product.MakeState();
  testing_support::TempDir tmp(L"tmp");
  state->TmpDir = tmp.Path();
  state->AppDir = product.appDir;
  RecordingEnd end;
  norvale::MakeDeleteMeCmd(*state, false, end);
  EXPECT_EQ(end.ends, 1);
  ASSERT_EQ(product.starts->started.size(), 1u);
  EXPECT_NE(product.starts->started[0].find(tmp.Path() + L"\\DeleteMe.cmd"), std::wstring::npos);
  const std::string written = testing_support::ReadFileBytes(tmp.Path() + L"\\DeleteMe.cmd");
  EXPECT_EQ(written, *BuildDeleteMeCmd(product.program, product.appDir, false));
  EXPECT_TRUE(product.messages->Asked().empty());

  // Nothing is started when the file cannot be written.
  state->TmpDir = tmp.Path() + L"\\missing";
  norvale::MakeDeleteMeCmd(*state, false, end);
  EXPECT_EQ(end.ends, 2);
  EXPECT_EQ(product.starts->started.size(), 1u);
}

}  // namespace
