#include "InstallRun.h"

#include "Handles.h"

namespace norvale {

std::wstring InstallRun::InstallFolder() const {
  if (state.InputItemCount < 1 || state.InputItems.size() < 2) return L"";
  return state.InputItems[1].value;
}

void InstallRun::SetLabel(int16_t index, const std::wstring& text) {
  Attempt([&] {
    if (auto label = window.L_SETUP(index)) label->SetText(text);
  });
}

int InstallRun::Ask(const std::wstring& text, const std::wstring& title, unsigned style) {
  int answer = 0;
  Attempt([&] {
    if (state.seams.common.messageBox) answer = state.seams.common.messageBox->Show(text, title, style);
  });
  return answer;
}

void InstallRun::Log(const std::wstring& line) {
  Attempt([&] {
    if (calls.WriteSetupLog) calls.WriteSetupLog(line, 0);
  });
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
