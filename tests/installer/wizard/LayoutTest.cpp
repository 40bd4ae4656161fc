// The layout in twips at the first size, at a large size and below the
// sizes where its widths turn negative; hidden pages wait until shown.
#include <gtest/gtest.h>

#include "SampleRecords.h"
#include "WizardProbe.h"

using namespace norvale;
using namespace wizard_testing;

namespace {

// Every number the layout sets, as its rules give them for an outer size.
void ExpectLayoutFor(WizardProbe& f, float W, float H) {
  const float pageW = W - 80, pageH = H - 800 - 280;
  SCOPED_TRACE(testing::Message() << W << " x " << H);
  f.Move(0, 0, W, H);
  f.OpenPage(0, 0);
  EXPECT_FLOAT_EQ(H - 800 - 490, f.F_footer.Top());
  EXPECT_FLOAT_EQ(pageW, f.F_footer.Width());
  EXPECT_FLOAT_EQ(W - 2100, f.C_Cancel.Left());
  EXPECT_FLOAT_EQ(W - 3900, f.C_Skip(1)->Left());
  EXPECT_FLOAT_EQ(W - 5700, f.C_Skip(0)->Left());
  EXPECT_FLOAT_EQ(-100, f.F_Start.Top());
  EXPECT_FLOAT_EQ(-20, f.F_Start.Left());
  EXPECT_FLOAT_EQ(pageW, f.F_Start.Width());
  EXPECT_FLOAT_EQ(pageH, f.F_Start.Height());
  EXPECT_FLOAT_EQ(pageH, f.Pic_Start.Height());
  for (forms::Label* label : f.L_Start.Elements()) {
    EXPECT_FLOAT_EQ(pageW - 2220 - 800, label->Width());
  }
  f.OpenPage(1, 1);
  EXPECT_FLOAT_EQ(pageW, f.Pic_Select.Width());
  for (forms::Frame* group : f.F_SelItem.Elements()) {
    EXPECT_FLOAT_EQ(pageH - 1500, group->Height());
    EXPECT_FLOAT_EQ(4200, group->Width());
  }
  EXPECT_FLOAT_EQ(4550, f.F_SelItem(2)->Left());
  f.OpenPage(2, 1);
  EXPECT_FLOAT_EQ(pageW - 885 - 200, f.Image_Input_H.Left());
  EXPECT_FLOAT_EQ(pageW - 300 - 1000, f.L_Input_H(0)->Width());
  for (int16_t i = 0; i <= 2; ++i) {
    const float itemW = pageW - 90, itemH = pageH - 1100 + 20;
    EXPECT_FLOAT_EQ(itemW, f.F_InputItem(i)->Width());
    EXPECT_FLOAT_EQ(itemH, f.F_InputItem(i)->Height());
    EXPECT_FLOAT_EQ(itemW - 390 - 1700, f.T_Input(i)->Width());
    EXPECT_FLOAT_EQ(itemW - 390 - 1200, f.C_Input(i)->Left());
    EXPECT_FLOAT_EQ(itemH - 630 - 300, f.L_Input3(i)->Top());
    EXPECT_FLOAT_EQ(itemW - 1155 - 500, f.L_Input1(i)->Width());
  }
  f.OpenPage(3, 0);
  EXPECT_FLOAT_EQ(pageH - 495 - 300, f.L_Check(1)->Top());
  EXPECT_FLOAT_EQ(1335, f.L_Check(0)->Top());
  EXPECT_FLOAT_EQ(pageW - 420 - 1000, f.Chk_Check(1)->Width());
  f.OpenPage(4, 0);
  EXPECT_FLOAT_EQ(pageW - 615 - 400, f.T_END.Width());
  EXPECT_FLOAT_EQ(pageH - 1800 - 160, f.T_END.Height());
  f.OpenPage(5, 0);
  EXPECT_FLOAT_EQ(pageW - 465 - 600, f.Pic_ingM.Width());
  EXPECT_FLOAT_EQ(pageW - 885 - 200, f.Image_SETUP_H.Left());
  f.OpenPage(6, 0);
  EXPECT_FLOAT_EQ(pageW - 2415 - 1000, f.L_Final(1)->Width());
}

TEST(LayoutTest, TheWorkedExampleAtNineThousandBySevenThousand) {
  Wizard w;
  WizardProbe& f = w.Load([](InstallerState& s) { FillTypical(s); });
  ExpectLayoutFor(f, 9000, 7000);
  // The example's own figures.
  f.OpenPage(2, 1);
  EXPECT_FLOAT_EQ(5710, f.F_footer.Top());
  EXPECT_FLOAT_EQ(8830, f.F_InputItem(1)->Width());
  EXPECT_FLOAT_EQ(4840, f.F_InputItem(1)->Height());
  EXPECT_FLOAT_EQ(6740, f.T_Input(1)->Width());
  EXPECT_FLOAT_EQ(7240, f.C_Input(1)->Left());
  EXPECT_FLOAT_EQ(3910, f.L_Input3(1)->Top());
  EXPECT_FLOAT_EQ(7620, f.L_Input_H(0)->Width());
  f.OpenPage(4, 0);
  EXPECT_FLOAT_EQ(7905, f.T_END.Width());
  EXPECT_FLOAT_EQ(3960, f.T_END.Height());
}

TEST(LayoutTest, ALargeWindowStretchesEveryPage) {
  Wizard w;
  WizardProbe& f = w.Load([](InstallerState& s) { FillCrowded(s); });
  ExpectLayoutFor(f, 15000, 11000);
  ExpectLayoutFor(f, 9000, 7000);
}

TEST(LayoutTest, BelowTheThresholdsWidthsStayAndPositionsFollow) {
  Wizard w;
  WizardProbe& f = w.Load([](InstallerState& s) { FillTypical(s); });
  f.OpenPage(2, 1);
  f.Move(0, 0, 2000, 2000);
  f.Form_Resize();
  EXPECT_FLOAT_EQ(6740, f.T_Input(1)->Width());  // 1830 - 390 - 1700 < 0: refused
  EXPECT_FLOAT_EQ(1830, f.F_InputItem(1)->Width());
  EXPECT_FLOAT_EQ(2000 - 2100, f.C_Cancel.Left());  // negative places are applied
  EXPECT_FLOAT_EQ(1830 - 390 - 1200, f.C_Input(1)->Left());
  EXPECT_FLOAT_EQ(4840, f.F_InputItem(1)->Height());  // 920 - 1100 + 20 < 0
  f.OpenPage(4, 0);
  EXPECT_FLOAT_EQ(3510, f.T_END.Height());  // 920 - 1800 - 160 < 0: the design's
  // The smallest outer size Windows allows: negative sizes are refused.
  f.Move(0, 0, 0, 0);
  f.Form_Resize();
  EXPECT_FLOAT_EQ(f.Height() - 1290, f.F_footer.Top());
  EXPECT_FLOAT_EQ(3510, f.T_END.Height());
  // Growing again restores the full layout.
  ExpectLayoutFor(f, 9000, 7000);
}

TEST(LayoutTest, HiddenPagesKeepTheirLayoutUntilShown) {
  Wizard w;
  WizardProbe& f = w.Load([](InstallerState& s) { FillTypical(s); });
  f.OpenPage(3, 0);
  f.OpenPage(0, 0);
  f.Move(0, 0, 12000, 9000);
  f.Form_Resize();
  EXPECT_FLOAT_EQ(8920, f.F_Check.Width());
  EXPECT_FLOAT_EQ(11920, f.F_Start.Width());
  f.OpenPage(3, 0);
  EXPECT_FLOAT_EQ(11920, f.F_Check.Width());
  // Laying out twice gives the same.
  f.Form_Resize();
  EXPECT_FLOAT_EQ(11920, f.F_Check.Width());
  EXPECT_FLOAT_EQ(9000 - 1080 - 795, f.L_Check(1)->Top());
}

TEST(LayoutTest, AUserResizeOfTheRealWindowLaysOutAgain) {
  Wizard w;
  w.window = std::make_unique<WizardProbe>(
      w.app, w.setup.Options([](InstallerState& s) { FillTypical(s); }));
  WizardProbe& f = *w.window;
  ASSERT_TRUE(f.Show());
  EXPECT_FLOAT_EQ(9000, f.Width());
  EXPECT_FLOAT_EQ(8920, f.F_Start.Width());
  SetWindowPos(f.hWnd(), nullptr, 0, 0, 800, 600, SWP_NOZORDER | SWP_NOMOVE);
  w.app.DoEvents();
  EXPECT_FLOAT_EQ(12000 - 80, f.F_Start.Width());
  EXPECT_FLOAT_EQ(9000 - 800 - 490, f.F_footer.Top());
}

}  // namespace
