#include "Fonts.h"

#include <shlobj.h>

#include "EngineSupport.h"
#include "FileSystem.h"
#include "FontFiles.h"
#include "Paths.h"
#include "SectionReaders.h"
#include "SetupText.h"
#include "Text.h"

namespace norvale {

const wchar_t kFontAlreadyInstalledText[] = L"フォントは既にインストールされています。";

using engine::OrFailure;
using engine::SkipOnFailure;

namespace {

const wchar_t kAddFontScript[] = L"Add-Font.ps1";
const wchar_t kRemoveFontScript[] = L"Remove-Font.ps1";
const wchar_t kFontCacheFile[] = L"C:\\Windows\\system32\\FNTCACHE.DAT";
const wchar_t kFontWasThereMark[] = L"[font-was-there]";
constexpr unsigned int kJapaneseCodePage = 932;
constexpr int32_t kWindowsFolder = 0x24;     // CSIDL_WINDOWS
constexpr int32_t kMinimisedNoFocus = 6;

std::wstring FontsFolder(FontServices& fonts) {
  return fonts.windows.GetSpecialFolderPath(CSIDL_FONTS);
}

std::wstring PowerShellFolder(FontServices& fonts) {
  return fonts.windows.GetSpecialFolderPath(kWindowsFolder) +
         L"\\system32\\WindowsPowershell\\v1.0";
}

std::wstring ScriptMissingText(const std::wstring& script) {
  return L"PowerShellコマンドファイル(" + script + L"）が存在しません！";
}

// The script beside the program and PowerShell itself; false with the
// message when either is missing.
bool CheckScriptAndPowerShell(FontServices& fonts, const std::wstring& script,
                              std::wstring& message) {
  if (!IsOrdinaryFile(fonts.programFolder + L"\\" + script)) {
    message = ScriptMissingText(script);
    return false;
  }
  const std::wstring folder = PowerShellFolder(fonts);
  if (!FileExists(folder + L"\\powershell.exe")) {
    message = L"PowerShell(" + folder + L"\\powershell.exe" + L"）が存在しません！";
    return false;
  }
  return true;
}

// Both programs run as administrator and the names they pass may come from
// a record any user can edit. Without -File, PowerShell joins its arguments
// into a command and runs it, so ";" or "$(...)" in a name would run as
// code; with -File each argument reaches the script as one literal text.
// Without -NoProfile the account's profile scripts would run inside the
// elevated call, and without -NonInteractive a question would wait in a
// minimised window that no one sees, holding a silent run for good.
std::wstring RunScript(FontServices& fonts, const std::wstring& script,
                       const std::wstring& argument) {
  const auto scriptPath = QuotedArgument(fonts.programFolder + L"\\" + script);
  const auto quotedArgument = QuotedArgument(argument);
  if (!scriptPath || !quotedArgument) {
    return L"PowerShell(" + script + L")を起動できません！";
  }
  const std::wstring arguments =
      L"-ExecutionPolicy unrestricted -NoProfile -NonInteractive -File " + *scriptPath + L" " +
      *quotedArgument;
  const std::wstring error = fonts.windows.RunApplication(
      PowerShellFolder(fonts) + L"\\powershell.exe", true, nullptr, kMinimisedNoFocus, arguments);
  if (fonts.yield) SkipOnFailure(fonts.yield);
  return error;
}

// A font file that Windows protects as its own is none of the product's,
// whatever a record or a setup list names.
bool IsProtectedFont(FontServices& fonts, const std::wstring& name) {
  return fonts.windows.IsSystemProtectedFile(FontsFolder(fonts) + L"\\" + name);
}

// The file is in the Fonts folder and the registry names it.
bool IsFontInstalled(FontServices& fonts, const std::wstring& name) {
  std::wstring existence;
  return vbFileExists(FontsFolder(fonts) + L"\\" + name, existence) &&
         fonts.windows.REG_IsFontInstalled(name);
}

void AppendLine(std::wstring& message, const std::wstring& line) {
  if (line.empty()) return;
  message += message.empty() ? line : L"\r\n" + line;
}

// A route that reported success has installed the font only when the Fonts
// folder holds the file and the registry names it.
bool VerifyInstalled(FontServices& fonts, const std::wstring& name, std::wstring& message) {
  bool ok = true;
  if (!fonts.windows.REG_IsFontInstalled(name)) {
    AppendLine(message, L"レジストリにフォントを登録できませんでした！");
    ok = false;
  }
  std::wstring existence;
  if (!vbFileExists(FontsFolder(fonts) + L"\\" + name, existence)) {
    AppendLine(message, existence.empty()
                            ? L"フォントファイルがFontsフォルダにありません！(" + name + L")"
                            : existence);
    ok = false;
  }
  return ok;
}

// The scripts copy, register and delete; the font table is the program's
// own to change (see FontTable.cpp): a font that was put in place is loaded
// for the running programs, one that goes is unloaded before its file is
// deleted, which a loaded font holds open.
void LoadIntoFontTable(FontServices& fonts, const std::wstring& name) {
  SkipOnFailure([&] {
    if (fonts.fontsShell.AddToFontTable(FontsFolder(fonts) + L"\\" + name)) {
      fonts.fontsShell.BroadcastFontChange();
    }
  });
}

bool UnloadFromFontTable(FontServices& fonts, const std::wstring& name) {
  return OrFailure(false, [&] {
    return fonts.fontsShell.RemoveFromFontTable(FontsFolder(fonts) + L"\\" + name);
  });
}

}  // namespace

bool IsFontFileName(std::wstring_view name) {
  if (name.empty() || name.front() == L' ' || name.back() == L' ' || name.back() == L'.') {
    return false;
  }
  // A script's parameter binding would take a leading "-" for a parameter.
  if (name.front() == L'-') return false;
  if (!IsPlainFileName(name)) return false;
  const size_t dot = name.rfind(L'.');
  return dot != std::wstring_view::npos && dot > 0 && IsFontExtension(name.substr(dot + 1));
}

FontServices FontServicesOf(EngineContext& engine) {
  return FontServices{engine.state.objWinCommon, *engine.seams.fontRegistry,
                      *engine.seams.fontsShell, engine.seams.programFolder,
                      [&window = engine.window] { window.DoEvents(); }};
}

bool vbFileExists(const std::wstring& path, std::wstring& message) {
  message.clear();
  return OrFailure(false, [&] {
    if (IsBlank(path)) {
      message = L"ファイルパスが指定されていません！";
      return false;
    }
    return FileExists(path);
  });
}

bool CheckAddFontScript(FontServices& fonts, std::wstring& message) {
  message.clear();
  return OrFailure(false, [&] { return CheckScriptAndPowerShell(fonts, kAddFontScript, message); });
}

bool CheckRemoveFontScript(FontServices& fonts, std::wstring& message) {
  message.clear();
  return OrFailure(false,
                   [&] { return CheckScriptAndPowerShell(fonts, kRemoveFontScript, message); });
}

void DeleteFontCache() {
  SkipOnFailure([] {
    if (FileExists(kFontCacheFile)) engine::DeleteFileGuarded(kFontCacheFile);
  });
}

bool vbAddFontByPowerShell(FontServices& fonts, const std::wstring& path, std::wstring& message) {
  message.clear();
  return OrFailure(false, [&] {
    if (IsBlank(path)) {
      message = L"ファイルを指定して下さい！";
      return false;
    }
    if (!IsOrdinaryFile(fonts.programFolder + L"\\" + kAddFontScript)) {
      message = ScriptMissingText(kAddFontScript);
      return false;
    }
    const std::wstring name = AfterLast(Trim(path), L'\\');
    if (!IsFontFileName(name)) {
      message = L"ファイルを指定して下さい！";
      return false;
    }
    if (IsFontInstalled(fonts, name)) {
      message = kFontAlreadyInstalledText;
      return true;
    }
    if (!CheckScriptAndPowerShell(fonts, kAddFontScript, message)) return false;
    const std::wstring error = RunScript(fonts, kAddFontScript, Trim(path));
    if (!IsBlank(error)) {
      message = error;
      return false;
    }
    if (!VerifyInstalled(fonts, name, message)) return false;
    LoadIntoFontTable(fonts, name);
    return true;
  });
}

bool vbInstallFont(EngineContext& engine, const std::wstring& path, std::wstring& message) {
  message.clear();
  return OrFailure(false, [&] {
    if (IsBlank(path)) {
      message = L"ファイルを指定して下さい！";
      return false;
    }
    FontServices fonts = FontServicesOf(engine);
    const std::wstring folder = BeforeLast(Trim(path), L'\\');
    const std::wstring name = AfterLast(Trim(path), L'\\');
    if (!IsFontFileName(name)) {
      message = L"ファイルを指定して下さい！";
      return false;
    }
    // An installed font stays as it is, as on the PowerShell route: removed
    // first, it would be lost when the verb then fails. What goes first is a
    // registration of a file that is gone, which would make the verb take
    // the font for installed.
    if (IsFontInstalled(fonts, name)) {
      message = kFontAlreadyInstalledText;
      return true;
    }
    if (!FileExists(FontsFolder(fonts) + L"\\" + name)) vbRemoveFont(fonts, name);
    std::wstring error;
    if (!fonts.fontsShell.InvokeInstall(folder, name, &error)) {
      message = error;
      return false;
    }
    if (!VerifyInstalled(fonts, name, message)) return false;
    engine.state.RestartNeeded = -1;
    return true;
  });
}

bool vbRemoveFontByPowerShell(FontServices& fonts, const std::wstring& name,
                              std::wstring& message) {
  message.clear();
  return OrFailure(false, [&] {
    if (IsBlank(name)) {
      message = L"フォント名を指定して下さい！";
      return false;
    }
    if (!IsFontFileName(name)) {
      message = L"フォント名を指定して下さい！";
      return false;
    }
    if (IsProtectedFont(fonts, name)) {
      message = L"Windowsのフォントは削除できません！(" + name + L")";
      return false;
    }
    if (!CheckScriptAndPowerShell(fonts, kRemoveFontScript, message)) return false;
    const bool unloaded = UnloadFromFontTable(fonts, name);
    const std::wstring error = RunScript(fonts, kRemoveFontScript, name);
    if (!IsBlank(error)) {
      // The font stays installed: the running programs get it back.
      if (unloaded) LoadIntoFontTable(fonts, name);
      return false;
    }
    if (unloaded) SkipOnFailure([&] { fonts.fontsShell.BroadcastFontChange(); });
    if (fonts.windows.REG_IsFontInstalled(name)) fonts.windows.REG_DelFontNameByFileId(name);
    const std::wstring file = FontsFolder(fonts) + L"\\" + name;
    std::wstring text;
    if (vbFileExists(file, text)) engine::DeleteFileGuarded(file, &text);
    if (!text.empty()) message += L"\r\n" + text;
    return IsBlank(message);
  });
}

bool vbRemoveFont(FontServices& fonts, std::wstring fontFileName, std::wstring aStrErrMsg,
                  int16_t* aDelCount) {
  if (aDelCount) *aDelCount = 0;
  int16_t deleted = 0;
  const bool ok = OrFailure(false, [&] {
    if (IsBlank(fontFileName)) {
      aStrErrMsg = L"ファイルを指定して下さい！";
      return false;
    }
    if (!IsFontFileName(fontFileName)) {
      aStrErrMsg = L"ファイルを指定して下さい！";
      return false;
    }
    if (IsProtectedFont(fonts, fontFileName)) return false;
    const std::wstring& name = fontFileName;
    const std::wstring file = FontsFolder(fonts) + L"\\" + name;
    // A file that cannot be deleted does not fail the removal; its
    // registration still goes.
    if (FileExists(file)) engine::DeleteFileGuarded(file);
    std::vector<IFontRegistry::ValueName> values;
    if (!fonts.registry.EnumValues(&values)) return false;
    bool allDeleted = true;
    for (const IFontRegistry::ValueName& value : values) {
      if (value.type != REG_SZ) continue;
      std::wstring data;
      if (!fonts.registry.GetStringValue(value.name, &data)) {
        allDeleted = false;
        continue;
      }
      // As the file system tells names apart: "ＡＲＩＡＬ.TTF" is not
      // "arial.ttf", whatever a comparison for readers would say.
      if (!SamePath(Trim(data), name)) continue;
      if (fonts.registry.DeleteValue(value.name)) {
        ++deleted;
      } else {
        allDeleted = false;
      }
    }
    return allDeleted;
  });
  if (deleted > 0) DeleteFontCache();
  if (aDelCount) *aDelCount = deleted;
  return ok;
}

std::wstring FontWasThereNote(const std::wstring& failure) {
  const std::wstring note = std::wstring(kFontAlreadyInstalledText) + L" " + kFontWasThereMark;
  return IsBlank(failure) ? note : failure + L" " + note;
}

bool IsFontWasThereNote(const std::wstring& err, unsigned int codePage) {
  const std::wstring value = Trim(err);
  const std::wstring mark = kFontWasThereMark;
  if (value.size() >= mark.size() && value.compare(value.size() - mark.size(), mark.size(), mark) == 0) {
    return true;
  }
  // Records without the mark: the text as this code page keeps it (on most
  // code pages but 932 a row of "?"), or as code page 932 wrote it.
  const std::wstring text = kFontAlreadyInstalledText;
  return value == text || value == FromAnsi(ToAnsi(text, codePage), codePage) ||
         value == FromAnsi(ToAnsi(text, kJapaneseCodePage), codePage);
}

std::vector<std::wstring> ProductFontsOfRecord(const std::wstring& recordPath,
                                               const std::wstring& fontsFolder) {
  std::vector<std::wstring> names;
  SkipOnFailure([&] {
    if (IsBlank(fontsFolder) || !IsOrdinaryFile(recordPath)) return;
    int16_t count = 0;
    std::vector<std::wstring> keys, values;
    std::wstring error;
    ReadSectionValues(recordPath, L"Download", count, keys, values, error);
    for (const RecordedDownloadLines& lines : PairDownloadRecordLines(keys, values, count)) {
      if (IsFontWasThereNote(lines.err)) continue;
      const std::wstring dst = ReplaceAll(Trim(lines.dst), L"\\\\", L"\\");
      if (!SamePath(BeforeLast(dst, L'\\'), fontsFolder)) continue;
      const std::wstring name = AfterLast(dst, L'\\');
      if (IsFontFileName(name)) names.push_back(name);
    }
  });
  return names;
}

bool CopyFontToFontsFolder(FontServices& fonts, const std::wstring& path) {
  return OrFailure(false, [&] {
    if (IsBlank(path)) return false;
    std::wstring error;
    return fonts.fontsShell.CopyToFonts(path, &error);
  });
}

}  // namespace norvale
