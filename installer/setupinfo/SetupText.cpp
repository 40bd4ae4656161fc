#include "SetupText.h"

#include <windows.h>

#include <cmath>

#include "Text.h"

namespace norvale {

std::wstring FoldCase(std::wstring_view text) {
  std::wstring folded(text);
  if (!folded.empty()) CharUpperBuffW(folded.data(), static_cast<DWORD>(folded.size()));
  return folded;
}

size_t FindNoCase(std::wstring_view text, std::wstring_view needle, size_t from) {
  if (from > text.size()) return std::wstring::npos;
  return FoldCase(text).find(FoldCase(needle), from);
}

bool ContainsNoCase(std::wstring_view text, std::wstring_view needle) {
  return FindNoCase(text, needle) != std::wstring::npos;
}

bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix) {
  return text.size() >= prefix.size() && FoldCase(text.substr(0, prefix.size())) == FoldCase(prefix);
}

std::wstring ReplaceAllNoCase(std::wstring_view text, std::wstring_view what,
                              std::wstring_view with) {
  if (what.empty()) return std::wstring(text);
  const std::wstring folded = FoldCase(text), foldedWhat = FoldCase(what);
  std::wstring result;
  size_t at = 0;
  for (size_t hit; (hit = folded.find(foldedWhat, at)) != std::wstring::npos;
       at = hit + what.size()) {
    result.append(text.substr(at, hit - at)).append(with);
  }
  return result.append(text.substr(at));
}

std::optional<double> ParseNumber(std::wstring_view text) {
  const std::wstring t = Trim(text);
  size_t i = 0;
  if (i < t.size() && (t[i] == L'+' || t[i] == L'-')) ++i;
  bool digits = false, point = false;
  for (; i < t.size(); ++i) {
    if (t[i] >= L'0' && t[i] <= L'9') {
      digits = true;
    } else if (t[i] == L'.' && !point) {
      point = true;
    } else {
      return std::nullopt;
    }
  }
  if (!digits || t.size() > 40) return std::nullopt;
  return std::wcstod(t.c_str(), nullptr);
}

std::optional<int16_t> ToInt16(double value) {
  const double rounded = std::nearbyint(value);  // default mode: half to even
  if (!(rounded >= -32768.0 && rounded <= 32767.0)) return std::nullopt;
  return static_cast<int16_t>(rounded);
}

std::optional<uint16_t> ParsePort(std::wstring_view text) {
  const std::wstring t = Trim(text);
  if (t.empty() || t.size() > 5) return std::nullopt;
  uint32_t value = 0;
  for (wchar_t c : t) {
    if (c < L'0' || c > L'9') return std::nullopt;
    value = value * 10 + static_cast<uint32_t>(c - L'0');
  }
  if (value < 1 || value > 65535) return std::nullopt;
  return static_cast<uint16_t>(value);
}

bool HasNoControlCharacters(std::wstring_view text) {
  for (wchar_t c : text) {
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) return false;
  }
  return true;
}

bool IsPlainFileName(std::wstring_view name) {
  const std::wstring t = Trim(name);
  if (t.empty() || t != name) return false;
  if (!HasNoControlCharacters(t)) return false;
  if (t.find_first_of(L"\\/:*?\"<>|") != std::wstring::npos) return false;
  if (t.find(L"..") != std::wstring::npos) return false;
  // Windows maps these names to devices whatever the extension.
  std::wstring stem = FoldCase(t.substr(0, t.find(L'.')));
  while (!stem.empty() && stem.back() == L' ') stem.pop_back();
  static const wchar_t* const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$",
                                            L"CONOUT$", L"CLOCK$"};
  for (const wchar_t* device : kDevices) {
    if (stem == device) return false;
  }
  if (stem.size() == 4 && (stem.rfind(L"COM", 0) == 0 || stem.rfind(L"LPT", 0) == 0) &&
      ((stem[3] >= L'0' && stem[3] <= L'9') || stem[3] == L'\u00B9' || stem[3] == L'\u00B2' ||
       stem[3] == L'\u00B3')) {
    return false;
  }
  return true;
}

bool IsWebAddress(std::wstring_view address) {
  const std::wstring t = Trim(address);
  if (!HasNoControlCharacters(t)) return false;
  for (std::wstring_view scheme : {std::wstring_view(L"http://"), std::wstring_view(L"https://")}) {
    if (StartsWithNoCase(t, scheme) && t.size() > scheme.size()) return true;
  }
  return false;
}

void AppendErrText(std::wstring& errText, const std::wstring& line) {
  if (!errText.empty()) errText += L"\r\n";
  errText += line;
}

}  // namespace norvale
