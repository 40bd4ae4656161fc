// Folder download: one listing of the server folder (or its tree), then every
// listed file on the main session into the matching local folder, with the
// user's stop question between files, and the local routines these steps use.
#include <shlwapi.h>

#include <string>
#include <vector>

#include "ClsWinFTP.h"
#include "DeleteGuard.h"
#include "FileSystem.h"
#include "Handles.h"
#include "LocalPathGuard.h"
#include "Paths.h"
#include "RuntimeError.h"
#include "Text.h"

using norvale::IsBlank;
using norvale::IsSelfOrParent;
using norvale::Trim;
using norvale::UpperCased;

namespace {

size_t FindIgnoreCase(const std::wstring& text, const std::wstring& part) {
  if (part.empty()) return std::wstring::npos;
  return UpperCased(text).find(UpperCased(part));
}

// The local folder that a listed server folder maps to: the part of it below
// the downloaded server folder, level by level under the local folder. Empty
// when a level is no name Windows could hold safely.
std::wstring MappedLocalFolder(const std::wstring& localFolder, const std::wstring& serverDir,
                               const std::wstring& svDir) {
  const size_t at = FindIgnoreCase(serverDir, svDir);
  const std::wstring relative =
      at == std::wstring::npos ? serverDir : serverDir.substr(at + svDir.size());
  std::wstring folder = localFolder;
  size_t start = 0;
  while (start <= relative.size()) {
    size_t end = relative.find(L'/', start);
    if (end == std::wstring::npos) end = relative.size();
    const std::wstring level = relative.substr(start, end - start);
    if (!level.empty()) {
      if (!norvale::IsSafeLocalName(level)) return L"";
      folder += L"\\" + level;
    }
    start = end + 1;
  }
  return folder;
}

norvale::OleDate LocalWriteTime(const FILETIME& utc) {
  return norvale::OleDate::FromFileTimeUtc(utc).value_or(norvale::OleDate());
}

// The entries of a local folder except "." and "..".
std::vector<WIN32_FIND_DATAW> FolderEntries(const std::wstring& folderWithSeparator) {
  std::vector<WIN32_FIND_DATAW> entries;
  WIN32_FIND_DATAW data{};
  norvale::FindHandle find(FindFirstFileW((folderWithSeparator + L"*").c_str(), &data));
  if (!find) return entries;
  do {
    const std::wstring name = data.cFileName;
    if (!IsSelfOrParent(name)) entries.push_back(data);
  } while (FindNextFileW(find.Get(), &data));
  return entries;
}

bool IsFolderAttr(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

}  // namespace

void ClsWinFTP::TellFolderNotMade() {
  if (seams_.messageBox) {
    seams_.messageBox->Show(L"インストール先のデレクトリ作成に失敗しました！",
                            L"フォルダを作成できませんでした！", MB_ICONERROR | MB_SYSTEMMODAL);
  }
}

bool ClsWinFTP::Ftp_GetFolder(const std::wstring& aSvDir, const std::wstring& aPattern,
                              int32_t aKbn, const std::wstring& aLocalDir, int32_t& aLngErrCode,
                              const std::wstring& aServerIP, const std::wstring& aUser,
                              const std::wstring& aPass, bool Is下層, bool Is上書き,
                              bool Is同一Skip, bool Is更新日設定, bool Is削除,
                              int32_t& aLngDelCount, std::wstring& aLastFilePath,
                              bool IsDLFileInfo保存) try {
  aLngErrCode = 0;
  aLngDelCount = 0;
  listing_.clear();
  aLastFilePath.clear();

  std::wstring svDir = IsBlank(aSvDir) ? L"/" : aSvDir;
  if (svDir.size() > 1 && svDir.back() != L'/') svDir += L"/";

  std::wstring localFolder = Trim(aLocalDir);
  if (!localFolder.empty() && localFolder.back() == L'\\') localFolder.pop_back();
  if (localFolder.empty()) return false;

  std::wstring made;
  if (tree_ && tree_->Holds(norvale::FullLocalPath(localFolder))) {
    std::shared_ptr<const norvale::HeldEntry> opened;
    if (!TreeFolderOf(norvale::FullLocalPath(localFolder), opened, aLngErrCode)) return false;
  } else if (!norvale::FolderExists(localFolder)) {
    MakeLocalDir(localFolder, made);
    if (!norvale::FolderExists(localFolder)) {
      aLngErrCode = kLocalFolderMissing;
      return false;
    }
  }

  // A stop requested before the call lists nothing and counts as done; one
  // that cut the listing short must not pass an incomplete tree for a whole.
  const bool stoppedBefore = stopFlag_ != 0;
  const int32_t n =
      FtpReadDirInfo(svDir, aPattern, aKbn, aLngErrCode, aServerIP, aUser, aPass, Is下層);
  if (aLngErrCode == kFtpStopped) return false;
  if (n < 1 && !stoppedBefore && stopFlag_ != 0) {
    aLngErrCode = kFtpStopped;
    return false;
  }
  if (n < 1) {
    if (aLngErrCode != 0) return false;
    if (tree_ && tree_->Holds(norvale::FullLocalPath(localFolder))) {
      std::shared_ptr<const norvale::HeldEntry> opened;
      return TreeFolderOf(norvale::FullLocalPath(localFolder), opened, aLngErrCode);
    }
    MakeLocalDir(localFolder, made);
    return true;
  }
  aLngErrCode = 0;

  // Every listed name is placed, and checked, before anything is written:
  // a listing that could reach outside the local folder is refused whole.
  std::vector<DirInfo> work(listing_.begin(), listing_.end());
  bool everyFolderMapped = true;
  for (DirInfo& entry : work) {
    if (entry.IsFolder && IsSelfOrParent(entry.FileId)) continue;
    if (FindIgnoreCase(entry.Dir, svDir) == std::wstring::npos) everyFolderMapped = false;
    const std::wstring folder = MappedLocalFolder(localFolder, entry.Dir, svDir);
    const std::wstring path = folder.empty() ? L"" : folder + L"\\" + entry.FileId;
    if (folder.empty() || !norvale::IsSafeLocalName(entry.FileId) ||
        !norvale::IsInsideFolder(localFolder, path)) {
      errorLog_->ErrLogPut(appName_ + L" [" + entry.Dir + entry.FileId +
                               L"]は保存先の外を指す名前の為ダウンロードを中止しました",
                           1, 1, 0, 0, 0);
      aLngErrCode = ERROR_INVALID_NAME;
      return false;
    }
    entry.FilePath = path;
  }

  const bool useObjectLogin = IsBlank(aServerIP) || IsBlank(aUser);
  if (!useObjectLogin) {
    serverIP_ = aServerIP;
    userID_ = aUser;
    pass_ = aPass;
  }
  if (!FtpConnect(hConnect_, serverIP_, userID_, pass_, aLngErrCode)) {
    if (stopFlag_ != 0) {
      aLngErrCode = StopCode(waits_.reopenAfterStopMs);
    } else {
      int32_t ignored = 0;
      FtpDisconnect(hConnect_, ignored);
    }
    return false;
  }

  bool success = true;
  for (int32_t i = 0; i < static_cast<int32_t>(work.size()); ++i) {
    Pump();
    if (stopFlag_ != 0) {
      const int answer = seams_.messageBox
                             ? seams_.messageBox->Show(
                                   L"★ファイルのダウンロードを中止しますか？\r\n\r\n"
                                   L"ダウンロード中止する場合は「はい」を、\r\n"
                                   L"続行する場合は「いいえ」をクリックして下さい。",
                                   L"FTP:ダウンロードを中止しますか？",
                                   MB_YESNO | MB_ICONINFORMATION | MB_DEFBUTTON2)
                             : IDYES;
      if (answer == IDYES) {
        aLngErrCode = kFtpStopped;
        success = false;
        break;
      }
      stopFlag_ = 0;
      if (i > 0) --i;
      // Cancel may have closed the session with the root; the user carries on.
      if (!hConnect_ && !FtpConnect(hConnect_, serverIP_, userID_, pass_, aLngErrCode)) {
        success = false;
        break;
      }
    }

    const DirInfo& entry = work[static_cast<size_t>(i)];
    if (entry.IsFolder && IsSelfOrParent(entry.FileId)) continue;
    const std::wstring folder =
        entry.IsFolder ? entry.FilePath : GetLocalFilePath(entry.FilePath);
    if (tree_ && tree_->Holds(norvale::FullLocalPath(folder))) {
      // Made through the tree, part by part, before the file is asked for
      // (a file's folder that is there is opened as the file is written): a
      // folder that cannot be made ends the download as one made by name
      // does, and a link on the way with its own code.
      std::shared_ptr<const norvale::HeldEntry> opened;
      int32_t code = 0;
      if ((entry.IsFolder || !norvale::FolderExists(folder)) &&
          !TreeFolderOf(norvale::FullLocalPath(folder), opened, code)) {
        if (code == kLocalFolderMissing) {
          TellFolderNotMade();
          code = kFtpStopped;
        }
        aLngErrCode = code;
        success = false;
        break;
      }
    } else if (!norvale::FolderExists(folder)) {
      MakeLocalDir(folder, made);
      if (!norvale::FolderExists(folder)) {
        TellFolderNotMade();
        aLngErrCode = kFtpStopped;
        success = false;
        break;
      }
    }
    if (entry.IsFolder) continue;

    if (!FtpSetCurDir(hConnect_, entry.Dir, aLngErrCode)) {
      success = false;
      break;
    }
    if (!FtpGetListedFile(entry, entry.FilePath, Is上書き, aLngErrCode, Is同一Skip, Is更新日設定,
                          IsDLFileInfo保存)) {
      if (aLngErrCode == kFtpStopped) return false;
      success = false;
      break;
    }
    aLastFilePath = entry.FilePath;
    Pause(waits_.afterFilePauseMs);
  }

  int32_t ignored = 0;
  FtpDisconnect(hConnect_, ignored);

  int32_t deleted = 0;
  // Only what the listing could have named is compared: files of a folder
  // whose listing held no files, or that the pattern left out, or a tree
  // that did not map back, are no sign that the server lacks them.
  if (success && Is削除 && aKbn != 1 && everyFolderMapped) {
    std::vector<DirInfo> locals;
    GetLocalDirInfo(localFolder, locals, false);
    const std::wstring pattern = Trim(aPattern);
    for (const DirInfo& local : locals) {
      if (IsBlank(local.FileId) || local.IsFolder) continue;
      if (!pattern.empty() && !PathMatchSpecW(local.FileId.c_str(), pattern.c_str())) continue;
      if (CompareDirInfo(local, work) >= 0) continue;
      ++deleted;
      std::wstring why;
      if (norvale::IsInsideFolder(localFolder, local.FilePath)) DeleteLocalFile(local.FilePath, why);
    }
  }
  aLngDelCount = deleted;
  stopFlag_ = 0;
  return success;
} catch (...) {
  aLngErrCode = ERROR_NOT_ENOUGH_MEMORY;
  return false;
}

bool ClsWinFTP::FtpGetListedFile(const DirInfo& record, const std::wstring& localPath,
                                 bool Is上書き, int32_t& aLngErrCode, bool Is同一Skip,
                                 bool Is更新日設定, bool IsDLFileInfo保存) {
  aLngErrCode = 0;

  if (Is同一Skip && norvale::FileExists(localPath)) {
    const DirInfo local = LocalDirInfo(localPath);
    if (norvale::SameName(local.FileId, record.FileId) &&
        local.UpDate == record.UpDate && local.FileSize == record.FileSize) {
      return true;
    }
  }

  if (!IsBlank(record.Dir) && !FtpSetCurDir(hConnect_, record.Dir, aLngErrCode)) return false;

  if (isConsoleDisp_) ConsoleOut(L"[" + record.Dir + record.FileId + L"]を受信しています...");
  Show(ReceivingText(record.FileId));

  if (fileUsingCheck_) {
    const auto found = norvale::QueryFile(localPath);
    const bool plainFolder =
        found && found->attributes == FILE_ATTRIBUTE_DIRECTORY &&
        !(localPath.size() >= 4 &&
          norvale::SameName(std::wstring_view(localPath).substr(localPath.size() - 4), L".zip"));
    std::wstring message;
    if (!plainFolder && IsFileLocked(localPath, message)) {
      errorLog_->ErrLogPut(appName_ + L" [" + localPath +
                               L"]は使用中もしくは書込不可の為スキップされました（" + message +
                               L"）",
                           1, 1, 0, 0, 0);
      return true;
    }
  }

  if (beforeWriting_) beforeWriting_(localPath);
  // An old file stays until the new one is complete (see ReceiveFile), and
  // so does a folder in the file's place. One that the guard would not let
  // go would be refused after every attempt: nothing is transferred.
  if (Is上書き && norvale::FolderExists(localPath)) {
    if (const int32_t refused = ReplaceRefusalCode(localPath); refused != 0) {
      aLngErrCode = refused;
      return false;
    }
  }

  // What each attempt is checked against: the folder's listing first, then
  // the file's own listing of that attempt. A file updated on the server
  // since the folder was listed would fail every retry against the old size.
  DirInfo listed = record;
  int32_t retries = 0;
  DWORD transferError = 0;
  bool complete = false;
  for (;;) {
    transferError = ReceiveFile(record.FileId, localPath, Is上書き, &listed.FileSize, Is上書き);
    complete = false;
    if (transferError == 0) {
      const auto file = norvale::QueryFile(localPath);
      complete = file && !IsFolderAttr(file->attributes) &&
                 LowSizeWord(file->size) == listed.FileSize;
    }
    if (complete) {
      if (IsDLFileInfo保存) DownloadedFilesAdd(localPath, listed.FileSize);
      break;
    }
    if (stopFlag_ != 0) break;
    // No attempt would end otherwise.
    if (transferError == static_cast<DWORD>(kFtpProtectedTarget) ||
        transferError == static_cast<DWORD>(kFtpUnsafeFolder)) {
      break;
    }
    if (++retries > retryMaxCount_) break;
    const std::wstring& fileId = record.FileId;
    const bool carriedOn = Countdown([&fileId](int64_t seconds) {
      return L"★[" + fileId + L"]の受信中にエラーが発生しました！\r\n" +
             std::to_wstring(seconds) + L"秒後に再度受信を実行します...";
    });
    if (!carriedOn) break;
    const int32_t revived = ReviveMainSession(record.Dir);
    if (revived != 0) {
      transferError = static_cast<DWORD>(revived);
      break;
    }
    // The folder's listing stays the one the download walks.
    const std::vector<DirInfo> folderListing = listing_;
    int32_t listCode = 0;
    const int32_t found = ListServerFile(record.Dir, record.FileId, listed, listCode);
    listing_ = folderListing;
    if (found < 1) {
      transferError = static_cast<DWORD>(listCode != 0 ? listCode : kFtpFileNotFound);
      break;
    }
    Show(ReceivingText(record.FileId));
  }

  if (!complete) {
    aLngErrCode = FailedTransferCode(transferError);
    return false;
  }
  if (Is更新日設定) SetLocalFileTime(localPath, listed.UpDate);
  return true;
}

int32_t ClsWinFTP::ReviveMainSession(const std::wstring& serverFolder) {
  std::wstring current;
  int32_t code = 0;
  // One PWD tells whether the server still answers on this session.
  if (hConnect_ && FtpGetCurDir(hConnect_, current, code)) return 0;
  if (stopFlag_ != 0) return StopCode(waits_.reopenAfterStopMs);
  if (!FtpConnect(hConnect_, serverIP_, userID_, pass_, code)) return code;
  if (!IsBlank(serverFolder) && !FtpSetCurDir(hConnect_, serverFolder, code)) return code;
  return 0;
}

int32_t ClsWinFTP::GetLocalDirInfo(const std::wstring& folder, std::vector<DirInfo>& list,
                                   bool recursive) {
  const std::wstring f = !folder.empty() && folder.back() == L'\\' ? folder : folder + L"\\";
  const std::vector<WIN32_FIND_DATAW> entries = FolderEntries(f);
  if (recursive) {
    for (const WIN32_FIND_DATAW& data : entries) {
      if (IsFolderAttr(data.dwFileAttributes)) GetLocalDirInfo(f + data.cFileName, list, true);
    }
  }
  for (const WIN32_FIND_DATAW& data : entries) {
    if (IsFolderAttr(data.dwFileAttributes)) continue;
    DirInfo record;
    record.FileId = data.cFileName;
    record.Dir = f;
    record.FilePath = f + data.cFileName;
    record.UpDate = LocalWriteTime(data.ftLastWriteTime);
    record.FileSize = static_cast<int32_t>(data.nFileSizeLow);
    list.push_back(std::move(record));
  }
  return static_cast<int32_t>(list.size());
}

int32_t ClsWinFTP::CompareDirInfo(const DirInfo& local, const std::vector<DirInfo>& listing) {
  if (listing.empty() || IsBlank(local.FileId)) return -1;
  const std::wstring name = Trim(local.FileId);
  std::wstring localFolder = local.Dir;
  while (localFolder.size() > 3 && localFolder.back() == L'\\') localFolder.pop_back();
  for (const DirInfo& entry : listing) {
    if (entry.IsFolder || IsBlank(entry.FileId) || entry.FilePath.empty()) continue;
    // Names as the file system tells them apart: a local "ａ.txt" is not
    // the listed "a.txt".
    if (!norvale::SameName(Trim(entry.FileId), name)) continue;
    // The entry's own local place, as the download put it there.
    if (!norvale::SamePath(GetLocalFilePath(entry.FilePath), localFolder)) continue;
    if (local.FileSize != entry.FileSize) return 2;
    return local.UpDate != entry.UpDate ? 1 : 0;
  }
  return -1;
}

bool ClsWinFTP::DeleteLocalFile(const std::wstring& path, std::wstring& errorText) {
  errorText.clear();
  if (IsBlank(path)) return true;
  // The guard takes absolute paths only; a relative one names a file of
  // the current directory here.
  const std::wstring full = norvale::FullLocalPath(Trim(path));
  const norvale::StepDone deleted = norvale::DeleteGuardedFile(full, true);
  if (deleted) return true;
  // A refusal says why; a failed delete says what the system said.
  const norvale::StepError& error = deleted.Error();
  errorText = error.reason != norvale::Reason::None
                  ? error.Why()
                  : norvale::RuntimeErrorDescription(norvale::RuntimeErrorFromWin32(error.code));
  return false;
}

DWORD ClsWinFTP::RemoveFolderInPlaceOf(const std::wstring& target) {
  if (!norvale::FolderExists(target)) return 0;
  if (const int32_t refused = ReplaceRefusalCode(target); refused != 0) {
    return static_cast<DWORD>(refused);
  }
  // Below the install's tree only a folder of the tree goes, through the
  // handle of the folder it lies in, never what a link there leads to.
  const std::wstring full = norvale::FullLocalPath(target);
  if (tree_ && !full.empty() && tree_->Holds(full)) return RemoveFolderInTree(full);
  const norvale::StepDone removed = RemoveLocalFolder(target);
  return removed ? 0 : removed.Error().code;
}

norvale::StepDone ClsWinFTP::RemoveLocalFolder(const std::wstring& path) {
  if (IsBlank(path)) return {};
  const std::wstring folder = norvale::FullLocalPath(Trim(path));
  if (folder.empty()) return norvale::StepError::Of(ERROR_BAD_PATHNAME, path);
  // A folder that is the current directory (or holds it) cannot go.
  wchar_t current[MAX_PATH] = {};
  const DWORD n = GetCurrentDirectoryW(MAX_PATH, current);
  if (n > 0 && n < MAX_PATH && norvale::IsInsideFolder(folder, current, true)) {
    const std::wstring drive = GetPathDrive(folder);
    SetCurrentDirectoryW(((drive.empty() ? L"C" : drive) + L":\\").c_str());
  }
  return norvale::DeleteTree(folder);
}

std::wstring ClsWinFTP::GetPathDrive(const std::wstring& path) {
  if (IsBlank(path)) return L"";
  const size_t colon = path.find(L':');
  return colon == std::wstring::npos || colon < 1 ? L"" : path.substr(0, colon);
}

bool ClsWinFTP::IsFileLocked(const std::wstring& path, std::wstring& message) {
  message.clear();
  if (IsBlank(path) || !norvale::IsOrdinaryFile(path)) return false;
  norvale::FileHandle file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file) return false;
  const int32_t number = norvale::LastRuntimeError();
  if (number == 76) return false;
  message = L"ErrNo=" + std::to_wstring(number) + L":" + norvale::RuntimeErrorDescription(number);
  return true;
}
