// The install run from start to end with the real FTP server: the order of
// the record's sections, the marker file, the Uninstall entry, and the early
// end after an aborted download.
#include <windows.h>

#include <algorithm>

#include "EngineRunFixture.h"
#include "FileActs.h"
#include "FileSystem.h"
#include "FolderAccess.h"
#include "GeneratedFiles.h"
#include "Handles.h"
#include "InstallFolders.h"
#include "InstallSequence.h"
#include "InstallTree.h"
#include "Text.h"
#include "UninstallRegistration.h"

namespace testing_support {
namespace {

const std::wstring kUninstall = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

class InstallSequenceTest : public PackageServerTest {};

// Where the [Setup] section begins.
size_t SetupLine(const std::vector<std::wstring>& log) {
  return static_cast<size_t>(std::find(log.begin(), log.end(), L"[Setup]") - log.begin());
}

std::vector<std::wstring> Headers(const std::vector<std::wstring>& log) {
  std::vector<std::wstring> headers;
  for (const std::wstring& line : log) {
    if (!line.empty() && line[0] == L'[') headers.push_back(line);
  }
  return headers;
}

TEST_F(InstallSequenceTest, ACompletedRunRecordsEveryStepAndRegistersTheProduct) {
  ScopedRegKey entry(HKEY_LOCAL_MACHINE, kUninstall + State().AppId);
  // A record and a marker of an earlier installation into the same folder.
  ASSERT_EQ(State().objPublicFunc.MakeDir(appDir_ + L"\\Uninst"), 0);
  WriteFileBytes(appDir_ + L"\\Setup_Start.txt", "old marker\r\nold\r\n");
  State().TmpDir = L"C:\\elsewhere";
  State().AlertSpaceOnDisk = 25000;  // 2.5
  State().InstallFilesList = L" files.txt ";
  AddDownload(L"/pkg/files/readme.txt", L"{app}");
  AddDownload(L"/pkg/files/data.zip", L"{app}\\data");

  EXPECT_EQ(norvale::ExecuteSetup(Run()), 0);
  EXPECT_EQ(State().InstallAborted, 0);
  EXPECT_EQ(State().TmpDir, appDir_ + L"\\TEMP");
  EXPECT_FALSE(window_->cancelEnabled);
  EXPECT_EQ(window_->finalRun, 1);

  // The folders from the drive down, then "Uninst", then the identity. The
  // install folder was there before: the run took it closed and gave it its
  // list once it held "Uninst", which went and was made anew with its own.
  const size_t setup = SetupLine(log_);
  ASSERT_LT(setup + 9, log_.size());
  ASSERT_EQ(folderAccess_->applied.size(), 2u);
  EXPECT_EQ(folderAccess_->applied[0].folder, appDir_);
  EXPECT_EQ(folderAccess_->applied[1].folder, appDir_);
  const auto uninst = std::find_if(folderAccess_->created.begin(), folderAccess_->created.end(),
                                   [&](const auto& use) { return use.folder == appDir_ + L"\\Uninst"; });
  ASSERT_NE(uninst, folderAccess_->created.end());
  EXPECT_EQ(log_[0], L";Setup処理を開始しました。");
  EXPECT_EQ(log_[setup - 2], norvale::kUninstallerFolderAccessComment + uninst->list.Text());
  EXPECT_EQ(log_[setup - 1].rfind(norvale::kFileAccessComment + appDir_ +
                                      L"\\Setup_Start.txt|作成|",
                                  0),
            0u)
      << norvale::ToAnsi(log_[setup - 1]);
  for (size_t i = 1; i + 2 < setup; ++i) {
    EXPECT_EQ(log_[i].rfind(norvale::kFolderAccessComment, 0), 0u) << norvale::ToAnsi(log_[i]);
  }
  const std::vector<std::wstring> identity(log_.begin() + setup, log_.begin() + setup + 9);
  EXPECT_EQ(identity, (std::vector<std::wstring>{
                          L"[Setup]", L";セットアップ情報", L"AppId=" + State().AppId,
                          L"AppName=Norvale POS", L"AppVerName=Ver 3.2", L"AppDir=" + appDir_,
                          L"AlertSpaceOnDisk=2.5", L"InstallFilesList=files.txt", L"[Download]"}));
  EXPECT_EQ(Headers(log_), (std::vector<std::wstring>{L"[Setup]", L"[Download]", L"[ショートカット]",
                                                      L"[APファイルリンク]", L"[自動実行]",
                                                      L"[管理者権限]"}));
  EXPECT_EQ(norvale::FromAnsi(ReadFileBytes(appDir_ + L"\\Setup_Start.txt")),
            L"2026/12/09 14:05:33 [Norvale POS]のインストールを開始しました。\r\n");
  EXPECT_EQ(ReadFileBytes(appDir_ + L"\\readme.txt"), Served(L"pkg/files/readme.txt"));
  EXPECT_TRUE(norvale::FolderExists(appDir_ + L"\\TEMP"));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kUninstall + State().AppId, kView64));
  // The uninstaller step runs last: its final act copies "Start.ini".
  ASSERT_FALSE(calls_.empty());
  EXPECT_EQ(calls_.back().rfind(L"vbCopyFile ", 0), 0u);
  EXPECT_EQ(calls_.back().substr(calls_.back().size() - appDir_.size()), appDir_);
}

