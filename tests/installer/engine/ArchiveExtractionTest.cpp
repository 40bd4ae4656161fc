#include <gtest/gtest.h>

#include "ArchiveExtraction.h"
#include "DeleteGuard.h"
#include "EngineTestSupport.h"
#include "FileSystem.h"
#include "FileActs.h"
#include "Text.h"

using namespace engine_testing;
using namespace norvale;
using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

namespace {

// Wine has no zip folder: this one "unpacks" the fake DLL's archives the
// same way and records what it was asked.
class FakeZipFolder final : public IShellZipFolder {
 public:
  bool CopyItemsOut(const std::wstring& zip, const std::wstring& folder,
                    std::wstring* error) override {
    calls.push_back(zip + L"|" + folder);
    if (!answer) *error = L"no zip folder";
    else WriteFileBytes(folder + L"\\from-shell.txt", "s");
    return answer;
  }
  std::vector<std::wstring> calls;
  bool answer = true;
};

class ArchiveExtractionTest : public ::testing::Test {
 protected:
  ArchiveExtractionTest() {
    CreateDirectoryW(program_.c_str(), nullptr);
    CreateDirectoryW(downloads_.c_str(), nullptr);
    CreateDirectoryW(dest_.c_str(), nullptr);
    CopyFileW(FakeArchiveDll().c_str(), (program_ + L"\\7-zip32.dll").c_str(), FALSE);
    engine_.macros.table[L"{windir}"] = dir_ / L"windows";
    engine_.context->seams.programFolder = program_;
    engine_.context->seams.zipFolder = zipFolder_;
  }
  ~ArchiveExtractionTest() override { SetEnvironmentVariableW(L"FAKEARC_RESULT", nullptr); }
  // A fake archive: one entry a line, "dir\" a folder, "path=content" a file.
  std::wstring Archive(const std::wstring& name, const std::wstring& entries) {
    const std::wstring path = downloads_ + L"\\" + name;
    WriteUtf8(path, entries);
    return path;
  }
  bool Extract(const std::wstring& zip, RecordingCaption* label = nullptr,
               const std::wstring& dest = L"") {
    return ExtractZipFolder(*engine_.context, zip, dest.empty() ? dest_ : dest, error_, label);
  }

