// The download step against the real FTP test server: a package of every
// entry kind, Cancel with both answers to the stop question, a server that
// lacks or cuts short one file, and the conditions on two Windows profiles.
#include <windows.h>

#include <algorithm>
#include <functional>
#include <memory>

#include "DownloadLoop.h"
#include "EngineRunFixture.h"
#include "FileSystem.h"
#include "Fonts.h"
#include "InstallFolders.h"
#include "Text.h"

namespace testing_support {
namespace {

constexpr wchar_t kStopTitle[] = L"★処理を中止しますか？";
constexpr wchar_t kRetryTitle[] = L"リトライしますか？";
constexpr wchar_t kFtpStopTitle[] = L"FTP:ダウンロードを中止しますか？";

// A folder link made on the host for as long as it lives. Wine makes no
// junction (CreateSymbolicLinkW creates nothing), but shows a host link as a
// reparse point that file calls go through, as Windows does a junction.
class HostFolderLink {
 public:
  HostFolderLink(const std::wstring& folder, const std::wstring& name, const std::wstring& target)
      : link_(folder + L"\\" + name), unixLink_(UnixPath(link_)) {
    StartUnixProgram("/bin/ln", {"-s", UnixPath(target), unixLink_});
    WaitFor(true);
  }
  ~HostFolderLink() {
    StartUnixProgram("/bin/rm", {unixLink_});
    WaitFor(false);
  }
  HostFolderLink(const HostFolderLink&) = delete;
  HostFolderLink& operator=(const HostFolderLink&) = delete;
  bool Made() const {
    const DWORD attributes = GetFileAttributesW(link_.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
  }

 private:
  void WaitFor(bool made) const {
    for (int i = 0; i < 250 && Made() != made; ++i) Sleep(20);
  }
  std::wstring link_;
  std::string unixLink_;
};

class DownloadLoopTest : public PackageServerTest {
 protected:
  std::wstring FontsFolder() { return State().objWinCommon.GetSpecialFolderPath(20); }

  // A slow server (with the other faults given), and Cancel pressed once
  // big.bin is well under way in the install folder; `beforeClick` runs just
  // before. cancelled_ says it was.
  void CancelDuringBigFile(std::function<void()> beforeClick = nullptr, FtpFaults slow = {}) {
    slow.throttleBytesPerSecond = 256 * 1024;
    server_->SetFaults(slow);
    pump_->hook = [this, beforeClick] {
      const auto file = norvale::QueryFile(appDir_ + L"\\big.bin.nvpart");
      if (!cancelled_ && file && file->size > 64 * 1024) {
        cancelled_ = true;
        if (beforeClick) beforeClick();
        ClickCancel();
      }
    };
  }
  bool cancelled_ = false;

