#include "ShortCuts.h"

#include <shlobj.h>
#include <shobjidl.h>

#include <cmath>
#include <cwchar>
#include <optional>

#include "EngineSupport.h"
#include "FileSystem.h"
#include "GeneratedFiles.h"
#include "Handles.h"
#include "SetupLog.h"
#include "Text.h"

namespace norvale {

using engine::ComApartment;
using engine::ComPtr;
using engine::FindIgnoreCase;
using engine::OrFailure;
using engine::SkipOnFailure;

namespace {

constexpr int32_t kMinimisedNoActivate = 7;

// A text that reads as a number (blanks around it allowed), rounded to a
// whole number as the 16-bit conversion does (halves to even); nothing when
// it is no number or lies outside the 16-bit range.
std::optional<int16_t> AsNumber16(const std::wstring& text) {
  const std::wstring t = Trim(text);
  if (t.empty()) return std::nullopt;
  wchar_t* end = nullptr;
  const double value = std::wcstod(t.c_str(), &end);
  if (end == t.c_str() || *end != L'\0' || !std::isfinite(value)) return std::nullopt;
  const double rounded = std::nearbyint(value);
  if (rounded < -32768 || rounded > 32767) return std::nullopt;
  return static_cast<int16_t>(rounded);
}

void SetLabel(ICaption* label, const std::wstring& text) {
  if (label) SkipOnFailure([&] { label->SetCaption(text); });
}

// "file,index" as an icon location gives; a location without an index is
// the file's first icon.
std::pair<std::wstring, int> SplitIconLocation(const std::wstring& icon) {
  const size_t comma = icon.rfind(L',');
  if (comma != std::wstring::npos) {
    const std::optional<int16_t> index = AsNumber16(icon.substr(comma + 1));
    if (index) return {Trim(icon.substr(0, comma)), *index};
  }
  return {icon, 0};
}

// The lines as the command file holds them: the program's path is exact
// already; elsewhere a character the code page lacks reads "?", never a
// look-alike.
std::string AnsiLines(const std::vector<std::wstring>& lines, const ICodePages& pages) {
  std::string bytes;
  for (const std::wstring& line : lines) bytes += ToAnsiNoBestFit(line, CP_ACP, pages) + "\r\n";
  return bytes;
}

bool WriteByName(const std::wstring& path, const std::string& bytes) {
  FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  return WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                   nullptr) &&
         written == bytes.size();
}

bool IsComplete(const ShortCutEntry& entry) {
  return !IsBlank(entry.dir) && !IsBlank(entry.nam) && !IsBlank(entry.exe) &&
         !IsBlank(entry.ico);
}


// On Windows 10 and later a program in the Startup folder is started by a
// command file of its name in the install folder; the record's lines on the
// files made go to accessLines, for after the section's own.
void RedirectStartupPrograms(EngineContext& engine, std::vector<std::wstring>& accessLines) {
  InstallerState& state = engine.state;
  const std::wstring appFolder = state.InputItems.size() > 1 ? state.InputItems[1].value : L"";
  for (int32_t i = 1; i <= state.ShortCutCount && i < static_cast<int32_t>(state.ShortCutList.size());
       ++i) {
    SkipOnFailure([&] {
      ShortCutEntry& entry = state.ShortCutList[static_cast<size_t>(i)];
      if (FindIgnoreCase(entry.dir, L"{commonstartup}") == std::wstring::npos) return;
      const std::wstring target = engine.macros.ExpandPathMacros(entry.exe);
      const std::wstring fileName = state.objPublicFunc.GetFileID(target);
      const size_t exe = FindIgnoreCase(fileName, L".exe");
      if (exe == std::wstring::npos) return;
      const std::wstring base = fileName.substr(0, exe);
      if (IsBlank(base)) return;
      const std::wstring cmdName = base + L".CMD";
      if (!MakeStartupCmdFile(appFolder, cmdName, target, CodePagesOf(state), &state,
                              [&accessLines](const std::wstring& line) {
                                accessLines.push_back(line);
                              })) {
        return;
      }
      const std::wstring cmdPath = appFolder + L"\\" + cmdName;
      if (!FileExists(cmdPath)) return;
      entry.exe = cmdPath;
      entry.style = kMinimisedNoActivate;
    });
  }
}

}  // namespace

