// The object itself, the 64-bit test and the general registry members.
#include "clsWinCommon.h"

#include <algorithm>
#include <cstring>

#include "System.h"
#include "Text.h"

using namespace norvale;

namespace {

// Registry limits: a value name holds at most 16,383 characters, a key name
// 255. Buffers of these sizes read every name there is, so a long name never
// ends a listing early.
constexpr DWORD kMaxValueNameChars = 16384;
constexpr DWORD kMaxKeyNameChars = 256;

std::wstring TextOfRegSz(const std::vector<BYTE>& data, DWORD size) {
  std::wstring text(size / sizeof(wchar_t), L'\0');
  if (!text.empty()) memcpy(text.data(), data.data(), text.size() * sizeof(wchar_t));
  return CutAtNull(text);
}

// Reads a value's data, asking again when it grew between the size query and
// the read.
LSTATUS QueryValueData(HKEY key, const std::wstring& name, DWORD& type, std::vector<BYTE>& data,
                       DWORD& size) {
  for (int attempt = 0;; ++attempt) {
    data.assign(size ? size : 1, 0);
    DWORD got = static_cast<DWORD>(data.size());
    LSTATUS status = RegQueryValueExW(key, name.c_str(), nullptr, &type, data.data(), &got);
    if (status == ERROR_MORE_DATA && attempt < 3) {
      size = got;
      continue;
    }
    size = got;
    return status;
  }
}

struct RegDataOf {
  DWORD type;
  std::vector<BYTE> bytes;
};

// How a value is stored: 16- and 32-bit integers and Booleans as a DWORD
// (True is 0xFFFFFFFF), byte arrays as binary data, everything else as its
// text.
struct StoredForm {
  RegDataOf operator()(bool value) const { return Dword(value ? -1 : 0); }
  RegDataOf operator()(int16_t value) const { return Dword(value); }
  RegDataOf operator()(int32_t value) const { return Dword(value); }
  RegDataOf operator()(const RegBytes& value) const { return {REG_BINARY, value}; }
  template <typename T>
  RegDataOf operator()(const T& value) const {
    const std::wstring text = RegVariantText(RegVariant(value));
    std::vector<BYTE> bytes;
    bytes.reserve((text.size() + 1) * sizeof(wchar_t));
    for (wchar_t c : text) {
      bytes.push_back(static_cast<BYTE>(c & 0xFF));
      bytes.push_back(static_cast<BYTE>(c >> 8));
    }
    bytes.insert(bytes.end(), sizeof(wchar_t), 0);
    return {REG_SZ, bytes};
  }
  static RegDataOf Dword(int32_t value) {
    std::vector<BYTE> bytes(sizeof(value));
    memcpy(bytes.data(), &value, sizeof(value));
    return {REG_DWORD, bytes};
  }
};

}  // namespace

clsWinCommon::clsWinCommon(Seams seams, WinServicesSeams windows)
    : seams_(std::move(seams)),
      windows_(std::move(windows)),
      m_Err(std::make_unique<clsError>(seams_)),
      m_Timer(std::make_unique<clsTimer>(seams_.clock)) {}

// An icon the window left in the notification area would stay there until
// the mouse passed over it. Only the record is used: the form may already be
// gone.
clsWinCommon::~clsWinCommon() {
  if (!pFrmApp) return;
  windows_.tray->Notify(NIM_DELETE, m_TrayIcon);
  ReleaseTrayWindow();
  pFrmApp = nullptr;
}

RegKey clsWinCommon::OpenKey(HKEY root, const std::wstring& path, REGSAM access) {
  RegKey key;
  if (windows_.registry->Open(root, path, access, key.Put()) != ERROR_SUCCESS) return RegKey();
  return key;
}

RegKey clsWinCommon::CreateKey(HKEY root, const std::wstring& path, REGSAM access) {
  RegKey key;
  if (windows_.registry->Create(root, path, access, key.Put()) != ERROR_SUCCESS) return RegKey();
  return key;
}

RegKey clsWinCommon::OpenOrCreateKey(HKEY root, const std::wstring& path, REGSAM access) {
  RegKey key = OpenKey(root, path, access);
  if (!key) key = CreateKey(root, path, access);
  return key;
}

