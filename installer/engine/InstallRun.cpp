#include "InstallRun.h"

#include "Handles.h"
#include "Text.h"

namespace norvale {

std::wstring InstallRun::InstallFolder() const {
  if (state.InputItemCount < 1 || state.InputItems.size() < 2) return L"";
  return state.InputItems[1].value;
}

void InstallRun::SetLabel(int16_t index, const std::wstring& text) {
  SkipOnFailure([&] {
    if (auto label = window.L_SETUP(index)) label->SetText(text);
  });
}

int InstallRun::Ask(const std::wstring& text, const std::wstring& title, unsigned style) {
  int answer = 0;
  SkipOnFailure([&] {
    if (state.seams.common.messageBox) answer = state.seams.common.messageBox->Show(text, title, style);
  });
  return answer;
}

void InstallRun::Log(const std::wstring& line) {
  SkipOnFailure([&] {
    if (calls.WriteSetupLog) calls.WriteSetupLog(line, 0);
  });
}

void InstallRun::Gauge(int16_t percent) {
  SkipOnFailure([&] { window.Dispゲージ(percent); });
}

void InstallRun::GaugeAt(int32_t count, int32_t total) {
  if (total <= 0) return;
  const int64_t percent = static_cast<int64_t>(count) * 100 / total;
  Gauge(static_cast<int16_t>(percent > 32767 ? 32767 : percent));
}

void InstallRun::EndProgressStep() {
  Log(L"");
  SetLabel(0, L"");
  SetLabel(1, L"");
  Gauge(-1);
  DoEvents();
}

bool InstallRun::ConditionHolds(const std::wstring& chk) {
  const std::wstring condition = Trim(chk);
  if (condition.empty()) return true;
  int16_t g = 0, o = 0, include = 0, t = 0;
  std::wstring groupName, optionName;
  if (!SkipOnFailure([&] { calls.ParseCondition(condition, g, o, include, t, groupName, optionName); })) {
    return false;
  }
  if (t >= 1 && t <= state.CheckItemCount && t < static_cast<int16_t>(state.CheckItems.size()) &&
      state.CheckItems[static_cast<size_t>(t)].checked == 0) {
    return false;
  }
  bool holds = include != 0;
  // A group or option number outside its list leaves the verdict as it is.
  if (holds && g >= 1 && g <= state.SelectGroupCount &&
      g < static_cast<int16_t>(state.SelectGroups.size())) {
    const SelectGroupEntry& group = state.SelectGroups[static_cast<size_t>(g)];
    if (o >= 1 && o < static_cast<int16_t>(group.options.size())) {
      holds = group.options[static_cast<size_t>(o)].chosen != 0;
    }
  }
  return holds;
}

bool ListFolderEntries(const std::wstring& folder, std::vector<WIN32_FIND_DATAW>& entries) {
  entries.clear();
  if (folder.empty()) return false;
  const std::wstring base = folder.back() == L'\\' ? folder : folder + L'\\';
  WIN32_FIND_DATAW found{};
  const FindHandle search(FindFirstFileW((base + L"*").c_str(), &found));
  if (!search) return false;
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") entries.push_back(found);
  } while (FindNextFileW(search.Get(), &found));
  return GetLastError() == ERROR_NO_MORE_FILES;
}

std::wstring Numbered(int32_t number, int digits) {
  std::wstring text = std::to_wstring(number < 0 ? -number : number);
  if (static_cast<int>(text.size()) < digits) text.insert(0, digits - text.size(), L'0');
  return number < 0 ? L"-" + text : text;
}

}  // namespace norvale
