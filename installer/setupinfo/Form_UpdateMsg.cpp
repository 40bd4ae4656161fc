#include "Form_UpdateMsg.h"

#include "SetupText.h"
#include "StartupForms.h"
#include "Text.h"
#include "clsPublicFunc.h"
#include "clsWinCommon.h"

namespace norvale {

Form_UpdateMsg::Form_UpdateMsg(forms::Application& app, InstallerSeams seams,
                               std::wstring programVersion)
    : Form(app, L"Form_UpdateMsg"),
      F_FTP(Add<forms::Frame>(L"F_FTP")),
      L_URL(Add<forms::Label>(L"L_URL", F_FTP)),
      C_Cancel(Add<forms::CommandButton>(L"C_Cancel")),
      seams_(std::move(seams)),
      programVersion_(std::move(programVersion)) {
  DesignStartupDialog(*this, 5910, 2835);
  F_FTP.Move(100, 120, 5700, 2000);
  F_FTP.Caption(L"");
  forms::Label& first = L_MSG.Add(*this, 0, F_FTP);
  first.Move(300, 240, 5200, 300);
  first.Caption(L"このインストーラーは旧バージョンのため実行できません。");
  forms::Label& second = L_MSG.Add(*this, 1, F_FTP);
  second.Move(300, 720, 5200, 300);
  second.Caption(L"最新バージョンをダウンロードしてください｡");
  for (forms::Label* label : {&first, &second}) label->BackColor(static_cast<int32_t>(RGB(255, 255, 255)));
  L_URL.Move(300, 1320, 5200, 300);
  L_URL.Font(GothicFont(11.25f, true));
  L_URL.ForeColor(static_cast<int32_t>(RGB(0, 0, 192)));
  L_URL.BackColor(static_cast<int32_t>(RGB(255, 255, 255)));
  L_URL.Caption(L"http://");
  L_URL.MousePointer(forms::PointerShape::kHand);
  L_URL.Click = [this](int16_t) { L_URL_Click(); };
  C_Cancel.Move(4200, 2280, 1600, 400);
  C_Cancel.Caption(L"キャンセル");
  C_Cancel.Click = [this](int16_t) { Unload(); };
}

bool Form_UpdateMsg::ShowForm(const std::wstring& aStrUrl) {
  url_ = Trim(aStrUrl);
  activated_ = false;
  SkipOnFailure([&] { Show(1); });
  return false;
}

void Form_UpdateMsg::Form_Load() {
  clsPublicFunc publicFunc(seams_.common);
  publicFunc.FormCentering(this);
  Caption(L"Norvale Installer Ver" + programVersion_);
  L_URL.Caption(url_);
  if (url_.empty()) {
    L_URL.Visible(false);
    L_URL.Enabled(false);
  }
}

void Form_UpdateMsg::Form_Activate() {
  if (activated_) return;
  activated_ = true;
  if (Shown) SkipOnFailure([&] { Shown(*this); });
}

void Form_UpdateMsg::L_URL_Click() {
  const std::wstring address = L_URL.Caption();
  // Only a web address is handed to the shell: anything else could start a
  // program.
  if (address.empty() || !IsWebAddress(address)) return;
  if (seams_.addressOpener->Open(address) > 32) {
    clsWinCommon services(seams_.common, seams_.windows);
    services.WinSleep(1000);
    seams_.programEnd->End();
    return;
  }
  seams_.common.messageBox->Show(L"規定のブラウザを起動できませんでした。\r\n"
                          L"下記サイトから最新バージョンをダウンロードしてください｡\r\n\r\n" +
                              address,
                          L"ブラウザを起動できません", MB_OK | MB_ICONINFORMATION | MB_SYSTEMMODAL);
}

}  // namespace norvale
