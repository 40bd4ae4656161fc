#pragma once
// Drives our 7-zip32.dll the way the installer does (bound by name, ANSI
// command lines) and crafts archives no zip program would write.
#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace sevenzip_test {

class SevenZipDll {
 public:
  SevenZipDll();
  ~SevenZipDll();
  SevenZipDll(const SevenZipDll&) = delete;
  SevenZipDll& operator=(const SevenZipDll&) = delete;

  bool Loaded() const { return module_ != nullptr; }
  // The command line is converted to the ANSI code page as the caller does.
  int Run(const std::wstring& commandLine, std::string* message = nullptr,
          DWORD bufferSize = 64010);
  int RunAnsi(const char* commandLine, char* buffer, DWORD bufferSize);
  bool Check(const std::wstring& archive, int mode = 2);

 private:
  using SevenZipFn = int(WINAPI*)(HWND, LPCSTR, LPSTR, DWORD);
  using CheckFn = BOOL(WINAPI*)(LPCSTR, int);
  using ModeFn = BOOL(WINAPI*)(BOOL);
  HMODULE module_ = nullptr;
  SevenZipFn sevenZip_ = nullptr;
  CheckFn check_ = nullptr;
  ModeFn cursorMode_ = nullptr;
  ModeFn backgroundMode_ = nullptr;
};

// Relative path ("\" separated, folders end in "\") -> contents of a tree.
using Tree = std::map<std::wstring, std::string>;
void WriteTree(const std::wstring& root, const Tree& tree);
Tree ReadTree(const std::wstring& root);

// A zip archive assembled entry by entry with every field under the test's
// control.
class ArchiveBuilder {
 public:
  struct Entry {
    std::string name;  // stored bytes
    std::string data;  // uncompressed contents
    bool deflate = false;
    uint16_t flags = 0;
    uint16_t madeBy = 0x0A14;  // NTFS
    // When set, recorded instead of the true values.
    int64_t declaredSize = -1;
    int64_t declaredCrc = -1;
  };
  void Add(const Entry& entry) { entries_.push_back(entry); }
  void AddFile(const std::string& name, const std::string& data, bool deflate = true) {
    Entry e;
    e.name = name;
    e.data = data;
    e.deflate = deflate;
    Add(e);
  }
  std::string Bytes() const;
  void Write(const std::wstring& path) const;

 private:
  std::vector<Entry> entries_;
};

std::string Deflate(const std::string& data);
std::string Ansi(const std::wstring& text);
std::string Utf8(const std::wstring& text);
// The contents of a zip file compiled into the test binary.
std::string Fixture(const wchar_t* resourceName);
bool Exists(const std::wstring& path);
// Every name in the folder (files and folders, recursively), "\" separated.
std::vector<std::wstring> ListAll(const std::wstring& root);

}  // namespace sevenzip_test
