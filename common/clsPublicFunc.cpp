// The object itself, and its path, folder and file members.
#include "clsPublicFunc.h"

#include "FileSystem.h"
#include "Handles.h"
#include "RuntimeError.h"
#include "System.h"
#include "Text.h"

using namespace norvale;


clsPublicFunc::clsPublicFunc(Seams seams)
    : seams_(std::move(seams)), error_(std::make_unique<clsError>(seams_)) {
  // The card scheme's transposition table, defined here and nowhere else:
  // scrambled position i+1 holds plain position cardNoTable_[i]. It is a
  // permutation of 1 to 21; scrambled card numbers are exchangeable only
  // with systems that use this same table, so it never changes.
  cardNoTable_ = {7, 19, 2, 14, 11, 21, 4, 16, 9, 1, 18, 12, 5, 20, 3, 15, 10, 6, 17, 8, 13};
}

void clsPublicFunc::Log(const std::wstring& text) { error_->ErrLogPut(text, 1, 1, 0, 0, 0); }

OleDate clsPublicFunc::NowToTheSecond() {
  SYSTEMTIME now = seams_.clock->LocalNow();
  now.wMilliseconds = 0;
  return OleDate::FromSystemTime(now);
}

bool clsPublicFunc::IsFileUsing(const std::wstring& FailePath) {
  if (IsBlank(FailePath) || !IsOrdinaryFile(Trim(FailePath))) return false;
  FileHandle file(CreateFileW(FailePath.c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file) return false;
  const int32_t number = LastRuntimeError();
  return number == kErrFileAlreadyOpen || number == kErrPermissionDenied;
}

std::wstring clsPublicFunc::GetFullPath(const std::wstring& aStrPath,
                                        const std::wstring& aStrCurPath) {
  if (IsBlank(aStrPath)) return L"";
  auto full = AbsolutePath(aStrPath, aStrCurPath);
  if (!full) {
    Log(L"clsPublicFunc:GetFullPathエラー:" + RuntimeErrorDescription(LastRuntimeError()));
    return aStrPath;
  }
  return full->empty() ? aStrPath : *full;
}

int32_t clsPublicFunc::MakeDir(const std::wstring& aStrPath, std::wstring* aStrFullPath,
                               bool IsErrLogPut) {
  if (aStrFullPath) aStrFullPath->clear();
  if (IsBlank(aStrPath)) return 0;
  const std::wstring path = Trim(aStrPath);
  if (IsNetworkPath(path)) {
    const int32_t result = CreateNetworkFolder(path);
    if (result != 0 && IsErrLogPut) {
      Log(L"clsPublicFunc:MakeDir [" + aStrPath + L"]を作成できませんでした。");
    }
    if (aStrFullPath) *aStrFullPath = aStrPath;
    return result;
  }
  const std::wstring full = GetFullPath(path, L"");
  std::wstring failedLevel;
  const int32_t result = CreateMissingLevels(full, &failedLevel);
  if (result != 0 && IsErrLogPut) {
    Log(L"clsPublicFunc:MakeDir [" + failedLevel + L"]を作成できませんでした。");
  }
  if (aStrFullPath) *aStrFullPath = full;
  return result;
}

int32_t clsPublicFunc::MakeDirRelative(const std::wstring& path, std::wstring* fullPath) {
  if (fullPath) fullPath->clear();
  if (IsBlank(path)) return 0;
  if (IsNetworkPath(path)) {
    const int32_t result = CreateNetworkFolder(path);
    if (result != 0) Log(L"clsPosOpos:MakeDir [" + path + L"]を作成できませんでした。");
    if (fullPath) *fullPath = path;
    return result;
  }
  // A leading "." or ".." is taken from the program's folder, anything else
  // relative to the current directory.
  std::wstring resolved = path;
  if (path == L"." || StartsWith(path, L".\\")) {
    resolved = ProgramFolder() + path.substr(1);
  } else if (path == L".." || StartsWith(path, L"..\\")) {
    resolved = GetDelLastFolder(ProgramFolder()) + L"\\" + path.substr(std::min<size_t>(3, path.size()));
  }
  const std::wstring full = AbsolutePath(resolved, L"").value_or(resolved);
  std::wstring failedLevel;
  const int32_t result = CreateMissingLevels(full, &failedLevel);
  if (result != 0) Log(L"clsPublicFunc:MakeDir [" + failedLevel + L"]を作成できませんでした。");
  if (fullPath) *fullPath = full;
  return result;
}

std::wstring clsPublicFunc::GetFilePath(const std::wstring& File_Path) {
  return BeforeLast(Trim(File_Path), L'\\');
}

std::wstring clsPublicFunc::GetFileID(const std::wstring& File_Path) {
  return AfterLast(Trim(File_Path), L'\\');
}

int32_t clsPublicFunc::GetFileList(std::vector<std::wstring>& FileList,
                                   const std::wstring& DirName, const std::wstring& SelValue) {
  const std::wstring pattern = IsBlank(SelValue) ? L"*.*" : SelValue;
  int32_t count = 0;
  try {
    for (const FoundFile& f : ListFiles(DirName + L"\\" + pattern, true)) {
      FileList.resize(static_cast<size_t>(count) + 1);
      FileList[static_cast<size_t>(count)] = f.name;
      ++count;
    }
  } catch (...) {
  }
  return count;
}

bool clsPublicFunc::IsSameFile(const std::wstring& FilePath1, const std::wstring& FilePath2) {
  if (IsBlank(FilePath1) || IsBlank(FilePath2)) return false;
  const auto a = QueryFile(Trim(FilePath1));
  const auto b = QueryFile(Trim(FilePath2));
  if (!a || !b) return false;
  const auto ta = OleDate::FromFileTimeUtc(a->lastWrite);
  const auto tb = OleDate::FromFileTimeUtc(b->lastWrite);
  return ta && tb && a->size == b->size && *ta == *tb;
}

bool clsPublicFunc::FileCheck(const std::wstring& ChkFileId,
                              const std::vector<std::wstring>& FileList) {
  if (IsBlank(ChkFileId)) return false;
  for (const std::wstring& name : FileList) {
    if (TextEqualsIgnoreCase(ChkFileId, name)) return true;
  }
  return false;
}

bool clsPublicFunc::FolderCheck(const std::wstring& ChkFolder) {
  return !IsBlank(ChkFolder) && FolderExists(ChkFolder);
}

std::wstring clsPublicFunc::GetFileID_FTP(const std::wstring& File_Path) {
  return AfterLast(Trim(File_Path), L'/');
}

std::wstring clsPublicFunc::GetFilePath_FTP(const std::wstring& File_Path) {
  return BeforeLast(Trim(File_Path), L'/');
}

std::wstring clsPublicFunc::PrepareLastFolderPath(const std::wstring& File_Path) {
  std::wstring p = Trim(File_Path);
  // A dot anywhere is taken to mean the path ends in a file name.
  if (p.find(L'.') != std::wstring::npos) p = GetFilePath(p);
  while (!p.empty() && p.back() == L'\\') p.pop_back();
  return p;
}

std::wstring clsPublicFunc::GetLastFolder(const std::wstring& File_Path) {
  return AfterLast(PrepareLastFolderPath(File_Path), L'\\');
}

std::wstring clsPublicFunc::GetDelLastFolder(const std::wstring& File_Path) {
  std::wstring result = BeforeLast(PrepareLastFolderPath(File_Path), L'\\');
  if (result.size() == 2 && result[1] == L':') result += L'\\';
  return result;
}

std::wstring clsPublicFunc::GetDriveFormPath(const std::wstring& strPath) {
  if (IsBlank(strPath)) return L"";
  const size_t colon = strPath.find(L':');
  if (colon == std::wstring::npos || colon < 1) return L"";
  return strPath.substr(colon - 1, 1);
}

int32_t clsPublicFunc::GetFileSystemType(const std::wstring& Path) {
  if (IsBlank(Path)) return 0;
  if (FileExists(Path)) return 1;
  if (FolderExists(Path)) return 2;
  return 0;
}

std::wstring clsPublicFunc::GetFileExt(const std::wstring& File_Path) {
  if (IsBlank(File_Path)) return L"";
  const size_t sep = File_Path.find_last_of(L"\\/");
  const std::wstring last = sep == std::wstring::npos ? File_Path : File_Path.substr(sep + 1);
  const size_t dot = last.rfind(L'.');
  return dot == std::wstring::npos ? L"" : last.substr(dot + 1);
}
