// Damaged, truncated, escaping and inflating archives: each one fails with a
// non-zero answer and leaves no file that looks good but is not.
#include <gtest/gtest.h>

#include "SevenZipTestSupport.h"
#include "TempDir.h"

namespace sevenzip_test {
namespace {

using testing_support::TempDir;

class HostileArchive : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dll.Loaded()); }
  int Extract(const ArchiveBuilder& builder, std::string* message = nullptr) {
    builder.Write(temp / L"pkg.zip");
    return ExtractFile(message);
  }
  int ExtractFile(std::string* message = nullptr) {
    return dll.Run(L"-hide x \"" + temp / L"pkg.zip\" -o\"" + temp / L"out\\\"", message);
  }
  std::vector<std::wstring> Written() { return ListAll(temp / L"out"); }
  SevenZipDll dll;
  TempDir temp{L"7zh"};
};

TEST_F(HostileArchive, AnEntryThatWouldLeaveTheOutputFolderRefusesTheWholeArchive) {
  const char* names[] = {"../evil.txt", "..\\evil.txt", "a/../../evil.txt", "/abs.txt",
                         "\\abs.txt",   "C:/evil.txt",  "C:evil.txt",       "a/. ./evil.txt",
                         "a/.../evil.txt", "ok/..",     "a/b:stream",       "a//\\..\\evil"};
  for (const char* name : names) {
    SCOPED_TRACE(name);
    ArchiveBuilder builder;
    builder.AddFile("good.txt", "fine");
    builder.AddFile(name, "escaped");
    std::string message;
    EXPECT_NE(0, Extract(builder, &message));
    EXPECT_NE(std::string::npos, message.find("unsafe")) << message;
    EXPECT_TRUE(Written().empty());
    EXPECT_FALSE(Exists(temp / L"evil.txt"));
    EXPECT_FALSE(dll.Check(temp / L"pkg.zip", 2));
  }
}

TEST_F(HostileArchive, ACrcMismatchFailsAndLeavesNoFileOfThatEntry) {
  ArchiveBuilder builder;
  builder.AddFile("first.txt", "fine");
  ArchiveBuilder::Entry bad;
  bad.name = "second.txt";
  bad.data = std::string(100000, 'z');
  bad.deflate = true;
  bad.declaredCrc = 0x12345678;
  builder.Add(bad);
  std::string message;
  EXPECT_NE(0, Extract(builder, &message));
  EXPECT_NE(std::string::npos, message.find("CRC")) << message;
  // The good entry before it stays; the bad one and its temporary file do not.
  EXPECT_EQ(std::vector<std::wstring>{L"first.txt"}, Written());
  // The layout is sound, only the full check sees the damage.
  EXPECT_TRUE(dll.Check(temp / L"pkg.zip", 0));
  EXPECT_FALSE(dll.Check(temp / L"pkg.zip", 2));
}

TEST_F(HostileArchive, DamagedDeflateDataFailsAndLeavesNothing) {
  ArchiveBuilder builder;
  builder.AddFile("data.txt", std::string(200000, 'q') + std::string(200000, 'r'));
  std::string bytes = builder.Bytes();
  for (size_t i = 60; i < 90; ++i) bytes[i] = char(0xFF);
  testing_support::WriteFileBytes(temp / L"pkg.zip", bytes);
  EXPECT_NE(0, ExtractFile());
  EXPECT_TRUE(Written().empty());
  EXPECT_FALSE(dll.Check(temp / L"pkg.zip", 2));
}

