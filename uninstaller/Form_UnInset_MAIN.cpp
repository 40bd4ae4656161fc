#include "Form_UnInset_MAIN.h"

#include "DeleteMeCmd.h"
#include "FontRemoval.h"
#include "InstallRecord.h"
#include "InstallerPictures.h"
#include "RemovalSteps.h"
#include "SetupText.h"
#include "StartIni.h"
#include "StartupForms.h"
#include "SystemServices.h"
#include "Text.h"
#include "clsPublicFunc.h"

namespace norvale {

namespace {

constexpr int32_t kGrey = static_cast<int32_t>(RGB(224, 224, 224));
constexpr int32_t kWhite = static_cast<int32_t>(RGB(255, 255, 255));
constexpr int32_t kBar = static_cast<int32_t>(RGB(0, 64, 64));
constexpr float kOptionSpacing = 600;

forms::StdFont MinchoFont(float points) {
  forms::StdFont font;
  font.Name = L"ＭＳ Ｐ明朝";
  font.Size = points;
  font.Bold = true;
  return font;
}

// Ends the program through the application's own seam.
class ApplicationEnd final : public forms::IProgramEnd {
 public:
  explicit ApplicationEnd(forms::Application& app) : app_(app) {}
  using forms::IProgramEnd::End;
  void End(int exitCode) override { app_.End(exitCode); }

