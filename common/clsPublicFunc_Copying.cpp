// Copying a folder's files, and deleting files by pattern, age or presence
// elsewhere. Only files directly in the named folder are handled.
#include "DeleteGuard.h"
#include "FileSystem.h"
#include "RuntimeError.h"
#include "Text.h"
#include "clsPublicFunc.h"

using namespace norvale;

namespace {

// Source of a copy or a selection: something must exist under that name.
bool NamesSomething(const std::wstring& path) {
  return FileExists(path) || FolderExists(path);
}

std::wstring PatternOrAll(const std::wstring& selValue) {
  return IsBlank(selValue) ? L"*.*" : selValue;
}

}  // namespace

bool clsPublicFunc::DirCopy(const std::wstring& aStrSrcDir, const std::wstring& aStrDisDir,
                            const std::wstring& aStrSelValue) {
  try {
    Log(L"clsPublic.DirCopy:'" + aStrSrcDir + L"'→'" + aStrDisDir + L"':" + aStrSelValue);
    if (IsBlank(aStrSrcDir) || !NamesSomething(Trim(aStrSrcDir)) || IsBlank(aStrDisDir)) {
      return false;
    }
    const int32_t folderError = MakeDir(aStrDisDir, nullptr, true);
    if (folderError != 0) {
      seams_.messageBox->Show(
          L"複写先のフォルダを作成できませんでした！\r\n" + RuntimeErrorDescription(folderError),
          L"フォルダを作成できませんでした！", MB_SYSTEMMODAL | MB_ICONSTOP | MB_OK);
      Log(L"clsPublic.DirCopy:" + aStrDisDir + L"を作成できませんでした。");
      return false;
    }
    bool allCopied = true;
    for (const FoundFile& f :
         ListFiles(aStrSrcDir + L"\\" + PatternOrAll(aStrSelValue), true)) {
      const std::wstring src = aStrSrcDir + L"\\" + f.name;
      const std::wstring dst = aStrDisDir + L"\\" + f.name;
      if (CopyFileW(src.c_str(), dst.c_str(), FALSE)) {
        Log(L"clsPublic.DirCopy:" + f.name + L"をCOPYしました。");
      } else {
        Log(L"clsPublic.DirCopy:" + f.name + L"をCOPYできませんでした。");
        allCopied = false;
      }
      seams_.pump->DoEvents();
    }
    return allCopied;
  } catch (...) {
    return false;
  }
}

int32_t clsPublicFunc::DIR_COPY(const std::wstring& aStrSrcDir, const std::wstring& aStrDisDir,
                                const std::wstring& aStrSelValue) {
  try {
    if (IsBlank(aStrSrcDir) || !NamesSomething(Trim(aStrSrcDir)) || IsBlank(aStrDisDir)) {
      return -1;
    }
    if (MakeDir(aStrDisDir, nullptr, true) != 0) {
      Log(L"DIR_COPY [" + aStrDisDir + L"]を作成できませんでした");
      return -1;
    }
    int32_t result = 0;
    for (const FoundFile& f :
         ListFiles(aStrSrcDir + L"\\" + PatternOrAll(aStrSelValue), true)) {
      const std::wstring src = aStrSrcDir + L"\\" + f.name;
      const std::wstring dst = aStrDisDir + L"\\" + f.name;
      if (!CopyFileW(src.c_str(), dst.c_str(), FALSE)) {
        result = LastRuntimeError();
        Log(L"DIR_COPY [" + f.name + L"]をCOPYできませんでした:[" + aStrSrcDir + L"]→[" +
            aStrDisDir + L"]:" + RuntimeErrorDescription(result));
      }
      seams_.pump->DoEvents();
    }
    return result;
  } catch (...) {
    return -1;
  }
}

int32_t clsPublicFunc::DelFiles(const std::wstring& aStrPath, int16_t intDay) {
  std::vector<std::wstring> selected;
  try {
    const std::wstring strPath = FullPath(aStrPath);
    int32_t listError = 0;
    const auto files = ListFiles(strPath, false, &listError);
    if (listError != 0) {
      Log(L"★ファイル削除エラー:" + RuntimeErrorDescription(listError));
      return -1;
    }
    const std::wstring folder = GetFilePath(strPath);
    const OleDate limit = NowToTheSecond().AddDays(-static_cast<double>(intDay));
    for (const FoundFile& f : files) {
      if (intDay >= 1) {
        const auto written = OleDate::FromFileTimeUtc(f.lastWrite);
        if (!written) {
          Log(L"★ファイル削除エラー:" + RuntimeErrorDescription(LastRuntimeError()));
          return -1;
        }
        if (!(*written < limit)) continue;
      }
      selected.push_back(folder + L"\\" + f.name);
    }
  } catch (...) {
    return -1;
  }
  for (const std::wstring& path : selected) {
    if (!DeleteGuardedFile(path)) Log(L"[" + path + L"]を削除できませんでした！");
  }
  return static_cast<int32_t>(selected.size());
}

int32_t clsPublicFunc::DelFilesFormPath(const std::wstring& aDelDir,
                                        const std::wstring& DelFilesName, int32_t DelDays) {
  std::vector<std::wstring> selected;
  try {
    const std::wstring DelDir = FullPath(aDelDir);
    const int64_t days = DelDays < 0 ? -static_cast<int64_t>(DelDays) : DelDays;
    const std::wstring pattern =
        DelDir + (IsBlank(DelFilesName) ? L"\\*.*" : L"\\" + Trim(DelFilesName));
    int32_t listError = 0;
    const auto files = ListFiles(pattern, false, &listError);
    if (listError != 0) return 0;
    const OleDate limit = NowToTheSecond().AddDays(-static_cast<double>(days));
    for (const FoundFile& f : files) {
      const auto written = OleDate::FromFileTimeUtc(f.lastWrite);
      if (!written) return static_cast<int32_t>(selected.size());
      if (*written < limit) selected.push_back(DelDir + L"\\" + f.name);
    }
  } catch (...) {
    return static_cast<int32_t>(selected.size());
  }
  for (const std::wstring& path : selected) {
    if (DeleteGuardedFile(path)) {
      Log(L"[" + path + L"]を削除しました！");
    } else {
      Log(L"[" + path + L"]を削除できませんでした！");
    }
  }
  return static_cast<int32_t>(selected.size());
}

int32_t clsPublicFunc::DirCheckAndFileDelete(const std::wstring& strSrcDir,
                                             const std::wstring& strDistDir,
                                             const std::wstring& SelValue, bool IsSizeCheck) {
  try {
    if (IsBlank(strSrcDir) || IsBlank(strDistDir)) return -1;
    std::vector<std::wstring> sources;
    std::vector<std::wstring> destinations;
    GetFileList(sources, strSrcDir, SelValue);
    GetFileList(destinations, strDistDir, SelValue);
    int32_t deleted = 0;
    for (const std::wstring& name : sources) {
      if (IsBlank(name) || !FileCheck(name, destinations)) continue;
      const std::wstring src = FullPath(strSrcDir + L"\\" + name);
      if (IsSizeCheck) {
        const auto a = QueryFile(src);
        const auto b = QueryFile(strDistDir + L"\\" + name);
        if (!a || !b || a->size != b->size) continue;
      }
      if (const StepDone deleted = DeleteGuardedFile(src); !deleted) {
        Log(L"<DirCheckAndFileDelete> [" + src + L"]の削除に失敗しました！:" +
            RuntimeErrorDescription(RuntimeErrorFromWin32(deleted.Error().code)));
        return -1;
      }
      ++deleted;
    }
    return deleted;
  } catch (...) {
    return -1;
  }
}
