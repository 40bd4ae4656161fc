#pragma once
// What one install run works with: the installer's state, the window as the
// run sees it (gauge, yield, the progress page's labels, the finish check box
// and Cancel), and the procedures of the installer's other parts that the run
// calls. Those procedures are handed in as functions so that the window wires
// the real ones and tests put in their own.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <windows.h>

#include "EngineSupport.h"
#include "FtpSeams.h"
#include "InstallerState.h"
#include "InstallerWindow.h"

namespace norvale {

// The one way a statement of these procedures fails without stopping them.
using engine::SkipOnFailure;

class IInstallRunWindow : public IInstallerWindow {
 public:
  // The progress page's labels: 0 the step, 1 the item. The FTP client
  // writes its own progress texts into label 1.
  virtual std::shared_ptr<ITextDisplay> L_SETUP(int16_t index) = 0;
  // The finish page's "start the product" check box (1 ticked, 0 not).
  virtual void Chk_FinalRun(int16_t value) = 0;
  virtual void C_CancelEnabled(bool enabled) = 0;
};

// The installer's procedures that live beside the install run.
struct EngineCalls {
  // The install record.
  std::function<int32_t(const std::wstring& line, int16_t mode)> WriteSetupLog;
  // Conditions and placeholders.
  std::function<std::wstring(const std::wstring& path)> ExpandPathMacros;
  std::function<bool(const std::wstring& condition, int16_t& groupNo, int16_t& optionNo,
                     int16_t& include, int16_t& taskNo, std::wstring& groupName,
                     std::wstring& optionName)>
      ParseCondition;
  std::function<bool(const std::wstring& chk)> IsTaskOrOptionChosen;
  // Product, Windows and file services.
  std::function<bool()> IsWow64;
  std::function<bool(const std::wstring& name)> IsProductInstalled;
  std::function<bool(const std::wstring& folder)> vbDeleteFolder;
  std::function<bool(const std::wstring& path, std::wstring& errorText)> vbDeleteFile;
  // Archives and copying.
  std::function<int32_t(const std::wstring& path)> GetPathKind;
  std::function<bool(const std::wstring& zipPath, const std::wstring& destination,
                     std::wstring& errorText, const std::shared_ptr<ITextDisplay>& label)>
      ExtractZipFolder;
  std::function<bool(const std::wstring& source, const std::wstring& destination,
                     bool overwrite, bool destinationIsFile, std::wstring& errorText)>
      vbCopyFile;
  // Fonts.
  std::function<bool(std::wstring& message)> CheckAddFontScript;
  std::function<bool(const std::wstring& fontPath, std::wstring& message)> vbAddFontByPowerShell;
  std::function<bool(const std::wstring& fontPath, std::wstring& message)> vbInstallFont;
  std::function<bool(const std::wstring& fontFileName)> vbRemoveFont;
  // Shortcuts.
  std::function<int16_t()> CreateShortCuts;
};

// GetPathKind's answers.
constexpr int32_t kPathMissing = 0;
constexpr int32_t kPathIsFile = 1;
constexpr int32_t kPathIsFolder = 2;

struct InstallRun {
  InstallerState& state;
  IInstallRunWindow& window;
  EngineCalls calls;
  // The running installer's folder and program name (without ".exe").
  std::wstring installerFolder;
  std::wstring installerName;
  // Ends the program at once, and starts a generated command file minimised;
  // empty: the real ones. Tests put in recorders.
  std::function<void()> endProgram;
  std::function<void(const std::wstring& file)> startCommandFile;

  // The install folder: input item 1, as stored.
  std::wstring InstallFolder() const;
  void DoEvents() { window.DoEvents(); }
  void SetLabel(int16_t index, const std::wstring& text);
  int Ask(const std::wstring& text, const std::wstring& title, unsigned style);
  // One record line, appended.
  void Log(const std::wstring& line);
  void Gauge(int16_t percent);
  // The gauge at count of total entries (nothing when total is 0).
  void GaugeAt(int32_t count, int32_t total);
  // The end of a step that showed progress: its closing empty record line,
  // empty labels, the gauge hidden.
  void EndProgressStep();
  // An entry's condition in the full condition language: the bitness and
  // Windows tokens, a ticked task, a chosen option. A blank one holds.
  bool ConditionHolds(const std::wstring& chk);
};

// The entries of a folder ("." and ".." left out), hidden and system ones
// included; false when the folder cannot be listed to its end.
bool ListFolderEntries(const std::wstring& folder, std::vector<WIN32_FIND_DATAW>& entries);

// A running number with at least the given number of digits ("01", "001").
std::wstring Numbered(int32_t number, int digits);

}  // namespace norvale
