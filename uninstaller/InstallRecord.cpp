#include "InstallRecord.h"

#include <set>

#include "FileSystem.h"
#include "FontRemoval.h"
#include "Handles.h"
#include "RemovalGuards.h"
#include "SectionReaders.h"
#include "SetupText.h"
#include "SystemServices.h"
#include "Text.h"

namespace norvale {

const wchar_t kMissingRecordText[] =
    L"セットアップの為の情報ファイルが存在しません！\r\n\r\n（アンイントールを続行することはできません）";

namespace {

constexpr int kWindowsFolder = 36;
constexpr int kTempFolder = 255;
constexpr int kCommonDesktop = 25;
constexpr int kCommonPrograms = 23;
constexpr int kStartup = 7;
constexpr uint64_t kMaxRecordBytes = 32ull * 1024 * 1024;

// The installer blanks every value that holds CR or LF, so a CR or LF that
// does not end a line was put there by someone else: the lines it forges
// are collected (by their value) and never acted on.
std::set<std::wstring> ForgedValues(const std::wstring& path) {
  std::set<std::wstring> forged;
  FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return forged;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.Get(), &size) || static_cast<uint64_t>(size.QuadPart) > kMaxRecordBytes) {
    return forged;
  }
  std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
  DWORD got = 0;
  if (!bytes.empty() && !ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got,
                                  nullptr)) {
    return forged;
  }
  bytes.resize(got);
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find("\r\n", start);
    if (end == std::string::npos) end = bytes.size();
    const std::string line = bytes.substr(start, end - start);
    if (line.find_first_of("\r\n") != std::string::npos) {
      size_t from = 0;
      for (;;) {
        const size_t cut = line.find_first_of("\r\n", from);
        const std::string piece = line.substr(from, cut == std::string::npos ? cut : cut - from);
        const size_t eq = piece.find('=');
        if (eq != std::string::npos) forged.insert(Trim(FromAnsi(piece.substr(eq + 1))));
        if (cut == std::string::npos) break;
        from = cut + 1;
      }
    }
    start = end + 2;
  }
  return forged;
}

bool IsForged(const std::set<std::wstring>& forged, const std::wstring& value) {
  return forged.count(Trim(value)) != 0;
}

// The program's version for the caption: major.minor.revision, the revision
// with at least two digits.
std::wstring CaptionOf(const UninstallerState& state) {
  return state.AppName + L" UnInstaller Ver " + state.ProgramVersion;
}

void AddOption(UninstallerState& state, const wchar_t* name, const wchar_t* caption) {
  UninstOptionEntry option{name, caption, 0, 0};
  option.Value = option.Default;
  state.UninstOptions.push_back(std::move(option));
  state.UninstOptionCount = static_cast<int16_t>(state.UninstOptions.size() - 1);
}

// Drops the entries of the two shared section readers whose values were
// forged or point at places no step may touch.
void DropUnsafeEntries(UninstallerState& state, const std::set<std::wstring>& forged) {
  std::vector<ApFileLinkEntry> links(1);
  for (int16_t i = 1; i <= state.ApFileLinkCount; ++i) {
    const ApFileLinkEntry& e = state.ApFileLinkList[i];
    if (IsForged(forged, e.ext) || IsForged(forged, e.id) || IsForged(forged, e.path) ||
        !IsPlainFileName(Trim(e.id)) || !IsPlainFileName(Trim(e.ext))) {
      continue;
    }
    links.push_back(e);
  }
  state.ApFileLinkList = std::move(links);
  state.ApFileLinkCount = static_cast<int16_t>(state.ApFileLinkList.size() - 1);
  std::vector<AdminExeEntry> admins(1);
  for (int16_t i = 1; i <= state.AdminExeCount; ++i) {
    const AdminExeEntry& e = state.AdminExeList[i];
    if (IsForged(forged, e.exe) || !IsSafeRecordedPath(Trim(e.exe))) continue;
    admins.push_back(e);
  }
  state.AdminExeList = std::move(admins);
  state.AdminExeCount = static_cast<int16_t>(state.AdminExeList.size() - 1);
}

}  // namespace

int16_t LoadInstallRecord(UninstallerState& state) {
  return ValueOrOnFailure<int16_t>(0, [&] { return ReadInstallRecord(state); });
}

