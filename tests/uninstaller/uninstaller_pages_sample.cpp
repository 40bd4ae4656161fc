// Opens the uninstaller window on one page with a sample record, for looking
// at it through tools/screenshot.sh: uninstaller_pages_sample 0 | 1 | 2 | 3 | 4
#include <windows.h>

#include <memory>
#include <string>

#include "Form_UnInset_MAIN.h"
#include "Text.h"

using namespace norvale;

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
  const int page = commandLine && *commandLine ? _wtoi(commandLine) : 0;
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  const std::wstring app = std::wstring(temp) + L"NvPagesSample\\App";
  CreateDirectoryW((std::wstring(temp) + L"NvPagesSample").c_str(), nullptr);
  CreateDirectoryW(app.c_str(), nullptr);
  CreateDirectoryW((app + L"\\Uninst").c_str(), nullptr);
  const std::string record = ToAnsi(L"[Setup]\r\nAppId={NvPagesSample}\r\nAppName=Norvale POS\r\n"
                                    L"AppVerName=Ver 5.2\r\nAppDir=" + app + L"\r\n");
  HANDLE file = CreateFileW((app + L"\\Uninst\\Setup.log").c_str(), GENERIC_WRITE, 0, nullptr,
                            CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
  CloseHandle(file);

  forms::Application application;
  Form_UnInset_MAIN form(application,
                         std::make_unique<UninstallerState>(app + L"\\Uninst\\Dekant00.exe"), L"");
  form.Show();
  if (page == 1 || page == 2) {
    for (int i = 0; i < page; ++i) form.C_Skip_Click(1);
  } else if (page >= 3) {
    form.State().PageNo = static_cast<int16_t>(page);
    form.ShowUninstPage();
    if (page == 3) {
      form.SetStepText(0, L"APとファイルの関連付けを削除しています...");
      form.Dispゲージ(60);
    }
  }
  return application.Run();
}
