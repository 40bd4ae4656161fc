// Control arrays, option and check boxes, text boxes, focus and tab order,
// pictures, labels and mouse pointers.
#include <windows.h>

#include <gtest/gtest.h>

#include "FormsTestSupport.h"

using namespace forms_testing;
using namespace norvale::forms;

namespace {

void ClickWindow(HWND hwnd) { SendMessageW(hwnd, BM_CLICK, 0, 0); }

TEST(ControlArrayTest, LoadingCopiesTheTemplateHiddenAndUnselected) {
  Application app;
  EventForm form(app, L"F");
  ControlArray<Frame> frames(L"F_SelItem");
  ControlArray<OptionButton> options(L"Opt_SelItem");
  Frame& frame0 = frames.Add(form, 0);
  frame0.Move(150, 1400, 4200, 4300);
  frame0.BackColor(Rgb(255, 255, 255));
  frame0.Visible(false);
  OptionButton& option0 = options.Add(form, 0, frame0);
  option0.Move(90, 330, 4000, 280);
  option0.Caption(L"テンプレート");
  option0.FontSize(9.75f);
  option0.Tag(L"0:0");
  option0.Value(true);
  std::vector<int16_t> clicked;
  option0.Click = [&clicked](int16_t index) { clicked.push_back(index); };

  Frame* frame1 = frames.Load(1);
  ASSERT_NE(nullptr, frame1);
  EXPECT_FALSE(frame1->Visible());
  EXPECT_EQ(&form, &frame1->Container());
  EXPECT_FLOAT_EQ(4200, frame1->Width());
  EXPECT_EQ(Rgb(255, 255, 255), frame1->BackColor());

  OptionButton* option1 = options.Load(1);
  ASSERT_NE(nullptr, option1);
  EXPECT_EQ(1, option1->Index());
  EXPECT_EQ(L"Opt_SelItem", option1->Name());
  EXPECT_EQ(&frame0, &option1->Container());
  EXPECT_FALSE(option1->Visible());
  EXPECT_FALSE(option1->Value());
  EXPECT_TRUE(option0.Value());
  EXPECT_EQ(L"テンプレート", option1->Caption());
  EXPECT_FLOAT_EQ(9.75f, option1->Font().Size);
  EXPECT_FLOAT_EQ(330, option1->Top());
  EXPECT_FALSE(IsWindowVisible(option1->hWnd()));

  // Taken or negative indexes load nothing.
  EXPECT_EQ(nullptr, options.Load(1));
  EXPECT_EQ(nullptr, options.Load(-1));
  ControlArray<Label> empty(L"L_None");
  EXPECT_EQ(nullptr, empty.Load(1));
  EXPECT_EQ(-1, empty.UBound());

  ASSERT_TRUE(options.Load(3));
  EXPECT_EQ(3, options.UBound());
  EXPECT_EQ(0, options.LBound());
  EXPECT_EQ(3, options.Count());
  EXPECT_EQ(nullptr, options(2));
  std::vector<int16_t> order;
  for (OptionButton* o : options.Elements()) order.push_back(o->Index());
  EXPECT_EQ((std::vector<int16_t>{0, 1, 3}), order);

  // The copy's events are the array's: they report the element's index.
  ASSERT_TRUE(option1->Container(*frame1));
  frame1->Visible(true);
  option1->Visible(true);
  form.Show();
  ClickWindow(option1->hWnd());
  EXPECT_EQ((std::vector<int16_t>{1}), clicked);
  EXPECT_TRUE(option1->Value());
  EXPECT_TRUE(option0.Value());  // another container
}

TEST(OptionButtonTest, OneSelectionPerContainer) {
  Application app;
  EventForm form(app, L"F");
  Frame& group1 = form.Add<Frame>(L"G1");
  group1.Move(150, 100, 4200, 2000);
  Frame& group2 = form.Add<Frame>(L"G2");
  group2.Move(4550, 100, 4200, 2000);
  ControlArray<OptionButton> options(L"Opt");
  OptionButton& option0 = options.Add(form, 0, group1);
  option0.Move(90, 330, 4000, 280);
  option0.Visible(false);
  // Groups of three and two options, the first of each selected.
  for (int16_t k = 1; k <= 5; ++k) {
    OptionButton* o = options.Load(k);
    ASSERT_NE(nullptr, o);
    o->Container(k <= 3 ? group1 : group2);
    o->Top(330 + (k <= 3 ? k - 1 : k - 4) * 298.0f);
    o->Visible(true);
    if (k == 1 || k == 4) o->Value(true);
  }
  form.Show();
  auto selected = [&options] {
    std::vector<int16_t> on;
    for (OptionButton* o : options.Elements()) {
      if (o->Value()) on.push_back(o->Index());
    }
    return on;
  };
  EXPECT_EQ((std::vector<int16_t>{1, 4}), selected());

  ClickWindow(options(3)->hWnd());
  EXPECT_EQ((std::vector<int16_t>{3, 4}), selected());
  EXPECT_EQ(BST_UNCHECKED, SendMessageW(options(1)->hWnd(), BM_GETCHECK, 0, 0));
  EXPECT_EQ(BST_CHECKED, SendMessageW(options(3)->hWnd(), BM_GETCHECK, 0, 0));
  options(5)->Value(true);
  EXPECT_EQ((std::vector<int16_t>{3, 5}), selected());

  // A selected button that moves in stays the selected one there.
  ASSERT_TRUE(options(3)->Container(group2));
  EXPECT_EQ((std::vector<int16_t>{3}), selected());
  options(2)->Value(true);
  EXPECT_EQ((std::vector<int16_t>{2, 3}), selected());
}

TEST(CheckBoxTest, ValuesZeroToTwoAndClicks) {
  Application app;
  EventForm form(app, L"F");
  CheckBox& box = form.Add<CheckBox>(L"Chk_Check");
  box.Move(420, 2100, 4000, 330);
  box.Caption(L"フォントをインストールする");
  int clicks = 0;
  box.Click = [&clicks](int16_t) { ++clicks; };
  EXPECT_FALSE(box.Value(3));
  EXPECT_FALSE(box.Value(-1));
  EXPECT_EQ(0, box.Value());
  EXPECT_EQ(0, clicks);
  ASSERT_TRUE(box.Value(2));
  EXPECT_EQ(BST_INDETERMINATE, SendMessageW(box.hWnd(), BM_GETCHECK, 0, 0));
  EXPECT_EQ(1, clicks);
  box.Value(2);
  EXPECT_EQ(1, clicks);

  form.Show();
  ClickWindow(box.hWnd());
  EXPECT_EQ(1, box.Value());
  ClickWindow(box.hWnd());
  EXPECT_EQ(0, box.Value());
  EXPECT_EQ(BST_UNCHECKED, SendMessageW(box.hWnd(), BM_GETCHECK, 0, 0));
  EXPECT_EQ(3, clicks);
}

TEST(TextBoxTest, TextSelectionAndModes) {
  Application app;
  EventForm form(app, L"F");
  TextBox& box = form.Add<TextBox>(L"T_FTP");
  box.Move(1425, 315, 5000, 320);
  box.Text(L"192.168.0.1");
  EXPECT_EQ(L"192.168.0.1", box.Text());
  // What the user typed is what the box holds.
  SetWindowTextW(box.hWnd(), L"ftp.example.jp");
  EXPECT_EQ(L"ftp.example.jp", box.Text());

  ASSERT_TRUE(box.SelStart(4));
  ASSERT_TRUE(box.SelLength(3));
  EXPECT_EQ(4, box.SelStart());
  EXPECT_EQ(3, box.SelLength());
  box.SelLength(100);
  EXPECT_EQ(10, box.SelLength());

  box.PasswordChar(L"*");
  EXPECT_EQ(L'*', SendMessageW(box.hWnd(), EM_GETPASSWORDCHAR, 0, 0));
  box.PasswordChar(L"");
  EXPECT_EQ(0, SendMessageW(box.hWnd(), EM_GETPASSWORDCHAR, 0, 0));

  box.Locked(true);
  EXPECT_TRUE(GetWindowLongW(box.hWnd(), GWL_STYLE) & ES_READONLY);

  // Line mode is fixed at creation: the window is made anew, the model
  // stays.
  box.MultiLine(true);
  box.ScrollBars(2);
  EXPECT_TRUE(GetWindowLongW(box.hWnd(), GWL_STYLE) & ES_MULTILINE);
  EXPECT_TRUE(GetWindowLongW(box.hWnd(), GWL_STYLE) & WS_VSCROLL);
  EXPECT_TRUE(GetWindowLongW(box.hWnd(), GWL_STYLE) & ES_READONLY);
  EXPECT_EQ(L"ftp.example.jp", box.Text());
  box.Text(L"アンインストール先:\r\n    C:\\Program Files\\Norvale");
  EXPECT_EQ(2, SendMessageW(box.hWnd(), EM_GETLINECOUNT, 0, 0));
  EXPECT_EQ(&box, Widget::FromWindow(box.hWnd()));
}

TEST(FocusTest, FocusIsRefusedWhereTheControlCannotTakeIt) {
  Application app;
  EventForm form(app, L"F");
  Frame& frame = form.Add<Frame>(L"F_FTP");
  TextBox& inFrame = form.Add<TextBox>(L"T1", frame);
  TextBox& hidden = form.Add<TextBox>(L"T2");
  hidden.Visible(false);
  TextBox& disabled = form.Add<TextBox>(L"T3");
  disabled.Enabled(false);
  Label& label = form.Add<Label>(L"L");
  std::vector<std::wstring> gotFocus;
  inFrame.GotFocus = [&gotFocus](int16_t) { gotFocus.push_back(L"T1"); };

  // Not shown yet: the form cannot take the focus during its start-up.
  EXPECT_FALSE(inFrame.SetFocus());
  form.Show();
  EXPECT_FALSE(hidden.SetFocus());
  EXPECT_FALSE(disabled.SetFocus());
  EXPECT_FALSE(label.SetFocus());
  frame.Enabled(false);
  EXPECT_FALSE(inFrame.SetFocus());
  frame.Enabled(true);
  frame.Visible(false);
  EXPECT_FALSE(inFrame.SetFocus());
  frame.Visible(true);
  gotFocus.clear();
  ASSERT_TRUE(inFrame.SetFocus());
  EXPECT_EQ(inFrame.hWnd(), GetFocus());
  EXPECT_EQ(&inFrame, form.ActiveControl());
  EXPECT_EQ((std::vector<std::wstring>{L"T1"}), gotFocus);

  // Hiding the focused control passes the focus on.
  TextBox& next = form.Add<TextBox>(L"T4");
  inFrame.Visible(false);
  EXPECT_EQ(next.hWnd(), GetFocus());
}

TEST(FocusTest, TabWalksTheTabOrderOverWhatCanTakeTheFocus) {
  Application app;
  EventForm form(app, L"F");
  Frame& frame = form.Add<Frame>(L"F_FTP");
  ControlArray<TextBox> boxes(L"T_FTP");
  for (int16_t i = 0; i < 3; ++i) boxes.Add(form, i, frame).Top(315 + i * 465.0f);
  CommandButton& cancel = form.Add<CommandButton>(L"C_Cancel");
  CommandButton& ok = form.Add<CommandButton>(L"C_OK");
  // The frame takes place 0.
  ok.TabIndex(4);
  EXPECT_EQ(4, ok.TabIndex());
  EXPECT_EQ(5, cancel.TabIndex());
  boxes(1)->Enabled(false);
  form.Show();
  ASSERT_TRUE(PumpUntil(app, [&] { return GetFocus() == boxes(0)->hWnd(); }));

  std::vector<HWND> visited;
  for (int i = 0; i < 4; ++i) {
    const HWND before = GetFocus();
    PressKey(VK_TAB);
    PumpUntil(app, [before] { return GetFocus() != before; });
    visited.push_back(GetFocus());
  }
  EXPECT_EQ((std::vector<HWND>{boxes(2)->hWnd(), ok.hWnd(), cancel.hWnd(), boxes(0)->hWnd()}),
            visited);
  PressKey(VK_TAB, true);
  PumpUntil(app, [&] { return GetFocus() == cancel.hWnd(); });
  EXPECT_EQ(cancel.hWnd(), GetFocus());
  // A tab never reaches a text as a character.
  PressKey(VK_TAB);
  PumpFor(app, std::chrono::milliseconds(30));
  EXPECT_EQ(L"", boxes(0)->Text());
}

}  // namespace

