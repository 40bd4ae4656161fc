#pragma once
// The installer's one window: the wizard's seven pages over the installer's
// state. Its own source files follow its concerns: the design
// (Form_Inset_MAIN.cpp), the page builders, the page display with the
// gauge, the folder browsing, the layout, and start-up and lifetime.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "EngineSeams.h"
#include "Handles.h"
#include "InstallRun.h"
#include "InstallerPictures.h"
#include "InstallerState.h"
#include "InstallerWindow.h"
#include "SetupInfoFile.h"
#include "basNorvale.h"
#include "forms/Forms.h"

namespace norvale {

// Resource numbers of the window's icons (its pictures: InstallerPictures.h).
constexpr int kIconInstallFolder = 101;
constexpr int kIconProgramGroup = 102;
constexpr int kIconInstaller = 1;

// Whether a condition of the setup information's language holds on this PC
// as far as its bitness and Windows tokens go (ParseCondition's include
// output); the Windows version check asks it for each Windows name.
bool ConditionIncludes(InstallerState& state, const std::wstring& condition);

// What the window is given from outside.
struct InstallerWindowOptions {
  InstallerSeams seams = InstallerSeams::System();
  // The start-up steps that fill the setup record (production: the
  // setup-information download); false stops the start-up, leaving ErrText.
  std::function<bool(InstallerState&)> startUp;
  // Evaluates one condition of the setup information's language.
  std::function<bool(InstallerState&, const std::wstring&)> parseCondition = ConditionIncludes;
  std::shared_ptr<IFolderDialog> folderDialog = std::make_shared<SystemFolderDialog>();
  // Names the one installer that may run at a time.
  std::wstring instanceName = L"Local\\Norvale_Installer.Running";
  // The installer's own folder; empty: the program's folder.
  std::wstring programFolder;
  // The module holding the pictures, icons and version resource.
  HMODULE resources = GetModuleHandleW(nullptr);
  // What the install run's real procedures meet outside the installer.
  EngineSeams engineSeams = EngineSeams::System();
  // Sees the install run before it starts and may replace or wrap its
  // calls (tests put in fakes there); empty: the real run as it is.
  std::function<void(InstallRun&)> prepareRun;
};

// major.minor.revision with the revision at least two digits (1.1.05).
std::wstring InstallerVersionText(int major, int minor, int revision);
// The version of the module's own version resource; empty when it has none.
std::wstring InstallerVersionOf(HMODULE module);

class Form_Inset_MAIN : public forms::Form, public IInstallerWindow {
 public:
  Form_Inset_MAIN(forms::Application& app, InstallerWindowOptions options);
  ~Form_Inset_MAIN() override;

  // Public operations.
  void Dispゲージ(int16_t intValue) override;
  void DoEvents() override;

  // The installer's state; null until the window has loaded and after it
  // unloaded.
  InstallerState* State() const { return state_.get(); }

 protected:
  // Start-up and lifetime.
  void Form_Load() override;
  void Form_Activate() override;
  void Form_QueryUnload(int16_t& Cancel, int16_t UnloadMode) override;
  void Form_Unload(int16_t& Cancel) override;
  // Layout.
  void Form_Resize() override;

  void BuildPages();
  void ShowPage();
  void MakeSummaryText();
  void C_WinVer_Click();
  void ShowWindowsVersionCheck();
  void C_Input_Click(int16_t Index);

  // Page machine, buttons and keys.
  void C_Skip_Click(int16_t Index);
  void C_Cancel_Click();
  void Form_KeyDown(int16_t& KeyCode, int16_t Shift) override;
  bool CheckInstallFolder();
  void Opt_Final_Click(int16_t Index);

  InstallerWindowOptions options_;
  std::unique_ptr<InstallerState> state_;
  KernelHandle instanceMutex_;
  int16_t activated_ = 0;  // the first-activation marker

  template <typename T>
  using Array = forms::ControlArray<T>;

  // The footer.
  forms::Frame& F_footer;
  Array<forms::CommandButton> C_Skip{L"C_Skip"};
  forms::CommandButton& C_Cancel;
  forms::CommandButton& C_WinVer;

  // Page 0, welcome.
  forms::Frame& F_Start;
  forms::PictureBox& Pic_Start;
  forms::Image& Image_Start;
  Array<forms::Label> L_Start{L"L_Start"};

  // Page 1, module options.
  forms::Frame& F_Select;
  forms::PictureBox& Pic_Select;
  forms::Image& Image_Select_H;
  Array<forms::Label> L_Select_H{L"L_Select_H"};
  Array<forms::Frame> F_SelItem{L"F_SelItem"};
  Array<forms::Label> L_SelItem{L"L_SelItem"};
  Array<forms::OptionButton> Opt_SelItem{L"Opt_SelItem"};

