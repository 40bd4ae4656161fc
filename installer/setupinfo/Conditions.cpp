#include "Conditions.h"

#include "SetupText.h"
#include "SystemServices.h"
#include "Text.h"

namespace norvale {
namespace {

// Cuts a token found at `at` (0-based) out of s together with its leading
// separator; at the start the separator after it goes instead.
void CutToken(std::wstring& s, size_t at, size_t length) {
  if (at > 0) {
    s = s.substr(0, at - 1) + s.substr(at + length);
  } else {
    s = s.size() > length ? s.substr(length + 1) : std::wstring();
  }
}

std::optional<int16_t> WholeNumber(const std::wstring& text) {
  std::optional<double> value = ParseNumber(text);
  return value ? ToInt16(*value) : std::nullopt;
}

}  // namespace

int16_t ParseCondition(InstallerState& state, std::wstring condition, int16_t& groupNo,
                       int16_t& optionNo, int16_t& include, int16_t& taskNo,
                       std::wstring& groupName, std::wstring& optionName) {
  groupNo = optionNo = taskNo = include = 0;
  groupName.clear();
  optionName.clear();
  std::wstring s = std::move(condition);

  // Bitness.
  if (ContainsNoCase(s, L"64bit") || ContainsNoCase(s, L"32bit")) {
    const bool wow64 = IsWow64(state);
    size_t p = FindNoCase(s, L"64bit");
    if (p != std::wstring::npos) {
      if (wow64) include = -1;
      CutToken(s, p, 5);
    }
    p = FindNoCase(s, L"32bit");
    if (p != std::wstring::npos) {
      if (!wow64) include = -1;
      CutToken(s, p, 5);
    }
  } else {
    include = -1;
  }

  // Windows list.
  const std::wstring open = L"<Windows>", close = L"</Windows>";
  size_t p = FindNoCase(s, open);
  if (p != std::wstring::npos) {
    const size_t q = FindNoCase(s, close, p);
    const size_t end = q == std::wstring::npos ? s.size() : q + close.size();
    std::wstring list = s.substr(p, end - p);
    if (p > 0) {
      s = s.substr(0, p - 1) + (q == std::wstring::npos ? std::wstring() : s.substr(end));
    } else {
      s = end + 1 < s.size() ? s.substr(end + 1) : std::wstring();
    }
    list = ReplaceAllNoCase(ReplaceAllNoCase(list, open, L""), close, L"");
    while (!list.empty()) {
      const size_t semi = list.find(L';');
      const std::wstring item = list.substr(0, semi);
      list = semi == std::wstring::npos ? std::wstring() : list.substr(semi + 1);
      if (ContainsNoCase(state.WindowsName, item)) break;
      if (IsBlank(list)) {
        include = 0;
        return 0;
      }
    }
  } else if ((p = FindNoCase(s, close)) != std::wstring::npos) {
    const size_t end = p + close.size();
    s = end + 1 < s.size() ? s.substr(end + 1) : std::wstring();
  }

  // Task.
  const size_t t = FindNoCase(s, L"task");
  if (t != std::wstring::npos) {
    std::wstring tail = s.substr(t);
    const size_t comma = tail.find(L',');
    if (comma != std::wstring::npos) tail = tail.substr(0, comma);
    if (t == 0) {
      s = ReplaceAllNoCase(s, s.size() > tail.size() ? tail + L"," : tail, L"");
    } else {
      s = ReplaceAllNoCase(s, L"," + tail, L"");
    }
    if (auto n = WholeNumber(ReplaceAllNoCase(tail, L"task", L""))) taskNo = *n;
  }

  // Group and option.
  const size_t c = s.find(L',');
  if (c != std::wstring::npos && c > 0) {
    const std::wstring g = s.substr(0, c), o = s.substr(c + 1);
    if (auto n = WholeNumber(g)) groupNo = *n; else groupName = g;
    if (auto n = WholeNumber(o)) optionNo = *n; else optionName = o;
  }

  // Resolve against the record.
  const std::wstring wantedGroup = Trim(groupName);
  if (groupNo < 1 && !wantedGroup.empty()) {
    for (int16_t i = 1; i <= state.SelectGroupCount; ++i) {
      if (FoldCase(state.SelectGroups[i].name) == FoldCase(wantedGroup)) {
        groupNo = i;
        break;
      }
    }
  }
  if (groupNo >= 1 && groupNo <= state.SelectGroupCount) {
    const SelectGroupEntry& group = state.SelectGroups[groupNo];
    groupName = group.name;
    const std::wstring wantedOption = Trim(optionName);
    if (optionNo < 1 && !wantedOption.empty()) {
      for (int16_t j = 1; j <= group.optionCount; ++j) {
        if (FoldCase(group.options[j].name) == FoldCase(wantedOption)) {
          optionNo = j;
          break;
        }
      }
    }
    if (optionNo >= 1 && optionNo <= group.optionCount) optionName = group.options[optionNo].name;
  }
  return -1;
}

std::wstring ExpandPathMacros(const SetupRecord& record, std::wstring path) {
  std::wstring r = std::move(path);
  if (record.InputItemCount >= 1 && record.InputItems.size() > 1) {
    r = ReplaceAllNoCase(r, L"{app}", record.InputItems[1].value);
  }
  r = ReplaceAllNoCase(r, L"{tmp}", record.TmpDir);
  r = ReplaceAllNoCase(r, L"{windir}", record.WinDir);
  r = ReplaceAllNoCase(r, L"{commondesktop}", record.CommonDesktopDir);
  r = ReplaceAllNoCase(r, L"{group}", record.CommonProgramsDir);
  r = ReplaceAllNoCase(r, L"{commonstartup}", record.StartupDir);
  // Network paths keep their leading pair.
  if (r.size() > 1) {
    std::wstring rest = r.substr(1);
    while (rest.find(L"\\\\") != std::wstring::npos) rest = ReplaceAll(rest, L"\\\\", L"\\");
    r = r.substr(0, 1) + rest;
  }
  return r;
}

}  // namespace norvale
