// Single-file downloads against the test server, with its faults.
#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "FileSystem.h"
#include "FtpClientFixture.h"

namespace testing_support {
namespace {

using Clock = std::chrono::steady_clock;

const std::string& SetupBytes() {
  static const std::string bytes = PatternBytes(3000, 7);
  return bytes;
}

const std::string& BigBytes() {
  static const std::string bytes = PatternBytes(4 * 1024 * 1024, 9);
  return bytes;
}

// Windows' WinINet answers the size of a file opened for download (it asks
// the server); Wine answers 0 for every file. This one answers as Windows
// does, from the server's folder at the moment of the question, or with
// Wine's 0 when told to.
class ServerFileSize final : public norvale::IFtpFileSize {
 public:
  explicit ServerFileSize(std::wstring folder) : folder_(std::move(folder)) {}
  DWORD OfOpenFile(HINTERNET, const std::wstring& serverFileId, DWORD* high) override {
    ++questions;
    const auto file = norvale::QueryFile(folder_ + L"\\" + serverFileId);
    const uint64_t size = file && !answersZero ? file->size : 0;
    *high = static_cast<DWORD>(size >> 32);
    return static_cast<DWORD>(size & 0xFFFFFFFFu);
  }

  bool answersZero = false;
  int questions = 0;

 private:
  std::wstring folder_;
};

class DownloadTest : public FtpClientTest {
 protected:
  static void SetUpTestSuite() {
    StartServer([](const std::wstring& root) {
      PutFile(root, L"files\\setup.ini", SetupBytes());
      SetLocalTime(root + L"\\files\\setup.ini", ListedFixtureTime());
      PutFile(root, L"files\\a.txt.old", "old");
      PutFile(root, L"files\\big.bin", BigBytes());
      PutFile(root, L"日本語フォルダ\\ファイル.txt", "日本語の中身");
    });
  }

  void SetUp() override {
    FtpClientTest::SetUp();
    int32_t code = 0;
    ASSERT_TRUE(Connect(*ftp_, code)) << code;
  }

  // The download the installer makes of its setup information: listed,
  // verified, recorded and dated.
  bool GetVerified(const std::wstring& folder, const std::wstring& name,
                   const std::wstring& target) {
    code_ = -5;
    return ftp_->FtpGet(folder, name, target, true, code_, false, true, count_, true, true);
  }

  int Retrievals() const { return Server().Stat("retr"); }

  // An older copy of big.bin at target and a server that cuts every
  // transfer of big.bin at 1.5 MB; one retry, without a countdown.
  std::string OlderCopyAndCutTransfers(const std::wstring& target, FtpFaults& faults) {
    std::string older = PatternBytes(3 * 1024 * 1024, 5);
    WriteFileBytes(target, older);
    faults.truncateRetr = 1536 * 1024;
    Server().SetFaults(faults);
    ftp_->OLErrorRetryWaitTime(0);
    ftp_->OLErrorRetryMaxCount(1);
    return older;
  }

  // A failed update: the old file as it was, nothing of the transfer beside.
  static void ExpectTheOldFileOnly(const std::wstring& target, const std::string& older) {
    EXPECT_TRUE(ReadFileBytes(target) == older);
    EXPECT_FALSE(norvale::FileExists(target + L".nvpart"));
  }

  // Cut once only, after OlderCopyAndCutTransfers: the retry of an
  // unverified download brings the whole file.
  void ExpectTheRetryToBringItWhole(const std::wstring& target, FtpFaults& faults, bool dated) {
    faults.truncateRetrCount = 1;
    Server().SetFaults(faults);
    ASSERT_TRUE(ftp_->FtpGet(L"/files", L"big.bin", target, true, code_, false, dated, count_))
        << code_;
    EXPECT_EQ(code_, 0);
    EXPECT_EQ(count_, 1);
    EXPECT_TRUE(ReadFileBytes(target) == BigBytes());
  }

  // Runs action at every turn of the message loop while fileId is received.
  void WhileReceiving(const std::wstring& fileId, std::function<void()> action) {
    RecordingDisplay* display = display_.get();
    pump_->hook = [display, text = L"[" + fileId + L"]を受信しています...",
                   action = std::move(action)](int) {
      if (!display->texts.empty() && display->texts.back() == text) action();
    };
  }

