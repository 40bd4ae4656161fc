#pragma once
// A test FTP server per test suite and a fresh client per test, wired to a
// recording display and a message pump that runs what the test hooks in
// (the way a Cancel click runs inside the window's message loop).
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ClsWinFTP.h"
#include "FtpTestServer.h"
#include "ScriptedMessageBox.h"
#include "TempDir.h"

namespace testing_support {

class RecordingDisplay final : public norvale::ITextDisplay {
 public:
  void SetText(const std::wstring& text) override { texts.push_back(text); }
  int Count(const std::wstring& text) const;
  std::vector<std::wstring> texts;
};

class HookPump final : public norvale::IMessagePump {
 public:
  void DoEvents() override {
    ++calls;
    if (hook) hook(calls);
  }
  int calls = 0;
  std::function<void(int call)> hook;
};

class FtpClientTest : public ::testing::Test {
 protected:
  // Each suite's SetUpTestSuite calls this with the tree its server serves.
  static void StartServer(const std::function<void(const std::wstring& root)>& buildTree);
  static void TearDownTestSuite();
  static FtpTestServer& Server() { return *server_; }
  static const std::wstring& ServerRoot() { return root_->Path(); }

  void SetUp() override;
  void TearDown() override;

  // A client for the suite's server with the given pauses (none by default)
  // and, when given, its answer to the size of a file opened for download.
  std::unique_ptr<ClsWinFTP> NewClient(
      norvale::FtpWaits waits = norvale::FtpWaits::None(),
      std::shared_ptr<norvale::IFtpFileSize> fileSize = nullptr);
  bool Connect(ClsWinFTP& client, int32_t& code);

  std::shared_ptr<RecordingDisplay> display_;
  std::shared_ptr<HookPump> pump_;
  std::shared_ptr<norvale::ScriptedMessageBox> box_;
  std::unique_ptr<ClsWinFTP> ftp_;
  std::unique_ptr<TempDir> local_;

 private:
  static std::unique_ptr<TempDir> root_;
  static std::unique_ptr<FtpTestServer> server_;
};

// An old date, listed by the server with its year and read back by WinINet
// as 12:00:00 of that day: a time that survives the trip exactly.
SYSTEMTIME ListedFixtureTime();
norvale::OleDate ListedFixtureDate();

}  // namespace testing_support
