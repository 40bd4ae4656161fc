// Connecting, retries with their countdown, the stop request and the root
// handle, against the test server.
#include <chrono>

#include "FtpClientFixture.h"
#include "System.h"

namespace testing_support {
namespace {

using Clock = std::chrono::steady_clock;

const wchar_t kConnectCountdown[] = L"★サーバーに接続できませんでした！\r\n";

std::wstring ConnectCountdownText(int seconds) {
  return kConnectCountdown + std::to_wstring(seconds) + L"秒後に再度接続します...";
}

class SessionTest : public FtpClientTest {
 protected:
  static void SetUpTestSuite() {
    StartServer([](const std::wstring& root) {
      PutFolder(root, L"pub");
      PutFolder(root, L"日本語フォルダ\\下位");
    });
  }
};

TEST_F(SessionTest, NewObjectHasItsDefaultsAndARootHandle) {
  ClsWinFTP fresh;
  EXPECT_TRUE(fresh.Passive());
  EXPECT_EQ(fresh.PortNo(), 0);
  EXPECT_EQ(fresh.OLErrorRetryMaxCount(), 3);
  EXPECT_EQ(fresh.OLErrorRetryWaitTime(), 10);
  EXPECT_EQ(fresh.StopFlag(), 0);
  EXPECT_FALSE(fresh.ASYNC());
  EXPECT_FALSE(fresh.IsConnect());
  EXPECT_EQ(fresh.AppName(), L"[" + norvale::ProgramTitle() + L"]");
  // The root handle exists from the start: the first close finds it, the
  // second one does not.
  int32_t code = -5;
  EXPECT_TRUE(fresh.InetClose(code));
  EXPECT_EQ(code, 0);
  EXPECT_FALSE(fresh.InetClose(code));
  EXPECT_EQ(code, 0);
}

TEST_F(SessionTest, ConnectsWorksInFoldersAndDisconnectsWithCodeZero) {
  int32_t code = -5;
  ASSERT_TRUE(Connect(*ftp_, code)) << code;
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(ftp_->IsConnect());

  std::wstring folder;
  ASSERT_TRUE(ftp_->FtpGetDir(folder, code));
  EXPECT_EQ(folder, L"/");
  // Japanese folder names come back whole (the ANSI entry point of Wine cut them).
  ASSERT_TRUE(ftp_->FtpSetDir(L"日本語フォルダ/下位", code)) << code;
  ASSERT_TRUE(ftp_->FtpGetDir(folder, code));
  EXPECT_EQ(folder, L"/日本語フォルダ/下位");
  // A blank folder means the root.
  ASSERT_TRUE(ftp_->FtpSetDir(L"  ", code));
  ASSERT_TRUE(ftp_->FtpGetDir(folder, code));
  EXPECT_EQ(folder, L"/");

  EXPECT_FALSE(ftp_->FtpSetDir(L"/no-such-folder", code));
  EXPECT_EQ(code, ERROR_INTERNET_EXTENDED_ERROR);

  EXPECT_TRUE(ftp_->InetDisConnect(code));
  EXPECT_EQ(code, 0);
  EXPECT_FALSE(ftp_->IsConnect());
  EXPECT_FALSE(ftp_->InetDisConnect(code));
  EXPECT_EQ(code, 0);
  EXPECT_FALSE(ftp_->FtpGetDir(folder, code));
  EXPECT_EQ(folder, L"");
  EXPECT_NE(code, 0);
}

TEST_F(SessionTest, ConnectKeepsCredentialsOnlyWhenServerAndUserAreGiven) {
  ftp_->ServerIP(L"kept");
  ftp_->UserID(L"kept-user");
  ftp_->OLErrorRetryMaxCount(0);
  int32_t code = 0;
  EXPECT_FALSE(ftp_->InetConnect(Server().Host(), L" ", Server().Password(), code));
  EXPECT_EQ(ftp_->ServerIP(), L"kept");
  EXPECT_EQ(ftp_->UserID(), L"kept-user");

  ASSERT_TRUE(Connect(*ftp_, code)) << code;
  EXPECT_EQ(ftp_->ServerIP(), Server().Host());
  EXPECT_EQ(ftp_->UserID(), Server().User());
  EXPECT_EQ(ftp_->Pass(), Server().Password());
}

TEST_F(SessionTest, FailedConnectsReportTheirCodeAfterAllAttempts) {
  int32_t code = 0;
  // Nothing listening: one attempt, no countdown.
  ftp_->OLErrorRetryMaxCount(0);
  ftp_->PortNo(static_cast<int16_t>(UnusedLocalPort()));
  EXPECT_FALSE(Connect(*ftp_, code));
  EXPECT_EQ(code, ERROR_INTERNET_CANNOT_CONNECT);
  EXPECT_TRUE(display_->texts.empty());
  EXPECT_FALSE(ftp_->IsConnect());

  // A wrong password, with the default four attempts and three countdowns.
  ftp_ = NewClient();
  EXPECT_FALSE(ftp_->InetConnect(Server().Host(), Server().User(), L"wrong", code));
  EXPECT_EQ(code, ERROR_INTERNET_LOGIN_FAILURE);
  EXPECT_FALSE(ftp_->IsConnect());
  EXPECT_EQ(display_->texts.size(), 3u * 50u);
  EXPECT_EQ(display_->texts.back(), ConnectCountdownText(0));
}

TEST_F(SessionTest, RetriesAfterRefusedLoginsWithTheCountdownTexts) {
  FtpFaults faults;
  faults.refuseLogins = 2;
  Server().SetFaults(faults);
  const int refusedBefore = Server().Stat("refused");
  ftp_->OLErrorRetryWaitTime(2);
  int32_t code = -5;
  ASSERT_TRUE(Connect(*ftp_, code)) << code;
  EXPECT_EQ(code, 0);
  EXPECT_EQ(Server().Stat("refused") - refusedBefore, 2);

  // Two countdowns of ten steps: 2 for four steps, 1 for five, 0 at the end.
  std::vector<std::wstring> one;
  for (int i = 0; i < 4; ++i) one.push_back(ConnectCountdownText(2));
  for (int i = 0; i < 5; ++i) one.push_back(ConnectCountdownText(1));
  one.push_back(ConnectCountdownText(0));
  std::vector<std::wstring> expected = one;
  expected.insert(expected.end(), one.begin(), one.end());
  EXPECT_EQ(display_->texts, expected);
  // The message loop ran once per step.
  EXPECT_EQ(pump_->calls, 20);
}

TEST_F(SessionTest, NoWaitTimeRetriesAtOnceWithoutTexts) {
  FtpFaults faults;
  faults.refuseLogins = 1;
  Server().SetFaults(faults);
  ftp_->OLErrorRetryWaitTime(0);
  int32_t code = 0;
  ASSERT_TRUE(Connect(*ftp_, code)) << code;
  EXPECT_TRUE(display_->texts.empty());
}

TEST_F(SessionTest, ServerDroppingTheConnectionIsRetried) {
  FtpFaults faults;
  faults.dropConnections = 1;
  Server().SetFaults(faults);
  const int droppedBefore = Server().Stat("dropped");
  int32_t code = -5;
  ASSERT_TRUE(Connect(*ftp_, code)) << code;
  EXPECT_EQ(Server().Stat("dropped") - droppedBefore, 1);

  // Without retries the drop is the result.
  ftp_ = NewClient();
  ftp_->OLErrorRetryMaxCount(0);
  Server().SetFaults(faults);
  EXPECT_FALSE(Connect(*ftp_, code));
  EXPECT_NE(code, 0);
  EXPECT_NE(code, kFtpStopped);
}

TEST_F(SessionTest, StopDuringTheCountdownEndsWithinOneStep) {
  FtpFaults faults;
  faults.refuseLogins = 100;
  Server().SetFaults(faults);
  ClsWinFTP* client = ftp_.get();
  pump_->hook = [client](int call) {
    if (call == 7) client->StopFlag(kFtpStopped);
  };
  int32_t code = 0;
  EXPECT_FALSE(Connect(*ftp_, code));
  EXPECT_EQ(code, kFtpStopped);
  EXPECT_EQ(pump_->calls, 7);
  EXPECT_EQ(display_->texts.size(), 7u);
  // The flag stays set until a caller clears it.
  EXPECT_EQ(ftp_->StopFlag(), kFtpStopped);
}

TEST_F(SessionTest, RootHandleIsReopenedAfterACancelClosedIt) {
  FtpFaults faults;
  faults.refuseLogins = 1;
  Server().SetFaults(faults);
  // The Cancel button of an asynchronous run: stop flag, then close.
  ClsWinFTP* client = ftp_.get();
  pump_->hook = [client](int call) {
    if (call == 2) {
      client->StopFlag(kFtpStopped);
      client->InetClose();
    }
  };
  int32_t code = 0;
  EXPECT_FALSE(Connect(*ftp_, code));
  EXPECT_EQ(code, kFtpStopped);
  EXPECT_FALSE(ftp_->IsConnect());

  // A root handle is there again, and the next run connects.
  pump_->hook = nullptr;
  ftp_->StopFlag(0);
  ASSERT_TRUE(Connect(*ftp_, code)) << code;
  EXPECT_TRUE(ftp_->InetClose(code));
  EXPECT_EQ(code, 0);
}

TEST_F(SessionTest, InetOpenReplacesTheRootAndDropsTheMainSession) {
  int32_t code = 0;
  ASSERT_TRUE(Connect(*ftp_, code)) << code;
  EXPECT_TRUE(ftp_->InetOpen(code));
  EXPECT_EQ(code, 0);
  EXPECT_FALSE(ftp_->IsConnect());
  ASSERT_TRUE(Connect(*ftp_, code)) << code;
  std::wstring folder;
  EXPECT_TRUE(ftp_->FtpGetDir(folder, code));
}

TEST_F(SessionTest, QuitIsSentBeforeClosingOnlyInPassiveMode) {
  int32_t code = 0;
  const int quitsBefore = Server().Stat("quit");
  ftp_->Passive(false);
  ASSERT_TRUE(Connect(*ftp_, code)) << code;
  std::wstring folder;
  EXPECT_TRUE(ftp_->FtpGetDir(folder, code));
  EXPECT_TRUE(ftp_->InetDisConnect(code));

  // The passive session afterwards says goodbye, and is the only one that did.
  ftp_->Passive(true);
  ASSERT_TRUE(Connect(*ftp_, code)) << code;
  ASSERT_TRUE(ftp_->InetDisConnect(code));
  EXPECT_TRUE(Server().WaitForStat("quit", quitsBefore + 1));
  EXPECT_EQ(Server().Stat("quit"), quitsBefore + 1);
}

// The one test with the real pauses: a connect that is refused once waits
// out a one-second countdown in steps of 200 ms and a pause after each
// successful connect.
TEST_F(SessionTest, RealPausesOfAConnectWithOneRetry) {
  auto client = NewClient(norvale::FtpWaits{});
  client->OLErrorRetryWaitTime(1);
  FtpFaults faults;
  faults.refuseLogins = 1;
  Server().SetFaults(faults);
  int32_t code = 0;
  const auto start = Clock::now();
  ASSERT_TRUE(Connect(*client, code)) << code;
  const auto elapsed =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  EXPECT_GE(elapsed, 1000 + 500 - 50);
  EXPECT_LT(elapsed, 5000);
  EXPECT_EQ(display_->texts.size(), 5u);
}

}  // namespace
}  // namespace testing_support
