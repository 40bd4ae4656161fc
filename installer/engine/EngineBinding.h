#pragma once
// The real procedures behind an install run's calls. The window owns one
// binding for the length of a run: it holds what those procedures work on
// (the archive library, the placeholder expansion over the setup record, the
// progress labels as the engine writes them) and hands out the calls.
#include <memory>
#include <string>

#include "EngineContext.h"
#include "InstallRun.h"
#include "clsLZH.h"

namespace norvale {

// The setup record's placeholders, as the engine's procedures expand them.
class RecordPathMacros final : public IPathMacros {
 public:
  explicit RecordPathMacros(const SetupRecord& record) : record_(record) {}
  std::wstring ExpandPathMacros(const std::wstring& text) override;

 private:
  const SetupRecord& record_;
};

// A progress label of the window, as the engine's procedures write it.
class DisplayCaption final : public ICaption {
 public:
  explicit DisplayCaption(std::shared_ptr<ITextDisplay> display) : display_(std::move(display)) {}
  void SetCaption(const std::wstring& text) override;

 private:
  std::shared_ptr<ITextDisplay> display_;
};

// The file an archive DLL of clsLZH ("7-zip32.dll", "Unlha32.dll") is bound
// from: the one in the program folder where it lies there, else the system
// folder's ("" when the system cannot name it). Always a full path: the
// programs keep the search for a bare name to the system folder, and where
// the system cannot, a bare name would be looked for in the current folder
// and along PATH too.
std::wstring ArchiveLibraryPath(const std::wstring& programFolder, const std::wstring& name);

class EngineBinding {
 public:
  // The archive DLLs are bound from the seams' program folder, else from
  // the system folder (ArchiveLibraryPath).
  EngineBinding(InstallerState& state, IInstallRunWindow& window,
                EngineSeams seams = EngineSeams::System());
  EngineBinding(const EngineBinding&) = delete;
  EngineBinding& operator=(const EngineBinding&) = delete;

  // Every call of an install run, bound to the real procedure.
  EngineCalls Calls();
  EngineContext& Context() { return context_; }

 private:
  InstallerState& state_;
  clsLZH objLzh_;
  RecordPathMacros macros_;
  DisplayCaption stepLabel_;
  DisplayCaption itemLabel_;
  EngineContext context_;
};

}  // namespace norvale
