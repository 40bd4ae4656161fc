#include "InstallFixture.h"

#include <windows.h>

#include <shlobj.h>

#include <algorithm>

#include "Form_UnInset_MAIN.h"
#include "Handles.h"
#include "SetupInfoDownload.h"
#include "SetupText.h"
#include "System.h"
#include "Text.h"
#include "UninstallerState.h"
#include "WinHandles.h"
#include "forms/Application.h"

namespace e2e {

std::unique_ptr<testing_support::FtpTestServer> InstallFixture::server_;
const wchar_t kFontsKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
const wchar_t kSampleFontValue[] = L"Norvale Sans (TrueType)";

std::wstring WindowsFolder() {
  wchar_t path[MAX_PATH] = {};
  GetWindowsDirectoryW(path, MAX_PATH);
  return path;
}

std::wstring TempFolder() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetTempPathW(MAX_PATH, path);
  std::wstring text(path, length);
  while (!text.empty() && text.back() == L'\\') text.pop_back();
  return text;
}

namespace {

std::wstring FromUtf8(const std::string& bytes) {
  if (bytes.empty()) return L"";
  std::wstring text(bytes.size(), L'\0');
  const int length = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()),
                                         text.data(), static_cast<int>(text.size()));
  text.resize(length > 0 ? length : 0);
  return text;
}

std::vector<std::wstring> Split(const std::wstring& text, wchar_t separator) {
  std::vector<std::wstring> pieces;
  size_t from = 0;
  for (size_t at; (at = text.find(separator, from)) != std::wstring::npos; from = at + 1) {
    pieces.push_back(text.substr(from, at - from));
  }
  pieces.push_back(text.substr(from));
  return pieces;
}

// Program starts as the system makes them, except the uninstaller's command
// file, which the test runs itself once the window is gone.
class StartsButCommandFile final : public norvale::IProgramStarts {
 public:
  bool Start(const std::wstring& commandLine, int showState, DWORD* processId,
             HANDLE* process) override {
    if (commandLine.find(L"DeleteMe.cmd") != std::wstring::npos) {
      commandLines.push_back(commandLine);
      if (processId) *processId = 0;
      if (process) *process = nullptr;
      return true;
    }
    return system_.Start(commandLine, showState, processId, process);
  }
  std::vector<std::wstring> commandLines;

 private:
  norvale::SystemProgramStarts system_;
};

class CountingEnd final : public norvale::forms::IProgramEnd {
 public:
  using norvale::forms::IProgramEnd::End;
  void End(int) override { ++ends; }
  int ends = 0;
};

// What the Fonts folder's "Install" verb does on Windows, which Wine's does
// not: the file copied into the Fonts folder and registered under its name.
// The font table is the system's.
class InstallingFontsShell final : public norvale::IFontsFolderShell {
 public:
  bool InvokeInstall(const std::wstring& folder, const std::wstring& name,
                     std::wstring* error) override {
    const std::wstring target = WindowsFolder() + L"\\Fonts\\" + name;
    if (!CopyFileW((folder + L"\\" + name).c_str(), target.c_str(), FALSE)) {
      if (error) *error = L"copy failed";
      return false;
    }
    return RegSetKeyValueW(HKEY_LOCAL_MACHINE, kFontsKey, kSampleFontValue, REG_SZ, name.c_str(),
                           static_cast<DWORD>((name.size() + 1) * sizeof(wchar_t))) ==
           ERROR_SUCCESS;
  }
  bool CopyToFonts(const std::wstring&, std::wstring*) override { return false; }
  bool AddToFontTable(const std::wstring& path) override { return system_.AddToFontTable(path); }
  bool RemoveFromFontTable(const std::wstring& path) override {
    return system_.RemoveFromFontTable(path);
  }
  void BroadcastFontChange() override { system_.BroadcastFontChange(); }

 private:
  norvale::SystemFontsFolderShell system_;
};

