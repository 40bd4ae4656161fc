// Load, Activate, Resize, keys, QueryUnload and Unload, the loaded forms,
// the message loop and the end of the program, on real windows.
#include <windows.h>

#include <gtest/gtest.h>

#include "FormsTestSupport.h"

using namespace forms_testing;
using namespace norvale::forms;

namespace {

using std::chrono::milliseconds;

TEST(FormEventsTest, LoadShowResizeAndActivateInThatOrder) {
  Application app;
  EventForm form(app, L"Form_Inset_MAIN");
  EXPECT_FALSE(form.IsLoaded());
  EXPECT_TRUE(app.Forms().empty());
  ASSERT_TRUE(form.Load());
  EXPECT_EQ((std::vector<std::wstring>{L"Load"}), form.log);
  EXPECT_EQ((std::vector<Form*>{&form}), app.Forms());
  // Sizes set while loading raise no Resize: the form is not shown yet.
  form.Width(9000);
  EXPECT_EQ(1u, form.log.size());

  ASSERT_TRUE(form.Show());
  ASSERT_TRUE(PumpUntil(app, [&] { return form.Count(L"Activate") == 1; }));
  PumpFor(app, milliseconds(30));
  EXPECT_EQ((std::vector<std::wstring>{L"Load", L"Resize", L"Activate"}), form.log);
  EXPECT_EQ(&form, app.Screen().ActiveForm());
  // Showing again changes nothing.
  form.Show();
  PumpFor(app, milliseconds(30));
  EXPECT_EQ(1, form.Count(L"Activate"));
  EXPECT_EQ(1, form.Count(L"Load"));
}

TEST(FormEventsTest, ActivateFiresOncePerChangeOfTheActiveForm) {
  Application app;
  EventForm first(app, L"A"), second(app, L"B");
  first.Show();
  ASSERT_TRUE(PumpUntil(app, [&] { return first.Count(L"Activate") == 1; }));
  second.Show();
  ASSERT_TRUE(PumpUntil(app, [&] { return second.Count(L"Activate") == 1; }));
  EXPECT_EQ(&second, app.Screen().ActiveForm());
  SetActiveWindow(first.hWnd());
  ASSERT_TRUE(PumpUntil(app, [&] { return first.Count(L"Activate") == 2; }));
  EXPECT_EQ(&first, app.Screen().ActiveForm());
  PumpFor(app, milliseconds(30));
  EXPECT_EQ(2, first.Count(L"Activate"));
  EXPECT_EQ(1, second.Count(L"Activate"));
  // Unloading the active form hands the activation to the other one.
  second.Unload();
  SetActiveWindow(second.hWnd());
  EXPECT_EQ(nullptr, second.hWnd());
}

// Another program may take the foreground before the loop raises the
// activation: the form was activated all the same, and a form that acts on
// its first activation must still get the event.
TEST(FormEventsTest, ActivateIsRaisedWhenAnotherProgramTakesTheForegroundAtOnce) {
  Application app;
  EventForm form(app, L"A");
  ASSERT_TRUE(form.Show());
  // What the foreground moving to another program does to this thread.
  SetActiveWindow(nullptr);
  ASSERT_TRUE(PumpUntil(app, [&] { return form.Count(L"Activate") == 1; }));
  PumpFor(app, milliseconds(30));
  EXPECT_EQ(1, form.Count(L"Activate"));
}

// The start-up failure pattern: the first activation shows a real message
// box; when the user has answered it, Activate comes once more.
TEST(FormEventsTest, ActivateComesAgainAfterARealMessageBoxIsAnswered) {
  Application app;
  EventForm form(app, L"Form_Inset_MAIN");
  int answer = 0;
  BoxAnswerer hand(L"処理を続行できません！", IDOK);
  form.onActivate = [&] {
    if (form.Count(L"Activate") == 1) {
      answer = MessageBoxW(form.hWnd(), L"セットアップ情報を取得できませんでした。",
                           L"処理を続行できません！", MB_OK | MB_ICONSTOP);
    }
  };
  form.Show();
  ASSERT_TRUE(PumpUntil(app, [&] { return form.Count(L"Activate") == 2; }, milliseconds(5000)));
  EXPECT_EQ(IDOK, answer);
  EXPECT_TRUE(hand.Answered());
  EXPECT_EQ(L"セットアップ情報を取得できませんでした。", hand.Text());
  PumpFor(app, milliseconds(50));
  EXPECT_EQ(2, form.Count(L"Activate"));
}

TEST(KeyPreviewTest, TheFormSeesKeysWithTheirShiftMaskBeforeTheControl) {
  Application app;
  EventForm form(app, L"F");
  form.KeyPreview(true);
  TextBox& box = form.Add<TextBox>(L"T_Input");
  box.Move(390, 2085, 7000, 320);
  form.Show();
  ASSERT_TRUE(PumpUntil(app, [&] { return GetFocus() == box.hWnd(); }));
  auto pressed = [&](WORD key, bool shift, bool ctrl, bool alt) {
    form.keys.clear();
    PressKey(key, shift, ctrl, alt);
    int16_t mask = -1;
    PumpUntil(app, [&] {
      for (const auto& k : form.keys) {
        if (k.code == key) mask = k.shift;
      }
      return mask != -1;
    });
    // Let the rest of the sequence (releases, characters) arrive too.
    PumpFor(app, milliseconds(20));
    return mask;
  };
  EXPECT_EQ(0, pressed('N', false, false, false));
  EXPECT_EQ(kShiftMask, pressed('B', true, false, false));
  EXPECT_EQ(kShiftMask | kCtrlMask | kAltMask, pressed('S', true, true, true));
  // Alt turns the key into a system key; the form sees it all the same.
  EXPECT_EQ(kAltMask, pressed('R', false, false, true));
  // Alt alone opens the system menu; Escape, queued with it, closes it.
  form.keys.clear();
  PressKeySequence({{VK_MENU, false}, {VK_MENU, true}, {VK_ESCAPE, false}, {VK_ESCAPE, true}});
  PumpFor(app, milliseconds(40));
  ASSERT_FALSE(form.keys.empty());
  EXPECT_EQ(VK_MENU, form.keys[0].code);
  EXPECT_EQ(kAltMask, form.keys[0].shift);
  // The key goes on to the control.
  EXPECT_EQ(L"nB", box.Text());

  // A key the form sets to 0 goes no further: Tab moves nothing.
  CommandButton& next = form.Add<CommandButton>(L"C_Skip");
  next.Move(100, 100, 1600, 400);
  form.swallowKeys = true;
  PressKey(VK_TAB);
  PumpFor(app, milliseconds(40));
  EXPECT_EQ(box.hWnd(), GetFocus());
  form.swallowKeys = false;
  PressKey(VK_TAB);
  PumpFor(app, milliseconds(40));
  EXPECT_EQ(next.hWnd(), GetFocus());

  form.KeyPreview(false);
  form.keys.clear();
  PressKey('I');
  PumpFor(app, milliseconds(40));
  EXPECT_TRUE(form.keys.empty());
}

TEST(KeyPressTest, KeysArriveAsAnsiCodesAndCanBeReplacedOrDropped) {
  Application app;
  EventForm form(app, L"F");
  TextBox& box = form.Add<TextBox>(L"T");
  std::vector<int16_t> seen;
  box.KeyPress = [&seen](int16_t, int16_t& key) {
    seen.push_back(key);
    if (key == '1') key = 0;
    if (key == 'a') key = 'b';
  };
  form.Show();
  for (wchar_t c : std::wstring(L"a1cあ")) SendMessageW(box.hWnd(), WM_CHAR, c, 1);
  EXPECT_EQ(L"bcあ", box.Text());
  // あ is 0x82A0 in code page 932: a negative 16-bit code.
  EXPECT_EQ((std::vector<int16_t>{'a', '1', 'c', static_cast<int16_t>(0x82A0)}), seen);
  EXPECT_EQ(static_cast<int16_t>(0x82A0), CharToKeyAscii(L'あ'));
  EXPECT_EQ(L'あ', KeyAsciiToChar(static_cast<int16_t>(0x82A0)));
}

TEST(UnloadTest, QueryUnloadCanCancelAndTellsWhoAsked) {
  Application app;
  EventForm form(app, L"F");
  form.Show();
  form.cancelQueryUnload = -1;
  // The close box.
  SendMessageW(form.hWnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_TRUE(form.IsLoaded());
  EXPECT_TRUE(IsWindow(form.hWnd()));
  EXPECT_FALSE(form.Unload());
  EXPECT_EQ((std::vector<int16_t>{kFormControlMenu, kFormCode}), form.unloadModes);
  EXPECT_EQ(0, form.Count(L"Unload"));

  // Windows ending the session asks too.
  EXPECT_EQ(FALSE, SendMessageW(form.hWnd(), WM_QUERYENDSESSION, 0, 0));
  EXPECT_EQ(kAppWindows, form.unloadModes.back());

  form.cancelQueryUnload = 0;
  form.cancelUnload = 1;
  EXPECT_FALSE(form.Unload());
  EXPECT_TRUE(form.IsLoaded());

  form.cancelUnload = 0;
  form.log.clear();
  HWND hwnd = form.hWnd();
  EXPECT_TRUE(form.Unload());
  EXPECT_EQ((std::vector<std::wstring>{L"QueryUnload", L"Unload"}), form.log);
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_EQ(nullptr, form.hWnd());
  EXPECT_TRUE(app.Forms().empty());
  // Once unloaded, a form object stays unloaded.
  EXPECT_FALSE(form.Load());
  EXPECT_FALSE(form.Show());
}

TEST(UnloadTest, TheProgramEndsWhenTheLastFormUnloads) {
  auto end = std::make_shared<RecordingEnd>();
  Application app(end);
  EventForm first(app, L"A"), second(app, L"B");
  first.Show();
  second.Show();
  PostMessageW(first.hWnd(), WM_CLOSE, 0, 0);
  PostMessageW(second.hWnd(), WM_CLOSE, 0, 0);
  EXPECT_EQ(0, app.Run());
  EXPECT_TRUE(app.Forms().empty());
  EXPECT_EQ(1, first.Count(L"Unload"));
  EXPECT_EQ(1, second.Count(L"Unload"));
  EXPECT_EQ(0, end->ends);
}

TEST(UnloadTest, EndingTheProgramGoesThroughTheSeam) {
  auto end = std::make_shared<RecordingEnd>();
  Application app(end);
  EventForm form(app, L"F");
  CommandButton& button = form.Add<CommandButton>(L"C_OK");
  button.Move(100, 100, 1600, 400);
  button.Click = [&app](int16_t) { app.End(); };
  form.Show();
  PostMessageW(button.hWnd(), BM_CLICK, 0, 0);
  EXPECT_EQ(0, app.Run());
  EXPECT_EQ(1, end->ends);
  EXPECT_TRUE(app.Ended());
  // Ended is not unloaded: the end statement runs no Unload.
  EXPECT_TRUE(form.IsLoaded());
  EXPECT_EQ(0, form.Count(L"Unload"));
}

TEST(LoopTest, DoEventsKeepsTheWindowResponsiveDuringALongStep) {
  Application app;
  EventForm form(app, L"F");
  CommandButton& cancel = form.Add<CommandButton>(L"C_Cancel");
  cancel.Move(100, 100, 1600, 400);
  bool stop = false;
  cancel.Click = [&stop](int16_t) { stop = true; };
  form.Show();
  PostMessageW(cancel.hWnd(), BM_CLICK, 0, 0);
  int steps = 0;
  while (!stop && steps < 1000) {
    Sleep(1);
    EXPECT_EQ(1, app.DoEvents());
    ++steps;
  }
  EXPECT_TRUE(stop);
  EXPECT_LT(steps, 5);
}

TEST(LoopTest, ModalShowWaitsWithTheOtherFormsDisabled) {
  Application app;
  EventForm main(app, L"Form_Inset_MAIN"), dialog(app, L"Form_IpInput");
  main.Show();
  dialog.BorderStyle(kBorderFixedDialog);
  dialog.ShowInTaskbar(false);
  CommandButton& ok = dialog.Add<CommandButton>(L"C_OK");
  ok.Move(2520, 3810, 1600, 400);
  bool mainWasDisabled = false;
  ok.Click = [&](int16_t) {
    mainWasDisabled = !IsWindowEnabled(main.hWnd());
    dialog.Unload();
  };
  dialog.onActivate = [&] { PostMessageW(ok.hWnd(), BM_CLICK, 0, 0); };
  ASSERT_TRUE(dialog.Show(1));
  EXPECT_TRUE(mainWasDisabled);
  EXPECT_TRUE(IsWindowEnabled(main.hWnd()));
  EXPECT_FALSE(dialog.IsLoaded());
}

TEST(FormsCollectionTest, LoadedFormsInLoadOrderByNameAndIdentity) {
  Application app;
  EXPECT_EQ(&app, Application::Current());
  EventForm a(app, L"Form_MSG"), b(app, L"Form_IpInput"), c(app, L"Form_MSG");
  b.Load();
  a.Load();
  c.Load();
  EXPECT_EQ((std::vector<Form*>{&b, &a, &c}), app.Forms());
  EXPECT_EQ(&a, app.FindForm(L"Form_MSG"));
  EXPECT_EQ(nullptr, app.FindForm(L"form_msg"));
  EXPECT_TRUE(app.IsLoaded(&c));
  a.Unload();
  EXPECT_FALSE(app.IsLoaded(&a));
  EXPECT_EQ(&c, app.FindForm(L"Form_MSG"));
  EventForm never(app, L"Never");
  EXPECT_FALSE(app.IsLoaded(&never));
}

}  // namespace
