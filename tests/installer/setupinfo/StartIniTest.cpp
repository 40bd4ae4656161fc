// Reading "Start.ini", plain and encoded, into the record.
#include <gtest/gtest.h>

#include "SetupInfoTestSupport.h"
#include "StartIni.h"
#include "Text.h"

using namespace norvale;
using namespace setupinfo_testing;

namespace {

class StartIniTest : public ::testing::Test {
 protected:
  void Write(const std::wstring& text) { WriteAnsiFile(dir / L"Start.ini", text); }
  // A [server] section whose values (but ApName) are encoded.
  void WriteEncoded(const std::vector<std::pair<std::wstring, std::wstring>>& values) {
    std::wstring text = L"[server]\nApName=POS Suite\n";
    for (const auto& [key, value] : values) text += key + L"=" + EncodeIniValue(value, L"kovtar") + L"\n";
    Write(text);
  }
  InstallerState& Load() {
    state = StateIn(machine, dir.Path());
    EXPECT_EQ(LoadStartIni(*state), -1);
    return *state;
  }
  std::wstring StartIniText() { return ReadAnsiFile(dir / L"Start.ini"); }

  testing_support::TempDir dir{L"si"};
  TestMachine machine;
  std::unique_ptr<InstallerState> state;
};

}  // namespace

TEST_F(StartIniTest, PlainFileFillsServerAndWindowsFacts) {
  machine.drives->roots = {"C:\\", "D:\\"};
  Write(L"[server]\nApName=POSシステム\nip=192.168.1.20\nport=2121\nuser=shop\npw=pa:ss\n"
        L"path=/pos\nSetupFile=sub/Setup2.ini\nUpdatePath=upd\nReplaceCunt=0\n"
        L"UpdateURL=https://example.jp/dl\n");
  InstallerState& s = Load();
  EXPECT_EQ(s.Caption, L"POSシステム Installer Ver 1.2.03");
  EXPECT_EQ(s.StartServer.ip, L"192.168.1.20");
  EXPECT_EQ(s.StartServer.port, 2121);
  EXPECT_EQ(s.StartServer.user, L"shop");
  EXPECT_EQ(s.StartServer.pw, L"pa:ss");  // the plain ip decides: no decoding
  EXPECT_EQ(s.StartServer.path, L"/pos/sub");
  EXPECT_EQ(s.SetupFileId, L"Setup2.ini");
  EXPECT_EQ(s.objSetupIni.IniFileID(), L"Setup2.ini");
  EXPECT_EQ(s.UpdatePath, L"/pos/upd");
  EXPECT_EQ(s.ExeName, L"Norvale_Installer.exe");
  EXPECT_EQ(s.UpdateURL, L"https://example.jp/dl");
  EXPECT_EQ(s.Is64BitWindows, -1);
  EXPECT_EQ(s.OsVersion.dwBuildNumber, 19045u);
  EXPECT_EQ(s.WindowsName, L"Windows 10");
  EXPECT_EQ(s.DefaultDrive, L"C:\\");
  EXPECT_FALSE(s.WinDir.empty());
  EXPECT_FALSE(s.TmpDir.empty());
  EXPECT_TRUE(s.ErrText.empty()) << s.ErrText;
}

TEST_F(StartIniTest, EncodedFileIsDecodedWhenTheIpHoldsAColon) {
  WriteEncoded({{L"ip", L"ftp.example.jp"}, {L"port", L"40021"}, {L"user", L"店舗ユーザー"},
                {L"pw", L"秘密ﾊﾟｽ"}, {L"path", L"/pos/"}, {L"SetupFile", L"Setup.ini"},
                {L"UpdatePath", L"/upd"}, {L"ReplaceCunt", L"2"},
                {L"UpdateURL", L"http://example.jp/new"}});
  InstallerState& s = Load();
  EXPECT_EQ(s.Caption, L"POS Suite Installer Ver 1.2.03");
  EXPECT_EQ(s.StartServer.ip, L"ftp.example.jp");
  EXPECT_EQ(s.StartServer.port, 40021);  // above 32767
  EXPECT_EQ(s.StartServer.user, L"店舗ユーザー");
  EXPECT_EQ(s.StartServer.pw, L"秘密ﾊﾟｽ");
  EXPECT_EQ(s.StartServer.path, L"/pos");
  EXPECT_EQ(s.SetupFileId, L"Setup.ini");
  EXPECT_EQ(s.UpdatePath, L"/upd");
  EXPECT_EQ(s.ReplaceCunt, 2);
  EXPECT_EQ(s.UpdateURL, L"http://example.jp/new");
  EXPECT_EQ(StartIniText().find(L"ReplaceCunt"), std::wstring::npos);
  EXPECT_TRUE(s.ErrText.empty()) << s.ErrText;
}

TEST_F(StartIniTest, AnIpStartingWithAColonIsPlain) {
  Write(L"[server]\nip=:1:2:\nuser=10:13:\n");
  InstallerState& s = Load();
  EXPECT_EQ(s.StartServer.ip, L":1:2:");
  EXPECT_EQ(s.StartServer.user, L"10:13:");
}

