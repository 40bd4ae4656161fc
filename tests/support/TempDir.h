#pragma once
// A unique folder below the prefix's temporary folder, removed with its
// contents when the test ends.
#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

class TempDir {
 public:
  explicit TempDir(const std::wstring& hint = L"t");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::wstring& Path() const { return path_; }
  std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

 private:
  std::wstring path_;
};

// Writes bytes to a file, creating it.
void WriteFileBytes(const std::wstring& path, const std::string& bytes);
std::string ReadFileBytes(const std::wstring& path);
// The lines of an ANSI text file with CR LF ends; a last line without one is
// marked "<no CR LF>" so that a missing line end shows in a comparison.
std::vector<std::wstring> ReadAnsiLines(const std::wstring& path);
// Sets a file's last-write time to now minus the given seconds.
void AgeFile(const std::wstring& path, int64_t seconds);
void RemoveTree(const std::wstring& path);
std::wstring CurrentDirectory();
// A path in a test message: what is not ASCII shows as "?".
std::string Narrow(const std::wstring& text);

}  // namespace testing_support