  // What the install sequence gives the download step: the install folder
  // prepared and held, and the FTP client writing below it through the
  // run's tree.
  void WriteThroughTheTree() {
    ASSERT_FALSE(norvale::PrepareInstallFolders(Run()).refused);
    ASSERT_TRUE(State().installTree);
    State().objFtp.WriteTree(State().installTree);
  }
};

TEST_F(DownloadLoopTest, InstallsEveryKindOfEntryAndRecordsEach) {
  AddDownload(L"/pkg/app/", L"{app}");
  AddDownload(L"/pkg/files/readme.txt", L"{app}\\doc\\");
  AddDownload(L"/pkg/files/data.zip", L"{app}\\data");
  AddDownload(L"/pkg/fonts/demo.ttf", FontsFolder());
  AddDownload(L"/pkg/files/readme.txt", L"{app}\\doc\\");  // the same again
  AddDownload(L"/pkg/files/readme.txt", L"{app}\\other");
  State().InstallFilesList = L" files.txt ";

  EXPECT_EQ(norvale::DownloadFiles(Run()), -1);
  EXPECT_EQ(State().InstallAborted, 0);

  EXPECT_EQ(ReadFileBytes(appDir_ + L"\\main.txt"), Served(L"pkg/app/main.txt"));
  EXPECT_TRUE(ReadFileBytes(appDir_ + L"\\bin\\core.bin") == Served(L"pkg/app/bin/core.bin"));
  EXPECT_EQ(ReadFileBytes(appDir_ + L"\\データ\\説明.txt"), Served(L"pkg/app/データ/説明.txt"));
  EXPECT_EQ(ReadFileBytes(appDir_ + L"\\doc\\readme.txt"), "read me\r\n");
  EXPECT_TRUE(ReadFileBytes(appDir_ + L"\\data\\unpacked.txt") == Served(L"pkg/files/data.zip"));
  EXPECT_TRUE(ReadFileBytes(*fonts_ / L"demo.ttf") == Served(L"pkg/fonts/demo.ttf"));
  // Archive and font copies in {tmp} are gone; the font went the Install
  // verb's way on a script-less machine.
  EXPECT_FALSE(norvale::FileExists(appDir_ + L"\\TEMP\\data.zip"));
  EXPECT_FALSE(norvale::FileExists(appDir_ + L"\\TEMP\\demo.ttf"));
  EXPECT_EQ(installedFonts_, std::vector<std::wstring>{L"demo.ttf"});
  EXPECT_TRUE(norvale::FileExists(appDir_ + L"\\files.txt"));

  const std::vector<std::wstring> expected = {
      L";ダウンロード結果",
      L"Count=6",
      L"",
      L"src001=/pkg/app/",
      L"dst001=" + appDir_,
      L"err001=",
      L"src002=/pkg/files/readme.txt",
      L"dst002=" + appDir_ + L"\\doc\\readme.txt",
      L"err002=",
      L"src003=/pkg/files/data.zip",
      L"dst003=" + appDir_ + L"\\data\\data.zip",
      L"err003=",
      L"src004=/pkg/fonts/demo.ttf",
      L"dst004=" + FontsFolder() + L"\\demo.ttf",
      L"err004=",
      L"★src004=/pkg/files/readme.txt",
      L"★dst004=" + appDir_ + L"\\doc\\readme.txt",
      L"★skp004=",
      L"src005=/pkg/files/readme.txt",
      L"dst005=" + appDir_ + L"\\other\\readme.txt",
      L"err005=",
      L""};
  EXPECT_EQ(Section(L"Download"), expected);
  // Five of six counted entries were processed; the duplicate moves nothing.
  EXPECT_EQ(window_->gauge, (std::vector<int16_t>{0, 16, 33, 50, 66, 83, -1}));
  EXPECT_TRUE(box_->asked.empty());
  EXPECT_EQ(State().objFtp.DispObject(), nullptr);
}

// A font goes the font's way only into the Fonts folder itself (by any of
// its names) or below it; a folder whose name merely begins the same way
// gets a plain file.
TEST_F(DownloadLoopTest, OnlyTheFontsFolderItselfMakesAFontEntry) {
  // The prefix's Windows\Fonts (WOW64 redirects no Fonts folder); "Fonts2"
  // is made beside it and removed.
  const std::wstring fonts2 = FontsFolder() + L"2";
  AddDownload(L"/pkg/fonts/demo.ttf", fonts2);
  AddDownload(L"/pkg/fonts/demo.ttf", FontsFolder() + L"\\");

  EXPECT_EQ(norvale::DownloadFiles(Run()), -1);
  EXPECT_TRUE(ReadFileBytes(fonts2 + L"\\demo.ttf") == Served(L"pkg/fonts/demo.ttf"));
  EXPECT_EQ(installedFonts_, std::vector<std::wstring>{L"demo.ttf"});
  RemoveTree(fonts2);
}

// The prefix runs code page 932, which has no "é": a destination below
// "Café" is recorded by its short name, which finds the very file, never as
// "Cafe"; one without a short name (the archive is gone once unpacked, and
// this one could not even be unpacked there) leaves its src and dst out
// together, so the next entry's pair stays paired.
TEST_F(DownloadLoopTest, ADestinationTheCodePageLacksIsNeverRecordedAsALookAlike) {
  AddDownload(L"/pkg/files/readme.txt", L"{app}\\Café\\");
  AddDownload(L"/pkg/files/data.zip", L"{app}\\Café");
  AddDownload(L"/pkg/files/readme.txt", L"{app}\\doc\\");

  norvale::DownloadFiles(Run());
  const std::wstring downloaded = appDir_ + L"\\Café\\readme.txt";
  ASSERT_EQ(ReadFileBytes(downloaded), "read me\r\n");
  const std::vector<std::wstring> lines = Section(L"Download");
  ASSERT_EQ(lines.size(), 12u) << ::testing::PrintToString(lines);
  EXPECT_EQ(lines[3], L"src001=/pkg/files/readme.txt");
  ASSERT_TRUE(lines[4].starts_with(L"dst001="));
  const std::wstring recorded = lines[4].substr(7);
  EXPECT_EQ(recorded.find(L"Cafe"), std::wstring::npos);
  wchar_t longForm[MAX_PATH] = {};
  ASSERT_NE(0u, GetLongPathNameW(recorded.c_str(), longForm, MAX_PATH));
  EXPECT_EQ(downloaded, std::wstring(longForm));
  EXPECT_TRUE(lines[6].starts_with(L";★src002")) << norvale::ToAnsi(lines[6]);
  EXPECT_EQ(lines[6].find(L'='), std::wstring::npos);
  EXPECT_TRUE(lines[7].starts_with(L"err002="));
  EXPECT_EQ(lines[8], L"src003=/pkg/files/readme.txt");
  EXPECT_EQ(lines[9], L"dst003=" + appDir_ + L"\\doc\\readme.txt");
}

TEST_F(DownloadLoopTest, FailedUnpackingAndFontAreRecordedAndTheCheckIsSkipped) {
  unpackWorks_ = false;
  fontInstallWorks_ = false;
  AddDownload(L"/pkg/files/data.zip", L"{app}\\data");
  AddDownload(L"/pkg/fonts/demo.ttf", FontsFolder());
  box_->Answer(L"処理を中止しますか？", IDNO);

  EXPECT_EQ(norvale::DownloadFiles(Run()), 0);
  EXPECT_EQ(State().InstallAborted, 0);
  const auto lines = Section(L"Download");
  EXPECT_NE(std::find(lines.begin(), lines.end(), L"err001=ファイル解凍＆コピーに失敗しました！"),
            lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      L"err002=FONTファイル[" + appDir_ + L"\\TEMP\\demo.ttf]をインストールできませんでした！"),
            lines.end());
  const auto* unpack = box_->First(L"処理を中止しますか？");
  ASSERT_NE(unpack, nullptr);
  EXPECT_NE(unpack->text.find(L"（data.zip）"), std::wstring::npos);
  EXPECT_EQ(box_->Count(kRetryTitle), 0);
}

// A font is installed for the whole machine, and the copy in {tmp} lies
// where every user may change it: one rewritten after its arrival (at the
// step's yield before its installation) is not installed; one that stayed
// as it arrived is installed from a copy of the run's own, outside the
// install folder.
TEST_F(DownloadLoopTest, AFontRewrittenAfterItArrivedIsNotInstalled) {
  WriteThroughTheTree();
  AddDownload(L"/pkg/fonts/demo.ttf", FontsFolder());
  AddDownload(L"/pkg/fonts/nvkept.ttf", FontsFolder());
  const std::wstring arrived = appDir_ + L"\\TEMP\\demo.ttf";
  bool rewritten = false;
  pump_->hook = [&] {
    const auto& items = window_->item->texts;
    if (rewritten || items.empty() || items.back() != L"フォント[demo.ttf]をインストールしています...") {
      return;
    }
    WriteFileBytes(arrived, "a user's font");
    rewritten = true;
  };

  norvale::DownloadFiles(Run());
  State().objFtp.WriteTree(nullptr);

  ASSERT_TRUE(rewritten);
  EXPECT_FALSE(norvale::FileExists(*fonts_ / L"demo.ttf"));
  EXPECT_EQ(installedFonts_, std::vector<std::wstring>{L"nvkept.ttf"});
  EXPECT_TRUE(ReadFileBytes(*fonts_ / L"nvkept.ttf") == Served(L"pkg/fonts/nvkept.ttf"));
  const auto handed = std::find_if(calls_.begin(), calls_.end(), [](const std::wstring& call) {
    return call.starts_with(L"vbInstallFont ");
  });
  ASSERT_NE(handed, calls_.end());
  EXPECT_TRUE(handed->ends_with(L"\\nvkept.ttf")) << norvale::ToAnsi(*handed);
  EXPECT_EQ(handed->find(appDir_), std::wstring::npos) << norvale::ToAnsi(*handed);
  const auto lines = Section(L"Download");
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      L"err001=FONTファイル[" + arrived + L"]をインストールできませんでした！"),
            lines.end());
  EXPECT_FALSE(norvale::FileExists(arrived));
}

