#pragma once
// The files the installer writes itself into the install folder: the logon
// command files, which start a program at every user's logon, an
// administrator's too; "Setup_Start.txt"; the installed-files list. Below a
// folder outside Program Files any user may make such a name first, and what
// the folder passes down lets users change what is put there. So below the
// install folder each is made anew through the install's tree with a list
// under which only the machine's administrators may change it (an unelevated
// run's keeps what the folder passes down), takes the place of whatever had
// its name, and the record says what it got. Where there is no tree (a
// share, an install into a drive's root) they are written by name, as
// always.
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "FolderAccess.h"
#include "InstallTree.h"
#include "InstallerState.h"

namespace norvale {

// The record's comment line on a generated file that got a list of its own:
// its path, "作成" and its list as SDDL (a run without administrator rights
// sets none, and writes no line).
extern const wchar_t kFileAccessComment[];

class GeneratedFiles final : public IGeneratedFiles {
 public:
  // record: takes the record's line on each file once it is in place.
  GeneratedFiles(IFolderAccess& access, std::function<void(const std::wstring&)> record);
  StepResult<FileHandle> CreateIn(HANDLE folder, const std::wstring& path) override;
  void Placed(const std::wstring& path) override;

 private:
  IFolderAccess& access_;
  bool elevated_ = false;
  std::optional<FolderAccessList> list_;
  std::function<void(const std::wstring&)> record_;
};

// The state's install tree holds path (absolute): a generated file there
// goes through it.
bool InInstallTree(const InstallerState& state, const std::wstring& path);

// Writes content as the whole file at path (absolute) through the state's
// install tree, the record's line on it going to record. 0 or the Windows
// error.
DWORD WriteGeneratedFileInTree(InstallerState& state, const std::wstring& path,
                               std::string_view content,
                               std::function<void(const std::wstring&)> record);

}  // namespace norvale
