#include "UninstallRegistration.h"

#include <windows.h>

#include <cstdio>
#include <vector>

#include "ApFileLinks.h"
#include "FileSystem.h"
#include "FolderAccess.h"
#include "Handles.h"
#include "Paths.h"
#include "ShortCuts.h"
#include "Text.h"

namespace norvale {
namespace {

// The kilobytes of a byte count, kept to four decimals, half up.
int64_t KilobytesScaled(uint64_t bytes) {
  return static_cast<int64_t>((bytes * 10000 * 2 + 1024) / 2048);
}

// Round half to even of a four-decimal value to a whole number.
int32_t RoundHalfEven(int64_t scaled) {
  const bool negative = scaled < 0;
  const int64_t magnitude = negative ? -scaled : scaled;
  int64_t whole = magnitude / 10000;
  const int64_t rest = magnitude % 10000;
  if (rest > 5000 || (rest == 5000 && (whole % 2) != 0)) ++whole;
  return static_cast<int32_t>(negative ? -whole : whole);
}

// A version number part as a 16-bit signed integer would hold it; 0 when the
// text is no number or does not fit.
int32_t VersionPart(const std::wstring& text) {
  const std::wstring t = Trim(text);
  if (t.empty() || t.size() > 6) return 0;
  for (wchar_t c : t) {
    if (c < L'0' || c > L'9') return 0;
  }
  const int32_t value = std::stoi(t);
  return value <= 32767 ? value : 0;
}

std::wstring FileVersionText(const std::wstring& path) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return L"";
  std::vector<BYTE> data(size);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return L"";
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) || !info) {
    return L"";
  }
  return std::to_wstring(HIWORD(info->dwFileVersionMS)) + L"." +
         std::to_wstring(LOWORD(info->dwFileVersionMS)) + L"." +
         std::to_wstring(HIWORD(info->dwFileVersionLS)) + L"." +
         std::to_wstring(LOWORD(info->dwFileVersionLS));
}

bool CopyFileBy(InstallRun& run, const std::wstring& source, const std::wstring& destination) {
  bool ok = false;
  std::wstring ignored;
  SkipOnFailure([&] { ok = run.calls.vbCopyFile(source, destination, true, false, ignored); });
  return ok;
}

}  // namespace

bool IsCommandFileSafePath(const std::wstring& path, unsigned int ansiCodePage,
                           unsigned int oemCodePage, const ICodePages& pages) {
  if (path != Trim(path) || !IsFullProgramPath(path)) return false;
  if (path.find_first_of(L"%*?<>|") != std::wstring::npos) return false;
  return CommandInterpreterReadsExactly(path, ansiCodePage, oemCodePage, pages);
}

const wchar_t kUninstallerFolderAccessComment[] = L";Uninstのアクセス許可=";
const wchar_t kUninstallerFile[] = L"Dekant00.exe";

std::wstring ProtectUninstallerFolder(InstallRun& run, const std::wstring& uninst) {
  return ValueOrOnFailure(std::wstring(L";★Uninstのアクセス許可を設定できませんでした！"), [&] {
    IFolderAccess& access = *run.state.seams.windows.folderAccess;
    if (!access.IsElevated()) {
      return std::wstring(kUninstallerFolderAccessComment) + L"継承(管理者権限なしのインストール)";
    }
    const std::optional<FolderAccessList> list =
        FolderAccessListForThisRun(access, GuardedFolder::kUninstallerFolder);
    if (!list) return std::wstring(L";★Uninstのアクセス許可を作成できませんでした！");
    if (const StepDone applied = access.ApplyToFolder(uninst, *list); !applied) {
      const DWORD error = applied.Error().code;
      return L";★Uninstのアクセス許可を設定できませんでした！(" + std::to_wstring(error) + L")";
    }
    return kUninstallerFolderAccessComment + list->Text();
  });
}

std::wstring UninstallCommand(const std::wstring& uninstallerPath) {
  if (uninstallerPath.find(L' ') == std::wstring::npos) return uninstallerPath;
  return L"\"" + uninstallerPath + L"\"";
}

namespace {

// An install folder the run could not make is not the product's: an entry
// or flag naming its uninstaller would start whatever another user puts in
// that place.
bool FolderRefused(const InstallerState& s) {
  return s.installTree && s.installTree->Refuses();
}

}  // namespace

