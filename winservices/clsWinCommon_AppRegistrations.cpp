// The registry entries through which Windows knows the installed product:
// the Uninstall entry, file associations, the run-as-administrator flags and
// the automatic logon switch.
#include "clsWinCommon.h"

#include "Text.h"

using namespace norvale;

namespace {

const wchar_t kUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const wchar_t kClassesKey[] = L"SOFTWARE\\Classes";
const wchar_t kLayersKey[] =
    L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Layers";
const wchar_t kWinlogonKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const wchar_t kRunAsAdmin[] = L"~ RUNASADMIN";

bool WriteText(HKEY key, const std::wstring& name, const std::wstring& text) {
  return RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) ==
         ERROR_SUCCESS;
}

bool WriteDword(HKEY key, const std::wstring& name, int32_t number) {
  return RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                        sizeof(number)) == ERROR_SUCCESS;
}

// The default value of a key below an open key, when it is a text.
std::optional<std::wstring> DefaultTextOf(HKEY parent, const std::wstring& path) {
  DWORD size = 0;
  if (RegGetValueW(parent, path.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, nullptr, &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::vector<wchar_t> text(size / sizeof(wchar_t) + 1, L'\0');
  DWORD got = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  if (RegGetValueW(parent, path.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, text.data(), &got) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  return CutAtNull(std::wstring_view(text.data(), text.size()));
}

// Registry names compare as the registry itself compares them: ordinal,
// ignoring case.
bool SameRegistryName(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace

bool clsWinCommon::REG_CreateApLink(const std::wstring& aIdName, const std::wstring& aExtName,
                                    const std::wstring& aDispName,
                                    const std::wstring& aExePath) {
  try {
    if (IsBlank(aIdName) || IsBlank(aExtName) || IsBlank(aDispName) || IsBlank(aExePath)) {
      return false;
    }
    const std::wstring command = L"\"" + aExePath + L"\" \"%1\"";
    const std::wstring idKey = std::wstring(kClassesKey) + L"\\" + aIdName;
    struct Step {
      std::wstring path;
      const std::wstring* defaultValue;
    };
    const Step steps[] = {
        {idKey, &aDispName},
        {idKey + L"\\shell", nullptr},
        {idKey + L"\\shell\\open", nullptr},
        {idKey + L"\\shell\\open\\command", &command},
        {std::wstring(kClassesKey) + L"\\" + aExtName, &aIdName},
    };
    for (const Step& step : steps) {
      RegKey key = OpenOrCreateKey(HKEY_LOCAL_MACHINE, step.path, KEY_ALL_ACCESS);
      if (!key) return false;
      if (step.defaultValue && !WriteText(key.Get(), L"", *step.defaultValue)) return false;
      if (!CloseRegKey(key)) return false;
    }
    return true;
  } catch (...) {
    return false;
  }
}

bool clsWinCommon::AutoNtLogOn(int16_t LogOnKbn) {
  try {
    if (!IsWinNT()) return false;
    if (LogOnKbn != 0) {
      return SetRegValue(HKEY_LOCAL_MACHINE, kWinlogonKey, L"AutoAdminLogon",
                         std::wstring(L"1"));
    }
    const RegVariant current =
        GetRegValue(HKEY_LOCAL_MACHINE, kWinlogonKey, L"AutoAdminLogon", std::wstring());
    const std::wstring* text = std::get_if<std::wstring>(&current);
    if (!text || text->empty()) return false;
    return DelRegValue(HKEY_LOCAL_MACHINE, kWinlogonKey, L"AutoAdminLogon");
  } catch (...) {
    return false;
  }
}

bool clsWinCommon::REG_DeleteApLink(const std::wstring& aIdName, const std::wstring& aExtName) {
  try {
    if (IsBlank(aIdName) || IsBlank(aExtName)) return false;
    bool result = true;
    const std::wstring idKey = std::wstring(kClassesKey) + L"\\" + aIdName;
    // Bottom-up, each key only once it has no subkeys left: a key that
    // something else put more below stays, and the result says so.
    const std::pair<std::wstring, const wchar_t*> levels[] = {
        {idKey + L"\\shell\\open", L"command"},
        {idKey + L"\\shell", L"open"},
        {idKey, L"shell"},
    };
    for (const auto& [parentPath, child] : levels) {
      RegKey parent = OpenKey(HKEY_LOCAL_MACHINE, parentPath, KEY_ALL_ACCESS);
      if (!parent) continue;
      if (!DeleteSubKeyOf(parent.Get(), child, 0)) result = false;
      if (!CloseRegKey(parent)) result = false;
    }
    RegKey classes = OpenKey(HKEY_LOCAL_MACHINE, kClassesKey, KEY_ALL_ACCESS);
    if (!classes) return false;
    if (!DeleteSubKeyOf(classes.Get(), aIdName, 0)) result = false;
    // The extension may have been taken over by another program since: it is
    // ours to remove only while it still names this id.
    const std::optional<std::wstring> owner = DefaultTextOf(classes.Get(), aExtName);
    if (owner && SameRegistryName(*owner, aIdName)) {
      if (!DeleteSubKeyOf(classes.Get(), aExtName, 0)) result = false;
    }
    if (!CloseRegKey(classes)) result = false;
    return result;
  } catch (...) {
    return false;
  }
}

bool clsWinCommon::REG_UninstApRegst(const std::wstring& aAppId, const std::wstring& aAppName,
                                     const std::wstring& aAppVer, const std::wstring& aAppPath,
                                     const std::wstring& aIconGroup, const std::wstring& aDate,
                                     const std::wstring& aPublisher,
                                     const std::wstring& aUninstall,
                                     const std::wstring& aQuietUninstall,
                                     int32_t aUsedDiskSize) {
  try {
    if (IsBlank(aAppId) || IsBlank(aAppName) || IsBlank(aAppPath) || IsBlank(aUninstall)) {
      return false;
    }
    const REGSAM view = IsWow64() ? KEY_WOW64_64KEY : 0;
    RegKey key = OpenOrCreateKey(HKEY_LOCAL_MACHINE, std::wstring(kUninstallKey) + L"\\" + aAppId,
                                 KEY_ALL_ACCESS | view);
    if (!key) return false;
    bool result = true;
    const std::pair<const wchar_t*, const std::wstring*> texts[] = {
        {L"DisplayName", &aAppName},       {L"DisplayVersion", &aAppVer},
        {L"AppPath", &aAppPath},           {L"InstallLocation", &aAppPath},
        {L"IconGroup", &aIconGroup},       {L"InstallDate", &aDate},
        {L"Publisher", &aPublisher},       {L"UninstallString", &aUninstall},
        {L"QuietUninstallString", &aQuietUninstall},
    };
    for (const auto& [name, text] : texts) {
      if (!WriteText(key.Get(), name, *text)) result = false;
    }
    if (!WriteDword(key.Get(), L"NoModify", 1)) result = false;
    if (!WriteDword(key.Get(), L"NoRepair", 1)) result = false;
    if (aUsedDiskSize > 0 && !WriteDword(key.Get(), L"EstimatedSize", aUsedDiskSize)) {
      result = false;
    }
    if (!CloseRegKey(key)) result = false;
    return result;
  } catch (...) {
    return false;
  }
}

bool clsWinCommon::REG_UninstApUnRegst(const std::wstring& aAppId) {
  try {
    if (IsBlank(aAppId)) return false;
    const REGSAM view = IsWow64() ? KEY_WOW64_64KEY : 0;
    RegKey parent = OpenKey(HKEY_LOCAL_MACHINE, kUninstallKey, KEY_ALL_ACCESS | view);
    // Nothing could be removed: the entry may well still be there.
    if (!parent) return false;
    bool result = DeleteSubKeyOf(parent.Get(), aAppId, view);
    if (!CloseRegKey(parent)) result = false;
    return result;
  } catch (...) {
    return false;
  }
}

bool clsWinCommon::REG_IsApInstalled(const std::wstring& aAppId) {
  try {
    if (IsBlank(aAppId)) return false;
    const std::wstring path = std::wstring(kUninstallKey) + L"\\" + aAppId;
    if (OpenKey(HKEY_LOCAL_MACHINE, path, KEY_READ)) return true;
    return static_cast<bool>(OpenKey(HKEY_LOCAL_MACHINE, path, KEY_READ | KEY_WOW64_64KEY));
  } catch (...) {
    return false;
  }
}

// Nothing when the Layers key can neither be opened nor created; else whether
// the value was written.
std::optional<bool> clsWinCommon::WriteRunAsAdminValue(const std::wstring& a4DPath,
                                                       REGSAM view) {
  RegKey layers = OpenOrCreateKey(HKEY_LOCAL_MACHINE, kLayersKey, KEY_ALL_ACCESS | view);
  if (!layers) return std::nullopt;
  return WriteText(layers.Get(), a4DPath, kRunAsAdmin);
}

bool clsWinCommon::REG_4DLayersRegst(const std::wstring& a4DPath) {
  try {
    if (IsBlank(a4DPath)) return false;
    const std::optional<bool> written = WriteRunAsAdminValue(a4DPath, 0);
    if (!written) return false;
    bool result = *written;
    if (IsWow64()) {
      const std::optional<bool> written64 = WriteRunAsAdminValue(a4DPath, KEY_WOW64_64KEY);
      if (!written64) return false;
      if (!*written64) result = false;
    }
    return result;
  } catch (...) {
    return false;
  }
}

bool clsWinCommon::REG_4DLayersUnRegst(const std::wstring& a4DPath) {
  try {
    if (IsBlank(a4DPath)) return false;
    bool result = true;
    if (RegKey layers = OpenKey(HKEY_LOCAL_MACHINE, kLayersKey, KEY_ALL_ACCESS)) {
      if (RegDeleteValueW(layers.Get(), a4DPath.c_str()) != ERROR_SUCCESS) result = false;
    }
    if (IsWow64()) {
      RegKey layers = OpenKey(HKEY_LOCAL_MACHINE, kLayersKey, KEY_ALL_ACCESS | KEY_WOW64_64KEY);
      if (!layers) return result;
      if (RegDeleteValueW(layers.Get(), a4DPath.c_str()) != ERROR_SUCCESS) result = false;
    }
    return result;
  } catch (...) {
    return false;
  }
}