  // Page 2, install folder and program group.
  forms::Frame& F_Input;
  forms::PictureBox& Pic_Input;
  forms::Image& Image_Input_H;
  Array<forms::Label> L_Input_H{L"L_Input_H"};
  Array<forms::Frame> F_InputItem{L"F_InputItem"};
  Array<forms::Label> L_Input1{L"L_Input1"};
  Array<forms::Label> L_Input2{L"L_Input2"};
  Array<forms::Label> L_Input3{L"L_Input3"};
  Array<forms::Image> Image_Input{L"Image_Input"};
  Array<forms::TextBox> T_Input{L"T_Input"};
  Array<forms::CommandButton> C_Input{L"C_Input"};

  // Page 3, additional tasks.
  forms::Frame& F_Check;
  forms::PictureBox& Pic_Check;
  forms::Image& Image_Check_H;
  Array<forms::Label> L_Check_H{L"L_Check_H"};
  Array<forms::Label> L_Check{L"L_Check"};
  Array<forms::Label> L_CheckTitle{L"L_CheckTitle"};
  Array<forms::CheckBox> Chk_Check{L"Chk_Check"};

  // Page 4, ready to install.
  forms::Frame& F_END;
  forms::PictureBox& Pic_END;
  forms::Image& Image_END_H;
  Array<forms::Label> L_END_H{L"L_END_H"};
  Array<forms::Label> L_END{L"L_END"};
  forms::TextBox& T_END;

  // Page 5, installation progress.
  forms::Frame& F_SETUP;
  forms::PictureBox& Pic_SETUP;
  forms::Image& Image_SETUP_H;
  Array<forms::Label> L_SETUP_H{L"L_SETUP_H"};
  Array<forms::Label> L_SETUP{L"L_SETUP"};
  forms::PictureBox& Pic_ingM;
  forms::PictureBox& Pic_ing;

  // Page 6, finish.
  forms::Frame& F_FINAL;
  forms::PictureBox& Pic_FINAL;
  forms::Image& Image_Final;
  Array<forms::Label> L_Final{L"L_Final"};
  forms::Frame& F_Final_Sel;
  Array<forms::OptionButton> Opt_Final{L"Opt_Final"};
  forms::CheckBox& Chk_FinalRun;

 private:
  void DesignFooter();
  void DesignStartPage();
  void DesignSelectPage();
  void DesignInputPage();
  void DesignCheckPage();
  void DesignEndPage();
  void DesignSetupPage();
  void DesignFinalPage();
  // A page's header strip: picture, image and the label array's elements.
  void DesignHeader(forms::PictureBox& picture, forms::Image& image);
  void DesignSidePanel(forms::PictureBox& panel, forms::Image& image);

  void ShowFinalPage();
  void LayoutHeader(forms::Frame& page, forms::PictureBox& picture, forms::Image& image,
                    Array<forms::Label>& labels);
  void LayoutSidePanel(forms::Frame& page, forms::PictureBox& panel);
  void LayoutPageFrame(forms::Frame& page, float outerWidth, float outerHeight);
  void LayoutSelectPage();
  void LayoutInputPage();
  void LayoutCheckPage();
  void LayoutEndPage();
  void LayoutSetupPage();
  void BrowseInstallFolder(int16_t Index);
  void BrowseProgramGroup(int16_t Index);
  // The start path the dialog opens on: the text less the product's name
  // and a trailing "\".
  std::wstring StartPathWithout(const std::wstring& text, const std::wstring& name) const;
  bool AnotherInstanceRuns();

  // The window as an install run sees it (the progress labels, the finish
  // check box, Cancel); the form's own controls carry those names.
  class RunWindow;
  friend class RunWindow;
  std::unique_ptr<IInstallRunWindow> runWindow_;

  // A path that existed before an install run.
  using PathBefore = std::wstring;

  void ConnectPageMachine();
  void GoBack();
  void GoNext();
  // The checks on leaving the input page; false keeps the page.
  bool LeaveInputPageAllowed();
  bool HoldsEarlierInstallation(const std::wstring& folder);
  // Before the folder of an earlier installation is deleted: the fonts its
  // record names as the product's stay the product's (EarlierProductFonts).
  void NoteEarlierProductFonts(const std::wstring& folder);
  void RunInstallation();
  std::vector<PathBefore> ExistingTemporaryTargets(InstallRun& run);
  void RollBack(InstallRun& run, const std::vector<PathBefore>& before,
                const std::vector<std::wstring>& createdAbove);
  void RemoveStartMarker(InstallRun& run);
  void FinishActions();
  void StartFinalProgram();
  // The trimmed text of the install folder's text box.
  std::wstring InstallFolderText();
  void FocusInstallFolder();
  int Ask(const std::wstring& text, const std::wstring& title, unsigned style);
  // Folders above the install folder that an install run is about to create.
  std::vector<std::wstring> MissingFoldersAbove(const std::wstring& folder) const;
};

}  // namespace norvale
