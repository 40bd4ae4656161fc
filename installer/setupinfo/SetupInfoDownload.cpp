#include "SetupInfoDownload.h"

#include "FileSystem.h"
#include "SetupInfoFile.h"
#include "SetupText.h"
#include "StartIni.h"
#include "Text.h"

namespace norvale {
namespace {

const wchar_t kDownloadFailed[] = L"セットアップ情報をダウンロードできませんでした！";
const wchar_t kCheckTitle[] = L"インストーラーのバージョンチェック";
const wchar_t kCheckText[] = L"プログラムバージョンを確認しています...";
const wchar_t kDownloadTitle[] = L"セットアップ情報の取得";
const wchar_t kDownloadText[] = L"セットアップ情報をダウンロードしています...";

class SetupInfoDownload {
 public:
  SetupInfoDownload(InstallerState& state, forms::Application& app,
                    const StartupDialogHooks& hooks)
      : state_(state), app_(app), hooks_(hooks) {}

  bool Run() {
    LoadStartIni(state_);
    const ServerSettings& server = state_.StartServer;
    if (IsBlank(server.ip) || IsBlank(server.user) || IsBlank(server.pw) || IsBlank(server.path)) {
      if (!AskServer()) {
        state_.ErrText = L"セットアップ情報のダウンロード先が指定されていません！\r\n\r\n"
                         L"（セットアップを続行することはできません）";
        return false;
      }
    }
    for (;;) {
      std::wstring errorText;
      if (!Attempt(errorText)) return false;  // the program was ended
      if (errorText.empty()) return ReadSetupInfo(state_) != 0;
      state_.seams.common.messageBox->Show(errorText, L"セットアップ情報取得エラー！",
                                           MB_OK | MB_ICONSTOP);
      if (!AskServer()) {
        state_.ErrText = std::wstring(kDownloadFailed) +
                         L"\r\n\r\n（セットアップを続行することはできません）";
        return false;
      }
    }
  }

 private:
  bool AskServer() {
    ServerSettings& server = state_.StartServer;
    std::wstring fileId = state_.SetupFileId;
    Form_IpInput dialog(app_, state_.seams.common);
    dialog.Shown = hooks_.serverDialogShown;
    const bool ok = dialog.ShowForm(server.ip, server.user, server.pw, server.path, fileId);
    app_.DoEvents();
    if (!ok) return false;
    state_.SetupFileId = IsBlank(fileId) ? L"Setup.ini" : fileId;
    state_.objSetupIni.IniFileID(state_.SetupFileId);
    return true;
  }

  bool UpdateCheckApplies() const {
    return !IsBlank(state_.UpdatePath) && !IsBlank(state_.ExeName) && state_.ReplaceCunt < 1;
  }

  // The port goes to the client as its 16-bit pattern; a port above 32767
  // arrives as the same unsigned number.
  void UseStartIniPort() { state_.objFtp.PortNo(static_cast<uint16_t>(state_.StartServer.port)); }

  // The installer's own file time in local time; nothing when it has none.
  std::optional<OleDate> OwnFileTime() const {
    const std::wstring folder = BeforeLast(state_.ProgramPath, L'\\');
    const std::optional<FoundFile> own = QueryFile(folder + L"\\" + state_.ExeName);
    if (!own) return std::nullopt;
    FILETIME local;
    SYSTEMTIME time;
    if (!FileTimeToLocalFileTime(&own->lastWrite, &local) || !FileTimeToSystemTime(&local, &time)) {
      return std::nullopt;
    }
    return OleDate::FromSystemTime(time);
  }

  bool IsOutdated() {
    UseStartIniPort();
    std::vector<std::wstring> names;
    int32_t code = 0;
    const ServerSettings& server = state_.StartServer;
    const int32_t count = state_.objFtp.FtpGetFileList(state_.UpdatePath, state_.ExeName, 2, names,
                                                       code, server.ip, server.user, server.pw,
                                                       false);
    if (count < 1) return false;
    const std::optional<OleDate> local = OwnFileTime();
    if (!local || local->Value() <= 0) return false;
    return state_.objFtp.GetDirInfo_UpDate(1) > *local;
  }

