#include "RuntimeError.h"

#include <windows.h>

namespace norvale {

int32_t RuntimeErrorFromWin32(unsigned long code) {
  switch (code) {
    case ERROR_SUCCESS: return 0;
    case ERROR_INVALID_FUNCTION: return 5;
    case ERROR_FILE_NOT_FOUND: return 53;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_PATHNAME:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME: return 76;
    case ERROR_TOO_MANY_OPEN_FILES: return 67;
    case ERROR_ACCESS_DENIED: return 75;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return 7;
    case ERROR_INVALID_DRIVE: return 68;
    case ERROR_NOT_SAME_DEVICE: return 74;
    case ERROR_WRITE_PROTECT:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return 70;
    case ERROR_NOT_READY: return 71;
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_DISK_FULL: return 61;
    case ERROR_FILE_EXISTS: return 58;
    case ERROR_INVALID_PARAMETER: return 5;
    case ERROR_INVALID_NAME:
    case ERROR_FILENAME_EXCED_RANGE: return 52;
    case ERROR_DIR_NOT_EMPTY:
    case ERROR_ALREADY_EXISTS: return 75;
    case ERROR_HANDLE_EOF: return 62;
    default: return 75;
  }
}

int32_t LastRuntimeError() { return RuntimeErrorFromWin32(GetLastError()); }

std::wstring RuntimeErrorDescription(int32_t number) {
  switch (number) {
    case 0: return L"";
    case 5: return L"プロシージャの呼び出し、または引数が不正です。";
    case 6: return L"オーバーフローしました。";
    case 7: return L"メモリが不足しています。";
    case 9: return L"インデックスが有効範囲にありません。";
    case 11: return L"0 で除算しました。";
    case 13: return L"型が一致しません。";
    case 52: return L"ファイル名または番号が不正です。";
    case 53: return L"ファイルが見つかりません。";
    case 54: return L"ファイル モードが不正です。";
    case 55: return L"ファイルは既に開かれています。";
    case 57: return L"デバイス I/O エラーです。";
    case 58: return L"既に同名のファイルが存在しています。";
    case 61: return L"ディスクの空き容量が不足しています。";
    case 62: return L"ファイルにこれ以上データがありません。";
    case 67: return L"ファイルが多すぎます。";
    case 68: return L"デバイスが準備されていません。";
    case 70: return L"書き込みできません。";
    case 71: return L"ディスクが準備されていません。";
    case 74: return L"ドライブ名が違います。";
    case 75: return L"パス名が無効です。";
    case 76: return L"パスが見つかりません。";
    default: return L"アプリケーション定義またはオブジェクト定義のエラーです。";
  }
}

}  // namespace norvale
