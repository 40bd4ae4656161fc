#pragma once
// The command line SevenZip() receives: a command letter ("x" extract with
// folders, "a" add), switches ("-hide", "-y", "-tzip", "-o<folder>") and
// paths, which may be quoted and then hold blanks.
#include <string>
#include <vector>

namespace sevenzip {

class ZipCommand {
 public:
  // False with Problem() set when the line is not a command we run.
  bool Parse(const std::wstring& line);

  wchar_t verb = 0;  // L'x' or L'a'
  bool hide = false;
  bool assumeYes = false;
  std::wstring outputFolder;  // "-o" of "x"; empty means the current folder
  std::wstring archive;
  std::vector<std::wstring> files;  // inputs of "a"
  const std::string& Problem() const { return problem_; }

 private:
  std::string problem_;
};

// Splits at blanks outside double quotes; quotes group and are dropped.
std::vector<std::wstring> SplitCommandLine(const std::wstring& line);

}  // namespace sevenzip