  void EndOutdated(Form_MSG& progress) {
    CloseProgress(progress);
    Form_UpdateMsg notice(app_, state_.seams, state_.InstallerVersion);
    notice.Shown = hooks_.updateNoticeShown;
    notice.ShowForm(state_.UpdateURL);
    state_.objWinCommon.WinSleep(1000);
    state_.seams.programEnd->End();
  }

  // The client must not keep writing into a window that is gone.
  void CloseProgress(Form_MSG& progress) {
    state_.objFtp.DispObject(nullptr);
    if (progress.IsLoaded()) progress.Unload();
  }

  void Headers(Form_MSG& progress, const wchar_t* title, const wchar_t* text) {
    progress.L_H(0)->Caption(title);
    progress.L_H(1)->Caption(text);
  }

  // One pass; false when the program was ended (outdated installer).
  bool Attempt(std::wstring& errorText) {
    Form_MSG progress(app_);
    SkipOnFailure([&] {
      progress.Load();
      const bool check = UpdateCheckApplies();
      Headers(progress, check ? kCheckTitle : kDownloadTitle, check ? kCheckText : kDownloadText);
      progress.L_MSG.Caption(L"");
      progress.Pic_ingM.Visible(false);
      progress.C_OK.Visible(false);
      if (!IsBlank(state_.InstallerVersion)) {
        progress.Caption(L"Norvale Installer Ver " + state_.InstallerVersion);
      }
      progress.Show();
      state_.objFtp.DispObject(progress.MessageDisplay());
      app_.DoEvents();
      if (hooks_.progressShown) hooks_.progressShown(progress);
    });

    if (UpdateCheckApplies() && ValueOrOnFailure(false, [&] { return IsOutdated(); })) {
      EndOutdated(progress);
      return false;
    }

    errorText.clear();
    SkipOnFailure([&] { Download(progress, errorText); });
    int32_t ignored = 0;
    state_.objFtp.InetDisConnect(ignored);
    CloseProgress(progress);
    return true;
  }

  void Download(Form_MSG& progress, std::wstring& errorText) {
    const ServerSettings& server = state_.StartServer;
    if (!IsPlainFileName(state_.SetupFileId)) {
      errorText = std::wstring(kDownloadFailed) +
                  L"\r\n★セットアップ情報のファイル名に使用できない文字が含まれています。\r\n\r\n"
                  L"（正しい情報を入力して下さい）";
      return;
    }
    UseStartIniPort();
    int32_t code = 0;
    if (!state_.objFtp.InetConnect(server.ip, server.user, server.pw, code)) {
      errorText = std::wstring(kDownloadFailed) + L"\r\n★サーバーに接続できませんでした。\r\nエラーコード:" +
                  std::to_wstring(code) + L"\r\n" + state_.objFtp.GetErrMsg(code) +
                  L"\r\n\r\n（正しいサーバー情報を入力して下さい）";
      return;
    }
    Headers(progress, kDownloadTitle, kDownloadText);
    app_.DoEvents();
    const std::wstring localPath = state_.objSetupIni.iniDir() + L"\\" + state_.SetupFileId;
    int32_t fileCount = 0;
    code = 0;
    if (state_.objFtp.FtpGet(server.path, state_.SetupFileId, localPath, true, code, false, true,
                             fileCount, true, true)) {
      return;
    }
    // The client reports a file the server does not have as 0 or -998.
    if (code == 0 || code == -998) {
      CloseProgress(progress);
      errorText = std::wstring(kDownloadFailed) +
                  L"\r\n★サーバーにセットアップ情報が存在しませんでした。\r\n\r\n（正しい情報を入力して下さい）";
      return;
    }
    errorText = std::wstring(kDownloadFailed) + L"\r\nエラーコード:" + std::to_wstring(code) + L"\r\n" +
                state_.objFtp.GetErrMsg(code) + L"\r\n\r\n（正しいサーバー情報を入力して下さい）";
  }

  InstallerState& state_;
  forms::Application& app_;
  const StartupDialogHooks& hooks_;
};

}  // namespace

bool DownloadSetupInfo(InstallerState& state, forms::Application& app,
                       const StartupDialogHooks& hooks) {
  return ValueOrOnFailure(false, [&] { return SetupInfoDownload(state, app, hooks).Run(); });
}

}  // namespace norvale
