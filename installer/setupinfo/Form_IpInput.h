#pragma once
// The server dialog: address, user, password, server folder and the setup
// information file name, checked on OK.
#include <functional>
#include <string>

#include "Seams.h"
#include "StartupForms.h"
#include "forms/Forms.h"

namespace norvale {

class Form_IpInput : public forms::Form {
 public:
  Form_IpInput(forms::Application& app, Seams seams = Seams::System());

  // Shows the dialog modally with the five values; true after OK, and only
  // then are the edited values written back.
  bool ShowForm(std::wstring& aStrFTP_IniIp, std::wstring& aSStrFTP_IniUser,
                std::wstring& aStrFTP_IniPass, std::wstring& aStrFTP_IniDir,
                std::wstring& aStrFTP_IniFileId);

  forms::ControlArray<forms::Label> L_H{L"L_H"};

 private:
  StartupHeader header_;

 public:
  forms::PictureBox& Pic_H;
  forms::Image& Image_H;
  forms::Frame& F_FTP;
  forms::ControlArray<forms::Label> L_FTP{L"L_FTP"};
  forms::ControlArray<forms::TextBox> T_FTP{L"T_FTP"};
  forms::CommandButton& C_OK;
  forms::CommandButton& C_Cancel;

  // Runs once the dialog is first active, inside its modal loop: tests fill
  // the boxes and press a button through it.
  std::function<void(Form_IpInput&)> Shown;

 protected:
  void Form_Load() override;
  void Form_Activate() override;

 private:
  void C_OK_Click();
  void T_FTP_GotFocus(int16_t index);
  void T_FTP_KeyPress(int16_t index, int16_t& KeyAscii);
  // Shows the input message and sends the focus to the box; false.
  bool RefuseInput(const std::wstring& message, int16_t box);

  Seams seams_;
  std::wstring values_[5];
  bool result_ = false;
  bool activated_ = false;
};

}  // namespace norvale
