// The window's design: every control with its place, look and design text.
// Pages lie over one another; the layout stretches the visible one.
#include "Form_Inset_MAIN.h"

namespace norvale {

using namespace forms;

namespace {

constexpr int32_t kWhite = Rgb(255, 255, 255);
constexpr int32_t kSidePanelBlue = Rgb(0, 64, 128);
constexpr int32_t kBarTeal = Rgb(0, 64, 64);

StdFont Gothic(float points, bool bold = false) {
  StdFont font;
  font.Size = points;
  font.Bold = bold;
  return font;
}

StdFont Mincho(float points, bool bold) {
  StdFont font = Gothic(points, bold);
  font.Name = L"ＭＳ Ｐ明朝";
  return font;
}

void Place(Widget& widget, float left, float top, float width, float height) {
  widget.Move(left, top, width, height);
}

// A page frame: borderless, over the same area, hidden until shown.
void DesignPage(Frame& page, int32_t backColor) {
  page.BorderStyle(0);
  page.Caption(L"");
  page.BackColor(backColor);
  Place(page, 0, 0, 8790, 5535);
}

void DesignLabel(Label& label, float left, float top, float width, float height,
                 const StdFont& font, int32_t backColor, const std::wstring& caption = L"") {
  Place(label, left, top, width, height);
  label.Font(font);
  label.BackColor(backColor);
  label.Caption(caption);
}

}  // namespace

Form_Inset_MAIN::Form_Inset_MAIN(Application& app, InstallerWindowOptions options)
    : Form(app, L"Form_Inset_MAIN"),
      options_(std::move(options)),
      F_footer(Add<Frame>(L"F_footer")),
      C_Cancel(Add<CommandButton>(L"C_Cancel", F_footer)),
      C_WinVer(Add<CommandButton>(L"C_WinVer", F_footer)),
      F_Start(Add<Frame>(L"F_Start")),
      Pic_Start(Add<PictureBox>(L"Pic_Start", F_Start)),
      Image_Start(Add<Image>(L"Image_Start", Pic_Start)),
      F_Select(Add<Frame>(L"F_Select")),
      Pic_Select(Add<PictureBox>(L"Pic_Select", F_Select)),
      Image_Select_H(Add<Image>(L"Image_Select_H", Pic_Select)),
      F_Input(Add<Frame>(L"F_Input")),
      Pic_Input(Add<PictureBox>(L"Pic_Input", F_Input)),
      Image_Input_H(Add<Image>(L"Image_Input_H", Pic_Input)),
      F_Check(Add<Frame>(L"F_Check")),
      Pic_Check(Add<PictureBox>(L"Pic_Check", F_Check)),
      Image_Check_H(Add<Image>(L"Image_Check_H", Pic_Check)),
      F_END(Add<Frame>(L"F_END")),
      Pic_END(Add<PictureBox>(L"Pic_END", F_END)),
      Image_END_H(Add<Image>(L"Image_END_H", Pic_END)),
      T_END(Add<TextBox>(L"T_END", F_END)),
      F_SETUP(Add<Frame>(L"F_SETUP")),
      Pic_SETUP(Add<PictureBox>(L"Pic_SETUP", F_SETUP)),
      Image_SETUP_H(Add<Image>(L"Image_SETUP_H", Pic_SETUP)),
      Pic_ingM(Add<PictureBox>(L"Pic_ingM", F_SETUP)),
      Pic_ing(Add<PictureBox>(L"Pic_ing", Pic_ingM)),
      F_FINAL(Add<Frame>(L"F_FINAL")),
      Pic_FINAL(Add<PictureBox>(L"Pic_FINAL", F_FINAL)),
      Image_Final(Add<Image>(L"Image_Final", Pic_FINAL)),
      F_Final_Sel(Add<Frame>(L"F_Final_Sel", F_FINAL)),
      Chk_FinalRun(Add<CheckBox>(L"Chk_FinalRun", F_FINAL)) {
  Caption(L"Norvale Installer");
  Move(0, 0, 9000, 7000);
  BackColor(kColorButtonFace);
  Icon(options_.resources, kIconInstaller);
  DesignFooter();
  DesignStartPage();
  DesignSelectPage();
  DesignInputPage();
  DesignCheckPage();
  DesignEndPage();
  DesignSetupPage();
  DesignFinalPage();
  // Tab order: the footer's buttons after the page's controls.
  const int16_t last = static_cast<int16_t>(Controls().size() - 1);
  C_WinVer.TabIndex(last);
  C_Skip(0)->TabIndex(last);
  C_Skip(1)->TabIndex(last);
  C_Cancel.TabIndex(last);
  ConnectPageMachine();
}

Form_Inset_MAIN::~Form_Inset_MAIN() = default;

void Form_Inset_MAIN::DesignFooter() {
  F_footer.BorderStyle(0);
  F_footer.Caption(L"");
  Place(F_footer, 45, 5700, 8715, 800);
  const wchar_t* captions[] = {L"< 戻る(B)", L"次へ(N) >"};
  const float lefts[] = {2400, 4155};
  for (int16_t i = 0; i < 2; ++i) {
    CommandButton& button = C_Skip.Add(*this, i, F_footer);
    Place(button, lefts[i], 270, 1600, 400);
    button.Font(Gothic(8.25f));
    button.Caption(captions[i]);
  }
  Place(C_Cancel, 5910, 270, 1600, 400);
  C_Cancel.Font(Gothic(8.25f));
  C_Cancel.Caption(L"キャンセル");
  Place(C_WinVer, 135, 270, 1600, 400);
  C_WinVer.Font(Gothic(8.25f));
  C_WinVer.Caption(L"Windows Version\r\n確 認");
  C_WinVer.Visible(false);
  C_WinVer.Click = [this](int16_t) { C_WinVer_Click(); };
}

void Form_Inset_MAIN::DesignSidePanel(PictureBox& panel, Image& image) {
  panel.BorderStyle(0);
  panel.BackColor(kSidePanelBlue);
  Place(panel, 45, 105, 2220, 5385);
  Place(image, 0, -15, 2100, 2040);
  image.Stretch(true);
  image.PictureFromResource(options_.resources, kPictureSidePanel);
}

void Form_Inset_MAIN::DesignHeader(PictureBox& picture, Image& image) {
  picture.BorderStyle(0);
  picture.BackColor(kColorWindow);
  Place(picture, 40, 100, 8680, 1000);
  Place(image, 7740, 60, 885, 870);
  image.Stretch(true);
  image.PictureFromResource(options_.resources, kPictureHeader);
}

void Form_Inset_MAIN::DesignStartPage() {
  DesignPage(F_Start, kWhite);
  DesignSidePanel(Pic_Start, Image_Start);
  DesignLabel(L_Start.Add(*this, 0, F_Start), 2385, 270, 5820, 480, Mincho(14.25f, true), kWhite);
  const float tops[] = {810, 1740, 2595};
  const float widths[] = {6030, 6135, 6135};
  const float heights[] = {840, 780, 1635};
  const wchar_t* captions[] = {
      L"", L"続行する前に他のアプリケーションを全て終了して下さい。",
      L"続行するには「次へ」、セットアップを終了するには「キャンセル」をクリックして下さい。"};
  for (int16_t i = 1; i <= 3; ++i) {
    DesignLabel(L_Start.Add(*this, i, F_Start), 2415, tops[i - 1], widths[i - 1],
                heights[i - 1], Gothic(9.75f), kWhite, captions[i - 1]);
  }
}

void Form_Inset_MAIN::DesignSelectPage() {
  DesignPage(F_Select, kColorButtonFace);
  F_Select.Visible(false);
  DesignHeader(Pic_Select, Image_Select_H);
  DesignLabel(L_Select_H.Add(*this, 0, Pic_Select), 300, 105, 2610, 300, Gothic(11.25f, true),
              kWhite, L"モジュール選択");
  DesignLabel(L_Select_H.Add(*this, 1, Pic_Select), 495, 480, 5265, 300, Gothic(9.75f), kWhite,
              L"モジュールを選択して下さい。");

  Frame& group = F_SelItem.Add(*this, 0, F_Select);
  group.BorderStyle(0);
  group.Caption(L"");
  Place(group, 150, 1400, 4200, 4300);
  group.Visible(false);
  Label& heading = L_SelItem.Add(*this, 0, group);
  DesignLabel(heading, 0, 0, 4000, 300, Gothic(9.75f, true), kColorButtonFace);
  OptionButton& option = Opt_SelItem.Add(*this, 0, group);
  Place(option, 90, 330, 4000, 280);
  option.Font(Gothic(9.75f));
}

void Form_Inset_MAIN::DesignInputPage() {
  DesignPage(F_Input, kColorButtonFace);
  F_Input.Visible(false);
  DesignHeader(Pic_Input, Image_Input_H);
  DesignLabel(L_Input_H.Add(*this, 0, Pic_Input), 300, 105, 6405, 300, Gothic(11.25f, true),
              kWhite);
  DesignLabel(L_Input_H.Add(*this, 1, Pic_Input), 570, 480, 7050, 300, Gothic(9.75f), kWhite);

  Frame& item = F_InputItem.Add(*this, 0, F_Input);
  item.BorderStyle(0);
  item.Caption(L"");
  Place(item, 40, 1100, 8700, 4400);
  item.Visible(false);
  item.Enabled(false);
  DesignLabel(L_Input1.Add(*this, 0, item), 1155, 420, 7230, 615, Gothic(9.75f),
              kColorButtonFace);
  DesignLabel(L_Input2.Add(*this, 0, item), 375, 1395, 7710, 495, Gothic(9.75f),
              kColorButtonFace);
  DesignLabel(L_Input3.Add(*this, 0, item), 300, 3450, 8130, 630, Gothic(9.75f),
              kColorButtonFace);
  Place(Image_Input.Add(*this, 0, item), 360, 390, 645, 675);
  TextBox& folder = T_Input.Add(*this, 0, item);
  Place(folder, 390, 2085, 7000, 320);
  folder.Font(Gothic(9.75f));
  folder.BackColor(kColorWindow);
  CommandButton& browse = C_Input.Add(*this, 0, item);
  Place(browse, 7500, 2040, 1050, 380);
  browse.Font(Gothic(9.75f));
  browse.Caption(L"参照(R)");
}

void Form_Inset_MAIN::DesignCheckPage() {
  DesignPage(F_Check, kColorButtonFace);
  F_Check.Visible(false);
  DesignHeader(Pic_Check, Image_Check_H);
  DesignLabel(L_Check_H.Add(*this, 0, Pic_Check), 300, 105, 6405, 300, Gothic(11.25f, true),
              kWhite);
  DesignLabel(L_Check_H.Add(*this, 1, Pic_Check), 570, 480, 7050, 300, Gothic(9.75f), kWhite);
  DesignLabel(L_Check.Add(*this, 0, F_Check), 345, 1335, 7710, 495, Gothic(9.75f),
              kColorButtonFace);
  DesignLabel(L_Check.Add(*this, 1, F_Check), 300, 4830, 7710, 495, Gothic(9.75f),
              kColorButtonFace);
  Label& title = L_CheckTitle.Add(*this, 0, F_Check);
  DesignLabel(title, 405, 1890, 5610, 285, Gothic(9.75f, true), kColorButtonFace);
  title.Visible(false);
  CheckBox& task = Chk_Check.Add(*this, 0, F_Check);
  Place(task, 420, 2100, 7275, 330);
  task.Font(Gothic(9.75f));
  task.Visible(false);
  task.Enabled(false);
}

void Form_Inset_MAIN::DesignEndPage() {
  DesignPage(F_END, kColorButtonFace);
  F_END.Visible(false);
  DesignHeader(Pic_END, Image_END_H);
  DesignLabel(L_END_H.Add(*this, 0, Pic_END), 300, 105, 6405, 300, Gothic(11.25f, true), kWhite,
              L"インストール準備完了");
  DesignLabel(L_END_H.Add(*this, 1, Pic_END), 570, 480, 6510, 300, Gothic(9.75f), kWhite);
  DesignLabel(L_END.Add(*this, 0, F_END), 615, 1245, 6975, 630, Gothic(9.75f), kColorButtonFace,
              L"インストールを続行するには「インストール」を、設定の変更や確認を行うには"
              L"「戻る」をクリックして下さい。");
  Place(T_END, 615, 1800, 7410, 3510);
  T_END.MultiLine(true);
  T_END.ScrollBars(2);
  T_END.Locked(true);
  T_END.Font(Gothic(9.75f));
  T_END.BackColor(kColorButtonFace);
}

void Form_Inset_MAIN::DesignSetupPage() {
  DesignPage(F_SETUP, kColorButtonFace);
  F_SETUP.Visible(false);
  DesignHeader(Pic_SETUP, Image_SETUP_H);
  DesignLabel(L_SETUP_H.Add(*this, 0, Pic_SETUP), 300, 105, 6405, 300, Gothic(11.25f, true),
              kWhite);
  DesignLabel(L_SETUP_H.Add(*this, 1, Pic_SETUP), 570, 480, 7005, 420, Gothic(9.75f), kWhite);
  DesignLabel(L_SETUP.Add(*this, 0, F_SETUP), 420, 1245, 7800, 630, Gothic(9.75f),
              kColorButtonFace);
  DesignLabel(L_SETUP.Add(*this, 1, F_SETUP), 420, 4665, 7800, 630, Gothic(9.75f),
              kColorButtonFace);
  Pic_ingM.BorderStyle(1);
  Pic_ingM.BackColor(kColorWindow);
  Place(Pic_ingM, 465, 2235, 7605, 400);
  Pic_ingM.Visible(false);
  Pic_ing.BorderStyle(0);
  Pic_ing.BackColor(kBarTeal);
  Place(Pic_ing, 0, 0, 4000, 400);
}

void Form_Inset_MAIN::DesignFinalPage() {
  DesignPage(F_FINAL, kWhite);
  F_FINAL.Visible(false);
  DesignSidePanel(Pic_FINAL, Image_Final);
  DesignLabel(L_Final.Add(*this, 0, F_FINAL), 2385, 270, 5820, 480, Mincho(14.25f, true), kWhite,
              L"セットアップウイザードの終了");
  DesignLabel(L_Final.Add(*this, 1, F_FINAL), 2415, 810, 6200, 840, Gothic(9.75f), kWhite,
              L"フォントが再インストールされました。\r\n"
              L"コンピュータをシャットダウンし再度起動して下さい。");
  DesignLabel(L_Final.Add(*this, 2, F_FINAL), 2340, 3720, 6195, 840, Gothic(9.75f), kWhite);
  F_Final_Sel.BorderStyle(0);
  F_Final_Sel.Caption(L"");
  F_Final_Sel.BackColor(kWhite);
  Place(F_Final_Sel, 2370, 2145, 5385, 1080);
  F_Final_Sel.Visible(false);
  F_Final_Sel.Enabled(false);
  const float tops[] = {105, 480};
  const float heights[] = {405, 360};
  for (int16_t i = 0; i < 2; ++i) {
    OptionButton& option = Opt_Final.Add(*this, i, F_Final_Sel);
    Place(option, 300, tops[i], 5000, heights[i]);
    option.Font(Gothic(9.75f));
    option.BackColor(kWhite);
    option.Enabled(false);
  }
  Place(Chk_FinalRun, 2655, 3420, 5175, 270);
  Chk_FinalRun.Font(Gothic(9.75f));
  Chk_FinalRun.BackColor(kWhite);
}

}  // namespace norvale
