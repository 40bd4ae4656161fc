#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "ServicesTestSupport.h"
#include "Text.h"
#include "clsWinCommon.h"

using namespace testing_support;
using norvale::StartsWith;

namespace {

class NetworkTest : public ::testing::Test {
 protected:
  ServicesUnderTest services;
  clsWinCommon win{services.Seams(), services.Windows()};
};

TEST_F(NetworkTest, PingOfTheLoopbackAddressGetsGoodRepliesWithTheirFields) {
  std::wstring reply;
  int32_t error = -1;
  const int16_t good = win.Winsoc_Ping(L"127.0.0.1", 2, &reply, &error, 2000);
  EXPECT_EQ(good, 2) << reply;
  EXPECT_EQ(error, 0);
  EXPECT_TRUE(StartsWith(reply, L"Reply From 127.0.0.1: bytes=32 time=")) << reply;
  EXPECT_NE(reply.find(L"ms TTL="), std::wstring::npos) << reply;
  // One pause between the two echoes, in the waits' virtual time.
  ASSERT_EQ(services.waits->sleeps.size(), 1u);
  EXPECT_EQ(services.waits->sleeps[0], 500u);
}

TEST_F(NetworkTest, PingCountIsKeptBetweenOneAndTen) {
  EXPECT_EQ(win.Winsoc_Ping(L"127.0.0.1", 0), 1);
  services.waits->sleeps.clear();
  EXPECT_EQ(win.Winsoc_Ping(L"127.0.0.1", 25), 10);
  EXPECT_EQ(services.waits->sleeps.size(), 9u);
}

TEST_F(NetworkTest, StoppingAtTheFirstGoodReplySendsNoMoreEchoes) {
  std::wstring reply = L"before";
  EXPECT_EQ(win.Winsoc_Ping(L"127.0.0.1", 5, &reply, nullptr, 0, true), 1);
  EXPECT_TRUE(services.waits->sleeps.empty());
  EXPECT_EQ(reply, L"") << "the stopping echo's text is not handed out";
}

TEST_F(NetworkTest, OwnNamesAnswerWithoutSending) {
  std::wstring reply;
  EXPECT_EQ(win.Winsoc_Ping(L"LocalHost", 3, &reply), 3);
  EXPECT_EQ(reply, L"Reply From LocalHost time<1ms");
  const std::wstring computer = win.GetNameOfComputer();
  ASSERT_FALSE(computer.empty());
  EXPECT_EQ(win.Winsoc_Ping(L"\\\\" + computer + L"\\share", 2, &reply), 2);
  EXPECT_EQ(reply, L"Reply From " + computer + L" time<1ms");
  EXPECT_TRUE(services.waits->sleeps.empty());
}

TEST_F(NetworkTest, AHostWithoutAnAddressFails) {
  std::wstring reply;
  int32_t error = 0;
  EXPECT_EQ(win.Winsoc_Ping(L"nvws-no-such-host.invalid", 1, &reply, &error), -1);
  EXPECT_EQ(reply, L"ホスト名からIPアドレスが取得できませんでした");
  EXPECT_NE(error, 0);
  EXPECT_EQ(win.Winsoc_gethostbyname(L"nvws-no-such-host.invalid"), 0u);
}

TEST_F(NetworkTest, LookUpOfLocalhostGivesTheLoopbackAddressWithoutACallersWinsock) {
  const uint32_t address = win.Winsoc_gethostbyname(L"localhost");
  const auto* bytes = reinterpret_cast<const BYTE*>(&address);
  EXPECT_EQ(bytes[0], 127);
  EXPECT_EQ(win.Winsoc_gethostbyname(L"127.0.0.1"), 0x0100007Fu);
}

TEST_F(NetworkTest, IcmpStatusTexts) {
  EXPECT_EQ(win.GetICMP_ErrMsg(0), L"Success");
  EXPECT_EQ(win.GetICMP_ErrMsg(11010), L"Request Timed Out");
  EXPECT_EQ(win.GetICMP_ErrMsg(11032), L"Negotiating IPSEC");
  EXPECT_EQ(win.GetICMP_ErrMsg(11050), L"General Failure");
  EXPECT_EQ(win.GetICMP_ErrMsg(11019), L"Unknown Response");
  EXPECT_EQ(win.GetICMP_ErrMsg(-1), L"Unknown Response");
}

TEST_F(NetworkTest, ServerCheckReportsWhatItFound) {
  EXPECT_TRUE(win.IsServerActive(L"\\\\server\\share", true));
  ASSERT_EQ(services.boxes->Asked().size(), 1u);
  EXPECT_EQ(services.boxes->Asked()[0].text,
            L"\\\\server\\shareはコンピュータ名ではないのでチェックできません。");
  EXPECT_EQ(services.boxes->Asked()[0].title, L"コンピュータ名でない文字が含まれています");
  EXPECT_EQ(services.boxes->Asked()[0].style, static_cast<unsigned>(MB_SYSTEMMODAL | MB_ICONINFORMATION));

  services.boxes->Clear();
  EXPECT_FALSE(win.IsServerActive(L"   ", true));
  EXPECT_TRUE(services.boxes->Asked().empty());

  EXPECT_TRUE(win.IsServerActive(L" 127.0.0.1 ", true));
  ASSERT_EQ(services.boxes->Asked().size(), 1u);
  EXPECT_TRUE(StartsWith(services.boxes->Asked()[0].text,
                         L"127.0.0.1を確認しました。\r\n(Reply From 127.0.0.1: bytes=32"))
      << services.boxes->Asked()[0].text;
  EXPECT_EQ(services.boxes->Asked()[0].title, L"サーバーを確認しました。");

  services.boxes->Clear();
  EXPECT_FALSE(win.IsServerActive(L"nvws-no-such-host.invalid", true));
  ASSERT_EQ(services.boxes->Asked().size(), 1u);
  EXPECT_TRUE(StartsWith(services.boxes->Asked()[0].text,
                         L"nvws-no-such-host.invalidを確認できません。\r\nサーバー名、又は、"
                         L"ネットワークを確認して下さい。("));
  EXPECT_NE(services.boxes->Asked()[0].text.find(L":ホスト名からIPアドレスが取得できませんでした)"),
            std::wstring::npos);
  EXPECT_EQ(services.boxes->Asked()[0].title, L"サーバーを確認できません！");
  EXPECT_EQ(services.boxes->Asked()[0].style, static_cast<unsigned>(MB_SYSTEMMODAL | MB_ICONSTOP));

  services.boxes->Clear();
  EXPECT_TRUE(win.IsServerActive(L"127.0.0.1"));
  EXPECT_TRUE(services.boxes->Asked().empty());
}

// Wine always lets a program attempt a connection; that is an OK.
TEST_F(NetworkTest, InternetAttemptThatSucceedsIsReportedAsOk) { EXPECT_TRUE(win.IsInternetOK()); }

}  // namespace
