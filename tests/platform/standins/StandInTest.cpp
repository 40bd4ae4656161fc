// The stand-ins in the test prefix: powershell.exe doing what the font
// scripts promise, and timeout.exe. Both are started the way the programs
// start them, from the folders where the programs look.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "FontTableProbes.h"
#include "TempDir.h"
#include "Text.h"

namespace {

using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

constexpr wchar_t kFontsKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";

std::wstring WindowsFolder() {
  wchar_t windows[MAX_PATH] = {};
  GetWindowsDirectoryW(windows, MAX_PATH);
  return windows;
}

// Where the programs start PowerShell: system32 as this process sees it,
// SysWOW64 for the 32-bit build on 64-bit Windows, where
// tools/place-standins.sh puts the same stand-in.
std::wstring PowerShell() {
  return WindowsFolder() + L"\\system32\\WindowsPowershell\\v1.0\\powershell.exe";
}

// Exit code of the command, or -1 when it could not start.
long RunAndWait(const std::wstring& commandLine, DWORD* milliseconds = nullptr) {
  std::wstring line = commandLine;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWMINNOACTIVE;
  PROCESS_INFORMATION process{};
  DWORD started = GetTickCount();
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return -1;
  }
  WaitForSingleObject(process.hProcess, 60000);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  if (milliseconds) *milliseconds = GetTickCount() - started;
  return long(code);
}

// A font file holding only the "name" table, which is all the registration
// reads: full name (id 4) in English for Windows.
std::string TinyFont(const std::wstring& fullName) {
  std::string name;
  for (wchar_t c : fullName) {
    name.push_back(char(c >> 8));
    name.push_back(char(c & 0xFF));
  }
  auto be16 = [](std::string& s, unsigned v) {
    s.push_back(char(v >> 8));
    s.push_back(char(v & 0xFF));
  };
  auto be32 = [&](std::string& s, unsigned v) {
    be16(s, v >> 16);
    be16(s, v & 0xFFFF);
  };
  std::string table;
  be16(table, 0);   // format
  be16(table, 1);   // one record
  be16(table, 18);  // strings follow the record
  for (unsigned v : {3u, 1u, 0x409u, 4u, unsigned(name.size()), 0u}) be16(table, v);
  table += name;
  std::string font;
  be32(font, 0x00010000);
  be16(font, 1);
  be16(font, 16);
  be16(font, 0);
  be16(font, 0);
  be32(font, 0x6E616D65);  // "name"
  be32(font, 0);
  be32(font, 28);
  be32(font, unsigned(table.size()));
  return font + table;
}

std::wstring FontsValue(const std::wstring& valueName) {
  wchar_t data[512] = {};
  DWORD size = sizeof data;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, kFontsKey, valueName.c_str(),
                   RRF_RT_REG_SZ | RRF_SUBKEY_WOW6464KEY, nullptr, data, &size) != ERROR_SUCCESS) {
    return L"<none>";
  }
  return data;
}

// Written in the test's own view, read and deleted in the 64-bit one: the
// Fonts key is shared between the views, so both are the one key.
void SetFontsValue(const std::wstring& valueName, const std::wstring& data) {
  RegSetKeyValueW(HKEY_LOCAL_MACHINE, kFontsKey, valueName.c_str(), REG_SZ, data.c_str(),
                  DWORD((data.size() + 1) * sizeof(wchar_t)));
}

void DeleteFontsValue(const std::wstring& valueName) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kFontsKey, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, &key) ==
      ERROR_SUCCESS) {
    RegDeleteValueW(key, valueName.c_str());
    RegCloseKey(key);
  }
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