bool clsWinCommon::IsWow64() {
  try {
    return windows_.windows->IsWow64Process().value_or(false);
  } catch (...) {
    return false;
  }
}

// Reads need no more than read access: a user without administrator rights
// still sees what is installed.
RegVariant clsWinCommon::ReadRegValue(HKEY hKey, const std::wstring& SubKey,
                                      const std::wstring& KeyName,
                                      const RegVariant& DefaultValue, REGSAM view) {
  try {
    RegKey key = OpenKey(hKey, SubKey, KEY_READ | view);
    if (!key) return DefaultValue;
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key.Get(), KeyName.c_str(), nullptr, &type, nullptr, &size) !=
        ERROR_SUCCESS) {
      return DefaultValue;
    }
    if (type != REG_SZ && type != REG_BINARY && type != REG_DWORD) return DefaultValue;
    std::vector<BYTE> data;
    if (QueryValueData(key.Get(), KeyName, type, data, size) != ERROR_SUCCESS) {
      return DefaultValue;
    }
    switch (type) {
      case REG_SZ:
        return TextOfRegSz(data, size);
      case REG_BINARY:
        return RegBytes(data.begin(), data.begin() + size);
      case REG_DWORD: {
        uint32_t number = 0;
        memcpy(&number, data.data(), std::min<size_t>(size, sizeof(number)));
        return RegCurrency::FromWhole(number);
      }
      default:
        return DefaultValue;
    }
  } catch (...) {
    return DefaultValue;
  }
}

RegVariant clsWinCommon::GetRegValue(HKEY hKey, const std::wstring& SubKey,
                                     const std::wstring& KeyName,
                                     const RegVariant& DefaultValue) {
  return ReadRegValue(hKey, SubKey, KeyName, DefaultValue, 0);
}

RegVariant clsWinCommon::GetReg64Value(HKEY hKey, const std::wstring& SubKey,
                                       const std::wstring& KeyName,
                                       const RegVariant& DefaultValue) {
  return ReadRegValue(hKey, SubKey, KeyName, DefaultValue, KEY_WOW64_64KEY);
}

bool clsWinCommon::SetRegValue(HKEY hKey, const std::wstring& SubKey,
                               const std::wstring& KeyName, const RegVariant& DataValue) {
  try {
    RegKey key = CreateKey(hKey, SubKey, KEY_ALL_ACCESS);
    if (!key) return false;
    const RegDataOf stored = std::visit(StoredForm{}, DataValue);
    bool result = RegSetValueExW(key.Get(), KeyName.c_str(), 0, stored.type,
                                 stored.bytes.empty() ? nullptr : stored.bytes.data(),
                                 static_cast<DWORD>(stored.bytes.size())) == ERROR_SUCCESS;
    if (!CloseRegKey(key)) result = false;
    return result;
  } catch (...) {
    return false;
  }
}

bool clsWinCommon::DelRegValue(HKEY hKey, const std::wstring& SubKey,
                               const std::wstring& KeyName) {
  try {
    RegKey key = OpenKey(hKey, SubKey, KEY_ALL_ACCESS);
    if (!key) return false;
    bool result = RegDeleteValueW(key.Get(), KeyName.c_str()) == ERROR_SUCCESS;
    if (!CloseRegKey(key)) result = false;
    return result;
  } catch (...) {
    return false;
  }
}

