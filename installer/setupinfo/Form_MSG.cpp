#include "Form_MSG.h"

#include "StartupForms.h"
#include "clsPublicFunc.h"

namespace norvale {
namespace {

class LabelDisplay final : public ITextDisplay {
 public:
  explicit LabelDisplay(forms::Label& label) : label_(label) {}
  void SetText(const std::wstring& text) override { label_.Caption(text); }

 private:
  forms::Label& label_;
};

}  // namespace

Form_MSG::Form_MSG(forms::Application& app)
    : Form(app, L"Form_MSG"),
      header_((DesignStartupDialog(*this, 6885, 4485),
               AddStartupHeader(*this, L_H, L"ヘッダー①", L"ヘッダー②"))),
      Pic_H(header_.Pic_H),
      Image_H(header_.Image_H),
      L_MSG(Add<forms::Label>(L"L_MSG")),
      Pic_ingM(Add<forms::PictureBox>(L"Pic_ingM")),
      Pic_ing(Add<forms::PictureBox>(L"Pic_ing", Pic_ingM)),
      C_OK(Add<forms::CommandButton>(L"C_OK")) {
  L_MSG.Move(195, 1335, 6300, 1290);
  L_MSG.Font(GothicFont(9.75f));
  L_MSG.Caption(L"ここにメッセージを表示する。");
  Pic_ingM.Move(180, 2880, 6300, 400);
  Pic_ingM.Visible(false);
  Pic_ing.Move(0, 0, 4000, 400);
  Pic_ing.BackColor(static_cast<int32_t>(RGB(0, 64, 64)));
  C_OK.Move(2520, 3810, 1600, 400);
  C_OK.Caption(L"OK");
  C_OK.Click = [this](int16_t) { Unload(); };
}

void Form_MSG::Form_Load() {
  clsPublicFunc publicFunc;
  publicFunc.FormCentering(this);
}

void Form_MSG::Dispゲージ(int16_t intValue) {
  if (intValue < 0) {
    Pic_ingM.Visible(false);
    return;
  }
  Pic_ingM.Visible(true);
  Pic_ing.Width(static_cast<float>(static_cast<int64_t>(Pic_ingM.Width() * intValue / 100)));
}

std::shared_ptr<ITextDisplay> Form_MSG::MessageDisplay() {
  return std::make_shared<LabelDisplay>(L_MSG);
}

}  // namespace norvale
