// Writes a "Start.ini" whose server values are encoded the way the installer
// decodes them, for a server of the caller's choice.
//   write_start_ini --host H --port N --user U --password P --out FILE
//                   [--path /norvale] [--setup-file Setup.ini] [--name "Norvale POS"]
#include <windows.h>

#include <cstdio>
#include <map>
#include <string>

#include "Handles.h"
#include "InstallerState.h"
#include "StartIni.h"
#include "Text.h"

namespace {

int Usage(const wchar_t* problem) {
  std::fwprintf(stderr, L"write_start_ini: %ls\n", problem);
  std::fwprintf(stderr,
                L"usage: write_start_ini --host H --port N --user U --password P --out FILE\n"
                L"                       [--path /norvale] [--setup-file Setup.ini] [--name NAME]\n");
  return 2;
}

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
  const norvale::FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  return WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::map<std::wstring, std::wstring> options = {
      {L"--path", L"/norvale"}, {L"--setup-file", L"Setup.ini"}, {L"--name", L"Norvale POS"}};
  for (int i = 1; i < argc; i += 2) {
    const std::wstring option = argv[i];
    if (option.rfind(L"--", 0) != 0 || i + 1 >= argc) return Usage(L"options come in pairs");
    options[option] = argv[i + 1];
  }
  for (const wchar_t* required : {L"--host", L"--port", L"--user", L"--password", L"--out"}) {
    if (options[required].empty()) return Usage((std::wstring(required) + L" is missing").c_str());
  }
  // The key comes from the installer's own state, so the two cannot differ.
  const norvale::InstallerState state;
  const std::wstring& key = state.DecodeKey;
  struct Entry {
    const wchar_t* key;
    std::wstring value;
    bool encoded;
  };
  const Entry entries[] = {{L"ApName", options[L"--name"], false},
                           {L"ip", options[L"--host"], true},
                           {L"port", options[L"--port"], true},
                           {L"user", options[L"--user"], true},
                           {L"pw", options[L"--password"], true},
                           {L"path", options[L"--path"], true},
                           {L"SetupFile", options[L"--setup-file"], true}};
  std::wstring text = L"[server]\r\n";
  for (const Entry& entry : entries) {
    // A line break in a value would start a line of its own in the file.
    for (wchar_t c : entry.value) {
      if (c < L' ') return Usage((std::wstring(L"a control character in ") + entry.key).c_str());
    }
    std::wstring value = entry.value;
    if (entry.encoded && !value.empty()) {
      value = norvale::EncodeIniValue(entry.value, key);
      if (value.empty()) {
        return Usage((std::wstring(L"cannot encode the value of ") + entry.key).c_str());
      }
    }
    text += std::wstring(entry.key) + L"=" + value + L"\r\n";
  }
  if (!WriteBytes(options[L"--out"], norvale::ToAnsi(text))) {
    std::fwprintf(stderr, L"write_start_ini: cannot write %ls\n", options[L"--out"].c_str());
    return 1;
  }
  return 0;
}
