#pragma once
// Which files are fonts, by their extension: one list for the download of a
// font, the check of what was downloaded and the font routines of both
// programs. Extensions compare as the file system compares names, so a
// full-width "ＴＴＦ" is no font extension.
#include <array>
#include <string_view>

#include "Paths.h"

namespace norvale {

inline constexpr std::array<std::wstring_view, 5> kFontExtensions = {L"ttf", L"ttc", L"otf",
                                                                     L"woff", L"eot"};

// ext without its dot.
inline bool IsFontExtension(std::wstring_view ext) {
  for (const std::wstring_view font : kFontExtensions) {
    if (SamePath(ext, font)) return true;
  }
  return false;
}

}  // namespace norvale
