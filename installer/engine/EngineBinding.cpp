#include "EngineBinding.h"

#include "ArchiveExtraction.h"
#include "Conditions.h"
#include "FileSystem.h"
#include "Fonts.h"
#include "SetupLog.h"
#include "ShortCuts.h"
#include "System.h"
#include "SystemServices.h"

namespace norvale {

std::wstring RecordPathMacros::ExpandPathMacros(const std::wstring& text) {
  return norvale::ExpandPathMacros(record_, text);
}

void DisplayCaption::SetCaption(const std::wstring& text) {
  if (display_) display_->SetText(text);
}

std::wstring ArchiveLibraryPath(const std::wstring& programFolder, const std::wstring& name) {
  const std::wstring beside = programFolder + L"\\" + name;
  if (!programFolder.empty() && FileExists(beside)) return beside;
  const std::wstring system = SystemFolder();
  return system.empty() ? std::wstring() : system + L"\\" + name;
}

EngineBinding::EngineBinding(InstallerState& state, IInstallRunWindow& window, EngineSeams seams)
    : state_(state),
      objLzh_(ArchiveLibraryPath(seams.programFolder, L"7-zip32.dll"),
              ArchiveLibraryPath(seams.programFolder, L"Unlha32.dll")),
      macros_(state),
      stepLabel_(window.L_SETUP(0)),
      itemLabel_(window.L_SETUP(1)),
      context_{state, window, objLzh_, macros_, std::move(seams), &stepLabel_, &itemLabel_} {}

EngineCalls EngineBinding::Calls() {
  EngineCalls c;
  InstallerState& state = state_;
  EngineContext& engine = context_;
  c.WriteSetupLog = [&state](const std::wstring& line, int16_t mode) {
    return WriteSetupLog(state, line, mode);
  };
  c.ExpandPathMacros = [&state](const std::wstring& path) {
    return ExpandPathMacros(state, path);
  };
  c.ParseCondition = [&state](const std::wstring& condition, int16_t& groupNo, int16_t& optionNo,
                              int16_t& include, int16_t& taskNo, std::wstring& groupName,
                              std::wstring& optionName) {
    return ParseCondition(state, condition, groupNo, optionNo, include, taskNo, groupName,
                          optionName) != 0;
  };
  c.IsTaskOrOptionChosen = [&state](const std::wstring& chk) {
    return IsTaskOrOptionChosen(state, chk);
  };
  c.IsWow64 = [&state] { return IsWow64(state); };
  c.IsProductInstalled = [&state](const std::wstring& name) {
    return IsProductInstalled(state, name);
  };
  c.vbDeleteFolder = [](const std::wstring& folder) { return vbDeleteFolder(folder); };
  c.vbDeleteFile = [](const std::wstring& path, std::wstring& errorText) {
    return vbDeleteFile(path, errorText);
  };
  c.GetPathKind = [](const std::wstring& path) { return GetPathKind(path); };
  c.ExtractZipFolder = [&engine](const std::wstring& zip, const std::wstring& destination,
                                 std::wstring& errorText,
                                 const std::shared_ptr<ITextDisplay>& label) {
    DisplayCaption caption(label);
    return ExtractZipFolder(engine, zip, destination, errorText, label ? &caption : nullptr);
  };
  c.vbCopyFile = [&state](const std::wstring& source, const std::wstring& destination,
                          bool overwrite, bool destinationIsFile, std::wstring& errorText) {
    return vbCopyFile(source, destination, overwrite, destinationIsFile, errorText,
                      state.installTree.get());
  };
  c.CheckAddFontScript = [&engine](std::wstring& message) {
    FontServices fonts = FontServicesOf(engine);
    return CheckAddFontScript(fonts, message);
  };
  c.vbAddFontByPowerShell = [&engine](const std::wstring& fontPath, std::wstring& message) {
    FontServices fonts = FontServicesOf(engine);
    return vbAddFontByPowerShell(fonts, fontPath, message);
  };
  c.vbInstallFont = [&engine](const std::wstring& fontPath, std::wstring& message) {
    return vbInstallFont(engine, fontPath, message);
  };
  c.vbRemoveFont = [&engine](const std::wstring& fontFileName) {
    FontServices fonts = FontServicesOf(engine);
    return vbRemoveFont(fonts, fontFileName);
  };
  c.CreateShortCuts = [&engine]() -> int16_t { return CreateShortCuts(engine) ? -1 : 0; };
  return c;
}

}  // namespace norvale