bool IsTaskOrOptionChosen(const SetupRecord& record, const std::wstring& chk) {
  return OrFailure(true, [&] {
    const std::wstring c = Trim(chk);
    if (c.empty()) return true;
    const size_t task = FindIgnoreCase(chk, L"task");
    if (task != std::wstring::npos) {
      const size_t from = task + 4;
      const std::optional<int16_t> n = AsNumber16(from < c.size() ? c.substr(from) : L"");
      if (!n) return true;
      if (*n >= 1 && *n <= record.CheckItemCount &&
          *n < static_cast<int32_t>(record.CheckItems.size()) &&
          record.CheckItems[static_cast<size_t>(*n)].checked == 0) {
        return false;
      }
      return true;
    }
    const size_t comma = c.find(L',');
    if (comma == std::wstring::npos || comma == 0) return true;
    const int16_t g = AsNumber16(c.substr(0, comma)).value_or(0);
    const int16_t o = AsNumber16(c.substr(comma + 1)).value_or(0);
    if (g < 1 || g > record.SelectGroupCount ||
        g >= static_cast<int32_t>(record.SelectGroups.size())) {
      return true;
    }
    const SelectGroupEntry& group = record.SelectGroups[static_cast<size_t>(g)];
    const int32_t highest = static_cast<int32_t>(group.options.size()) - 1;
    if (o < 1 || o > highest) return true;
    return group.options[static_cast<size_t>(o)].chosen != 0;
  });
}

int32_t CountShortCuts(const SetupRecord& record) {
  return OrFailure<int32_t>(0, [&] {
    int32_t count = 0;
    for (int32_t i = 1;
         i <= record.ShortCutCount && i < static_cast<int32_t>(record.ShortCutList.size()); ++i) {
      const ShortCutEntry& entry = record.ShortCutList[static_cast<size_t>(i)];
      if (IsComplete(entry) && IsTaskOrOptionChosen(record, entry.chk)) ++count;
    }
    return count;
  });
}

bool CommandInterpreterReadsExactly(const std::wstring& text, unsigned int ansiCodePage,
                                    unsigned int oemCodePage, const ICodePages& pages) {
  return OrFailure(false, [&] {
    const std::optional<std::string> ansi = ToAnsiExact(text, ansiCodePage, pages);
    const std::optional<std::string> oem = ToAnsiExact(text, oemCodePage, pages);
    return ansi && oem && *ansi == *oem;
  });
}

std::optional<std::wstring> CommandFileProgramPath(const std::wstring& exePath,
                                                   unsigned int ansiCodePage,
                                                   unsigned int oemCodePage,
                                                   const ICodePages& pages) {
  return OrFailure(std::optional<std::wstring>(), [&]() -> std::optional<std::wstring> {
    auto readsAlike = [&](const std::wstring& path) {
      return CommandInterpreterReadsExactly(path, ansiCodePage, oemCodePage, pages);
    };
    if (readsAlike(exePath)) return exePath;
    const std::wstring shortForm = ShortPathOf(exePath);
    if (!shortForm.empty() && readsAlike(shortForm)) return shortForm;
    return std::nullopt;
  });
}

bool MakeStartupCmdFile(const std::wstring& folder, const std::wstring& fileName,
                        const std::wstring& exePath, const ICodePages& pages,
                        InstallerState* state, std::function<void(const std::wstring&)> record) {
  return OrFailure(false, [&] {
    if (IsBlank(folder) || IsBlank(fileName) || IsBlank(exePath)) return false;
    const std::optional<std::wstring> program =
        CommandFileProgramPath(exePath, CP_ACP, CP_OEMCP, pages);
    if (!program) return false;
    const std::wstring path = Trim((folder.ends_with(L"\\") ? folder : folder + L"\\") + fileName);
    const std::string bytes = AnsiLines(
        {L"ECHO OFF",
         L"rem このコマンドファイルはWindows10専用としてインストーラーにより作成されました。",
         L"rem ログオン時のスタートアップ時に使用されます。", L"",
         L"START \"" + fileName + L"を起動しています...\" \"" + *program + L"\"", L"", L"EXIT"},
        pages);
    if (state && InInstallTree(*state, path)) {
      if (!record) record = [state](const std::wstring& line) { WriteSetupLog(*state, line, 0); };
      return WriteGeneratedFileInTree(*state, path, bytes, record) == 0;
    }
    return WriteByName(path, bytes);
  });
}

