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

namespace norvale::forms {
class Form;
class Surface;
class TextBox;
class Widget;
struct StdFont;
}  // namespace norvale::forms

class clsPublicFunc {
 public:
  explicit clsPublicFunc(norvale::Seams seams = norvale::Seams::System());

  bool IsFileUsing(const std::wstring& FailePath);
  int16_t GetRedFromRGB(int32_t rgb);
  int16_t GetGreenFromRGB(int32_t rgb);
  int16_t GetBlueFromRGB(int32_t rgb);
  std::wstring GetFullPath(const std::wstring& aStrPath, const std::wstring& aStrCurPath = L"");
  bool IsFormLoaded(const std::wstring& aStrFormName,
                    norvale::forms::Form** aFormObject = nullptr);
  bool DirCopy(const std::wstring& aStrSrcDir, const std::wstring& aStrDisDir,
               const std::wstring& aStrSelValue = L"");
  double GetTextWidth(const std::wstring& sStrText, const norvale::forms::StdFont* aDblFont,
                      norvale::forms::Surface* aObjDev);
  double GetOptimizationFontSize(const std::wstring& sStrText, double aDblSourceFontSize,
                                 double aDblWidth, double aDblHeight,
                                 norvale::forms::Surface* aObjCtrl = nullptr);
  int16_t KeyPressNumChk(int16_t KeyAscii);
  bool FormCtlResize(norvale::forms::Form* frmForm, bool IsRefresh = true,
                     float* aSngFrmWidthRate = nullptr, float* aSngFrmHeightRate = nullptr);
  bool TextObjSelect(norvale::forms::TextBox* objFrmTextBox);
  int32_t DelFiles(const std::wstring& strPath, int16_t intDay);
  int32_t MakeDir(const std::wstring& aStrPath, std::wstring* aStrFullPath = nullptr,
                  bool IsErrLogPut = false);
  int32_t DIR_COPY(const std::wstring& aStrSrcDir, const std::wstring& aStrDisDir,
                   const std::wstring& aStrSelValue = L"");
  int32_t DelFilesFormPath(const std::wstring& DelDir, const std::wstring& DelFilesName,
                           int32_t DelDays);
  std::wstring GetFilePath(const std::wstring& File_Path);
  std::wstring GetFileID(const std::wstring& File_Path);
  bool DrawBackGradation(norvale::forms::Surface* aObjCtrl, int32_t aLngStatColor = 7,
                         int32_t aLngEndColor = 0);
  bool DrawFromGage(norvale::forms::Widget* objDrow, int32_t lngLeft, int32_t lngWidth,
                    int16_t intRate);
  void UnloadForm(norvale::forms::Form* afrm);
  bool TextObjInputCheck(int16_t& KeyAscii, bool IsNumeText = false, bool IsCrlfSikp = true,
                         bool IsDateField = false, bool IsSmallNum = false);
  bool FormCtlRefresh(norvale::forms::Form* frmForm);
  float FrmHeightRate(norvale::forms::Form* frmForm);
  float FrmWidthRate(norvale::forms::Form* frmForm);
  int32_t GetFileList(std::vector<std::wstring>& FileList, const std::wstring& DirName,
                      const std::wstring& SelValue = L"");
  bool IsSameFile(const std::wstring& FilePath1, const std::wstring& FilePath2);
  bool FileCheck(const std::wstring& ChkFileId, const std::vector<std::wstring>& FileList);
  int32_t DirCheckAndFileDelete(const std::wstring& strSrcDir, const std::wstring& strDistDir,
                                const std::wstring& SelValue = L"", bool IsSizeCheck = false);
  bool IsFormObjLoaded(const norvale::forms::Widget* aFormObject);
  int32_t GetReverceColor(int32_t lngRGB);
  bool FolderCheck(const std::wstring& ChkFolder);
  std::wstring GetFileID_FTP(const std::wstring& File_Path);
  bool FormCentering(norvale::forms::Form* frmForm);
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
