#include <windows.h>

#include <gtest/gtest.h>

#include "ServicesTestSupport.h"
#include "clsWinCommon.h"

using namespace testing_support;

namespace {

// Every call here goes to the recorder: nothing restarts, logs off or sets
// the clock.
class ShutdownTest : public ::testing::Test {
 protected:
  std::vector<std::wstring>& Calls() { return services_.actions->calls; }
  ServicesUnderTest services_;
  clsWinCommon win_{services_.Seams(), services_.Windows()};
};

TEST_F(ShutdownTest, RestartAndShutdownFlags) {
  struct Case {
    int32_t appClose, reboot;
    const wchar_t* flags;
  };
  // Only -1 is True.
  for (const Case& c : {Case{-1, -1, L"0x12"}, Case{0, -1, L"0x2"}, Case{-1, 0, L"0x11"},
                        Case{0, 0, L"0x1"}, Case{1, 1, L"0x1"}}) {
    Calls().clear();
    EXPECT_EQ(1, win_.shutdown(c.appClose, c.reboot));
    EXPECT_EQ((std::vector<std::wstring>{L"privilege SeShutdownPrivilege",
                                         std::wstring(L"exit ") + c.flags + L" 0x0"}),
              Calls());
  }
  // What Windows answered reaches the caller.
  services_.actions->answer = false;
  EXPECT_EQ(0, win_.shutdown(-1, -1));
}

TEST_F(ShutdownTest, LogOffAndRemoteShutdown) {
  win_.LOGOFF();
  EXPECT_EQ(-1, win_.RemoteShutdown(L"PC01", L"再起動します", 30, 1, 2));
  services_.actions->answer = false;
  EXPECT_EQ(0, win_.RemoteShutdown(L"PC02", L"", 0, 0, 0));
  EXPECT_EQ((std::vector<std::wstring>{L"exit 0x0 0xFFFFFFFF", L"remote PC01|再起動します|30|1|1",
                                       L"remote PC02||0|0|0"}),
            Calls());
}

TEST_F(ShutdownTest, ClockRecords) {
  SYSTEMTIME when{2024, 3, 2, 5, 14, 7, 9, 500};
  const norvale::OleDate date = norvale::OleDate::FromSystemTime(when);
  EXPECT_TRUE(win_.SetSystemDateTime(date));
  services_.actions->answer = false;
  EXPECT_FALSE(win_.SetLocalDateTime(date));
  EXPECT_EQ((std::vector<std::wstring>{L"system clock", L"local clock"}), Calls());
  for (const SYSTEMTIME& t : services_.actions->clocks) {
    EXPECT_EQ(2024, t.wYear);
    EXPECT_EQ(3, t.wMonth);
    EXPECT_EQ(0, t.wDayOfWeek);
    EXPECT_EQ(5, t.wDay);
    EXPECT_EQ(14, t.wHour);
    EXPECT_EQ(7, t.wMinute);
    EXPECT_EQ(9, t.wSecond);
    EXPECT_EQ(0, t.wMilliseconds);
  }
}

}  // namespace