bool MakeShortCut(InstallerState& state, const std::wstring& folder, const std::wstring& name,
                  const std::wstring& target, const std::wstring& icon,
                  const std::wstring& description, const std::wstring& workDir,
                  const std::wstring& arguments, int32_t style) {
  return OrFailure(false, [&] {
    if (IsBlank(folder) || IsBlank(name) || IsBlank(target) || IsBlank(icon)) return false;
    ComApartment com;
    ComPtr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                link.OutVoid())) ||
        !link) {
      return false;
    }
    SkipOnFailure([&] { state.objPublicFunc.MakeDir(folder, nullptr, true); });
    const std::wstring path = folder + L"\\" + name + L".lnk";
    ComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.OutVoid())) || !file) return false;
    link->SetPath(target.c_str());
    if (!IsBlank(arguments)) link->SetArguments(arguments.c_str());
    const auto [iconFile, iconIndex] = SplitIconLocation(icon);
    link->SetIconLocation(iconFile.c_str(), iconIndex);
    if (!IsBlank(description)) link->SetDescription(description.c_str());
    if (style > 0) link->SetShowCmd(style);
    if (!IsBlank(workDir)) link->SetWorkingDirectory(workDir.c_str());
    return SUCCEEDED(file->Save(path.c_str(), TRUE));
  });
}

bool CreateShortCuts(EngineContext& engine) {
  InstallerState& state = engine.state;
  bool result = true;
  SkipOnFailure([&] {
    const int32_t total = CountShortCuts(state);
    WriteSetupLog(state, L"[ショートカット]", 0);
    WriteSetupLog(state, L";ショートカット作成結果", 0);
    WriteSetupLog(state, L"Group=" + PathForRecord(state.ProgramGroupDir), 0);
    WriteSetupLog(state, L"Count=" + std::to_wstring(total), 0);
    SetLabel(engine.stepLabel, L"ショートカットを作成しています...");
    SetLabel(engine.itemLabel, L"");
    engine.window.DoEvents();
    std::vector<std::wstring> accessLines;
    if (state.objWinCommon.IsWindows10OrGreater()) RedirectStartupPrograms(engine, accessLines);
    int32_t count = 0;
    engine.window.Dispゲージ(0);
    for (int32_t i = 1;
         i <= state.ShortCutCount && i < static_cast<int32_t>(state.ShortCutList.size()); ++i) {
      SkipOnFailure([&] {
        ShortCutEntry& entry = state.ShortCutList[static_cast<size_t>(i)];
        entry.dir = FindIgnoreCase(entry.dir, L"{group}") != std::wstring::npos
                        ? state.ProgramGroupDir
                        : engine.macros.ExpandPathMacros(entry.dir);
        entry.exe = engine.macros.ExpandPathMacros(entry.exe);
        entry.ico = engine.macros.ExpandPathMacros(entry.ico);
        entry.arg = engine.macros.ExpandPathMacros(entry.arg);
        entry.wrk = engine.macros.ExpandPathMacros(entry.wrk);
        if (!IsComplete(entry) || !IsTaskOrOptionChosen(state, entry.chk)) return;
        ++count;
        if (total > 0) {
          engine.window.Dispゲージ(static_cast<int16_t>(std::min<int32_t>(count * 100 / total, 100)));
        }
        const bool ok = MakeShortCut(state, entry.dir, entry.nam, entry.exe, entry.ico, L"",
                                     entry.wrk, entry.arg, entry.style);
        const std::wstring number = LogNumber(count, 2);
        WriteSetupLog(
            state, L"ShortCut" + number + L"=" + PathForRecord(entry.dir + L"\\" + entry.nam + L".lnk"),
            0);
        WriteSetupLog(state,
                      L"err" + number + L"=" + (ok ? L"" : L"ショートカットの作成に失敗しました！"),
                      0);
        if (!ok) result = false;
      });
    }
    for (const std::wstring& line : accessLines) WriteSetupLog(state, line, 0);
    WriteSetupLog(state, L"", 0);
    SetLabel(engine.stepLabel, L"");
    SetLabel(engine.itemLabel, L"");
    engine.window.Dispゲージ(-1);
    engine.window.DoEvents();
  });
  return result;
}

const ICodePages& CodePagesOf(InstallerState& state) {
  const auto& windows = state.seams.windows.windows;
  return windows ? windows->CodePages() : SystemCodePages();
}

}  // namespace norvale
