#pragma once
// What a test of the font routes looks at beyond files and registry: the
// font table GDI draws from (per process under Wine, per session on
// Windows), and the temporary folder a started PowerShell writes into.
#include <string>
#include <vector>

namespace testing_support {

// A family of that name is among the fonts this process can draw with.
bool FontFamilyKnown(const std::wstring& family);

// TEMP and TMP of this process (and so of every program it starts) point at
// the folder until the end of the scope; the folder is made when missing.
class RedirectedTemp {
 public:
  explicit RedirectedTemp(const std::wstring& folder);
  ~RedirectedTemp();
  RedirectedTemp(const RedirectedTemp&) = delete;
  RedirectedTemp& operator=(const RedirectedTemp&) = delete;
  // The names of what lies in the folder now.
  std::vector<std::wstring> Entries() const;

 private:
  std::wstring folder_;
  std::wstring temp_, tmp_;
  bool hadTemp_ = false, hadTmp_ = false;
};

}  // namespace testing_support