int32_t clsWinCommon::ListRegValues(HKEY hKey, const std::wstring& SubKey, REGSAM view) {
  try {
    RegKey key = OpenKey(hKey, SubKey, KEY_READ | view);
    if (!key) return -1;
    std::vector<wchar_t> name(kMaxValueNameChars);
    std::vector<std::wstring> lines;
    for (DWORD i = 0;; ++i) {
      DWORD nameChars = kMaxValueNameChars, type = 0, size = 0;
      if (RegEnumValueW(key.Get(), i, name.data(), &nameChars, nullptr, &type, nullptr,
                        &size) != ERROR_SUCCESS) {
        break;
      }
      std::wstring line = CutAtNull(std::wstring_view(name.data(), nameChars)) + L" = ";
      if (type == REG_SZ || type == REG_BINARY || type == REG_DWORD) {
        std::vector<BYTE> data(size ? size : 1, 0);
        nameChars = kMaxValueNameChars;
        if (RegEnumValueW(key.Get(), i, name.data(), &nameChars, nullptr, &type, data.data(),
                          &size) != ERROR_SUCCESS) {
          // The value changed under us: keep what was listed so far.
          lines.push_back(line);
          m_RegEnumValues = std::move(lines);
          return 0;
        }
        if (type == REG_SZ) {
          line += TextOfRegSz(data, size);
        } else if (type == REG_BINARY) {
          line += FromAnsi(std::string_view(reinterpret_cast<const char*>(data.data()), size));
        } else {
          uint32_t number = 0;
          memcpy(&number, data.data(), std::min<size_t>(size, sizeof(number)));
          line += std::to_wstring(number);
        }
      }
      lines.push_back(std::move(line));
    }
    if (lines.empty()) return -1;
    m_RegEnumValues = std::move(lines);
    return static_cast<int32_t>(m_RegEnumValues.size()) - 1;
  } catch (...) {
    return 0;
  }
}

int32_t clsWinCommon::GetRegEnum(HKEY hKey, const std::wstring& SubKey) {
  return ListRegValues(hKey, SubKey, 0);
}

int32_t clsWinCommon::GetReg64Enum(HKEY hKey, const std::wstring& SubKey) {
  return ListRegValues(hKey, SubKey, KEY_WOW64_64KEY);
}

int32_t clsWinCommon::ListRegSubKeys(HKEY hKey, const std::wstring& SubKey, REGSAM view) {
  try {
    RegKey key = OpenKey(hKey, SubKey, KEY_READ | view);
    if (!key) return -1;
    wchar_t name[kMaxKeyNameChars];
    std::vector<std::wstring> names;
    for (DWORD i = 0;; ++i) {
      DWORD nameChars = kMaxKeyNameChars;
      if (RegEnumKeyExW(key.Get(), i, name, &nameChars, nullptr, nullptr, nullptr, nullptr) !=
          ERROR_SUCCESS) {
        break;
      }
      names.push_back(CutAtNull(std::wstring_view(name, nameChars)));
    }
    if (names.empty()) return -1;
    m_RegEnumSubKeys = std::move(names);
    return static_cast<int32_t>(m_RegEnumSubKeys.size()) - 1;
  } catch (...) {
    return -1;
  }
}

int32_t clsWinCommon::GetRegEnumSubKey(HKEY hKey, const std::wstring& SubKey) {
  return ListRegSubKeys(hKey, SubKey, 0);
}

int32_t clsWinCommon::GetReg64EnumSubKey(HKEY hKey, const std::wstring& SubKey) {
  return ListRegSubKeys(hKey, SubKey, KEY_WOW64_64KEY);
}

// Deletes a key without subkeys of its own below an open parent.
bool clsWinCommon::DeleteSubKeyOf(HKEY parent, const std::wstring& name, REGSAM view) {
  // An empty name would name the parent itself.
  if (name.empty()) return false;
  return RegDeleteKeyExW(parent, name.c_str(), view, 0) == ERROR_SUCCESS;
}

bool clsWinCommon::DelRegSubKey(HKEY hKey, const std::wstring& SubKeyParent,
                                const std::wstring& SubkeyName) {
  try {
    RegKey parent = OpenKey(hKey, SubKeyParent, KEY_ALL_ACCESS);
    if (!parent) return false;
    bool result = DeleteSubKeyOf(parent.Get(), SubkeyName, 0);
    if (!CloseRegKey(parent)) result = false;
    return result;
  } catch (...) {
    return false;
  }
}

bool clsWinCommon::REG_RegFlush() {
  bool result = true;
  for (HKEY root : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS,
                    HKEY_CURRENT_CONFIG}) {
    if (windows_.registry->Flush(root) != ERROR_SUCCESS) result = false;
  }
  // Only the old Windows family has the dynamic-data root; on NT it cannot
  // fail a flush that wrote everything there is.
  if (!IsWinNT() && windows_.registry->Flush(HKEY_DYN_DATA) != ERROR_SUCCESS) result = false;
  return result;
}