  // A connected client that learns the sizes of /files as on Windows.
  std::shared_ptr<ServerFileSize> SizesAsOnWindows() {
    auto sizes = std::make_shared<ServerFileSize>(ServerRoot() + L"\\files");
    ftp_ = NewClient(norvale::FtpWaits::None(), sizes);
    int32_t code = 0;
    EXPECT_TRUE(Connect(*ftp_, code)) << code;
    return sizes;
  }

  norvale::OleDate LocalWriteTime(const std::wstring& path) const {
    const auto file = norvale::QueryFile(path);
    return file ? norvale::OleDate::FromFileTimeUtc(file->lastWrite).value() : norvale::OleDate();
  }

  int32_t code_ = 0;
  int32_t count_ = -5;
};

TEST_F(DownloadTest, VerifiedDownloadGetsTheServerTimeAndACheckListEntry) {
  const std::wstring target = *local_ / L"setup.ini";
  ASSERT_TRUE(GetVerified(L"/files", L"setup.ini", target)) << code_;
  EXPECT_EQ(code_, 0);
  EXPECT_EQ(count_, 1);
  EXPECT_EQ(ReadFileBytes(target), SetupBytes());
  EXPECT_EQ(LocalWriteTime(target), ListedFixtureDate());
  ASSERT_EQ(ftp_->DownloadedFilesCount(), 1);
  EXPECT_EQ(ftp_->DownloadedFilesGetFilePath(1), target);
  EXPECT_EQ(ftp_->DownloadedFilesGetFileSize(1), 3000);
  EXPECT_EQ(display_->Count(L"[setup.ini]を受信しています..."), 1);
}

TEST_F(DownloadTest, WithoutLookupNothingIsListedAndTheFileComesFromTheCurrentFolder) {
  std::vector<std::wstring> names;
  int32_t code = 0;
  ASSERT_EQ(ftp_->FtpGetFileList(L"/", L"", 0, names, code, L"", L"", L"", false), 2);
  const int lists = Server().Stat("list");
  ASSERT_TRUE(ftp_->FtpSetDir(L"/files", code));

  const std::wstring target = *local_ / L"copy.ini";
  // Recording asked for, verification not.
  ASSERT_TRUE(ftp_->FtpGet(L"", L"setup.ini", target, false, code_, false, false, count_, false,
                           true))
      << code_;
  EXPECT_EQ(count_, 1);
  EXPECT_EQ(ReadFileBytes(target), SetupBytes());
  EXPECT_EQ(ftp_->GetDirInfo_Count(), 2);
  EXPECT_EQ(Server().Stat("list"), lists);
  // Recording needs verification as well: nothing is recorded.
  EXPECT_EQ(ftp_->DownloadedFilesCount(), 0);
}

TEST_F(DownloadTest, IdenticalLocalCopyIsSkippedUntilItsTimeDiffers) {
  // A local name in other letters still names the listed file.
  const std::wstring target = *local_ / L"SETUP.INI";
  ASSERT_TRUE(GetVerified(L"/files", L"setup.ini", target)) << code_;
  const int before = Retrievals();

  code_ = -5;
  count_ = 77;
  ASSERT_TRUE(ftp_->FtpGet(L"/files", L"setup.ini", target, true, code_, true, true, count_,
                           true, true));
  EXPECT_EQ(code_, 0);
  EXPECT_EQ(count_, 77);
  EXPECT_EQ(Retrievals(), before);
  EXPECT_EQ(ftp_->DownloadedFilesCount(), 1);

  SYSTEMTIME later = ListedFixtureTime();
  later.wSecond = 1;
  SetLocalTime(target, later);
  ASSERT_TRUE(ftp_->FtpGet(L"/files", L"setup.ini", target, true, code_, true, true, count_,
                           true, true));
  EXPECT_EQ(count_, 1);
  EXPECT_EQ(Retrievals(), before + 1);
  EXPECT_EQ(LocalWriteTime(target), ListedFixtureDate());

  // A name that differs in width is another file, however alike the rest.
  const std::wstring twin = *local_ / L"ｓｅｔｕｐ.ini";
  WriteFileBytes(twin, std::string(SetupBytes().size(), 'x'));
  SetLocalTime(twin, ListedFixtureTime());
  ASSERT_TRUE(ftp_->FtpGet(L"/files", L"setup.ini", twin, true, code_, true, true, count_, true,
                           true));
  EXPECT_EQ(Retrievals(), before + 2);
  EXPECT_TRUE(ReadFileBytes(twin) == SetupBytes());
}

// A name is a pattern to the listing too: Wine reads ";" as between two
// patterns, "*" and "?" match other files. Only the file of that very name
// is checked against its listed size and takes the listed time.
TEST_F(DownloadTest, TheListedFileIsTheOneOfTheNameAskedFor) {
  const std::string semicolon = PatternBytes(5000, 50);
  PutFile(ServerRoot(), L"odd/b;a.dat", semicolon);
  PutFile(ServerRoot(), L"odd/a.dat", PatternBytes(3000, 51));
  PutFile(ServerRoot(), L"odd/Case.dat", "case");
  SetLocalTime(ServerRoot() + L"\\odd\\b;a.dat", ListedFixtureTime());
  ftp_->OLErrorRetryWaitTime(0);
  ftp_->OLErrorRetryMaxCount(1);

  const std::wstring local = *local_ / L"b;a.dat";
  EXPECT_TRUE(GetVerified(L"/odd", L"b;a.dat", local)) << code_;
  EXPECT_TRUE(ReadFileBytes(local) == semicolon);
  EXPECT_EQ(LocalWriteTime(local), ListedFixtureDate());
  EXPECT_EQ(ftp_->DownloadedFilesCount(), 1);
  EXPECT_EQ(ftp_->DownloadedFilesGetFileSize(1), static_cast<int32_t>(semicolon.size()));

  // None of that name: nothing is taken for it, nothing is fetched.
  const int before = Retrievals();
  EXPECT_FALSE(GetVerified(L"/odd", L"?.dat", *local_ / L"q.dat"));
  EXPECT_EQ(code_, kFtpFileNotFound);
  EXPECT_EQ(count_, 0);
  EXPECT_EQ(Retrievals(), before);
  // A server that ignores letter case lists the one file by its own spelling.
  FtpFaults windowsServer;
  windowsServer.ignoreCase = true;
  Server().SetFaults(windowsServer);
  ASSERT_TRUE(GetVerified(L"/odd", L"case.dat", *local_ / L"case.dat")) << code_;
  EXPECT_EQ(ReadFileBytes(*local_ / L"case.dat"), "case");
}

TEST_F(DownloadTest, FailedTransfersAreRetriedAfterACountdown) {
  FtpFaults faults;
  faults.failRetr = 2;
  Server().SetFaults(faults);
  ftp_->OLErrorRetryWaitTime(1);
  const int before = Retrievals();
  const std::wstring target = *local_ / L"setup.ini";
  ASSERT_TRUE(GetVerified(L"/files", L"setup.ini", target)) << code_;
  EXPECT_EQ(Retrievals() - before, 3);
  EXPECT_EQ(ReadFileBytes(target), SetupBytes());
  EXPECT_EQ(display_->Count(L"★[setup.ini]の受信中にエラーが発生しました！\r\n"
                            L"1秒後に再度受信を実行します..."),
            2 * 4);
  EXPECT_EQ(display_->Count(L"[setup.ini]を受信しています..."), 3);

  // Refused every time: the server's refusal after the last attempt.
  faults.failRetr = 100;
  Server().SetFaults(faults);
  ftp_->OLErrorRetryMaxCount(1);
  EXPECT_FALSE(GetVerified(L"/files", L"setup.ini", *local_ / L"again.ini"));
  EXPECT_EQ(code_, ERROR_INTERNET_EXTENDED_ERROR);
  EXPECT_FALSE(norvale::FileExists(*local_ / L"again.ini"));
}

TEST_F(DownloadTest, ATransferCutShortIsRetriedAndNeverReportedAsDone) {
  FtpFaults faults;
  faults.truncateRetr = 100;
  Server().SetFaults(faults);
  ftp_->OLErrorRetryMaxCount(2);
  const int before = Retrievals();
  const std::wstring target = *local_ / L"setup.ini";
  EXPECT_FALSE(GetVerified(L"/files", L"setup.ini", target));
  EXPECT_EQ(code_, kFtpIncompleteTransfer);
  EXPECT_EQ(count_, -5);
  EXPECT_EQ(Retrievals() - before, 3);
  EXPECT_EQ(ftp_->DownloadedFilesCount(), 0);
  EXPECT_FALSE(norvale::FileExists(target));
  EXPECT_FALSE(norvale::FileExists(target + L".nvpart"));
  // An older copy stays when the update fails.
  WriteFileBytes(target, "older");
  EXPECT_FALSE(GetVerified(L"/files", L"setup.ini", target));
  ExpectTheOldFileOnly(target, "older");

  // Cut short once: the retry brings the whole file.
  faults.truncateRetrCount = 1;
  Server().SetFaults(faults);
  ASSERT_TRUE(GetVerified(L"/files", L"setup.ini", target)) << code_;
  EXPECT_EQ(ReadFileBytes(target), SetupBytes());
  EXPECT_EQ(ftp_->DownloadedFilesCount(), 1);
}

// WinINet calls a transfer that the server cut short a success. Once the
// lookup has listed the file, its size tells the cut, whether or not the
// caller asked for verification, and the good copy on disk stays.
TEST_F(DownloadTest, ACutTransferNeverReplacesAGoodFileOnceTheSizeIsListed) {
  const std::wstring target = *local_ / L"big.bin";
  FtpFaults faults;
  const std::string older = OlderCopyAndCutTransfers(target, faults);
  int before = Retrievals();

  // Dated, not verified.
  EXPECT_FALSE(ftp_->FtpGet(L"/files", L"big.bin", target, true, code_, false, true, count_));
  EXPECT_EQ(code_, kFtpIncompleteTransfer);
  EXPECT_EQ(count_, -5);
  EXPECT_EQ(Retrievals() - before, 2);
  ExpectTheOldFileOnly(target, older);

  // Only the identical-copy skip asked for: listed as well.
  before = Retrievals();
  EXPECT_FALSE(ftp_->FtpGet(L"/files", L"big.bin", target, true, code_, true, false, count_));
  EXPECT_EQ(code_, kFtpIncompleteTransfer);
  EXPECT_EQ(Retrievals() - before, 2);
  ExpectTheOldFileOnly(target, older);

  // Unverified, the whole file is not recorded.
  ExpectTheRetryToBringItWhole(target, faults, true);
  EXPECT_EQ(ftp_->DownloadedFilesCount(), 0);
}

// Without a lookup, from a server that tells no size but in its listings,
// nothing shows that a file came out short: the download counts as done, as
// it always has.
TEST_F(DownloadTest, WithoutAKnownSizeACutTransferStillCountsAsDone) {
  const std::wstring target = *local_ / L"setup.ini";
  WriteFileBytes(target, "older");
  FtpFaults faults;
  faults.truncateRetr = 1000;
  faults.refuseSize = true;
  Server().SetFaults(faults);
  const int lists = Server().Stat("list");
  const int before = Retrievals();
  ASSERT_TRUE(ftp_->FtpGet(L"/files", L"setup.ini", target, true, code_, false, false, count_))
      << code_;
  EXPECT_EQ(code_, 0);
  EXPECT_EQ(count_, 1);
  EXPECT_EQ(Retrievals() - before, 1);
  EXPECT_EQ(Server().Stat("list"), lists);
  EXPECT_EQ(ReadFileBytes(target), SetupBytes().substr(0, 1000));
  EXPECT_FALSE(norvale::FileExists(target + L".nvpart"));
}

// Without a lookup the size comes from WinINet alone, which only Windows
// answers (see ServerFileSize).
TEST_F(DownloadTest, WithoutALookupTheSizeTheServerGivesTellsACutTransfer) {
  const auto sizes = SizesAsOnWindows();
  const std::wstring target = *local_ / L"big.bin";
  FtpFaults faults;
  const std::string older = OlderCopyAndCutTransfers(target, faults);
  const int lists = Server().Stat("list");
  const int before = Retrievals();

  EXPECT_FALSE(ftp_->FtpGet(L"/files", L"big.bin", target, true, code_, false, false, count_));
  EXPECT_EQ(code_, kFtpIncompleteTransfer);
  EXPECT_EQ(ftp_->GetErrMsg(code_), L"The connection with the server has been terminated.");
  EXPECT_EQ(count_, -5);
  EXPECT_EQ(Retrievals() - before, 2);
  EXPECT_EQ(sizes->questions, 2);
  EXPECT_EQ(Server().Stat("list"), lists);
  ExpectTheOldFileOnly(target, older);

  ExpectTheRetryToBringItWhole(target, faults, false);

  // A size of 0 is no size: as under Wine, the cut file counts as done.
  sizes->answersZero = true;
  faults.truncateRetrCount.reset();
  Server().SetFaults(faults);
  ASSERT_TRUE(ftp_->FtpGet(L"/files", L"big.bin", target, true, code_, false, false, count_))
      << code_;
  EXPECT_EQ(code_, 0);
  EXPECT_TRUE(ReadFileBytes(target) == BigBytes().substr(0, 1536 * 1024));
}

// An update published on the server while a download runs: the first
// attempt is cut short and the file is then replaced. Each retry is checked
// against the size the server has for it now.
TEST_F(DownloadTest, AFileReplacedBetweenAttemptsIsCheckedAgainstItsNewSize) {
  const SYSTEMTIME newerTime = LocalTime(2021, 5, 6, 12, 0, 0);
  const auto publish = [&newerTime](const std::string& older, const std::string& newer) {
    PutFile(ServerRoot(), L"files\\moving.bin", older);
    PutFile(ServerRoot(), L"files\\moving.bin.next", newer);
    SetLocalTime(ServerRoot() + L"\\files\\moving.bin.next", newerTime);
    FtpFaults faults;
    faults.truncateRetr = 512 * 1024;
    faults.truncateRetrCount = 1;
    faults.replaceAfterRetr = FtpFaults::Replacement{L"moving.bin", L"moving.bin.next"};
    Server().SetFaults(faults);
  };
  const std::wstring target = *local_ / L"moving.bin";
  WriteFileBytes(target, "older");

  // The start-up download of the setup information, listed and verified.
  const std::string longer = PatternBytes(2560 * 1024, 12);
  publish(PatternBytes(2 * 1024 * 1024, 11), longer);
  ftp_->OLErrorRetryWaitTime(0);
  ftp_->OLErrorRetryMaxCount(2);
  int replaced = Server().Stat("replaced");
  int before = Retrievals();
  ASSERT_TRUE(GetVerified(L"/files", L"moving.bin", target)) << code_;
  EXPECT_EQ(code_, 0);
  EXPECT_EQ(count_, 1);
  EXPECT_EQ(Retrievals() - before, 2);
  EXPECT_EQ(Server().Stat("replaced") - replaced, 1);
  EXPECT_TRUE(ReadFileBytes(target) == longer);
  EXPECT_FALSE(norvale::FileExists(target + L".nvpart"));
  ASSERT_EQ(ftp_->DownloadedFilesCount(), 1);
  EXPECT_EQ(ftp_->DownloadedFilesGetFileSize(1), static_cast<int32_t>(longer.size()));
  EXPECT_EQ(LocalWriteTime(target), norvale::OleDate::FromSystemTime(newerTime));

  // Unlisted, with the size the server gives on Windows; a shorter update.
  const auto sizes = SizesAsOnWindows();
  ftp_->OLErrorRetryWaitTime(0);
  ftp_->OLErrorRetryMaxCount(2);
  const std::string shorter = PatternBytes(1024 * 1024, 13);
  publish(PatternBytes(2 * 1024 * 1024, 14), shorter);
  replaced = Server().Stat("replaced");
  before = Retrievals();
  ASSERT_TRUE(ftp_->FtpGet(L"/files", L"moving.bin", target, true, code_, false, false, count_))
      << code_;
  EXPECT_EQ(Retrievals() - before, 2);
  EXPECT_EQ(Server().Stat("replaced") - replaced, 1);
  EXPECT_EQ(sizes->questions, 2);
  EXPECT_TRUE(ReadFileBytes(target) == shorter);
}

// Taken off the server during a cut first attempt: the retry's listing finds
// nothing, and nothing is fetched again.
TEST_F(DownloadTest, AFileGoneBeforeTheRetryEndsTheDownloadAsMissing) {
  const std::wstring onServer = ServerRoot() + L"\\files\\going.bin";
  PutFile(ServerRoot(), L"files\\going.bin", PatternBytes(1024 * 1024, 15));
  FtpFaults faults;
  faults.truncateRetr = 512 * 1024;
  Server().SetFaults(faults);
  ftp_->OLErrorRetryWaitTime(0);
  ftp_->OLErrorRetryMaxCount(2);
  WhileReceiving(L"going.bin", [&onServer] { DeleteFileW(onServer.c_str()); });
  const std::wstring target = *local_ / L"going.bin";
  WriteFileBytes(target, "older");
  const int before = Retrievals();
  EXPECT_FALSE(GetVerified(L"/files", L"going.bin", target));
  EXPECT_EQ(code_, kFtpFileNotFound);
  EXPECT_EQ(count_, -5);
  EXPECT_EQ(Retrievals() - before, 1);
  ExpectTheOldFileOnly(target, "older");
}

// The server restarts mid-file: the retry logs in again instead of asking
// the dead session (which answered 12110, "operation in progress").
TEST_F(DownloadTest, TheRetryReconnectsADroppedSession) {
  FtpFaults faults;
  faults.throttleBytesPerSecond = 1024 * 1024;
  Server().SetFaults(faults);
  ftp_->OLErrorRetryWaitTime(0);
  ftp_->OLErrorRetryMaxCount(1);
  int chunks = 0;
  bool restarted = false;
  WhileReceiving(L"big.bin", [&chunks, &restarted] {
    if (!restarted && ++chunks == 4) {
      restarted = true;
      ASSERT_TRUE(Server().Restart()) << Server().Error();
    }
  });
  const std::wstring target = *local_ / L"big.bin";
  ASSERT_TRUE(ftp_->FtpGet(L"/files", L"big.bin", target, true, code_, false, false, count_,
                           true, false))
      << code_;
  EXPECT_TRUE(restarted);
  EXPECT_TRUE(ReadFileBytes(target) == BigBytes());
  EXPECT_GE(Server().Stat("logins"), 1);
}

// The names directly in a folder.
std::vector<std::wstring> FolderNames(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW data{};
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = data.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return names;
}

// A folder below the prefix's own Windows folder, where the delete guard
// refuses every delete but those of font files: the test removes it itself.
class WindowsSubFolder {
 public:
  WindowsSubFolder() {
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    path_ = std::wstring(windows) + L"\\NorvaleFtpTest" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(path_.c_str(), nullptr);
  }
  ~WindowsSubFolder() {
    for (const std::wstring& name : FolderNames(path_)) DeleteFileW((path_ + L"\\" + name).c_str());
    RemoveDirectoryW(path_.c_str());
  }
  std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }
  const std::wstring& Path() const { return path_; }

