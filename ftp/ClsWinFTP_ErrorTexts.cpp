// The texts of the client's result codes.
#include <string>
#include <unordered_map>

#include "ClsWinFTP.h"
#include "Text.h"

namespace {

// Stored exactly as users have always read them, stray blanks and typos
// included: support staff search their notes by these texts.
const std::unordered_map<int32_t, std::wstring>& ErrorTexts() {
  static const std::unordered_map<int32_t, std::wstring> texts = {
      {0, L"正常終了"},
      {12001, L"No more handles could be generated at this time."},
      {12002, L"The request has timed out."},
      {12003, L"サーバーからエラーを受信！（フォルダ・ファイルが存在しない可能性があります）"},
      {12004, L"An internal error has occurred."},
      {12005, L"The URL is invalid."},
      {12006, L"The URL scheme could not be recFTPognized or is not supported."},
      {12007, L"FTPサーバーに接続できません！"},
      {12008, L"The requested protocol could not be located."},
      {12009, L"A request to InternetQueryOption or InternetSetOption specified an invalid "
              L"option value."},
      {12010, L"The length of an option supplied to InternetQueryOption or InternetSetOption "
              L"is incorrect for the type of option specified."},
      {12011, L"The request option cannot be set, only queried."},
      {12012, L"The Win32 Internet function support is being shut down or unloaded."},
      {12013, L"The request to connect and log on to an FTP server could not be completed "
              L"because the supplied user name is incorrect."},
      {12014, L"ユーザーID,又は,パスワードに誤りがあります！"},
      {12015, L"The request to connect to and log on to an FTP server failed."},
      {12016, L"The requested operation is invalid."},
      {12017, L" The operation was canceled, usually because the handle on which the request "
              L"was operating was closed before the operation completed."},
      {12018, L"The type of handle supplied is incorrect for this operation."},
      {12019, L"The requested operation cannot be carried out because the handle supplied is "
              L"not in the correct state."},
      {12020, L"The request cannot be made via a proxy."},
      {12021, L"A required registry value could not be located."},
      {12022, L"A required registry value was located but is an incorrect type or has an "
              L"invalid value."},
      {12023, L" Direct network access cannot be made at this time."},
      {12024, L" An asynchronous request could not be made because a zero context value was "
              L"supplied."},
      {12025, L"An asynchronous request could not be made because a callback function has not "
              L"been set."},
      {12026, L"The required operation could not be completed because one or more requests "
              L"are pending."},
      {12027, L"The format of the request is invalid."},
      {12028, L"The requested item could not be located."},
      {12029, L"The attempt to connect to the server failed."},
      {12030, L"The connection with the server has been terminated."},
      {12031, L"The connection with the server has been reset."},
      {12032, L"Calls for the Win32 Internet function to redo the request."},
      {12033, L"The request to the proxy was invalid."},
      {12036, L"The request failed because the handle already exists."},
      {12037, L"SSL certificate date that was received from the server is bad. The "
              L"certificate is expired."},
      {12038, L" SSL certificate common name (host name field) is incorrect."},
      {12039, L"The application is moving from a non-SSL to an SSL connection because of a "
              L"redirect."},
      {12040, L"The application is moving from an SSL to an non-SSL connection because of a "
              L"redirect."},
      {12041, L"Indicates that the content is not entirely secure. "},
      {12042, L"The application is posting and attempting to change multiple lines of text on "
              L"a server that is not secure."},
      {12043, L"The application is posting data to a sever that is not secure."},
      {12110, L"The requested operation cannot be made on the FTP session handle because an "
              L"operation is already in progress."},
      {12111, L"The FTP operation was not completed because the session was aborted."},
      {12130, L"An error was detected while parsing data returned from the gopher server."},
      {12131, L"The request must be made for a file locator."},
      {12132, L" An error was detected while receiving data from the gopher server."},
      {12133, L"The end of the data has been reached."},
      {12134, L"The supplied locator is not valid."},
      {12135, L"The type of the locator is not correct for this operation."},
      {12136, L"The requested operation can only be made against a Gopher+server or with a "
              L"locator that specifies a Gopher+operation."},
      {12137, L"The requested attribute could not be located."},
      {12138, L"The locator type is unknown."},
      {12150, L"The requested header could not be located."},
      {12151, L"The server did not return any headers."},
      {12152, L"The server response could not be parsed."},
      {12153, L"The supplied header is invalid."},
      {12154, L"The request made to HttpQueryInfo is invalid."},
      {12155, L"The header could not be added because it already exists."},
      {12156, L"The redirection failed because either the scheme changed (for example, HTTP to "
              L"FTP) or all attempts made to redirect failed (default is five attempts)."},
      {kFtpStopped, L"【キャンセル】ボタンがクリックされたので処理を中止しました！"},
      {kFtpFileNotFound, L"ダウンロード対象となるファイルが見つかりません！"},
      {kFtpListingTooDeep,
       L"サーバーのフォルダ階層が深すぎる為、一覧の取得を中止しました！"},
      {kFtpListingTooLarge,
       L"サーバーのファイル数が多すぎる為、一覧の取得を中止しました！"},
      {kFtpProtectedTarget,
       L"保存先のファイルは保護されたフォルダにある為、置き換えできません！"},
      {kFtpUnsafeFolder,
       L"保存先のフォルダがリンクに置き換えられたか、インストールで作成したフォルダではない為、"
       L"書き込みを中止しました！"},
  };
  return texts;
}

}  // namespace

std::wstring ClsWinFTP::GetErrMsg(int32_t aLngErrCode) const try {
  const auto& texts = ErrorTexts();
  const auto found = texts.find(aLngErrCode);
  return found == texts.end() ? L"不明エラー" : found->second;
} catch (...) {
  return L"";
}

std::wstring ClsWinFTP::Get_LastDllErrorMsg([[maybe_unused]] int32_t aLngErrCode) const try {
  const DWORD code = GetLastError();
  std::wstring buffer(256, L'\0');
  // Inserts stay as they are: this call has no arguments to put into them.
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, 0, buffer.data(),
                                 static_cast<DWORD>(buffer.size()), nullptr);
  if (n == 0) return L"";
  return norvale::CutAtNull(buffer);
} catch (...) {
  return L"";
}