int16_t ReadInstallRecord(UninstallerState& state) {
  const std::wstring path = state.objIni.IniFilePath();
  if (!IsOrdinaryFile(path)) {
    state.ErrText = kMissingRecordText;
    return 0;
  }
  const std::set<std::wstring> forged = ForgedValues(path);
  SkipOnFailure([&] { GetOsVersionInfo(*state.services.windows.windows, state.OsVersion); });
  clsWinCommon& win = state.objWinCommon;
  SkipOnFailure([&] { state.WinDir = win.GetSpecialFolderPath(kWindowsFolder); });
  SkipOnFailure([&] { state.TmpDir = win.GetSpecialFolderPath(kTempFolder); });
  SkipOnFailure([&] { state.CommonDesktopDir = win.GetSpecialFolderPath(kCommonDesktop); });
  SkipOnFailure([&] { state.CommonProgramsDir = win.GetSpecialFolderPath(kCommonPrograms); });
  SkipOnFailure([&] { state.StartupDir = win.GetSpecialFolderPath(kStartup); });

  auto setupValue = [&](const wchar_t* key) {
    return ValueOrOnFailure(std::wstring(), [&] {
      std::wstring value = state.objIni.GetINIValue(L"Setup", key, L"", path);
      return IsForged(forged, value) ? std::wstring() : value;
    });
  };
  const std::wstring appId = setupValue(L"AppId");
  state.AppId = IsBlank(appId) ? std::wstring(kDefaultAppId) : appId;
  const std::wstring appName = setupValue(L"AppName");
  state.AppName = IsBlank(appName) ? std::wstring(kDefaultAppName) : appName;
  state.AppVerName = Trim(setupValue(L"AppVerName"));
  SkipOnFailure([&] {
    const std::wstring registered = GetRegisteredAppPath(state);
    state.AppDir = IsBlank(registered) ? setupValue(L"AppDir") : registered;
  });

  std::wstring scratch;
  SkipOnFailure([&] { ReadDownloadRecord(state, scratch); });

  state.OptionTitle = L"アンインストール条件の選択";
  state.OptionSubtitle = L"アンインストール条件を選択して下さい。";
  state.OptionText = L"アンインストール条件を選択して「次へ」をクリックして下さい。";
  state.OptionText2 = L"";
  state.UninstOptions.assign(1, UninstOptionEntry{});
  AddOption(state, L"ファイルリンク", L"ファイルのリンク設定を残す");
  if (ValueOrOnFailure<int16_t>(0, [&] { return HasInstalledFonts(state); })) {
    AddOption(state, L"フォント削除", L"インストールされたフォントを残す");
  }

  SkipOnFailure([&] {
    const std::wstring group = state.objIni.GetINIValue(L"ショートカット", L"Group", L"", path);
    state.ProgramGroupDir = IsForged(forged, group) ? std::wstring() : group;
  });
  SkipOnFailure([&] { ReadShortCutRecord(state); });
  SkipOnFailure([&] {
    std::wstring err;
    ReadApFileLinkSection(path, state.ApFileLinkCount, state.ApFileLinkList, err);
  });
  SkipOnFailure([&] {
    std::wstring err;
    ReadAdminRightsSection(path, state.AdminExeCount, state.AdminExeList, err);
  });
  SkipOnFailure([&] { DropUnsafeEntries(state, forged); });
  state.Caption = CaptionOf(state);
  return -1;
}

std::wstring GetRegisteredAppPath(UninstallerState& state) {
  // The view a 32-bit program sees by default: on 64-bit Windows the
  // installer's entry is not there and the record's AppDir is used.
  return GetInstalledAppPath(state.objWinCommon, state.AppId, false);
}

int16_t ReadDownloadRecord(UninstallerState& state, std::wstring& errText) {
  errText.clear();
  const std::wstring path = state.objIni.IniFilePath();
  ClearList(state.DownloadCount, state.DownloadList);
  int16_t count = 0;
  std::vector<std::wstring> keys, values;
  const int16_t read = ReadSectionValues(path, L"Download", count, keys, values, errText);
  const std::set<std::wstring> forged = ForgedValues(path);
  // A forged line still joins its entry, which it then spoils: it cannot
  // stand in for a line of another entry.
  for (int16_t i = 1; i <= count; ++i) {
    if (IsForged(forged, values[i])) values[i] = L"\x01";
  }
  for (const RecordedDownloadLines& lines : PairDownloadRecordLines(keys, values, count)) {
    DownloadEntry entry;
    entry.src = Trim(lines.src);
    entry.dst = Trim(ReplaceAll(lines.dst, L"\\\\", L"\\"));
    if (IsBlank(entry.src) || IsBlank(entry.dst)) continue;
    if (!HasNoControlCharacters(entry.src) || !IsSafeRecordedPath(entry.dst)) continue;
    // A font that the machine had before the installation carries this note
    // in its err line: it is not the product's, and no step may remove it.
    if (IsFontWasThereNote(lines.err)) continue;
    entry.chk = Trim(lines.chk);
    entry.IsFolder = entry.dst.back() == L'\\' ? -1 : 0;
    entry.IsTemp = ContainsNoCase(entry.dst, L"{tmp}") ? -1 : 0;
    if (!AddToList(state.DownloadCount, state.DownloadList, std::move(entry))) break;
  }
  return read;
}

int16_t ReadShortCutRecord(UninstallerState& state) {
  const std::wstring path = state.objIni.IniFilePath();
  ClearList(state.ShortCutLogCount, state.ShortCutLogList);
  int16_t count = 0;
  std::vector<std::wstring> keys, values;
  std::wstring errText;
  const int16_t read = ReadSectionValues(path, L"ショートカット", count, keys, values, errText);
  const std::set<std::wstring> forged = ForgedValues(path);
  for (int16_t i = 1; i <= count; ++i) {
    if (FoldCase(keys[i].substr(0, 8)) != L"SHORTCUT") continue;
    if (IsBlank(values[i]) || IsForged(forged, values[i])) continue;
    if (!IsSafeRecordedPath(values[i])) continue;
    ShortCutLogEntry entry;
    entry.dir = values[i];
    if (!AddToList(state.ShortCutLogCount, state.ShortCutLogList, std::move(entry))) break;
  }
  return read;
}

}  // namespace norvale
