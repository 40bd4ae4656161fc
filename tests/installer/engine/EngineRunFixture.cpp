#include "EngineRunFixture.h"

#include <algorithm>

#include "DeleteGuard.h"
#include "FileSystem.h"
#include "Text.h"
#include "WinServicesTestSupport.h"

namespace testing_support {

int AnsweringBox::Show(const std::wstring& text, const std::wstring& title, unsigned style) {
  asked.push_back(Question{text, title, style, GetTickCount64()});
  if (onAsk) onAsk(asked.back());
  auto& queue = answers[title];
  if (queue.empty()) return title.find(L"エラー") != std::wstring::npos ? IDOK : IDNO;
  const int answer = queue.front();
  queue.erase(queue.begin());
  return answer;
}

int AnsweringBox::Count(const std::wstring& title) const {
  return static_cast<int>(std::count_if(asked.begin(), asked.end(),
                                        [&](const Question& q) { return q.title == title; }));
}

const AnsweringBox::Question* AnsweringBox::First(const std::wstring& title) const {
  for (const Question& q : asked) {
    if (q.title == title) return &q;
  }
  return nullptr;
}

std::shared_ptr<FakeWindows> Windows10x64() {
  auto w = std::make_shared<FakeWindows>();
  w->major = 10;
  w->minor = 0;
  w->build = 19045;
  w->wow64 = true;
  return w;
}

std::shared_ptr<FakeWindows> Windows7x86() {
  auto w = std::make_shared<FakeWindows>();
  w->major = 6;
  w->minor = 1;
  w->build = 7601;
  w->servicePackMajor = 1;
  w->wow64 = false;
  return w;
}

namespace {

std::wstring WindowsFolder() {
  wchar_t buffer[MAX_PATH] = {};
  GetWindowsDirectoryW(buffer, MAX_PATH);
  return buffer;
}

}  // namespace

void EngineRunTest::SetUp() { NewRun(); }

namespace {

// A finished run registers its Uninstall entry in HKLM's 64-bit view (the
// test's Windows is 64-bit, so in both builds); it goes again in both views.
void ForgetRegistration(const std::unique_ptr<norvale::InstallerState>& state) {
  if (!state || state->AppId.empty()) return;
  const ScopedRegKey entry(HKEY_LOCAL_MACHINE,
                           L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" +
                               state->AppId);
}

}  // namespace

void EngineRunTest::TearDown() {
  ForgetRegistration(state_);
  run_.reset();
  window_.reset();
  state_.reset();
  fonts_.reset();
  outside_.reset();
  app_.reset();
}

void EngineRunTest::NewRun(std::shared_ptr<FakeWindows> windows) {
  ForgetRegistration(state_);
  run_.reset();
  window_.reset();
  state_.reset();
  log_.clear();
  calls_.clear();
  if (!app_) app_ = std::make_unique<TempDir>(L"engine app");
  if (!outside_) outside_ = std::make_unique<TempDir>(L"engine outside");
  if (!fonts_) fonts_ = std::make_unique<TempDir>(L"engine fonts");
  appDir_ = *app_ / L"Norvale POS";

  box_ = std::make_shared<AnsweringBox>();
  pump_ = std::make_shared<CallPump>();
  clock_ = std::make_shared<FakeClock>();
  clock_->Set(2026, 12, 9, 14, 5, 33);
  windows_ = std::move(windows);

  norvale::InstallerSeams seams;
  seams.common.messageBox = box_;
  seams.common.pump = pump_;
  seams.common.clock = clock_;
  seams.windows = WithWindows(windows_);
  folderAccess_ = std::make_shared<RecordingFolderAccess>();
  // Windows shows the folders the tests' install folder lies in as the
  // administrators'; Wine calls every folder the running account's.
  folderAccess_->lists = [](const std::wstring&) { return ListFromSddl(kAdministratorsFolder); };
  seams.windows.folderAccess = folderAccess_;
  seams.ftpWaits = norvale::FtpWaits::None();
  state_ = std::make_unique<norvale::InstallerState>(seams);
  window_ = std::make_unique<RecordingRunWindow>(pump_);

  norvale::InstallerState& s = *state_;
  norvale::ClearList(s.InputItemCount, s.InputItems);
  norvale::InputItemEntry folder;
  folder.value = appDir_;
  norvale::AddToList(s.InputItemCount, s.InputItems, folder);
  s.AppId = UniqueName(L"app");
  s.AppName = L"Norvale POS";
  s.AppVerName = L"Ver 3.2";
  s.AppPublisher = L"Norvale Systems";
  s.TmpDir = appDir_ + L"\\TEMP";
  s.FontsDir = fonts_->Path();
  s.WinDir = WindowsFolder();
  s.OsVersion.dwOSVersionInfoSize = sizeof(s.OsVersion);
  windows_->GetVersion(s.OsVersion);
  s.Is64BitWindows = windows_->wow64.value_or(false) ? -1 : 0;

  norvale::EngineCalls c;
  c.WriteSetupLog = [this](const std::wstring& line, int16_t mode) {
    if (mode == 1) log_.clear();
    log_.push_back(line);
    return 0;
  };
  c.ExpandPathMacros = [this](const std::wstring& path) {
    std::wstring p = norvale::ReplaceAll(path, L"{app}", state_->InputItems[1].value);
    p = norvale::ReplaceAll(p, L"{tmp}", state_->TmpDir);
    p = norvale::ReplaceAll(p, L"{windir}", state_->WinDir);
    return p;
  };
  // The condition language as far as these tests use it: the bitness
  // tokens, "task" n, and group "," option by number.
  c.ParseCondition = [this](const std::wstring& condition, int16_t& g, int16_t& o,
                            int16_t& include, int16_t& t, std::wstring&, std::wstring&) {
    g = o = t = 0;
    include = -1;
    const bool is64 = state_->objWinCommon.IsWow64();
    std::vector<std::wstring> tokens;
    for (size_t from = 0;;) {
      const size_t comma = condition.find(L',', from);
      tokens.push_back(norvale::Trim(condition.substr(from, comma - from)));
      if (comma == std::wstring::npos) break;
      from = comma + 1;
    }
    for (size_t k = 0; k < tokens.size(); ++k) {
      const std::wstring& token = tokens[k];
      if (token == L"64bit") include = is64 ? include : 0;
      else if (token == L"32bit") include = is64 ? 0 : include;
      else if (token.rfind(L"task", 0) == 0) t = static_cast<int16_t>(std::stoi(token.substr(4)));
      else if (k + 1 < tokens.size()) {
        g = static_cast<int16_t>(std::stoi(token));
        o = static_cast<int16_t>(std::stoi(tokens[++k]));
      }
    }
    return true;
  };
  c.IsTaskOrOptionChosen = [this](const std::wstring& chk) {
    const std::wstring t = norvale::Trim(chk);
    if (t.empty()) return true;
    if (t.rfind(L"task", 0) == 0) {
      const int n = std::stoi(t.substr(4));
      return state_->CheckItems[n].checked != 0;
    }
    return true;
  };
  c.IsWow64 = [this] { return state_->objWinCommon.IsWow64(); };
  c.IsProductInstalled = [this](const std::wstring& name) {
    calls_.push_back(L"IsProductInstalled " + name);
    return name == L"VC_2010_x86";
  };
  c.vbDeleteFolder = [this](const std::wstring& folder) {
    calls_.push_back(L"vbDeleteFolder " + folder);
    return static_cast<bool>(norvale::DeleteTree(folder));
  };
  c.vbDeleteFile = [this](const std::wstring& path, std::wstring& error) {
    calls_.push_back(L"vbDeleteFile " + path);
    error.clear();
    if (DeleteFileW(path.c_str())) return true;
    error = L"not deleted";
    return false;
  };
  c.GetPathKind = [](const std::wstring& path) {
    if (norvale::FolderExists(path)) return norvale::kPathIsFolder;
    return norvale::FileExists(path) ? norvale::kPathIsFile : norvale::kPathMissing;
  };
  // "Unpacks" by copying the archive's bytes into the destination under the
  // name "unpacked.txt".
  c.ExtractZipFolder = [this](const std::wstring& zip, const std::wstring& dst, std::wstring&,
                              const std::shared_ptr<norvale::ITextDisplay>&) {
    calls_.push_back(L"ExtractZipFolder " + zip + L" -> " + dst);
    if (!unpackWorks_) return false;
    state_->objPublicFunc.MakeDir(dst);
    return CopyFileW(zip.c_str(), (dst + L"\\unpacked.txt").c_str(), FALSE) != FALSE;
  };
  c.vbCopyFile = [this](const std::wstring& source, const std::wstring& destination, bool,
                        bool, std::wstring&) {
    calls_.push_back(L"vbCopyFile " + source + L" -> " + destination);
    const std::wstring name = source.substr(source.find_last_of(L'\\') + 1);
    return CopyFileW(source.c_str(), (destination + L"\\" + name).c_str(), FALSE) != FALSE;
  };
  c.CheckAddFontScript = [](std::wstring&) { return false; };
  c.vbAddFontByPowerShell = [this](const std::wstring& path, std::wstring&) {
    calls_.push_back(L"vbAddFontByPowerShell " + path);
    return false;
  };
  c.vbInstallFont = [this](const std::wstring& path, std::wstring&) {
    calls_.push_back(L"vbInstallFont " + path);
    if (!fontInstallWorks_) return false;
    const std::wstring name = path.substr(path.find_last_of(L'\\') + 1);
    installedFonts_.push_back(name);
    return CopyFileW(path.c_str(), (state_->FontsDir + L"\\" + name).c_str(), FALSE) != FALSE;
  };
  c.vbRemoveFont = [this](const std::wstring& name) {
    removedFonts_.push_back(name);
    return DeleteFileW((state_->FontsDir + L"\\" + name).c_str()) != FALSE;
  };
  c.CreateShortCuts = [this]() -> int16_t {
    calls_.push_back(L"CreateShortCuts");
    log_.push_back(L"[ショートカット]");
    return -1;
  };

  run_ = std::make_unique<norvale::InstallRun>(norvale::InstallRun{
      s, *window_, std::move(c), *app_ / L"installer", L"Norvale_Installer",
      [this] { ++ends_; }, [this](const std::wstring& file) { started_.push_back(file); }});
}

void EngineRunTest::AddDownload(const std::wstring& src, const std::wstring& dst,
                                const std::wstring& chk) {
  norvale::DownloadEntry entry;
  entry.src = src;
  entry.dst = dst;
  entry.chk = chk;
  entry.IsFolder = !src.empty() && (src.back() == L'/' || src.back() == L'\\') ? -1 : 0;
  entry.IsTemp = dst.find(L"{tmp}") != std::wstring::npos ? -1 : 0;
  norvale::AddToList(state_->DownloadCount, state_->DownloadList, entry);
}

void EngineRunTest::AddOptionGroup(int options, int chosen) {
  norvale::SelectGroupEntry group;
  group.name = L"group" + std::to_wstring(state_->SelectGroupCount + 1);
  for (int k = 1; k <= options; ++k) {
    norvale::SelectOptionEntry option;
    option.name = L"option" + std::to_wstring(k);
    option.chosen = k == chosen ? -1 : 0;
    norvale::AddToList(group.optionCount, group.options, option);
  }
  norvale::AddToList(state_->SelectGroupCount, state_->SelectGroups, group);
}

void EngineRunTest::AddTask(bool checked) {
  norvale::CheckItemEntry item;
  item.checked = checked ? -1 : 0;
  norvale::AddToList(state_->CheckItemCount, state_->CheckItems, item);
}

void EngineRunTest::UseServer(const FtpTestServer& server) {
  state_->DownloadServer.ip = server.Host();
  state_->DownloadServer.port = server.Port();
  state_->DownloadServer.user = server.User();
  state_->DownloadServer.pw = server.Password();
}

void EngineRunTest::ClickCancel() {
  state_->objFtp.StopFlag(kFtpStopped);
  if (state_->objFtp.ASYNC()) state_->objFtp.InetClose();
}

std::vector<std::wstring> EngineRunTest::Section(const std::wstring& name) const {
  std::vector<std::wstring> lines;
  bool inside = false;
  for (const std::wstring& line : log_) {
    if (!line.empty() && line[0] == L'[') {
      if (inside) break;
      inside = line == L"[" + name + L"]";
      continue;
    }
    if (inside) lines.push_back(line);
  }
  return lines;
}

bool EngineRunTest::Logged(const std::wstring& line) const {
  return std::find(log_.begin(), log_.end(), line) != log_.end();
}

std::unique_ptr<TempDir> PackageServerTest::root_;
std::unique_ptr<FtpTestServer> PackageServerTest::server_;

void PackageServerTest::SetUpTestSuite() {
  root_ = std::make_unique<TempDir>(L"engine ftp");
  const std::wstring r = root_->Path();
  PutFile(r, L"pkg/app/main.txt", "main program\r\n");
  PutFile(r, L"pkg/app/bin/core.bin", PatternBytes(70000, 3));
  PutFile(r, L"pkg/app/データ/説明.txt", "\x93\xfa\x96\x7b\r\n");
  PutFile(r, L"pkg/files/readme.txt", "read me\r\n");
  PutFile(r, L"pkg/files/big.bin", PatternBytes(kBigFile, 5));
  PutFile(r, L"pkg/files/data.zip", PatternBytes(5000, 7));
  PutFile(r, L"pkg/files/only64.txt", "64\r\n");
  PutFile(r, L"pkg/files/only32.txt", "32\r\n");
  PutFile(r, L"pkg/files/option.txt", "option\r\n");
  PutFile(r, L"pkg/files/task.txt", "task\r\n");
  PutFile(r, L"pkg/fonts/demo.ttf", PatternBytes(4000, 9));
  for (const wchar_t* font : {L"nvkept.ttf", L"nvfile.ttf", L"nvreg.ttf"}) {
    PutFile(r, std::wstring(L"pkg/fonts/") + font, PatternBytes(3000, 11));
  }
  PutFile(r, L"pkg/late/other.txt", "other\r\n");
  server_ = std::make_unique<FtpTestServer>(r);
  server_->Start();
}

void PackageServerTest::TearDownTestSuite() {
  server_.reset();
  root_.reset();
}

void PackageServerTest::SetUp() {
  ASSERT_TRUE(server_ && server_->Running()) << (server_ ? server_->Error() : "no server");
  server_->ClearFaults();
  EngineRunTest::SetUp();
  NewServedRun(Windows10x64());
}

void PackageServerTest::NewServedRun(std::shared_ptr<FakeWindows> windows) {
  NewRun(std::move(windows));
  UseServer(*server_);
  ASSERT_EQ(State().objPublicFunc.MakeDir(appDir_ + L"\\TEMP"), 0);
}

std::string PackageServerTest::Served(const std::wstring& relative) const {
  return ReadFileBytes(*root_ / relative);
}

}  // namespace testing_support
