#include "Form_IpInput.h"

#include "SetupText.h"
#include "Text.h"
#include "clsPublicFunc.h"

namespace norvale {

Form_IpInput::Form_IpInput(forms::Application& app, Seams seams)
    : Form(app, L"Form_IpInput"),
      header_((DesignStartupDialog(*this, 6885, 4485),
               AddStartupHeader(*this, L_H, L"接続先サーバー",
                                L"サーバーの接続情報を入力して下さい。"))),
      Pic_H(header_.Pic_H),
      Image_H(header_.Image_H),
      F_FTP(Add<forms::Frame>(L"F_FTP")),
      C_OK(Add<forms::CommandButton>(L"C_OK")),
      C_Cancel(Add<forms::CommandButton>(L"C_Cancel")),
      seams_(std::move(seams)) {
  F_FTP.Move(60, 1080, 6780, 2610);
  F_FTP.Caption(L"");
  static const wchar_t* const kCaptions[] = {L"接続先IP", L"ユーザー", L"パスワード", L"DLパス",
                                             L"情報FileId"};
  static const float kTops[] = {315, 780, 1215, 1695, 2145};
  for (int16_t i = 0; i < 5; ++i) {
    forms::Label& label = L_FTP.Add(*this, i, F_FTP);
    label.Move(195, kTops[i], 1245, 320);
    label.BackColor(static_cast<int32_t>(RGB(224, 224, 224)));
    label.Caption(kCaptions[i]);
  }
  for (int16_t i = 0; i < 5; ++i) {
    forms::TextBox& box = T_FTP.Add(*this, i, F_FTP);
    box.Move(1425, kTops[i], 5000, 320);
    box.Font(GothicFont(9.75f));
    box.TabIndex(i);
    box.GotFocus = [this](int16_t index) { T_FTP_GotFocus(index); };
    box.KeyPress = [this](int16_t index, int16_t& key) { T_FTP_KeyPress(index, key); };
  }
  T_FTP(2)->PasswordChar(L"*");
  C_OK.Move(2520, 3810, 1600, 400);
  C_OK.Caption(L"OK");
  C_OK.TabIndex(5);
  C_OK.Click = [this](int16_t) { C_OK_Click(); };
  C_Cancel.Move(5190, 3810, 1600, 400);
  C_Cancel.Caption(L"キャンセル");
  C_Cancel.Click = [this](int16_t) {
    result_ = false;
    Unload();
  };
}

bool Form_IpInput::ShowForm(std::wstring& aStrFTP_IniIp, std::wstring& aSStrFTP_IniUser,
                            std::wstring& aStrFTP_IniPass, std::wstring& aStrFTP_IniDir,
                            std::wstring& aStrFTP_IniFileId) {
  std::wstring* targets[] = {&aStrFTP_IniIp, &aSStrFTP_IniUser, &aStrFTP_IniPass, &aStrFTP_IniDir,
                             &aStrFTP_IniFileId};
  for (int i = 0; i < 5; ++i) values_[i] = *targets[i];
  result_ = false;
  activated_ = false;
  SkipOnFailure([&] { Show(1); });
  if (!result_) return false;
  for (int i = 0; i < 5; ++i) *targets[i] = values_[i];
  return true;
}

void Form_IpInput::Form_Load() {
  clsPublicFunc publicFunc(seams_);
  publicFunc.FormCentering(this);
  for (int16_t i = 0; i < 5; ++i) T_FTP(i)->Text(values_[i]);
}

void Form_IpInput::Form_Activate() {
  if (activated_) return;
  activated_ = true;
  T_FTP(0)->SetFocus();
  if (Shown) SkipOnFailure([&] { Shown(*this); });
}

void Form_IpInput::T_FTP_GotFocus(int16_t index) {
  forms::TextBox* box = T_FTP(index);
  if (!box || box->Locked()) return;
  clsPublicFunc publicFunc(seams_);
  publicFunc.TextObjSelect(box);
  App().DoEvents();
}

void Form_IpInput::T_FTP_KeyPress(int16_t, int16_t& KeyAscii) {
  if (KeyAscii != 13) return;
  KeyAscii = 0;
  forms::SendKeyStroke(VK_TAB);
}

bool Form_IpInput::RefuseInput(const std::wstring& message, int16_t box) {
  seams_.messageBox->Show(message, L"入力に誤りがあります！", MB_OK | MB_ICONSTOP);
  T_FTP(box)->SetFocus();
  return false;
}

void Form_IpInput::C_OK_Click() {
  if (IsBlank(T_FTP(0)->Text())) {
    RefuseInput(L"FTPサーバーIPが入力されていません！", 0);
    return;
  }
  if (IsBlank(T_FTP(1)->Text())) {
    RefuseInput(L"ユーザーIDが入力されていません！", 1);
    return;
  }
  if (IsBlank(T_FTP(2)->Text())) {
    RefuseInput(L"パスワードが入力されていません！", 2);
    return;
  }
  if (IsBlank(T_FTP(3)->Text())) {
    T_FTP(3)->Text(L"/");
    App().DoEvents();
  }
  for (int16_t i = 0; i < 5; ++i) values_[i] = T_FTP(i)->Text();
  result_ = true;
  Unload();
}

}  // namespace norvale
