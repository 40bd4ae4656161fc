// Archives that Debian's zip and Python's zipfile wrote, deflated and stored.
#include <gtest/gtest.h>

#include "SevenZipTestSupport.h"
#include "TempDir.h"

namespace sevenzip_test {
namespace {

using testing_support::TempDir;

std::string Repeat(const std::string& line, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += line;
  return out;
}

Tree ExpectedTree() {
  std::string bytes;
  for (int i = 0; i < 16; ++i)
    for (int b = 0; b < 256; ++b) bytes.push_back(char(b));
  return {{L"readme.txt", Repeat("plain ascii text\n", 100)},
          {L"bytes.bin", bytes},
          {L"empty\\", ""},
          {L"日本語\\", ""},
          {L"日本語\\空\\", ""},
          {L"日本語\\テスト.txt", Repeat(Utf8(L"こんにちは") + "\n", 50)}};
}

class ForeignArchive : public ::testing::TestWithParam<const wchar_t*> {};

TEST_P(ForeignArchive, UnpacksWithNamesContentsAndTimes) {
  SevenZipDll dll;
  ASSERT_TRUE(dll.Loaded());
  TempDir temp(L"7zf");
  testing_support::WriteFileBytes(temp / L"pkg.zip", Fixture(GetParam()));
  EXPECT_TRUE(dll.Check(temp / L"pkg.zip", 2));
  std::string message;
  ASSERT_EQ(0, dll.Run(L"-hide x \"" + temp / L"pkg.zip\" -o\"" + temp / L"out dir\\\"", &message))
      << message;
  EXPECT_EQ(ExpectedTree(), ReadTree(temp / L"out dir"));

  WIN32_FILE_ATTRIBUTE_DATA data{};
  ASSERT_TRUE(GetFileAttributesExW((temp / L"out dir\\readme.txt").c_str(),
                                   GetFileExInfoStandard, &data));
  SYSTEMTIME written{};
  FileTimeToSystemTime(&data.ftLastWriteTime, &written);
  EXPECT_EQ(2021, written.wYear);
  EXPECT_EQ(6, written.wMonth);
  EXPECT_EQ(15, written.wDay);
  EXPECT_EQ(12, written.wHour);
  EXPECT_EQ(34, written.wMinute);
  EXPECT_EQ(56, written.wSecond);
}

INSTANTIATE_TEST_SUITE_P(Makers, ForeignArchive,
                         ::testing::Values(L"DEBIAN_DEFLATE", L"DEBIAN_STORE", L"PYTHON_DEFLATE",
                                           L"PYTHON_STORE"),
                         [](const auto& info) {
                           std::wstring w = info.param;
                           return std::string(w.begin(), w.end());
                         });

TEST(ForeignNames, ShiftJisNamesFromWindowsAndFlaggedUtf8NamesBothUnpack) {
  SevenZipDll dll;
  ASSERT_TRUE(dll.Loaded());
  TempDir temp(L"7zn");
  ArchiveBuilder builder;
  builder.AddFile(Ansi(L"フォルダ/ソフト表.txt"), "sjis");
  ArchiveBuilder::Entry flagged;
  flagged.name = Utf8(L"フォルダ/ユニコード한.txt");
  flagged.data = "utf8";
  flagged.flags = 0x0800;
  builder.Add(flagged);
  builder.Write(temp / L"pkg.zip");
  ASSERT_EQ(0, dll.Run(L"x \"" + temp / L"pkg.zip\" -o\"" + temp / L"out\\\""));
  Tree expected = {{L"フォルダ\\", ""},
                   {L"フォルダ\\ソフト表.txt", "sjis"},
                   {L"フォルダ\\ユニコード한.txt", "utf8"}};
  EXPECT_EQ(expected, ReadTree(temp / L"out"));
}

}  // namespace
}  // namespace sevenzip_test
