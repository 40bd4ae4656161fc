#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "FakeClock.h"
#include "clsLZH.h"

using namespace engine_testing;

namespace {

std::vector<std::wstring> Utf8Lines(const std::string& bytes) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()),
                                    nullptr, 0);
  std::wstring text(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), n);
  std::vector<std::wstring> lines;
  size_t start = 0;
  for (size_t at; (at = text.find(L'\n', start)) != std::wstring::npos; start = at + 1) {
    lines.push_back(text.substr(start, at - start));
  }
  return lines;
}

// Every test's DLL calls land in a log of its own.
class ArchiveDllTest : public ::testing::Test {
 protected:
  ArchiveDllTest() { SetEnvironmentVariableW(L"FAKEARC_LOG", log_.c_str()); }
  ~ArchiveDllTest() override {
    SetEnvironmentVariableW(L"FAKEARC_LOG", nullptr);
    SetEnvironmentVariableW(L"FAKEARC_RESULT", nullptr);
    SetEnvironmentVariableW(L"FAKEARC_CHECK", nullptr);
  }
  std::vector<std::wstring> Calls() {
    std::vector<std::wstring> calls = Exists(log_) ? Utf8Lines(ReadBytes(log_)) : std::vector<std::wstring>{};
    DeleteFileW(log_.c_str());
    return calls;
  }
  static std::vector<std::wstring> SevenZipCall(const std::wstring& command) {
    return {L"SevenZipSetCursorMode|0", L"SevenZipSetBackGroundMode|1", L"SevenZip|" + command};
  }
  static std::vector<std::wstring> UnlhaCall(const std::wstring& command) {
    return {L"UnlhaSetCursorMode|0", L"UnlhaSetBackGroundMode|1", L"Unlha|" + command};
  }

  testing_support::TempDir dir_{L"lzh"};
  const std::wstring log_ = dir_ / L"calls.log";
  clsLZH lzh_{FakeArchiveDll(), FakeArchiveDll()};
};

TEST_F(ArchiveDllTest, AZipExtractionIsTranslatedForSevenZip) {
  EXPECT_TRUE(lzh_.LHA_UnLha(L"x \"C:\\T\\pkg.ZIP\" \"C:\\T\\out\\\""));
  EXPECT_EQ(SevenZipCall(L"-hide  x \"C:\\T\\pkg.ZIP\" -o\"C:\\T\\out\\\""), Calls());

  EXPECT_TRUE(lzh_.LHA_UnLha(L"x C:\\T\\pkg.zip C:\\T\\out\\", true));
  EXPECT_EQ(SevenZipCall(L"x C:\\T\\pkg.zip -oC:\\T\\out\\"), Calls());

  // A quoted path with blanks stays one token, so the output folder keeps
  // its switch and the archive its name.
  EXPECT_TRUE(lzh_.LHA_UnLha(
      L"x \"C:\\Program Files (x86)\\ノルヴァーレ\\pkg.zip\"  \"C:\\Program Files (x86)\\ノルヴァーレ\\pp1_temp\\\""));
  EXPECT_EQ(SevenZipCall(L"-hide  x \"C:\\Program Files (x86)\\ノルヴァーレ\\pkg.zip\" "
                         L"-o\"C:\\Program Files (x86)\\ノルヴァーレ\\pp1_temp\\\""),
            Calls());
}

TEST_F(ArchiveDllTest, OtherArchivesGoToUnlhaWithItsSwitches) {
  EXPECT_TRUE(lzh_.LHA_UnLha(L"x C:\\T\\pkg.lzh C:\\T\\out\\"));
  EXPECT_EQ(UnlhaCall(L"-y1 -n1 x C:\\T\\pkg.lzh C:\\T\\out\\"), Calls());
  EXPECT_TRUE(lzh_.LHA_UnLha(L"x C:\\T\\pkg.lzh C:\\T\\out\\", true));
  EXPECT_EQ(UnlhaCall(L"-y1 x C:\\T\\pkg.lzh C:\\T\\out\\"), Calls());
  // Without any blank there is no token, so not even a zip name counts.
  EXPECT_TRUE(lzh_.LHA_UnLha(L"C:\\T\\pkg.zip"));
  EXPECT_EQ(UnlhaCall(L"-y1 -n1 C:\\T\\pkg.zip"), Calls());
  // Blank commands reach no DLL.
  EXPECT_FALSE(lzh_.LHA_UnLha(L""));
  EXPECT_FALSE(lzh_.LHA_UnLha(L"   "));
  EXPECT_TRUE(Calls().empty());
}

TEST(CommandTokensTest, SplitsAtBlanksOutsideQuotes) {
  using V = std::vector<std::wstring>;
  EXPECT_EQ((V{L"x", L"a", L"b"}), clsLZH::SplitCommandTokens(L"x a b"));
  EXPECT_EQ((V{L"x", L"\"C:\\a b\\c.zip\"", L"-y"}),
            clsLZH::SplitCommandTokens(L"x  \"C:\\a b\\c.zip\" -y "));
  EXPECT_EQ(V{}, clsLZH::SplitCommandTokens(L"single"));
  EXPECT_EQ(V{}, clsLZH::SplitCommandTokens(L"\"C:\\a b\\c.zip\""));
  // An unclosed quote holds the rest of the command.
  EXPECT_EQ((V{L"x", L"\"C:\\a b"}), clsLZH::SplitCommandTokens(L"x \"C:\\a b"));
}

