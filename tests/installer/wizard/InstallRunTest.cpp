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
  // server; the install run's calls go through `prepare` when given.
  WizardProbe& Ready(std::function<void(InstallRun&)> prepare = nullptr,
                     std::shared_ptr<IFolderAccess> folderAccess = nullptr) {
    w_.adjust = [this, prepare, folderAccess](InstallerWindowOptions& o) {
      o.programFolder = temp_ / L"installer";
      o.engineSeams.programFolder = TestProgramFolder();
      o.prepareRun = prepare;
      if (folderAccess) o.seams.windows.folderAccess = folderAccess;
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
  // The folders on the way are the administrators', as Windows answers for
  // what an elevated run made; Wine calls every folder the running
  // account's, of which an elevated run would warn before Cancel is asked.
  auto access = std::make_shared<testing_support::RecordingFolderAccess>();
  access->lists = [](const std::wstring&) -> std::optional<FolderAccessList> {
    return testing_support::ListFromSddl(testing_support::kAdministratorsFolder);
  };
  WizardProbe& f = Ready(nullptr, access);
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

}  // namespace
