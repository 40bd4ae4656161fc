#pragma once
// The installer's FTP client over WinINet: one root handle, one main FTP
// session, the listing table and the downloaded-files list.
//
// Every operation returns true on success and reports a 32-bit code through
// aLngErrCode: 0, a WinINet or Windows error code, kFtpStopped after a stop
// request, kFtpFileNotFound for a single file missing on the server, -1 for a
// listing without server or user. GetErrMsg words them.
#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "DirInfo.h"
#include "FtpSeams.h"
#include "Handles.h"
#include "InstallTree.h"
#include "InternetHandle.h"
#include "OleDate.h"
#include "Seams.h"
#include "clsError.h"

constexpr int32_t kFtpStopped = -999;
constexpr int32_t kFtpFileNotFound = -998;
constexpr int32_t kFtpNoServerOrUser = -1;
// A transfer whose file keeps another size than the server lists or gives,
// after all retries: the server cut it short (WinINet still calls that a
// success).
constexpr int32_t kFtpIncompleteTransfer = ERROR_INTERNET_CONNECTION_ABORTED;
// A recursive listing went deeper, or listed more entries, than the bounds
// allow (FtpListingBounds): the server's tree is taken for endless.
constexpr int32_t kFtpListingTooDeep = -990;
constexpr int32_t kFtpListingTooLarge = -991;
// A download would replace a file that the delete guard protects: refused
// before anything is transferred.
constexpr int32_t kFtpProtectedTarget = -992;
// A local folder of a download lies below the write tree but is a link,
// lies elsewhere than its folder lists it, or is not the folder the install
// made there: nothing of the file was written.
constexpr int32_t kFtpUnsafeFolder = -993;
// A local folder that is missing and cannot be made.
constexpr int32_t kLocalFolderMissing = 82;

class ClsWinFTP {
 public:
  // Without fileSize, WinINet's own answer.
  explicit ClsWinFTP(norvale::Seams seams = norvale::Seams::System(),
                     norvale::FtpWaits waits = norvale::FtpWaits{},
                     std::shared_ptr<norvale::IFtpFileSize> fileSize = nullptr);
  ~ClsWinFTP();
  ClsWinFTP(const ClsWinFTP&) = delete;
  ClsWinFTP& operator=(const ClsWinFTP&) = delete;

