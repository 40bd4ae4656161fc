// The Browse buttons of the folder page: the folder dialog opened on what
// the text box names, the product's folder or group name put back behind
// the chosen folder, and the free space of the chosen drive.
#include <cwctype>

#include "Form_Inset_MAIN.h"
#include "WizardText.h"

namespace norvale {

using namespace forms;

namespace {

constexpr int32_t kCommonProgramsFolder = 23;

// The chosen folder, one "\\" and the name. A chosen drive root already ends
// with the "\\"; the group's path gets no doubled one either.
std::wstring WithNameBehind(const std::wstring& folder, const std::wstring& name) {
  return folder.back() == L'\\' ? folder + name : folder + L"\\" + name;
}

}  // namespace

std::wstring Form_Inset_MAIN::StartPathWithout(const std::wstring& text,
                                               const std::wstring& name) const {
  std::wstring s = text;
  const size_t at = FindIgnoreCase(s, name);
  if (at != std::wstring::npos) s = s.substr(0, at);
  if (!s.empty() && s.back() == L'\\') s.pop_back();
  return s;
}

void Form_Inset_MAIN::C_Input_Click(int16_t Index) {
  try {
    if (!state_ || state_->PageNo != 2) return;
    if (Index < 1 || Index >= static_cast<int16_t>(state_->InputItems.size())) return;
    switch (state_->InputItems[Index].kind) {
      case 0:
        BrowseInstallFolder(Index);
        break;
      case 1:
        BrowseProgramGroup(Index);
        break;
      default:
        break;
    }
  } catch (...) {
  }
}

void Form_Inset_MAIN::BrowseInstallFolder(int16_t Index) {
  InstallerState& s = *state_;
  InputItemEntry& item = s.InputItems[Index];
  TextBox* text = T_Input(Index);
  if (!text || !options_.folderDialog) return;
  const std::wstring start = StartPathWithout(text->Text(), s.DefaultDirName);
  // A cancel leaves the box as it was, rather than rewriting it from the cut
  // start path.
  const std::optional<std::wstring> chosen =
      options_.folderDialog->Choose(hWnd(), item.description1, 0, start);
  if (!chosen || chosen->empty()) return;
  const std::wstring& folder = *chosen;
  text->Text(WithNameBehind(folder, s.DefaultDirName));
  const size_t colon = folder.find(L':');
  if (colon == std::wstring::npos) return;
  const std::wstring drive = folder.substr(0, colon);
  const RegCurrency free = s.objWinCommon.GetDiskFreeSpace2(drive, 1, true);
  // The space query answers -1 when it cannot read the drive: like 0, that
  // keeps the previous line instead of offering "-1GB".
  if (free.scaled > 0) {
    item.freeSpaceText = drive + L"ドライブには[" + FormatGigabytes(free.scaled) +
                         L"GB]の空き容量があります。";
  }
  if (Label* line = L_Input3(Index)) line->Caption(item.freeSpaceText);
}

void Form_Inset_MAIN::BrowseProgramGroup(int16_t Index) {
  InstallerState& s = *state_;
  TextBox* text = T_Input(Index);
  if (!text || !options_.folderDialog) return;
  const std::wstring start = StartPathWithout(text->Text(), s.DefaultGroupName);
  const std::optional<std::wstring> chosen = options_.folderDialog->Choose(
      hWnd(), s.InputItems[Index].description1, kCommonProgramsFolder, start);
  if (!chosen || chosen->empty()) return;
  text->Text(WithNameBehind(*chosen, s.DefaultGroupName));
}

}  // namespace norvale
