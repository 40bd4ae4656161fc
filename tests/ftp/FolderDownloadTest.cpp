// Folder downloads against the test server: trees, the stop question,
// server faults, hostile names, files in use and the local clean-up.
#include "DeleteGuard.h"
#include "FileSystem.h"
#include "FileActs.h"
#include "FtpClientFixture.h"
#include "InstallTree.h"
#include "LocalPathGuard.h"
#include "System.h"
#include "Text.h"

namespace testing_support {
namespace {

const std::string& TopBytes() {
  static const std::string bytes = PatternBytes(3000, 11);
  return bytes;
}

const std::string& BigBytes() {
  static const std::string bytes = PatternBytes(1024 * 1024, 12);
  return bytes;
}

// Files and folders directly in a folder.
int FolderEntryCount(const std::wstring& folder) {
  int count = 0;
  WIN32_FIND_DATAW data{};
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return 0;
  do {
    const std::wstring name = data.cFileName;
    if (name != L"." && name != L"..") ++count;
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return count;
}

class FolderDownloadTest : public FtpClientTest {
 protected:
  static void SetUpTestSuite() {
    StartServer([](const std::wstring& root) {
      PutFile(root, L"pkg\\top.txt", TopBytes());
      PutFile(root, L"pkg\\sub\\深い.txt", "deep");
      PutFile(root, L"pkg\\sub\\more\\m.bin", PatternBytes(5000, 13));
      PutFile(root, L"pkg\\日本語\\ファイル.txt", "日本語の中身");
      PutFolder(root, L"pkg\\空");
      for (const wchar_t* file : {L"pkg\\top.txt", L"pkg\\sub\\深い.txt", L"pkg\\sub\\more\\m.bin",
                                  L"pkg\\日本語\\ファイル.txt"}) {
        SetLocalTime(root + L"\\" + file, ListedFixtureTime());
      }
      PutFile(root, L"flat\\a.txt", "aaa");
      PutFile(root, L"flat\\b.txt", "bbb");
      PutFile(root, L"big\\big.bin", BigBytes());
    });
  }

  void SetUp() override {
    FtpClientTest::SetUp();
    ftp_->OLErrorRetryWaitTime(0);
    target_ = *local_ / L"target";
  }

  // The installer's call for a folder entry, with the clean-up switch.
  bool GetFolder(const std::wstring& serverFolder, bool deleteOthers = false) {
    return Get(serverFolder, L"", 0, target_, true, false, deleteOthers);
  }

  bool Get(const std::wstring& serverFolder, const std::wstring& pattern, int32_t mode,
           const std::wstring& local, bool overwrite = true, bool skipSame = false,
           bool deleteOthers = false) {
    code_ = -5;
    return ftp_->Ftp_GetFolder(serverFolder, pattern, mode, local, code_, L"", L"", L"", true,
                               overwrite, skipSame, true, deleteOthers, deleted_, last_, true);
  }

  int Retrievals() const { return Server().Stat("retr"); }

  norvale::OleDate WriteTime(const std::wstring& path) const {
    const auto file = norvale::QueryFile(path);
    return file ? norvale::OleDate::FromFileTimeUtc(file->lastWrite).value() : norvale::OleDate();
  }

  // A tree over root, opened as the installer opens its install folder.
  std::shared_ptr<norvale::InstallTree> TreeAt(const std::wstring& root) {
    auto held = norvale::OpenFolderFromRoot(
        root, FILE_TRAVERSE | FILE_LIST_DIRECTORY | FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY);
    if (!held) return nullptr;
    return std::make_shared<norvale::InstallTree>(std::move(held->handle), held->path, true);
  }

  int32_t code_ = 0;
  int32_t deleted_ = -5;
  std::wstring last_;
  std::wstring target_;
};

// Below an install folder every file arrives through the install's tree:
// made in its folder, opened from the install folder one part at a time,
// and put in its place through that folder's handle, as by name before.
TEST_F(FolderDownloadTest, ThroughAnInstallTreeATreeArrivesAsByName) {
  const auto tree = TreeAt(local_->Path());
  ASSERT_TRUE(tree);
  ftp_->WriteTree(tree);
  ASSERT_TRUE(GetFolder(L"/pkg")) << code_;
  EXPECT_EQ(ReadFileBytes(target_ + L"\\top.txt"), TopBytes());
  EXPECT_EQ(ReadFileBytes(target_ + L"\\sub\\more\\m.bin"), PatternBytes(5000, 13));
  EXPECT_EQ(ReadFileBytes(target_ + L"\\日本語\\ファイル.txt"), "日本語の中身");
  EXPECT_TRUE(norvale::FolderExists(target_ + L"\\空"));
  EXPECT_EQ(WriteTime(target_ + L"\\sub\\more\\m.bin"), ListedFixtureDate());
  EXPECT_EQ(ftp_->DownloadedFilesCount(), 4);
  EXPECT_TRUE(ftp_->DownloadedFilesVerify());
  EXPECT_TRUE(tree->StillMadeHere(target_ + L"\\sub\\more"));
  // An update replaces what is there.
  WriteFileBytes(target_ + L"\\top.txt", "old");
  ASSERT_TRUE(Get(L"/pkg", L"top.txt", 2, target_)) << code_;
  EXPECT_EQ(ReadFileBytes(target_ + L"\\top.txt"), TopBytes());
  EXPECT_EQ(FolderEntryCount(target_), 4) << "no part file is left";
}

// Below the install folder as by name: a folder that cannot be made (a
// file holds its name) ends the download with the box and the stop code,
// before any of its files is asked for, and without a retry.
TEST_F(FolderDownloadTest, ThroughAnInstallTreeAFolderThatCannotBeMadeEndsAsByName) {
  const auto tree = TreeAt(local_->Path());
  ASSERT_TRUE(tree);
  ftp_->WriteTree(tree);
  CreateDirectoryW(target_.c_str(), nullptr);
  WriteFileBytes(target_ + L"\\sub", "a file where a folder goes");
  ftp_->OLErrorRetryMaxCount(3);
  const int before = Retrievals();
  EXPECT_FALSE(GetFolder(L"/pkg"));
  EXPECT_EQ(code_, -999);
  ASSERT_EQ(box_->Asked().size(), 1u);
  EXPECT_EQ(box_->Asked()[0].title, L"フォルダを作成できませんでした！");
  EXPECT_EQ(box_->Asked()[0].text, L"インストール先のデレクトリ作成に失敗しました！");
  EXPECT_EQ(box_->Asked()[0].style, static_cast<unsigned>(MB_ICONERROR | MB_SYSTEMMODAL));
  EXPECT_LE(Retrievals() - before, 1) << "the file before the folder only";
  EXPECT_EQ(ReadFileBytes(target_ + L"\\sub"), "a file where a folder goes");
}

// A folder below the install folder that is a link (made on the host,
// tests/support/make-host-links.sh: Wine makes none) is never written
// through: that file fails with a code of its own, and the folder the link
// leads to stays as it was.
TEST_F(FolderDownloadTest, ThroughAnInstallTreeALinkOnTheWayFailsTheFile) {
  const std::wstring links = L"C:\\norvale-ftp-links";
  ASSERT_TRUE(norvale::FolderExists(links + L"\\outside")) << "the host's links are missing";
  const auto tree = TreeAt(links);
  ASSERT_TRUE(tree);
  ftp_->WriteTree(tree);
  const int before = FolderEntryCount(links + L"\\outside");
  EXPECT_FALSE(Get(L"/pkg", L"", 0, links + L"\\linked\\pkg"));
  EXPECT_EQ(code_, kFtpUnsafeFolder);
  EXPECT_FALSE(Get(L"/pkg", L"top.txt", 2, links + L"\\linked"));
  EXPECT_EQ(code_, kFtpUnsafeFolder);
  EXPECT_EQ(FolderEntryCount(links + L"\\outside"), before);
  EXPECT_NE(ftp_->GetErrMsg(kFtpUnsafeFolder), L"不明エラー");
}

// A folder the download made, renamed away and replaced by another one
// (another user's, between two files), is not the one the run made there:
// nothing goes into its replacement.
TEST_F(FolderDownloadTest, ThroughAnInstallTreeAFolderSwappedMeanwhileReceivesNothing) {
  const auto tree = TreeAt(local_->Path());
  ASSERT_TRUE(tree);
  ftp_->WriteTree(tree);
  ASSERT_TRUE(GetFolder(L"/pkg")) << code_;
  const std::wstring sub = target_ + L"\\sub";
  bool swapped = false;
  ftp_->BeforeWriting([&](const std::wstring& path) {
    if (swapped || path.find(L"\\sub\\") == std::wstring::npos) return;
    swapped = MoveFileW(sub.c_str(), (sub + L".parked").c_str()) &&
              CreateDirectoryW(sub.c_str(), nullptr);
  });
  EXPECT_FALSE(GetFolder(L"/pkg"));
  EXPECT_TRUE(swapped);
  EXPECT_EQ(code_, kFtpUnsafeFolder);
  EXPECT_EQ(FolderEntryCount(sub), 0);
  ftp_->BeforeWriting(nullptr);
}

TEST_F(FolderDownloadTest, TreeArrivesWhole) {
  // Blanks and a trailing separator name the same folder.
  ASSERT_TRUE(Get(L"/pkg", L"", 0, L"  " + target_ + L"\\ ")) << code_;
  EXPECT_EQ(code_, 0);
  EXPECT_EQ(deleted_, 0);
  EXPECT_EQ(ReadFileBytes(target_ + L"\\top.txt"), TopBytes());
  EXPECT_EQ(ReadFileBytes(target_ + L"\\sub\\深い.txt"), "deep");
  EXPECT_EQ(ReadFileBytes(target_ + L"\\sub\\more\\m.bin"), PatternBytes(5000, 13));
  EXPECT_EQ(ReadFileBytes(target_ + L"\\日本語\\ファイル.txt"), "日本語の中身");
  EXPECT_TRUE(norvale::FolderExists(target_ + L"\\空"));
  EXPECT_EQ(WriteTime(target_ + L"\\sub\\more\\m.bin"), ListedFixtureDate());
  EXPECT_EQ(WriteTime(target_ + L"\\top.txt"), ListedFixtureDate());
  EXPECT_FALSE(last_.empty());
  EXPECT_EQ(ftp_->DownloadedFilesCount(), 4);
  EXPECT_TRUE(ftp_->DownloadedFilesVerify());
  EXPECT_FALSE(ftp_->IsConnect());
  EXPECT_EQ(ftp_->StopFlag(), 0);

  // Identical copies are skipped when asked.
  const int before = Retrievals();
  ASSERT_TRUE(Get(L"/pkg", L"", 0, target_, true, true)) << code_;
  EXPECT_EQ(Retrievals(), before);

  // Without overwrite an existing file fails the run with the system's code.
  ftp_->OLErrorRetryMaxCount(0);
  EXPECT_FALSE(Get(L"/pkg", L"top.txt", 2, target_, false));
  EXPECT_EQ(code_, ERROR_FILE_EXISTS);
}

TEST_F(FolderDownloadTest, SingleFilesEmptyAndMissingOnes) {
  ASSERT_TRUE(Get(L"/pkg", L"top.txt", 2, target_)) << code_;
  EXPECT_EQ(last_, target_ + L"\\top.txt");
  EXPECT_FALSE(norvale::FolderExists(target_ + L"\\sub"));

  EXPECT_FALSE(Get(L"/pkg", L"none.txt", 2, target_));
  EXPECT_EQ(code_, kFtpFileNotFound);

  EXPECT_TRUE(Get(L"/pkg/空", L"", 0, *local_ / L"e\\f"));
  EXPECT_EQ(code_, 0);
  EXPECT_TRUE(norvale::FolderExists(*local_ / L"e\\f"));

  EXPECT_FALSE(Get(L"/pkg", L"", 0, L"   "));
  EXPECT_EQ(code_, 0);
}

TEST_F(FolderDownloadTest, StopQuestionYesEndsNoRepeatsTheLastFile) {
  ClsWinFTP* client = ftp_.get();
  bool asked = false;
  // Cancel clicked once the first file is in.
  pump_->hook = [client, &asked](int) {
    if (!asked && client->DownloadedFilesCount() == 1) {
      asked = true;
      client->StopFlag(kFtpStopped);
    }
  };
  box_->Answer(IDYES);
  EXPECT_FALSE(GetFolder(L"/flat"));
  EXPECT_EQ(code_, kFtpStopped);
  EXPECT_EQ(ftp_->DownloadedFilesCount(), 1);
  EXPECT_EQ(ftp_->StopFlag(), 0);
  ASSERT_EQ(box_->Asked().size(), 1u);
  EXPECT_EQ(box_->Asked()[0].title, L"FTP:ダウンロードを中止しますか？");
  EXPECT_EQ(box_->Asked()[0].style, static_cast<unsigned>(MB_YESNO | MB_ICONINFORMATION |
                                                          MB_DEFBUTTON2));
  EXPECT_EQ(box_->Asked()[0].text,
            L"★ファイルのダウンロードを中止しますか？\r\n\r\nダウンロード中止する場合は「はい」"
            L"を、\r\n続行する場合は「いいえ」をクリックして下さい。");

  asked = false;
  ftp_->DownloadedFilesClear();
  box_->Clear();
  box_->Answer(IDNO);
  const int before = Retrievals();
  ASSERT_TRUE(GetFolder(L"/flat")) << code_;
  EXPECT_EQ(box_->Asked().size(), 1u);
  EXPECT_EQ(Retrievals() - before, 3);
  EXPECT_EQ(ftp_->StopFlag(), 0);
  EXPECT_EQ(ReadFileBytes(target_ + L"\\b.txt"), "bbb");
}

// The wizard's Cancel, run from inside a WinINet status callback: the stop
// flag and the root's close, at the n-th callback of a download.
struct CancelAtCallback {
  ClsWinFTP* client = nullptr;
  int at = 0;
  int calls = 0;
};
CancelAtCallback* cancelPlan = nullptr;

void CALLBACK CancellingStatusCallback(HINTERNET, DWORD_PTR context, DWORD, LPVOID, DWORD) {
  if (cancelPlan == nullptr || context != 1) return;
  if (++cancelPlan->calls == cancelPlan->at) {
    cancelPlan->client->StopFlag(kFtpStopped);
    cancelPlan->client->InetClose();
  }
}

// The installer downloads with ASYNC on and its callback set. A Cancel at
// any callback (connect, login, listing, each transfer) ends in the stop
// code, or, when the user chooses to go on, in the whole folder, byte-exact.
TEST_F(FolderDownloadTest, CancelInsideAnyStatusCallbackStopsOrGoesOnCleanly) {
  CancelAtCallback plan;
  cancelPlan = &plan;
  struct Reset {
    ~Reset() { cancelPlan = nullptr; }
  } reset;
  auto run = [&](int at, int answer) {
    ftp_ = NewClient();
    ftp_->OLErrorRetryWaitTime(0);
    ftp_->ASYNC(true);
    ftp_->CallBackProcPtr(&CancellingStatusCallback);
    plan = CancelAtCallback{ftp_.get(), at, 0};
    box_->Answer(answer);
    RemoveTree(target_);
    // The callback is installed with the first session.
    if (!Connect(*ftp_, code_)) return false;
    return GetFolder(L"/flat");
  };
  ASSERT_TRUE(run(0, IDNO)) << code_;
  const int callbacks = plan.calls;
  ASSERT_GT(callbacks, 10) << "the callback is not called";
  for (int at = 1; at <= callbacks; ++at) {
    for (int answer : {IDYES, IDNO}) {
      const bool ok = run(at, answer);
      const bool asked = !box_->Asked().empty();
      if (!ok) {
        EXPECT_EQ(code_, kFtpStopped) << "cancel at " << at << " answer " << answer;
        EXPECT_FALSE(asked && answer == IDNO) << "cancel at " << at << ": went on yet failed";
        continue;
      }
      EXPECT_EQ(ReadFileBytes(target_ + L"\\a.txt"), "aaa") << "cancel at " << at;
      EXPECT_EQ(ReadFileBytes(target_ + L"\\b.txt"), "bbb") << "cancel at " << at;
    }
  }
}

TEST_F(FolderDownloadTest, StopsDuringListingOrTransfer) {
  ClsWinFTP* client = ftp_.get();
  RecordingDisplay* display = display_.get();
  // Cancel while the sub-folders are being read: no tree passes for whole.
  pump_->hook = [client, display](int) {
    if (!display->texts.empty() &&
        display->texts.back() == L"[/pkg/sub/]のデレクトリ情報を読込んでいます...") {
      client->StopFlag(kFtpStopped);
    }
  };
  const int before = Retrievals();
  EXPECT_FALSE(GetFolder(L"/pkg"));
  EXPECT_EQ(code_, kFtpStopped);
  EXPECT_EQ(Retrievals(), before);

  // A stop already requested lists nothing and leaves the flag.
  pump_->hook = nullptr;
  EXPECT_TRUE(GetFolder(L"/pkg"));
  EXPECT_EQ(code_, 0);
  EXPECT_EQ(ftp_->StopFlag(), kFtpStopped);
  EXPECT_TRUE(norvale::FolderExists(target_));

  // Mid-transfer: the run ends at once, the flag stays, no partial file.
  ftp_->StopFlag(0);
  FtpFaults faults;
  faults.throttleBytesPerSecond = 256 * 1024;
  Server().SetFaults(faults);
  int chunks = 0;
  pump_->hook = [client, display, &chunks](int) {
    if (!display->texts.empty() && display->texts.back() == L"[big.bin]を受信しています..." &&
        ++chunks == 4) {
      client->StopFlag(kFtpStopped);
    }
  };
  EXPECT_FALSE(GetFolder(L"/big"));
  EXPECT_EQ(code_, kFtpStopped);
  EXPECT_EQ(ftp_->StopFlag(), kFtpStopped);
  EXPECT_FALSE(norvale::FileExists(target_ + L"\\big.bin"));
  EXPECT_TRUE(box_->Asked().empty());
}

TEST_F(FolderDownloadTest, ServerFaultsAreRetriedOrFail) {
  // Refused once, then delivered.
  FtpFaults faults;
  faults.failRetr = 1;
  Server().SetFaults(faults);
  int before = Retrievals();
  ASSERT_TRUE(GetFolder(L"/flat")) << code_;
  EXPECT_EQ(Retrievals() - before, 3);
  EXPECT_EQ(ReadFileBytes(target_ + L"\\a.txt"), "aaa");

  // Always cut short: the run fails, nothing short stays or is recorded.
  faults = FtpFaults{};
  faults.truncateRetr = 1;
  Server().SetFaults(faults);
  ftp_->OLErrorRetryMaxCount(1);
  ftp_->DownloadedFilesClear();
  const std::wstring other = *local_ / L"other";
  EXPECT_FALSE(Get(L"/flat", L"", 0, other));
  EXPECT_EQ(code_, kFtpIncompleteTransfer);
  EXPECT_FALSE(norvale::FileExists(other + L"\\a.txt"));
  EXPECT_EQ(ftp_->DownloadedFilesCount(), 0);
  EXPECT_TRUE(last_.empty());
}

TEST_F(FolderDownloadTest, ServerRestartedMidTransferIsReconnected) {
  FtpFaults faults;
  faults.throttleBytesPerSecond = 256 * 1024;
  Server().SetFaults(faults);
  RecordingDisplay* display = display_.get();
  int chunks = 0;
  bool restarted = false;
  pump_->hook = [display, &chunks, &restarted](int) {
    if (!restarted && !display->texts.empty() &&
        display->texts.back() == L"[big.bin]を受信しています..." && ++chunks == 4) {
      restarted = true;
      ASSERT_TRUE(Server().Restart()) << Server().Error();
    }
  };
  ASSERT_TRUE(GetFolder(L"/big")) << code_;
  EXPECT_TRUE(restarted);
  EXPECT_EQ(ReadFileBytes(target_ + L"\\big.bin"), BigBytes());
  // The new server saw a login of its own: the session was opened again.
  EXPECT_GE(Server().Stat("logins"), 1);
}

// A CWD costs a server round trip: the main session enters a folder once,
// not once more for every file in it.
TEST_F(FolderDownloadTest, EachFolderIsEnteredOnceWhateverItsFileCount) {
  int before = Server().Stat("cwd");
  ASSERT_TRUE(GetFolder(L"/flat")) << code_;  // two files
  const int twoFiles = Server().Stat("cwd") - before;
  before = Server().Stat("cwd");
  ASSERT_TRUE(GetFolder(L"/big")) << code_;  // one file
  const int oneFile = Server().Stat("cwd") - before;
  EXPECT_EQ(twoFiles, oneFile);
}

// The server dies mid-file and does not come back: the run fails with the
// reconnect's code, and the product keeps the file it had, with nothing of
// the cut transfer beside it.
TEST_F(FolderDownloadTest, AServerThatDiesMidFileLeavesTheOldFileAlone) {
  PutFile(target_, L"big.bin", "the old version");
  FtpFaults faults;
  faults.throttleBytesPerSecond = 256 * 1024;
  Server().SetFaults(faults);
  ftp_->OLErrorRetryMaxCount(1);
  RecordingDisplay* display = display_.get();
  int chunks = 0;
  pump_->hook = [display, &chunks](int) {
    if (!display->texts.empty() && display->texts.back() == L"[big.bin]を受信しています..." &&
        ++chunks == 4) {
      Server().Stop();
    }
  };
  const bool ok = GetFolder(L"/big");
  pump_->hook = nullptr;
  ASSERT_TRUE(Server().Restart()) << Server().Error();
  EXPECT_FALSE(ok);
  EXPECT_EQ(code_, ERROR_INTERNET_CANNOT_CONNECT);
  EXPECT_EQ(ReadFileBytes(target_ + L"\\big.bin"), "the old version");
  EXPECT_EQ(FolderEntryCount(target_), 1);
}

// A transfer cut short every time: the old file stays as it was.
TEST_F(FolderDownloadTest, AnUpdateCutShortKeepsTheOldFile) {
  PutFile(target_, L"a.txt", "old a");
  FtpFaults faults;
  faults.truncateRetr = 1;
  Server().SetFaults(faults);
  ftp_->OLErrorRetryMaxCount(1);
  EXPECT_FALSE(Get(L"/flat", L"a.txt", 2, target_));
  EXPECT_EQ(code_, kFtpIncompleteTransfer);
  EXPECT_EQ(ReadFileBytes(target_ + L"\\a.txt"), "old a");
  EXPECT_EQ(FolderEntryCount(target_), 1);

  Server().ClearFaults();
  ASSERT_TRUE(Get(L"/flat", L"a.txt", 2, target_)) << code_;
  EXPECT_EQ(ReadFileBytes(target_ + L"\\a.txt"), "aaa");
  EXPECT_EQ(FolderEntryCount(target_), 1);
}

// A folder where a file is to go is removed only once the file has arrived
// whole: a transfer that fails, however, keeps it with all it holds.
// Below an install folder the folder goes through the handle of the folder
// it lies in, as by name elsewhere.
TEST_F(FolderDownloadTest, AFolderInAFilesPlaceGoesOnlyForTheWholeFile) {
  for (const bool inTree : {false, true}) {
    if (inTree) {
      const auto tree = TreeAt(local_->Path());
      ASSERT_TRUE(tree);
      ftp_->WriteTree(tree);
      ASSERT_TRUE(DeleteFileW((target_ + L"\\a.txt").c_str()));
    }
    PutFile(target_, L"a.txt\\mine.txt", "mine");
    PutFile(target_, L"a.txt\\deeper\\more.txt", "more");
    ftp_->OLErrorRetryMaxCount(1);
    FtpFaults cut;
    cut.truncateRetr = 1;
    FtpFaults refused;
    refused.failRetr = 2;
    for (const FtpFaults& faults : {cut, refused}) {
      Server().SetFaults(faults);
      EXPECT_FALSE(Get(L"/flat", L"a.txt", 2, target_));
      EXPECT_NE(code_, 0);
      EXPECT_EQ(ReadFileBytes(target_ + L"\\a.txt\\mine.txt"), "mine");
      EXPECT_EQ(FolderEntryCount(target_), 1);
    }

    Server().ClearFaults();
    ASSERT_TRUE(Get(L"/flat", L"a.txt", 2, target_)) << code_ << (inTree ? " in the tree" : "");
    EXPECT_EQ(ReadFileBytes(target_ + L"\\a.txt"), "aaa");
    EXPECT_EQ(FolderEntryCount(target_), 1);
  }
}

// Updated on the server while its first transfer was cut short: the retry is
// checked against the file as it is then, not as the folder listed it.
TEST_F(FolderDownloadTest, AFileReplacedBetweenAttemptsArrivesInItsNewSize) {
  const std::string longer = PatternBytes(1536 * 1024, 21);
  PutFile(ServerRoot(), L"moving\\update.bin", PatternBytes(1024 * 1024, 20));
  PutFile(ServerRoot(), L"moving\\update.bin.next", longer);
  PutFile(target_, L"update.bin", "the old version");
  FtpFaults faults;
  faults.truncateRetr = 256 * 1024;
  faults.truncateRetrCount = 1;
  faults.replaceAfterRetr = FtpFaults::Replacement{L"update.bin", L"update.bin.next"};
  Server().SetFaults(faults);
  ftp_->OLErrorRetryMaxCount(2);
  const int before = Retrievals();
  ASSERT_TRUE(Get(L"/moving", L"update.bin", 2, target_)) << code_;
  EXPECT_EQ(Retrievals() - before, 2);
  EXPECT_TRUE(ReadFileBytes(target_ + L"\\update.bin") == longer);
  EXPECT_EQ(FolderEntryCount(target_), 1);
  ASSERT_GE(ftp_->DownloadedFilesCount(), 1);
  EXPECT_EQ(ftp_->DownloadedFilesGetFileSize(ftp_->DownloadedFilesCount()),
            static_cast<int32_t>(longer.size()));
}

// A name is a pattern to the listing of a retry as well: Wine reads ";" as
// between two patterns, and a server that tells letter case apart matches
// the other spelling too. The retry takes the record's own name or nothing,
// and never fills the file with another one of the same size as listed.
TEST_F(FolderDownloadTest, ARetryFetchesTheSameFileNotOneItsNameMatches) {
  const std::string semicolon = PatternBytes(300 * 1024, 30);
  const std::string upper = PatternBytes(250 * 1024, 32);
  PutFile(ServerRoot(), L"twins\\b;a.dat", semicolon);
  PutFile(ServerRoot(), L"twins\\a.dat", PatternBytes(200 * 1024, 31));
  PutFile(ServerRoot(), L"cased\\Data.bin", PatternBytes(100 * 1024, 33));
  PutFile(ServerRoot(), L"cased\\DATA.BIN", upper);
  ftp_->OLErrorRetryMaxCount(2);
  FtpFaults faults;
  faults.truncateRetr = 64 * 1024;
  faults.truncateRetrCount = 1;
  faults.truncateRetrName = L"b;a.dat";
  Server().SetFaults(faults);
  ASSERT_TRUE(Get(L"/twins", L"", 0, target_)) << code_;
  EXPECT_TRUE(ReadFileBytes(target_ + L"\\b;a.dat") == semicolon)
      << ReadFileBytes(target_ + L"\\b;a.dat").size();

  // The two spellings would land on one local file: the one asked for only.
  faults.truncateRetrName = L"DATA.BIN";
  Server().SetFaults(faults);
  const std::wstring cased = *local_ / L"cased";
  ASSERT_TRUE(Get(L"/cased", L"DATA.BIN", 2, cased)) << code_;
  EXPECT_TRUE(ReadFileBytes(cased + L"\\DATA.BIN") == upper)
      << ReadFileBytes(cased + L"\\DATA.BIN").size();
}

TEST_F(FolderDownloadTest, NamesThatLeaveTheTargetAreRefused) {
  for (const wchar_t* name : {L"..\\..\\evil.txt", L"C:\\Windows\\x.dll", L"con", L"Nul.txt",
                              L"..", L"a:b"}) {
    SCOPED_TRACE(testing::Message() << norvale::ToAnsi(name));
    FtpFaults faults;
    faults.oddNames.push_back({name, false, 4, L"/flat/"});
    Server().SetFaults(faults);
    const int before = Retrievals();
    EXPECT_FALSE(GetFolder(L"/flat"));
    EXPECT_EQ(code_, ERROR_INVALID_NAME);
    EXPECT_EQ(Retrievals(), before);
    EXPECT_FALSE(norvale::FileExists(target_ + L"\\a.txt"));
  }
  EXPECT_FALSE(norvale::FileExists(*local_ / L"evil.txt"));
  const std::wstring outside = local_->Path().substr(0, local_->Path().rfind(L'\\'));
  EXPECT_FALSE(norvale::FileExists(outside + L"\\evil.txt"));

  // A folder entry for the folder itself or its parent is passed over.
  FtpFaults parent;
  parent.oddNames.push_back({L"..", true, 0, L"/flat/"});
  parent.oddNames.push_back({L".", true, 0, L"/flat/"});
  Server().SetFaults(parent);
  EXPECT_TRUE(GetFolder(L"/flat")) << code_;
  EXPECT_EQ(ReadFileBytes(target_ + L"\\b.txt"), "bbb");
}

TEST_F(FolderDownloadTest, LocalNamesAreCheckedLevelByLevel) {
  using norvale::IsSafeLocalName;
  for (const wchar_t* bad : {L"", L".", L"..", L"...", L" . ", L"a\\b", L"a/b", L"c:x", L"a\tb",
                             L"CON", L"con.txt", L"con .log", L"COM1", L"lpt9.dll", L"aux",
                             L"a*b", L"a?b", L"a|b"}) {
    EXPECT_FALSE(IsSafeLocalName(bad)) << norvale::ToAnsi(bad);
  }
  for (const wchar_t* good : {L"a.txt", L".profile", L"console.txt", L"COM10", L"com", L"日本語",
                              L"a..b"}) {
    EXPECT_TRUE(IsSafeLocalName(good)) << norvale::ToAnsi(good);
  }
  EXPECT_TRUE(norvale::IsInsideFolder(L"C:\\a\\b", L"C:\\A\\b\\c"));
  EXPECT_TRUE(norvale::IsInsideFolder(L"C:\\a\\b\\", L"C:\\a\\b\\c\\d.txt"));
  EXPECT_FALSE(norvale::IsInsideFolder(L"C:\\a\\b", L"C:\\a\\b\\..\\bc"));
  EXPECT_FALSE(norvale::IsInsideFolder(L"C:\\a\\b", L"C:\\a\\bc"));
  EXPECT_FALSE(norvale::IsInsideFolder(L"C:\\a\\b", L"C:\\a\\b"));
  EXPECT_TRUE(norvale::IsInsideFolder(L"C:\\a\\b", L"C:\\a\\b", true));
}

TEST_F(FolderDownloadTest, FileInUse) {
  CreateDirectoryW(target_.c_str(), nullptr);
  const std::wstring held = target_ + L"\\a.txt";
  WriteFileBytes(held, "mine");
  norvale::FileHandle lock(CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(lock);

  // Checked: passed over with a line in the log; the rest arrives.
  ftp_->FileUsingCheck(true);
  ASSERT_TRUE(GetFolder(L"/flat")) << code_;
  EXPECT_EQ(code_, 0);
  EXPECT_EQ(ReadFileBytes(target_ + L"\\b.txt"), "bbb");
  const std::string log = ReadFileBytes(norvale::ProgramFolder() + L"\\QUILLON.log");
  EXPECT_NE(log.find(norvale::ToAnsi(ftp_->AppName() + L" [" + held +
                                     L"]は使用中もしくは書込不可の為スキップされました（ErrNo=70:")),
            std::string::npos);

  // Unchecked: the transfer cannot replace it and the run fails.
  ftp_->FileUsingCheck(false);
  ftp_->OLErrorRetryMaxCount(0);
  EXPECT_FALSE(GetFolder(L"/flat"));
  EXPECT_EQ(code_, ERROR_SHARING_VIOLATION);
  lock.Reset();
  EXPECT_EQ(ReadFileBytes(held), "mine");
}

TEST_F(FolderDownloadTest, CleanUpDeletesOnlyWhatTheServerCertainlyLacks) {
  CreateDirectoryW(target_.c_str(), nullptr);
  WriteFileBytes(target_ + L"\\extra.txt", "x");
  WriteFileBytes(target_ + L"\\A.TXT", "old");
  PutFile(target_, L"sub\\keep.txt", "k");

  // A pattern lists only part of the folder: nothing else may go.
  ASSERT_TRUE(Get(L"/flat", L"a.txt", 2, target_, true, false, true)) << code_;
  EXPECT_EQ(deleted_, 0);
  EXPECT_TRUE(norvale::FileExists(target_ + L"\\extra.txt"));

  ASSERT_TRUE(GetFolder(L"/flat", true)) << code_;
  EXPECT_EQ(deleted_, 1);
  EXPECT_FALSE(norvale::FileExists(target_ + L"\\extra.txt"));
  EXPECT_EQ(ReadFileBytes(target_ + L"\\a.txt"), "aaa");
  EXPECT_TRUE(norvale::FileExists(target_ + L"\\sub\\keep.txt"));

  // Folders only: no file was listed, so none is missing.
  WriteFileBytes(target_ + L"\\extra.txt", "x");
  ASSERT_TRUE(Get(L"/flat", L"", 1, target_, true, false, true)) << code_;
  EXPECT_EQ(deleted_, 0);
  EXPECT_TRUE(norvale::FileExists(target_ + L"\\extra.txt"));

  // A relative local folder lies below the current directory.
  const std::wstring saved = CurrentDirectory();
  SetCurrentDirectoryW(local_->Path().c_str());
  const bool relative = Get(L"/flat", L"", 0, L"target", true, false, true);
  SetCurrentDirectoryW(saved.c_str());
  EXPECT_TRUE(relative) << code_;
  EXPECT_EQ(deleted_, 1);
  EXPECT_FALSE(norvale::FileExists(target_ + L"\\extra.txt"));

  // A name that differs from a listed one in width only is a file the
  // server lacks.
  WriteFileBytes(target_ + L"\\ａ.txt", "twin");
  ASSERT_TRUE(GetFolder(L"/flat", true)) << code_;
  EXPECT_EQ(deleted_, 1);
  EXPECT_FALSE(norvale::FileExists(target_ + L"\\ａ.txt"));
  EXPECT_EQ(ReadFileBytes(target_ + L"\\a.txt"), "aaa");
}

}  // namespace
}  // namespace testing_support
