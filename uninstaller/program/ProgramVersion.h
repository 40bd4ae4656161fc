#pragma once
// The uninstaller's version as its caption shows it.
#include <string>

namespace norvale {

// major "." minor "." revision, the revision with two digits at least:
// 1, 0, 5 give "1.0.05"; 1, 0, 12 give "1.0.12"; 1, 0, 123 give "1.0.123".
inline std::wstring UninstallerVersionText(int major, int minor, int revision) {
  std::wstring last = std::to_wstring(revision);
  if (last.size() < 2) last.insert(0, 2 - last.size(), L'0');
  return std::to_wstring(major) + L"." + std::to_wstring(minor) + L"." + last;
}

}  // namespace norvale