  bool FtpCmd(HINTERNET hCONNECT, const std::wstring& aCommand, int32_t& aLngErrCode);
  bool InetOpen(int32_t& aLngErrCode);
  bool InetOpen();
  bool InetClose(int32_t& aLngErrCode);
  bool InetClose();
  bool FtpGet(const std::wstring& aSvDir, const std::wstring& aGetFileId,
              const std::wstring& aPutFilePath, bool Is上書き, int32_t& aLngErrCode,
              bool Is同一Skip, bool Is更新日設定, int32_t& aLngFileCount,
              bool Isベリファイ = false, bool IsDLFileInfo保存 = false);
  bool FtpPut(const std::wstring& aSvDir, const std::wstring& aLocalFilePath,
              const std::wstring& aSvFileId, bool Is上書き, int32_t& aLngErrCode);
  bool FtpDelFile(const std::wstring& aDelFileId, int32_t& aLngErrCode);
  bool FtpFileRename(const std::wstring& aFileId, const std::wstring& aNewFileId,
                     int32_t& aLngErrCode);
  bool FtpDelDir(const std::wstring& aDelDirName, int32_t& aLngErrCode);
  bool GetDirInfo_IsFolder(int32_t lngRecNo) const;
  std::wstring GetDirInfo_FileId(int32_t lngRecNo) const;
  std::wstring GetDirInfo_Dir(int32_t lngRecNo) const;
  int32_t GetDirInfo_FileSize(int32_t lngRecNo) const;
  norvale::OleDate GetDirInfo_UpDate(int32_t lngRecNo) const;
  int16_t GetDirInfo_Count() const;
  bool InetConnect(const std::wstring& aServerIP, const std::wstring& aUser,
                   const std::wstring& aPass, int32_t& aLngErrCode);
  bool InetDisConnect(int32_t& aLngErrCode);
  bool FtpSetDir(const std::wstring& aCurDir, int32_t& aLngErrCode);
  const std::wstring& ServerIP() const { return serverIP_; }
  void ServerIP(const std::wstring& value) { serverIP_ = value; }
  const std::wstring& UserID() const { return userID_; }
  void UserID(const std::wstring& value) { userID_ = value; }
  const std::wstring& Pass() const { return pass_; }
  void Pass(const std::wstring& value) { pass_ = value; }
  bool IsConnect() const { return hConnect_.Valid(); }
  bool FtpGetDir(std::wstring& aCurDir, int32_t& aLngErrCode);
  bool Passive() const { return passive_; }
  void Passive(bool value) { passive_ = value; }
  const std::wstring& ProxyBypass() const { return proxyBypass_; }
  void ProxyBypass(const std::wstring& value) { proxyBypass_ = value; }
  uint16_t PortNo() const { return portNo_; }
  void PortNo(uint16_t value) { portNo_ = value; }
  bool ftp_FileSend(const std::wstring& aLocalFilePath, const std::wstring& aSvDir,
                    bool Is上書き, int32_t& aLngErrCode, const std::wstring& aServerIP = L"",
                    const std::wstring& aUser = L"", const std::wstring& aPass = L"");
  bool IsConsoleDisp() const { return isConsoleDisp_; }
  void IsConsoleDisp(bool value) { isConsoleDisp_ = value; }
  bool FtpMakeDir(const std::wstring& aMakeDirName, int32_t& aLngErrCode);
  bool Ftp_SendFiles(const std::wstring& aLocalPath, const std::wstring& aLocalFileName,
                     const std::wstring& aSvDir, bool Is上書き, bool Is同一Skip,
                     int32_t& aLngErrCode, const std::wstring& aServerIP,
                     const std::wstring& aUser, const std::wstring& aPass,
                     int32_t& aLngSendCount);
  const std::shared_ptr<norvale::ITextDisplay>& DispObject() const { return dispObject_; }
  void DispObject(std::shared_ptr<norvale::ITextDisplay> value) { dispObject_ = std::move(value); }
  bool Ftp_SendFolder(const std::wstring& aLocalPath, const std::wstring& aSvDir, bool Is上書き,
                      bool Is同一Skip, bool Is下層Send, int32_t& aLngErrCode,
                      const std::wstring& aServerIP, const std::wstring& aUser,
                      const std::wstring& aPass, int32_t& aLngSendCount,
                      int32_t& aLngSkipCount);
  std::wstring GetErrMsg(int32_t aLngErrCode) const;
  std::wstring Get_LastDllErrorMsg(int32_t aLngErrCode = 0) const;
  int16_t StopFlag() const { return stopFlag_; }
  void StopFlag(int16_t value) { stopFlag_ = value; }
  bool ASYNC() const { return async_; }
  void ASYNC(bool value) { async_ = value; }
  INTERNET_STATUS_CALLBACK CallBackProcPtr() const { return callBackProcPtr_; }
  void CallBackProcPtr(INTERNET_STATUS_CALLBACK value) { callBackProcPtr_ = value; }
  int32_t OLErrorRetryMaxCount() const { return retryMaxCount_; }
  void OLErrorRetryMaxCount(int32_t value) { retryMaxCount_ = value; }
  int32_t OLErrorRetryWaitTime() const { return retryWaitTime_; }
  void OLErrorRetryWaitTime(int32_t value) { retryWaitTime_ = value; }
  int32_t DownloadedFilesCount() const;
  bool DownloadedFilesClear();
  bool DownloadedFilesAdd(const std::wstring& aFilePath, int32_t aFileSize);
  std::wstring DownloadedFilesGetFilePath(int32_t aIndex) const;
  int32_t DownloadedFilesGetFileSize(int32_t aIndex) const;
  bool DownloadedFilesVerify(int32_t& aFileCount, int32_t& aErrCount, std::wstring& aErrMsg,
                             std::wstring& aWarningMsg);
  bool DownloadedFilesVerify();
  bool DownloadedFilesListOut(const std::wstring& FilePath);
  const std::wstring& AppName() const { return appName_; }
  void AppName(const std::wstring& value) { appName_ = value; }
  bool FileUsingCheck() const { return fileUsingCheck_; }
  void FileUsingCheck(bool value) { fileUsingCheck_ = value; }
  const norvale::FtpListingBounds& ListingBounds() const { return listingBounds_; }
  void ListingBounds(const norvale::FtpListingBounds& value) { listingBounds_ = value; }

