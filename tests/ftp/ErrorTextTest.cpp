// The texts of the client's result codes.
#include <vector>

#include "FtpClientFixture.h"

namespace testing_support {
namespace {

const wchar_t kUnknown[] = L"不明エラー";

std::vector<int32_t> ListedCodes() {
  std::vector<int32_t> codes = {0, kFtpStopped, kFtpFileNotFound, 12110, 12111};
  for (int32_t c = 12001; c <= 12033; ++c) codes.push_back(c);
  for (int32_t c = 12036; c <= 12043; ++c) codes.push_back(c);
  for (int32_t c = 12130; c <= 12138; ++c) codes.push_back(c);
  for (int32_t c = 12150; c <= 12156; ++c) codes.push_back(c);
  return codes;
}

TEST(ErrorTextTest, EveryListedCodeHasItsOwnText) {
  ClsWinFTP ftp;
  std::vector<std::wstring> seen;
  for (int32_t code : ListedCodes()) {
    const std::wstring text = ftp.GetErrMsg(code);
    EXPECT_NE(text, kUnknown) << code;
    EXPECT_EQ(std::count(seen.begin(), seen.end(), text), 0) << code;
    seen.push_back(text);
  }
}

TEST(ErrorTextTest, TextsUsersReadAreKeptToTheLetter) {
  ClsWinFTP ftp;
  EXPECT_EQ(ftp.GetErrMsg(0), L"正常終了");
  EXPECT_EQ(ftp.GetErrMsg(kFtpStopped),
            L"【キャンセル】ボタンがクリックされたので処理を中止しました！");
  EXPECT_EQ(ftp.GetErrMsg(kFtpFileNotFound), L"ダウンロード対象となるファイルが見つかりません！");
  EXPECT_EQ(ftp.GetErrMsg(12003),
            L"サーバーからエラーを受信！（フォルダ・ファイルが存在しない可能性があります）");
  EXPECT_EQ(ftp.GetErrMsg(12007), L"FTPサーバーに接続できません！");
  EXPECT_EQ(ftp.GetErrMsg(12014), L"ユーザーID,又は,パスワードに誤りがあります！");
  EXPECT_EQ(ftp.GetErrMsg(12029), L"The attempt to connect to the server failed.");
  EXPECT_EQ(ftp.GetErrMsg(kFtpIncompleteTransfer),
            L"The connection with the server has been terminated.");
  EXPECT_EQ(ftp.GetErrMsg(12006),
            L"The URL scheme could not be recFTPognized or is not supported.");
  for (int32_t leadingBlank : {12017, 12023, 12024, 12038, 12132}) {
    EXPECT_EQ(ftp.GetErrMsg(leadingBlank).front(), L' ') << leadingBlank;
  }
  EXPECT_EQ(ftp.GetErrMsg(12041), L"Indicates that the content is not entirely secure. ");
}

TEST(ErrorTextTest, OtherCodesAreUnknown) {
  ClsWinFTP ftp;
  for (int32_t code : {1, -1, 82, -997, 12000, 12034, 12035, 12044, 12109, 12112, 12129, 12139,
                       12149, 12157}) {
    EXPECT_EQ(ftp.GetErrMsg(code), kUnknown) << code;
  }
}

TEST(ErrorTextTest, LastSystemErrorTextIgnoresItsArgument) {
  ClsWinFTP ftp;
  SetLastError(ERROR_FILE_NOT_FOUND);
  const std::wstring first = ftp.Get_LastDllErrorMsg(0);
  SetLastError(ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(ftp.Get_LastDllErrorMsg(12345), first);
  EXPECT_FALSE(first.empty());
  SetLastError(ERROR_ACCESS_DENIED);
  EXPECT_NE(ftp.Get_LastDllErrorMsg(0), first);
}

}  // namespace
}  // namespace testing_support
