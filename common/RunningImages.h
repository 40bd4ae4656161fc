#pragma once
// Which files running programs have mapped as images (the programs
// themselves and the DLLs they loaded), for the rules Windows keeps and Wine
// does not (WindowsRules.h): Windows deletes no such file. Asked of the
// processes once, when a file that may be one is first deleted: that is a
// round trip per process. Only names of the kinds programs load images by
// (".exe", ".dll", ...) are asked about; a program that maps a file of
// another name is not seen.
#include <windows.h>

#include <optional>
#include <set>
#include <string>

namespace norvale {

class RunningImages {
 public:
  // For the files in `folder` or below it; empty: for each file asked about.
  explicit RunningImages(std::wstring folder = L"") : folder_(std::move(folder)) {}
  // The open file that lies at `lies` (FinalPathOfHandle's form) is mapped
  // by a running program; index is its number on the volume, when known.
  bool Hold(HANDLE file, const std::wstring& lies, std::optional<ULONGLONG> index);

 private:
  std::wstring folder_;
  std::optional<std::set<ULONGLONG>> indexes_;
};

}  // namespace norvale