class FontStandIn : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Exists(PowerShell())) << "run tools/wine-prefix.sh on the build folder";
    CreateDirectoryW((temp / L"script folder").c_str(), nullptr);
    CreateDirectoryW((temp / L"font files").c_str(), nullptr);
    WriteFileBytes(temp / L"script folder\\Add-Font.ps1", "# installs a font\r\n");
    WriteFileBytes(temp / L"script folder\\Remove-Font.ps1", "# removes a font\r\n");
  }
  void TearDown() override {
    for (const wchar_t* file : {L"NvTestSans.ttf", L"NvTestSansBold.ttf", L"Nv Test Mono.ttf"}) {
      DeleteFileW((fonts + L"\\" + file).c_str());
    }
    for (const wchar_t* value :
         {L"Norvale Test Sans (TrueType)", L"Norvale Test Sans Bold (TrueType)",
          L"Norvale Test Mono (TrueType)", L"Norvale Test* (TrueType)",
          L"Norvale Test Bar (TrueType)"}) {
      DeleteFontsValue(value);
    }
  }
  // The command lines exactly as the font routines build them.
  static std::wstring Start() {
    return L"\"" + PowerShell() + L"\" -ExecutionPolicy unrestricted -NoProfile -NonInteractive ";
  }
  long RunScript(const std::wstring& script, const std::wstring& argument) {
    return RunAndWait(Start() + L"-File " +
                      *norvale::QuotedArgument(temp / (L"script folder\\" + script)) + L" " +
                      *norvale::QuotedArgument(argument));
  }
  long AddFont(const std::wstring& fontPath) { return RunScript(L"Add-Font.ps1", fontPath); }
  long RemoveFont(const std::wstring& fileName) {
    return RunScript(L"Remove-Font.ps1", fileName);
  }
  // What the stand-in noted of its arguments, one line per run.
  std::wstring Logged() {
    const std::string bytes = ReadFileBytes(temp / L"powershell.log");
    std::wstring text(bytes.size(), L'\0');
    text.resize(size_t(MultiByteToWideChar(CP_UTF8, 0, bytes.data(), int(bytes.size()),
                                           text.data(), int(text.size()))));
    return text;
  }
  TempDir temp{L"font"};
  std::wstring fonts = WindowsFolder() + L"\\Fonts";
};

TEST_F(FontStandIn, InstallsForTheMachineAndRemovesExactlyThatFont) {
  std::string font = TinyFont(L"Norvale Test Sans");
  WriteFileBytes(temp / L"font files\\NvTestSans.ttf", font);
  // A font of the same family whose file name begins alike.
  WriteFileBytes(fonts + L"\\NvTestSansBold.ttf", TinyFont(L"Norvale Test Sans Bold"));
  SetFontsValue(L"Norvale Test Sans Bold (TrueType)", L"NvTestSansBold.ttf");

  ASSERT_EQ(0, AddFont(temp / L"font files\\NvTestSans.ttf"));
  EXPECT_EQ(font, ReadFileBytes(fonts + L"\\NvTestSans.ttf"));
  EXPECT_EQ(L"NvTestSans.ttf", FontsValue(L"Norvale Test Sans (TrueType)"));
  // Installing again changes nothing and still succeeds.
  EXPECT_EQ(0, AddFont(temp / L"font files\\NvTestSans.ttf"));

  ASSERT_EQ(0, RemoveFont(L"nvtestsans.TTF"));
  EXPECT_FALSE(Exists(fonts + L"\\NvTestSans.ttf"));
  EXPECT_EQ(L"<none>", FontsValue(L"Norvale Test Sans (TrueType)"));
  EXPECT_TRUE(Exists(fonts + L"\\NvTestSansBold.ttf"));
  EXPECT_EQ(L"NvTestSansBold.ttf", FontsValue(L"Norvale Test Sans Bold (TrueType)"));
}