namespace {

constexpr int kFolderIcon = 101;
constexpr int kHeaderJpeg = 201;

TEST(PictureTest, IconsAndPicturesFromTheProgramsResources) {
  Application app;
  EventForm form(app, L"F");
  HMODULE self = GetModuleHandleW(nullptr);
  ASSERT_TRUE(form.Icon(self, kFolderIcon));
  EXPECT_NE(0, SendMessageW(form.hWnd(), WM_GETICON, ICON_BIG, 0));
  EXPECT_FALSE(form.Icon(self, 999));

  ControlArray<Image> images(L"Image_Input");
  Image& image0 = images.Add(form, 0);
  image0.Move(360, 390, 645, 675);
  EXPECT_FALSE(image0.HasPicture());
  Image* image1 = images.Load(1);
  ASSERT_NE(nullptr, image1);
  EXPECT_FALSE(image1->HasPicture());
  ASSERT_TRUE(image1->PictureFromIcon(self, kFolderIcon));
  EXPECT_TRUE(image1->HasPicture());
  // A number without a resource leaves the image as it was.
  EXPECT_FALSE(image1->PictureFromIcon(self, 102));
  EXPECT_TRUE(image1->HasPicture());

  Image& header = form.Add<Image>(L"Image_Select_H");
  header.Stretch(true);
  ASSERT_TRUE(header.PictureFromResource(self, kHeaderJpeg));
  EXPECT_TRUE(header.HasPicture());
  EXPECT_FALSE(header.PictureFromResource(self, 202));
  header.ClearPicture();
  EXPECT_FALSE(header.HasPicture());
  // Painting a picture on the screen goes through without trouble.
  header.PictureFromResource(self, kHeaderJpeg);
  form.Show();
  UpdateWindow(form.hWnd());
  header.Refresh();
  image1->Visible(true);
  image1->Refresh();
}

TEST(LabelTest, ClickOnALabel) {
  Application app;
  EventForm form(app, L"Form_UpdateMsg");
  Label& url = form.Add<Label>(L"L_URL");
  url.Move(300, 1320, 5200, 300);
  url.Caption(L"https://example.jp/setup");
  url.ForeColor(Rgb(0, 0, 192));
  int clicks = 0;
  url.Click = [&clicks](int16_t index) {
    EXPECT_EQ(-1, index);
    ++clicks;
  };
  form.Show();
  SendMessageW(url.hWnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  SendMessageW(url.hWnd(), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(1, clicks);
  EXPECT_EQ(L"https://example.jp/setup", url.Caption());
  wchar_t shown[64] = {};
  GetWindowTextW(url.hWnd(), shown, 64);
  EXPECT_EQ(std::wstring(L"https://example.jp/setup"), shown);
}

// What Windows gets when it asks the window under the mouse for a pointer.
HCURSOR PointerOver(HWND hwnd, WORD hit = HTCLIENT) {
  SetCursor(nullptr);
  SendMessageW(hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(hwnd), MAKELPARAM(hit, WM_MOUSEMOVE));
  return GetCursor();
}

TEST(MousePointerTest, AHandOverTheControlTheUsualPointerElsewhere) {
  Application app;
  EventForm form(app, L"Form_UpdateMsg");
  ControlArray<Label> links(L"L_Link");
  Label& link = links.Add(form, 0);
  link.Move(300, 300, 3000, 300);
  link.Caption(L"https://example.jp/");
  Label& plain = form.Add<Label>(L"L_Plain");
  plain.Move(300, 900, 3000, 300);
  plain.Caption(L"text");
  EXPECT_EQ(PointerShape::kDefault, link.MousePointer());
  link.MousePointer(PointerShape::kHand);
  Label* copy = links.Load(1);
  ASSERT_NE(nullptr, copy);
  EXPECT_EQ(PointerShape::kHand, copy->MousePointer());
  form.Show();

  const HCURSOR hand = LoadCursorW(nullptr, IDC_HAND), arrow = LoadCursorW(nullptr, IDC_ARROW);
  EXPECT_EQ(hand, PointerOver(link.hWnd()));
  EXPECT_EQ(hand, PointerOver(copy->hWnd()));
  EXPECT_EQ(arrow, PointerOver(plain.hWnd()));
  EXPECT_EQ(arrow, PointerOver(form.hWnd()));
  EXPECT_NE(hand, PointerOver(link.hWnd(), HTBORDER));
  link.MousePointer(PointerShape::kDefault);
  EXPECT_EQ(arrow, PointerOver(link.hWnd()));
}

}  // namespace