TEST_F(StartIniTest, MissingFileLeavesTheServerEmpty) {
  state = StateIn(machine, dir.Path());
  state->StartServer = ServerSettings{L"x", 21, L"u", L"p", L"/d"};
  EXPECT_EQ(LoadStartIni(*state), -1);
  EXPECT_EQ(state->StartServer.ip, L"");
  EXPECT_EQ(state->StartServer.port, 0);
  EXPECT_EQ(state->StartServer.path, L"");
  EXPECT_EQ(state->WindowsName, L"");  // nothing else was read
  EXPECT_FALSE(testing_support::ReadFileBytes(dir / L"Start.ini").size());
}

TEST_F(StartIniTest, SetupFileAtTheRootLeavesABlankPath) {
  Write(L"[server]\nip=10.0.0.1\npath=/\nSetupFile=Setup.ini\n");
  EXPECT_EQ(Load().StartServer.path, L"");
}

TEST_F(StartIniTest, RelativeAndAbsoluteUpdatePaths) {
  Write(L"[server]\nip=10.0.0.1\npath=/pos/\nUpdatePath=upd\n");
  EXPECT_EQ(Load().UpdatePath, L"/pos/upd");
  Write(L"[server]\nip=10.0.0.1\npath=/pos/\nUpdatePath=/upd\n");
  EXPECT_EQ(Load().UpdatePath, L"/upd");
}

TEST_F(StartIniTest, ReplaceCuntIsRemovedOnlyWhenAnUpdatePathIsSet) {
  Write(L"[server]\nip=10.0.0.1\nUpdatePath=/upd\nReplaceCunt=2\n");
  EXPECT_EQ(Load().ReplaceCunt, 2);
  EXPECT_EQ(StartIniText().find(L"ReplaceCunt"), std::wstring::npos);
  Write(L"[server]\nip=10.0.0.1\nReplaceCunt=2\n");
  EXPECT_EQ(Load().ReplaceCunt, 0);
  EXPECT_NE(StartIniText().find(L"ReplaceCunt=2"), std::wstring::npos);
  // Beyond 16 bits it counts as 0; halves round to even.
  Write(L"[server]\nip=10.0.0.1\nUpdatePath=/u\nReplaceCunt=99999\n");
  EXPECT_EQ(Load().ReplaceCunt, 0);
  Write(L"[server]\nip=10.0.0.1\nUpdatePath=/u\nReplaceCunt=2.5\n");
  EXPECT_EQ(Load().ReplaceCunt, 2);
}

TEST_F(StartIniTest, UnusableValuesKeepTheirDefaultsAndAreReported) {
  struct Case {
    std::wstring line;
    std::wstring reported;
  };
  const Case cases[] = {
      {L"port=70000", L"port"},       {L"port=-21", L"port"},
      {L"port=abc", L"port"},         {L"SetupFile=..\\..\\evil.ini", L"SetupFile"},
      {L"SetupFile=sub/CON.ini", L"SetupFile"}, {L"SetupFile=a:b.ini", L"SetupFile"},
      {L"UpdateURL=file:///C:/Windows/system32/calc.exe", L"UpdateURL"},
      {L"UpdateURL=javascript:alert(1)", L"UpdateURL"},
  };
  for (const Case& c : cases) {
    Write(L"[server]\nip=10.0.0.1\npath=/pos\n" + c.line + L"\n");
    InstallerState& s = Load();
    EXPECT_NE(s.ErrText.find(c.reported), std::wstring::npos) << c.line;
    EXPECT_EQ(s.StartServer.port, 0) << c.line;
    EXPECT_EQ(s.SetupFileId, L"Setup.ini") << c.line;
    EXPECT_EQ(s.StartServer.path, L"/pos") << c.line;
    EXPECT_EQ(s.UpdateURL, L"") << c.line;
  }
}

TEST_F(StartIniTest, AnUndecodableValueIsEmptyAndReported) {
  Write(L"[server]\nip=" + EncodeIniValue(L"10.0.0.1", L"kovtar") + L"\nuser=107:\npw=x:y:\n");
  InstallerState& s = Load();
  EXPECT_EQ(s.StartServer.ip, L"10.0.0.1");
  EXPECT_EQ(s.StartServer.user, L"");  // would have been a NUL
  EXPECT_EQ(s.StartServer.pw, L"");
  EXPECT_NE(s.ErrText.find(L"user"), std::wstring::npos);
  EXPECT_NE(s.ErrText.find(L"pw"), std::wstring::npos);
}

TEST(GetFirstDriveRoot, TakesTheFirstRoot) {
  TestMachine machine;
  machine.drives->roots = {"C:\\", "D:\\"};
  EXPECT_EQ(GetFirstDriveRoot(*machine.drives), L"C:\\");
  machine.drives->roots = {};
  EXPECT_EQ(GetFirstDriveRoot(*machine.drives), L"");
}