TEST_F(FontStandIn, AFileNameWithBlanksArrivesAsOneArgument) {
  WriteFileBytes(temp / L"font files\\Nv Test Mono.ttf", TinyFont(L"Norvale Test Mono"));
  ASSERT_EQ(0, AddFont(temp / L"font files\\Nv Test Mono.ttf"));
  EXPECT_EQ(L"Nv Test Mono.ttf", FontsValue(L"Norvale Test Mono (TrueType)"));
  ASSERT_EQ(0, RemoveFont(L"Nv Test Mono.ttf"));
  EXPECT_FALSE(Exists(fonts + L"\\Nv Test Mono.ttf"));
  EXPECT_EQ(L"<none>", FontsValue(L"Norvale Test Mono (TrueType)"));
}

// As Windows PowerShell reads its command line: split by the Windows rules,
// the script's arguments only after -File. Without -File the rest would be
// a command, which the stand-in never runs.
TEST_F(FontStandIn, ReadsItsCommandLineAsWindowsPowerShellDoes) {
  SetEnvironmentVariableW(L"NORVALE_POWERSHELL_LOG", (temp / L"powershell.log").c_str());
  WriteFileBytes(fonts + L"\\Nv Test Mono.ttf", TinyFont(L"Norvale Test Mono"));
  const std::wstring script = temp / L"script folder\\Remove-Font.ps1";
  const std::wstring start = Start();
  // The name unquoted after -File is two arguments; the script takes one.
  EXPECT_NE(0, RunAndWait(start + L"-File \"" + script + L"\" Nv Test Mono.ttf"));
  // Without -File: a command.
  EXPECT_NE(0, RunAndWait(start + L"\"" + script + L"\" \"Nv Test Mono.ttf\""));
  EXPECT_TRUE(Exists(fonts + L"\\Nv Test Mono.ttf"));
  // Backslashes count only before a quote.
  EXPECT_NE(0, RunAndWait(start + L"-File \"" + script + L"\" \"a\\\"b c\" d\\\\"));
  SetEnvironmentVariableW(L"NORVALE_POWERSHELL_LOG", nullptr);
  const std::wstring options = L"[-ExecutionPolicy] [unrestricted] [-NoProfile] [-NonInteractive] ";
  EXPECT_EQ(options + L"[-File] [" + script + L"] [Nv] [Test] [Mono.ttf]\r\n" + options + L"[" +
                script + L"] [Nv Test Mono.ttf]\r\n" + options + L"[-File] [" + script +
                L"] [a\"b c] [d\\\\]\r\n",
            Logged());
}

TEST_F(FontStandIn, AMissingScriptFileOrNoFontInstallsNothing) {
  WriteFileBytes(temp / L"font files\\NvTestSans.ttf", TinyFont(L"Norvale Test Sans"));
  DeleteFileW((temp / L"script folder\\Add-Font.ps1").c_str());
  EXPECT_NE(0, AddFont(temp / L"font files\\NvTestSans.ttf"));
  EXPECT_FALSE(Exists(fonts + L"\\NvTestSans.ttf"));

  WriteFileBytes(temp / L"script folder\\Add-Font.ps1", "# installs a font\r\n");
  WriteFileBytes(temp / L"font files\\NvTestSans.ttf", "not a font");
  EXPECT_NE(0, AddFont(temp / L"font files\\NvTestSans.ttf"));
  EXPECT_FALSE(Exists(fonts + L"\\NvTestSans.ttf"));
  EXPECT_NE(0, RemoveFont(L"..\\win.ini"));
}

