// The downloaded-files check list and the installed-files list file.
#include <shlobj.h>

#include "FileActs.h"
#include "FileSystem.h"
#include "FtpClientFixture.h"
#include "InstallTree.h"
#include "Text.h"

namespace testing_support {
namespace {

std::wstring FontsFolder() {
  wchar_t path[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_FONTS, nullptr, 0, path);
  return path;
}

// Makes the list file as the installer's own files are made, and keeps the
// paths said to be in place.
class RecordingGeneratedFiles final : public norvale::IGeneratedFiles {
 public:
  norvale::StepResult<norvale::FileHandle> CreateIn(HANDLE folder,
                                                    const std::wstring& path) override {
    ++made;
    return norvale::CreateIn(folder, norvale::AfterLast(path, L'\\'),
                             GENERIC_READ | GENERIC_WRITE | DELETE, 0, norvale::EntryType::File);
  }
  void Placed(const std::wstring& path) override { placed.push_back(path); }

  int made = 0;
  std::vector<std::wstring> placed;
};

class CheckListTest : public ::testing::Test {
 protected:
  CheckListTest() {
    norvale::Seams seams = norvale::Seams::System();
    seams.pump = pump_;
    ftp_ = std::make_unique<ClsWinFTP>(seams, norvale::FtpWaits::None());
  }

  bool Verify() {
    return ftp_->DownloadedFilesVerify(fileCount_, errCount_, errMsg_, warningMsg_);
  }

