// Random damage to realistic files through every reader: each call returns
// (read or failed with a text), and nothing crashes or hangs.
#include <gtest/gtest.h>

#include <random>

#include "SectionReaders.h"
#include "SetupInfoFile.h"
#include "SetupInfoTestSupport.h"
#include "StartIni.h"
#include "Text.h"

using namespace norvale;
using namespace setupinfo_testing;

namespace {

const wchar_t kSample[] =
    L"[Setup]\nAppName=ノルヴァーレ\nAlertSpaceOnDisk=3\nDefaultDirName=Shop\n"
    L"[server]\nip=10:13:21:\nport=2121\n[条件]\nBase=基本\n[Base]\nStd=標準\nPro=プロ\n"
    L"[チェック01]\n名称=アイコン\n初期値=1\n"
    L"[Download]\nsrc=/a,Windows 10\ndst={app},Windows 10\nchk=1,task1\nsrc=/b/\ndst={tmp}\nchk=\n"
    L"[ショートカット]\ndir={group}\nexe={app}\\a.exe\nnam=ア\n"
    L"[APファイルリンク]\next=.a\nid=A\nname=N\npath=p\n"
    L"[自動実行]\nexe=x.exe,Windows 11\nid=VC_2010_x86,Windows 11\nprm=/q\nchk=\n"
    L"[管理者権限]\nexe01={app}\\a.exe\nchk01=\n[Execute]\ncmd={app}\\a.exe\n";

std::string Mutate(std::string bytes, std::mt19937& random) {
  std::uniform_int_distribution<int> kind(0, 5), byte(0, 255);
  const int steps = 1 + static_cast<int>(random() % 4);
  for (int s = 0; s < steps; ++s) {
    const size_t at = bytes.empty() ? 0 : random() % bytes.size();
    switch (kind(random)) {
      case 0: bytes.resize(at); break;                                   // truncation
      case 1: if (!bytes.empty()) bytes[at] = static_cast<char>(byte(random)); break;
      case 2: bytes.insert(at, std::string(20000 + random() % 50000, 'x')); break;  // huge line
      case 3: bytes.insert(at, 1, static_cast<char>(0x81 + random() % 30)); break;  // lone lead byte
      case 4: bytes.insert(at, "\r[Download]\r\n=\n;\n[\n"); break;
      case 5: bytes.insert(at, 1, '\0'); break;
    }
  }
  return bytes;
}

}  // namespace

TEST(Fuzz, DamagedFilesReadOrFailWithAText) {
  testing_support::TempDir dir(L"fz");
  TestMachine machine;
  std::mt19937 random(20261209);
  const std::string sample = ToAnsi(std::wstring(kSample));
  for (int round = 0; round < 2000; ++round) {
    const std::string bytes = Mutate(sample, random);
    testing_support::WriteFileBytes(dir / L"Setup.ini", bytes);
    testing_support::WriteFileBytes(dir / L"Start.ini", bytes);
    auto state = StateIn(machine, dir.Path());
    std::wstring detail;
    int16_t count = 0;
    std::vector<std::wstring> keys, values;
    for (int16_t result : {ReadDownloadSection(*state, detail), ReadShortCutSection(*state),
                           ReadApFileLinkSection(*state), ReadAutoRunSection(*state),
                           ReadAdminRightsSection(*state),
                           ReadSectionValues(*state, L"条件", count, keys, values)}) {
      if (!result) {
        ASSERT_FALSE(state->ErrText.empty()) << round;
      }
    }
    EXPECT_EQ(state->DownloadList.size(), static_cast<size_t>(state->DownloadCount) + 1);
    // The whole-file readers ask the INI functions many times: every tenth
    // round keeps the run short.
    if (round % 10 != 0) continue;
    state->ErrText.clear();
    if (!ReadSetupInfo(*state)) {
      ASSERT_FALSE(state->ErrText.empty()) << round;
    }
    LoadStartIni(*state);
    for (wchar_t c : state->StartServer.ip + state->StartServer.user + state->StartServer.pw) {
      ASSERT_GE(c, 0x20) << round;
    }
  }
}

TEST(Fuzz, RandomCodecInputNeverYieldsControlCharacters) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> number(-40000, 40000);
  for (int round = 0; round < 5000; ++round) {
    std::wstring text;
    const int length = random() % 8;
    for (int i = 0; i < length; ++i) text += std::to_wstring(number(random)) + L":";
    bool failed = false;
    const std::wstring plain = DecodeIniValue(text, L"kovtar", &failed);
    for (wchar_t c : plain) ASSERT_GE(c, 0x20);
    if (failed) {
      ASSERT_TRUE(plain.empty());
    }
  }
}
