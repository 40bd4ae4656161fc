// Next on the ready page: the install run behind the progress page, the
// marker file's removal and its record lines, Cancel during a large download
// against a real FTP server, and the roll-back that leaves the machine as it
// was.
#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

#include "DeleteGuard.h"
#include "FileSystem.h"
#include "FtpTestServer.h"
#include "Handles.h"
#include "PageMachineSupport.h"
#include "RecordingFolderAccess.h"
#include "SampleRecords.h"
#include "TempDir.h"
#include "Text.h"
#include "WinServicesTestSupport.h"

using namespace norvale;
using namespace wizard_testing;
using testing_support::ScopedRegKey;
using testing_support::TempDir;

namespace {

const std::wstring kUninstall = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const std::wstring kStopTitle = L"★処理を中止しますか？";
constexpr size_t kBigFile = 3 * 1024 * 1024;

std::wstring TestProgramFolder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return BeforeLast(path, L'\\');
}

std::string ReadBytes(const std::wstring& path) {
  std::string bytes;
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  CloseHandle(file);
  return bytes;
}

// 0 when the file can be opened for writing now, else why not.
DWORD WriteError(const std::wstring& path) {
  const FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr));
  return file ? ERROR_SUCCESS : GetLastError();
}

// The folders on the way are the administrators', as Windows answers for
// what an elevated run made; Wine calls every folder the running account's,
// of which an elevated run would warn.
std::shared_ptr<testing_support::RecordingFolderAccess> AdministratorsFolders() {
  auto access = std::make_shared<testing_support::RecordingFolderAccess>();
  access->lists = [](const std::wstring&) -> std::optional<FolderAccessList> {
    return testing_support::ListFromSddl(testing_support::kAdministratorsFolder);
  };
  return access;
}

// The Uninstall entry, which the run writes into the 64-bit view on 64-bit
// Windows: the prefix is 64-bit for both test builds.
bool KeyExists(const std::wstring& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &key) !=
      ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

class InstallRunTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    root_ = std::make_unique<TempDir>(L"wizard ftp");
    const std::wstring r = root_->Path();
    testing_support::PutFile(r, L"pkg/readme.txt", "read me\r\n");
    testing_support::PutFile(r, L"pkg/tool.txt", "temporary tool\r\n");
    testing_support::PutFile(r, L"pkg/big.bin", std::string(kBigFile, 'x'));
    testing_support::PutFile(r, L"pkg/app.zip",
                             ReadBytes(TestProgramFolder() + L"\\wizard-package.zip"));
    testing_support::PutFile(r, L"pkg/uninst.zip",
                             ReadBytes(TestProgramFolder() + L"\\wizard-uninst.zip"));
    testing_support::PutFile(r, L"pkg/NorvalePOS.exe", "MZ the product\r\n");
    testing_support::PutFile(r, L"pkg/bin/tool.exe", "MZ a tool\r\n");
    testing_support::PutFile(r, L"pkg/bin/setup.exe", "MZ a setup step\r\n");
    server_ = std::make_unique<testing_support::FtpTestServer>(r);
    server_->Start();
  }
  static void TearDownTestSuite() {
    server_.reset();
    root_.reset();
  }

  void SetUp() override {
    ASSERT_TRUE(server_ && server_->Running()) << server_->Error();
    server_->ClearFaults();
    app_ = temp_ / L"Vendor\\Norvale POS";
    outside_ = temp_ / L"outside";
    CreateMissingLevels(outside_, nullptr);
    CreateMissingLevels(temp_ / L"installer", nullptr);
  }
  void TearDown() override { w_.window.reset(); }

  // The ready page of a plain record that installs into app_ from the test
  // server; the install run's calls go through `prepare` when given. The
  // folders are the administrators' unless folderAccess answers otherwise:
  // Wine calls every folder the running account's, which an elevated run
  // refuses on the way.
  WizardProbe& Ready(std::function<void(InstallRun&)> prepare = nullptr,
                     std::shared_ptr<IFolderAccess> folderAccess = nullptr) {
    if (!folderAccess) folderAccess = AdministratorsFolders();
    w_.adjust = [this, prepare, folderAccess](InstallerWindowOptions& o) {
      o.programFolder = temp_ / L"installer";
      o.engineSeams.programFolder = TestProgramFolder();
      o.prepareRun = prepare;
      o.seams.windows.folderAccess = folderAccess;
      // Cancel is timed with the client's own pauses.
      if (realWaits_) o.seams.ftpWaits = FtpWaits{};
    };
    WizardProbe& f = w_.Open(FillPlain, true);
    InstallerState& s = w_.S();
    s.AppId = testing_support::UniqueName(L"wizardrun");
    entry_ = std::make_unique<ScopedRegKey>(HKEY_LOCAL_MACHINE, kUninstall + s.AppId);
    // The ready page takes the folders from the input page's text boxes.
    f.T_Input(1)->Text(app_);
    f.T_Input(2)->Text(temp_ / L"Programs\\Norvale POS");
    s.ProgramGroupDir = temp_ / L"Programs\\Norvale POS";
    s.DownloadServer.ip = server_->Host();
    s.DownloadServer.port = server_->Port();
    s.DownloadServer.user = server_->User();
    s.DownloadServer.pw = server_->Password();
    f.OpenPage(4, 0);
    return f;
  }
  void AddDownload(const std::wstring& src, const std::wstring& dst, bool temporary = false) {
    DownloadEntry entry;
    entry.src = src;
    entry.dst = dst;
    entry.IsTemp = temporary ? -1 : 0;
    AddToList(w_.S().DownloadCount, w_.S().DownloadList, entry);
  }
  // Clicks Cancel as a user does, once the large file is arriving (slowly:
  // one read of the client may take long).
  void CancelDuringTheLargeFile(WizardProbe& f) {
    w_.pump->hook = [this, &f] {
      if (clickedAt_ != 0) return;
      const auto part = QueryFile(app_ + L"\\big.bin.nvpart");
      if (!part || part->size == 0) return;
      clickedAt_ = GetTickCount64();
      PostMessageW(f.C_Cancel.hWnd(), BM_CLICK, 0, 0);
    };
    w_.box->onAsk = [this](const std::wstring& title) {
      if (title == kStopTitle && askedAt_ == 0) askedAt_ = GetTickCount64();
    };
  }

  static std::unique_ptr<TempDir> root_;
  static std::unique_ptr<testing_support::FtpTestServer> server_;
  TempDir temp_{L"wizard run"};
  MachineWizard w_;
  std::unique_ptr<ScopedRegKey> entry_;
  std::wstring app_, outside_;
  ULONGLONG clickedAt_ = 0, askedAt_ = 0;
  bool realWaits_ = false;
};