// Cancel during a large file: the transfer ends within a second, the stop
// question names Cancel, and Yes leaves nothing of the download outside the
// install folder.
TEST_F(DownloadLoopTest, CancelDuringALargeFileStopsWithinASecondAndRollsBack) {
  const std::wstring existing = outside_->Path();
  const std::wstring fresh = *outside_ / L"new folder\\deeper";
  AddDownload(L"/pkg/fonts/demo.ttf", FontsFolder());
  AddDownload(L"/pkg/files/readme.txt", existing);
  AddDownload(L"/pkg/files/big.bin", fresh);
  AddDownload(L"/pkg/files/option.txt", L"{app}");
  FtpFaults slow;
  slow.throttleBytesPerSecond = 256 * 1024;
  server_->SetFaults(slow);

  ULONGLONG cancelledAt = 0;
  pump_->hook = [&] {
    // The client writes beside the target and renames when complete.
    if (cancelledAt == 0 && norvale::FileExists(fresh + L"\\big.bin.nvpart")) {
      const auto file = norvale::QueryFile(fresh + L"\\big.bin.nvpart");
      if (file && file->size > 64 * 1024) {
        cancelledAt = GetTickCount64();
        ClickCancel();
      }
    }
  };
  box_->Answer(kFtpStopTitle, IDYES);
  box_->Answer(kStopTitle, IDYES);

  EXPECT_EQ(norvale::DownloadFiles(Run()), 0);
  EXPECT_EQ(State().InstallAborted, -1);
  ASSERT_NE(cancelledAt, 0u);
  const auto* stop = box_->First(kStopTitle);
  ASSERT_NE(stop, nullptr);
  EXPECT_LT(stop->tick - cancelledAt, 1000u);
  EXPECT_NE(stop->text.find(L"「キャンセル」がクリックされました！"), std::wstring::npos);
  EXPECT_EQ(stop->style & MB_DEFBUTTON2, static_cast<unsigned>(MB_DEFBUTTON2));

  const auto lines = Section(L"Download");
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      L"err003=Download error! -999:" + State().objFtp.GetErrMsg(kFtpStopped)),
            lines.end());
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::wstring& l) { return l.rfind(L"src", 0) == 0; }),
            3);
  // The roll-back of what the download wrote outside the install folder.
  EXPECT_FALSE(norvale::FileExists(existing + L"\\readme.txt"));
  EXPECT_TRUE(norvale::FolderExists(existing));
  EXPECT_FALSE(norvale::FolderExists(*outside_ / L"new folder"));
  EXPECT_FALSE(norvale::FileExists(appDir_ + L"\\option.txt"));
  EXPECT_EQ(removedFonts_, std::vector<std::wstring>{L"demo.ttf"});
  EXPECT_FALSE(norvale::FileExists(*fonts_ / L"demo.ttf"));
}

