#include "SystemServices.h"


#include <cwchar>

#include "DeleteGuard.h"
#include "FileSystem.h"
#include "RegVariant.h"
#include "SetupText.h"
#include "StartIni.h"
#include "System.h"
#include "Text.h"

namespace norvale {
namespace {

const wchar_t kUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

struct AliasRow {
  const wchar_t* alias;
  std::vector<std::wstring> codes;
};

const std::vector<AliasRow>& AliasTable() {
  static const std::vector<AliasRow> table = {
      {L"VC_2005_x86",
       {L"{A49F249F-0C91-497F-86DF-B2585E8E76B7}", L"{7299052B-02A4-4627-81F2-1818DA5D550D}",
        L"{837B34E3-7C30-493C-8F6A-2B0F04E2912C}"}},
      {L"VC_2005_x64",
       {L"{6E8E85E8-CE4B-4FF5-91F7-04999C9FAE6A}", L"{03ED71EA-F531-4927-AABD-1C31BCE8E187}",
        L"{071C9B48-7C32-4621-A0AC-3F809523288F}", L"{0F8FB34E-675E-42ED-850B-29D98C2ECE08}",
        L"{6CE5BAE9-D3CA-4B99-891A-1DC6C118A5FC}", L"{85025851-A784-46D8-950D-05CB3CA43A13}"}},
      {L"VC_2008_x86",
       {L"{FF66E9F6-83E7-3A3E-AF14-8DE9A809A6A4}", L"{9A25302D-30C0-39D9-BD6F-21E6EC160475}",
        L"{1F1C2DFC-2D24-3E06-BCB8-725134ADF989}", L"{9BE518E6-ECC6-35A9-88E4-87755C07200F}"}},
      {L"VC_2008_x64",
       {L"{350AA351-21FA-3270-8B7A-835434E766AD}", L"{2B547B43-DB50-3139-9EBE-37D419E0F5FA}",
        L"{8220EEFE-38CD-377E-8595-13398D740ACE}", L"{5827ECE1-AEB0-328E-B813-6FC68622C1F9}",
        L"{4B6C7001-C7D6-3710-913E-5BC23FCE91E6}", L"{977AD349-C2A8-39DD-9273-285C08987C7B}",
        L"{5FCE6D76-F5DC-37AB-B2B8-22AB8CEDB1D4}", L"{515643D1-4E9E-342F-A75A-D1F16448DC04}"}},
      {L"VC_2010_x86",
       {L"{196BB40D-1578-3D01-B289-BEFC77A11A1E}", L"{F0C3E5D1-1ADE-321E-8167-68EF0DE699A5}"}},
      {L"VC_2010_x64",
       {L"{DA5E371C-6333-3D8A-93A4-6FD5B20BCC6E}", L"{C1A35166-4301-38E9-BA67-02823AD72A1B}",
        L"{1D8E6291-B0D5-35EC-8441-6616F567A0F7}", L"{88C73C1C-2DE5-3B01-AFB8-B46EF4AB41CD}"}},
      {L"VC_2005_REDIST_X86", {L"{A49F249F-0C91-497F-86DF-B2585E8E76B7}"}},
      {L"VC_2005_REDIST_X64", {L"{6E8E85E8-CE4B-4FF5-91F7-04999C9FAE6A}"}},
      {L"VC_2005_REDIST_IA64", {L"{03ED71EA-F531-4927-AABD-1C31BCE8E187}"}},
      {L"VC_2005_SP1_REDIST_X86", {L"{7299052B-02A4-4627-81F2-1818DA5D550D}"}},
      {L"VC_2005_SP1_REDIST_X64", {L"{071C9B48-7C32-4621-A0AC-3F809523288F}"}},
      {L"VC_2005_SP1_REDIST_IA64", {L"{0F8FB34E-675E-42ED-850B-29D98C2ECE08}"}},
      {L"VC_2005_SP1_ATL_SEC_UPD_REDIST_X86", {L"{837B34E3-7C30-493C-8F6A-2B0F04E2912C}"}},
      {L"VC_2005_SP1_ATL_SEC_UPD_REDIST_X64", {L"{6CE5BAE9-D3CA-4B99-891A-1DC6C118A5FC}"}},
      {L"VC_2005_SP1_ATL_SEC_UPD_REDIST_IA64", {L"{85025851-A784-46D8-950D-05CB3CA43A13}"}},
      {L"VC_2008_REDIST_X86", {L"{FF66E9F6-83E7-3A3E-AF14-8DE9A809A6A4}"}},
      {L"VC_2008_REDIST_X64", {L"{350AA351-21FA-3270-8B7A-835434E766AD}"}},
      {L"VC_2008_REDIST_IA64", {L"{2B547B43-DB50-3139-9EBE-37D419E0F5FA}"}},
      {L"VC_2008_SP1_REDIST_X86", {L"{9A25302D-30C0-39D9-BD6F-21E6EC160475}"}},
      {L"VC_2008_SP1_REDIST_X64", {L"{8220EEFE-38CD-377E-8595-13398D740ACE}"}},
      {L"VC_2008_SP1_REDIST_IA64", {L"{5827ECE1-AEB0-328E-B813-6FC68622C1F9}"}},
      {L"VC_2008_SP1_ATL_SEC_UPD_REDIST_X86", {L"{1F1C2DFC-2D24-3E06-BCB8-725134ADF989}"}},
      {L"VC_2008_SP1_ATL_SEC_UPD_REDIST_X64", {L"{4B6C7001-C7D6-3710-913E-5BC23FCE91E6}"}},
      {L"VC_2008_SP1_ATL_SEC_UPD_REDIST_IA64", {L"{977AD349-C2A8-39DD-9273-285C08987C7B}"}},
      {L"VC_2008_SP1_MFC_SEC_UPD_REDIST_X86", {L"{9BE518E6-ECC6-35A9-88E4-87755C07200F}"}},
      {L"VC_2008_SP1_MFC_SEC_UPD_REDIST_X64", {L"{5FCE6D76-F5DC-37AB-B2B8-22AB8CEDB1D4}"}},
      {L"VC_2008_SP1_MFC_SEC_UPD_REDIST_IA64", {L"{515643D1-4E9E-342F-A75A-D1F16448DC04}"}},
      {L"VC_2010_REDIST_X86", {L"{196BB40D-1578-3D01-B289-BEFC77A11A1E}"}},
      {L"VC_2010_REDIST_X64", {L"{DA5E371C-6333-3D8A-93A4-6FD5B20BCC6E}"}},
      {L"VC_2010_REDIST_IA64", {L"{C1A35166-4301-38E9-BA67-02823AD72A1B}"}},
      {L"VC_2010_SP1_REDIST_X86", {L"{F0C3E5D1-1ADE-321E-8167-68EF0DE699A5}"}},
      {L"VC_2010_SP1_REDIST_X64", {L"{1D8E6291-B0D5-35EC-8441-6616F567A0F7}"}},
      {L"VC_2010_SP1_REDIST_IA64", {L"{88C73C1C-2DE5-3B01-AFB8-B46EF4AB41CD}"}},
  };
  return table;
}

// A folder that is the current directory cannot be removed; step out of it
// to the root of its drive first.
void LeaveFolder(const std::wstring& folder) {
  wchar_t current[MAX_PATH * 2] = {};
  DWORD length = GetCurrentDirectoryW(MAX_PATH * 2, current);
  if (length == 0 || length >= MAX_PATH * 2) return;
  const std::wstring here = FoldCase(current) + L"\\";
  if (here.rfind(FoldCase(folder) + L"\\", 0) != 0) return;
  const std::wstring letter = GetDriveLetter(folder);
  SetCurrentDirectoryW(((letter.empty() ? std::wstring(L"C") : letter) + L":\\").c_str());
}

std::wstring UninstallValue(clsWinCommon& services, const std::wstring& appId,
                            const std::wstring& name, bool is64BitWindows) {
  const std::wstring key = kUninstallKey + appId;
  const RegVariant fallback = std::wstring();
  RegVariant value = is64BitWindows
                         ? services.GetReg64Value(HKEY_LOCAL_MACHINE, key, name, fallback)
                         : services.GetRegValue(HKEY_LOCAL_MACHINE, key, name, fallback);
  return RegVariantText(value);
}

}  // namespace

bool IsWow64(IWindowsFacts& windows) {
  return ValueOrOnFailure(false, [&] { return windows.IsWow64Process().value_or(false); });
}

bool GetOsVersionInfo(IWindowsFacts& windows, OSVERSIONINFOEXW& record) {
  OSVERSIONINFOEXW info{};
  info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXW);
  if (!ValueOrOnFailure(false, [&] { return windows.GetVersion(info); })) return false;
  // The service-pack text is kept up to its NUL, trimmed and blank-padded.
  std::wstring pack = Trim(CutAtNull(std::wstring_view(info.szCSDVersion, 128)));
  pack.resize(127, L' ');
  std::copy(pack.begin(), pack.end(), info.szCSDVersion);
  info.szCSDVersion[127] = L'\0';
  record = info;
  return true;
}

