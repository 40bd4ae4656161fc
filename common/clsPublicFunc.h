#pragma once
// The general-function object of both programs. Its members are spread over
// several source files by topic; this header keeps them in the class's
// interface order.
#include <windows.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "OleDate.h"
#include "Seams.h"
#include "clsError.h"

class clsPublicFunc {
 public:
  explicit clsPublicFunc(norvale::Seams seams = norvale::Seams::System());

  bool IsFileUsing(const std::wstring& FailePath);
  std::wstring GetFullPath(const std::wstring& aStrPath, const std::wstring& aStrCurPath = L"");
  bool DirCopy(const std::wstring& aStrSrcDir, const std::wstring& aStrDisDir,
               const std::wstring& aStrSelValue = L"");
  int32_t DelFiles(const std::wstring& strPath, int16_t intDay);
  int32_t MakeDir(const std::wstring& aStrPath, std::wstring* aStrFullPath = nullptr,
                  bool IsErrLogPut = false);
  int32_t DIR_COPY(const std::wstring& aStrSrcDir, const std::wstring& aStrDisDir,
                   const std::wstring& aStrSelValue = L"");
  int32_t DelFilesFormPath(const std::wstring& DelDir, const std::wstring& DelFilesName,
                           int32_t DelDays);
  std::wstring GetFilePath(const std::wstring& File_Path);
  std::wstring GetFileID(const std::wstring& File_Path);
  int32_t GetFileList(std::vector<std::wstring>& FileList, const std::wstring& DirName,
                      const std::wstring& SelValue = L"");
  bool IsSameFile(const std::wstring& FilePath1, const std::wstring& FilePath2);
  bool FileCheck(const std::wstring& ChkFileId, const std::vector<std::wstring>& FileList);
  int32_t DirCheckAndFileDelete(const std::wstring& strSrcDir, const std::wstring& strDistDir,
                                const std::wstring& SelValue = L"", bool IsSizeCheck = false);
  bool FolderCheck(const std::wstring& ChkFolder);
  std::wstring GetFileID_FTP(const std::wstring& File_Path);
  std::wstring GetFilePath_FTP(const std::wstring& File_Path);
  std::wstring GetLastFolder(const std::wstring& File_Path);
  std::wstring GetDelLastFolder(const std::wstring& File_Path);
  std::wstring GetDriveFormPath(const std::wstring& strPath);
  int32_t GetFileSystemType(const std::wstring& Path);
  std::wstring GetFileExt(const std::wstring& File_Path);

 private:
  int32_t MakeDirRelative(const std::wstring& path, std::wstring* fullPath);
  void Log(const std::wstring& text);
  std::wstring PrepareLastFolderPath(const std::wstring& File_Path);
  norvale::OleDate NowToTheSecond();

  norvale::Seams seams_;
  std::unique_ptr<clsError> error_;
  // Form resizing rates and base scale sizes.
  float widthRate_ = 0, heightRate_ = 0, baseScaleWidth_ = 0, baseScaleHeight_ = 0,
        initialScaleWidth_ = 0, initialScaleHeight_ = 0;
  // Positions (1-21) of the plain card number behind each scrambled position.
  std::array<uint8_t, 21> cardNoTable_{};
  // Stopwatch start, second of the day.
  int32_t stopwatchStart_ = 0;
};