// Runs a program and waits for it; its exit code, -1 when it did not run.
DWORD RunAndWait(std::wstring commandLine) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                      nullptr, nullptr, &startup, &process)) {
    return static_cast<DWORD>(-1);
  }
  const norvale::KernelHandle thread(process.hThread), program(process.hProcess);
  if (WaitForSingleObject(program.Get(), 120000) != WAIT_OBJECT_0) return static_cast<DWORD>(-1);
  DWORD code = static_cast<DWORD>(-1);
  GetExitCodeProcess(program.Get(), &code);
  return code;
}

// Runs the interpreter as the uninstaller started it.
void RunCommandFile(const std::wstring& commandLine) {
  const size_t from = commandLine.find(L"/C \"\"");
  ASSERT_NE(from, std::wstring::npos) << norvale::ToAnsi(commandLine);
  const size_t to = commandLine.find(L'"', from + 5);
  const std::wstring file = commandLine.substr(from + 5, to - from - 5);
  // Nothing was asked to restart, so the file must not restart Windows.
  const std::string text = testing_support::ReadFileBytes(file);
  ASSERT_EQ(text.find("shutdown"), std::string::npos) << text;
  EXPECT_NE(RunAndWait(commandLine), static_cast<DWORD>(-1));
}

}  // namespace

std::wstring ModuleFolder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring text = path;
  return text.substr(0, text.rfind(L'\\'));
}

bool PathExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring RegText(HKEY root, const std::wstring& key, const std::wstring& name, REGSAM view) {
  wchar_t data[2048] = {};
  DWORD size = sizeof data;
  // View 0 is the test program's own, as for RegOpenKeyEx.
  DWORD flags = RRF_RT_REG_SZ;
  if (view == KEY_WOW64_32KEY) flags |= RRF_SUBKEY_WOW6432KEY;
  if (view == KEY_WOW64_64KEY) flags |= RRF_SUBKEY_WOW6464KEY;
  if (RegGetValueW(root, key.c_str(), name.empty() ? nullptr : name.c_str(), flags, nullptr, data,
                   &size) != ERROR_SUCCESS) {
    return L"<none>";
  }
  return data;
}

bool RegKeyExists(HKEY root, const std::wstring& key, REGSAM view) {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | view, &opened) != ERROR_SUCCESS) return false;
  const norvale::RegKey owned(opened);
  return true;
}

std::wstring InstallFixture::PackageFolder() { return ModuleFolder() + L"\\package"; }

void InstallFixture::SetUpTestSuite() {
  server_ = std::make_unique<testing_support::FtpTestServer>(PackageFolder() + L"\\ftp");
  ASSERT_TRUE(server_->Start()) << server_->Error();
}

void InstallFixture::TearDownTestSuite() { server_.reset(); }

void InstallFixture::TearDown() {
  // A test that stopped half-way still leaves the prefix without the product.
  if (window_ && window_->State()) Finish();
  if (installed_ && PathExists(App() + L"\\Uninst\\Dekant00.exe")) Uninstall(true);
  window_.reset();
  app_.reset();
  installer_.reset();
}