int32_t GetDriveList(IDriveFacts& drives, std::vector<std::wstring>& roots) {
  roots.assign(1, std::wstring());
  const std::string buffer =
      ValueOrOnFailure(std::string(), [&] { return drives.LogicalDriveStrings(); });
  if (buffer.empty()) return 0;
  for (size_t at = 0; at < buffer.size();) {
    const size_t nul = buffer.find('\0', at);
    if (nul == at) break;
    const std::string piece = buffer.substr(at, nul == std::string::npos ? std::string::npos : nul - at);
    const std::wstring root = Trim(FromAnsi(piece));
    if (!root.empty()) roots.push_back(root);
    if (nul == std::string::npos) break;
    at = nul + 1;
  }
  return static_cast<int32_t>(roots.size() - 1);
}

std::wstring GetDriveLetter(const std::wstring& path) {
  if (IsBlank(path)) return {};
  const size_t colon = path.find(L':');
  if (colon == std::wstring::npos || colon < 1) return {};
  return path.substr(colon - 1, 1);
}

bool vbDeleteFolder(std::wstring strFolder) {
  if (IsBlank(strFolder)) return true;
  if (!strFolder.empty() && strFolder.back() == L'\\') strFolder.pop_back();
  SkipOnFailure([&] { LeaveFolder(strFolder); });
  return ValueOrOnFailure(false, [&] {
    return FolderExists(strFolder) && static_cast<bool>(DeleteTree(strFolder));
  });
}

