// Starts the helper program beside it held, as the programs start what must
// wait for them, and ends in a way of the test's choice:
//   nvws_starter <id file> <go event> <killed|exited|letgo> <ms>
// The held program is "nvws_helper sleep <ms> 7". Its process id goes into
// the id file (one line); then the starter waits for the named event and
// ends: "killed" terminates itself (exit code 5) and "exited" calls
// ExitProcess (6), both with the program still held; "letgo" lets it run
// and then terminates itself (5).
#include <windows.h>
#include <shellapi.h>

#include <cwchar>
#include <string>

#include "Handles.h"
#include "System.h"
#include "WinServicesSeams.h"

namespace {

bool WriteId(const wchar_t* path, DWORD id) {
  const std::string line = std::to_string(id) + "\n";
  const std::wstring part = std::wstring(path) + L".part";
  norvale::FileHandle file(
      CreateFileW(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  if (!file) return false;
  DWORD written = 0;
  const bool wrote =
      WriteFile(file.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
      written == line.size();
  file.Reset();
  // Whole or not at all for the test that reads it.
  return wrote && MoveFileExW(part.c_str(), path, MOVEFILE_REPLACE_EXISTING);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  int count = 0;
  wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!args || count != 5) return 2;
  const std::wstring ending = args[3];
  const std::wstring helper = norvale::ProgramFolder() + L"\\nvws_helper.exe";
  norvale::SystemProgramStarts starts;
  std::optional<norvale::HeldProgram> held =
      starts.StartHeld(helper, L"\"" + helper + L"\" sleep " + args[4] + L" 7", SW_HIDE, {});
  if (!held) return 3;
  const norvale::KernelHandle go(OpenEventW(SYNCHRONIZE, FALSE, args[2]));
  if (!go || !WriteId(args[1], held->Id()) ||
      WaitForSingleObject(go.Get(), 30000) != WAIT_OBJECT_0) {
    return 4;
  }
  if (ending == L"exited") ExitProcess(6);
  if (ending == L"letgo" && !held->LetRun()) return 4;
  TerminateProcess(GetCurrentProcess(), 5);
  return 4;
}