  // Called by the program's own windows; not part of the interface above.
  // Lists a server folder into the listing table; aNames[1..count] receive
  // the names (aNames[0] stays empty). The count is no failure indicator:
  // only aLngErrCode tells a failure.
  int32_t FtpGetFileList(const std::wstring& aSvDir, const std::wstring& aPattern,
                         int32_t aKbn, std::vector<std::wstring>& aNames,
                         int32_t& aLngErrCode, const std::wstring& aServerIP,
                         const std::wstring& aUser, const std::wstring& aPass, bool Is下層);
  // Mirrors a server folder (aKbn 0, with Is下層 its whole tree) or the
  // matching files of one (aKbn 2) into aLocalDir. Names from the server
  // that could leave aLocalDir fail the call with ERROR_INVALID_NAME before
  // anything is written.
  bool Ftp_GetFolder(const std::wstring& aSvDir, const std::wstring& aPattern, int32_t aKbn,
                     const std::wstring& aLocalDir, int32_t& aLngErrCode,
                     const std::wstring& aServerIP, const std::wstring& aUser,
                     const std::wstring& aPass, bool Is下層, bool Is上書き, bool Is同一Skip,
                     bool Is更新日設定, bool Is削除, int32_t& aLngDelCount,
                     std::wstring& aLastFilePath, bool IsDLFileInfo保存);
  // Told the local path of every file that Ftp_GetFolder is about to write,
  // while whatever lay there is still there: the installer's roll-back tells
  // so the user's own files from those the run brought. None by default.
  void BeforeWriting(std::function<void(const std::wstring&)> watcher) {
    beforeWriting_ = std::move(watcher);
  }
  // Writes below the folder the tree holds go through it: each file's folder
  // opened from the tree's root without following a link (the missing ones
  // made), each file made and put in its place through that folder's handle.
  // None by default: local paths are used as given.
  void WriteTree(std::shared_ptr<norvale::ITreeWrites> tree) { tree_ = std::move(tree); }
  // Where the installed-files list that DownloadedFilesListOut writes through
  // the tree gets its access list, and who is told of it. None by default:
  // what its folder passes down.
  void GeneratedFiles(std::shared_ptr<norvale::IGeneratedFiles> files) {
    generatedFiles_ = std::move(files);
  }

 private:
  using Session = norvale::ChildInternetHandle;

  // The proxy handed to InternetOpen; nothing outside the class sets it.
  const std::wstring& Proxy() const { return proxy_; }
  void Proxy(const std::wstring& value) { proxy_ = value; }

  // Sessions.
  bool FtpConnect(Session& session, const std::wstring& server, const std::wstring& user,
                  const std::wstring& password, int32_t& aLngErrCode);
  bool FtpDisconnect(Session& session, int32_t& aLngErrCode);
  bool FtpSetCurDir(Session& session, const std::wstring& aCurDir, int32_t& aLngErrCode);
  bool FtpGetCurDir(Session& session, std::wstring& aCurDir, int32_t& aLngErrCode);
  void ConsoleOut(const std::wstring& text);
  INTERNET_STATUS_CALLBACK SetStatusCallback(INTERNET_STATUS_CALLBACK address);
  static std::wstring TrimNull(const std::wstring& text);
  int32_t MakeLocalDir(const std::wstring& path, std::wstring& absolutePath);
  static std::wstring GetLocalAbsolutePath(const std::wstring& path,
                                           const std::wstring& baseFolder);
  static std::wstring GetLocalFileID(const std::wstring& path);
  static std::wstring GetLocalFilePath(const std::wstring& path);

  // The stop rule: the code -999, and a root handle again when Cancel closed it.
  int32_t StopCode(int reopenPauseMs);
  struct Login {
    std::wstring server, user, password;
  };
  Login LoginFor(const std::wstring& aServerIP, const std::wstring& aUser,
                 const std::wstring& aPass) const;
  // The code of a transfer that did not complete.
  int32_t FailedTransferCode(DWORD transferError);
  // 0 or the last WinINet error of a plain server command.
  static bool ServerCommandResult(BOOL succeeded, int32_t& aLngErrCode);
  // A retry countdown of OLErrorRetryWaitTime seconds in short steps; false
  // when a stop request ended it. text(s) words the step with s seconds left.
  bool Countdown(const std::function<std::wstring(int64_t)>& text);
  void Show(const std::wstring& text);
  void Pump();
  static void Pause(int ms);
  DWORD_PTR CallbackContext() const;
  // Stands between WinINet and CallBackProcPtr: counts that a callback runs,
  // so that a Cancel inside it leaves the root's close for later.
  static void CALLBACK StatusCallbackEntry(HINTERNET handle, DWORD_PTR context, DWORD status,
                                           LPVOID information, DWORD informationLength);
  // Closes the roots that a Cancel inside a callback let go of, once no
  // WinINet call is running on this thread any more.
  void CloseReleasedRoots();