std::unique_ptr<TempDir> InstallRunTest::root_;
std::unique_ptr<testing_support::FtpTestServer> InstallRunTest::server_;

TEST_F(InstallRunTest, TheRealRunInstallsATinyPackageAndShowsTheFinishPage) {
  WizardProbe& f = Ready();
  AddDownload(L"/pkg/readme.txt", L"{app}");
  AddDownload(L"/pkg/app.zip", L"{app}\\prog");
  f.C_Skip_Click(1);
  ASSERT_TRUE(f.IsLoaded());
  EXPECT_EQ(6, w_.S().PageNo);
  EXPECT_TRUE(f.F_FINAL.Visible());
  EXPECT_EQ("read me\r\n", ReadBytes(app_ + L"\\readme.txt"));
  EXPECT_EQ("installed from the archive\r\n", ReadBytes(app_ + L"\\prog\\readme.txt"));
  EXPECT_TRUE(FileExists(app_ + L"\\prog\\bin\\core.txt"));
  EXPECT_FALSE(FileExists(app_ + L"\\Setup_Start.txt"));
  const std::string log = ReadBytes(app_ + L"\\Uninst\\Setup.log");
  EXPECT_NE(std::string::npos, log.find("[Download]"));
  // Nothing went wrong with the marker (the record says which list it got).
  EXPECT_EQ(std::string::npos, log.find(ToAnsi(L"★Setup_Start.txt")));
  EXPECT_TRUE(KeyExists(kUninstall + w_.S().AppId));
  EXPECT_FALSE(f.C_Cancel.Visible());
}