bool RegstUninstInfo(InstallRun& run) {
  InstallerState& s = run.state;
  bool result = false;
  if (FolderRefused(s)) return false;
  SkipOnFailure([&] {
    const std::wstring app = run.InstallFolder();
    const RegCurrency size = GetFolderSizeKB(app);
    SYSTEMTIME now{};
    GetLocalTime(&now);
    if (s.seams.common.clock) now = s.seams.common.clock->LocalNow();
    wchar_t date[32];
    swprintf(date, 32, L"%04u/%02u/%02u %02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour,
             now.wMinute);
    const std::wstring uninstall = UninstallCommand(app + L"\\Uninst\\" + kUninstallerFile);
    result = s.objWinCommon.REG_UninstApRegst(s.AppId, s.AppName, s.AppVerName, app, s.AppName,
                                              date, s.AppPublisher, uninstall,
                                              uninstall + L" /S", RoundHalfEven(size.scaled));
  });
  return result;
}

RegCurrency GetFolderSizeKB(const std::wstring& folder) {
  const RegCurrency failed = RegCurrency::FromWhole(-1);
  if (IsBlank(folder)) return failed;
  const std::wstring base = folder.back() == L'\\' ? folder : folder + L'\\';
  std::vector<WIN32_FIND_DATAW> entries;
  if (!ListFolderEntries(base, entries)) return failed;
  int64_t total = 0;
  std::vector<std::wstring> subfolders;
  for (const WIN32_FIND_DATAW& found : entries) {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      // A linked folder holds another folder's files, and may lead back up.
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        subfolders.push_back(base + found.cFileName);
      }
    } else {
      total += KilobytesScaled((static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow);
    }
  }
  for (const std::wstring& sub : subfolders) total += GetFolderSizeKB(sub).scaled;
  return RegCurrency{total};
}

bool GetFileVersionParts(const std::wstring& path, int32_t& major, int32_t& minor,
                         int32_t& revision) {
  major = minor = revision = 0;
  if (IsBlank(path) || !FileExists(Trim(path))) return false;
  std::wstring text = FileVersionText(Trim(path));
  size_t dot = text.find(L'.');
  if (dot == std::wstring::npos) return false;
  major = VersionPart(text.substr(0, dot));
  text = text.substr(dot + 1);
  dot = text.find(L'.');
  if (dot == std::wstring::npos) return false;
  minor = VersionPart(text.substr(0, dot));
  text = text.substr(dot + 1);
  dot = text.find(L'.');
  if (dot == std::wstring::npos) return false;
  text = text.substr(dot + 1);
  revision = VersionPart(text);
  return true;
}

bool InstallUninstaller(InstallRun& run) {
  InstallerState& s = run.state;
  bool ok = true;
  const std::wstring app = run.InstallFolder();
  const std::wstring uninst = app + L"\\Uninst";
  const std::wstring from = run.installerFolder;

  int32_t newMajor = 0, newMinor = 0, newRevision = 0;
  SkipOnFailure([&] { GetFileVersionParts(from + L"\\" + kUninstallerFile, newMajor, newMinor, newRevision); });

  for (const wchar_t* script : {L"Add-Font.ps1", L"Remove-Font.ps1"}) {
    if (FileExists(from + L"\\" + script)) CopyFileBy(run, from + L"\\" + script, uninst);
  }
  if (FileExists(from + L"\\7-zip32.dll")) CopyFileBy(run, from + L"\\7-zip32.dll", app);

  const std::wstring installed = uninst + L"\\" + kUninstallerFile;
  if (!FileExists(installed)) {
    CopyFileBy(run, from + L"\\" + kUninstallerFile, uninst);
  } else {
    int32_t oldMajor = 0, oldMinor = 0, oldRevision = 0;
    SkipOnFailure([&] { GetFileVersionParts(installed, oldMajor, oldMinor, oldRevision); });
    const bool older = oldMajor < newMajor || (oldMajor == newMajor && oldMinor < newMinor) ||
                       (oldMajor == newMajor && oldMinor == newMinor && oldRevision < newRevision);
    if (older) CopyFileBy(run, from + L"\\" + kUninstallerFile, uninst);
    // Below a guarded install folder only one an earlier run left where
    // administrators alone could change it is here to be kept. The line
    // holds neither "=" nor the program's name: it ends up in the section of
    // the administrator flags, whose reader takes any line with both.
    run.Log(older ? L";以前のアンインストーラを新しいものに置き換えました"
                  : L";以前のアンインストーラを残しました（新しいものより古くないため）");
  }
  if (!FolderRefused(s)) SkipOnFailure([&] { s.objWinCommon.REG_4DLayersRegst(installed); });

  for (int32_t i = 1; i <= s.DownloadCount && i < static_cast<int32_t>(s.DownloadList.size()); ++i) {
    const DownloadEntry& entry = s.DownloadList[static_cast<size_t>(i)];
    if (entry.IsTemp != -1) continue;
    const bool handled = SkipOnFailure([&] {
      if (entry.IsFolder == -1) {
        if (!run.calls.vbDeleteFolder(entry.dst)) ok = false;
        return;
      }
      const std::wstring name = s.objPublicFunc.GetFileID_FTP(entry.src);
      if (IsBlank(name)) return;
      std::wstring ignored;
      if (!run.calls.vbDeleteFile(entry.dst + L"\\" + name, ignored)) ok = false;
    });
    if (!handled) ok = false;
  }

  std::wstring startIni;
  SkipOnFailure([&] { startIni = s.objStartIni.IniFilePath(); });
  if (!CopyFileBy(run, startIni, app)) ok = false;
  return ok;
}

