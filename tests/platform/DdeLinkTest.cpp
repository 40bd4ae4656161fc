// DDE links of text boxes and labels on real forms, against a DDE server of
// the test's own on another thread, and the general-function object's
// DDE_SEND through them.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>

#include "DdeTestServer.h"
#include "FormsTestSupport.h"
#include "clsPublicFunc.h"

using namespace forms_testing;
using namespace norvale::forms;

namespace {

using Poke = DdeTestServer::Poke;
using Pokes = std::vector<Poke>;

// The library keeps a window for each instance and each conversation: a
// link that leaves one open leaves its window behind. Wine also leaves the
// window of a conversation that no server took (Windows destroys it); that
// one is no handle of ours and is not counted.
BOOL CALLBACK CountOurWindow(HWND hwnd, LPARAM counter) {
  wchar_t className[64] = {};
  GetClassNameW(hwnd, className, 64);
  if (std::wstring(className) != L"WineDdeClientW") ++*reinterpret_cast<int*>(counter);
  return TRUE;
}

int ThreadWindowCount() {
  int count = 0;
  EnumThreadWindows(GetCurrentThreadId(), &CountOurWindow, reinterpret_cast<LPARAM>(&count));
  return count;
}

class DdeLinkTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server_.Running()); }

  bool ConversationsBecome(int count) {
    return PumpUntil(app_, [&] { return server_.Conversations() == count; });
  }

  // The server outlives the controls, so their conversations end first.
  DdeTestServer server_{L"NorvaleDdeTest", L"Register"};
  Application app_;
  EventForm form_{app_, L"Form_DDE"};
  TextBox& box_ = form_.Add<TextBox>(L"T_Send");
  Label& label_ = form_.Add<Label>(L"L_Send");
};

TEST_F(DdeLinkTest, ManualLinkPokesTheControlsValueUnderTheCurrentItem) {
  form_.Show();
  EXPECT_EQ(0, box_.LinkMode());
  EXPECT_FALSE(box_.LinkPoke());  // no link yet
  ASSERT_TRUE(box_.SetLinkTopic(L"NorvaleDdeTest|Register"));
  ASSERT_TRUE(box_.SetLinkItem(L"Total"));
  ASSERT_TRUE(box_.SetLinkMode(2));
  EXPECT_EQ(2, box_.LinkMode());
  EXPECT_TRUE(ConversationsBecome(1));

  box_.Text(L"合計 1,200円");  // double-byte text goes as code page bytes
  EXPECT_TRUE(box_.LinkPoke());
  box_.SetLinkItem(L"Change");
  box_.SetValue(L"300");
  EXPECT_TRUE(box_.LinkPoke());
  box_.SetLinkItem(L"Refused");
  EXPECT_FALSE(box_.LinkPoke());
  box_.SetLinkItem(L"Change");
  EXPECT_EQ((Pokes{{L"Total", L"合計 1,200円"}, {L"Change", L"300"}}), server_.Pokes());

  // A label sends its caption, over a conversation of its own.
  label_.SetLinkTopic(L"NorvaleDdeTest|Register");
  label_.SetLinkItem(L"Note");
  ASSERT_TRUE(label_.SetLinkMode(2));
  EXPECT_TRUE(ConversationsBecome(2));
  label_.SetValue(L"お預かり");
  EXPECT_TRUE(label_.LinkPoke());
  EXPECT_EQ((Pokes{{L"Total", L"合計 1,200円"}, {L"Change", L"300"}, {L"Note", L"お預かり"}}),
            server_.Pokes());

  // Mode 0 ends the conversation; nothing more is sent.
  ASSERT_TRUE(box_.SetLinkMode(0));
  EXPECT_EQ(0, box_.LinkMode());
  EXPECT_TRUE(ConversationsBecome(1));
  EXPECT_FALSE(box_.LinkPoke());
  EXPECT_EQ(3u, server_.Pokes().size());
}