TEST_F(InstallRunTest, TheMarkerFileGoesOrTheRecordSaysWhyNot) {
  struct Case {
    const char* name;
    std::function<void(InstallRun&, const std::wstring& marker)> change;
    std::wstring line;  // empty: no line about the marker
  };
  const Case cases[] = {
      {"deleted", nullptr, L""},
      {"held",
       [](InstallRun& run, const std::wstring& marker) {
         auto real = run.calls.vbDeleteFile;
         run.calls.vbDeleteFile = [real, marker](const std::wstring& path, std::wstring& error) {
           if (!TextEqualsIgnoreCase(path, marker)) return real(path, error);
           error = L"使用中です";
           return false;
         };
       },
       L";★Setup_Start.txtを削除できませんでした！（使用中です）"},
      {"gone",
       [](InstallRun& run, const std::wstring& marker) {
         // Something removed it while the run went on.
         run.calls.CreateShortCuts = [marker]() -> int16_t {
           DeleteGuardedFile(marker);
           return -1;
         };
       },
       L";★Setup_Start.txtを削除できませんでした！（ファイルが存在しませんでした）"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    w_.window.reset();
    std::vector<std::wstring> lines;
    const std::wstring marker = app_ + L"\\Setup_Start.txt";
    WizardProbe& f = Ready([&](InstallRun& run) {
      auto real = run.calls.WriteSetupLog;
      run.calls.WriteSetupLog = [real, &lines](const std::wstring& line, int16_t mode) {
        lines.push_back(line);
        return real(line, mode);
      };
      if (c.change) c.change(run, marker);
    });
    f.C_Skip_Click(1);
    ASSERT_TRUE(f.IsLoaded());
    EXPECT_EQ(6, w_.S().PageNo);
    EXPECT_TRUE(f.F_FINAL.Visible());
    std::vector<std::wstring> about;
    for (const std::wstring& line : lines) {
      if (line.find(L"Setup_Start.txtを削除") != std::wstring::npos) about.push_back(line);
    }
    if (c.line.empty()) {
      EXPECT_TRUE(about.empty());
      EXPECT_FALSE(FileExists(marker));
    } else {
      EXPECT_EQ(std::vector<std::wstring>{c.line}, about);
      // Written once the run let its folders go, through the run's own
      // "Uninst" reached from the drive's root.
      EXPECT_NE(ReadBytes(app_ + L"\\Uninst\\Setup.log").find(ToAnsi(c.line)), std::string::npos);
    }
    // The next case installs afresh.
    DeleteTree(app_);
  }
}

TEST_F(InstallRunTest, ARunThatCannotBePreparedClosesInsteadOfHanging) {
  WizardProbe& f = Ready([](InstallRun&) { throw std::runtime_error("no run"); });
  f.C_Skip_Click(1);
  EXPECT_FALSE(f.IsLoaded());
  EXPECT_FALSE(FolderExists(app_));
}

// An install folder that another account made after the wizard emptied the
// place is not the run's: the run stops before writing into it, and the
// roll-back that follows takes away only what the run made, never that
// folder. Wine calls every folder the running account's, so the owners are
// answered as Windows would (RecordingFolderAccess.h).
TEST_F(InstallRunTest, ARefusedInstallFolderOutlivesTheRollBack) {
  auto access = std::make_shared<testing_support::RecordingFolderAccess>();
  access->lists = [this](const std::wstring& path) -> std::optional<FolderAccessList> {
    return testing_support::ListFromSddl(
        SamePath(path, app_) ? L"O:S-1-5-21-1-2-3-1111D:(A;OICI;FA;;;S-1-5-21-1-2-3-1111)"
                             : testing_support::kAdministratorsFolder);
  };
  WizardProbe& f = Ready(
      [this](InstallRun&) {
        CreateMissingLevels(app_, nullptr);
        testing_support::WriteFileBytes(app_ + L"\\user.txt", "mine");
      },
      access);
  AddDownload(L"/pkg/readme.txt", L"{app}");
  w_.Box().Answer(IDOK);

  f.C_Skip_Click(1);

  EXPECT_FALSE(f.IsLoaded());
  EXPECT_EQ("mine", ReadBytes(app_ + L"\\user.txt"));
  EXPECT_FALSE(FileExists(app_ + L"\\readme.txt"));
  EXPECT_FALSE(FolderExists(app_ + L"\\Uninst"));
  ASSERT_FALSE(w_.Asked().empty());
  EXPECT_EQ(w_.Asked().back().title, L"インストールを続行できません！");
  EXPECT_NE(w_.Asked().back().text.find(app_), std::wstring::npos);
}

TEST_F(InstallRunTest, CancelDuringALargeFileRollsBackEverythingAndCloses) {
  realWaits_ = true;
  // A temporary tool that already lay outside before the run is not ours.
  CreateMissingLevels(outside_ + L"\\keep", nullptr);
  testing_support::WriteFileBytes(outside_ + L"\\keep\\tool.txt", "the user's own");
  WizardProbe& f = Ready();
  AddDownload(L"/pkg/readme.txt", outside_ + L"\\made\\sub");
  AddDownload(L"/pkg/tool.txt", L"{tmp}", true);
  AddDownload(L"/pkg/big.bin", L"{app}");
  AddDownload(L"/pkg/tool.txt", outside_ + L"\\keep", true);
  testing_support::FtpFaults slow;
  slow.throttleBytesPerSecond = 12 * 1024;
  server_->SetFaults(slow);
  CancelDuringTheLargeFile(f);
  w_.Box().Answer(IDYES);

  f.C_Skip_Click(1);

  ASSERT_NE(0u, clickedAt_);
  ASSERT_NE(0u, askedAt_);
  EXPECT_LT(askedAt_ - clickedAt_, 1000u) << "Cancel took effect after " << askedAt_ - clickedAt_ << " ms";
  EXPECT_FALSE(f.IsLoaded());
  EXPECT_FALSE(FolderExists(app_));
  EXPECT_FALSE(FolderExists(temp_ / L"Vendor"));
  EXPECT_FALSE(FolderExists(outside_ + L"\\made"));
  EXPECT_EQ("the user's own", ReadBytes(outside_ + L"\\keep\\tool.txt"));
  EXPECT_FALSE(FolderExists(temp_ / L"Programs"));
  EXPECT_FALSE(KeyExists(kUninstall + entry_->Path().substr(kUninstall.size())));
  EXPECT_EQ(0, w_.end->ends);
}

TEST_F(InstallRunTest, CancelAnsweredNoGoesOnToTheFinishPage) {
  realWaits_ = true;
  WizardProbe& f = Ready();
  AddDownload(L"/pkg/big.bin", L"{app}");
  testing_support::FtpFaults slow;
  slow.throttleBytesPerSecond = 12 * 1024;
  server_->SetFaults(slow);
  CancelDuringTheLargeFile(f);
  w_.box->onAsk = [this](const std::wstring& title) {
    if (title == kStopTitle) server_->ClearFaults();  // the rest comes at full speed
  };
  w_.Box().Answer(IDNO);

  f.C_Skip_Click(1);

  ASSERT_TRUE(f.IsLoaded());
  EXPECT_EQ(6, w_.S().PageNo);
  EXPECT_EQ(kBigFile, QueryFile(app_ + L"\\big.bin").value_or(FoundFile{}).size);
  EXPECT_FALSE(FileExists(app_ + L"\\Setup_Start.txt"));
}

// Any user may change what lies in the install folder, "{tmp}" included:
// an archive rewritten between its arrival and its unpacking (another top
// folder and other files; the same with an uninstaller of the user's) is
// not unpacked, and nothing of it reaches the install folder. The moment is
// the next folder the run makes of its own (for the archive's copy, or for
// its unpacking).
TEST_F(InstallRunTest, AnArchiveRewrittenAfterItArrivedIsNotUnpacked) {
  for (const wchar_t* rewrite : {L"wizard-renamed.zip", L"wizard-planted.zip"}) {
    SCOPED_TRACE(ToAnsi(rewrite));
    w_.window.reset();
    w_.Box().Clear();
    const std::string planted = ReadBytes(TestProgramFolder() + L"\\" + rewrite);
    ASSERT_FALSE(planted.empty());
    const std::wstring archive = app_ + L"\\TEMP\\app.zip";
    bool rewritten = false;
    const auto access = AdministratorsFolders();
    access->onCreate = [&](const std::wstring&) {
      if (rewritten || !FileExists(archive)) return;
      testing_support::WriteFileBytes(archive, planted);
      rewritten = true;
    };
    WizardProbe& f = Ready(nullptr, access);
    AddDownload(L"/pkg/app.zip", L"{app}");
    AddDownload(L"/pkg/readme.txt", L"{app}\\doc");
    w_.Box().Answer(IDNO);  // the unpacking failed: go on

    f.C_Skip_Click(1);

    ASSERT_TRUE(rewritten);
    ASSERT_TRUE(f.IsLoaded());
    EXPECT_EQ(6, w_.S().PageNo);
    EXPECT_FALSE(FileExists(app_ + L"\\planted.txt"));
    EXPECT_FALSE(FileExists(app_ + L"\\bin\\planted.exe"));
    EXPECT_FALSE(FileExists(app_ + L"\\Uninst\\Dekant00.exe"));
    EXPECT_FALSE(FileExists(app_ + L"\\readme.txt")) << "what arrived is gone: nothing is unpacked";
    EXPECT_EQ("read me\r\n", ReadBytes(app_ + L"\\doc\\readme.txt"));
    ASSERT_FALSE(w_.Asked().empty());
    EXPECT_EQ(w_.Asked().front().title, L"処理を中止しますか？");
    const std::string log = ReadBytes(app_ + L"\\Uninst\\Setup.log");
    EXPECT_NE(log.find(ToAnsi(L"err001=ファイル解凍＆コピーに失敗しました！")), std::string::npos);
    DeleteTree(app_);
  }
}

// The elevated uninstaller and what it trusts lie in "Uninst", which the
// installer fills itself: an archive that brings one along is not unpacked
// (the unpacking fails, and the user is asked as for any failed unpacking).
TEST_F(InstallRunTest, AnArchiveThatBringsAnUninstallerPutsNothingIntoUninst) {
  WizardProbe& f = Ready();
  AddDownload(L"/pkg/uninst.zip", L"{app}");
  w_.Box().Answer(IDNO);

  f.C_Skip_Click(1);

  ASSERT_TRUE(f.IsLoaded());
  EXPECT_EQ(6, w_.S().PageNo);
  EXPECT_FALSE(FileExists(app_ + L"\\Uninst\\Dekant00.exe"));
  EXPECT_FALSE(FileExists(app_ + L"\\tools.txt"));
  ASSERT_FALSE(w_.Asked().empty());
  EXPECT_EQ(w_.Asked().front().title, L"処理を中止しますか？");
}

// An auto-run program in the install folder starts elevated after every
// later download: a user may replace it there meanwhile. Only the one that
// stayed as it arrived starts, held (with the folders on its way) while its
// process is made; the other is recorded as not started.
TEST_F(InstallRunTest, OnlyAutoRunProgramsThatStayedAsTheyArrivedStart) {
  WizardProbe& f = Ready();
  AddDownload(L"/pkg/bin/tool.exe", L"{app}\\bin");
  AddDownload(L"/pkg/bin/setup.exe", L"{app}\\bin");
  AddDownload(L"/pkg/readme.txt", L"{app}");
  InstallerState& s = w_.S();
  AddToList(s.AutoRunCount, s.AutoRunList, AutoRunEntry{L"", L"{app}\\bin\\tool.exe", L"", L"/init"});
  AddToList(s.AutoRunCount, s.AutoRunList, AutoRunEntry{L"", L"{app}\\bin\\setup.exe", L"", L""});
  const std::wstring tool = app_ + L"\\bin\\tool.exe";
  const std::wstring setup = app_ + L"\\bin\\setup.exe";
  bool replaced = false;
  w_.pump->hook = [&] {
    if (replaced || !FileExists(tool)) return;
    // As long as what arrived: the check of the downloads sees nothing.
    testing_support::WriteFileBytes(tool, "MZ a user\r\n");
    replaced = true;
  };
  DWORD writeAtStart = ERROR_SUCCESS;
  bool wayRenamed = true;
  w_.starts->onStart = [&](const RecordingStarts::Started&) {
    writeAtStart = WriteError(setup);
    wayRenamed = MoveFileW((app_ + L"\\bin").c_str(), (app_ + L"\\bin.moved").c_str()) != FALSE;
  };

  f.C_Skip_Click(1);

  ASSERT_TRUE(replaced);
  ASSERT_TRUE(f.IsLoaded());
  EXPECT_EQ(6, w_.S().PageNo);
  ASSERT_EQ(1u, w_.starts->starts.size());
  EXPECT_EQ(w_.starts->starts[0].commandLine.rfind(L"\"" + setup + L"\"", 0), 0u)
      << ToAnsi(w_.starts->starts[0].commandLine);
  EXPECT_EQ(writeAtStart, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(wayRenamed);
  EXPECT_EQ(WriteError(setup), static_cast<DWORD>(ERROR_SUCCESS)) << "let go once it started";
  const std::string log = ReadBytes(app_ + L"\\Uninst\\Setup.log");
  EXPECT_NE(log.find(ToAnsi(L"結果01=RunApplication:インストールしたファイルではないか、"
                           L"ダウンロード後に変更されたため起動しませんでした。(" + tool + L")")),
            std::string::npos);
  EXPECT_NE(log.find(ToAnsi(L"実行02=" + setup)), std::string::npos);
}

// The finish page's program starts after the run let its folders go, from
// the install folder: only as it arrived, held while its process is made.
TEST_F(InstallRunTest, TheFinishProgramStartsOnlyAsItArrived) {
  for (const bool replace : {false, true}) {
    SCOPED_TRACE(replace ? "replaced" : "as it arrived");
    w_.window.reset();
    w_.starts->starts.clear();
    WizardProbe& f = Ready();
    AddDownload(L"/pkg/NorvalePOS.exe", L"{app}");
    w_.S().ExecuteCmd = L"{app}\\NorvalePOS.exe";
    w_.S().ExecuteDsp = L"Norvale POS を起動する";
    f.C_Skip_Click(1);
    ASSERT_TRUE(f.IsLoaded());
    ASSERT_EQ(6, w_.S().PageNo);
    ASSERT_EQ(1, f.Chk_FinalRun.Value());
    const std::wstring program = app_ + L"\\NorvalePOS.exe";
    if (replace) testing_support::WriteFileBytes(program, "MZ a user's program\r\n");
    DWORD writeAtStart = ERROR_SUCCESS;
    w_.starts->onStart = [&](const RecordingStarts::Started&) { writeAtStart = WriteError(program); };

    f.C_Skip_Click(1);

    EXPECT_FALSE(f.IsLoaded());
    if (replace) {
      EXPECT_TRUE(w_.starts->starts.empty());
    } else {
      ASSERT_EQ(1u, w_.starts->starts.size());
      EXPECT_EQ(w_.starts->starts[0].application, program);
      EXPECT_EQ(writeAtStart, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    }
    w_.starts->onStart = nullptr;
    DeleteTree(app_);
  }
}

}  // namespace

namespace {

const std::wstring kLayers =
    L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Layers";

// The value the run-as-administrator step writes for a program, in the
// 64-bit view the prefix's both builds write to.
bool HasAdministratorFlag(const std::wstring& program) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kLayers.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &key) !=
      ERROR_SUCCESS) {
    return false;
  }
  const bool found =
      RegQueryValueExW(key, program.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  RegCloseKey(key);
  return found;
}

// A folder on the way that could not be made (a user's file had its name)
// leaves the run to its steps, which fail on their own; but the user may
// put a folder of theirs in its place while the run goes on, with an
// uninstaller and an auto-run program in it. Nothing of the run goes there
// by name: no record, no marker, no uninstaller copied, nothing started,
// and no Uninstall entry or administrator flag names that place.
TEST_F(InstallRunTest, AnInstallFolderThatCouldNotBeMadeTakesNothingByName) {
  const std::wstring vendor = temp_ / L"Vendor";
  const std::wstring uninstaller = app_ + L"\\Uninst\\Dekant00.exe";
  bool planted = false;
  WizardProbe& f = Ready([&](InstallRun& run) {
    testing_support::WriteFileBytes(vendor, "a user's file");
    // After the download step, before the steps that start and register.
    run.calls.CreateShortCuts = [&]() -> int16_t {
      DeleteFileW(vendor.c_str());
      CreateMissingLevels(app_ + L"\\Uninst", nullptr);
      CreateMissingLevels(app_ + L"\\bin", nullptr);
      testing_support::WriteFileBytes(uninstaller, "MZ a user's uninstaller\r\n");
      testing_support::WriteFileBytes(app_ + L"\\bin\\tool.exe", "MZ a user's tool\r\n");
      planted = true;
      return -1;
    };
  });
  InstallerState& s = w_.S();
  AddToList(s.AutoRunCount, s.AutoRunList, AutoRunEntry{L"", L"{app}\\bin\\tool.exe", L"", L""});
  // What an earlier run of the same folder's name left goes now, and this
  // run's afterwards.
  { const testing_support::ScopedRegValue earlier(HKEY_LOCAL_MACHINE, kLayers, uninstaller); }
  const testing_support::ScopedRegValue flag(HKEY_LOCAL_MACHINE, kLayers, uninstaller);

  f.C_Skip_Click(1);

  ASSERT_TRUE(planted);
  ASSERT_TRUE(f.IsLoaded());
  EXPECT_EQ(6, s.PageNo);
  EXPECT_FALSE(FileExists(app_ + L"\\Uninst\\Setup.log"));
  EXPECT_FALSE(FileExists(app_ + L"\\Setup_Start.txt"));
  EXPECT_EQ("MZ a user's uninstaller\r\n", ReadBytes(uninstaller));
  EXPECT_TRUE(w_.starts->starts.empty());
  EXPECT_FALSE(KeyExists(kUninstall + s.AppId));
  EXPECT_FALSE(HasAdministratorFlag(uninstaller));
}

}  // namespace
