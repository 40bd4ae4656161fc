// Uploads and the single server-file commands against the test server.
#include "FileSystem.h"
#include "FtpClientFixture.h"

namespace testing_support {
namespace {

class UploadTest : public FtpClientTest {
 protected:
  static void SetUpTestSuite() {
    StartServer([](const std::wstring& root) {
      PutFile(root, L"up\\exists.txt", "server");
      PutFile(root, L"up\\a.txt.old", "old");
      PutFolder(root, L"ops\\full");
      PutFile(root, L"ops\\full\\f.txt", "f");
      PutFile(root, L"ops\\gone.txt", "g");
      PutFile(root, L"ops\\from.txt", "r");
      PutFolder(root, L"flat");
      PutFolder(root, L"tree");
    });
  }

  void SetUp() override {
    FtpClientTest::SetUp();
    ftp_->OLErrorRetryWaitTime(0);
  }

  std::wstring OnServer(const std::wstring& relative) const {
    return ServerRoot() + L"\\" + relative;
  }

  bool ConnectMain() {
    int32_t code = 0;
    return Connect(*ftp_, code);
  }

  int32_t code_ = -5;
  int32_t sent_ = -5;
  int32_t skipped_ = -5;
};

TEST_F(UploadTest, PutHonoursExistingFilesByTheirExactName) {
  ASSERT_TRUE(ConnectMain());
  const std::wstring file = *local_ / L"exists.txt";
  WriteFileBytes(file, "local");

  EXPECT_TRUE(ftp_->FtpPut(L"/up", file, L"exists.txt", false, code_));
  EXPECT_EQ(code_, -1);
  EXPECT_EQ(ReadFileBytes(OnServer(L"up\\exists.txt")), "server");

  EXPECT_TRUE(ftp_->FtpPut(L"/up", file, L"exists.txt", true, code_)) << code_;
  EXPECT_EQ(code_, 0);
  EXPECT_EQ(ReadFileBytes(OnServer(L"up\\exists.txt")), "local");

  // "a.txt.old" on the server does not hold "a.txt" back.
  EXPECT_TRUE(ftp_->FtpPut(L"/up", file, L"a.txt", false, code_)) << code_;
  EXPECT_EQ(code_, 0);
  EXPECT_EQ(ReadFileBytes(OnServer(L"up\\a.txt")), "local");
  EXPECT_EQ(ReadFileBytes(OnServer(L"up\\a.txt.old")), "old");

  EXPECT_FALSE(ftp_->FtpPut(L"/up", *local_ / L"missing.txt", L"m.txt", true, code_));
  EXPECT_EQ(code_, 0);
  // A folder with files in it is no file to send, and no success either.
  EXPECT_FALSE(ftp_->ftp_FileSend(local_->Path() + L"\\", L"/up", true, code_));
  EXPECT_EQ(code_, -1);
  EXPECT_FALSE(ftp_->FtpPut(L"/nowhere", file, L"x.txt", true, code_));
  EXPECT_NE(code_, 0);
}

TEST_F(UploadTest, FileSendConnectsSendsAndDisconnects) {
  const std::wstring file = *local_ / L"送信.txt";
  WriteFileBytes(file, "日本語");
  ASSERT_TRUE(ftp_->ftp_FileSend(file, L"/up", true, code_)) << code_;
  EXPECT_EQ(ReadFileBytes(OnServer(L"up\\送信.txt")), "日本語");
  EXPECT_FALSE(ftp_->IsConnect());
  EXPECT_EQ(display_->Count(L"[" + file + L"]を送信しています..."), 1);

  ftp_->OLErrorRetryMaxCount(0);
  ftp_->PortNo(static_cast<int16_t>(UnusedLocalPort()));
  EXPECT_FALSE(ftp_->ftp_FileSend(file, L"/up", true, code_));
  EXPECT_NE(code_, 0);
  EXPECT_FALSE(ftp_->IsConnect());
}

TEST_F(UploadTest, SendFilesSkipsSameNameAndSize) {
  const std::wstring folder = *local_ / L"files";
  PutFile(folder, L"same.txt", "12345");
  PutFile(folder, L"differ.txt", "123");
  PutFile(folder, L"new.txt", "n");
  PutFile(folder, L"other.log", "l");
  PutFile(ServerRoot(), L"sf\\SAME.TXT", "abcde");
  PutFile(ServerRoot(), L"sf\\differ.txt", "abcdef");

  ASSERT_TRUE(ftp_->Ftp_SendFiles(folder, L"*.txt", L"/sf", true, true, code_, L"", L"", L"",
                                  sent_))
      << code_;
  EXPECT_EQ(sent_, 2);
  EXPECT_EQ(ReadFileBytes(OnServer(L"sf\\SAME.TXT")), "abcde");
  EXPECT_EQ(ReadFileBytes(OnServer(L"sf\\differ.txt")), "123");
  EXPECT_EQ(ReadFileBytes(OnServer(L"sf\\new.txt")), "n");
  EXPECT_FALSE(norvale::FileExists(OnServer(L"sf\\other.log")));
  EXPECT_FALSE(ftp_->IsConnect());

  EXPECT_TRUE(ftp_->Ftp_SendFiles(folder, L"*.none", L"/sf", true, true, code_, L"", L"", L"",
                                  sent_));
  EXPECT_EQ(sent_, 0);
}

TEST_F(UploadTest, SendFolderBuildsTheTreeOnTheServer) {
  const std::wstring folder = *local_ / L"tree";
  PutFile(folder, L"top.txt", "t");
  PutFile(folder, L"sub\\deep\\d.txt", "d");
  PutFolder(folder, L"empty");

  ASSERT_TRUE(ftp_->Ftp_SendFolder(folder, L"/flat", true, false, false, code_, L"", L"", L"",
                                   sent_, skipped_))
      << code_;
  EXPECT_EQ(sent_, 1);
  EXPECT_TRUE(norvale::FileExists(OnServer(L"flat\\top.txt")));
  EXPECT_FALSE(norvale::FolderExists(OnServer(L"flat\\sub")));

  ASSERT_TRUE(ftp_->Ftp_SendFolder(folder + L"\\", L"/tree", true, false, true, code_,
                                   Server().Host(), Server().User(), Server().Password(), sent_,
                                   skipped_))
      << code_;
  EXPECT_EQ(sent_, 2);
  EXPECT_EQ(skipped_, 0);
  EXPECT_EQ(ReadFileBytes(OnServer(L"tree\\sub\\deep\\d.txt")), "d");
  EXPECT_TRUE(norvale::FolderExists(OnServer(L"tree\\empty")));

  // Again with the skip: every file is already there.
  ASSERT_TRUE(ftp_->Ftp_SendFolder(folder, L"/tree", true, true, true, code_, L"", L"", L"",
                                   sent_, skipped_))
      << code_;
  EXPECT_EQ(sent_, 0);
  EXPECT_EQ(skipped_, 2);

  skipped_ = 77;
  const std::wstring empty = *local_ / L"nothing";
  CreateDirectoryW(empty.c_str(), nullptr);
  EXPECT_TRUE(ftp_->Ftp_SendFolder(empty, L"/x", true, false, true, code_, L"", L"", L"", sent_,
                                   skipped_));
  EXPECT_EQ(sent_, 0);
  EXPECT_EQ(skipped_, 77);
  EXPECT_FALSE(norvale::FolderExists(OnServer(L"x")));
}

TEST_F(UploadTest, ServerFileCommands) {
  ASSERT_TRUE(ConnectMain());
  EXPECT_TRUE(ftp_->FtpMakeDir(L"/ops/新しい", code_)) << code_;
  EXPECT_TRUE(norvale::FolderExists(OnServer(L"ops\\新しい")));
  EXPECT_FALSE(ftp_->FtpMakeDir(L"/ops/新しい", code_));
  EXPECT_NE(code_, 0);

  ASSERT_TRUE(ftp_->FtpSetDir(L"/ops", code_));
  EXPECT_TRUE(ftp_->FtpFileRename(L"from.txt", L"to.txt", code_)) << code_;
  EXPECT_EQ(ReadFileBytes(OnServer(L"ops\\to.txt")), "r");
  EXPECT_FALSE(ftp_->FtpFileRename(L"from.txt", L"again.txt", code_));
  EXPECT_NE(code_, 0);

  EXPECT_TRUE(ftp_->FtpDelFile(L"gone.txt", code_)) << code_;
  EXPECT_FALSE(norvale::FileExists(OnServer(L"ops\\gone.txt")));
  EXPECT_FALSE(ftp_->FtpDelFile(L"gone.txt", code_));
  EXPECT_NE(code_, 0);

  EXPECT_FALSE(ftp_->FtpDelDir(L"full", code_));
  EXPECT_NE(code_, 0);
  EXPECT_TRUE(ftp_->FtpDelDir(L"/ops/新しい", code_)) << code_;
  EXPECT_FALSE(norvale::FolderExists(OnServer(L"ops\\新しい")));

  int32_t code = 0;
  ftp_->InetDisConnect(code);
  EXPECT_FALSE(ftp_->FtpDelFile(L"to.txt", code_));
  EXPECT_NE(code_, 0);
}

}  // namespace
}  // namespace testing_support