// Windows PowerShell 5.1 reads a value name handed to Remove-ItemProperty as
// a pattern; the key object's DeleteValue takes it as it is. A script that
// does neither is one the stand-in cannot answer for.
TEST_F(FontStandIn, ReadsAValueNameAsAPatternWherePowerShellDoes) {
  const std::wstring script = temp / L"script folder\\Remove-Font.ps1";
  auto setValues = [] {
    SetFontsValue(L"Norvale Test* (TrueType)", L"NvTestStar.ttf");
    SetFontsValue(L"Norvale Test Bar (TrueType)", L"NvTestBar.ttf");
  };
  setValues();
  WriteFileBytes(script, "$fonts.DeleteValue($valueName, $false)\r\n");
  ASSERT_EQ(0, RemoveFont(L"NvTestStar.ttf"));
  EXPECT_EQ(L"<none>", FontsValue(L"Norvale Test* (TrueType)"));
  EXPECT_EQ(L"NvTestBar.ttf", FontsValue(L"Norvale Test Bar (TrueType)"));

  setValues();
  WriteFileBytes(script, "Remove-ItemProperty -LiteralPath $key -Name $valueName\r\n");
  ASSERT_EQ(0, RemoveFont(L"NvTestStar.ttf"));
  EXPECT_EQ(L"<none>", FontsValue(L"Norvale Test* (TrueType)"));
  EXPECT_EQ(L"<none>", FontsValue(L"Norvale Test Bar (TrueType)"));

  setValues();
  WriteFileBytes(script, "Remove-Item -LiteralPath $target\r\n");
  EXPECT_NE(0, RemoveFont(L"NvTestStar.ttf"));
  EXPECT_EQ(L"NvTestStar.ttf", FontsValue(L"Norvale Test* (TrueType)"));
}

// Windows PowerShell 5.1 has csc compile the C# of an Add-Type in TEMP,
// source and assembly, and so does the stand-in, into the TEMP it was
// started with, where it leaves them for a test to find. An assembly loaded
// by name compiles nothing, nor does a comment.
TEST_F(FontStandIn, CompilesTheCSharpOfAnAddTypeInItsTemp) {
  const std::wstring font = temp / L"font files\\NvTestSans.ttf";
  WriteFileBytes(font, TinyFont(L"Norvale Test Sans"));
  struct Script {
    std::string text;
    size_t compiled;
  };
  const Script scripts[] = {
      {"Add-Type -Namespace Nv -Name Api -MemberDefinition @'\r\n[DllImport(\"gdi32.dll\")]\r\n"
       "public static extern int AddFontResource(string file);\r\n'@\r\n",
       1},
      {"$source = 'public class NvApi {}'\r\nAdd-Type -TypeDefinition $source\r\n", 1},
      {"Add-Type @\"\r\npublic class NvApi {}\r\n\"@\r\nadd-type -Path .\\NvApi.cs\r\n", 2},
      {"Add-Type -AssemblyName System.Drawing\r\n# Add-Type -MemberDefinition $api\r\n", 0},
  };
  int run = 0;
  for (const Script& script : scripts) {
    const testing_support::RedirectedTemp redirected(temp / (L"temp" + std::to_wstring(++run)));
    WriteFileBytes(temp / L"script folder\\Add-Font.ps1", script.text);
    EXPECT_EQ(0, AddFont(font)) << script.text;
    size_t sources = 0, assemblies = 0;
    for (const std::wstring& name : redirected.Entries()) {
      if (name.ends_with(L".0.cs")) {
        ++sources;
        if (run == 1) {
          const std::string source =
              ReadFileBytes(temp / (L"temp1\\" + name));
          EXPECT_NE(std::string::npos, source.find("AddFontResource(string file)")) << source;
          EXPECT_NE(std::string::npos, source.find("'@")) << source;
        }
      }
      if (name.ends_with(L".dll")) ++assemblies;
    }
    EXPECT_EQ(script.compiled, sources) << script.text;
    EXPECT_EQ(script.compiled, assemblies) << script.text;
  }
  EXPECT_EQ(L"NvTestSans.ttf", FontsValue(L"Norvale Test Sans (TrueType)"));
}

