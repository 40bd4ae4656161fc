// Installed fonts in the Windows font registry, found by their file name,
// and Windows' protection of its own files, which its fonts have.
#include "clsWinCommon.h"

#include "FileSystem.h"
#include "Paths.h"
#include "Text.h"

using namespace norvale;

namespace {

const wchar_t kFontsKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
const wchar_t kTrueTypeMark[] = L"(TrueType";

// A value name may be up to 16,383 characters; a buffer of that size reads
// every font, whatever the length of the names listed before it.
constexpr DWORD kMaxValueNameChars = 16384;

size_t FindIgnoreCase(const std::wstring& text, std::wstring_view part) {
  if (part.size() > text.size()) return std::wstring::npos;
  for (size_t at = 0; at + part.size() <= text.size(); ++at) {
    if (CompareStringOrdinal(text.c_str() + at, static_cast<int>(part.size()), part.data(),
                             static_cast<int>(part.size()), TRUE) == CSTR_EQUAL) {
      return at;
    }
  }
  return std::wstring::npos;
}

}  // namespace

void clsWinCommon::ForEachFontValue(
    HKEY fonts,
    const std::function<bool(const std::wstring& name, const std::wstring& data)>& visit) {
  std::vector<wchar_t> name(kMaxValueNameChars);
  for (DWORD i = 0;; ++i) {
    DWORD nameChars = kMaxValueNameChars, type = 0, size = 0;
    if (RegEnumValueW(fonts, i, name.data(), &nameChars, nullptr, &type, nullptr, &size) !=
        ERROR_SUCCESS) {
      return;
    }
    if (type != REG_SZ) continue;
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 1, L'\0');
    DWORD dataBytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    nameChars = kMaxValueNameChars;
    if (RegEnumValueW(fonts, i, name.data(), &nameChars, nullptr, &type,
                      reinterpret_cast<BYTE*>(data.data()), &dataBytes) != ERROR_SUCCESS ||
        type != REG_SZ) {
      continue;
    }
    const std::wstring valueName = CutAtNull(std::wstring_view(name.data(), nameChars));
    const std::wstring valueData =
        CutAtNull(std::wstring_view(data.data(), dataBytes / sizeof(wchar_t)));
    if (!visit(valueName, valueData)) return;
  }
}

// Font file names compare as the file system compares names: a comparison
// for readers would take "ＡＲＩＡＬ.TTF" for "arial.ttf" and hand a record's
// full-width spelling Windows' own registration.
bool clsWinCommon::REG_IsFontInstalled(const std::wstring& aFontID, int32_t* aCount) {
  if (aCount) *aCount = 0;
  try {
    if (IsBlank(aFontID)) return false;
    RegKey fonts = OpenKey(HKEY_LOCAL_MACHINE, kFontsKey, KEY_READ);
    if (!fonts) return false;
    int32_t count = 0;
    ForEachFontValue(fonts.Get(), [&](const std::wstring&, const std::wstring& data) {
      if (SameName(data, aFontID)) ++count;
      return true;
    });
    if (aCount) *aCount = count;
    return count > 0;
  } catch (...) {
    if (aCount) *aCount = 0;
    return false;
  }
}

std::wstring clsWinCommon::REG_GetFontNameByFileId(const std::wstring& aFontID) {
  try {
    if (IsBlank(aFontID)) return L"";
    RegKey fonts = OpenKey(HKEY_LOCAL_MACHINE, kFontsKey, KEY_READ);
    if (!fonts) return L"";
    std::wstring found;
    ForEachFontValue(fonts.Get(), [&](const std::wstring& name, const std::wstring& data) {
      if (!SameName(data, aFontID)) return true;
      found = name;
      return false;
    });
    const size_t mark = FindIgnoreCase(found, kTrueTypeMark);
    if (mark != std::wstring::npos) found = Trim(found.substr(0, mark));
    return found;
  } catch (...) {
    return L"";
  }
}

bool clsWinCommon::REG_DelFontNameByFileId(const std::wstring& aFontID) {
  try {
    if (IsBlank(aFontID)) return false;
    RegKey fonts = OpenKey(HKEY_LOCAL_MACHINE, kFontsKey, KEY_ALL_ACCESS);
    if (!fonts) return false;
    std::optional<std::wstring> found;
    ForEachFontValue(fonts.Get(), [&](const std::wstring& name, const std::wstring& data) {
      if (!SameName(data, aFontID)) return true;
      found = name;
      return false;
    });
    // The name is read whole, so the value is deleted under exactly the name
    // it is listed by.
    return found && RegDeleteValueW(fonts.Get(), found->c_str()) == ERROR_SUCCESS;
  } catch (...) {
    return false;
  }
}

bool clsWinCommon::IsSystemProtectedFile(const std::wstring& path) {
  try {
    if (IsBlank(path)) return false;
    // "arial.ttf." and "ARIAL~1.TTF" open the same file as "arial.ttf", but
    // only the full, long name is on Windows' list.
    if (!windows_.protectedFiles) return false;
    const std::wstring full = FullPath(path);
    const std::wstring longForm = LongPath(full);
    return windows_.protectedFiles->IsProtected(longForm.empty() ? full : longForm);
  } catch (...) {
    return false;
  }
}
