#include "StepError.h"

#include "System.h"

namespace norvale {

std::wstring ReasonText(Reason reason, const std::wstring& detail) {
  switch (reason) {
    case Reason::None:
      return L"";
    case Reason::FolderIsLink:
      return L"フォルダがリンク（ジャンクション）です";
    case Reason::LinkToFileElsewhere:
      return L"別の場所にあるファイルへのリンクです";
    case Reason::LinkOnTheWay:
      return L"途中にリンク（ジャンクション）があるか、一覧と違う場所を指しています";
    case Reason::FolderOpensElsewhere:
      return L"フォルダが一覧と違う場所を指しています";
    case Reason::FolderChanged:
      return L"確認した後でフォルダが入れ替わりました";
    case Reason::ReadOnlyWithOtherNames:
      return L"ほかの名前でも使われている読み取り専用のファイルです";
    case Reason::NoSuchFolder:
      return L"フォルダがありません";
    case Reason::FolderCannotBeOpened:
      return L"フォルダを開けません";
    case Reason::FolderCannotBeJudged:
      return L"フォルダの場所を確認できません";
    case Reason::FileCannotBeJudged:
      return L"ファイルの場所を確認できません";
    case Reason::NotRemovedCompletely:
      return L"フォルダを完全には削除できませんでした";
    case Reason::InUseByRunningProgram:
      return L"実行中のプログラムが使用しています";
    case Reason::WalkEndedByCaller:
      return L"削除が途中で中止されました";
    case Reason::VolumeKeepsNoLists:
      return L"アクセス許可のないボリューム(FAT32・exFAT)です";
    case Reason::OthersMayDeleteInRoot:
      return L"ドライブのルートで他のユーザーがフォルダを削除できます";
    case Reason::NotWritableInCommandFile:
      return L"コマンドファイルに書けない文字がパスにあります";
    case Reason::NotAFolderName:
      return L"フォルダ名として使えません";
    case Reason::OutsideInstallFolder:
      return L"インストール先の外にあります";
    case Reason::NotMadeByThisRun:
      return L"このインストールで作成したフォルダではありません";
    case Reason::NotWhereInstalled:
      return L"インストール時の場所にありません";
    case Reason::InstallFolderNotMade:
      return L"インストール先のフォルダを作成できなかったため使用しません";
    case Reason::NotMadeAfterRun:
      return L"インストールの後では作成できません";
    case Reason::NotAsArrived:
      return L"インストールしたファイルではないか、ダウンロード後に変更されています";
    case Reason::NoAccessListForFile:
      return L"アクセス許可を作成できませんでした";
    case Reason::BlankPath:
      return L"パスが空です";
    case Reason::PathHoldsNul:
      return L"パスにNUL文字があります";
    case Reason::PathTooLong:
      return L"パスが長すぎます";
    case Reason::DeviceOrRawPath:
      return L"デバイス名か、そのまま渡されるパスです";
    case Reason::WildcardInPath:
      return L"パスにワイルドカードがあります";
    case Reason::RelativePath:
      return L"相対パスです";
    case Reason::StreamNameInPath:
      return L"パスにストリーム名があります";
    case Reason::PathCannotBeResolved:
      return L"パスを解決できません";
    case Reason::PathCannotBeJudged:
      return L"パスの場所を確認できません";
    case Reason::DriveRoot:
      return L"ドライブのルートです";
    case Reason::InsideWindowsFolder:
      return L"Windowsフォルダの中です";
    case Reason::ProtectedFolder:
      return L"保護されたフォルダです: " + detail;
    case Reason::UserProfile:
      return L"ユーザーのプロファイルです: " + detail;
    case Reason::OtherAccountsProfile:
      return L"ほかのアカウントのプロファイルです: " + detail;
    case Reason::ShareRoot:
      return L"共有フォルダのルートです";
    case Reason::AdministrativeShare:
      return L"管理用の共有です";
    case Reason::ShareOnThisMachine:
      return L"このコンピューター自身の共有です";
    case Reason::NothingNamed:
      return L"削除するものが指定されていません";
    case Reason::Described:
      return detail;
  }
  return detail;
}

StepError StepError::Of(DWORD code, std::wstring path) {
  StepError error;
  error.code = code;
  error.path = std::move(path);
  switch (code) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_DIR_NOT_EMPTY:
    case ERROR_DELETE_PENDING:
    case ERROR_USER_MAPPED_FILE:
    case ERROR_BUSY:
    case ERROR_RETRY:
      error.kind = Kind::Transient;
      break;
    case kErrorLinkOnTheWay:
    case ERROR_INVALID_NAME:
      error.kind = Kind::Refused;
      break;
    default:
      error.kind = Kind::Failed;
      break;
  }
  return error;
}

StepError StepError::Refusal(DWORD code, std::wstring path, Reason reason, std::wstring detail) {
  StepError error = Of(code, std::move(path));
  error.kind = Kind::Refused;
  error.reason = reason;
  error.detail = std::move(detail);
  return error;
}

StepError StepError::ForNow(DWORD code, std::wstring path, Reason reason) {
  StepError error = Refusal(code, std::move(path), reason);
  error.kind = Kind::Transient;
  return error;
}

StepError StepError::Last(std::wstring path) {
  const DWORD code = GetLastError();
  return Of(code != ERROR_SUCCESS ? code : ERROR_GEN_FAILURE, std::move(path));
}

std::wstring StepError::Why() const {
  if (reason != Reason::None) return ReasonText(reason, detail);
  // The system has no words of its own for a link on the way.
  if (code == kErrorLinkOnTheWay) return ReasonText(Reason::LinkOnTheWay);
  return SystemErrorText(code);
}

std::wstring StepError::Text() const {
  return L"[" + path + L"] (" + std::to_wstring(code) + L": " + Why() + L")";
}

}  // namespace norvale
