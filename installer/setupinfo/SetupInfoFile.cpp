#include "SetupInfoFile.h"

#include <cmath>
#include <cwchar>

#include "FileSystem.h"
#include "SectionReaders.h"
#include "SetupText.h"
#include "StartIni.h"
#include "SystemServices.h"
#include "Text.h"

namespace norvale {
namespace {

const wchar_t kDefaultAppId[] = L"{231EFB6B-3A82-475F-B7E1-8E10D420BE40}";
const wchar_t kDefaultAppName[] = L"Norvale";
const wchar_t kFolderHint[] =
    L"続けるには「次へ」をクリックして下さい。別のフォルダを選択するには「参照」をクリックして下さい。";

class SetupInfoValues {
 public:
  explicit SetupInfoValues(InstallerState& state) : state_(state) {}
  // The value, or the default when it is blank; kept as read otherwise.
  std::wstring Get(const std::wstring& section, const std::wstring& key,
                   const std::wstring& fallback = L"") {
    const std::wstring value = state_.objSetupIni.GetINIValue(section, key, L"", L"");
    return IsBlank(value) ? fallback : value;
  }

 private:
  InstallerState& state_;
};

// A folder name that keeps the proposed install folder below its drive.
bool IsSafeFolderName(const std::wstring& name) {
  return !IsBlank(name) && HasNoControlCharacters(name) && name.find(L"..") == std::wstring::npos &&
         name.find(L':') == std::wstring::npos && name[0] != L'\\' && name[0] != L'/';
}

void ChooseDefaultDrive(InstallerState& state) {
  const int64_t freeC = state.seams.drives->FreeSpace(L"C:\\", false);
  int64_t freeD = 0;
  bool haveD = false;
  std::vector<std::wstring> roots;
  const int32_t count = GetDriveList(state, roots);
  for (int32_t i = 1; i <= count; ++i) {
    if (!roots[i].empty() && (roots[i][0] == L'D' || roots[i][0] == L'd')) {
      haveD = true;
      freeD = state.seams.drives->FreeSpace(L"D:\\", false);
      break;
    }
  }
  // Never propose a drive that is not there, even when C: reports no space.
  state.DefaultDrive = (haveD && freeD >= freeC) ? L"D:\\" : L"C:\\";
}

void ReadServer(InstallerState& state) {
  const std::wstring rawIp = state.objSetupIni.GetINIValue(L"server", L"ip", L"", L"");
  const size_t colon = rawIp.find(L':');
  const bool encoded = !state.DecodeKey.empty() && colon != std::wstring::npos && colon >= 1;
  auto value = [&](const std::wstring& key) {
    std::wstring text = state.objSetupIni.GetINIValue(L"server", key, L"", L"");
    if (!encoded) return text;
    bool failed = false;
    text = DecodeIniValue(text, state.DecodeKey, &failed);
    if (failed) {
      AppendErrText(state.ErrText, L"セットアップ情報の[server] " + key + L"の値を復号できませんでした。");
    }
    return text;
  };
  ServerSettings& server = state.DownloadServer;
  const std::wstring ip = value(L"ip"), port = value(L"port"), user = value(L"user"),
                     pw = value(L"pw");
  server.ip = IsBlank(ip) ? state.StartServer.ip : ip;
  if (IsBlank(port)) {
    server.port = state.StartServer.port;
  } else if (auto number = ParsePort(port)) {
    server.port = *number;
  } else {
    server.port = 0;
    AppendErrText(state.ErrText, L"セットアップ情報の[server] portの値が正しくありません（1～65535）：" + port);
  }
  server.user = IsBlank(user) ? state.StartServer.user : user;
  server.pw = IsBlank(pw) ? state.StartServer.pw : pw;
  server.path.clear();
}

void ReadGroups(InstallerState& state) {
  int16_t count = 0;
  std::vector<std::wstring> names, headings;
  ReadSectionValues(state, L"条件", count, names, headings);
  ClearList(state.SelectGroupCount, state.SelectGroups);
  for (int16_t i = 1; i <= count; ++i) {
    AddToList(state.SelectGroupCount, state.SelectGroups,
              SelectGroupEntry{names[i], headings[i], 0, {SelectOptionEntry{}}});
  }
  state.SelectOptionSeq = 0;
  int16_t running = 0;
  for (int16_t i = 1; i <= state.SelectGroupCount; ++i) {
    SelectGroupEntry& group = state.SelectGroups[i];
    int16_t optionCount = 0;
    std::vector<std::wstring> keys, captions;
    ReadSectionValues(state, group.name, optionCount, keys, captions);
    ClearList(group.optionCount, group.options);
    for (int16_t j = 1; j <= optionCount; ++j) {
      if (running >= kMaxListEntries) {
        AppendErrText(state.ErrText, L"セットアップ情報の選択肢が多すぎます！");
        return;
      }
      ++running;
      AddToList(group.optionCount, group.options,
                SelectOptionEntry{keys[j], captions[j], 0, 0, static_cast<int16_t>(j == 1 ? -1 : 0),
                                  running});
    }
  }
}

void ReadInputItems(InstallerState& state) {
  ClearList(state.InputItemCount, state.InputItems);
  InputItemEntry folder;
  folder.heading = L"インストール先の指定";
  folder.description1 = state.AppName + L"のインストール先を指定して下さい。";
  folder.description2 =
      state.AppName + L"をインストールするフォルダを指定して、「次へ」をクリックして下さい。";
  folder.hint = kFolderHint;
  const int64_t gigabytes = state.seams.drives->FreeSpace(state.DefaultDriveRoot, true);
  if (gigabytes != 0) {
    folder.freeSpaceText = state.DefaultDriveRoot + L"ドライブには[" + FormatGigabytes(gigabytes) +
                           L"GB]の空き容量があります。";
  }
  folder.picture = 101;
  folder.kind = 0;
  folder.value = state.DefaultDriveRoot + state.DefaultDirName;
  AddToList(state.InputItemCount, state.InputItems, folder);

  InputItemEntry group;
  group.heading = L"プログラムグループの指定";
  group.description1 = L"プログラムアイコンを作成する場所を指定して下さい。";
  group.description2 = L"セットアップをスタートメニューにプログラムのショートカットを作成します。";
  group.hint = kFolderHint;
  group.picture = 102;
  group.kind = 1;
  group.value = state.objWinCommon.GetSpecialFolderPath(23) + L"\\" + state.DefaultGroupName;
  AddToList(state.InputItemCount, state.InputItems, group);
}

void ReadTasks(InstallerState& state, SetupInfoValues& ini) {
  state.CheckTitle = ini.Get(L"チェック", L"タイトル", L"追加タスクの選択");
  state.CheckText = ini.Get(L"チェック", L"説明", L"実行する追加タスクを選択して下さい。");
  state.CheckInputText = ini.Get(
      L"チェック", L"入力説明",
      L"インストール時に実行する追加タスクを選択して「次へ」をクリックして下さい。");
  state.CheckFooterText = state.objSetupIni.GetINIValue(L"チェック", L"フッター説明", L"", L"");
  ClearList(state.CheckItemCount, state.CheckItems);
  for (int t = 1; t <= kMaxListEntries; ++t) {
    wchar_t number[8];
    std::swprintf(number, 8, L"%02d", t);
    const std::wstring section = std::wstring(L"チェック") + number;
    const std::wstring name = state.objSetupIni.GetINIValue(section, L"名称", L"", L"");
    if (IsBlank(name)) return;
    CheckItemEntry task;
    task.name = name;
    task.heading = state.objSetupIni.GetINIValue(section, L"見出し", L"", L"");
    const std::optional<double> initial =
        ParseNumber(state.objSetupIni.GetINIValue(section, L"初期値", L"", L""));
    task.initial = initial ? ToInt16(*initial).value_or(0) : 0;
    task.checked = task.initial;
    AddToList(state.CheckItemCount, state.CheckItems, task);
  }
  AppendErrText(state.ErrText, L"セットアップ情報の追加タスクが多すぎます！");
}

// -1 to go on with the installation, 0 when the user declined; accepting
// ends the program.
int16_t HandleEarlierInstallation(InstallerState& state) {
  if (!IsProductInstalled(state, state.AppId)) return -1;
  const std::wstring path = GetInstalledAppPath(state);
  const std::wstring command = GetUninstallString(state);
  if (IsBlank(command)) return -1;
  if (!IsOrdinaryFile(command)) {
    // A relative or blank folder would install below the current directory.
    if (IsFullyQualifiedPath(Trim(path)) && path.find(L"..") == std::wstring::npos &&
        HasNoControlCharacters(path)) {
      state.InputItems[1].value = path;
    } else {
      AppendErrText(state.ErrText, L"登録されているインストール先を使用できません：" + path);
    }
    return -1;
  }
  const std::wstring title = state.AppName + L"はインストールされています！";
  const std::wstring text =
      state.AppName +
      L"は既にインストールされています！\r\n\r\nアンインストールする場合は「はい」を、\r\n"
      L"インストールを中止する場合は「いいえ」をクリックして下さい。\r\n\r\n"
      L"★アンインストール終了後、再度、インストーラを起動してください。\r\n\r\n";
  const int answer = state.seams.common.messageBox->Show(
      text, title, MB_YESNO | MB_ICONINFORMATION | MB_DEFBUTTON2);
  if (answer != IDYES) return 0;
  state.objWinCommon.RunApplication(command, false, nullptr, 1, L"");
  std::wstring deleteError;
  vbDeleteFile(state.objSetupIni.IniFilePath(), deleteError);
  state.seams.programEnd->End();
  return 0;
}

}  // namespace

std::wstring FormatGigabytes(int64_t scaledValue) {
  const bool negative = scaledValue < 0;
  const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(scaledValue) : scaledValue;
  // Round half away from zero at two decimals, as number patterns do.
  const uint64_t hundredths = (magnitude + 50) / 100;
  std::wstring whole = std::to_wstring(hundredths / 100);
  for (int at = static_cast<int>(whole.size()) - 3; at > 0; at -= 3) whole.insert(at, L",");
  std::wstring text = (negative && hundredths != 0 ? L"-" : L"") + whole;
  const unsigned fraction = static_cast<unsigned>(hundredths % 100);
  if (fraction != 0) {
    wchar_t digits[4];
    std::swprintf(digits, 4, L"%02u", fraction);
    std::wstring decimals = digits;
    if (decimals.back() == L'0') decimals.pop_back();
    text += L"." + decimals;
  }
  return text;
}

namespace {

int16_t ReadWholeSetupInfo(InstallerState& state) {
  {
    if (!IsOrdinaryFile(state.objSetupIni.IniFilePath())) {
      state.ErrText =
          L"セットアップの為の情報ファイルが存在しません！\r\n\r\n（セットアップを続行することはできません）";
      return 0;
    }
    SetupInfoValues ini(state);
    ClearList(state.SelectGroupCount, state.SelectGroups);
    ReadWindowsFacts(state);
    ChooseDefaultDrive(state);
    ReadSpecialFolders(state);

    state.AlertSpaceOnDisk = 0;
    if (auto alert = ParseNumber(ini.Get(L"Setup", L"AlertSpaceOnDisk", L"0"));
        alert && *alert > 0 && *alert < 9e14) {
      state.AlertSpaceOnDisk = static_cast<int64_t>(std::llround(*alert * 10000));
    }
    const std::wstring filesList = ini.Get(L"Setup", L"InstallFilesList");
    if (filesList.empty() || IsPlainFileName(filesList)) {
      state.InstallFilesList = filesList;
    } else {
      state.InstallFilesList.clear();
      AppendErrText(state.ErrText, L"InstallFilesListのファイル名は使用できません：" + filesList);
    }
    state.AppId = ini.Get(L"Setup", L"AppId", kDefaultAppId);
    state.AppName = ini.Get(L"Setup", L"AppName", kDefaultAppName);
    state.AppVerName = Trim(ini.Get(L"Setup", L"AppVerName"));
    state.AppPublisher = Trim(ini.Get(L"Setup", L"AppPublisher"));
    state.DefaultDriveRoot = ContainsNoCase(state.DefaultDrive, L"D") ? L"D:\\" : L"C:\\";

    // The proposed folder stays one plain folder below the drive root.
    std::wstring safeAppName = state.AppName;
    if (!IsSafeFolderName(safeAppName)) {
      AppendErrText(state.ErrText, L"AppNameはフォルダ名に使用できません：" + safeAppName);
      safeAppName = kDefaultAppName;
    }
    state.DefaultDirName = ini.Get(L"Setup", L"DefaultDirName", state.AppName);
    if (!IsSafeFolderName(state.DefaultDirName)) {
      AppendErrText(state.ErrText,
                    L"DefaultDirNameはインストール先に使用できません：" + state.DefaultDirName);
      state.DefaultDirName = safeAppName;
    }
    state.DefaultGroupName = ini.Get(L"Setup", L"DefaultGroupName", state.AppName);

    ReadServer(state);
    ReadGroups(state);
    ReadInputItems(state);
    ReadTasks(state, ini);

    std::wstring detail;
    if (!ReadDownloadSection(state, detail)) {
      state.ErrText = L"★ダウンロードパラメータエラー！\r\n\r\n[Download]セクションに誤りがあります！\r\n（" +
                      detail + L"）";
      return 0;
    }
    ReadShortCutSection(state);
    ReadApFileLinkSection(state);
    ReadAutoRunSection(state);
    ReadAdminRightsSection(state);

    if (state.objSetupIni.IsSectionExistence(L"Execute")) {
      state.ExecuteCmd = state.objSetupIni.GetINIValue(L"Execute", L"cmd", L"", L"");
      state.ExecutePrm = state.objSetupIni.GetINIValue(L"Execute", L"prm", L"", L"");
      state.ExecuteDsp = state.objSetupIni.GetINIValue(L"Execute", L"dsp", L"", L"");
    }
    state.Caption = InstallerCaption(state, state.AppName);
    return HandleEarlierInstallation(state);
  }
}

}  // namespace

int16_t ReadSetupInfo(InstallerState& state) {
  return ValueOrOnFailure<int16_t>(0, [&] { return ReadWholeSetupInfo(state); });
}

}  // namespace norvale
