#pragma once
// What an install may change in the test prefix, taken before and compared
// after the removal: every file and folder of drive C: (path, size, write
// time) and the registry trees a product writes to (values with their data,
// in both registry views).
#include <map>
#include <string>
#include <vector>

namespace e2e {

class PrefixSnapshot {
 public:
  // Folders (full paths, any case) whose contents are not compared: the
  // test's own working folders, and what Wine rewrites on its own. A path
  // ending in "*" stands for every path that begins with it.
  explicit PrefixSnapshot(std::vector<std::wstring> excludedFolders);
  void Take();
  // One line per difference: "+ path", "- path" or "~ path".
  std::vector<std::wstring> Differences(const PrefixSnapshot& later) const;

 private:
  void WalkFolder(const std::wstring& folder);
  void WalkKey(void* root, const std::wstring& rootName, const std::wstring& path,
               unsigned long view);
  bool Excluded(const std::wstring& path) const;

  std::vector<std::wstring> excluded_;
  std::map<std::wstring, std::wstring> entries_;
};

}  // namespace e2e
