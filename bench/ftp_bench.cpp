// Times one folder download of the FTP client against a local server, the
// way the installer fetches a package folder: one listing of the tree, then
// every file on the main session, dated and recorded in the check list.
//
//   ftp_bench --port N --user U --password P --folder /srv --local DIR
//             --waits production|zero
//
// Prints one line "ok SECONDS FILES BYTES" (or "fail CODE TEXT") and leaves
// the files in DIR, so that the caller can compare them with the server's.
// tools/bench-ftp.sh prepares the server, repeats the runs and compares.
#include <windows.h>
#include <shellapi.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <string>

#include "ClsWinFTP.h"
#include "Text.h"

int main() {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::map<std::wstring, std::wstring> args;
  for (int i = 1; i + 1 < argc; i += 2) args[argv[i]] = argv[i + 1];
  LocalFree(argv);
  if (args[L"--port"].empty() || args[L"--local"].empty() || args[L"--folder"].empty()) {
    std::fprintf(stderr, "usage: ftp_bench --port N --user U --password P --folder /srv "
                         "--local DIR --waits production|zero\n");
    return 2;
  }
  const bool zeroWaits = args[L"--waits"] == L"zero";
  ClsWinFTP ftp(norvale::Seams::System(),
                zeroWaits ? norvale::FtpWaits::None() : norvale::FtpWaits{});
  ftp.PortNo(static_cast<int16_t>(std::stoi(args[L"--port"])));
  ftp.ServerIP(L"127.0.0.1");
  ftp.UserID(args[L"--user"]);
  ftp.Pass(args[L"--password"]);
  ftp.OLErrorRetryMaxCount(0);

  int32_t code = 0;
  int32_t deleted = 0;
  std::wstring last;
  const auto start = std::chrono::steady_clock::now();
  const bool ok = ftp.Ftp_GetFolder(args[L"--folder"], L"", 0, args[L"--local"], code, L"", L"",
                                    L"", true, true, false, true, false, deleted, last, true);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!ok) {
    std::printf("fail %d %s\n", static_cast<int>(code), norvale::ToAnsi(ftp.GetErrMsg(code)).c_str());
    return 1;
  }
  long long bytes = 0;
  for (int32_t i = 1; i <= ftp.DownloadedFilesCount(); ++i) {
    bytes += static_cast<uint32_t>(ftp.DownloadedFilesGetFileSize(i));
  }
  std::printf("ok %.3f %d %lld\n", seconds, static_cast<int>(ftp.DownloadedFilesCount()), bytes);
  return 0;
}
