#pragma once
// The uninstaller's one window: five wizard pages (start, options, ready,
// progress, finish), the page machine, the silent run ("/S") and the layout.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>
#include "UninstallerState.h"
#include "forms/Forms.h"

namespace norvale {

// The command line as the uninstaller reads it: quotes removed, split at
// commas into args (1-based); true when a piece holds "/S" (any case).
bool ParseUninstallerCommandLine(const std::wstring& commandLine,
                                 std::vector<std::wstring>& args);

class Form_UnInset_MAIN : public forms::Form, public IUninstallerWindow {
 public:
  Form_UnInset_MAIN(forms::Application& app, std::unique_ptr<UninstallerState> state,
                    std::wstring commandLine);

  UninstallerState& State() { return *state_; }

  // Public operations, in the order of their slots.
  void Dispゲージ(int16_t intValue) override;
  uintptr_t GetPointer(uintptr_t value) const { return value; }
  bool IsWow64();
  int16_t vbDeleteFolder(const std::wstring& strFolder);
  int16_t vbRemoveFont(const std::wstring& fontFileName);

  // IUninstallerWindow for the removal steps.
  void SetStepText(int16_t index, const std::wstring& text) override;
  void DisableCancel() override;
  void DoEvents() override;

  // The events a user raises, callable from tests.
  void C_Skip_Click(int16_t Index);
  void C_Cancel_Click();
  // Shows page PageNo and lays the window out.
  void ShowUninstPage();

  forms::ControlArray<forms::CommandButton> C_Skip{L"C_Skip"};
  forms::ControlArray<forms::Label> L_Start{L"L_Start"};
  forms::ControlArray<forms::Label> L_Check_H{L"L_Check_H"};
  forms::ControlArray<forms::Label> L_Check{L"L_Check"};
  forms::ControlArray<forms::Label> L_CheckTitle{L"L_CheckTitle"};
  forms::ControlArray<forms::CheckBox> Chk_Check{L"Chk_Check"};
  forms::ControlArray<forms::Label> L_END_H{L"L_END_H"};
  forms::ControlArray<forms::Label> L_END{L"L_END"};
  forms::ControlArray<forms::Label> L_SETUP_H{L"L_SETUP_H"};
  forms::ControlArray<forms::Label> L_SETUP{L"L_SETUP"};
  forms::ControlArray<forms::Label> L_Final{L"L_Final"};
  forms::ControlArray<forms::OptionButton> Opt_Final{L"Opt_Final"};

  forms::Frame& F_footer;
  forms::CommandButton& C_Cancel;
  forms::Frame& F_Start;
  forms::PictureBox& Pic_Start;
  forms::Image& Image_Start;
  forms::Frame& F_Check;
  forms::PictureBox& Pic_Check;
  forms::Image& Image_Check_H;
  forms::Frame& F_END;
  forms::PictureBox& Pic_END;
  forms::Image& Image_END_H;
  forms::TextBox& T_END;
  forms::Frame& F_SETUP;
  forms::PictureBox& Pic_SETUP;
  forms::Image& Image_SETUP_H;
  forms::PictureBox& Pic_ingM;
  forms::PictureBox& Pic_ing;
  forms::Frame& F_FINAL;
  forms::PictureBox& Pic_FINAL;
  forms::Image& Image_Final;
  forms::Frame& F_Final_Sel;

 protected:
  void Form_Load() override;
  void Form_Activate() override;
  void Form_KeyDown(int16_t& KeyCode, int16_t Shift) override;
  void Form_QueryUnload(int16_t& Cancel, int16_t UnloadMode) override;
  void Form_Unload(int16_t& Cancel) override;
  void Form_Resize() override;

 private:
  void DesignControls();
  void BuildUninstPages();
  void MakeUninstSummary();
  // The removal's steps, once its end is ready; false when it is not (the
  // program then ends).
  bool RunRemoval();
  void SilentRun();
  void Finish(bool restart);

  std::unique_ptr<UninstallerState> state_;
  std::wstring commandLine_;
  int16_t firstActivation_ = 0;
  // The removal is running: keys and close requests wait for it.
  bool removing_ = false;
};

}  // namespace norvale