// Cancel takes back only what the run brought: a file it wrote over, the
// files a folder entry found in its folder and a font the machine already had
// (its file, its registry value or both) stay; such a font is recorded as one
// that was there, which keeps the uninstaller away from it.
TEST_F(DownloadLoopTest, CancelKeepsWhatWasThereBeforeTheRun) {
  const std::wstring overwritten = *outside_ / L"readme.txt";
  const std::wstring tree = *outside_ / L"tree";
  WriteFileBytes(overwritten, "the user's own\r\n");
  ASSERT_EQ(State().objPublicFunc.MakeDir(tree), 0);
  WriteFileBytes(tree + L"\\main.txt", "the user's main\r\n");

  struct EarlierFont {
    std::wstring file;
    bool inFolder, registered;
    std::wstring value;  // its registry value's name
  };
  std::vector<EarlierFont> earlier = {
      {L"nvkept.ttf", true, true, L""}, {L"nvfile.ttf", true, false, L""},
      {L"nvreg.ttf", false, true, L""}};
  const std::wstring fontsKey = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
  std::vector<std::unique_ptr<ScopedRegValue>> values;
  for (EarlierFont& font : earlier) {
    if (font.inFolder) WriteFileBytes(*fonts_ / font.file, "installed earlier");
    if (!font.registered) continue;
    font.value = UniqueName(L"NvEarlier") + L" (TrueType)";
    values.push_back(std::make_unique<ScopedRegValue>(HKEY_LOCAL_MACHINE, fontsKey, font.value));
    // The program's own view, where the installer looks for fonts.
    WriteText(HKEY_LOCAL_MACHINE, fontsKey, font.value, font.file, 0);
  }

  AddDownload(L"/pkg/files/readme.txt", outside_->Path());
  AddDownload(L"/pkg/files/option.txt", outside_->Path());
  AddDownload(L"/pkg/app/", tree);
  for (const EarlierFont& font : earlier) AddDownload(L"/pkg/fonts/" + font.file, FontsFolder());
  AddDownload(L"/pkg/fonts/demo.ttf", FontsFolder());
  AddDownload(L"/pkg/files/big.bin", L"{app}");
  CancelDuringBigFile();
  box_->Answer(kFtpStopTitle, IDYES);
  box_->Answer(kStopTitle, IDYES);

  EXPECT_EQ(norvale::DownloadFiles(Run()), 0);
  ASSERT_EQ(State().InstallAborted, -1);
  ASSERT_TRUE(cancelled_);

  EXPECT_TRUE(norvale::FileExists(overwritten));
  EXPECT_FALSE(norvale::FileExists(*outside_ / L"option.txt"));
  EXPECT_TRUE(norvale::FileExists(tree + L"\\main.txt"));
  EXPECT_FALSE(norvale::FileExists(tree + L"\\bin\\core.bin"));
  EXPECT_FALSE(norvale::FileExists(tree + L"\\データ\\説明.txt"));
  EXPECT_EQ(removedFonts_, std::vector<std::wstring>{L"demo.ttf"});
  EXPECT_FALSE(norvale::FileExists(*fonts_ / L"demo.ttf"));

  const auto lines = Section(L"Download");
  auto recorded = [&](const std::wstring& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  };
  int n = 4;
  for (const EarlierFont& font : earlier) {
    EXPECT_TRUE(norvale::FileExists(*fonts_ / font.file)) << font.file;
    if (font.registered) {
      EXPECT_TRUE(ReadRaw(HKEY_LOCAL_MACHINE, fontsKey, font.value, 0).has_value()) << font.file;
    }
    const std::wstring jjj = L"00" + std::to_wstring(n++);
    EXPECT_TRUE(recorded(L"dst" + jjj + L"=" + FontsFolder() + L"\\" + font.file)) << font.file;
    EXPECT_TRUE(recorded(L"err" + jjj + L"=" + norvale::FontWasThereNote())) << font.file;
  }
  EXPECT_TRUE(recorded(L"dst007=" + FontsFolder() + L"\\demo.ttf"));
  EXPECT_TRUE(recorded(L"err007="));
}