 private:
  forms::Application& app_;
};

// Every page picture shows the program's one bitmap, stretched.
forms::Image& Pictured(forms::Image& image) {
  image.Stretch(true);
  image.PictureFromResource(GetModuleHandleW(nullptr), kPictureHeader);
  return image;
}

template <class T>
T& Placed(T& control, float left, float top, float width, float height) {
  control.Move(left, top, width, height);
  return control;
}

forms::Label& AddLabel(forms::Form& form, forms::ControlArray<forms::Label>& array, int16_t index,
                       forms::Widget& container, float l, float t, float w, float h,
                       const forms::StdFont& font, int32_t back) {
  auto& label = Placed(array.Add(form, index, container), l, t, w, h);
  label.Font(font);
  label.BackColor(back);
  return label;
}

}  // namespace

bool ParseUninstallerCommandLine(const std::wstring& commandLine,
                                 std::vector<std::wstring>& args) {
  args.assign(1, std::wstring());
  const std::wstring rest = ReplaceAll(commandLine, L"\"", L"");
  if (IsBlank(rest)) return false;
  SplitCsvLine(args, rest);
  for (size_t i = 1; i < args.size(); ++i) {
    if (ContainsNoCase(args[i], L"/S")) return true;
  }
  return false;
}

Form_UnInset_MAIN::Form_UnInset_MAIN(forms::Application& app,
                                     std::unique_ptr<UninstallerState> state,
                                     std::wstring commandLine)
    : Form(app, L"Form_UnInset_MAIN"),
      F_footer(Add<forms::Frame>(L"F_footer")),
      C_Cancel(Add<forms::CommandButton>(L"C_Cancel", F_footer)),
      F_Start(Add<forms::Frame>(L"F_Start")),
      Pic_Start(Add<forms::PictureBox>(L"Pic_Start", F_Start)),
      Image_Start(Add<forms::Image>(L"Image_Start", Pic_Start)),
      F_Check(Add<forms::Frame>(L"F_Check")),
      Pic_Check(Add<forms::PictureBox>(L"Pic_Check", F_Check)),
      Image_Check_H(Add<forms::Image>(L"Image_Check_H", Pic_Check)),
      F_END(Add<forms::Frame>(L"F_END")),
      Pic_END(Add<forms::PictureBox>(L"Pic_END", F_END)),
      Image_END_H(Add<forms::Image>(L"Image_END_H", Pic_END)),
      T_END(Add<forms::TextBox>(L"T_END", F_END)),
      F_SETUP(Add<forms::Frame>(L"F_SETUP")),
      Pic_SETUP(Add<forms::PictureBox>(L"Pic_SETUP", F_SETUP)),
      Image_SETUP_H(Add<forms::Image>(L"Image_SETUP_H", Pic_SETUP)),
      Pic_ingM(Add<forms::PictureBox>(L"Pic_ingM", F_SETUP)),
      Pic_ing(Add<forms::PictureBox>(L"Pic_ing", Pic_ingM)),
      F_FINAL(Add<forms::Frame>(L"F_FINAL")),
      Pic_FINAL(Add<forms::PictureBox>(L"Pic_FINAL", F_FINAL)),
      Image_Final(Add<forms::Image>(L"Image_Final", Pic_FINAL)),
      F_Final_Sel(Add<forms::Frame>(L"F_Final_Sel", F_FINAL)),
      state_(std::move(state)),
      commandLine_(std::move(commandLine)) {
  state_->AttachWindow(this);
  DesignControls();
}

void Form_UnInset_MAIN::DesignControls() {
  const forms::StdFont g8 = GothicFont(8.25f), g9 = GothicFont(9.75f),
                       g11b = GothicFont(11.25f, true), m14b = MinchoFont(14.25f);
  Caption(L"Norvale UnInstaller");
  KeyPreview(true);
  Font(g9);
  Width(9000);
  Height(7000);

  Placed(F_footer, 45, 5700, 8715, 800);
  const wchar_t* const skipCaptions[] = {L"< 戻る(B)", L"次へ(N) >"};
  const float skipLefts[] = {2400, 4155};
  for (int16_t i = 0; i < 2; ++i) {
    auto& button = Placed(C_Skip.Add(*this, i, F_footer), skipLefts[i], 270, 1600, 400);
    button.Font(g8);
    button.Caption(skipCaptions[i]);
    button.Click = [this](int16_t index) { C_Skip_Click(index); };
  }
  Placed(C_Cancel, 5910, 270, 1600, 400).Font(g8);
  C_Cancel.Caption(L"キャンセル");
  C_Cancel.Click = [this](int16_t) { C_Cancel_Click(); };

  // Start page.
  Placed(F_Start, 60, -45, 8790, 5535).BackColor(kGrey);
  Placed(Pic_Start, 45, 105, 2220, 5385).BackColor(kWhite);
  Pictured(Placed(Image_Start, 30, 45, 2100, 2040));
  AddLabel(*this, L_Start, 0, F_Start, 2385, 270, 5820, 480, m14b, kGrey);
  AddLabel(*this, L_Start, 1, F_Start, 2415, 810, 6030, 840, g9, kGrey);
  AddLabel(*this, L_Start, 2, F_Start, 2415, 1740, 6135, 1605, g9, kGrey)
      .Caption(L"続行する前に他のアプリケーションを全て終了して下さい。\r\n\r\n【注意】\r\n"
               L"インストール先フォルダはサブフォルダを含む全てのファイルが削除されますので必用なファイルは実行前に退避しておいて下さい。\r\n"
               L"またインストールされたフォントファイルはアンインストールされませんので不要であれば手動でアンインストールして下さい。");
  AddLabel(*this, L_Start, 3, F_Start, 2415, 3780, 6135, 1020, g9, kGrey)
      .Caption(L"続行するには「次へ」、アンインストールを終了する場合は「キャンセル」をクリックして下さい。");

  // Options page.
  Placed(F_Check, 4335, 10800, 8790, 5535);
  F_Check.Visible(false);
  F_Check.Enabled(false);
  Placed(Pic_Check, 40, 100, 8680, 1000).BackColor(forms::kColorWindow);
  AddLabel(*this, L_Check_H, 0, Pic_Check, 300, 105, 6405, 300, g11b, kWhite);
  AddLabel(*this, L_Check_H, 1, Pic_Check, 570, 480, 7050, 300, g9, kWhite);
  Pictured(Placed(Image_Check_H, 7740, 60, 885, 870));
  AddLabel(*this, L_Check, 0, F_Check, 345, 1335, 7710, 495, g9, forms::kColorButtonFace);
  auto& titleTemplate = AddLabel(*this, L_CheckTitle, 0, F_Check, 405, 1890, 5610, 285, g9,
                                 forms::kColorButtonFace);
  titleTemplate.Visible(false);
  auto& checkTemplate = Placed(Chk_Check.Add(*this, 0, F_Check), 420, 2100, 7275, 330);
  checkTemplate.Font(g9);
  checkTemplate.Visible(false);
  checkTemplate.Enabled(false);
  AddLabel(*this, L_Check, 1, F_Check, 300, 4830, 7710, 495, g9, forms::kColorButtonFace);

  // Ready page.
  Placed(F_END, 225, 7170, 8790, 5535);
  F_END.Visible(false);
  F_END.Enabled(false);
  Placed(Pic_END, 40, 100, 8680, 1000).BackColor(forms::kColorWindow);
  AddLabel(*this, L_END_H, 0, Pic_END, 300, 105, 6405, 300, g11b, kWhite)
      .Caption(L"アンインストール準備完了");
  AddLabel(*this, L_END_H, 1, Pic_END, 570, 480, 6510, 300, g9, kWhite);
  Pictured(Placed(Image_END_H, 7740, 60, 885, 870));
  AddLabel(*this, L_END, 0, F_END, 615, 1245, 6975, 630, g9, forms::kColorButtonFace)
      .Caption(L"アンインストールを行う場合は「アンインストール」を、条件の変更を行う場合は「戻る」をクリックして下さい。");
  Placed(T_END, 615, 1800, 7410, 3510).Font(g9);
  T_END.BackColor(forms::kColorButtonFace);
  T_END.MultiLine(true);
  T_END.ScrollBars(2);
  T_END.Locked(true);

  // Progress page.
  Placed(F_SETUP, 9375, 5895, 8790, 5535);
  F_SETUP.Visible(false);
  F_SETUP.Enabled(false);
  Placed(Pic_SETUP, 40, 100, 8680, 1000).BackColor(forms::kColorWindow);
  AddLabel(*this, L_SETUP_H, 0, Pic_SETUP, 300, 105, 6405, 300, g11b, kWhite);
  AddLabel(*this, L_SETUP_H, 1, Pic_SETUP, 570, 480, 7005, 420, g9, kWhite);
  Pictured(Placed(Image_SETUP_H, 7740, 60, 885, 870));
  AddLabel(*this, L_SETUP, 0, F_SETUP, 420, 1245, 7800, 630, g9, forms::kColorButtonFace);
  Placed(Pic_ingM, 465, 2235, 7605, 400).BackColor(forms::kColorWindow);
  Pic_ingM.Visible(false);
  Placed(Pic_ing, 0, 0, 4000, 400).BackColor(kBar);
  AddLabel(*this, L_SETUP, 1, F_SETUP, 420, 4665, 7800, 630, g9, forms::kColorButtonFace);

  // Finish page.
  Placed(F_FINAL, 9285, 105, 8790, 5535).BackColor(kGrey);
  F_FINAL.Visible(false);
  Placed(Pic_FINAL, 45, 105, 2220, 5385).BackColor(kWhite);
  Pictured(Placed(Image_Final, 0, -15, 2100, 2040));
  AddLabel(*this, L_Final, 0, F_FINAL, 2385, 270, 5820, 480, m14b, kGrey)
      .Caption(L"アンインストールの終了");
  AddLabel(*this, L_Final, 1, F_FINAL, 2415, 810, 6200, 840, g9, kGrey)
      .Caption(L"処理を完了するためにはコンピュータを再起動する必要があります。\r\nコンピュータを再起動しますか？");
  Placed(F_Final_Sel, 2475, 1590, 2910, 1680).BackColor(kGrey);
  const wchar_t* const finalCaptions[] = {L"今すぐに再起動(Y)", L"後で手動で再起動(N)"};
  const float finalLefts[] = {315, 330}, finalTops[] = {405, 915};
  for (int16_t i = 0; i < 2; ++i) {
    auto& option =
        Placed(Opt_Final.Add(*this, i, F_Final_Sel), finalLefts[i], finalTops[i], 3000, 360);
    option.Font(g9);
    option.BackColor(kGrey);
    option.Caption(finalCaptions[i]);
  }
  Opt_Final(0)->Value(true);
}

void Form_UnInset_MAIN::Form_Load() {
  UninstallerState& s = *state_;
  s.StartupOk = -1;
  s.ErrText.clear();
  SkipOnFailure([&] {
    Width(9000);
    Height(7000);
  });
  SkipOnFailure([&] {
    clsPublicFunc publicFunc;
    publicFunc.FormCentering(this);
  });
  s.IsSilent = ParseUninstallerCommandLine(commandLine_, s.Args) ? -1 : 0;
  s.PageNo = 0;
  F_END.Visible(false);
  F_END.Enabled(false);
  F_SETUP.Enabled(false);
  F_FINAL.Enabled(false);
  s.StartupOk = LoadInstallRecord(s);
  if (!s.StartupOk) s.Exit = UninstallExit::NoRecord;
  if (s.StartupOk) {
    SkipOnFailure([&] { Caption(s.Caption); });
    SkipOnFailure([&] { BuildUninstPages(); });
    SkipOnFailure([&] { ShowUninstPage(); });
  }
}

void Form_UnInset_MAIN::Form_Activate() {
  UninstallerState& s = *state_;
  SkipOnFailure([&] { s.objWinCommon.SetWindow前面(hWnd(), 0); });
  DoEvents();
  if (firstActivation_ != 0) return;
  firstActivation_ = 1;
  if (!s.StartupOk) {
    if (!IsBlank(s.ErrText)) {
      s.services.seams.messageBox->Show(s.ErrText, L"処理を続行できません！",
                                        MB_OK | MB_ICONSTOP);
    }
    Unload();
    return;
  }
  if (s.IsSilent) SilentRun();
}

void Form_UnInset_MAIN::SilentRun() {
  UninstallerState& s = *state_;
  s.PageNo = 3;
  SkipOnFailure([&] { ShowUninstPage(); });
  SkipOnFailure([&] { C_Cancel.Enabled(false); });
  if (!RunRemoval()) return;
  s.PageNo = 4;
  SkipOnFailure([&] { Opt_Final(0)->Value(false); });
  Finish(false);
}

bool Form_UnInset_MAIN::RunRemoval() {
  UninstallerState& s = *state_;
  // Nothing is removed before the end of the removal is sure to be had:
  // without it the product would stay half removed for good.
  removing_ = true;
  const bool ready = PrepareRemovalEnd(s);
  if (ready) {
    ExecuteUninstall(s);
    s.Exit = UninstallExit::Unfinished;
  }
  removing_ = false;
  if (!ready) ApplicationEnd(App()).End(static_cast<int>(s.Exit));
  return ready;
}

void Form_UnInset_MAIN::Finish(bool restart) {
  // The window answers while the install folder is emptied: a second click
  // or closing it then would start the end anew or tear the window down.
  removing_ = true;
  ApplicationEnd end(App());
  MakeDeleteMeCmd(*state_, restart, end);
  removing_ = false;
}

void Form_UnInset_MAIN::ShowUninstPage() {
  UninstallerState& s = *state_;
  for (forms::Frame* frame : {&F_Start, &F_Check, &F_END, &F_SETUP}) {
    frame->Visible(false);
    frame->Enabled(false);
  }
  C_Skip(1)->Caption(L"次へ(N)");
  auto show = [](forms::Frame& frame) {
    frame.Visible(true);
    frame.Enabled(true);
  };
  switch (s.PageNo) {
    case 0:
      show(F_Start);
      C_Skip(0)->Visible(false);
      if (C_Skip(1)->CanFocusNow()) C_Skip(1)->SetFocus();
      break;
    case 1:
      show(F_Check);
      C_Skip(0)->Visible(true);
      break;
    case 2:
      MakeUninstSummary();
      show(F_END);
      C_Skip(0)->Visible(true);
      C_Skip(1)->Caption(L"アンインストール(U)");
      break;
    case 3:
      L_SETUP_H(0)->Caption(L"アンインストール状況");
      L_SETUP_H(1)->Caption(s.AppName + L"をアンインストールしています、しばらくお待ち下さい。");
      L_SETUP(0)->Caption(L"");
      L_SETUP(1)->Caption(L"");
      show(F_SETUP);
      C_Skip(0)->Visible(false);
      C_Skip(1)->Visible(false);
      break;
    case 4:
      show(F_FINAL);
      C_Skip(0)->Visible(false);
      C_Skip(1)->Visible(true);
      C_Skip(1)->Caption(L"完了(F)");
      C_Cancel.Visible(false);
      break;
    default:
      break;
  }
  Form_Resize();
}

void Form_UnInset_MAIN::BuildUninstPages() {
  UninstallerState& s = *state_;
  L_Start(0)->Caption(s.AppName + L" アンインストールの開始");
  L_Start(1)->Caption(L"このプログラムはご使用のコンピュータから" + s.AppName +
                      (IsBlank(s.AppVerName) ? L"" : L" " + s.AppVerName) +
                      L"をアンインストールします。");
  L_Check_H(0)->Caption(s.OptionTitle);
  L_Check_H(1)->Caption(s.OptionSubtitle);
  L_Check(0)->Caption(s.OptionText);
  L_Check(1)->Caption(s.OptionText2);
  for (int16_t i = 1; i <= s.UninstOptionCount; ++i) {
    SkipOnFailure([&] {
      const UninstOptionEntry& option = s.UninstOptions[i];
      forms::Label* title = L_CheckTitle.Load(i);
      forms::CheckBox* check = Chk_Check.Load(i);
      const float offset = static_cast<float>(i - 1) * kOptionSpacing;
      if (title) {
        title->Left(L_CheckTitle(0)->Left());
        title->Top(L_CheckTitle(0)->Top() + offset);
        title->Caption(option.Name);
        title->Visible(true);
      }
      if (check) {
        check->Left(Chk_Check(0)->Left());
        check->Top(Chk_Check(0)->Top() + offset);
        check->Caption(option.Caption);
        check->Value(option.Value);
        check->Visible(true);
        check->Enabled(true);
      }
    });
  }
  L_END_H(1)->Caption(s.AppName + L"をアンインストールする準備ができました。");
}

void Form_UnInset_MAIN::MakeUninstSummary() {
  UninstallerState& s = *state_;
  std::vector<std::wstring> chosen;
  for (int16_t i = 1; i <= s.UninstOptionCount; ++i) {
    if (forms::CheckBox* check = Chk_Check(i)) s.UninstOptions[i].Value = check->Value();
    if (s.UninstOptions[i].Value != 0) chosen.push_back(L"    " + s.UninstOptions[i].Caption);
  }
  std::vector<std::wstring> blocks;
  if (!IsBlank(s.AppDir)) blocks.push_back(L"アンインストール先:\r\n    " + s.AppDir);
  if (!chosen.empty()) {
    std::wstring block = L"追加オプション:";
    for (const std::wstring& line : chosen) block += L"\r\n" + line;
    blocks.push_back(block);
  }
  std::wstring summary;
  for (const std::wstring& block : blocks) summary += (summary.empty() ? L"" : L"\r\n\r\n") + block;
  T_END.Text(summary);
}

void Form_UnInset_MAIN::C_Skip_Click(int16_t Index) {
  UninstallerState& s = *state_;
  if (removing_) return;
  if (Index == 0) {
    s.PageNo = static_cast<int16_t>(s.PageNo > 0 ? s.PageNo - 1 : 0);
    ShowUninstPage();
    return;
  }
  switch (s.PageNo) {
    case 0:
    case 1:
      ++s.PageNo;
      ShowUninstPage();
      break;
    case 2:
      if (!CheckBeforeUninst(s)) return;
      s.PageNo = 3;
      ShowUninstPage();
      if (!RunRemoval()) return;
      s.PageNo = 4;
      ShowUninstPage();
      break;
    case 4:
      Finish(Opt_Final(0)->Value());
      break;
    default:
      break;
  }
}

void Form_UnInset_MAIN::C_Cancel_Click() {
  if (removing_) return;
  Unload();
}

void Form_UnInset_MAIN::Form_KeyDown(int16_t& KeyCode, int16_t) {
  UninstallerState& s = *state_;
  if (removing_) return;
  if (KeyCode == 'B' && s.PageNo > 0) C_Skip_Click(0);
  else if (KeyCode == 'N' && s.PageNo < 2) C_Skip_Click(1);
  else if (KeyCode == 'U' && s.PageNo == 2) C_Skip_Click(1);
}

void Form_UnInset_MAIN::Form_QueryUnload(int16_t& Cancel, int16_t) {
  // Closing under the running removal would tear its window down.
  if (removing_) Cancel = -1;
}

void Form_UnInset_MAIN::Form_Unload(int16_t&) { state_->AttachWindow(nullptr); }

void Form_UnInset_MAIN::Dispゲージ(int16_t intValue) {
  if (intValue < 0) {
    Pic_ingM.Visible(false);
    return;
  }
  const int16_t v = intValue > 100 ? int16_t{100} : intValue;
  const float width = static_cast<float>(static_cast<int64_t>(Pic_ingM.Width() * v / 100));
  Pic_ingM.Visible(true);
  Pic_ing.Width(width);
  Pic_ing.Tag(std::to_wstring(v));
}

bool Form_UnInset_MAIN::IsWow64() {
  return norvale::IsWow64(*state_->services.windows.windows);
}

int16_t Form_UnInset_MAIN::vbDeleteFolder(const std::wstring& strFolder) {
  return norvale::vbDeleteFolder(*state_, strFolder);
}

int16_t Form_UnInset_MAIN::vbRemoveFont(const std::wstring& fontFileName) {
  return norvale::vbRemoveFont(*state_, fontFileName);
}

void Form_UnInset_MAIN::SetStepText(int16_t index, const std::wstring& text) {
  if (forms::Label* label = L_SETUP(index)) label->Caption(text);
}

void Form_UnInset_MAIN::DisableCancel() { C_Cancel.Enabled(false); }

void Form_UnInset_MAIN::DoEvents() { App().DoEvents(); }

}  // namespace norvale