TEST_F(InstallSequenceTest, AnAbortedDownloadEndsTheRunBeforeAnyRegistration) {
  AddDownload(L"/pkg/files/absent.txt", L"{app}");
  box_->Answer(L"リトライしますか？", IDNO);
  box_->Answer(L"★処理を中止しますか？", IDYES);

  EXPECT_EQ(norvale::ExecuteSetup(Run()), 0);
  EXPECT_EQ(State().InstallAborted, -1);
  EXPECT_EQ(window_->finalRun, 0);
  EXPECT_TRUE(window_->cancelEnabled);
  EXPECT_EQ(std::count(calls_.begin(), calls_.end(), L"CreateShortCuts"), 0);
  EXPECT_EQ(Headers(log_), (std::vector<std::wstring>{L"[Setup]", L"[Download]"}));
  EXPECT_EQ(log_.back(), L"");
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstall + State().AppId, kView64));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstall + State().AppId, kOwnView));
  EXPECT_FALSE(norvale::FileExists(appDir_ + L"\\Uninst\\Dekant00.exe"));
}

TEST_F(InstallSequenceTest, AMarkerFileThatCannotBeWrittenIsRecordedAndTheRunGoesOn) {
  ScopedRegKey entry(HKEY_LOCAL_MACHINE, kUninstall + State().AppId);
  ASSERT_EQ(State().objPublicFunc.MakeDir(appDir_), 0);
  const std::wstring marker = appDir_ + L"\\Setup_Start.txt";
  WriteFileBytes(marker, "locked");
  const norvale::FileHandle lock(CreateFileW(marker.c_str(), GENERIC_READ, 0, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(lock);

  EXPECT_EQ(norvale::ExecuteSetup(Run()), 0);
  const size_t setup = SetupLine(log_);
  ASSERT_TRUE(setup >= 3 && setup < log_.size());
  EXPECT_EQ(log_[setup - 1], L";★Setup_Start.txtの作成に失敗しました！");
  EXPECT_EQ(log_[setup - 2].rfind(norvale::kUninstallerFolderAccessComment, 0), 0u);
  // An empty download list: the header lines only, then every later step.
  EXPECT_EQ(Section(L"Download"), (std::vector<std::wstring>{L";ダウンロード結果", L"Count=0", L"", L""}));
  EXPECT_EQ(std::count(calls_.begin(), calls_.end(), L"CreateShortCuts"), 1);
  EXPECT_EQ(Section(L"Setup").size(), 5u);
}

// "Setup_Start.txt" and the installed-files list are the run's own files in
// the install folder, where users may make names first: what a user made
// there (the list as another name of a file of theirs) is replaced by the
// run's file, never written into, and the run's is made with a list under
// which only administrators may change it (Wine keeps none: read as handed
// over). The record says what each got.
TEST_F(InstallSequenceTest, TheFilesTheRunWritesReplaceWhatAUserMadeFirst) {
  ScopedRegKey entry(HKEY_LOCAL_MACHINE, kUninstall + State().AppId);
  ASSERT_EQ(State().objPublicFunc.MakeDir(appDir_), 0);
  const std::wstring marker = appDir_ + L"\\Setup_Start.txt";
  const std::wstring list = appDir_ + L"\\files.txt";
  WriteFileBytes(marker, "a user's marker\r\n");
  const std::wstring theirs = *outside_ / L"theirs.txt";
  WriteFileBytes(theirs, "mine");
  ASSERT_TRUE(CreateHardLinkW(list.c_str(), theirs.c_str(), nullptr));
  State().InstallFilesList = L"files.txt";
  AddDownload(L"/pkg/files/readme.txt", L"{app}");

  EXPECT_EQ(norvale::ExecuteSetup(Run()), 0);
  EXPECT_EQ(State().InstallAborted, 0);
  EXPECT_EQ(norvale::FromAnsi(ReadFileBytes(marker)),
            L"2026/12/09 14:05:33 [Norvale POS]のインストールを開始しました。\r\n");
  const std::string written = ReadFileBytes(list);
  EXPECT_EQ(written.rfind("DownloadFilePath, FileSize(Byte)\r\n", 0), 0u) << written;
  EXPECT_NE(written.find(norvale::ToAnsi(appDir_ + L"\\readme.txt, ")), std::string::npos);
  EXPECT_EQ(ReadFileBytes(theirs), "mine");
  const auto expected =
      norvale::FolderAccessListForThisRun(*folderAccess_, norvale::GuardedFolder::kGeneratedFile);
  ASSERT_TRUE(expected);
  for (const std::wstring& path : {marker, list}) {
    SCOPED_TRACE(norvale::ToAnsi(path));
    const auto* made = folderAccess_->FileMadeAt(path);
    ASSERT_TRUE(made);
    ASSERT_TRUE(made->list);
    EXPECT_EQ(made->list->Text(), expected->Text());
    EXPECT_TRUE(Logged(norvale::kFileAccessComment + path + L"|作成|" + expected->Text()));
  }
}

// Everything the elevated uninstaller trusts lies in "Uninst": an elevated
// run makes it with the list of Program Files in the same call, before
// anything goes in, and the record says what it got. Wine keeps no list, so
// the list is read as it was handed over (RecordingFolderAccess.h). An
// unelevated run leaves what the folder inherits. An "Uninst" that was there
// and cannot get the list stops the run before anything is written into it.
TEST_F(InstallSequenceTest, TheUninstallerFolderIsBornClosedToOrdinaryUsers) {
  // The install folder is the run's to make.
  const auto withoutInstallFolder = [this] {
    RemoveDirectoryW((appDir_ + L"\\TEMP").c_str());
    RemoveDirectoryW(appDir_.c_str());
  };
  withoutInstallFolder();
  EXPECT_EQ(norvale::ExecuteSetup(Run()), 0);
  EXPECT_EQ(State().InstallAborted, 0);
  EXPECT_TRUE(std::none_of(folderAccess_->applied.begin(), folderAccess_->applied.end(),
                           [&](const auto& use) { return use.folder == appDir_ + L"\\Uninst"; }))
      << "nothing is set on \"Uninst\" after it was made";
  const auto uninst = std::find_if(folderAccess_->created.begin(), folderAccess_->created.end(),
                                   [&](const auto& use) { return use.folder == appDir_ + L"\\Uninst"; });
  ASSERT_NE(uninst, folderAccess_->created.end());
  const ListReading reading = Read(uninst->list);
  EXPECT_EQ(reading.owner, L"Administrators");
  EXPECT_TRUE(reading.isProtected);
  EXPECT_EQ(reading.writers, (std::vector<std::wstring>{L"Administrators", L"SYSTEM"}));
  EXPECT_EQ(reading.readers, (std::vector<std::wstring>{L"Users"}));
  // Then the marker's list.
  const size_t setup = SetupLine(log_);
  ASSERT_TRUE(setup >= 3 && setup < log_.size());
  EXPECT_EQ(log_[setup - 2], L";Uninstのアクセス許可=" + uninst->list.Text());

  NewServedRun(Windows10x64());
  withoutInstallFolder();
  folderAccess_->elevated = false;
  EXPECT_EQ(norvale::ExecuteSetup(Run()), 0);
  EXPECT_TRUE(std::none_of(folderAccess_->created.begin(), folderAccess_->created.end(),
                           [&](const auto& use) { return use.folder == appDir_ + L"\\Uninst"; }));
  // The marker keeps what the folder passes down: no line names a list.
  ASSERT_GE(SetupLine(log_), 2u);
  EXPECT_EQ(log_[SetupLine(log_) - 1], L";Uninstのアクセス許可=継承(管理者権限なしのインストール)");
  EXPECT_TRUE(std::none_of(log_.begin(), log_.end(), [](const std::wstring& line) {
    return line.rfind(norvale::kFileAccessComment, 0) == 0;
  }));

  NewServedRun(Windows10x64());
  ASSERT_EQ(State().objPublicFunc.MakeDir(appDir_ + L"\\Uninst"), 0);
  folderAccess_->applyError = ERROR_ACCESS_DENIED;
  EXPECT_EQ(norvale::ExecuteSetup(Run()), 0);
  EXPECT_EQ(State().InstallAborted, -1);
  EXPECT_EQ(window_->finalRun, 0);
  EXPECT_TRUE(log_.empty()) << "no record is begun in a folder that is not the run's own";
  ASSERT_EQ(box_->Count(L"インストールを続行できません！"), 1);
  EXPECT_NE(box_->First(L"インストールを続行できません！")->text.find(appDir_), std::wstring::npos);
}

TEST_F(InstallSequenceTest, TheMarkerWriterReplacesOrAppends) {
  ASSERT_EQ(State().objPublicFunc.MakeDir(appDir_), 0);
  EXPECT_EQ(norvale::WriteSetupStartTxt(Run(), L"一行目", 1), 0);
  EXPECT_EQ(norvale::WriteSetupStartTxt(Run(), L"二行目", 0), 0);
  EXPECT_EQ(norvale::FromAnsi(ReadFileBytes(appDir_ + L"\\Setup_Start.txt")), L"一行目\r\n二行目\r\n");
  EXPECT_EQ(norvale::WriteSetupStartTxt(Run(), L"新規", 1), 0);
  EXPECT_EQ(norvale::FromAnsi(ReadFileBytes(appDir_ + L"\\Setup_Start.txt")), L"新規\r\n");
  State().InputItems[1].value = *outside_ / L"missing folder";
  EXPECT_EQ(norvale::WriteSetupStartTxt(Run(), L"x", 1), ERROR_PATH_NOT_FOUND);

  // Through the install's tree the marker is made anew each time, and a line
  // is added only to a marker this run made: one that was there is made anew.
  State().InputItems[1].value = appDir_;
  auto held = norvale::OpenFolderFromRoot(
      appDir_, FILE_TRAVERSE | FILE_LIST_DIRECTORY | FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY);
  ASSERT_TRUE(held);
  State().installTree =
      std::make_shared<norvale::InstallTree>(std::move(held->handle), held->path, false);
  const std::wstring marker = appDir_ + L"\\Setup_Start.txt";
  EXPECT_EQ(norvale::WriteSetupStartTxt(Run(), L"二行目", 0), 0);
  EXPECT_EQ(norvale::FromAnsi(ReadFileBytes(marker)), L"二行目\r\n");
  EXPECT_EQ(norvale::WriteSetupStartTxt(Run(), L"三行目", 0), 0);
  EXPECT_EQ(norvale::FromAnsi(ReadFileBytes(marker)), L"二行目\r\n三行目\r\n");
  EXPECT_EQ(norvale::WriteSetupStartTxt(Run(), L"新規", 1), 0);
  EXPECT_EQ(norvale::FromAnsi(ReadFileBytes(marker)), L"新規\r\n");
  EXPECT_TRUE(folderAccess_->FileMadeAt(marker));
}

}  // namespace
}  // namespace testing_support