// A font the machine had before the run is noted as such even when its
// installation fails; one that the installation this run replaces recorded
// as the product's is the product's again, noted or not.
TEST_F(DownloadLoopTest, FontsThatWereThereAreNotedUnlessTheReplacedInstallationHadThem) {
  const std::wstring fontsKey = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
  std::vector<std::unique_ptr<ScopedRegValue>> values;
  for (const wchar_t* file : {L"nvkept.ttf", L"nvfile.ttf"}) {
    WriteFileBytes(*fonts_ / file, "installed earlier");
    const std::wstring value = UniqueName(L"NvEarlier") + L" (TrueType)";
    values.push_back(std::make_unique<ScopedRegValue>(HKEY_LOCAL_MACHINE, fontsKey, value));
    WriteText(HKEY_LOCAL_MACHINE, fontsKey, value, file, 0);  // the program's own view
  }
  State().EarlierProductFonts = {L"NVFILE.TTF"};
  fontInstallWorks_ = false;
  AddDownload(L"/pkg/fonts/nvkept.ttf", FontsFolder());
  AddDownload(L"/pkg/fonts/nvfile.ttf", FontsFolder());

  norvale::DownloadFiles(Run());
  const auto lines = Section(L"Download");
  auto err = [&](const std::wstring& key) {
    for (const std::wstring& line : lines) {
      if (line.rfind(key + L"=", 0) == 0) return line.substr(key.size() + 1);
    }
    return std::wstring(L"(none)");
  };
  const std::wstring failure = L"FONTファイル[" + appDir_ + L"\\TEMP\\";
  EXPECT_EQ(err(L"err001"), norvale::FontWasThereNote(failure + L"nvkept.ttf]をインストールできませんでした！"));
  EXPECT_EQ(err(L"err002"), failure + L"nvfile.ttf]をインストールできませんでした！");
}

