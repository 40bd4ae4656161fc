// A sample form with Japanese captions, laid out like the wizards' pages,
// for looking at the toolkit through tools/screenshot.sh.
#include <windows.h>

#include "forms/Forms.h"

using namespace norvale::forms;

namespace {

class SampleForm : public Form {
 public:
  explicit SampleForm(Application& app) : Form(app, L"Form_Sample") {
    Caption(L"Norvale Installer Ver 1.0.00");
    Move(0, 0, 9000, 7000);
    StdFont g9;
    g9.Size = 9.75f;
    StdFont g11b;
    g11b.Size = 11.25f;
    g11b.Bold = true;
    StdFont g8;
    g8.Size = 8.25f;

    Frame& page = Add<Frame>(L"F_Select");
    page.BorderStyle(0);
    page.Move(-20, -100, 8920, 5920);
    PictureBox& header = Add<PictureBox>(L"Pic_Select", page);
    header.BorderStyle(0);
    header.BackColor(kColorWindow);
    header.Move(0, 100, 8920, 1000);
    Label& title = Add<Label>(L"L_Select_H", header);
    title.Move(300, 105, 6405, 300);
    title.Font(g11b);
    title.BackColor(Rgb(255, 255, 255));
    title.Caption(L"モジュール選択");
    Label& subtitle = Add<Label>(L"L_Select_H1", header);
    subtitle.Move(495, 480, 5265, 300);
    subtitle.Font(g9);
    subtitle.BackColor(Rgb(255, 255, 255));
    subtitle.Caption(L"モジュールを選択して下さい。");

    const wchar_t* headings[] = {L"基本モジュール", L"追加モジュール"};
    const wchar_t* captions[2][3] = {{L"標準インストール", L"最小インストール", L"なし"},
                                     {L"売上集計", L"在庫管理", L""}};
    for (int g = 0; g < 2; ++g) {
      Frame& group = Add<Frame>(L"F_SelItem", page);
      group.Move(150 + g * 4400.0f, 1400, 4200, 2000);
      group.Caption(headings[g]);
      group.Font(g9);
      for (int o = 0; o < 3 && captions[g][o][0]; ++o) {
        OptionButton& option = Add<OptionButton>(L"Opt_SelItem", group);
        option.Move(200, 330 + o * 298.0f, 3800, 280);
        option.Font(g9);
        option.Caption(captions[g][o]);
        if (o == 0) option.Value(true);
      }
    }
    CheckBox& check = Add<CheckBox>(L"Chk_Check", page);
    check.Move(420, 3600, 7275, 330);
    check.Font(g9);
    check.Caption(L"デスクトップにショートカットを作成する");
    check.Value(1);
    TextBox& folder = Add<TextBox>(L"T_Input", page);
    folder.Move(390, 4100, 6740, 320);
    folder.Font(g9);
    folder.Text(L"C:\\Program Files\\Norvale");
    CommandButton& browse = Add<CommandButton>(L"C_Input", page);
    browse.Move(7240, 4070, 1050, 380);
    browse.Font(g9);
    browse.Caption(L"参照(R)");
    PictureBox& track = Add<PictureBox>(L"Pic_ingM", page);
    track.BorderStyle(1);
    track.BackColor(kColorWindow);
    track.Move(465, 4700, 7855, 400);
    PictureBox& bar = Add<PictureBox>(L"Pic_ing", track);
    bar.BorderStyle(0);
    bar.BackColor(Rgb(0, 64, 64));
    bar.Move(0, 0, 3142, 400);

    Frame& footer = Add<Frame>(L"F_footer");
    footer.Move(-20, 5710, 8920, 800);
    const wchar_t* buttons[] = {L"< 戻る(B)", L"次へ(N) >", L"キャンセル"};
    const float lefts[] = {3300, 5100, 6900};
    for (int i = 0; i < 3; ++i) {
      CommandButton& b = Add<CommandButton>(L"C_Skip", footer);
      b.Move(lefts[i], 270, 1600, 400);
      b.Font(g8);
      b.Caption(buttons[i]);
    }
  }
};

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  Application app;
  SampleForm form(app);
  form.Left((app.Screen().Width() - form.Width()) / 2);
  form.Top((app.Screen().Height() - form.Height()) / 2);
  form.Show();
  return app.Run();
}
