// Colours, the gradient background and the bar gauge of the general-function
// object on real surfaces.
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

TEST(ColorTest, ComponentsAndTheContrastingColour) {
  clsPublicFunc f;
  const int32_t color = Rgb(86, 52, 18);
  EXPECT_EQ(86, f.GetRedFromRGB(color));
  EXPECT_EQ(52, f.GetGreenFromRGB(color));
  EXPECT_EQ(18, f.GetBlueFromRGB(color));
  // The highest byte is not read.
  EXPECT_EQ(18, f.GetBlueFromRGB(color | static_cast<int32_t>(0xFF000000u)));

  EXPECT_EQ(255, f.GetReverceColor(16711680));
  EXPECT_EQ(16711680, f.GetReverceColor(255));
  EXPECT_EQ(16711680, f.GetReverceColor(Rgb(128, 128, 128)));
  EXPECT_EQ(255, f.GetReverceColor(Rgb(0, 255, 1)));
}

// A picture box exactly 1000 pixels high, measured in pixels.
PictureBox& ThousandPixelSurface(Form& form) {
  form.BorderStyle(kBorderNone);
  form.Move(0, 0, 3000, 15000);
  PictureBox& picture = form.Add<PictureBox>(L"Pic");
  picture.BorderStyle(0);
  picture.Move(0, 0, 3000, 15000);
  picture.ScaleMode(kScalePixels);
  return picture;
}

TEST(GradationTest, BandsOfFiftyUnitsFromStartToEndColour) {
  Application app;
  clsPublicFunc f;
  EventForm form(app, L"F");
  PictureBox& picture = ThousandPixelSurface(form);
  ASSERT_FLOAT_EQ(1000, picture.ScaleHeight());
  ASSERT_TRUE(f.DrawBackGradation(&picture, 16777215, 0));
  // Each band holds start − (start − end) × y / H, halves to even.
  for (int y = 0; y <= 1000; y += 50) {
    const int component = static_cast<int>(std::nearbyint(255 - 255.0 * y / 1000));
    const float probe = static_cast<float>(y == 1000 ? 999 : y + 25);
    EXPECT_EQ(Rgb(component, component, component), picture.Point(10, probe)) << "band " << y;
  }
  EXPECT_EQ(Rgb(128, 128, 128), picture.Point(10, 520));  // 127.5 becomes 128
  // Bands reach the right edge.
  EXPECT_EQ(Rgb(255, 255, 255), picture.Point(199, 10));

  ASSERT_TRUE(f.DrawBackGradation(&picture));
  EXPECT_EQ(Rgb(7, 0, 0), picture.Point(10, 10));
  EXPECT_EQ(Rgb(0, 0, 0), picture.Point(10, 999));
}

TEST(GradationTest, FailureRestoresTheBackColour) {
  Application app;
  clsPublicFunc f;
  EventForm form(app, L"F");
  PictureBox& picture = ThousandPixelSurface(form);
  picture.BackColor(Rgb(0, 64, 128));
  ASSERT_TRUE(f.DrawBackGradation(&picture, 16777215, 0));
  picture.Height(0);
  EXPECT_FALSE(f.DrawBackGradation(&picture, 16777215, 0));
  EXPECT_EQ(Rgb(0, 64, 128), picture.BackColor());
  picture.Height(15000);
  EXPECT_EQ(Rgb(0, 64, 128), picture.Point(10, 10));  // the drawing is gone
  EXPECT_FALSE(f.DrawBackGradation(nullptr));
}

TEST(GradationTest, SystemColourCodesStandForTheirColours) {
  Application app;
  clsPublicFunc f;
  EventForm form(app, L"F");
  PictureBox& picture = ThousandPixelSurface(form);
  ASSERT_TRUE(f.DrawBackGradation(&picture, kColorButtonFace, kColorButtonFace));
  EXPECT_EQ(static_cast<int32_t>(GetSysColor(COLOR_BTNFACE)), picture.Point(10, 500));
}

TEST(GaugeTest, BarWidthFollowsThePercentage) {
  Application app;
  auto pump = std::make_shared<CountingPump>();
  norvale::Seams seams = norvale::Seams::System();
  seams.messageBox = std::make_shared<norvale::ScriptedMessageBox>();
  seams.pump = pump;
  clsPublicFunc f(seams);
  EventForm form(app, L"Form_MSG");
  PictureBox& track = form.Add<PictureBox>(L"Pic_ingM");
  track.Move(180, 2880, 6300, 400);
  PictureBox& bar = form.Add<PictureBox>(L"Pic_ing", track);
  bar.Move(0, 0, 4000, 400);
  bar.Visible(false);

  EXPECT_FALSE(f.DrawFromGage(&bar, 15, 3000, 33));
  EXPECT_TRUE(bar.Visible());
  EXPECT_FLOAT_EQ(990, bar.Width());
  EXPECT_FLOAT_EQ(15, bar.Left());
  EXPECT_EQ(1, pump->calls);
  EXPECT_FALSE(f.DrawFromGage(&bar, 0, 3001, 33));
  EXPECT_FLOAT_EQ(990, bar.Width());  // 990.33 without its fraction
  EXPECT_FALSE(f.DrawFromGage(&bar, 0, 3000, 150));
  EXPECT_FLOAT_EQ(3000, bar.Width());

  EXPECT_FALSE(f.DrawFromGage(&bar, 0, 3000, 0));
  EXPECT_FALSE(bar.Visible());
  bar.Visible(true);
  EXPECT_FALSE(f.DrawFromGage(&bar, 0, 1, 50));
  EXPECT_FALSE(bar.Visible());
  bar.Visible(true);
  EXPECT_FALSE(f.DrawFromGage(&bar, 0, 3000, -5));
  EXPECT_FALSE(bar.Visible());
  EXPECT_FALSE(f.DrawFromGage(nullptr, 0, 3000, 50));
  EXPECT_EQ(3, pump->calls);
}

}  // namespace