// The same where the download reaches the user's files by names other than
// the entry's own: the matches of a pattern, names that the listing found
// only on its second try with a wildcard, and a folder entry's files behind
// a link inside its folder.
TEST_F(DownloadLoopTest, CancelKeepsTheUsersFilesWhateverNameTheDownloadReachesThemBy) {
  const std::wstring retried = *outside_ / L"retried";
  const std::wstring pattern = *outside_ / L"pattern";
  const std::wstring tree = *outside_ / L"tree";
  const std::wstring keep = *outside_ / L"keep";
  for (const std::wstring& folder : {retried, pattern, tree, keep}) {
    ASSERT_EQ(State().objPublicFunc.MakeDir(folder), 0);
  }
  WriteFileBytes(retried + L"\\only32.txt", "the user's own\r\n");
  WriteFileBytes(pattern + L"\\readme.txt", "the user's own\r\n");
  WriteFileBytes(keep + L"\\core.bin", "the user's own\r\n");
  const HostFolderLink link(tree, L"bin", keep);
  ASSERT_TRUE(link.Made());

  AddDownload(L"/pkg/files/only*.txt", retried);
  AddDownload(L"/pkg/files/*.txt", pattern);
  AddDownload(L"/pkg/app/", tree);
  AddDownload(L"/pkg/files/big.bin", L"{app}");
  FtpFaults firstListingRefused;
  firstListingRefused.failList = 1;
  CancelDuringBigFile(nullptr, firstListingRefused);
  box_->Answer(kFtpStopTitle, IDYES);
  box_->Answer(kStopTitle, IDYES);

  EXPECT_EQ(norvale::DownloadFiles(Run()), 0);
  ASSERT_EQ(State().InstallAborted, -1);
  ASSERT_TRUE(cancelled_);

  // Each download wrote over the user's file (which stays, as it now is)
  // and brought new ones (which go).
  EXPECT_EQ(ReadFileBytes(retried + L"\\only32.txt"), Served(L"pkg/files/only32.txt"));
  EXPECT_FALSE(norvale::FileExists(retried + L"\\only64.txt"));
  EXPECT_EQ(ReadFileBytes(pattern + L"\\readme.txt"), Served(L"pkg/files/readme.txt"));
  EXPECT_FALSE(norvale::FileExists(pattern + L"\\option.txt"));
  EXPECT_TRUE(ReadFileBytes(keep + L"\\core.bin") == Served(L"pkg/app/bin/core.bin"));
  EXPECT_FALSE(norvale::FileExists(tree + L"\\main.txt"));
}