void vbMakeReplaceCmd(InstallRun& run, const std::wstring& newProgram) {
  SkipOnFailure([&] {
    const std::wstring folder = run.installerFolder;
    const std::wstring exe = run.installerName + L".exe";
    std::wstring tmp;
    SkipOnFailure([&] { tmp = run.calls.ExpandPathMacros(L"{tmp}"); });
    const std::wstring cmdPath = tmp + L"\\ReplaceMe.cmd";
    const std::wstring installer = folder + L"\\" + exe;
    const std::wstring fresh = Trim(newProgram);
    bool done = false;
    const ICodePages& pages = CodePagesOf(run.state);
    auto safePath = [&](const std::wstring& path) {
      return IsCommandFileSafePath(path, CP_ACP, CP_OEMCP, pages);
    };

    // The file may only ever touch the installer, the new program and
    // itself: every path it names is quoted and must be one the command
    // interpreter takes literally, and the new program is never the
    // installer itself by any of its names (its DEL would remove the fresh
    // copy).
    const bool safe = !fresh.empty() && FileExists(fresh) && safePath(fresh) &&
                      safePath(installer) && safePath(cmdPath) && !SamePlace(fresh, installer) &&
                      !SamePlace(fresh, cmdPath);
    if (safe) {
      const std::wstring q = L"\"";
      const std::vector<std::wstring> lines = {
          L"ECHO OFF",
          L"rem このコマンドファイルはQuillonインストーラーにより作成されました。",
          L"",
          L":Lbl0",
          L"TIMEOUT /T 1",
          L"DEL " + q + installer + q,
          L"IF EXIST " + q + installer + q + L" GOTO Lbl0",
          L"TIMEOUT /T 1",
          L"COPY " + q + fresh + q + L" /Y " + q + installer + q,
          L":Lbl1",
          L"TIMEOUT /T 1",
          L"DEL " + q + fresh + q,
          L"IF EXIST " + q + fresh + q + L" GOTO Lbl1",
          L"START " + q + exe + L"を起動しています..." + q + L" " + q + installer + q,
          L"DEL " + q + L"%~f0" + q,
          L"EXIT"};
      std::string bytes;
      // The paths are exact already; elsewhere a character the code page
      // lacks reads "?", never a look-alike.
      for (const std::wstring& line : lines) {
        bytes += ToAnsiNoBestFit(line, CP_ACP, pages) + "\r\n";
      }
      const FileHandle file(CreateFileW(cmdPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
      DWORD written = 0;
      if (file && WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                            nullptr) &&
          written == bytes.size()) {
        done = true;
      }
    }
    SkipOnFailure([&] { SetCurrentDirectoryW(L"C:\\"); });
    run.DoEvents();
    if (done) {
      SkipOnFailure([&] {
        if (run.startCommandFile) {
          run.startCommandFile(cmdPath);
        } else {
          run.state.objWinCommon.ShellExe(cmdPath, L"", 2);
        }
      });
    }
  });
  if (run.endProgram) {
    run.endProgram();
  } else {
    ExitProcess(0);
  }
}

}  // namespace norvale