TEST_F(HostileArchive, TruncatedArchivesAndOtherFilesAreRefused) {
  ArchiveBuilder builder;
  builder.AddFile("a.txt", std::string(50000, 'a'));
  builder.AddFile("b.txt", std::string(50000, 'b'), false);
  std::string whole = builder.Bytes();
  for (size_t keep : {size_t(0), size_t(10), whole.size() / 2, whole.size() - 1}) {
    SCOPED_TRACE(keep);
    testing_support::WriteFileBytes(temp / L"pkg.zip", whole.substr(0, keep));
    EXPECT_NE(0, ExtractFile());
    EXPECT_TRUE(Written().empty());
    EXPECT_FALSE(dll.Check(temp / L"pkg.zip", 2));
  }
  // The end record is intact but an entry's data is cut out from under it.
  std::string hollow = whole;
  hollow.erase(100, 1000);
  testing_support::WriteFileBytes(temp / L"pkg.zip", hollow);
  EXPECT_NE(0, ExtractFile());
  EXPECT_TRUE(Written().empty());

  std::string message;
  DeleteFileW((temp / L"pkg.zip").c_str());
  EXPECT_NE(0, ExtractFile(&message));
  EXPECT_NE(std::string::npos, message.find("not found")) << message;
  EXPECT_FALSE(dll.Check(temp / L"pkg.zip", 2));
}

TEST_F(HostileArchive, AnEntryInflatingBeyondItsRecordedSizeStopsThere) {
  ArchiveBuilder builder;
  ArchiveBuilder::Entry bomb;
  bomb.name = "bomb.bin";
  bomb.data = std::string(20 * 1024 * 1024, '\0');
  bomb.deflate = true;
  bomb.declaredSize = 1000;
  builder.Add(bomb);
  std::string message;
  EXPECT_NE(0, Extract(builder, &message));
  EXPECT_NE(std::string::npos, message.find("beyond")) << message;
  EXPECT_TRUE(Written().empty());
  EXPECT_FALSE(dll.Check(temp / L"pkg.zip", 2));
}

TEST_F(HostileArchive, AnArchiveRecordingMoreThanTwoGigabytesIsRefusedBeforeWriting) {
  ArchiveBuilder builder;
  builder.AddFile("good.txt", "fine");
  for (int i = 0; i < 3; ++i) {
    ArchiveBuilder::Entry huge;
    huge.name = "huge" + std::to_string(i) + ".bin";
    huge.data = std::string(1000, '\0');
    huge.deflate = true;
    huge.declaredSize = 0x30000000;
    builder.Add(huge);
  }
  std::string message;
  EXPECT_NE(0, Extract(builder, &message));
  EXPECT_NE(std::string::npos, message.find("2 GiB")) << message;
  EXPECT_TRUE(Written().empty());
}

TEST_F(HostileArchive, EncryptedEntriesAndUnknownMethodsAreRefused) {
  ArchiveBuilder builder;
  ArchiveBuilder::Entry locked;
  locked.name = "locked.txt";
  locked.data = "secret";
  locked.flags = 0x0001;
  builder.Add(locked);
  EXPECT_NE(0, Extract(builder));
  EXPECT_TRUE(Written().empty());

  std::string bytes;
  {
    ArchiveBuilder plain;
    plain.AddFile("x.txt", "abc", false);
    bytes = plain.Bytes();
  }
  // Method 14 (LZMA) in the local and the central header.
  bytes[8] = 14;
  bytes[bytes.find("PK\x01\x02") + 10] = 14;
  testing_support::WriteFileBytes(temp / L"pkg.zip", bytes);
  std::string message;
  EXPECT_NE(0, ExtractFile(&message));
  EXPECT_NE(std::string::npos, message.find("method")) << message;
}

TEST_F(HostileArchive, AnEmptyArchiveAndOneWithATrailingCommentAreSound) {
  EXPECT_EQ(0, Extract(ArchiveBuilder{}));
  EXPECT_TRUE(Written().empty());
  EXPECT_TRUE(dll.Check(temp / L"pkg.zip", 2));

  ArchiveBuilder builder;
  builder.AddFile("a.txt", "with comment");
  std::string bytes = builder.Bytes();
  std::string comment = "made for a test; PK\x05\x06 inside a comment misleads nothing";
  bytes[bytes.size() - 2] = char(comment.size());
  testing_support::WriteFileBytes(temp / L"pkg.zip", bytes + comment);
  std::string message;
  EXPECT_EQ(0, ExtractFile(&message)) << message;
  EXPECT_EQ("with comment", testing_support::ReadFileBytes(temp / L"out\\a.txt"));
}

}  // namespace
}  // namespace sevenzip_test
