// Archives our DLL writes and reads back itself, driven with the command
// lines the installer's archive class builds.
#include <gtest/gtest.h>

#include <cstring>

#include "SevenZipTestSupport.h"
#include "TempDir.h"

namespace sevenzip_test {
namespace {

using testing_support::TempDir;

std::string Random(size_t size, uint32_t seed) {
  std::string out(size, '\0');
  for (char& c : out) {
    seed = seed * 1103515245u + 12345u;
    c = char(seed >> 23);
  }
  return out;
}

class RoundTrip : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dll.Loaded()) << "7-zip32.dll beside the test program"; }
  // The extract command exactly as the archive class hands it over.
  int Extract(const std::wstring& archive, const std::wstring& folder, std::string* msg = nullptr) {
    return dll.Run(L"-hide x \"" + archive + L"\" -o\"" + folder + L"\\\"", msg);
  }
  int Add(const std::wstring& archive, const std::wstring& files, std::string* msg = nullptr) {
    return dll.Run(L"a  -tzip -hide  \"" + archive + L"\" " + files, msg);
  }
  SevenZipDll dll;
  TempDir temp{L"7z"};
};

TEST_F(RoundTrip, TreeWithJapaneseNamesEmptyFoldersAndBlanksInPathsComesBackAlike) {
  Tree tree = {
      {L"readme.txt", "hello\r\n"},
      {L"日本語フォルダ\\", ""},
      {L"日本語フォルダ\\テスト.txt", std::string(5000, 'a') + "テスト"},
      {L"日本語フォルダ\\空\\", ""},
      {L"empty\\", ""},
      {L"zero.dat", ""},
      {L"深い\\", ""},
      {L"深い\\階層\\", ""},
      {L"深い\\階層\\noise.bin", Random(300000, 7)},
      {L"big.txt", std::string(2000000, 'x')},
  };
  WriteTree(temp / L"src", tree);
  std::string message;
  ASSERT_EQ(0, Add(temp / L"out put\\pkg.zip", temp / L"src\\*", &message)) << message;
  EXPECT_EQ(0u, message.find("OK")) << message;
  // Incompressible data is stored, the rest deflated: the archive stays small.
  EXPECT_LT(testing_support::ReadFileBytes(temp / L"out put\\pkg.zip").size(), 320000u);
  EXPECT_TRUE(dll.Check(temp / L"out put\\pkg.zip", 2));

  ASSERT_EQ(0, Extract(temp / L"out put\\pkg.zip", temp / L"Program Files (x86)\\展開先", &message))
      << message;
  EXPECT_EQ(tree, ReadTree(temp / L"Program Files (x86)\\展開先"));
}

TEST_F(RoundTrip, NamesKeepTheAnsiCodePageWhereTheyCanAndUtf8ElsewhereAndFileTimesSurvive) {
  Tree tree = {{L"テスト.txt", "sjis"}, {L"한글.txt", "utf8"}};
  WriteTree(temp / L"src", tree);
  HANDLE h = CreateFileW((temp / L"src\\テスト.txt").c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  SYSTEMTIME when{2019, 4, 0, 30, 23, 59, 58, 0};
  FILETIME written{};
  SystemTimeToFileTime(&when, &written);
  SetFileTime(h, nullptr, nullptr, &written);
  CloseHandle(h);
  ASSERT_EQ(0, Add(temp / L"pkg.zip", temp / L"src\\*"));
  std::string bytes = testing_support::ReadFileBytes(temp / L"pkg.zip");
  EXPECT_NE(std::string::npos, bytes.find(Ansi(L"テスト.txt")));
  EXPECT_NE(std::string::npos, bytes.find(Utf8(L"한글.txt")));

  ASSERT_EQ(0, Extract(temp / L"pkg.zip", temp / L"dest"));
  EXPECT_EQ(tree, ReadTree(temp / L"dest"));
  WIN32_FILE_ATTRIBUTE_DATA data{};
  ASSERT_TRUE(GetFileAttributesExW((temp / L"dest\\テスト.txt").c_str(), GetFileExInfoStandard,
                                   &data));
  EXPECT_EQ(written.dwLowDateTime, data.ftLastWriteTime.dwLowDateTime);
  EXPECT_EQ(written.dwHighDateTime, data.ftLastWriteTime.dwHighDateTime);
}

TEST_F(RoundTrip, AddingToAnExistingArchiveKeepsItsEntriesAndReplacesSameNames) {
  WriteTree(temp / L"one", {{L"a.txt", "first"}, {L"b.txt", "kept"}});
  WriteTree(temp / L"two", {{L"a.txt", "second"}, {L"c.csv", "new"}});
  ASSERT_EQ(0, Add(temp / L"pkg.zip", temp / L"one\\a.txt " + temp / L"one\\b.txt"));
  ASSERT_EQ(0, Add(temp / L"pkg.zip", temp / L"two\\*"));
  ASSERT_EQ(0, Extract(temp / L"pkg.zip", temp / L"dest"));
  Tree expected = {{L"a.txt", "second"}, {L"b.txt", "kept"}, {L"c.csv", "new"}};
  EXPECT_EQ(expected, ReadTree(temp / L"dest"));
}

TEST_F(RoundTrip, ExtractionOverwritesEarlierFilesEvenReadOnlyOnes) {
  WriteTree(temp / L"src", {{L"a.txt", "new"}});
  ASSERT_EQ(0, Add(temp / L"pkg.zip", temp / L"src\\a.txt"));
  WriteTree(temp / L"dest", {{L"a.txt", "old contents"}});
  SetFileAttributesW((temp / L"dest\\a.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  ASSERT_EQ(0, Extract(temp / L"pkg.zip", temp / L"dest"));
  EXPECT_EQ("new", testing_support::ReadFileBytes(temp / L"dest\\a.txt"));
  SetFileAttributesW((temp / L"dest\\a.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(RoundTrip, AMissingInputOrABadCommandFailsWithAMessageAndWritesNoArchive) {
  std::string message;
  EXPECT_NE(0, Add(temp / L"pkg.zip", temp / L"nothing-here.txt", &message));
  EXPECT_EQ(0u, message.find("Error: not found")) << message;
  EXPECT_FALSE(Exists(temp / L"pkg.zip"));
  EXPECT_TRUE(ListAll(temp.Path()).empty());
  EXPECT_NE(0, dll.Run(L"q \"" + temp / L"pkg.zip\"", &message));
  EXPECT_NE(0, dll.Run(L"-hide -zz x \"" + temp / L"pkg.zip\"", &message));
  EXPECT_NE(std::string::npos, message.find("-zz")) << message;
  EXPECT_NE(0, dll.Run(L"", &message));

  // The message never runs past the buffer it is given.
  char small[8];
  std::memset(small, '#', sizeof small);
  EXPECT_NE(0, dll.RunAnsi("q", small, 6));
  EXPECT_EQ('\0', small[5]);
  EXPECT_EQ('#', small[6]);
  EXPECT_NE(0, dll.RunAnsi("q", nullptr, 0));
}

}  // namespace
}  // namespace sevenzip_test