bool InstallFixture::Open(setupinfo_testing::Machine machine) {
  machine_ = machine;
  installer_ = std::make_unique<testing_support::TempDir>(L"e2e installer");
  const std::wstring from = ModuleFolder() + L"\\installer\\";
  for (const wchar_t* name : {L"Dekant00.exe", L"7-zip32.dll", L"Add-Font.ps1", L"Remove-Font.ps1"}) {
    if (!CopyFileW((from + name).c_str(), (*installer_ / name).c_str(), FALSE)) {
      ADD_FAILURE() << "missing beside the test: " << norvale::ToAnsi(name);
      return false;
    }
  }
  // "Start.ini" as the demo writes it, by the tool that encodes it.
  const std::wstring startIni = *installer_ / L"Start.ini";
  if (RunAndWait(L"\"" + ModuleFolder() + L"\\write_start_ini.exe\" --host " + server_->Host() +
                 L" --port " + std::to_wstring(server_->Port()) + L" --user " + server_->User() +
                 L" --password " + server_->Password() + L" --out \"" + startIni + L"\"") != 0) {
    ADD_FAILURE() << "write_start_ini failed";
    return false;
  }

  profile_ = std::make_unique<setupinfo_testing::TestMachine>(machine);
  installerBoxes_ = profile_->boxes;
  app_ = std::make_unique<norvale::forms::Application>(profile_->end);
  norvale::InstallerWindowOptions options;
  options.seams = profile_->Seams();
  // The auto-run program and the font scripts really run; the finish
  // page's program and any restart are only recorded.
  options.seams.windows.starts = starts_;
  options.seams.windows.waits = std::make_shared<norvale::SystemWaits>();
  options.seams.windows.actions = actions_;
  options.startUp = [this](norvale::InstallerState& state) {
    return norvale::DownloadSetupInfo(state, *app_);
  };
  options.programFolder = installer_->Path();
  options.engineSeams.programFolder = installer_->Path();
  if (machine == setupinfo_testing::Machine::Windows7x86) {
    options.engineSeams.fontsShell = std::make_shared<InstallingFontsShell>();
  }
  window_ = std::make_unique<wizard_testing::WizardProbe>(*app_, std::move(options));
  window_->Show();
  for (int i = 0; i < 20; ++i) app_->DoEvents();
  if (!window_->State() || window_->State()->StartupOk == 0) return false;

  // The test's own folders (the installer's and the FTP server's), and the
  // cache where WinINet keeps every transfer, change with the run whatever
  // the product does. The uninstaller's command file has a fixed name in the
  // temporary folder and replaces one that other tests left there.
  wchar_t cache[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_INTERNET_CACHE, nullptr, 0, cache);
  before_ = std::make_unique<PrefixSnapshot>(
      std::vector<std::wstring>{installer_->Path(), std::wstring(cache),
                                TempFolder() + L"\\nv-ftpsrv-*",
                                TempFolder() + L"\\DeleteMe.cmd"});
  before_->Take();
  return true;
}

void InstallFixture::InstallThroughThePages(const std::function<void(wizard_testing::WizardProbe&)>& choose) {
  ASSERT_TRUE(window_ && window_->State());
  norvale::InstallerState& s = *window_->State();
  for (int presses = 0; s.PageNo != 4; ++presses) {
    ASSERT_LT(presses, 10) << "stuck on page " << s.PageNo;
    if (choose && (s.PageNo == 1 || s.PageNo == 3)) choose(*window_);
    window_->C_Skip_Click(1);
    ASSERT_TRUE(window_->State()) << "the window closed on the way";
  }
  installed_ = true;
  window_->C_Skip_Click(1);  // the install run
  ASSERT_TRUE(window_->State()) << "the install run closed the window";
  ASSERT_EQ(s.PageNo, 6);
  ASSERT_EQ(s.InstallAborted, 0);
  facts_.app = s.InputItems[1].value;
  facts_.appId = s.AppId;
  facts_.desktop = s.CommonDesktopDir;
  facts_.startup = s.StartupDir;
  facts_.group = s.ProgramGroupDir;
  for (int t = 1; t <= 3 && t <= s.CheckItemCount; ++t) facts_.tasks[t] = s.CheckItems[t].checked != 0;
  for (int o = 1; o <= 2 && o <= s.SelectGroups[1].optionCount; ++o) {
    facts_.options[o] = s.SelectGroups[1].options[o].chosen != 0;
  }
}

void InstallFixture::Finish() {
  if (!window_ || !window_->State()) return;
  // No restart now, whatever the install asked for.
  if (window_->F_Final_Sel.Visible() && window_->Opt_Final(1)) window_->Opt_Final(1)->Value(true);
  window_->C_Skip_Click(1);
  for (int i = 0; i < 20 && window_->State(); ++i) app_->DoEvents();
}