TEST_F(ArchiveDllTest, FailuresAndUnsafeTextsAreFalse) {
  SetEnvironmentVariableW(L"FAKEARC_RESULT", L"2");
  EXPECT_FALSE(lzh_.LHA_UnLha(L"x \"C:\\T\\pkg.zip\" \"C:\\T\\out\\\""));
  SetEnvironmentVariableW(L"FAKEARC_RESULT", nullptr);
  Calls();
  // A character the ANSI code page lacks would reach the DLL as "?", a
  // wildcard: the command is not given at all.
  EXPECT_FALSE(lzh_.LHA_UnLha(L"x \"C:\\T\\caf\u00e9.zip\" \"C:\\T\\out\\\""));
  EXPECT_TRUE(Calls().size() == 2);  // the modes only
  clsLZH missing(dir_ / L"7-zip32.dll", dir_ / L"Unlha32.dll");
  EXPECT_FALSE(missing.LHA_UnLha(L"x \"C:\\T\\pkg.zip\" \"C:\\T\\out\\\""));
  EXPECT_FALSE(missing.IsLzhFileOK(L"C:\\T\\pkg.zip"));
}

TEST_F(ArchiveDllTest, ChecksGoToTheDllOfTheArchiveKind) {
  EXPECT_TRUE(lzh_.IsLzhFileOK(L"C:\\T\\配布.Zip"));
  EXPECT_EQ((std::vector<std::wstring>{L"SevenZipSetCursorMode|0", L"SevenZipSetBackGroundMode|1",
                                       L"SevenZipCheckArchive|C:\\T\\配布.Zip|2"}),
            Calls());
  SetEnvironmentVariableW(L"FAKEARC_CHECK", L"0");
  EXPECT_FALSE(lzh_.IsLzhFileOK(L"C:\\T\\pkg.lzh"));
  EXPECT_EQ((std::vector<std::wstring>{L"UnlhaSetCursorMode|0", L"UnlhaSetBackGroundMode|1",
                                       L"UnlhaCheckArchive|C:\\T\\pkg.lzh|2"}),
            Calls());
  // A name that is just "zip" is no zip archive.
  lzh_.IsLzhFileOK(L"C:\\T\\zip");
  EXPECT_EQ(L"UnlhaCheckArchive|C:\\T\\zip|2", Calls().back());
  EXPECT_FALSE(lzh_.IsLzhFileOK(L" "));
}

TEST_F(ArchiveDllTest, AddCommandsOfBothStyles) {
  EXPECT_TRUE(lzh_.LHA_LzhAddFiles(L" -r ", L"\"C:\\T\\a.lzh\"", L" \"C:\\T\\x.txt\""));
  EXPECT_EQ(UnlhaCall(L"A -n1 -r \"C:\\T\\a.lzh\" \"C:\\T\\x.txt\""), Calls());
  EXPECT_TRUE(lzh_.LHA_LzhAddFiles(L"", L"\"" + (dir_ / L"a.zip") + L"\"",
                                   L" \"C:\\T\\x.txt\" \"C:\\T\\y.txt\"", false, 1));
  EXPECT_EQ(SevenZipCall(L"a  -tzip -hide  \"" + (dir_ / L"a.zip") +
                         L"\" C:\\T\\x.txt C:\\T\\y.txt"),
            Calls());
  EXPECT_FALSE(lzh_.LHA_LzhAddFiles(L"", L" ", L"x"));
  EXPECT_FALSE(lzh_.LHA_LzhAddFiles(L"", L"a.lzh", L""));
  EXPECT_TRUE(Calls().empty());
}

TEST_F(ArchiveDllTest, CompDelFilesPacksThenDeletesTheMatchedFiles) {
  testing_support::WriteFileBytes(dir_ / L"売上.csv", "1");
  testing_support::WriteFileBytes(dir_ / L"b.csv", "2");
  testing_support::WriteFileBytes(dir_ / L"keep.zip", "z");
  auto clock = std::make_shared<testing_support::FakeClock>();
  clsLZH lzh(FakeArchiveDll(), FakeArchiveDll(), clock);
  clock->Set(2026, 3, 5, 23, 59, 0);
  const std::wstring archive = dir_ / L"BackUp_20260305.ZIP";

  EXPECT_EQ(0, lzh.CompDelFiles(1, dir_ / L"*.zip", L""));
  SetEnvironmentVariableW(L"FAKEARC_RESULT", L"1");
  EXPECT_EQ(-1, lzh.CompDelFiles(1, dir_ / L"*.csv", L""));
  EXPECT_TRUE(Exists(dir_ / L"売上.csv"));
  EXPECT_TRUE(Exists(dir_ / L"b.csv"));
  SetEnvironmentVariableW(L"FAKEARC_RESULT", nullptr);

  EXPECT_EQ(2, lzh.CompDelFiles(1, dir_ / L"*.csv", L""));
  EXPECT_TRUE(Exists(archive));
  EXPECT_FALSE(Exists(dir_ / L"売上.csv"));
  EXPECT_FALSE(Exists(dir_ / L"b.csv"));
  EXPECT_TRUE(Exists(dir_ / L"keep.zip"));
}

TEST(clsLZHNamesTest, FileIdIsTheLastPart) {
  clsLZH lzh(L"none-7z.dll", L"none-lha.dll");
  EXPECT_EQ(L"bcd.txt", lzh.GetFileID(L"C:\\a\\bcd.txt"));
  EXPECT_EQ(L"bcd.txt", lzh.GetFileID(L" bcd.txt "));
}

}  // namespace
