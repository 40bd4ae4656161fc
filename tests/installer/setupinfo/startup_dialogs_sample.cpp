// Opens one start-up window with sample values, for looking at it through
// tools/screenshot.sh: startup_dialogs_sample msg | ipinput | update
#include <windows.h>

#include <string>

#include "Form_IpInput.h"
#include "Form_MSG.h"
#include "Form_UpdateMsg.h"

using namespace norvale;

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
  const std::wstring which = commandLine ? commandLine : L"";
  forms::Application app;
  if (which == L"ipinput") {
    std::wstring ip = L"192.168.10.5", user = L"shop01", pw = L"secret", dir = L"/pos",
                 file = L"Setup.ini";
    Form_IpInput dialog(app);
    dialog.ShowForm(ip, user, pw, dir, file);
  } else if (which == L"update") {
    Form_UpdateMsg notice(app, InstallerSeams::System(), L"1.2.03");
    notice.ShowForm(L"https://www.example.jp/norvale/download/");
  } else {
    Form_MSG progress(app);
    progress.Load();
    progress.L_H(0)->Caption(L"セットアップ情報の取得");
    progress.L_H(1)->Caption(L"セットアップ情報をダウンロードしています...");
    progress.L_MSG.Caption(L"[/pos]のデレクトリ情報を読込んでいます...");
    progress.C_OK.Visible(false);
    progress.Caption(L"Norvale Installer Ver 1.2.03");
    progress.Dispゲージ(60);
    progress.Show();
    return app.Run();
  }
  return 0;
}
