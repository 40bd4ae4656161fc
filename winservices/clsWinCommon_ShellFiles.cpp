// Shell file operations and the path texts they build on.
#include "clsWinCommon.h"

#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <vector>

#include "DeleteGuard.h"
#include "Text.h"

using namespace norvale;

namespace {

// The list as the shell takes it: ended by two NUL characters.
std::wstring ShellNameList(const std::wstring& list) {
  std::wstring terminated = list;
  terminated.push_back(L'\0');
  terminated.push_back(L'\0');
  return terminated;
}

}  // namespace

void clsWinCommon::LogRefusedDelete(const std::wstring& member, const std::wstring& path,
                                    const std::wstring& why) {
  // A shell name list separates its names with NULs, which end a log line.
  std::wstring names = path;
  std::replace(names.begin(), names.end(), L'\0', L'|');
  m_Err->ErrLogPut(member + L":削除できない場所のため削除しませんでした(" + names + L") " + why, 1,
                   1, 0, 0, 0);
}

std::wstring clsWinCommon::GetFilePath(const std::wstring& File_Path) {
  try {
    return BeforeLast(Trim(File_Path), L'\\');
  } catch (...) {
    return L"";
  }
}

std::wstring clsWinCommon::GetFileID(const std::wstring& File_Path) {
  try {
    return AfterLast(Trim(File_Path), L'\\');
  } catch (...) {
    return L"";
  }
}

bool clsWinCommon::FileCopy(HWND hwnd, const std::wstring& FromFile, const std::wstring& ToPath,
                            int32_t sw, int32_t flag) {
  try {
    if (FromFile.empty()) return false;
    if (sw < FO_MOVE || sw > FO_RENAME) return false;
    // Without a target the shell would copy into whatever the current
    // directory happens to be.
    if (sw != FO_DELETE && IsBlank(ToPath)) return false;
    // Moving or renaming a folder away deletes it where it was.
    const std::wstring why = ShellOperationRefusal(static_cast<UINT>(sw), FromFile);
    if (!why.empty()) {
      LogRefusedDelete(L"FileCopy", FromFile, why);
      return false;
    }
    const std::wstring from = ShellNameList(FromFile), to = ShellNameList(ToPath);
    SHFILEOPSTRUCTW operation{};
    operation.hwnd = hwnd;
    operation.wFunc = static_cast<UINT>(sw);
    operation.pFrom = from.c_str();
    operation.pTo = to.c_str();
    operation.fFlags = static_cast<FILEOP_FLAGS>(flag & 0xFFFF);
    return windows_.shellFiles->Operate(operation) == 0;
  } catch (...) {
    return false;
  }
}

// A refused name stops the whole delete: nothing of a list is deleted when
// one of its names is not ours to delete.
void clsWinCommon::FileDelete(HWND hwnd, const std::wstring& FromFiles, int16_t sw,
                              bool aIs確認) {
  try {
    const std::wstring why = ShellOperationRefusal(FO_DELETE, FromFiles);
    if (!why.empty()) {
      LogRefusedDelete(L"FileDelete", FromFiles, why);
      return;
    }
    FILEOP_FLAGS flags = sw == 0 ? FOF_ALLOWUNDO : 0;
    if (!aIs確認) flags ^= FOF_SILENT | FOF_NOCONFIRMATION;
    const std::wstring from = ShellNameList(FromFiles);
    SHFILEOPSTRUCTW operation{};
    operation.hwnd = hwnd;
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.fFlags = flags;
    windows_.shellFiles->Operate(operation);
  } catch (...) {
  }
}

int32_t clsWinCommon::MakeDir(const std::wstring& Path) {
  try {
    return SHCreateDirectory(nullptr, Path.c_str());
  } catch (...) {
    return 0;
  }
}

// The guard's tree delete stands in for the scripting runtime's forced
// folder delete: read-only files go too, and links inside are removed as
// links without entering what they point to.
bool clsWinCommon::DeleteFolder(const std::wstring& strFolder) {
  try {
    if (IsBlank(strFolder)) return true;
    const std::wstring folder = Trim(strFolder);
    const std::wstring why = DeleteRefusal(folder);
    if (!why.empty()) {
      LogRefusedDelete(L"DeleteFolder", folder, why);
      return false;
    }
    // The program must not hold the folder as its current directory.
    const std::wstring drive = GetDriveFormPath(folder);
    SetCurrentDirectoryW(((drive.empty() ? L"C" : drive) + L":\\").c_str());
    const bool treeRemoved = static_cast<bool>(DeleteTree(folder));
    const bool folderRemoved = static_cast<bool>(RemoveGuardedFolder(folder));
    return treeRemoved || folderRemoved;
  } catch (...) {
    return false;
  }
}

std::wstring clsWinCommon::GetDriveFormPath(const std::wstring& strPath) {
  try {
    if (IsBlank(strPath)) return L"";
    const size_t colon = strPath.find(L':');
    if (colon == std::wstring::npos || colon == 0) return L"";
    return strPath.substr(colon - 1, 1);
  } catch (...) {
    return L"";
  }
}

std::wstring clsWinCommon::GetFileDisplayName(const std::wstring& File) {
  try {
    SHFILEINFOW info{};
    if (!windows_.drives->DisplayName(File, info)) return L"";
    return CutAtNull(std::wstring_view(info.szDisplayName, MAX_PATH));
  } catch (...) {
    return L"";
  }
}