TEST_F(DdeLinkTest, RefusedLinksLeaveNothingOpen) {
  form_.Show();
  const int windows = ThreadWindowCount();
  for (const wchar_t* topic : {L"NobodyServes|Register", L"NorvaleDdeTest|OtherTopic",
                               L"NorvaleDdeTest", L"|"}) {
    SCOPED_TRACE(topic);
    box_.SetLinkTopic(topic);
    EXPECT_FALSE(box_.SetLinkMode(2));
    EXPECT_EQ(0, box_.LinkMode());
    EXPECT_FALSE(box_.LinkPoke());
    EXPECT_EQ(windows, ThreadWindowCount());
  }
  EXPECT_EQ(0, server_.Conversations());

  // Only the manual mode is offered; an empty item cannot be poked.
  box_.SetLinkTopic(L"NorvaleDdeTest|Register");
  EXPECT_FALSE(box_.SetLinkMode(1));
  EXPECT_FALSE(box_.SetLinkMode(3));
  EXPECT_EQ(0, box_.LinkMode());
  ASSERT_TRUE(box_.SetLinkMode(2));
  EXPECT_FALSE(box_.LinkPoke());
  EXPECT_TRUE(server_.Pokes().empty());

  // A failed reconnection keeps the link there is.
  box_.SetLinkTopic(L"NobodyServes|Register");
  EXPECT_FALSE(box_.SetLinkMode(2));
  EXPECT_EQ(2, box_.LinkMode());
  box_.SetLinkItem(L"Total");
  EXPECT_TRUE(box_.LinkPoke());
  EXPECT_EQ(1u, server_.Pokes().size());

  box_.SetLinkMode(0);
  EXPECT_TRUE(ConversationsBecome(0));
  EXPECT_EQ(windows, ThreadWindowCount());

  // A control that goes with its form ends its conversation.
  {
    EventForm gone(app_, L"Form_Gone");
    TextBox& linked = gone.Add<TextBox>(L"T_Linked");
    linked.SetLinkTopic(L"NorvaleDdeTest|Register");
    ASSERT_TRUE(linked.SetLinkMode(2));
    EXPECT_TRUE(ConversationsBecome(1));
  }
  EXPECT_TRUE(ConversationsBecome(0));
}

// A form that runs an action of the test's when it unloads.
class ActingForm : public EventForm {
 public:
  using EventForm::EventForm;
  std::function<void()> onUnload;

 protected:
  void Form_Unload(int16_t& Cancel) override {
    EventForm::Form_Unload(Cancel);
    if (onUnload) onUnload();
  }
};

// Run on the server's thread before it answers a poke: closes a window of
// the client's thread from outside and holds the answer back until the
// window is gone. Wine's library, while it waits, wakes for posted messages
// only and then handles the messages sent to the thread (Windows handles
// every message there), hence the posted nothing after the close.
void CloseFromElsewhere(HWND window) {
  SendNotifyMessageW(window, WM_CLOSE, 0, 0);
  PostMessageW(window, WM_NULL, 0, 0);
  for (int i = 0; i < 300 && IsWindow(window); ++i) Sleep(10);
}

// The library handles messages while a poke waits for the server: here
// another form of the program is closed meanwhile, and its Unload event
// takes the linked control away.
TEST_F(DdeLinkTest, ALinkTakenAwayWhileItsPokeWaitsEndsOnlyAfterThePoke) {
  ActingForm closer(app_, L"Form_Closer");
  closer.Show();
  const HWND closerWindow = closer.hWnd();
  server_.WhilePoking([closerWindow] { CloseFromElsewhere(closerWindow); });

  auto linked = std::make_unique<EventForm>(app_, L"Form_Linked");
  TextBox& box = linked->Add<TextBox>(L"T_Linked");
  linked->Show();
  closer.onUnload = [&] { linked.reset(); };
  clsPublicFunc f;
  const DWORD start = GetTickCount();
  // The server answers over the conversation still open.
  EXPECT_TRUE(f.DDE_SEND(&box, L"1,200", L"NorvaleDdeTest|Register", L"Total"));
  EXPECT_LT(GetTickCount() - start, 3000u);
  EXPECT_FALSE(linked);
  EXPECT_EQ(1, closer.Count(L"Unload"));
  EXPECT_EQ((Pokes{{L"Total", L"1,200"}}), server_.Pokes());
  EXPECT_TRUE(ConversationsBecome(0));

  // Mode 0 set from the same place ends the link the same way, and the
  // control links and pokes again afterwards.
  ActingForm second(app_, L"Form_Second");
  second.Show();
  const HWND secondWindow = second.hWnd();
  server_.WhilePoking([secondWindow] { CloseFromElsewhere(secondWindow); });
  label_.SetLinkTopic(L"NorvaleDdeTest|Register");
  label_.SetLinkItem(L"Note");
  ASSERT_TRUE(label_.SetLinkMode(2));
  second.onUnload = [&] { label_.SetLinkMode(0); };
  label_.SetValue(L"お預かり");
  EXPECT_TRUE(label_.LinkPoke());
  EXPECT_EQ(0, label_.LinkMode());
  EXPECT_TRUE(ConversationsBecome(0));
  server_.WhilePoking(nullptr);
  ASSERT_TRUE(label_.SetLinkMode(2));
  EXPECT_TRUE(label_.LinkPoke());
  EXPECT_EQ((Pokes{{L"Total", L"1,200"}, {L"Note", L"お預かり"}, {L"Note", L"お預かり"}}),
            server_.Pokes());
}