  // Listings.
  int32_t FtpReadDirInfo(const std::wstring& aSvDir, const std::wstring& aPattern,
                         int32_t aKbn, int32_t& aLngErrCode, const std::wstring& aServerIP,
                         const std::wstring& aUser, const std::wstring& aPass, bool Is下層);
  // depth: levels below the folder the walk began with.
  int32_t FtpFindFiles(const std::wstring& aSvDir, const std::wstring& aPattern, int32_t aKbn,
                       int32_t& aLngErrCode, const std::wstring& aServerIP,
                       const std::wstring& aUser, const std::wstring& aPass, bool Is下層,
                       int32_t depth = 0);
  int32_t FtpFindFilesNested(const std::wstring& aSvDir, const std::wstring& aPattern,
                             int32_t aKbn, int32_t& aLngErrCode, const std::wstring& aServerIP,
                             const std::wstring& aUser, const std::wstring& aPass, bool Is下層,
                             int32_t depth = 0);
  // 0 while the walk stays within listingBounds_; else the code that ends
  // it, with a line in the error log.
  int32_t ListingBoundCode(const std::wstring& folder, int32_t depth, size_t entries);
  bool OpenListingSession(Session& session, const std::wstring& aSvDir,
                          const std::wstring& server, const std::wstring& user,
                          const std::wstring& password, std::wstring& curDir,
                          int32_t& aLngErrCode);
  static bool SortDirInfo(std::vector<DirInfo>& table, int32_t first, int32_t last,
                          const std::wstring& key, bool descending);
  const DirInfo* ListedRecord(int32_t lngRecNo) const;

  // Download.
  static std::wstring ReceivingText(const std::wstring& fileId);
  // Sizes are listed and checked by their low 32 bits.
  static int32_t LowSizeWord(uint64_t size);
  bool SetLocalFileTime(const std::wstring& path, norvale::OleDate date);
  static FILETIME DateToFileTime(norvale::OleDate date);
  static norvale::FileHandle OpenFileForWrite(const std::wstring& path);
  // One transfer of a file of the main session's folder into a local file,
  // read in chunks so that a stop request ends it at once. The local file
  // changes only when the transfer completed with the expected size (low
  // 32 bits, when given; else the size the server gives for the open file,
  // when it gives one); nothing of a failed one stays on disk. 0, the error
  // code of the step that failed, or kFtpIncompleteTransfer for a transfer
  // that came out short or long. With replaceFolder, a folder in the file's
  // place is removed once the file has arrived whole, and kept otherwise.
  DWORD ReceiveFile(const std::wstring& serverFileId, const std::wstring& localPath,
                    bool overwrite, const int32_t* expectedSize = nullptr,
                    bool replaceFolder = false);
  // The size the server gives for serverFileId, opened for reading as file;
  // none when it gives none.
  std::optional<uint64_t> OpenFileSize(HINTERNET file, const std::wstring& serverFileId);
  // kFtpProtectedTarget, with a line in the error log, when the guard would
  // refuse to replace the existing file target; else 0.
  int32_t ReplaceRefusalCode(const std::wstring& target);
  // The folder of a local path below the write tree, opened through it (made
  // when missing); none, with kFtpUnsafeFolder and a line in the error log,
  // when the tree refuses it. Paths outside the tree need none.
  // The folder download's box for a local folder that cannot be made.
  void TellFolderNotMade();
  bool TreeFolderOf(const std::wstring& folder,
                    std::shared_ptr<const norvale::HeldEntry>& opened, int32_t& code);
  // Removes the folder at path, below the write tree, through its folder's
  // handle: never what a link there leads to. 0, kFtpUnsafeFolder or the
  // error of the removal.
  DWORD RemoveFolderInTree(const std::wstring& path);
  // ReceiveFile's writing through a folder of the write tree.
  DWORD ReceiveFileInTree(const std::wstring& serverFileId, const std::wstring& target,
                          bool overwrite, const int32_t* expectedSize, bool replaceFolder);
  // The transfer of serverFileId into the open local file; 0 or the error.
  DWORD TransferInto(HANDLE local, const std::wstring& serverFileId, const int32_t* expectedSize);
  // Lists the one server file of a download into listed; the listing's
  // count, its code in aLngErrCode. listed is the entry named exactly
  // fileId (or the one entry that differs in letter case only), and a
  // listing without one finds nothing (kFtpFileNotFound): a name is also a
  // pattern to the listing, which may list other files with it.
  int32_t ListServerFile(const std::wstring& aSvDir, const std::wstring& fileId,
                         DirInfo& listed, int32_t& aLngErrCode);
  static DirInfo LocalDirInfo(const std::wstring& path);