  TempDir dir_{L"checklist"};
  std::shared_ptr<HookPump> pump_ = std::make_shared<HookPump>();
  std::unique_ptr<ClsWinFTP> ftp_;
  int32_t fileCount_ = -1;
  int32_t errCount_ = -1;
  std::wstring errMsg_ = L"old";
  std::wstring warningMsg_ = L"old";
};

TEST_F(CheckListTest, AnEmptyListPassesAndWritesNothing) {
  auto display = std::make_shared<RecordingDisplay>();
  ftp_->DispObject(display);
  EXPECT_TRUE(Verify());
  EXPECT_EQ(fileCount_, 0);
  EXPECT_EQ(errCount_, 0);
  EXPECT_EQ(errMsg_, L"");
  EXPECT_EQ(warningMsg_, L"");
  EXPECT_TRUE(display->texts.empty());
  EXPECT_FALSE(ftp_->DownloadedFilesListOut(dir_ / L"list.txt"));
  EXPECT_EQ(GetFileAttributesW((dir_ / L"list.txt").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(CheckListTest, EntriesReadBackByNumber) {
  EXPECT_TRUE(ftp_->DownloadedFilesAdd(L"C:\\app\\a.dll", 10));
  EXPECT_TRUE(ftp_->DownloadedFilesAdd(L"b.txt", -1));
  EXPECT_EQ(ftp_->DownloadedFilesCount(), 2);
  EXPECT_EQ(ftp_->DownloadedFilesGetFilePath(2), L"b.txt");
  EXPECT_EQ(ftp_->DownloadedFilesGetFileSize(1), 10);
  for (int32_t outside : {0, 3, -1}) {
    EXPECT_EQ(ftp_->DownloadedFilesGetFilePath(outside), L"");
    EXPECT_EQ(ftp_->DownloadedFilesGetFileSize(outside), 0);
  }
  EXPECT_TRUE(ftp_->DownloadedFilesClear());
  EXPECT_EQ(ftp_->DownloadedFilesCount(), 0);
}

TEST_F(CheckListTest, MissingAndWrongSizedFilesAreErrors) {
  PutFile(dir_.Path(), L"ok.dll", std::string(5, 'x'));
  PutFile(dir_.Path(), L"short.dll", std::string(3, 'x'));
  ftp_->DownloadedFilesAdd(dir_ / L"ok.dll", 5);
  ftp_->DownloadedFilesAdd(dir_ / L"short.dll", 4);
  ftp_->DownloadedFilesAdd(dir_ / L"gone.dll", 1);
  auto display = std::make_shared<RecordingDisplay>();
  ftp_->DispObject(display);

  EXPECT_FALSE(Verify());
  EXPECT_EQ(fileCount_, 3);
  EXPECT_EQ(errCount_, 2);
  EXPECT_EQ(errMsg_, L"[" + (dir_ / L"short.dll") + L"]のファイルサイズが違います！\r\n[" +
                         (dir_ / L"gone.dll") + L"]が存在しませんでした！");
  EXPECT_EQ(warningMsg_, L"");
  EXPECT_EQ(display->texts,
            (std::vector<std::wstring>{L"受信したファイルをチェックしています...", L""}));
  EXPECT_EQ(pump_->calls, 2);
}

TEST_F(CheckListTest, APathListedSeveralTimesIsCheckedOnceWithItsLastSize) {
  PutFile(dir_.Path(), L"a.dll", std::string(7, 'x'));
  ftp_->DownloadedFilesAdd(dir_ / L"a.dll", 1);
  ftp_->DownloadedFilesAdd(dir_ / L"A.DLL", 2);
  ftp_->DownloadedFilesAdd(dir_ / L"a.dll", 7);
  EXPECT_TRUE(Verify());
  EXPECT_EQ(fileCount_, 1);
  EXPECT_EQ(errCount_, 0);

  ftp_->DownloadedFilesAdd(dir_ / L"A.dll", 6);
  EXPECT_FALSE(Verify());
  EXPECT_EQ(fileCount_, 1);

  // Names that differ in kana type or width are other files, each checked.
  ftp_->DownloadedFilesClear();
  PutFile(dir_.Path(), L"ぽす.dll", std::string(7, 'x'));
  PutFile(dir_.Path(), L"ﾎﾟｽ.dll", std::string(7, 'x'));
  ftp_->DownloadedFilesAdd(dir_ / L"ポス.dll", 7);
  ftp_->DownloadedFilesAdd(dir_ / L"ぽす.dll", 7);
  ftp_->DownloadedFilesAdd(dir_ / L"ﾎﾟｽ.dll", 7);
  EXPECT_FALSE(Verify());
  EXPECT_EQ(fileCount_, 3);
  EXPECT_EQ(errMsg_, L"[" + (dir_ / L"ポス.dll") + L"]が存在しませんでした！");
}

TEST_F(CheckListTest, FontsInTheFontsFolderOnlyWarn) {
  const std::wstring fonts = FontsFolder();
  ASSERT_FALSE(fonts.empty());
  const std::wstring font = fonts + L"\\nv-missing-font.ttf";
  ftp_->DownloadedFilesAdd(font, 100);
  EXPECT_TRUE(Verify());
  EXPECT_EQ(errCount_, 0);
  EXPECT_EQ(warningMsg_,
            L"★フォントをインストールできませんでした！\r\n[" + font + L"]が存在しませんでした！");

  // With an ordinary error beside it the heading is left out.
  ftp_->DownloadedFilesAdd(dir_ / L"gone.dll", 1);
  EXPECT_FALSE(Verify());
  EXPECT_EQ(errCount_, 1);
  EXPECT_EQ(errMsg_, L"[" + (dir_ / L"gone.dll") + L"]が存在しませんでした！");
  EXPECT_EQ(warningMsg_, L"[" + font + L"]が存在しませんでした！");

  // Only the text after the first dot is the extension; and a font file
  // outside the Fonts folder is an ordinary file.
  ftp_->DownloadedFilesClear();
  ftp_->DownloadedFilesAdd(fonts + L"\\abc.bold.ttf", 1);
  ftp_->DownloadedFilesAdd(dir_ / L"loose.ttf", 1);
  EXPECT_FALSE(Verify());
  EXPECT_EQ(errCount_, 2);
  EXPECT_EQ(warningMsg_, L"");

  // The Fonts folder is the folder by any of its names, and no folder whose
  // name only looks like it in another width.
  ftp_->DownloadedFilesClear();
  const std::wstring windows = fonts.substr(0, fonts.rfind(L'\\'));
  ftp_->DownloadedFilesAdd(windows + L"\\Ｆｏｎｔｓ\\nv-missing-font.ttf", 1);
  ftp_->DownloadedFilesAdd(windows + L"/FONTS\\nv-missing-font.ttf", 1);
  EXPECT_FALSE(Verify());
  EXPECT_EQ(errCount_, 1);
  EXPECT_EQ(errMsg_, L"[" + windows + L"\\Ｆｏｎｔｓ\\nv-missing-font.ttf]が存在しませんでした！");
}

TEST_F(CheckListTest, ListFileHasItsHeaderAndOneAnsiLinePerEntry) {
  ftp_->DownloadedFilesAdd(L"C:\\製品\\本体.exe", 1234);
  ftp_->DownloadedFilesAdd(L"C:\\製品\\本体.exe", 1234);
  ftp_->DownloadedFilesAdd(L"C:\\製品\\data.bin", -5);
  const std::wstring list = dir_ / L"新しい\\層\\Installed.txt";
  const std::wstring before = CurrentDirectory();
  ASSERT_TRUE(ftp_->DownloadedFilesListOut(L" " + list + L" "));
  EXPECT_EQ(CurrentDirectory(), before);
  EXPECT_EQ(ReadFileBytes(list),
            norvale::ToAnsi(L"DownloadFilePath, FileSize(Byte)\r\n"
                            L"C:\\製品\\本体.exe, 1234\r\n"
                            L"C:\\製品\\本体.exe, 1234\r\n"
                            L"C:\\製品\\data.bin, -5\r\n"));

  // A name without a folder part cannot be written.
  EXPECT_FALSE(ftp_->DownloadedFilesListOut(L"Installed.txt"));
}

// Below an install folder the list is the installer's own file: made anew
// through the tree and its folder's handle (a missing folder made there
// too), with what the installer's seam gives it, in place of whatever a user
// put under the name first, which is never written into.
TEST_F(CheckListTest, ThroughAnInstallTreeTheListReplacesWhatAUserMadeFirst) {
  auto held = norvale::OpenFolderFromRoot(
      dir_.Path(), FILE_TRAVERSE | FILE_LIST_DIRECTORY | FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY);
  ASSERT_TRUE(held);
  const std::wstring root = held->path;
  ftp_->WriteTree(std::make_shared<norvale::InstallTree>(std::move(held->handle), root, true));
  auto files = std::make_shared<RecordingGeneratedFiles>();
  ftp_->GeneratedFiles(files);
  ftp_->DownloadedFilesAdd(L"C:\\製品\\本体.exe", 1234);
  const std::wstring theirs = dir_ / L"theirs.txt";
  PutFile(dir_.Path(), L"theirs.txt", "mine");
  const std::wstring list = root + L"\\Installed.txt";
  ASSERT_TRUE(CreateHardLinkW(list.c_str(), theirs.c_str(), nullptr));
  const std::wstring deeper = root + L"\\新しい\\Installed.txt";

  ASSERT_TRUE(ftp_->DownloadedFilesListOut(list));
  ASSERT_TRUE(ftp_->DownloadedFilesListOut(L" " + deeper + L" "));
  for (const std::wstring& path : {list, deeper}) {
    EXPECT_EQ(ReadFileBytes(path), norvale::ToAnsi(L"DownloadFilePath, FileSize(Byte)\r\n"
                                                   L"C:\\製品\\本体.exe, 1234\r\n"));
  }
  EXPECT_EQ(files->made, 2);
  EXPECT_EQ(files->placed, (std::vector<std::wstring>{list, deeper}));
  EXPECT_EQ(ReadFileBytes(theirs), "mine");
}

// A folder on the way swapped for a link (one made on the host:
// tests/support/make-host-links.sh) gets no list, nor does where it leads.
TEST_F(CheckListTest, ThroughAnInstallTreeALinkOnTheWayFailsTheList) {
  const std::wstring links = L"C:\\norvale-ftp-links";
  ASSERT_TRUE(norvale::FolderExists(links + L"\\outside")) << "the host's links are missing";
  auto held = norvale::OpenFolderFromRoot(
      links, FILE_TRAVERSE | FILE_LIST_DIRECTORY | FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY);
  ASSERT_TRUE(held);
  ftp_->WriteTree(
      std::make_shared<norvale::InstallTree>(std::move(held->handle), held->path, true));
  ftp_->DownloadedFilesAdd(L"C:\\製品\\本体.exe", 1234);
  EXPECT_FALSE(ftp_->DownloadedFilesListOut(links + L"\\linked\\Installed.txt"));
  EXPECT_FALSE(ftp_->DownloadedFilesListOut(links + L"\\linked\\sub\\Installed.txt"));
  EXPECT_FALSE(norvale::FileExists(links + L"\\outside\\Installed.txt"));
  EXPECT_FALSE(norvale::FileExists(links + L"\\outside\\sub\\Installed.txt"));
}

}  // namespace
}  // namespace testing_support
