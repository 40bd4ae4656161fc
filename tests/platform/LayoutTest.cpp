// Twips against pixels, the outer size of forms, containers and the
// setters that refuse.
#include <windows.h>

#include <gtest/gtest.h>

#include "FormsTestSupport.h"

using namespace forms_testing;
using namespace norvale::forms;

namespace {

RECT WindowRectOf(HWND hwnd) {
  RECT rc{};
  GetWindowRect(hwnd, &rc);
  return rc;
}

POINT PositionInParent(HWND hwnd) {
  RECT rc = WindowRectOf(hwnd);
  POINT p{rc.left, rc.top};
  ScreenToClient(GetParent(hwnd), &p);
  return p;
}

TEST(TwipsTest, ScreenPixelsAreFifteenTwipsAtNinetySixDpi) {
  Application app;
  HDC dc = GetDC(nullptr);
  const int dpi = GetDeviceCaps(dc, LOGPIXELSX);
  ReleaseDC(nullptr, dc);
  EXPECT_DOUBLE_EQ(1440.0 / dpi, app.Screen().TwipsPerPixelX());
  ASSERT_EQ(96, dpi) << "the layout numbers below assume the prefix's 96 DPI";
  EXPECT_EQ(600, TwipsToPixelsX(9000));
  EXPECT_EQ(467, TwipsToPixelsY(7000));  // 466.67 rounds to the nearer pixel
  EXPECT_EQ(-1, TwipsToPixelsX(-20));
  EXPECT_FLOAT_EQ(9000, PixelsToTwipsX(600));
  EXPECT_FLOAT_EQ(GetSystemMetrics(SM_CXSCREEN) * 15.0f, app.Screen().Width());
  EXPECT_FLOAT_EQ(GetSystemMetrics(SM_CYSCREEN) * 15.0f, app.Screen().Height());
}

TEST(FormGeometryTest, OuterSizeKeepsTheExactTwipsSet) {
  Application app;
  EventForm form(app, L"F");
  ASSERT_TRUE(form.Move(5100.5f, 1900, 9000, 7000));
  ASSERT_TRUE(form.Show());
  // The window lies on the nearest pixels; the model keeps what was set.
  const RECT rc = WindowRectOf(form.hWnd());
  EXPECT_EQ(600, rc.right - rc.left);
  EXPECT_EQ(467, rc.bottom - rc.top);
  EXPECT_EQ(340, rc.left);
  EXPECT_FLOAT_EQ(5100.5f, form.Left());
  EXPECT_FLOAT_EQ(9000, form.Width());
  EXPECT_FLOAT_EQ(7000, form.Height());
  PumpFor(app, std::chrono::milliseconds(20));
  EXPECT_FLOAT_EQ(7000, form.Height());

  // The drawing area is what the frame leaves of the window.
  RECT client{};
  GetClientRect(form.hWnd(), &client);
  EXPECT_FLOAT_EQ(client.right * 15.0f, form.ScaleWidth());
  EXPECT_FLOAT_EQ(client.bottom * 15.0f, form.ScaleHeight());
  EXPECT_LT(form.ScaleHeight(), form.Height());
}

TEST(FormGeometryTest, RealResizeByTheUserWinsAndRaisesResize) {
  Application app;
  EventForm form(app, L"F");
  form.Move(0, 0, 9000, 7000);
  form.Show();
  form.log.clear();
  // As a drag of the border would do it.
  SetWindowPos(form.hWnd(), nullptr, 10, 20, 700, 500, SWP_NOZORDER);
  EXPECT_FLOAT_EQ(10500, form.Width());
  EXPECT_FLOAT_EQ(7500, form.Height());
  EXPECT_FLOAT_EQ(150, form.Left());
  EXPECT_FLOAT_EQ(300, form.Top());
  EXPECT_EQ(1, form.Count(L"Resize"));

  // Moving only keeps the size as it was set.
  form.Width(7001);
  SetWindowPos(form.hWnd(), nullptr, 30, 40, 0, 0, SWP_NOZORDER | SWP_NOSIZE);
  EXPECT_FLOAT_EQ(7001, form.Width());
  EXPECT_FLOAT_EQ(450, form.Left());
}

TEST(FormGeometryTest, MaximisedFormReportsItsSizeAndRestoresTheExactOne) {
  Application app;
  EventForm form(app, L"F");
  form.Move(100, 100, 9000, 7000);
  form.Show();
  form.log.clear();
  ASSERT_TRUE(form.WindowState(kMaximized));
  EXPECT_EQ(kMaximized, form.WindowState());
  EXPECT_GT(form.Width(), 9000);
  EXPECT_GE(form.Count(L"Resize"), 1);
  // A maximised form cannot be moved or sized.
  EXPECT_FALSE(form.Width(5000));
  EXPECT_FALSE(form.Left(0));

  ASSERT_TRUE(form.WindowState(kNormal));
  EXPECT_FLOAT_EQ(9000, form.Width());
  EXPECT_FLOAT_EQ(7000, form.Height());
  EXPECT_FLOAT_EQ(100, form.Left());
  EXPECT_FALSE(form.WindowState(3));
}

TEST(FormGeometryTest, StateAndSizeSetBeforeShowingApplyWhenShown) {
  Application app;
  EventForm form(app, L"F");
  form.Width(6000);
  form.WindowState(kMaximized);
  EXPECT_EQ(kMaximized, form.WindowState());
  form.Show();
  EXPECT_TRUE(IsZoomed(form.hWnd()));
  form.WindowState(kNormal);
  EXPECT_FLOAT_EQ(6000, form.Width());
}

TEST(ContainerTest, ChildrenArePlacedInTheirContainer) {
  Application app;
  EventForm form(app, L"F");
  Frame& frame = form.Add<Frame>(L"F_Item");
  frame.Move(1500, 750, 4200, 3000);
  PictureBox& picture = form.Add<PictureBox>(L"Pic");
  picture.BorderStyle(0);
  picture.Move(300, 4000, 3000, 1000);
  Label& label = form.Add<Label>(L"L_Item", frame);
  label.Move(150, 300, 2000, 300);

  EXPECT_EQ(&frame, &label.Container());
  EXPECT_EQ(frame.hWnd(), GetParent(label.hWnd()));
  POINT p = PositionInParent(label.hWnd());
  EXPECT_EQ(10, p.x);
  EXPECT_EQ(20, p.y);

  // Moved: the same Left and Top, now inside the picture box.
  ASSERT_TRUE(label.Container(picture));
  EXPECT_EQ(&picture, &label.Container());
  EXPECT_EQ(picture.hWnd(), GetParent(label.hWnd()));
  EXPECT_FLOAT_EQ(150, label.Left());
  p = PositionInParent(label.hWnd());
  EXPECT_EQ(10, p.x);
  EXPECT_EQ(20, p.y);

  // A hidden container hides its controls without changing their flag.
  form.Show();
  picture.Visible(false);
  EXPECT_TRUE(label.Visible());
  EXPECT_FALSE(IsWindowVisible(label.hWnd()));
  picture.Visible(true);
  EXPECT_TRUE(IsWindowVisible(label.hWnd()));

  // Back to the form itself.
  ASSERT_TRUE(label.Container(form));
  EXPECT_EQ(form.hWnd(), GetParent(label.hWnd()));
  ASSERT_EQ(3u, form.Controls().size());
  EXPECT_EQ(&frame, form.Controls()[0]);
}

TEST(ContainerTest, ImpossibleContainersAreRefused) {
  Application app;
  EventForm form(app, L"F"), other(app, L"G");
  Frame& outer = form.Add<Frame>(L"Outer");
  Frame& inner = form.Add<Frame>(L"Inner", outer);
  Label& label = form.Add<Label>(L"L", inner);
  Frame& foreign = other.Add<Frame>(L"Foreign");

  EXPECT_FALSE(label.Container(label));     // holds no controls
  EXPECT_FALSE(outer.Container(outer));     // itself
  EXPECT_FALSE(outer.Container(inner));     // one inside it
  EXPECT_FALSE(label.Container(foreign));   // another form's
  EXPECT_EQ(&inner, &label.Container());
  EXPECT_TRUE(inner.Container(form));
  EXPECT_EQ(form.hWnd(), GetParent(inner.hWnd()));
  EXPECT_EQ(inner.hWnd(), GetParent(label.hWnd()));
}

TEST(RefusalTest, SettersRefuseWhatTheToolkitCannotHold) {
  Application app;
  EventForm form(app, L"F");
  Label& label = form.Add<Label>(L"L");
  label.Move(100, 100, 2000, 300);
  EXPECT_FALSE(label.Width(-1));
  EXPECT_FALSE(label.Height(-0.5f));
  EXPECT_FALSE(label.Move(0, 0, -5, 10));
  EXPECT_FLOAT_EQ(2000, label.Width());
  EXPECT_FLOAT_EQ(300, label.Height());
  EXPECT_FLOAT_EQ(100, label.Left());
  // Negative positions are places like any other.
  EXPECT_TRUE(label.Left(-9999));
  EXPECT_TRUE(label.Width(0));

  EXPECT_FALSE(label.FontSize(0));
  EXPECT_FLOAT_EQ(9, label.Font().Size);
  Image& image = form.Add<Image>(L"Image_H");
  EXPECT_FALSE(image.HasFont());
  EXPECT_FALSE(image.FontSize(10));

  EXPECT_FALSE(form.ScaleMode(2));
  EXPECT_EQ(kScaleTwips, form.ScaleMode());
  EXPECT_FALSE(form.BorderStyle(5));
  Frame& frame = form.Add<Frame>(L"Fr");
  EXPECT_FALSE(frame.BorderStyle(2));
  TextBox& text = form.Add<TextBox>(L"T");
  EXPECT_FALSE(text.ScrollBars(4));
  EXPECT_FALSE(text.SelStart(-1));
}

TEST(FontTest, ControlsGetTheirFontWithTheJapaneseCharacterSet) {
  Application app;
  EventForm form(app, L"F");
  Label& label = form.Add<Label>(L"L");
  StdFont font;
  font.Name = L"ＭＳ Ｐ明朝";
  font.Size = 14.25f;
  font.Bold = true;
  ASSERT_TRUE(label.Font(font));
  EXPECT_EQ(font, label.Font());
  auto hfont = reinterpret_cast<HFONT>(SendMessageW(label.hWnd(), WM_GETFONT, 0, 0));
  ASSERT_NE(nullptr, hfont);
  LOGFONTW lf{};
  GetObjectW(hfont, sizeof lf, &lf);
  EXPECT_EQ(SHIFTJIS_CHARSET, lf.lfCharSet);
  EXPECT_EQ(-19, lf.lfHeight);  // 14.25 pt at 96 DPI
  EXPECT_EQ(FW_BOLD, lf.lfWeight);
  EXPECT_EQ(std::wstring(L"ＭＳ Ｐ明朝"), lf.lfFaceName);
}

}  // namespace