bool vbDeleteFile(const std::wstring& path, std::wstring& errText) {
  errText.clear();
  if (IsBlank(path)) return true;
  const bool deleted = ValueOrOnFailure(false, [&] {
    const std::wstring refusal = DeleteRefusal(path, DeleteKind::PatternInFolder);
    if (!refusal.empty()) {
      errText = refusal;
      return false;
    }
    const std::wstring folder = BeforeLast(path, L'\\');
    int32_t listError = 0;
    const std::vector<FoundFile> found = ListFiles(path, true, &listError);
    if (found.empty()) {
      errText = SystemErrorText(ERROR_FILE_NOT_FOUND);
      return false;
    }
    for (const FoundFile& file : found) {
      const std::wstring target = folder.empty() ? file.name : folder + L"\\" + file.name;
      // Read-only files go too, but only once the guard has judged each one:
      // a file it refuses keeps its mark.
      const StepDone deleted = norvale::DeleteGuardedFile(norvale::FullPath(target), true);
      if (!deleted) {
        errText = SystemErrorText(deleted.Error().code);
        return false;
      }
    }
    return true;
  });
  if (!deleted && errText.empty()) errText = SystemErrorText(ERROR_GEN_FAILURE);
  return deleted;
}

std::vector<std::wstring> VcRuntimeAlias(const std::wstring& name) {
  for (const AliasRow& row : AliasTable()) {
    if (FoldCase(row.alias) == FoldCase(name)) return row.codes;
  }
  return {};
}

bool IsProductInstalled(clsWinCommon& services, const std::wstring& name) {
  if (IsBlank(name)) return false;
  return ValueOrOnFailure(false, [&] {
    const std::vector<std::wstring> codes = VcRuntimeAlias(name);
    if (codes.empty()) return services.REG_IsApInstalled(name);
    for (const std::wstring& code : codes) {
      if (services.REG_IsApInstalled(code)) return true;
    }
    return false;
  });
}

std::wstring GetInstalledAppPath(clsWinCommon& services, const std::wstring& appId,
                                 bool is64BitWindows) {
  return ValueOrOnFailure(std::wstring(), [&] {
    return UninstallValue(services, appId, L"AppPath", is64BitWindows);
  });
}

std::wstring GetUninstallString(clsWinCommon& services, const std::wstring& appId,
                                bool is64BitWindows) {
  return ValueOrOnFailure(std::wstring(), [&] {
    // The installer quotes a path with blanks (so Windows cannot run another
    // program from its first word); the command's own path has no quotes.
    return TrimQuotes(UninstallValue(services, appId, L"UninstallString", is64BitWindows));
  });
}

bool IsWow64(InstallerState& state) { return IsWow64(*state.seams.windows.windows); }

bool GetOsVersionInfo(InstallerState& state, OSVERSIONINFOEXW& record) {
  return GetOsVersionInfo(*state.seams.windows.windows, record);
}

int32_t GetDriveList(InstallerState& state, std::vector<std::wstring>& roots) {
  return GetDriveList(*state.seams.drives, roots);
}

bool IsProductInstalled(InstallerState& state, const std::wstring& name) {
  return IsProductInstalled(state.objWinCommon, name);
}

std::wstring GetInstalledAppPath(InstallerState& state) {
  return GetInstalledAppPath(state.objWinCommon, state.AppId, state.Is64BitWindows != 0);
}

std::wstring GetUninstallString(InstallerState& state) {
  return GetUninstallString(state.objWinCommon, state.AppId, state.Is64BitWindows != 0);
}

}  // namespace norvale