  testing_support::TempDir dir_{L"zip"};
  const std::wstring program_ = dir_ / L"installer";
  // A blank in the archive's folder, as under "C:\Program Files (x86)".
  const std::wstring downloads_ = dir_ / L"一時 フォルダ";
  const std::wstring dest_ = dir_ / L"ノルヴァーレ POS";
  EngineUnderTest engine_{dir_ / L"app"};
  std::shared_ptr<FakeZipFolder> zipFolder_ = std::make_shared<FakeZipFolder>();
  std::wstring error_ = L"stale";
};

TEST_F(ArchiveExtractionTest, TheTopFoldersContentsReachTheDestination) {
  WriteFileBytes(dest_ + L"\\a.txt", "old");
  WriteFileBytes(dest_ + L"\\mine.txt", "kept");
  const std::wstring zip = Archive(L"pkg.zip",
                                   L"pkg\\\npkg\\a.txt=新しい\npkg\\サブ\\b.txt=B\npkg\\空\\\n");
  RecordingCaption label;
  ASSERT_TRUE(Extract(zip, &label)) << error_;
  EXPECT_EQ(L"", error_);
  EXPECT_EQ("新しい", ReadFileBytes(dest_ + L"\\a.txt"));
  EXPECT_EQ("B", ReadFileBytes(dest_ + L"\\サブ\\b.txt"));
  EXPECT_TRUE(Exists(dest_ + L"\\空"));
  EXPECT_EQ("kept", ReadFileBytes(dest_ + L"\\mine.txt"));
  EXPECT_FALSE(Exists(dest_ + L"\\pkg"));
  EXPECT_FALSE(Exists(downloads_ + L"\\pp1_temp"));
  EXPECT_TRUE(Exists(zip));
  EXPECT_EQ((std::vector<std::wstring>{L"pkg.zipを解凍しています...",
                                       L"解凍したファイルを転送しています...", L""}),
            label.texts);
  EXPECT_TRUE(zipFolder_->calls.empty());
}

TEST_F(ArchiveExtractionTest, ArchivesWithoutAFolderOnTopFail) {
  EXPECT_FALSE(Extract(Archive(L"PKG.ZIP", L"a.txt=1\n")));
  EXPECT_EQ(L"解凍されたフォルダをコピーできませんでした！", error_);
  EXPECT_FALSE(Exists(dest_ + L"\\a.txt"));
  EXPECT_FALSE(Exists(downloads_ + L"\\pp1_temp"));

  EXPECT_FALSE(Extract(Archive(L"empty.zip", L"")));
  EXPECT_EQ(L"圧縮ファイルにフォルダが存在しませんでした！", error_);

  SetEnvironmentVariableW(L"FAKEARC_RESULT", L"2");
  EXPECT_FALSE(Extract(Archive(L"bad.zip", L"pkg\\\n")));
  EXPECT_EQ(L"zipファイルを解凍できませんでした！", error_);
  EXPECT_FALSE(Exists(downloads_ + L"\\pp1_temp"));
}

// The archive DLL and the shell write by name: the archive is unpacked in a
// folder of its own, made with a list that keeps every other program out,
// never beside the archive in the install folder, whose folders other users
// may swap for a link. Elevated, that folder lies in the system's Windows
// folder's TEMP (the prefix's C:\windows\Temp, which WOW64 does not
// redirect): the run's own TEMP lies in the profile, where the account's
// unelevated programs may rename what it holds. Wine keeps no list: the
// list is read as handed over.
TEST_F(ArchiveExtractionTest, ArchivesAreUnpackedInAFolderOnlyThisRunMayChange) {
  ASSERT_TRUE(engine_.folderAccess->IsElevated());
  ASSERT_TRUE(Extract(Archive(L"pkg.zip", L"pkg\\\npkg\\a.txt=A\n"))) << error_;
  ASSERT_EQ(engine_.folderAccess->created.size(), 1u);
  const auto& work = engine_.folderAccess->created[0];
  wchar_t windows[MAX_PATH + 1] = {};
  const UINT n = GetSystemWindowsDirectoryW(windows, MAX_PATH + 1);
  EXPECT_EQ(work.folder.rfind(std::wstring(windows, n) + L"\\Temp\\Norvale-", 0), 0u)
      << ToAnsi(work.folder);
  const auto reading = testing_support::Read(work.list);
  EXPECT_EQ(reading.owner, L"Administrators");
  EXPECT_TRUE(reading.isProtected);
  EXPECT_EQ(reading.writers, (std::vector<std::wstring>{L"Administrators", L"SYSTEM"}));
  EXPECT_TRUE(reading.readers.empty());
  EXPECT_FALSE(Exists(work.folder)) << "gone once the files are copied";
  EXPECT_EQ("A", ReadFileBytes(dest_ + L"\\a.txt"));
}

// A destination in the install folder is reached through the install
// folder's handle one folder at a time: a folder that is a link (one made on
// the host, tests/support/make-host-links.sh) receives nothing, neither from
// an archive nor from a copy.
TEST_F(ArchiveExtractionTest, CopiesIntoTheInstallFolderNeverFollowALink) {
  const std::wstring links = L"C:\\norvale-tree-links";
  ASSERT_TRUE(FolderExists(links + L"\\outside")) << "the host's links are missing";
  const std::wstring root = dir_ / L"app";
  CreateDirectoryW(root.c_str(), nullptr);
  auto held = OpenFolderFromRoot(
      links, FILE_TRAVERSE | FILE_LIST_DIRECTORY | FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY);
  ASSERT_TRUE(held);
  engine_.state->installTree =
      std::make_shared<InstallTree>(std::move(held->handle), held->path, false);

  EXPECT_FALSE(Extract(Archive(L"pkg.zip", L"pkg\\\npkg\\a.txt=A\n"), nullptr, links + L"\\linked"));
  EXPECT_FALSE(Extract(Archive(L"pkg.zip", L"pkg\\\npkg\\a.txt=A\n"), nullptr,
                       links + L"\\linked\\pkg"));
  const std::wstring source = dir_ / L"源.txt";
  WriteFileBytes(source, "data");
  std::wstring error;
  EXPECT_FALSE(vbCopyFile(source, links + L"\\linked\\", true, false, error,
                          engine_.state->installTree.get()));
  EXPECT_FALSE(vbCopyFolder(dir_ / L"app", links + L"\\linked\\", true, error,
                            engine_.state->installTree.get()));
  EXPECT_FALSE(Exists(links + L"\\outside\\a.txt"));
  EXPECT_FALSE(Exists(links + L"\\outside\\pkg"));
  EXPECT_FALSE(Exists(links + L"\\outside\\源.txt"));
  EXPECT_FALSE(Exists(links + L"\\outside\\app"));

  // Where no link is on the way, the copies arrive as always.
  const std::wstring fresh = links + L"\\fresh-" + std::to_wstring(GetCurrentProcessId());
  EXPECT_TRUE(Extract(Archive(L"pkg.zip", L"pkg\\\npkg\\a.txt=A\n"), nullptr, fresh)) << error_;
  EXPECT_EQ("A", ReadFileBytes(fresh + L"\\a.txt"));
  EXPECT_TRUE(vbCopyFile(source, fresh + L"\\sub\\", true, false, error,
                         engine_.state->installTree.get())) << ToAnsi(error);
  EXPECT_EQ("data", ReadFileBytes(fresh + L"\\sub\\源.txt"));
  DeleteTree(fresh);
}

// "Uninst" holds the elevated uninstaller and what it trusts, which the
// installer puts there itself: an archive that has anything for it, by any
// spelling of its name, or that would be unpacked into it, is copied
// nowhere, and the extraction says why.
TEST_F(ArchiveExtractionTest, NothingAnArchiveHoldsGoesIntoUninst) {
  const std::wstring app = dir_ / L"app";
  CreateDirectoryW(app.c_str(), nullptr);
  CreateDirectoryW((app + L"\\Uninst").c_str(), nullptr);
  WriteFileBytes(app + L"\\Uninst\\Dekant00.exe", "the uninstaller");
  engine_.macros.table[L"{app}"] = app;
  const wchar_t kRefused[] = L"圧縮ファイルにアンインストーラのフォルダ（Uninst）へ入るファイルがあります！";
  struct Case {
    const wchar_t* entries;
    std::wstring dest;
  };
  const Case cases[] = {
      {L"pkg\\\npkg\\a.txt=A\npkg\\Uninst\\Dekant00.exe=planted\n", app},
      {L"pkg\\\npkg\\a.txt=A\npkg\\uninst\\sub\\b.txt=planted\n", app},
      {L"pkg\\\npkg\\a.txt=A\npkg\\Uninst=planted\n", app},
      {L"pkg\\\npkg\\Dekant00.exe=planted\n", app + L"\\bin\\..\\Uninst"},
      {L"pkg\\\npkg\\Uninst\\Dekant00.exe=planted\n", app + L"\\"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToAnsi(c.entries));
    EXPECT_FALSE(Extract(Archive(L"pkg.zip", c.entries), nullptr, c.dest));
    EXPECT_EQ(kRefused, error_);
    EXPECT_FALSE(Exists(app + L"\\a.txt")) << "nothing of such an archive is copied";
    EXPECT_EQ("the uninstaller", ReadFileBytes(app + L"\\Uninst\\Dekant00.exe"));
    EXPECT_FALSE(Exists(app + L"\\Uninst\\sub"));
  }
  // Beside it, the same archive's other entries arrive as always.
  EXPECT_TRUE(Extract(Archive(L"pkg.zip", L"pkg\\\npkg\\a.txt=A\npkg\\Uninst2\\c.txt=C\n"),
                      nullptr, app))
      << ToAnsi(error_);
  EXPECT_EQ("A", ReadFileBytes(app + L"\\a.txt"));
  EXPECT_EQ("C", ReadFileBytes(app + L"\\Uninst2\\c.txt"));
}

TEST_F(ArchiveExtractionTest, RefusalsComeBeforeAnythingIsTouched) {
  const std::wstring lzh = Archive(L"pkg.lzh", L"pkg\\\n");
  EXPECT_FALSE(Extract(lzh));
  EXPECT_EQ(L"zipファイル以外のファイルは解凍できません！", error_);
  EXPECT_FALSE(Exists(downloads_ + L"\\pp1_temp"));
  EXPECT_FALSE(ExtractZipFolder(*engine_.context, L" ", dest_, error_, nullptr));
  EXPECT_EQ(L"圧縮ファイルパスが設定されていません！", error_);
  EXPECT_FALSE(ExtractZipFolder(*engine_.context, lzh, L"", error_, nullptr));
  EXPECT_EQ(L"コピー先フォルダが設定されていません！", error_);
  EXPECT_FALSE(ExtractZip(*engine_.context, lzh, L" ", error_, nullptr));
  EXPECT_EQ(L"解凍先フォルダが設定されていません！", error_);
}

TEST_F(ArchiveExtractionTest, WithoutTheDllTheShellsZipFolderUnpacks) {
  DeleteFileW((program_ + L"\\7-zip32.dll").c_str());
  const std::wstring zip = Archive(L"pkg.zip", L"pkg\\\n");
  EXPECT_TRUE(ExtractArchive(*engine_.context, zip, dir_ / L"new"));
  EXPECT_TRUE(Exists(dir_ / L"new\\from-shell.txt"));
  // A blank destination is the installer's own folder.
  EXPECT_TRUE(ExtractArchive(*engine_.context, zip, L""));
  EXPECT_EQ((std::vector<std::wstring>{zip + L"|" + (dir_ / L"new"), zip + L"|" + program_}),
            zipFolder_->calls);
  zipFolder_->answer = false;
  EXPECT_FALSE(ExtractArchive(*engine_.context, zip, dir_ / L"new"));
  // The shell is asked only for an existing archive named ".zip".
  EXPECT_FALSE(UnzipByShell(*engine_.context, Archive(L"pkg.lzh", L""), dest_));
  EXPECT_FALSE(UnzipByShell(*engine_.context, dir_ / L"missing.zip", dest_));
  EXPECT_EQ(3u, zipFolder_->calls.size());
}

TEST_F(ArchiveExtractionTest, ExtractZipEmptiesItsDestinationFirst) {
  WriteFileBytes(dest_ + L"\\old.txt", "x");
  ASSERT_TRUE(ExtractZip(*engine_.context, Archive(L"p.zip", L"pkg\\f.txt=1\n"), dest_, error_,
                         nullptr));
  EXPECT_FALSE(Exists(dest_ + L"\\old.txt"));
  EXPECT_EQ("1", ReadFileBytes(dest_ + L"\\pkg\\f.txt"));
}

TEST_F(ArchiveExtractionTest, CopyingFilesAndFolders) {
  const std::wstring source = dir_ / L"源.txt";
  WriteFileBytes(source, "data");
  std::wstring error;
  EXPECT_TRUE(vbCopyFile(source, dir_ / L"X\\b.txt", true, true, error));
  EXPECT_EQ("data", ReadFileBytes(dir_ / L"X\\b.txt"));
  EXPECT_TRUE(vbCopyFile(source, dir_ / L"Y\\b.txt", true, false, error));
  EXPECT_EQ("data", ReadFileBytes(dir_ / L"Y\\b.txt\\源.txt"));
  EXPECT_FALSE(vbCopyFile(source, dir_ / L"X\\b.txt", false, true, error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(vbCopyFile(L" ", dir_ / L"X", true, false, error));
  EXPECT_EQ(L"パスが指定されていません！", error);
  EXPECT_FALSE(vbCopyFile(dir_ / L"none.txt", dir_ / L"X\\", true, false, error));
  EXPECT_FALSE(error.empty());

  CreateDirectoryW((dir_ / L"X\\sub").c_str(), nullptr);
  WriteFileBytes(dir_ / L"X\\sub\\c.txt", "");
  EXPECT_TRUE(vbCopyFolder(dir_ / L"X\\", dir_ / L"Z\\", true, error));
  EXPECT_TRUE(Exists(dir_ / L"Z\\X\\sub\\c.txt"));
  EXPECT_TRUE(vbCopyFolder(dir_ / L"X", dir_ / L"W", true, error));
  EXPECT_TRUE(Exists(dir_ / L"W\\sub\\c.txt"));
  EXPECT_FALSE(vbCopyFolder(L"", dir_ / L"W", true, error));
  EXPECT_EQ(L"フォルダが指定されていません！", error);

  EXPECT_EQ(0, GetPathKind(L" "));
  EXPECT_EQ(1, GetPathKind(source));
  EXPECT_EQ(2, GetPathKind(dir_.Path()));
  EXPECT_EQ(0, GetPathKind(dir_ / L"none"));
}

}  // namespace