using DdeSendTest = DdeLinkTest;

TEST_F(DdeSendTest, LinksAFreeTextBoxOnceAndPokesTheMessage) {
  form_.Show();
  clsPublicFunc f;
  EXPECT_TRUE(f.DDE_SEND(&box_, L"伝票 0001", L"NorvaleDdeTest|Register", L"Slip"));
  EXPECT_EQ(2, box_.LinkMode());
  EXPECT_EQ(L"伝票 0001", box_.Text());
  EXPECT_EQ((Pokes{{L"Slip", L"伝票 0001"}}), server_.Pokes());

  // The text box already has a link: its topic and item stay, and the
  // message goes where they point.
  DdeTestServer other(L"NorvaleDdeOther", L"Elsewhere");
  ASSERT_TRUE(other.Running());
  EXPECT_TRUE(f.DDE_SEND(&box_, L"second", L"NorvaleDdeOther|Elsewhere", L"Ignored"));
  EXPECT_EQ(L"NorvaleDdeTest|Register", box_.LinkTopic());
  EXPECT_EQ(L"Slip", box_.LinkItem());
  EXPECT_EQ((Pokes{{L"Slip", L"伝票 0001"}, {L"Slip", L"second"}}), server_.Pokes());
  EXPECT_TRUE(other.Pokes().empty());
  EXPECT_EQ(0, other.Conversations());
  EXPECT_EQ(1, server_.Conversations());
}

TEST_F(DdeSendTest, NoServerAnsweringOrARefusedMessageReturnsFalse) {
  form_.Show();
  clsPublicFunc f;
  box_.Text(L"before");
  const int windows = ThreadWindowCount();
  EXPECT_FALSE(f.DDE_SEND(&box_, L"msg", L"NobodyServes|Register", L"Slip"));
  EXPECT_EQ(0, box_.LinkMode());
  EXPECT_EQ(L"before", box_.Text());
  EXPECT_EQ(windows, ThreadWindowCount());
  EXPECT_EQ(0, server_.Conversations());

  // The link is made, but the server does not take the message.
  EXPECT_FALSE(f.DDE_SEND(&label_, L"msg", L"NorvaleDdeTest|Register", L"Refused"));
  EXPECT_EQ(2, label_.LinkMode());
  EXPECT_TRUE(server_.Pokes().empty());
}

TEST_F(DdeSendTest, AServerThatStoppedAndStartedAgainIsLinkedAnew) {
  form_.Show();
  clsPublicFunc f;
  std::optional<DdeTestServer> till(std::in_place, L"NorvaleDdeTill", L"Register");
  ASSERT_TRUE(till->Running());
  EXPECT_TRUE(f.DDE_SEND(&box_, L"first", L"NorvaleDdeTill|Register", L"Slip"));
  EXPECT_TRUE(f.DDE_SEND(&label_, L"first", L"NorvaleDdeTill|Register", L"Note"));
  EXPECT_EQ(2, box_.LinkMode());

  till.reset();
  till.emplace(L"NorvaleDdeTill", L"Register");
  ASSERT_TRUE(till->Running());
  // The text box is asked before this thread has read anything from the
  // server that went; the label after the server's goodbye was handled.
  EXPECT_EQ(0, box_.LinkMode());
  EXPECT_FALSE(box_.LinkPoke());
  EXPECT_TRUE(f.DDE_SEND(&box_, L"second", L"NorvaleDdeTill|Register", L"Slip"));
  EXPECT_EQ(2, box_.LinkMode());
  PumpFor(app_, std::chrono::milliseconds(200));
  EXPECT_EQ(0, label_.LinkMode());
  EXPECT_TRUE(f.DDE_SEND(&label_, L"second", L"NorvaleDdeTill|Register", L"Note"));
  EXPECT_EQ((Pokes{{L"Slip", L"second"}, {L"Note", L"second"}}), till->Pokes());
  EXPECT_EQ(2, till->Conversations());

  box_.SetLinkMode(0);
  label_.SetLinkMode(0);
  EXPECT_TRUE(PumpUntil(app_, [&] { return till->Conversations() == 0; }));
}

}  // namespace
