#pragma once
// The notice that this installer is outdated, with the address of the
// newest one as a link.
#include <functional>
#include <memory>
#include <string>

#include "InstallerState.h"
#include "forms/Forms.h"

namespace norvale {

class Form_UpdateMsg : public forms::Form {
 public:
  // programVersion: major "." minor "." revision as two digits.
  Form_UpdateMsg(forms::Application& app, InstallerSeams seams, std::wstring programVersion);

  // Shows the notice modally; false whenever it returns.
  bool ShowForm(const std::wstring& aStrUrl);

  forms::Frame& F_FTP;
  forms::ControlArray<forms::Label> L_MSG{L"L_MSG"};
  forms::Label& L_URL;
  forms::CommandButton& C_Cancel;

  std::function<void(Form_UpdateMsg&)> Shown;  // see Form_IpInput::Shown

 protected:
  void Form_Load() override;
  void Form_Activate() override;

 private:
  void L_URL_Click();

  InstallerSeams seams_;
  std::wstring programVersion_;
  std::wstring url_;
  bool activated_ = false;
};

}  // namespace norvale
