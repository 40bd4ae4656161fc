#include "clsLZH.h"

#include <cstdio>

#include "EngineSupport.h"
#include "FileSystem.h"
#include "Handles.h"
#include "Text.h"

using namespace norvale;
using norvale::engine::EndsWithIgnoreCase;
using norvale::engine::EqualsIgnoreCase;

namespace {

using CommandFunction = int(WINAPI*)(HWND, LPCSTR, LPSTR, DWORD);
using CheckFunction = BOOL(WINAPI*)(LPCSTR, int);
using ModeFunction = BOOL(WINAPI*)(BOOL);

constexpr size_t kExtractBufferChars = 64010;
constexpr size_t kAddBufferChars = 4096;

// The text as the DLL receives it, or nothing when the ANSI code page cannot
// carry it: a character it lacks would arrive as "?", which the DLLs read
// as a wildcard, so the command would name other files than the caller's.
std::optional<std::string> ExactAnsi(const std::wstring& text) {
  std::string bytes = ToAnsi(text);
  if (FromAnsi(bytes) != text) return std::nullopt;
  return bytes;
}

bool EndsInZipName(const std::wstring& token) {
  return EndsWithIgnoreCase(token, L".zip") || EndsWithIgnoreCase(token, L".zip\"");
}

bool NamesOutputFolder(const std::wstring& token) {
  return token.ends_with(L"\\") || token.ends_with(L"\\\"");
}

class WaitCursor {
 public:
  WaitCursor() { SetCursor(LoadCursorW(nullptr, IDC_WAIT)); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
  ~WaitCursor() { SetCursor(LoadCursorW(nullptr, IDC_ARROW)); }
};

}  // namespace

struct clsLZH::ArchiveDll {
  ArchiveDll(std::wstring libraryName, const char* command, const char* check,
             const char* cursorMode, const char* backgroundMode)
      : library(std::move(libraryName)),
        commandName(command),
        checkName(check),
        cursorModeName(cursorMode),
        backgroundModeName(backgroundMode) {}

  std::wstring library;
  const char* commandName;
  const char* checkName;
  const char* cursorModeName;
  const char* backgroundModeName;
  bool tried = false;
  LoadedModule module;
  CommandFunction command = nullptr;
  CheckFunction check = nullptr;
  ModeFunction cursorMode = nullptr;
  ModeFunction backgroundMode = nullptr;

  // Binds the DLL on its first use; later uses reuse the first answer.
  bool Bind() {
    if (!tried) {
      tried = true;
      module.Reset(LoadLibraryW(library.c_str()));
      if (module) {
        command = reinterpret_cast<CommandFunction>(
            reinterpret_cast<void*>(GetProcAddress(module.Get(), commandName)));
        check = reinterpret_cast<CheckFunction>(
            reinterpret_cast<void*>(GetProcAddress(module.Get(), checkName)));
        cursorMode = reinterpret_cast<ModeFunction>(
            reinterpret_cast<void*>(GetProcAddress(module.Get(), cursorModeName)));
        backgroundMode = reinterpret_cast<ModeFunction>(
            reinterpret_cast<void*>(GetProcAddress(module.Get(), backgroundModeName)));
      }
    }
    return module.Valid();
  }