TEST_F(DownloadLoopTest, NoAtTheStopQuestionDownloadsTheEntryAgain) {
  AddDownload(L"/pkg/files/big.bin", L"{app}");
  CancelDuringBigFile([this] { server_->ClearFaults(); });
  box_->Answer(kFtpStopTitle, IDYES);
  box_->Answer(kStopTitle, IDNO);

  // The run goes on, but a stopped transfer leaves the final check out.
  EXPECT_EQ(norvale::DownloadFiles(Run()), 0);
  EXPECT_EQ(State().InstallAborted, 0);
  EXPECT_EQ(box_->Count(kStopTitle), 1);
  EXPECT_TRUE(ReadFileBytes(appDir_ + L"\\big.bin") == Served(L"pkg/files/big.bin"));
  const auto lines = Section(L"Download");
  EXPECT_NE(std::find(lines.begin(), lines.end(), L"err001=Download error! -999:" +
                                                     State().objFtp.GetErrMsg(kFtpStopped)),
            lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), L"src002=/pkg/files/big.bin"), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), L"err002="), lines.end());
}

// A file missing on the server: the retry question names it; Yes after the
// file appeared fetches it, No gives up without recording the entry.
TEST_F(DownloadLoopTest, MissingFileAsksToRetry) {
  AddDownload(L"/pkg/late/late.txt", L"{app}");
  box_->Answer(kRetryTitle, IDYES);
  box_->onAsk = [&](const AnsweringBox::Question& q) {
    if (q.title == kRetryTitle) PutFile(root_->Path(), L"pkg/late/late.txt", "late\r\n");
  };

  EXPECT_EQ(norvale::DownloadFiles(Run()), -1);
  const auto* retry = box_->First(kRetryTitle);
  ASSERT_NE(retry, nullptr);
  EXPECT_EQ(retry->text,
            L"ダウンロードエラーが発生しました！\r\n/pkg/late/late.txt\r\nはサーバーに存在しません。\r\n"
            L"★リトライしますか？、リトライする場合は「はい」を、\r\n"
            L"  中止する場合「いいえ」をクリックして下さい。");
  EXPECT_EQ(ReadFileBytes(appDir_ + L"\\late.txt"), "late\r\n");
  DeleteFileW((*root_ / L"pkg\\late\\late.txt").c_str());
}

TEST_F(DownloadLoopTest, GivingUpOnAFailedFileAbortsWithoutRecordingIt) {
  AddDownload(L"/pkg/files/readme.txt", outside_->Path());
  AddDownload(L"/pkg/files/absent.txt", L"{app}");
  AddDownload(L"/pkg/files/option.txt", L"{app}");

  EXPECT_EQ(norvale::DownloadFiles(Run()), 0);
  EXPECT_EQ(State().InstallAborted, -1);
  // Giving up ends the loop at once: no stop question follows.
  EXPECT_EQ(box_->Count(kRetryTitle), 1);
  EXPECT_EQ(box_->Count(kStopTitle), 0);
  const auto lines = Section(L"Download");
  EXPECT_EQ(std::find(lines.begin(), lines.end(), L"src002=/pkg/files/absent.txt"), lines.end());
  EXPECT_EQ(lines.back(), L"");
  EXPECT_FALSE(norvale::FileExists(appDir_ + L"\\option.txt"));
  EXPECT_FALSE(norvale::FileExists(*outside_ / L"readme.txt"));
}

// The server cuts the file short every time: a failure, and the question
// says that the size did not match.
TEST_F(DownloadLoopTest, AFileCutShortIsAFailureThatSaysSo) {
  AddDownload(L"/pkg/files/big.bin", L"{app}");
  FtpFaults cut;
  cut.truncateRetr = 1000;
  server_->SetFaults(cut);
  State().objFtp.OLErrorRetryMaxCount(1);
  State().objFtp.OLErrorRetryWaitTime(0);

  EXPECT_EQ(norvale::DownloadFiles(Run()), 0);
  EXPECT_EQ(State().InstallAborted, -1);
  const auto* retry = box_->First(kRetryTitle);
  ASSERT_NE(retry, nullptr);
  EXPECT_NE(retry->text.find(L"/pkg/files/big.bin"), std::wstring::npos);
  EXPECT_NE(retry->text.find(L"サイズ"), std::wstring::npos);
  EXPECT_FALSE(norvale::FileExists(appDir_ + L"\\big.bin"));
}

struct ProfileCase {
  const char* name;
  bool windows7x86;
  std::vector<std::wstring> present, absent;
  int count;
};