 private:
  std::wstring path_;
};

// Replacing a file there would be refused after every attempt: it fails at
// once, without a transfer or a countdown. A new file may still go there,
// and what a failed attempt wrote goes too, although no name there may be
// deleted: it was created new by the download.
TEST_F(DownloadTest, AProtectedTargetFailsAtOnceAndLeavesNothingBehind) {
  const WindowsSubFolder folder;
  const std::wstring target = folder / L"setup.ini";
  WriteFileBytes(target, "older");
  ftp_->OLErrorRetryMaxCount(3);
  ftp_->OLErrorRetryWaitTime(1);
  int before = Retrievals();
  EXPECT_FALSE(GetVerified(L"/files", L"setup.ini", target));
  EXPECT_EQ(code_, kFtpProtectedTarget);
  EXPECT_EQ(ftp_->GetErrMsg(code_),
            L"保存先のファイルは保護されたフォルダにある為、置き換えできません！");
  EXPECT_EQ(Retrievals(), before);
  EXPECT_EQ(display_->Count(L"★[setup.ini]の受信中にエラーが発生しました！\r\n1秒後に再度受信を実行します..."), 0);
  EXPECT_EQ(FolderNames(folder.Path()), std::vector<std::wstring>{L"setup.ini"});
  EXPECT_EQ(ReadFileBytes(target), "older");

  // The folder download the installer makes for a plain file.
  int32_t deleted = 0;
  std::wstring last;
  EXPECT_FALSE(ftp_->Ftp_GetFolder(L"/files", L"setup.ini", 2, folder.Path(), code_, L"", L"",
                                   L"", true, true, false, true, false, deleted, last, true));
  EXPECT_EQ(code_, kFtpProtectedTarget);
  EXPECT_EQ(Retrievals(), before);
  // The folder download leaves the main session closed.
  ASSERT_TRUE(Connect(*ftp_, code_)) << code_;

  // A new file there: every attempt is cut short.
  FtpFaults faults;
  faults.truncateRetr = 100;
  Server().SetFaults(faults);
  ftp_->OLErrorRetryWaitTime(0);
  ftp_->OLErrorRetryMaxCount(1);
  before = Retrievals();
  EXPECT_FALSE(GetVerified(L"/files", L"big.bin", folder / L"big.bin"));
  EXPECT_EQ(code_, kFtpIncompleteTransfer);
  EXPECT_EQ(Retrievals() - before, 2);
  EXPECT_EQ(FolderNames(folder.Path()), std::vector<std::wstring>{L"setup.ini"});
  Server().ClearFaults();
  ASSERT_TRUE(GetVerified(L"/files", L"big.bin", folder / L"big.bin")) << code_;
  EXPECT_TRUE(ReadFileBytes(folder / L"big.bin") == BigBytes());

  // A folder in a file's place there stays whole, and nothing is fetched.
  const std::wstring inPlace = folder / L"a.txt.old";
  PutFile(inPlace, L"mine.txt", "mine");
  before = Retrievals();
  EXPECT_FALSE(ftp_->Ftp_GetFolder(L"/files", L"a.txt.old", 2, folder.Path(), code_, L"", L"",
                                   L"", true, true, false, true, false, deleted, last, true));
  EXPECT_EQ(code_, kFtpProtectedTarget);
  EXPECT_EQ(Retrievals(), before);
  EXPECT_EQ(ReadFileBytes(inPlace + L"\\mine.txt"), "mine");
  RemoveTree(inPlace);
}

// The file a transfer writes into never takes an existing name (a user's
// own, or one the same listing brings), and always fits the plain file calls
// where the target does, also when the target's name with a suffix would not.
TEST_F(DownloadTest, TheTransfersOwnFileNeverTakesAnExistingNameAndAlwaysFits) {
  const std::wstring mine = *local_ / L"setup.ini.nvpart";
  WriteFileBytes(mine, "mine");
  ASSERT_TRUE(GetVerified(L"/files", L"setup.ini", *local_ / L"setup.ini")) << code_;
  EXPECT_EQ(ReadFileBytes(*local_ / L"setup.ini"), SetupBytes());
  EXPECT_EQ(ReadFileBytes(mine), "mine");

  PutFile(ServerRoot(), L"pair\\x.bin", PatternBytes(70 * 1024, 40));
  PutFile(ServerRoot(), L"pair\\x.bin.nvpart", PatternBytes(60 * 1024, 41));
  int32_t deleted = 0;
  std::wstring last;
  const std::wstring pair = *local_ / L"pair";
  ASSERT_TRUE(ftp_->Ftp_GetFolder(L"/pair", L"", 0, pair, code_, L"", L"", L"", false, true,
                                  false, true, false, deleted, last, true))
      << code_;
  EXPECT_TRUE(ReadFileBytes(pair + L"\\x.bin") == PatternBytes(70 * 1024, 40));
  EXPECT_TRUE(ReadFileBytes(pair + L"\\x.bin.nvpart") == PatternBytes(60 * 1024, 41));
  EXPECT_EQ(FolderNames(pair).size(), 2u);
  ASSERT_TRUE(Connect(*ftp_, code_)) << code_;

  // Targets of 253 to 259 characters, cut once each.
  for (const size_t length : {253u, 259u}) {
    const size_t room = length - local_->Path().size() - 2 - std::wstring(L"big.bin").size();
    const std::wstring folder = *local_ / std::wstring(room, L'L');
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring target = folder + L"\\big.bin";
    ASSERT_EQ(target.size(), length);
    FtpFaults faults;
    faults.truncateRetr = 1024 * 1024;
    faults.truncateRetrCount = 1;
    Server().SetFaults(faults);
    ftp_->OLErrorRetryWaitTime(0);
    ftp_->OLErrorRetryMaxCount(1);
    size_t longest = 0;
    WhileReceiving(L"big.bin", [&folder, &longest] {
      for (const std::wstring& name : FolderNames(folder)) {
        longest = std::max(longest, folder.size() + 1 + name.size());
      }
    });
    ASSERT_TRUE(GetVerified(L"/files", L"big.bin", target)) << code_;
    EXPECT_TRUE(ReadFileBytes(target) == BigBytes());
    EXPECT_GT(longest, 0u);
    EXPECT_LE(longest, static_cast<size_t>(MAX_PATH - 1)) << length;
    EXPECT_EQ(FolderNames(folder), std::vector<std::wstring>{L"big.bin"});
    pump_->hook = nullptr;
  }
}

TEST_F(DownloadTest, AMissingFileIsNotTakenForALongerNamedOne) {
  const int before = Retrievals();
  EXPECT_FALSE(GetVerified(L"/files", L"a.txt", *local_ / L"a.txt"));
  EXPECT_EQ(code_, kFtpFileNotFound);
  EXPECT_EQ(count_, 0);
  EXPECT_EQ(Retrievals(), before);
}

TEST_F(DownloadTest, AnExistingLocalFileStaysWithoutOverwrite) {
  const std::wstring target = *local_ / L"setup.ini";
  WriteFileBytes(target, "mine");
  ftp_->OLErrorRetryMaxCount(1);
  EXPECT_FALSE(ftp_->FtpGet(L"/files", L"setup.ini", target, false, code_, false, false, count_));
  EXPECT_EQ(code_, ERROR_FILE_EXISTS);
  EXPECT_EQ(ReadFileBytes(target), "mine");
}

TEST_F(DownloadTest, JapaneseNamesOnBothSides) {
  const std::wstring folder = *local_ / L"受信先";
  CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring target = folder + L"\\ファイル.txt";
  ASSERT_TRUE(GetVerified(L"/日本語フォルダ", L"ファイル.txt", target)) << code_;
  EXPECT_EQ(ReadFileBytes(target), "日本語の中身");
  EXPECT_EQ(ftp_->DownloadedFilesGetFilePath(1), target);
}

TEST_F(DownloadTest, CancelStopsALargeTransferWithinASecond) {
  FtpFaults faults;
  faults.throttleBytesPerSecond = 256 * 1024;  // the whole file would take 16 s
  Server().SetFaults(faults);
  ClsWinFTP* client = ftp_.get();
  Clock::time_point cancelled;
  // The Cancel button of an asynchronous run, pressed once data flows.
  pump_->hook = [client, &cancelled](int call) {
    if (call == 5) {
      cancelled = Clock::now();
      client->StopFlag(kFtpStopped);
      client->InetClose();
    }
  };
  const std::wstring target = *local_ / L"big.bin";
  EXPECT_FALSE(ftp_->FtpGet(L"/files", L"big.bin", target, true, code_, false, false, count_));
  const auto took =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - cancelled).count();
  EXPECT_EQ(code_, kFtpStopped);
  EXPECT_LT(took, 1000);
  EXPECT_FALSE(norvale::FileExists(target));
  EXPECT_FALSE(ftp_->IsConnect());