// Without -NoProfile the profiles run first; a mandatory parameter that is
// not given is asked for, and only -NonInteractive keeps the run from
// waiting for the answer.
TEST_F(FontStandIn, RunsTheProfilesAndAsksUnlessToldNotTo) {
  // All users' profile beside the stand-in: system32's, or SysWOW64's for the
  // 32-bit build, the folder the stand-in finds as its own.
  const std::wstring profile = PowerShell().substr(0, PowerShell().rfind(L'\\')) + L"\\profile.ps1";
  WriteFileBytes(profile, "Write-Host 'a profile ran'\r\n");
  SetEnvironmentVariableW(L"NORVALE_POWERSHELL_LOG", (temp / L"powershell.log").c_str());
  const std::wstring remove =
      L"-File \"" + (temp / L"script folder\\Remove-Font.ps1") + L"\" x.ttf";
  EXPECT_EQ(0, RunAndWait(L"\"" + PowerShell() + L"\" " + remove));
  EXPECT_EQ(0, RunAndWait(L"\"" + PowerShell() + L"\" -NoProfile " + remove));
  DeleteFileW(profile.c_str());
  SetEnvironmentVariableW(L"NORVALE_POWERSHELL_LOG", nullptr);
  // The profile's path as the stand-in knows its own folder.
  const std::wstring logged = Logged();
  const size_t first = logged.find(L"\r\n");
  ASSERT_NE(std::wstring::npos, first) << norvale::ToAnsi(logged);
  EXPECT_EQ(0u, logged.find(L"[profile] ")) << norvale::ToAnsi(logged);
  EXPECT_TRUE(logged.substr(0, first).ends_with(L"\\profile.ps1")) << norvale::ToAnsi(logged);
  EXPECT_EQ(L"[-File] [" + (temp / L"script folder\\Remove-Font.ps1") + L"] [x.ttf]\r\n" +
                L"[-NoProfile] [-File] [" + (temp / L"script folder\\Remove-Font.ps1") +
                L"] [x.ttf]\r\n",
            logged.substr(first + 2));

  const std::wstring font = temp / L"font files\\NvTestSans.ttf";
  WriteFileBytes(font, TinyFont(L"Norvale Test Sans"));
  WriteFileBytes(temp / L"script folder\\Add-Font.ps1",
                 "param([Parameter(Mandatory = $true)][string]$FontPath)\r\n");
  const std::wstring add = L" -File \"" + (temp / L"script folder\\Add-Font.ps1") + L"\"";
  DWORD elapsed = 0;
  EXPECT_NE(0, RunAndWait(L"\"" + PowerShell() + L"\" -NoProfile -NonInteractive" + add, &elapsed));
  EXPECT_LT(elapsed, 5000u);
  EXPECT_FALSE(Exists(fonts + L"\\NvTestSans.ttf"));

  // Asked, it waits for the answer on its input.
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE read = nullptr, write = nullptr;
  ASSERT_TRUE(CreatePipe(&read, &write, &inherit, 0));
  SetHandleInformation(write, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = read;
  PROCESS_INFORMATION process{};
  std::wstring line = L"\"" + PowerShell() + L"\" -NoProfile" + add;
  ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                             nullptr, nullptr, &startup, &process));
  CloseHandle(read);
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(process.hProcess, 1000));
  const std::string answer = norvale::ToAnsi(font, CP_UTF8) + "\r\n";
  DWORD written = 0;
  WriteFile(write, answer.data(), DWORD(answer.size()), &written, nullptr);
  CloseHandle(write);
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.hProcess, 30000));
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  EXPECT_EQ(0u, code);
  EXPECT_EQ(L"NvTestSans.ttf", FontsValue(L"Norvale Test Sans (TrueType)"));
}

TEST(TimeoutStandIn, WaitsTheGivenSecondsFromTheSystemFolder) {
  DWORD elapsed = 0;
  ASSERT_EQ(0, RunAndWait(L"timeout /t 1 /nobreak", &elapsed));
  EXPECT_GE(elapsed, 950u);
  EXPECT_LT(elapsed, 5000u);
  EXPECT_EQ(0, RunAndWait(L"TIMEOUT /T 0", &elapsed));
  EXPECT_LT(elapsed, 900u);
  EXPECT_NE(0, RunAndWait(L"timeout /t soon"));
}

}  // namespace