std::vector<std::wstring> InstallFixture::ChangesSinceBefore() {
  if (!before_) {
    ADD_FAILURE() << "no snapshot taken";
    return {};
  }
  PrefixSnapshot now = *before_;
  now.Take();
  return before_->Differences(now);
}

void InstallFixture::ExpectPrefixAsBefore() {
  for (const std::wstring& line : ChangesSinceBefore()) ADD_FAILURE() << norvale::ToAnsi(line);
}

std::vector<ExpectedFile> InstallFixture::ExpectedFiles() const {
  const bool x64 = Is64();
  auto holds = [&](const std::wstring& requirement) {
    if (requirement == L"64bit") return x64;
    if (requirement == L"32bit") return !x64;
    if (requirement == L"win7") return machine_ == setupinfo_testing::Machine::Windows7x86;
    if (requirement == L"win10") return machine_ != setupinfo_testing::Machine::Windows7x86;
    if (requirement == L"opt1" || requirement == L"opt2") return facts_.options[requirement[3] - L'0'];
    if (requirement.size() == 5 && requirement.rfind(L"task", 0) == 0 && requirement[4] >= L'1' &&
        requirement[4] <= L'3') {
      return facts_.tasks[requirement[4] - L'0'];
    }
    ADD_FAILURE() << "unknown requirement " << norvale::ToAnsi(requirement);
    return false;
  };
  std::vector<ExpectedFile> files;
  const std::wstring manifest =
      FromUtf8(testing_support::ReadFileBytes(PackageFolder() + L"\\manifest.tsv"));
  for (const std::wstring& line : Split(manifest, L'\n')) {
    if (line.empty()) continue;
    const std::vector<std::wstring> fields = Split(line, L'\t');
    if (fields.size() != 3) {
      ADD_FAILURE() << "manifest line " << norvale::ToAnsi(line);
      continue;
    }
    ExpectedFile file{{}, fields[1], PackageFolder() + L"\\" + norvale::ReplaceAll(fields[2], L"/", L"\\")};
    if (!fields[0].empty()) file.requirements = Split(fields[0], L',');
    if (std::all_of(file.requirements.begin(), file.requirements.end(), holds)) {
      files.push_back(std::move(file));
    }
  }
  return files;
}

void InstallFixture::Uninstall(bool silent, bool completes) {
  auto starts = std::make_shared<StartsButCommandFile>();
  norvale::UninstallerServices services;
  services.seams.messageBox = uninstallerBoxes_;
  services.windows.windows = profile_->windows;
  services.windows.starts = starts;
  services.windows.actions = actions_;
  auto state = std::make_unique<norvale::UninstallerState>(App() + L"\\Uninst\\Dekant00.exe",
                                                           services);
  auto end = std::make_shared<CountingEnd>();
  {
    norvale::forms::Application app(end);
    norvale::Form_UnInset_MAIN form(app, std::move(state), silent ? L"/S" : L"");
    if (silent) {
      ASSERT_TRUE(form.Show());
      for (int i = 0; i < 200 && end->ends == 0; ++i) app.DoEvents();
    } else {
      ASSERT_TRUE(form.Load());
      ASSERT_EQ(form.State().StartupOk, -1) << norvale::ToAnsi(form.State().ErrText);
      form.C_Skip_Click(1);  // the options
      form.C_Skip_Click(1);  // the summary
      form.C_Skip_Click(1);  // the removal
      EXPECT_EQ(form.State().PageNo, 4);
      form.Opt_Final(1)->Value(true);  // no restart
      form.C_Skip_Click(1);
    }
    EXPECT_EQ(end->ends, 1);
    if (app.IsLoaded(&form)) form.Unload();
  }
  ASSERT_EQ(starts->commandLines.size(), 1u);
  if (!completes) return;
  installed_ = false;
  RunCommandFile(starts->commandLines[0]);
}

}  // namespace e2e