  void PrepareModes() {
    if (cursorMode) cursorMode(FALSE);
    if (backgroundMode) backgroundMode(TRUE);
  }
};

clsLZH::clsLZH(std::wstring sevenZipLibrary, std::wstring unlhaLibrary,
               std::shared_ptr<IClock> clock)
    : clock_(std::move(clock)),
      sevenZip_(std::make_unique<ArchiveDll>(std::move(sevenZipLibrary), "SevenZip",
                                             "SevenZipCheckArchive", "SevenZipSetCursorMode",
                                             "SevenZipSetBackGroundMode")),
      unlha_(std::make_unique<ArchiveDll>(std::move(unlhaLibrary), "Unlha", "UnlhaCheckArchive",
                                          "UnlhaSetCursorMode", "UnlhaSetBackGroundMode")) {}

clsLZH::~clsLZH() = default;

std::vector<std::wstring> clsLZH::SplitCommandTokens(const std::wstring& command) {
  std::vector<std::wstring> tokens;
  // The next blank at or after pos that no open double quote holds; each
  // search starts right after such a blank, so no quote is open at pos.
  auto nextSeparator = [&](size_t pos) {
    bool quoted = false;
    for (size_t at = pos; at < command.size(); ++at) {
      if (command[at] == L'"') quoted = !quoted;
      if (command[at] == L' ' && !quoted) return at;
    }
    return std::wstring::npos;
  };
  size_t pos = 0;
  while (pos < command.size()) {
    const size_t blank = nextSeparator(pos);
    if (blank == std::wstring::npos) {
      // A command without any separating blank yields no token at all.
      if (pos == 0) break;
      const std::wstring rest = Trim(std::wstring_view(command).substr(pos));
      if (!rest.empty()) tokens.push_back(rest);
      break;
    }
    const std::wstring piece = Trim(std::wstring_view(command).substr(pos, blank - pos));
    if (!piece.empty()) tokens.push_back(piece);
    pos = blank + 1;
  }
  return tokens;
}

std::wstring clsLZH::GetFileID(const std::wstring& File_Path) {
  return engine::OrFailure<std::wstring>(L"", [&] { return AfterLast(Trim(File_Path), L'\\'); });
}

std::wstring clsLZH::GetParentPath(const std::wstring& path) {
  return engine::OrFailure<std::wstring>(L"", [&] { return BeforeLast(Trim(path), L'\\'); });
}

bool clsLZH::RunCommand(ArchiveDll& dll, const std::wstring& command, size_t bufferChars) {
  if (!dll.Bind() || !dll.command) return false;
  dll.PrepareModes();
  const std::optional<std::string> ansi = ExactAnsi(command);
  if (!ansi) return false;
  std::string buffer(bufferChars, ' ');
  buffer.push_back('\0');
  return dll.command(nullptr, ansi->c_str(), buffer.data(), static_cast<DWORD>(bufferChars)) == 0;
}

bool clsLZH::CheckArchive(ArchiveDll& dll, const std::wstring& path) {
  if (!dll.Bind() || !dll.check) return false;
  dll.PrepareModes();
  const std::optional<std::string> ansi = ExactAnsi(path);
  if (!ansi) return false;
  return dll.check(ansi->c_str(), 2) != 0;
}

bool clsLZH::LHA_LzhAddFiles(const std::wstring& strSw, const std::wstring& strLzhName,
                             const std::wstring& strFiles, bool IsCursDisplayOn,
                             int32_t lngFileMode) {
  return engine::OrFailure(false, [&] {
    if (IsBlank(strFiles) || IsBlank(strLzhName)) return false;
    if (lngFileMode == 1) return ZipAddFiles(strSw, strLzhName, strFiles, IsCursDisplayOn);
    std::wstring command = L"A ";
    if (!IsCursDisplayOn) command += L"-n1 ";
    command += Trim(strSw) + L" " + Trim(strLzhName) + L" " + Trim(strFiles);
    WaitCursor wait;
    return RunCommand(*unlha_, command, kAddBufferChars);
  });
}

bool clsLZH::LHA_UnLha(const std::wstring& strCommanad, bool IsCursDisplayOn) {
  return engine::OrFailure(false, [&] {
    if (IsBlank(strCommanad)) return false;
    for (const std::wstring& token : SplitCommandTokens(strCommanad)) {
      if (EndsInZipName(token)) return ZipExtract(strCommanad, IsCursDisplayOn);
    }
    std::wstring command = strCommanad;
    if (!IsCursDisplayOn) command = L"-n1 " + command;
    command = L"-y1 " + command;
    return RunCommand(*unlha_, Trim(command), kExtractBufferChars);
  });
}

bool clsLZH::IsLzhFileOK(const std::wstring& strLzhPathd) {
  return engine::OrFailure(false, [&] {
    if (IsBlank(strLzhPathd)) return false;
    if (IsZipFile(strLzhPathd)) return IsZipFileOK(strLzhPathd);
    return CheckArchive(*unlha_, strLzhPathd);
  });
}

bool clsLZH::IsZipFileOK(const std::wstring& path) {
  return engine::OrFailure(false, [&] {
    if (IsBlank(path)) return false;
    return CheckArchive(*sevenZip_, path);
  });
}

bool clsLZH::ZipAddFiles(const std::wstring& switches, const std::wstring& archive,
                         const std::wstring& files, bool IsCursDisplayOn) {
  return engine::OrFailure(false, [&] {
    if (IsBlank(files) || IsBlank(archive)) return false;
    std::wstring command = L"a  -tzip ";
    if (!IsCursDisplayOn) command += L"-hide ";
    std::wstring unquotedFiles = Trim(files);
    std::erase(unquotedFiles, L'"');
    command += Trim(switches) + L" " + Trim(archive) + L" " + unquotedFiles;
    WaitCursor wait;
    return RunCommand(*sevenZip_, command, kAddBufferChars);
  });
}

bool clsLZH::ZipExtract(const std::wstring& command, bool IsCursDisplayOn) {
  return engine::OrFailure(false, [&] {
    if (IsBlank(command)) return false;
    std::wstring translated;
    for (const std::wstring& token : SplitCommandTokens(command)) {
      translated += L" " + (NamesOutputFolder(token) ? L"-o" + token : token);
    }
    if (!IsCursDisplayOn) translated = L"-hide " + translated;
    return RunCommand(*sevenZip_, Trim(translated), kExtractBufferChars);
  });
}

bool clsLZH::IsZipFile(const std::wstring& path) {
  return !IsBlank(path) && EndsWithIgnoreCase(path, L".ZIP");
}

int32_t clsLZH::CompDelFiles(int32_t CompMode, const std::wstring& strFilePath,
                             const std::wstring& strCompFilePath, bool IsCompFileAdd,
                             bool IsCursDisplayOn) {
  return engine::OrFailure<int32_t>(-1, [&]() -> int32_t {
    const std::wstring folder =
        GetParentPath(IsBlank(strCompFilePath) ? strFilePath : strCompFilePath);
    std::wstring name = GetFileID(strCompFilePath);
    if (IsBlank(name)) {
      const SYSTEMTIME today = clock_->LocalNow();
      wchar_t date[16] = {};
      swprintf(date, 16, L"%04u%02u%02u", today.wYear, today.wMonth, today.wDay);
      const wchar_t* extension = CompMode == 0 ? L"LZH" : CompMode == 2 ? L"CAB" : L"ZIP";
      name = std::wstring(L"BackUp_") + date + L"." + extension;
    }
    std::vector<std::wstring> listed;
    const std::wstring sourceFolder = GetParentPath(strFilePath);
    for (const FoundFile& found : ListFiles(Trim(strFilePath), false)) {
      const size_t dot = found.name.find(L'.');
      const std::wstring extension = dot == std::wstring::npos ? L"" : found.name.substr(dot + 1);
      if (EqualsIgnoreCase(extension, L"LZH") || EqualsIgnoreCase(extension, L"ZIP") ||
          EqualsIgnoreCase(extension, L"CAB")) {
        continue;
      }
      listed.push_back(sourceFolder + L"\\" + found.name);
    }
    if (listed.empty()) return 0;
    std::wstring fileList;
    for (const std::wstring& path : listed) fileList += L" \"" + path + L"\"";
    const std::wstring archive = folder + L"\\" + name;
    // A stale archive that cannot be deleted is added to instead; its files
    // are then still packed before they are deleted.
    if (!IsCompFileAdd && FileExists(archive)) engine::DeleteFileGuarded(archive);
    if (!LHA_LzhAddFiles(L"", L"\"" + archive + L"\"", fileList, IsCursDisplayOn, CompMode)) {
      return -1;
    }
    if (!FileExists(archive)) return -1;
    for (const std::wstring& path : listed) {
      if (!engine::DeleteFileGuarded(path)) return -1;
    }
    return static_cast<int32_t>(listed.size());
  });
}