  // The root handle is back, so the next run can connect.
  pump_->hook = nullptr;
  ftp_->StopFlag(0);
  Server().ClearFaults();
  int32_t code = 0;
  ASSERT_TRUE(Connect(*ftp_, code)) << code;
  ASSERT_TRUE(GetVerified(L"/files", L"setup.ini", *local_ / L"after.ini")) << code_;
}

TEST_F(DownloadTest, StopWithoutClosingEndsTheTransferToo) {
  FtpFaults faults;
  faults.throttleBytesPerSecond = 256 * 1024;
  Server().SetFaults(faults);
  ClsWinFTP* client = ftp_.get();
  pump_->hook = [client](int call) {
    if (call == 3) client->StopFlag(kFtpStopped);
  };
  const auto start = Clock::now();
  EXPECT_FALSE(ftp_->FtpGet(L"/files", L"big.bin", *local_ / L"big.bin", true, code_, false,
                            false, count_));
  EXPECT_EQ(code_, kFtpStopped);
  EXPECT_LT(std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - start).count(), 3);
  // The session survives a stop that did not close it.
  ftp_->StopFlag(0);
  Server().ClearFaults();
  EXPECT_TRUE(GetVerified(L"/files", L"setup.ini", *local_ / L"after.ini")) << code_;
}

TEST_F(DownloadTest, WithoutASessionEveryAttemptFails) {
  int32_t code = 0;
  ftp_->InetDisConnect(code);
  ftp_->OLErrorRetryMaxCount(0);
  EXPECT_FALSE(ftp_->FtpGet(L"", L"setup.ini", *local_ / L"x.ini", true, code_, false, false,
                            count_));
  EXPECT_EQ(code_, ERROR_INVALID_HANDLE);
  EXPECT_EQ(count_, -5);
}

}  // namespace
}  // namespace testing_support
