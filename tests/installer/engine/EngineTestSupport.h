#pragma once
// What the engine's tests share: an installer state with a Windows of the
// test's choice, a window and labels that record, placeholders from a table,
// and reading back ANSI files.
#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "EngineContext.h"
#include "RecordingFolderAccess.h"
#include "NamedProtectedFiles.h"
#include "TempDir.h"

namespace engine_testing {

class TestWindows final : public norvale::IWindowsFacts {
 public:
  DWORD major = 10, minor = 0, build = 19045;
  bool GetVersion(OSVERSIONINFOEXW& info) override;
  bool VerifyWorkstation() override { return true; }
  bool IsServerR2() override { return false; }
  std::optional<bool> IsWow64Process() override { return true; }
  // Where the test says so, another Windows' code pages.
  const norvale::ICodePages* codePages = nullptr;
  const norvale::ICodePages& CodePages() override {
    return codePages ? *codePages : norvale::SystemCodePages();
  }
};

class RecordingWindow final : public norvale::IInstallerWindow {
 public:
  void Dispゲージ(int16_t percent) override { gauge.push_back(percent); }
  void DoEvents() override { ++events; }
  std::vector<int16_t> gauge;
  int events = 0;
};

class RecordingCaption final : public norvale::ICaption {
 public:
  void SetCaption(const std::wstring& text) override { texts.push_back(text); }
  std::vector<std::wstring> texts;
};

// "{name}" replaced by the table's value (letter case ignored); unknown
// placeholders stay.
class TablePathMacros final : public norvale::IPathMacros {
 public:
  std::wstring ExpandPathMacros(const std::wstring& text) override;
  std::map<std::wstring, std::wstring> table;  // lower-case names with braces
};

// An installer state with its install folder, a Windows of the test's
// choice, and everything an engine procedure needs around it.
struct EngineUnderTest {
  // Program starts go to starts when given.
  explicit EngineUnderTest(const std::wstring& installFolder,
                           std::shared_ptr<norvale::IProgramStarts> starts = nullptr);
  std::shared_ptr<TestWindows> windows = std::make_shared<TestWindows>();
  std::shared_ptr<testing_support::NamedProtectedFiles> protectedFiles =
      std::make_shared<testing_support::NamedProtectedFiles>();
  // Records the lists of the folders the procedures make (Wine keeps none).
  std::shared_ptr<testing_support::RecordingFolderAccess> folderAccess =
      std::make_shared<testing_support::RecordingFolderAccess>();
  std::unique_ptr<norvale::InstallerState> state;
  RecordingWindow window;
  TablePathMacros macros;
  std::unique_ptr<clsLZH> lzh;
  std::unique_ptr<norvale::EngineContext> context;
};

// The lines of an ANSI text file with CR LF line ends (without the last
// empty one).
using testing_support::ReadAnsiLines;
std::string ReadBytes(const std::wstring& path);
void WriteUtf8(const std::wstring& path, const std::wstring& text);
bool Exists(const std::wstring& path);
// The folder of the test program.
std::wstring TestProgramFolder();
std::wstring FakeArchiveDll();

}  // namespace engine_testing
