// Uploads of single files, of the matching files of a folder and of a folder
// tree, and the single server-file commands of the main session.
#include <string>
#include <vector>

#include "ClsWinFTP.h"
#include "FileSystem.h"
#include "Handles.h"
#include "RuntimeError.h"
#include "Text.h"

using norvale::IsBlank;
using norvale::IsSelfOrParent;
using norvale::ReplaceAll;
using norvale::Trim;

namespace {

bool SameNameIgnoringCase(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// Year to minute: what an upload compares, since servers list no seconds
// for recent files.
bool SameMinute(norvale::OleDate a, norvale::OleDate b) {
  const SYSTEMTIME x = a.ToSystemTime();
  const SYSTEMTIME y = b.ToSystemTime();
  return x.wYear == y.wYear && x.wMonth == y.wMonth && x.wDay == y.wDay && x.wHour == y.wHour &&
         x.wMinute == y.wMinute;
}

// The error number of a file query that found nothing: 0 for a plain
// absence, the query's own failure otherwise.
int32_t MissingFileCode(const std::wstring& path) {
  WIN32_FIND_DATAW data{};
  norvale::FindHandle find(FindFirstFileW(path.c_str(), &data));
  if (find) return 0;
  const DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
                 error == ERROR_NO_MORE_FILES
             ? 0
             : norvale::RuntimeErrorFromWin32(error);
}

}  // namespace

bool ClsWinFTP::FtpPut(const std::wstring& aSvDir, const std::wstring& aLocalFilePath,
                       const std::wstring& aSvFileId, bool Is上書き, int32_t& aLngErrCode) try {
  aLngErrCode = 0;
  if (!norvale::FileExists(aLocalFilePath)) {
    aLngErrCode = MissingFileCode(aLocalFilePath);
    return false;
  }

  if (!Is上書き) {
    std::vector<std::wstring> names;
    const int32_t n = FtpGetFileList(aSvDir, aSvFileId, 2, names, aLngErrCode, L"", L"", L"",
                                     false);
    // Only the very name counts: "a.txt.old" does not hold "a.txt" back.
    for (int32_t i = 1; i <= n && static_cast<size_t>(i) < names.size(); ++i) {
      if (SameNameIgnoringCase(names[static_cast<size_t>(i)], aSvFileId)) {
        aLngErrCode = kFtpNoServerOrUser;
        return true;
      }
    }
  }

  if (!IsBlank(aSvDir) && !FtpSetCurDir(hConnect_, Trim(aSvDir), aLngErrCode)) return false;
  // What the check reported about a name it did not find is no failure of
  // the upload.
  aLngErrCode = 0;

  if (isConsoleDisp_) {
    ConsoleOut(L"[" + serverIP_ + L"]へ[" + aLocalFilePath + L"]を送信しています...");
  }
  Show(L"[" + aLocalFilePath + L"]を送信しています...");

  if (FtpPutFileW(hConnect_.Get(), aLocalFilePath.c_str(), aSvFileId.c_str(),
                  FTP_TRANSFER_TYPE_BINARY, CallbackContext())) {
    return true;
  }
  const DWORD lastError = GetLastError();
  aLngErrCode = stopFlag_ != 0 ? StopCode(waits_.reopenAfterStopMs)
                               : static_cast<int32_t>(lastError);
  return false;
} catch (...) {
  aLngErrCode = ERROR_NOT_ENOUGH_MEMORY;
  return false;
}

bool ClsWinFTP::FtpDelFile(const std::wstring& aDelFileId, int32_t& aLngErrCode) {
  return ServerCommandResult(FtpDeleteFileW(hConnect_.Get(), aDelFileId.c_str()), aLngErrCode);
}

bool ClsWinFTP::FtpFileRename(const std::wstring& aFileId, const std::wstring& aNewFileId,
                              int32_t& aLngErrCode) {
  return ServerCommandResult(FtpRenameFileW(hConnect_.Get(), aFileId.c_str(), aNewFileId.c_str()),
                             aLngErrCode);
}

bool ClsWinFTP::ServerCommandResult(BOOL succeeded, int32_t& aLngErrCode) {
  aLngErrCode = succeeded ? 0 : static_cast<int32_t>(GetLastError());
  return succeeded != FALSE;
}

bool ClsWinFTP::FtpDelDir(const std::wstring& aDelDirName, int32_t& aLngErrCode) {
  return ServerCommandResult(FtpRemoveDirectoryW(hConnect_.Get(), aDelDirName.c_str()), aLngErrCode);
}

bool ClsWinFTP::FtpMakeDir(const std::wstring& aMakeDirName, int32_t& aLngErrCode) {
  return ServerCommandResult(FtpCreateDirectoryW(hConnect_.Get(), aMakeDirName.c_str()), aLngErrCode);
}

void ClsWinFTP::TakeCredentials(const std::wstring& aServerIP, const std::wstring& aUser,
                                const std::wstring& aPass) {
  if (IsBlank(aServerIP) || IsBlank(aUser)) return;
  serverIP_ = aServerIP;
  userID_ = aUser;
  pass_ = aPass;
}

bool ClsWinFTP::ftp_FileSend(const std::wstring& aLocalFilePath, const std::wstring& aSvDir,
                             bool Is上書き, int32_t& aLngErrCode, const std::wstring& aServerIP,
                             const std::wstring& aUser, const std::wstring& aPass) try {
  aLngErrCode = 0;
  const std::wstring name = GetLocalFileID(aLocalFilePath);
  // "C:\data\" names a folder, not a file to send: that is the missing
  // name (-1), not the missing file (0, which reads as success).
  if (IsBlank(name) && norvale::FolderExists(Trim(aLocalFilePath))) {
    aLngErrCode = -1;
    return false;
  }
  if (!norvale::FileExists(aLocalFilePath)) {
    aLngErrCode = MissingFileCode(aLocalFilePath);
    return false;
  }
  if (IsBlank(name)) {
    aLngErrCode = -1;
    return false;
  }
  TakeCredentials(aServerIP, aUser, aPass);
  int32_t ignored = 0;
  if (!FtpConnect(hConnect_, serverIP_, userID_, pass_, aLngErrCode)) {
    FtpDisconnect(hConnect_, ignored);
    return false;
  }
  const bool sent = FtpPut(aSvDir, aLocalFilePath, name, Is上書き, aLngErrCode);
  FtpDisconnect(hConnect_, ignored);
  return sent;
} catch (...) {
  aLngErrCode = ERROR_NOT_ENOUGH_MEMORY;
  return false;
}

bool ClsWinFTP::Ftp_SendFiles(const std::wstring& aLocalPath, const std::wstring& aLocalFileName,
                              const std::wstring& aSvDir, bool Is上書き, bool Is同一Skip,
                              int32_t& aLngErrCode, const std::wstring& aServerIP,
                              const std::wstring& aUser, const std::wstring& aPass,
                              int32_t& aLngSendCount) try {
  aLngErrCode = 0;
  std::vector<DirInfo> locals;
  const int32_t n = GetLocalFileList(aLocalPath, aLocalFileName, locals);
  if (n < 1) {
    aLngSendCount = 0;
    return true;
  }
  TakeCredentials(aServerIP, aUser, aPass);
  int32_t ignored = 0;
  if (!FtpConnect(hConnect_, serverIP_, userID_, pass_, aLngErrCode)) {
    FtpDisconnect(hConnect_, ignored);
    aLngSendCount = 0;
    return false;
  }
  std::vector<DirInfo> onServer;
  if (Is同一Skip) {
    std::vector<std::wstring> names;
    if (FtpGetFileList(aSvDir, L"", 2, names, aLngErrCode, serverIP_, userID_, pass_, false) >= 1) {
      onServer = listing_;
    }
  }
  bool failed = false;
  int32_t sent = 0;
  for (const DirInfo& local : locals) {
    if (Is同一Skip) {
      const int32_t same = CompareDirInfoByMinute(local, onServer);
      if (same == 0 || same == 1) continue;
    }
    if (FtpPut(aSvDir, local.FilePath, local.FileId, Is上書き, aLngErrCode)) {
      ++sent;
    } else {
      failed = true;
    }
  }
  FtpDisconnect(hConnect_, ignored);
  aLngSendCount = sent;
  return !failed;
} catch (...) {
  aLngErrCode = ERROR_NOT_ENOUGH_MEMORY;
  return false;
}

bool ClsWinFTP::Ftp_SendFolder(const std::wstring& aLocalPath, const std::wstring& aSvDir,
                               bool Is上書き, bool Is同一Skip, bool Is下層Send,
                               int32_t& aLngErrCode, const std::wstring& aServerIP,
                               const std::wstring& aUser, const std::wstring& aPass,
                               int32_t& aLngSendCount, int32_t& aLngSkipCount) try {
  aLngErrCode = 0;
  // The local prefix is cut from the server paths below: with a trailing
  // separator it would never match.
  std::wstring localPath = aLocalPath;
  if (localPath.size() > 3 && localPath.back() == L'\\') localPath.pop_back();

  std::vector<DirInfo> folders;
  GetLocalFolderList(localPath, folders, Is下層Send);
  std::vector<DirInfo> files;
  if (GetLocalDirInfo(localPath, files, Is下層Send) < 1) {
    aLngSendCount = 0;
    return true;
  }
  TakeCredentials(aServerIP, aUser, aPass);
  int32_t ignored = 0;
  if (!FtpConnect(hConnect_, serverIP_, userID_, pass_, aLngErrCode)) {
    FtpDisconnect(hConnect_, ignored);
    aLngSendCount = 0;
    return false;
  }
  std::vector<DirInfo> onServer;
  if (Is同一Skip) {
    listing_.clear();
    if (FtpReadDirInfo(aSvDir, L"", 0, aLngErrCode, serverIP_, userID_, pass_, true) >= 1) {
      onServer = listing_;
    }
  }
  const auto serverFolderOf = [&](const std::wstring& local) {
    return ReplaceAll(ReplaceAll(aSvDir + L"/" + local, localPath + L"\\", L""), L"\\", L"/");
  };

  bool failed = false;
  for (const DirInfo& folder : folders) {
    if (!folder.IsFolder) continue;
    const std::wstring target = serverFolderOf(folder.FilePath);
    if (!FtpSetDir(target, aLngErrCode) && !FtpMakeDir(target, aLngErrCode)) failed = true;
  }
  int32_t sent = 0;
  int32_t skipped = 0;
  for (const DirInfo& file : files) {
    if (file.IsFolder) continue;
    if (Is同一Skip) {
      const int32_t same = CompareDirInfoByMinute(file, onServer);
      if (same == 0 || same == 1) {
        ++skipped;
        continue;
      }
    }
    if (FtpPut(serverFolderOf(file.Dir), file.FilePath, file.FileId, Is上書き, aLngErrCode)) {
      ++sent;
    } else {
      failed = true;
    }
  }
  FtpDisconnect(hConnect_, ignored);
  aLngSendCount = sent;
  aLngSkipCount = skipped;
  return !failed;
} catch (...) {
  aLngErrCode = ERROR_NOT_ENOUGH_MEMORY;
  return false;
}

int32_t ClsWinFTP::GetLocalFileList(const std::wstring& folder, const std::wstring& pattern,
                                    std::vector<DirInfo>& list) {
  const std::wstring search = (!folder.empty() && folder.back() == L'\\' ? folder : folder + L"\\") +
                              (IsBlank(pattern) ? L"*.*" : pattern);
  for (const norvale::FoundFile& found : norvale::ListFiles(search, true)) {
    DirInfo record;
    record.FileId = found.name;
    record.Dir = folder;
    record.FilePath = folder + L"\\" + found.name;
    record.UpDate = norvale::OleDate::FromFileTimeUtc(found.lastWrite).value_or(norvale::OleDate());
    record.FileSize = static_cast<int32_t>(static_cast<uint32_t>(found.size));
    list.push_back(std::move(record));
  }
  return static_cast<int32_t>(list.size());
}

int32_t ClsWinFTP::GetLocalFolderList(const std::wstring& folder, std::vector<DirInfo>& list,
                                      bool recursive) {
  const std::wstring f = !folder.empty() && folder.back() == L'\\' ? folder : folder + L"\\";
  if (!recursive) return static_cast<int32_t>(list.size());
  std::vector<std::wstring> found;
  WIN32_FIND_DATAW data{};
  {
    norvale::FindHandle find(FindFirstFileW((f + L"*").c_str(), &data));
    if (find) {
      do {
        const std::wstring name = data.cFileName;
        if (IsSelfOrParent(name) || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
          continue;
        }
        found.push_back(f + name);
        DirInfo record;
        record.IsFolder = true;
        record.Dir = f;
        record.FilePath = f + name;
        list.push_back(std::move(record));
      } while (FindNextFileW(find.Get(), &data));
    }
  }
  for (const std::wstring& sub : found) GetLocalFolderList(sub, list, true);
  return static_cast<int32_t>(list.size());
}

int32_t ClsWinFTP::CompareDirInfoByMinute(const DirInfo& local,
                                          const std::vector<DirInfo>& listing) {
  if (listing.empty() || IsBlank(local.FileId)) return -1;
  const std::wstring name = Trim(local.FileId);
  for (const DirInfo& entry : listing) {
    if (IsBlank(entry.FileId) || !norvale::TextEqualsIgnoreCase(Trim(entry.FileId), name)) {
      continue;
    }
    if (entry.FileSize != local.FileSize) return 2;
    return SameMinute(entry.UpDate, local.UpDate) ? 0 : 1;
  }
  return -1;
}
