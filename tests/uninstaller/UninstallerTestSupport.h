#pragma once
// A product installed for a test: "<temp>\<name>\App\Uninst\Dekant00.exe"
// beside its "Setup.log", and a state pointed at it.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>
#include "DeleteMeCmd.h"
#include "NamedProtectedFiles.h"
#include "RecordingFolderAccess.h"
#include "ScriptedMessageBox.h"
#include "TempDir.h"
#include "UninstallerState.h"

namespace uninstaller_test {

// Records the program starts instead of making them; refuses them all with
// `refusal` (as a policy against the program would) when it is set.
class RecordingStarts final : public norvale::IProgramStarts {
 public:
  RecordingStarts() = default;
  RecordingStarts(const RecordingStarts&) = delete;
  RecordingStarts& operator=(const RecordingStarts&) = delete;
  // A command file that was only recorded never removes itself, its folder
  // and the program's file moved there: that is done here, so that runs
  // leave nothing in TEMP.
  ~RecordingStarts() override;
  bool Start(const std::wstring& commandLine, int, DWORD* processId, HANDLE* process) override {
    if (process) *process = nullptr;
    if (refusal != ERROR_SUCCESS) {
      SetLastError(refusal);
      return false;
    }
    started.push_back(commandLine);
    if (endsAtOnce && processId && process) {
      *processId = 1;
      *process = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    }
    return true;
  }
  std::optional<norvale::HeldProgram> StartHeld(
      const std::wstring& application, const std::wstring& commandLine, int showState,
      const norvale::ProgramSurroundings& surroundings) override {
    if (onHeldStart) onHeldStart();
    heldApplications.push_back(application);
    heldSurroundings.push_back(surroundings);
    return IProgramStarts::StartHeld(application, commandLine, showState, surroundings);
  }
  std::vector<std::wstring> started;
  std::vector<std::wstring> heldApplications;
  std::vector<norvale::ProgramSurroundings> heldSurroundings;
  DWORD refusal = ERROR_SUCCESS;
  std::function<void()> onHeldStart;
  bool endsAtOnce = false;
};

class RecordingEnd final : public norvale::forms::IProgramEnd {
 public:
  using norvale::forms::IProgramEnd::End;
  void End(int exitCode) override {
    ++ends;
    code = exitCode;
  }
  int ends = 0;
  int code = -1;
};

// Waits that take no time: they add up what was asked for and call the
// test's hook after each pause.
class VirtualWaits final : public norvale::IWaits {
 public:
  void Sleep(DWORD milliseconds) override {
    slept += milliseconds;
    if (hook) hook();
  }
  DWORD WaitFor(HANDLE, DWORD milliseconds) override {
    Sleep(milliseconds);
    return WAIT_TIMEOUT;
  }
  DWORD slept = 0;
  std::function<void()> hook;
};

// A window that counts the times it was let to answer and calls the test's
// hook each time.
class AnsweringWindow final : public norvale::IUninstallerWindow {
 public:
  void SetStepText(int16_t, const std::wstring&) override {}
  void Dispゲージ(int16_t) override {}
  void DisableCancel() override {}
  void DoEvents() override {
    ++answers;
    if (hook) hook();
  }
  int answers = 0;
  std::function<void()> hook;
};

// Font registry values in memory.
class MemoryFontRegistry final : public norvale::IFontRegistry {
 public:
  bool EnumValues(std::vector<ValueName>* values) override;
  bool GetStringValue(const std::wstring& name, std::wstring* data) override;
  bool DeleteValue(const std::wstring& name) override;
  std::vector<std::pair<std::wstring, std::wstring>> values;
};

struct InstalledProduct {
  explicit InstalledProduct(const std::wstring& hint = L"un");
  // Writes "Setup.log" (UTF-16 text, written in the ANSI code page) with
  // the lines joined by CR LF.
  void WriteRecord(const std::vector<std::wstring>& lines) const;
  void WriteRecordBytes(const std::string& bytes) const;
  // A state for the uninstaller in Uninst, with recording seams; started
  // as `startedAs` when given (another spelling of its path).
  std::unique_ptr<norvale::UninstallerState> MakeState(const std::wstring& startedAs = L"") const;

  testing_support::TempDir temp;
  std::wstring appDir;     // <temp>\App
  std::wstring uninstDir;  // <temp>\App\Uninst
  std::wstring program;    // <temp>\App\Uninst\Dekant00.exe
  std::shared_ptr<norvale::ScriptedMessageBox> messages =
      std::make_shared<norvale::ScriptedMessageBox>();
  std::shared_ptr<RecordingStarts> starts = std::make_shared<RecordingStarts>();
  std::shared_ptr<MemoryFontRegistry> fontRegistry = std::make_shared<MemoryFontRegistry>();
  std::shared_ptr<testing_support::NamedProtectedFiles> protectedFiles =
      std::make_shared<testing_support::NamedProtectedFiles>();
  std::shared_ptr<testing_support::RecordingFolderAccess> folderAccess =
      std::make_shared<testing_support::RecordingFolderAccess>();
};

// Run-as-administrator values in the program's own registry view (the
// 32-bit one for the shipped build on 64-bit Windows), where the installer
// always writes them; the uninstaller removes them from there and, on 64-bit
// Windows, from the 64-bit view too.
void SetLayer(const std::wstring& exe);
void ClearLayer(const std::wstring& exe);
bool LayerExists(const std::wstring& exe);

// The command file a recorded start of the interpreter runs.
std::wstring StartedCommandFile(const std::wstring& commandLine);

bool Exists(const std::wstring& path);
void MakeFolder(const std::wstring& path);
void Touch(const std::wstring& path);
// The 8.3 spelling of an existing path; the path itself when it has none.
std::wstring ShortForm(const std::wstring& path);

}  // namespace uninstaller_test
