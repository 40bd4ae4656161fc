// The form and control utilities of the general-function object on real
// forms.
#include <windows.h>

#include <cmath>

#include <gtest/gtest.h>

#include "FormsTestSupport.h"
#include "ScriptedMessageBox.h"
#include "clsPublicFunc.h"

using namespace forms_testing;
using namespace norvale::forms;

namespace {

class CountingPump final : public norvale::IMessagePump {
 public:
  void DoEvents() override { ++calls; }
  int calls = 0;
};

norvale::Seams SeamsWith(std::shared_ptr<norvale::IMessagePump> pump) {
  norvale::Seams seams = norvale::Seams::System();
  seams.messageBox = std::make_shared<norvale::ScriptedMessageBox>();
  seams.pump = std::move(pump);
  return seams;
}

TEST(FormCenteringTest, CentresNormalFormsToTheTwip) {
  Application app;
  clsPublicFunc f;
  EventForm form(app, L"Form_IpInput");
  form.Move(0, 0, 9001, 7000);
  const float screenWidth = app.Screen().Width(), screenHeight = app.Screen().Height();
  ASSERT_TRUE(f.FormCentering(&form));
  EXPECT_FLOAT_EQ((screenWidth - 9001) / 2, form.Left());  // a half twip stays
  EXPECT_FLOAT_EQ((screenHeight - 7000) / 2, form.Top());
  EXPECT_FALSE(f.FormCentering(nullptr));

  form.Show();
  form.WindowState(kMaximized);
  const float left = form.Left();
  EXPECT_FALSE(f.FormCentering(&form));
  EXPECT_FLOAT_EQ(left, form.Left());
  form.WindowState(kMinimized);
  EXPECT_FALSE(f.FormCentering(&form));
}

TEST(FormCtlResizeTest, FirstCallRecordsTheBaseAndLaterCallsScaleTheChange) {
  Application app;
  clsPublicFunc f;
  EventForm form(app, L"F");
  form.BorderStyle(kBorderNone);  // inner area = outer size
  form.Move(0, 0, 9000, 7500);
  Frame& frame = form.Add<Frame>(L"F_Start");
  frame.Move(45, 105, 4200, 3000);
  Label& label = form.Add<Label>(L"L_Start", frame);
  label.Move(150, 300, 4200, 300);
  label.FontSize(9.75f);
  Label& parked = form.Add<Label>(L"L_Parked");
  parked.Move(-9999, 600, 1000, 300);
  Image& image = form.Add<Image>(L"Image_Start");
  image.Move(0, -15, 2100, 2040);
  form.Show();
  ASSERT_FLOAT_EQ(9000, form.ScaleWidth());

  float widthRate = -1, heightRate = -1;
  // No base yet: nothing is scaled (scaling against 0 would shrink all).
  EXPECT_FALSE(f.FormCtlResize(&form, true, &widthRate, &heightRate));
  EXPECT_FLOAT_EQ(1, widthRate);
  EXPECT_FLOAT_EQ(1, heightRate);
  EXPECT_FLOAT_EQ(4200, label.Width());
  EXPECT_FLOAT_EQ(9.75f, label.Font().Size);
  EXPECT_FALSE(f.FormCtlResize(&form));

  form.Move(0, 0, 10800, 9000);
  ASSERT_TRUE(f.FormCtlResize(&form, true, &widthRate, &heightRate));
  EXPECT_FLOAT_EQ(1.2f, widthRate);
  EXPECT_FLOAT_EQ(1.2f, heightRate);
  EXPECT_FLOAT_EQ(5040, label.Width());
  EXPECT_FLOAT_EQ(360, label.Height());
  EXPECT_FLOAT_EQ(180, label.Left());
  EXPECT_FLOAT_EQ(360, label.Top());
  EXPECT_NEAR(11.7, label.Font().Size, 1e-4);
  EXPECT_FLOAT_EQ(5040, frame.Width());
  EXPECT_FLOAT_EQ(-9999, parked.Left());  // parked outside stays there
  EXPECT_FLOAT_EQ(720, parked.Top());
  EXPECT_FLOAT_EQ(-15, image.Top());
  EXPECT_NEAR(2448, image.Height(), 1e-3);
  // The window follows the model.
  RECT rc{};
  GetWindowRect(label.hWnd(), &rc);
  EXPECT_EQ(336, rc.right - rc.left);

  // Each call scales the change since the last scaling call.
  EXPECT_FALSE(f.FormCtlResize(&form));
  form.Move(0, 0, 9000, 7500);
  ASSERT_TRUE(f.FormCtlResize(&form, false, &widthRate, &heightRate));
  EXPECT_NEAR(0.8333333, widthRate, 1e-6);
  EXPECT_NEAR(4200, label.Width(), 1e-2);
  EXPECT_NEAR(9.75, label.Font().Size, 1e-4);

  EXPECT_FLOAT_EQ(1.0f, f.FrmWidthRate(&form));
  EXPECT_FLOAT_EQ(1.0f, f.FrmHeightRate(&form));
  EXPECT_FLOAT_EQ(1.0f, f.FrmHeightRate(nullptr));
  EXPECT_FALSE(f.FormCtlResize(nullptr));
}

TEST(FormCtlResizeTest, MinimisedFormKeepsItsLayout) {
  Application app;
  clsPublicFunc f;
  EventForm form(app, L"F");
  form.Move(0, 0, 9000, 7000);
  Label& label = form.Add<Label>(L"L");
  label.Move(150, 300, 4200, 300);
  form.Show();
  f.FormCtlResize(&form);
  form.WindowState(kMinimized);
  ASSERT_FLOAT_EQ(0, form.ScaleWidth());
  EXPECT_FALSE(f.FormCtlResize(&form));
  EXPECT_FLOAT_EQ(4200, label.Width());
  form.WindowState(kNormal);
  EXPECT_FALSE(f.FormCtlResize(&form));  // back to the base: nothing to do
  EXPECT_FLOAT_EQ(4200, label.Width());
}

TEST(FormCtlRefreshTest, PumpsOnceForAFormAndNeverWithoutOne) {
  Application app;
  auto pump = std::make_shared<CountingPump>();
  clsPublicFunc f(SeamsWith(pump));
  EXPECT_FALSE(f.FormCtlRefresh(nullptr));
  EXPECT_EQ(0, pump->calls);
  EventForm form(app, L"F");
  PictureBox& picture = form.Add<PictureBox>(L"Pic");
  picture.AutoRedraw(true);
  form.Add<Label>(L"L");
  EXPECT_TRUE(f.FormCtlRefresh(&form));
  EXPECT_EQ(1, pump->calls);
}

TEST(LoadedFormsTest, FindByNameOrIdentityAndUnload) {
  Application app;
  clsPublicFunc f;
  EventForm dialog(app, L"Form_IpInput"), main(app, L"Form_Inset_MAIN");
  Form* found = &main;
  EXPECT_FALSE(f.IsFormLoaded(L"Form_IpInput", &found));
  EXPECT_EQ(nullptr, found);
  main.Load();
  dialog.Load();

  found = &main;
  EXPECT_FALSE(f.IsFormLoaded(L"   ", &found));
  EXPECT_EQ(nullptr, found);
  EXPECT_FALSE(f.IsFormLoaded(L"form_ipinput"));
  EXPECT_FALSE(f.IsFormLoaded(L" Form_IpInput"));
  ASSERT_TRUE(f.IsFormLoaded(L"Form_IpInput", &found));
  EXPECT_EQ(&dialog, found);

  EXPECT_TRUE(f.IsFormObjLoaded(&dialog));
  EXPECT_FALSE(f.IsFormObjLoaded(nullptr));
  Label& label = main.Add<Label>(L"Form_IpInput");
  EXPECT_FALSE(f.IsFormObjLoaded(&label));

  f.UnloadForm(&dialog);
  f.UnloadForm(nullptr);
  EXPECT_FALSE(f.IsFormObjLoaded(&dialog));
  EXPECT_FALSE(f.IsFormLoaded(L"Form_IpInput"));
  EXPECT_TRUE(f.IsFormLoaded(L"Form_Inset_MAIN"));
}

TEST(TextObjSelectTest, FocusesAndSelectsTheWholeText) {
  Application app;
  clsPublicFunc f;
  EventForm form(app, L"Form_IpInput");
  TextBox& other = form.Add<TextBox>(L"T_FTP");
  TextBox& box = form.Add<TextBox>(L"T_FTP2");
  box.Text(L"ユーザー01");
  form.Show();
  ASSERT_TRUE(PumpUntil(app, [&] { return GetFocus() == other.hWnd(); }));
  EXPECT_TRUE(f.TextObjSelect(&box));
  EXPECT_EQ(box.hWnd(), GetFocus());
  EXPECT_EQ(0, box.SelStart());
  EXPECT_EQ(6, box.SelLength());
  EXPECT_TRUE(f.TextObjSelect(nullptr));
  // A box that cannot take the focus is still selected.
  other.Enabled(false);
  other.Text(L"abc");
  EXPECT_TRUE(f.TextObjSelect(&other));
  EXPECT_EQ(3, other.SelLength());
}

TEST(KeyFilterTest, NumericAndDateFields) {
  clsPublicFunc f;
  auto check = [&f](int16_t key, bool numeric, bool date, bool smallNum) {
    int16_t k = key;
    EXPECT_TRUE(f.TextObjInputCheck(k, numeric, true, date, smallNum));
    return k;
  };
  // Numeric field without decimals.
  EXPECT_EQ(0, check('.', true, false, false));
  EXPECT_EQ(8, check(8, true, false, false));
  EXPECT_EQ(0, check('A', true, false, false));
  EXPECT_EQ('7', check('7', true, false, false));
  EXPECT_EQ(0, check('-', true, false, false));
  // A double-byte character has a negative code and passes.
  EXPECT_EQ(-32096, check(-32096, true, false, false));
  // With decimals.
  EXPECT_EQ('.', check('.', true, false, true));
  // Date fields win over numeric ones.
  EXPECT_EQ('/', check('/', true, true, false));
  EXPECT_EQ(':', check(':', false, true, false));
  EXPECT_EQ(0, check('-', false, true, false));
  EXPECT_EQ(0, check('.', false, true, true));
  EXPECT_EQ('0', check('0', false, true, false));
  // No field kind: every key stays.
  EXPECT_EQ('A', check('A', false, false, false));

  // Enter stays unchanged when it is not to become a Tab, also in a numeric
  // field.
  int16_t enter = 13;
  EXPECT_TRUE(f.TextObjInputCheck(enter, true, false));
  EXPECT_EQ(13, enter);

  EXPECT_EQ(53, f.KeyPressNumChk('5'));
  EXPECT_EQ(0, f.KeyPressNumChk('A'));
  EXPECT_EQ(8, f.KeyPressNumChk(8));
  EXPECT_EQ(0, f.KeyPressNumChk('.'));
  EXPECT_EQ(0, f.KeyPressNumChk('+'));
  EXPECT_EQ(-32096, f.KeyPressNumChk(-32096));
}

// The server dialog's pattern: Enter in a box becomes a Tab, so Enter walks
// through the boxes in tab order and ends on the OK button.
TEST(KeyFilterTest, EnterWalksThroughTheBoxesAsTab) {
  Application app;
  clsPublicFunc f;
  EventForm form(app, L"Form_IpInput");
  ControlArray<TextBox> boxes(L"T_FTP");
  for (int16_t i = 0; i < 3; ++i) {
    TextBox& box = boxes.Add(form, i);
    box.Move(1425, 315 + i * 465.0f, 5000, 320);
  }
  boxes(0)->KeyPress = [&f](int16_t, int16_t& KeyAscii) { f.TextObjInputCheck(KeyAscii); };
  for (int16_t i = 1; i < 3; ++i) boxes(i)->KeyPress = boxes(0)->KeyPress;
  CommandButton& ok = form.Add<CommandButton>(L"C_OK");
  ok.Move(2520, 3810, 1600, 400);
  int clicks = 0;
  ok.Click = [&clicks](int16_t) { ++clicks; };
  form.Show();
  ASSERT_TRUE(PumpUntil(app, [&] { return GetFocus() == boxes(0)->hWnd(); }));
  std::vector<HWND> visited;
  for (int i = 0; i < 3; ++i) {
    const HWND before = GetFocus();
    PressKey(VK_RETURN);
    PumpUntil(app, [before] { return GetFocus() != before; });
    visited.push_back(GetFocus());
  }
  EXPECT_EQ((std::vector<HWND>{boxes(1)->hWnd(), boxes(2)->hWnd(), ok.hWnd()}), visited);
  EXPECT_EQ(L"", boxes(0)->Text());
  EXPECT_EQ(0, clicks);
  PressKey(VK_RETURN);
  PumpUntil(app, [&] { return clicks == 1; });
  EXPECT_EQ(1, clicks);
}

TEST(TextWidthTest, MeasuresWithTheGivenFontAndRestoresTheSurface) {
  Application app;
  clsPublicFunc f;
  EventForm form(app, L"F");
  form.ScaleMode(kScalePixels);
  form.FontSize(20);
  StdFont font;
  font.Size = 9.75f;
  EXPECT_EQ(0, f.GetTextWidth(L"", &font, &form));
  EXPECT_EQ(0, f.GetTextWidth(L"abc", nullptr, &form));
  EXPECT_EQ(0, f.GetTextWidth(L"abc", &font, nullptr));

  const double width = f.GetTextWidth(L"セットアップ", &font, &form);
  EXPECT_EQ(kScalePixels, form.ScaleMode());
  EXPECT_FLOAT_EQ(20, form.Font().Size);
  form.Font(font);
  form.ScaleMode(kScaleTwips);
  EXPECT_DOUBLE_EQ(form.TextWidth(L"セットアップWW"), width);
  EXPECT_GT(width, form.TextWidth(L"セットアップ"));
  EXPECT_EQ(0, std::fmod(width, 15.0));  // whole pixels in twips
}

TEST(OptimizationFontSizeTest, LargestTenPercentStepThatFits) {
  Application app;
  clsPublicFunc f;
  EventForm form(app, L"F");
  form.FontSize(9);
  const std::wstring text = L"インストール準備完了";

  // Never fits: the first size of 5 or less, untried.
  EXPECT_NEAR(12 * std::pow(0.9, 9), f.GetOptimizationFontSize(text, 12, 0, 0, &form), 1e-9);
  EXPECT_FLOAT_EQ(9, form.Font().Size);
  // Fits at once.
  EXPECT_DOUBLE_EQ(12, f.GetOptimizationFontSize(text, 12, 100000, 100000, &form));
  EXPECT_DOUBLE_EQ(12, f.GetOptimizationFontSize(L"", 12, 0, 0, &form));

  // A box that holds the text only at a smaller size.
  form.FontSize(12);
  const float fullWidth = form.TextWidth(text);
  form.FontSize(9);
  const double fitted = f.GetOptimizationFontSize(text, 12, fullWidth * 0.8 + 50, 100000, &form);
  EXPECT_LT(fitted, 12);
  EXPECT_GT(fitted, 5);
  form.FontSize(static_cast<float>(fitted));
  EXPECT_LT(form.TextWidth(text), fullWidth * 0.8);
  form.FontSize(static_cast<float>(fitted / 0.9));
  EXPECT_GE(form.TextWidth(text), fullWidth * 0.8);

  // Without a surface the active form measures; with none, nothing does.
  EXPECT_DOUBLE_EQ(12, f.GetOptimizationFontSize(text, 12, 0, 0));
  form.Show();
  ASSERT_TRUE(PumpUntil(app, [&] { return app.Screen().ActiveForm() == &form; }));
  EXPECT_NEAR(12 * std::pow(0.9, 9), f.GetOptimizationFontSize(text, 12, 0, 0), 1e-9);
}

}  // namespace
