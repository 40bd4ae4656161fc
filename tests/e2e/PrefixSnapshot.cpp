#include "PrefixSnapshot.h"

#include <windows.h>

#include <cwctype>

#include "Handles.h"
#include "WinHandles.h"

namespace e2e {
namespace {

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
  return text;
}

std::wstring Hex(const BYTE* data, DWORD size) {
  static const wchar_t digits[] = L"0123456789abcdef";
  std::wstring text;
  for (DWORD i = 0; i < size; ++i) {
    text += digits[data[i] >> 4];
    text += digits[data[i] & 15];
  }
  return text;
}

// Registry trees that a product writes to; Wine's own keys below them churn
// with every program start and are left out by name.
struct Tree {
  HKEY root;
  const wchar_t* rootName;
  const wchar_t* path;
};
const Tree kTrees[] = {{HKEY_LOCAL_MACHINE, L"HKLM", L"Software"},
                       {HKEY_CURRENT_USER, L"HKCU", L"Software"}};
const wchar_t* const kChurningKeys[] = {L"\\software\\wine", L"\\explorer\\", L"\\shellnoroam",
                                        L"\\muicache", L"\\internet settings",
                                        L"\\fontsubstitutes"};

}  // namespace

PrefixSnapshot::PrefixSnapshot(std::vector<std::wstring> excludedFolders) {
  for (std::wstring& folder : excludedFolders) excluded_.push_back(Lower(folder));
}

bool PrefixSnapshot::Excluded(const std::wstring& path) const {
  const std::wstring lower = Lower(path);
  for (const std::wstring& folder : excluded_) {
    if (!folder.empty() && folder.back() == L'*') {
      if (lower.compare(0, folder.size() - 1, folder, 0, folder.size() - 1) == 0) return true;
      continue;
    }
    if (lower.size() >= folder.size() && lower.compare(0, folder.size(), folder) == 0 &&
        (lower.size() == folder.size() || lower[folder.size()] == L'\\')) {
      return true;
    }
  }
  return false;
}

void PrefixSnapshot::Take() {
  entries_.clear();
  WalkFolder(L"C:");
  for (const Tree& tree : kTrees) {
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
      WalkKey(tree.root, tree.rootName, tree.path, view);
    }
  }
}

void PrefixSnapshot::WalkFolder(const std::wstring& folder) {
  WIN32_FIND_DATAW found{};
  const norvale::FindHandle search(FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic,
                                                    &found, FindExSearchNameMatch, nullptr, 0));
  if (!search) return;
  std::vector<std::wstring> folders;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring path = folder + L"\\" + name;
    if (Excluded(path)) continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      entries_[L"F " + Lower(path) + L"\\"] = L"folder";
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) folders.push_back(path);
      continue;
    }
    const ULONGLONG size = (ULONGLONG(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    const ULONGLONG time =
        (ULONGLONG(found.ftLastWriteTime.dwHighDateTime) << 32) | found.ftLastWriteTime.dwLowDateTime;
    entries_[L"F " + Lower(path)] = std::to_wstring(size) + L" " + std::to_wstring(time);
  } while (FindNextFileW(search.Get(), &found));
  for (const std::wstring& sub : folders) WalkFolder(sub);
}

void PrefixSnapshot::WalkKey(void* root, const std::wstring& rootName, const std::wstring& path,
                             unsigned long view) {
  const std::wstring name = rootName + (view == KEY_WOW64_32KEY ? L"(32)\\" : L"\\") + path;
  const std::wstring lower = Lower(name);
  for (const wchar_t* churn : kChurningKeys) {
    if (lower.find(churn) != std::wstring::npos) return;
  }
  HKEY opened = nullptr;
  if (RegOpenKeyExW(static_cast<HKEY>(root), path.c_str(), 0, KEY_READ | view, &opened) !=
      ERROR_SUCCESS) {
    return;
  }
  const norvale::RegKey key(opened);
  entries_[L"K " + lower + L"\\"] = L"key";
  std::vector<BYTE> data(1 << 16);
  for (DWORD i = 0;; ++i) {
    wchar_t valueName[16384];
    DWORD nameLength = 16384, type = 0, size = static_cast<DWORD>(data.size());
    const LONG got = RegEnumValueW(key.Get(), i, valueName, &nameLength, nullptr, &type, data.data(), &size);
    if (got == ERROR_MORE_DATA) {
      data.resize(size);
      --i;
      continue;
    }
    if (got != ERROR_SUCCESS) break;
    entries_[L"K " + lower + L"\\:" + Lower(std::wstring(valueName, nameLength))] =
        std::to_wstring(type) + L" " + Hex(data.data(), size);
  }
  std::vector<std::wstring> subkeys;
  for (DWORD i = 0;; ++i) {
    wchar_t subName[256];
    DWORD length = 256;
    if (RegEnumKeyExW(key.Get(), i, subName, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      break;
    }
    subkeys.emplace_back(subName, length);
  }
  for (const std::wstring& sub : subkeys) WalkKey(root, rootName, path + L"\\" + sub, view);
}

std::vector<std::wstring> PrefixSnapshot::Differences(const PrefixSnapshot& later) const {
  std::vector<std::wstring> lines;
  for (const auto& [path, value] : entries_) {
    const auto found = later.entries_.find(path);
    if (found == later.entries_.end()) {
      lines.push_back(L"- " + path);
    } else if (found->second != value) {
      lines.push_back(L"~ " + path);
    }
  }
  for (const auto& [path, value] : later.entries_) {
    if (!entries_.count(path)) lines.push_back(L"+ " + path);
  }
  return lines;
}

}  // namespace e2e
