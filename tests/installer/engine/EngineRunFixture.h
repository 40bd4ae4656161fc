#pragma once
// An install run without a window: the installer's state with scripted
// questions, a hookable message pump (where a Cancel click runs), a fixed
// clock and a Windows of the test's choice; recorders for the gauge, the
// labels, the install record and the calls into the installer's other parts.
#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FakeClock.h"
#include "FtpTestServer.h"
#include "InstallRun.h"
#include "RecordingFolderAccess.h"
#include "TempDir.h"
#include "WinServicesTestSupport.h"

namespace testing_support {

class RecordingLabel final : public norvale::ITextDisplay {
 public:
  void SetText(const std::wstring& text) override { texts.push_back(text); }
  std::vector<std::wstring> texts;
};

// Answers each question by its title (IDNO when nothing is queued for it)
// and keeps when it was asked.
class AnsweringBox final : public norvale::IMessageBox {
 public:
  struct Question {
    std::wstring text, title;
    unsigned style;
    ULONGLONG tick;
  };
  int Show(const std::wstring& text, const std::wstring& title, unsigned style) override;
  void Answer(const std::wstring& title, int button) { answers[title].push_back(button); }
  int Count(const std::wstring& title) const;
  const Question* First(const std::wstring& title) const;

  std::map<std::wstring, std::vector<int>> answers;
  std::vector<Question> asked;
  // Runs before a question is answered (a test changes the server there).
  std::function<void(const Question&)> onAsk;
};

class CallPump final : public norvale::IMessagePump {
 public:
  void DoEvents() override {
    ++calls;
    if (hook) hook();
  }
  int calls = 0;
  std::function<void()> hook;
};

class RecordingRunWindow final : public norvale::IInstallRunWindow {
 public:
  explicit RecordingRunWindow(std::shared_ptr<CallPump> pump) : pump_(std::move(pump)) {}
  void Dispゲージ(int16_t percent) override { gauge.push_back(percent); }
  void DoEvents() override { pump_->DoEvents(); }
  std::shared_ptr<norvale::ITextDisplay> L_SETUP(int16_t index) override {
    return index == 0 ? step : item;
  }
  void Chk_FinalRun(int16_t value) override { finalRun = value; }
  void C_CancelEnabled(bool enabled) override { cancelEnabled = enabled; }

  std::vector<int16_t> gauge;
  std::shared_ptr<RecordingLabel> step = std::make_shared<RecordingLabel>();
  std::shared_ptr<RecordingLabel> item = std::make_shared<RecordingLabel>();
  int16_t finalRun = 1;
  bool cancelEnabled = true;

 private:
  std::shared_ptr<CallPump> pump_;
};

// The Windows the tests install on.
std::shared_ptr<FakeWindows> Windows10x64();
std::shared_ptr<FakeWindows> Windows7x86();

class EngineRunTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A fresh state and run on the given Windows (Windows 10 64-bit by default).
  void NewRun(std::shared_ptr<FakeWindows> windows = Windows10x64());
  norvale::InstallerState& State() { return *state_; }
  norvale::InstallRun& Run() { return *run_; }

  void AddDownload(const std::wstring& src, const std::wstring& dst, const std::wstring& chk = L"");
  void AddOptionGroup(int options, int chosen);
  void AddTask(bool checked);
  // Points the FTP client at a server.
  void UseServer(const FtpTestServer& server);
  // What Cancel on the progress page does.
  void ClickCancel();

  // The install record's lines, and those of one section (header to the
  // next header, header left out).
  std::vector<std::wstring> Section(const std::wstring& name) const;
  bool Logged(const std::wstring& line) const;

  std::unique_ptr<TempDir> app_;       // the install folder's parent
  std::unique_ptr<TempDir> outside_;   // a place outside the install folder
  std::unique_ptr<TempDir> fonts_;     // stands in for the Fonts folder
  std::wstring appDir_;
  std::shared_ptr<AnsweringBox> box_;
  std::shared_ptr<CallPump> pump_;
  std::shared_ptr<FakeClock> clock_;
  std::shared_ptr<FakeWindows> windows_;
  // Elevated unless a test says otherwise; records the lists applied.
  std::shared_ptr<RecordingFolderAccess> folderAccess_;
  std::unique_ptr<norvale::InstallerState> state_;
  std::unique_ptr<RecordingRunWindow> window_;
  std::unique_ptr<norvale::InstallRun> run_;

  std::vector<std::wstring> log_;               // the install record
  std::vector<std::wstring> calls_;             // other parts called, in order
  std::vector<std::wstring> installedFonts_;
  std::vector<std::wstring> removedFonts_;
  bool fontInstallWorks_ = true;
  bool unpackWorks_ = true;
  int ends_ = 0;
  std::vector<std::wstring> started_;
};

// The same, with an FTP test server per suite serving a sample package:
// /pkg/app/ (a tree with Japanese names), /pkg/files/ (plain files, a 3 MB
// file, an archive), /pkg/fonts/ (demo.ttf and three more), /pkg/late/ (one
// unrelated file).
class PackageServerTest : public EngineRunTest {
 protected:
  static constexpr size_t kBigFile = 3 * 1024 * 1024;
  static void SetUpTestSuite();
  static void TearDownTestSuite();
  void SetUp() override;
  // Also points the new run at the server and makes its {tmp} folder.
  void NewServedRun(std::shared_ptr<FakeWindows> windows);
  std::string Served(const std::wstring& relative) const;

  static std::unique_ptr<TempDir> root_;
  static std::unique_ptr<FtpTestServer> server_;
};

}  // namespace testing_support
