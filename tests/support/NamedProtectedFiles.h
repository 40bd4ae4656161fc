#pragma once
// Windows' protection of its own files as a test names it. Wine protects
// nothing (its SfcIsFileProtected always says no), so a test that needs a
// font of Windows' own says which full paths Windows would protect; like
// Windows, letter case does not matter.
#include <set>
#include <string>
#include <vector>

#include "Text.h"
#include "WinServicesSeams.h"

namespace testing_support {

class NamedProtectedFiles final : public norvale::IProtectedFiles {
 public:
  bool IsProtected(const std::wstring& path) override {
    asked.push_back(path);
    return paths_.count(norvale::UpperCased(path)) != 0;
  }
  void Protect(const std::wstring& path) { paths_.insert(norvale::UpperCased(path)); }
  std::vector<std::wstring> asked;

 private:
  std::set<std::wstring> paths_;
};

}  // namespace testing_support