class DownloadConditionsTest : public DownloadLoopTest,
                               public ::testing::WithParamInterface<ProfileCase> {};

TEST_P(DownloadConditionsTest, InstallTheEntriesOfTheProfile) {
  const ProfileCase& p = GetParam();
  NewServedRun(p.windows7x86 ? Windows7x86() : Windows10x64());
  AddOptionGroup(2, 2);
  AddTask(false);
  AddTask(true);
  AddDownload(L"/pkg/files/only64.txt", L"{app}", L"64bit");
  AddDownload(L"/pkg/files/only32.txt", L"{app}", L"32bit");
  AddDownload(L"/pkg/files/option.txt", L"{app}", L"1,2");
  AddDownload(L"/pkg/files/readme.txt", L"{app}", L"1,1");
  AddDownload(L"/pkg/files/task.txt", L"{app}", L"task2");
  AddDownload(L"/pkg/app/main.txt", L"{app}", L"task1");

  EXPECT_EQ(norvale::CountDownloadTargets(Run()), p.count);
  EXPECT_EQ(norvale::DownloadFiles(Run()), -1);
  for (const std::wstring& name : p.present) {
    EXPECT_TRUE(norvale::FileExists(appDir_ + L"\\" + name)) << name;
  }
  for (const std::wstring& name : p.absent) {
    EXPECT_FALSE(norvale::FileExists(appDir_ + L"\\" + name)) << name;
  }
  EXPECT_EQ(Section(L"Download")[1], L"Count=" + std::to_wstring(p.count));
}

INSTANTIATE_TEST_SUITE_P(
    Profiles, DownloadConditionsTest,
    ::testing::Values(
        // "32bit" is counted everywhere but fetched only on 32-bit Windows;
        // task entries are fetched though never counted.
        ProfileCase{"Windows10x64", false, {L"only64.txt", L"option.txt", L"task.txt"},
                    {L"only32.txt", L"readme.txt", L"main.txt"}, 3},
        ProfileCase{"Windows7x86", true, {L"only32.txt", L"option.txt", L"task.txt"},
                    {L"only64.txt", L"readme.txt", L"main.txt"}, 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(IsAlreadyDoneTest, MatchesAnyDoneDestinationIgnoringCase) {
  const std::vector<std::wstring> sources{L"", L"/a/x.txt", L"/b/y.txt"};
  const std::vector<std::wstring> destinations{L"", L"C:\\One", L"C:\\Two"};
  EXPECT_EQ(norvale::IsAlreadyDone(sources, destinations, L"/A/X.TXT", L"c:\\two"), -1);
  EXPECT_EQ(norvale::IsAlreadyDone(sources, destinations, L"/a/x.txt", L"C:\\Three"), 0);
  EXPECT_EQ(norvale::IsAlreadyDone(sources, destinations, L"/b/y.txt", L""), -1);
  EXPECT_EQ(norvale::IsAlreadyDone({}, {}, L"/a/x.txt", L""), 0);
}

// Names that differ in kana type or width are other files, on the server
// and on the disk: an entry that differs so is no repeat of a done one.
TEST(IsAlreadyDoneTest, KanaTypeAndWidthMakeOtherNames) {
  const std::vector<std::wstring> sources{L"", L"/pkg/ポス.dat"};
  const std::vector<std::wstring> destinations{L"", L"C:\\ポス"};
  EXPECT_EQ(norvale::IsAlreadyDone(sources, destinations, L"/pkg/ポス.dat", L"C:\\ポス"), -1);
  EXPECT_EQ(norvale::IsAlreadyDone(sources, destinations, L"/pkg/ポス.dat", L"C:\\ぽす"), 0);
  EXPECT_EQ(norvale::IsAlreadyDone(sources, destinations, L"/pkg/ポス.dat", L"C:\\ﾎﾟｽ"), 0);
  EXPECT_EQ(norvale::IsAlreadyDone(sources, destinations, L"/pkg/ぽす.dat", L"C:\\ポス"), 0);
  EXPECT_EQ(norvale::IsAlreadyDone(sources, destinations, L"/ｐｋｇ/ポス.dat", L""), 0);
}

}  // namespace
}  // namespace testing_support
