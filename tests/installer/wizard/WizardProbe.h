#pragma once
// The installer window opened for tests: its procedures and controls in
// reach, its start-up fed from a sample record, its questions scripted and
// its folder dialog answered from a script.
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Form_Inset_MAIN.h"
#include "ScriptedMessageBox.h"

namespace wizard_testing {

class ScriptedFolderDialog final : public norvale::IFolderDialog {
 public:
  struct Call {
    std::wstring title;
    int32_t rootFolder;
    std::wstring startPath;
  };
  // The next dialog chooses this folder; nothing cancels it.
  void Answer(std::optional<std::wstring> folder) { answers_.push_back(std::move(folder)); }
  std::optional<std::wstring> Choose(HWND, const std::wstring& title, int32_t rootFolder,
                                     const std::wstring& startPath) override {
    calls.push_back({title, rootFolder, startPath});
    if (answers_.empty()) return std::nullopt;
    auto answer = answers_.front();
    answers_.pop_front();
    return answer;
  }
  std::vector<Call> calls;

 private:
  std::deque<std::optional<std::wstring>> answers_;
};

class WizardProbe : public norvale::Form_Inset_MAIN {
 public:
  using Form_Inset_MAIN::Form_Inset_MAIN;

  using Form_Inset_MAIN::BuildPages;
  using Form_Inset_MAIN::C_Input_Click;
  using Form_Inset_MAIN::C_WinVer_Click;
  using Form_Inset_MAIN::Form_Resize;
  using Form_Inset_MAIN::MakeSummaryText;
  using Form_Inset_MAIN::ShowPage;
  using Form_Inset_MAIN::C_Skip_Click;
  using Form_Inset_MAIN::C_Cancel_Click;
  using Form_Inset_MAIN::Form_KeyDown;
  using Form_Inset_MAIN::CheckInstallFolder;
  using Form_Inset_MAIN::Opt_Final_Click;

  using Form_Inset_MAIN::C_Cancel;
  using Form_Inset_MAIN::C_Input;
  using Form_Inset_MAIN::C_WinVer;
  using Form_Inset_MAIN::C_Skip;
  using Form_Inset_MAIN::Chk_Check;
  using Form_Inset_MAIN::Chk_FinalRun;
  using Form_Inset_MAIN::F_Check;
  using Form_Inset_MAIN::F_END;
  using Form_Inset_MAIN::F_FINAL;
  using Form_Inset_MAIN::F_Final_Sel;
  using Form_Inset_MAIN::F_footer;
  using Form_Inset_MAIN::F_Input;
  using Form_Inset_MAIN::F_InputItem;
  using Form_Inset_MAIN::F_Select;
  using Form_Inset_MAIN::F_SelItem;
  using Form_Inset_MAIN::F_SETUP;
  using Form_Inset_MAIN::F_Start;
  using Form_Inset_MAIN::Image_Input;
  using Form_Inset_MAIN::Image_Input_H;
  using Form_Inset_MAIN::Image_SETUP_H;
  using Form_Inset_MAIN::L_Check;
  using Form_Inset_MAIN::L_Check_H;
  using Form_Inset_MAIN::L_CheckTitle;
  using Form_Inset_MAIN::L_END;
  using Form_Inset_MAIN::L_END_H;
  using Form_Inset_MAIN::L_Final;
  using Form_Inset_MAIN::L_Input1;
  using Form_Inset_MAIN::L_Input2;
  using Form_Inset_MAIN::L_Input3;
  using Form_Inset_MAIN::L_Input_H;
  using Form_Inset_MAIN::L_SelItem;
  using Form_Inset_MAIN::L_SETUP;
  using Form_Inset_MAIN::L_SETUP_H;
  using Form_Inset_MAIN::L_Start;
  using Form_Inset_MAIN::Opt_Final;
  using Form_Inset_MAIN::Opt_SelItem;
  using Form_Inset_MAIN::Pic_Check;
  using Form_Inset_MAIN::Pic_ing;
  using Form_Inset_MAIN::Pic_ingM;
  using Form_Inset_MAIN::Pic_Input;
  using Form_Inset_MAIN::Pic_Select;
  using Form_Inset_MAIN::Pic_SETUP;
  using Form_Inset_MAIN::Pic_Start;
  using Form_Inset_MAIN::T_END;
  using Form_Inset_MAIN::T_Input;

  // Moves to a page as the page machine will: sets the page and shows it.
  void OpenPage(int16_t page, int16_t subPage) {
    State()->PageNo = page;
    State()->SubPageNo = subPage;
    ShowPage();
  }
};

// Options for a window whose start-up fills the record with `fill` (or
// fails with `errText` when fill is empty).
struct ProbeSetup {
  std::shared_ptr<norvale::ScriptedMessageBox> box =
      std::make_shared<norvale::ScriptedMessageBox>();
  std::shared_ptr<ScriptedFolderDialog> dialog = std::make_shared<ScriptedFolderDialog>();
  norvale::InstallerWindowOptions Options(std::function<void(norvale::InstallerState&)> fill,
                                          const std::wstring& errText = L"") const;
};

class RecordingEnd final : public norvale::forms::IProgramEnd {
 public:
  using norvale::forms::IProgramEnd::End;
  void End(int) override { ++ends; }
  int ends = 0;
};

// One window over a sample record, loaded (not shown) or shown.
struct Wizard {
  std::shared_ptr<RecordingEnd> end = std::make_shared<RecordingEnd>();
  norvale::forms::Application app{end};
  ProbeSetup setup;
  std::unique_ptr<WizardProbe> window;

  WizardProbe& Load(std::function<void(norvale::InstallerState&)> fill) {
    window = std::make_unique<WizardProbe>(app, setup.Options(std::move(fill)));
    window->Load();
    return *window;
  }
  norvale::InstallerState& S() const { return *window->State(); }
  // Handles messages until the condition holds or two seconds passed.
  bool PumpUntil(const std::function<bool()>& done);
};

// Do the two controls' rectangles (same container) share any area?
bool Overlap(const norvale::forms::Widget& a, const norvale::forms::Widget& b);

}  // namespace wizard_testing