  // Folder download.
  bool FtpGetListedFile(const DirInfo& record, const std::wstring& localPath, bool Is上書き,
                        int32_t& aLngErrCode, bool Is同一Skip, bool Is更新日設定,
                        bool IsDLFileInfo保存);
  int32_t GetLocalDirInfo(const std::wstring& folder, std::vector<DirInfo>& list,
                          bool recursive);
  // The listing's entries carry in FilePath where the download put them.
  static int32_t CompareDirInfo(const DirInfo& local, const std::vector<DirInfo>& listing);
  static bool DeleteLocalFile(const std::wstring& path, std::wstring& errorText);
  // A local folder with what it holds, through the guard's tree delete.
  static norvale::StepDone RemoveLocalFolder(const std::wstring& path);
  // Removes a folder that stands where a file is to be placed, through the
  // guard: 0, kFtpProtectedTarget (logged) or the error of the removal.
  DWORD RemoveFolderInPlaceOf(const std::wstring& target);
  static std::wstring GetPathDrive(const std::wstring& path);
  static bool IsFileLocked(const std::wstring& path, std::wstring& message);
  // After a failed attempt: a session that the server dropped is opened
  // again and put back into the record's folder. 0 or the failure's code.
  int32_t ReviveMainSession(const std::wstring& serverFolder);

  // Upload.
  static int32_t GetLocalFileList(const std::wstring& folder, const std::wstring& pattern,
                                  std::vector<DirInfo>& list);
  static int32_t GetLocalFolderList(const std::wstring& folder, std::vector<DirInfo>& list,
                                    bool recursive);
  static int32_t CompareDirInfoByMinute(const DirInfo& local, const std::vector<DirInfo>& listing);
  // The credentials of an upload: the arguments when server and user are
  // given (and kept in the properties), else the properties.
  void TakeCredentials(const std::wstring& aServerIP, const std::wstring& aUser,
                       const std::wstring& aPass);

  // Check list.
  bool IsListedLater(int32_t index) const;
  static std::wstring GetSpecialFolder(int32_t csidl);

  norvale::Seams seams_;
  norvale::FtpWaits waits_;
  std::shared_ptr<norvale::IFtpFileSize> fileSize_;

  std::vector<DirInfo> listing_;  // the listing table, entries 1..n at 0..n-1
  bool passive_ = true;
  uint32_t rootGeneration_ = 0;
  norvale::InternetHandle hOpen_;
  Session hConnect_{&rootGeneration_};
  // Roots let go of inside a status callback, closed by CloseReleasedRoots.
  std::vector<norvale::InternetHandle> releasedRoots_;
  // The absolute folder the main session last entered, while that session
  // lives: a CWD to it again costs a server round trip and changes nothing.
  struct EnteredFolder {
    HINTERNET session = nullptr;
    uint32_t generation = 0;
    std::wstring folder;
  } mainSessionFolder_;
  int callbacksRunning_ = 0;
  bool isConsoleDisp_ = false;
  std::shared_ptr<norvale::ITextDisplay> dispObject_;
  std::wstring proxy_;
  std::wstring proxyBypass_;
  uint16_t portNo_ = 0;
  std::wstring serverIP_;
  std::wstring userID_;
  std::wstring pass_;
  int16_t stopFlag_ = 0;
  bool async_ = false;
  INTERNET_STATUS_CALLBACK callBackProcPtr_ = nullptr;
  std::wstring appName_;
  int32_t retryMaxCount_ = 3;
  int32_t retryWaitTime_ = 10;
  std::vector<DirInfo> downloaded_;  // the downloaded-files list, 1..n at 0..n-1
  std::unique_ptr<clsError> errorLog_;
  bool fileUsingCheck_ = false;
  std::function<void(const std::wstring&)> beforeWriting_;
  std::shared_ptr<norvale::ITreeWrites> tree_;
  std::shared_ptr<norvale::IGeneratedFiles> generatedFiles_;
  norvale::FtpListingBounds listingBounds_;
};
