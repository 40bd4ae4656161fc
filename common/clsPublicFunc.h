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

#include "forms/DdeLinkControl.h"
#include "OleDate.h"
#include "RuntimeError.h"
#include "Seams.h"
#include "Variant.h"
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

  // Shift-JIS fixed-width text.
  int32_t GetLengthSjis(const std::wstring& aStrValue);
  std::wstring StrFixed(const std::wstring& aStrVal, int16_t aIntLen, int16_t aBytPadChr = -1);
  std::wstring StrRight(const std::wstring& strData, int16_t intByte,
                        const std::wstring& aBytPadChr = L"-1");
  std::wstring StrCentering(const std::wstring& aStrVal, int16_t aIntLen);
  int16_t StrSeparat(const std::wstring& aStrVal, std::vector<std::wstring>& aStrSepBuf,
                     const std::wstring& aStrSepValue = L"|", int16_t aIntMaxDigit = 0);
  std::wstring StrLineByLength(const std::wstring& aStrVal, const std::vector<int16_t>& aIntLen);
  std::wstring StrCutSpace(const std::wstring& strData, int32_t intCutKbn = 0);
  bool SetStringToByteArry(const std::wstring& strSource, std::vector<uint8_t>& dstBuf,
                           const std::wstring& strCrVal = L"");

  // Text, byte and hexadecimal conversions.
  std::wstring CutCrlf(const std::wstring& aStrValue);
  std::wstring CutNull(const std::wstring& aStrTxte);
  std::wstring CnvNullToSpace(const std::wstring& aStrValue);
  std::wstring CnvDbString(const std::wstring& aStrValue, bool aIsStartEndUse = true);
  std::wstring CutSinglQuote(const std::wstring& aStrValue);
  std::wstring CnvDbBoolean(bool aBlnValue);
  std::wstring CutValfromString(const std::wstring& sStrText, const std::wstring& aStrCutVal,
                                const std::wstring& aStrPostValue = L"");
  std::wstring ByteToAsciiStr(const std::vector<uint8_t>& SrcData);
  std::wstring StrToHex(const std::wstring& aStrVal);
  std::wstring ByteToChr(const std::vector<uint8_t>& SrcData);
  bool ByteToByte(std::vector<uint8_t>& bytData1, int16_t intStart1,
                  const std::vector<uint8_t>& bytData2, int16_t intStart2, int16_t intLen2);
  std::wstring ByteToNumStr(const std::vector<uint8_t>& SrcData);
  std::wstring CnvHexStrToNumStr(const std::wstring& aStrHexValue);
  bool IsArgInclude(const std::wstring& aStrArg);

  // Numbers and rounding codes. Currency values are the amount times 10,000.
  int64_t RoundOfSmallNum(int64_t aCurValue, int16_t aIntKeta, int16_t aIntRoundKbn = 1);
  norvale::Variant CnvNumeric(const norvale::Variant& avarValue);
  int64_t GetCurNum(const norvale::Variant& aVntValue);
  int32_t GetLngNum(const norvale::Variant& aVntTarget);
  int16_t GetIntNum(const norvale::Variant& aVntTarget);
  uint8_t GetBytNum(const norvale::Variant& aVntTarget);
  norvale::Variant GetCutedNum(const norvale::Variant& aVntTarget, uint8_t aByt整数桁,
                               int16_t aInt端数処理, bool* aBlnOutRet = nullptr);
  // Run-time error 6 (overflow) for a code outside 0 to 2559 reaches the
  // caller through `raised`; the result is then empty.
  norvale::Variant GetFormatedNum(const norvale::Variant& aVntTarget, uint8_t aByt整数桁,
                                  int16_t aInt端数処理, norvale::RaisedError* raised = nullptr);
  std::wstring Edit小数値(const norvale::Variant& aVal対象値, int32_t aLng小数部桁数 = 4,
                          const std::wstring& aStr編集文字列 = L"",
                          bool aBolEditBySystem = false);
  bool IsInRange(const norvale::Variant& avarValue, const norvale::Variant& avarMin,
                 const norvale::Variant& avarMax);
  bool IsNumericStr(const std::wstring& strCheckValue);

  // Date texts and Japanese era layouts.
  std::wstring DateConv(const norvale::Variant& valDate, int32_t cnvMode = -1,
                        int32_t cnvType = -1);
  std::wstring DateFormat(const norvale::Variant& valDate, int32_t cnvMode = -1,
                          int32_t cnvType = -1);
  std::wstring DateFormatYM(const norvale::Variant& valDate, int32_t cnvMode = -1,
                            int32_t cnvType = -1);
  std::wstring StrToDate(const std::wstring& astrDate);
  std::wstring DateEditZeroToSpace(const std::wstring& strDate);

  // Calendar calculations. Run-time error 5 of Is末日 and Get末日 reaches the
  // caller through `raised`; the result is then False or 0.
  norvale::OleDate GetLastMothDay(norvale::OleDate aDateValue, int32_t aLngMode = 1);
  bool Is末日(const std::wstring& astrDate, norvale::RaisedError* raised = nullptr);
  int16_t Get末日(int16_t aintYear, int16_t aintMonth, norvale::RaisedError* raised = nullptr);
  norvale::OleDate Get月末日(norvale::OleDate pDate);
  norvale::OleDate Get月初日(norvale::OleDate pDate);
  bool Get締め期間(norvale::OleDate aDat基準日, const std::vector<int16_t>& aInt締日配列,
                   norvale::OleDate* aDat開始日 = nullptr, norvale::OleDate* aDat終了日 = nullptr);
  int32_t Get年齢(norvale::OleDate dat生年月日, norvale::OleDate dat基準日 = norvale::OleDate());
  bool IsDayRange(norvale::OleDate aDat基準日, norvale::OleDate aDat対象日, int16_t aInt前後日数);
  bool IsTimeRange(norvale::OleDate aDat基準日時, int32_t aLng開始時分, int32_t aLng終了時分);

  // Check digits.
  std::wstring CD_GetCD(const std::wstring& strCode);
  bool CD_CheckCD(const std::wstring& strCode);
  std::wstring CD_GetJan13CD(const std::wstring& strCode);
  std::wstring CD_GetJan8CD(const std::wstring& strCode);
  std::wstring CD_GetUpcE8CD(const std::wstring& strCode);
  std::wstring CD_GetCD_FreeFormat(const std::wstring& strCode, int16_t intCdPos,
                                   int16_t intMJVal, int16_t intWait);
  int32_t GetCheckSum(const std::vector<uint8_t>& bytArrayData, int16_t intStartPos,
                      int16_t intSumLen);

  // Card-number scrambling.
  std::wstring Corvane_CardNoEncode(const std::wstring& aStrSourceCardNo);
  std::wstring Corvane_CardNoDecode(const std::wstring& aStrSourceCardNo);
  bool IsCardNoChrCode(const std::wstring& aStrCardNo);

  // Flag strings.
  uint8_t Bit_CheckBitByStr(const std::wstring& aStrHex, int32_t aLngBitPosition);
  std::wstring Bit_CheckGetOrStr(const std::wstring& aStrValue1, const std::wstring& aStrValue2);
  bool Bit_CheckPassThrough(const std::wstring& aStrHex, const std::wstring& aStrAndSelect = L"",
                            const std::wstring& aStrOrSelect = L"");

  // Miscellaneous.
  bool IsDebug();
  int32_t GetWidthByAdoFieldType(int16_t aIntFieldIndex, int16_t aIntFieldType);
  int32_t ChangeAddressOf(int32_t address);
  int32_t timer_ss(int32_t tm_mode = 0, int32_t ss_time = 0);
  bool DDE_SEND(norvale::forms::IDdeLinkControl* objSEND_CTL, const std::wstring& strSEND_MSG,
                const std::wstring& strLINK_TOPIC, const std::wstring& strLINK_ITEM);
  norvale::Variant CallFuncByName(const norvale::Variant& aValArg);
  std::wstring GetIpAdrByURL(const std::wstring& aStrUrl);
  int32_t GetArrayCount(const norvale::Variant& avarArray, int32_t alngDimension = 1);

 private:
  // The carry decision of a fraction-processing code's method.
  bool IsRoundUpByKbn(const std::wstring& digits, uint8_t method);
  // Reads a list of flag numbers into list[1..count]; list[0] stays 0.
  int16_t Bit_GetPositionList(std::vector<int32_t>& list, const std::wstring& positions);

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
