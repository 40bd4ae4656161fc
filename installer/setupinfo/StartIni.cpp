#include "StartIni.h"

#include <windows.h>

#include "FileSystem.h"
#include "SetupText.h"
#include "SystemServices.h"
#include "Text.h"

namespace norvale {
namespace {

constexpr size_t kMaxCodecLength = 32767;

// The character's code in the ANSI code page as a signed 16-bit value
// (double-byte characters are negative); nothing for a character the code
// page cannot hold in one or two bytes.
std::optional<int32_t> AnsiCode(wchar_t c, const ICodePages& pages) {
  const std::optional<std::string> bytes = ToAnsiExact(std::wstring_view(&c, 1), CP_ACP, pages);
  if (!bytes || bytes->empty() || bytes->size() > 2) return std::nullopt;
  const auto b0 = static_cast<uint8_t>((*bytes)[0]);
  if (bytes->size() == 1) return b0;
  return static_cast<int16_t>((b0 << 8) | static_cast<uint8_t>((*bytes)[1]));
}

// The character for a code; nothing for a code that is no character, a lone
// lead byte, or a control character.
std::optional<wchar_t> CharacterOf(int32_t code) {
  char bytes[2];
  int length;
  if (code >= 0 && code <= 0xFF) {
    bytes[0] = static_cast<char>(code);
    length = 1;
    if (IsDBCSLeadByte(static_cast<BYTE>(code))) return std::nullopt;
  } else if (code >= -32768 && code < 0) {
    bytes[0] = static_cast<char>((code >> 8) & 0xFF);
    bytes[1] = static_cast<char>(code & 0xFF);
    length = 2;
  } else {
    return std::nullopt;
  }
  wchar_t out[2] = {};
  if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes, length, out, 2) != 1) {
    return std::nullopt;
  }
  if (!HasNoControlCharacters(std::wstring_view(out, 1))) return std::nullopt;
  return out[0];
}

std::optional<int32_t> WholeNumber32(const std::wstring& piece) {
  const std::wstring t = Trim(piece);
  size_t i = (!t.empty() && (t[0] == L'-' || t[0] == L'+')) ? 1 : 0;
  if (i >= t.size() || t.size() > 12) return std::nullopt;
  int64_t value = 0;
  for (size_t k = i; k < t.size(); ++k) {
    if (t[k] < L'0' || t[k] > L'9') return std::nullopt;
    value = value * 10 + (t[k] - L'0');
  }
  if (t[0] == L'-') value = -value;
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(value);
}

// One [server] value of "Start.ini", decoded when the file is encoded; a
// value that does not decode is reported and left empty.
class StartIniValues {
 public:
  StartIniValues(InstallerState& state, bool encoded) : state_(state), encoded_(encoded) {}
  std::wstring Raw(const std::wstring& key) {
    return state_.objStartIni.GetINIValue(L"server", key, L"", L"");
  }
  std::wstring Value(const std::wstring& key) {
    const std::wstring raw = Raw(key);
    if (!encoded_) return raw;
    bool failed = false;
    std::wstring plain = DecodeIniValue(raw, state_.DecodeKey, &failed);
    if (failed) {
      AppendErrText(state_.ErrText,
                    L"Start.iniの[server] " + key + L"の値を復号できませんでした。");
    }
    return plain;
  }

 private:
  InstallerState& state_;
  bool encoded_;
};

}  // namespace

std::wstring InstallerCaption(const InstallerState& state, const std::wstring& name) {
  std::wstring caption = name + L" Installer";
  if (!IsBlank(state.InstallerVersion)) caption += L" Ver " + state.InstallerVersion;
  return caption;
}

void ReadWindowsFacts(InstallerState& state) {
  state.Is64BitWindows = IsWow64(state) ? -1 : 0;
  GetOsVersionInfo(state, state.OsVersion);
  state.WindowsName = state.objWinCommon.GetWindowsName();
}

void ReadSpecialFolders(InstallerState& state) {
  state.WinDir = state.objWinCommon.GetSpecialFolderPath(36);
  state.TmpDir = state.objWinCommon.GetSpecialFolderPath(255);
  state.CommonDesktopDir = state.objWinCommon.GetSpecialFolderPath(25);
  state.CommonProgramsDir = state.objWinCommon.GetSpecialFolderPath(23);
  state.StartupDir = state.objWinCommon.GetSpecialFolderPath(7);
  state.FontsDir = state.objWinCommon.GetSpecialFolderPath(20);
}

namespace {

void ReadStartIni(InstallerState& state) {
  {
    StartIniValues plain(state, false);
    const std::wstring apName = plain.Raw(L"ApName");
    if (!apName.empty()) state.Caption = InstallerCaption(state, apName);

    if (!IsOrdinaryFile(state.objStartIni.IniFilePath())) {
      state.StartServer = ServerSettings{};
      return;
    }
    const std::wstring rawIp = plain.Raw(L"ip");
    const size_t colon = rawIp.find(L':');
    const bool encoded = !state.DecodeKey.empty() && colon != std::wstring::npos && colon >= 1;
    StartIniValues values(state, encoded);

    ReadWindowsFacts(state);
    state.DefaultDrive = GetFirstDriveRoot(state);
    ReadSpecialFolders(state);
    state.AlertSpaceOnDisk = 0;

    state.StartServer.ip = values.Value(L"ip");
    const std::wstring port = values.Value(L"port");
    state.StartServer.port = 0;
    if (!IsBlank(port)) {
      if (auto number = ParsePort(port)) {
        state.StartServer.port = *number;
      } else {
        AppendErrText(state.ErrText, L"Start.iniの[server] portの値が正しくありません（1～65535）：" + port);
      }
    }
    state.StartServer.user = values.Value(L"user");
    state.StartServer.pw = values.Value(L"pw");
    state.StartServer.path = values.Value(L"path");

    const std::wstring setupFile = values.Value(L"SetupFile");
    if (IsBlank(setupFile)) {
      state.SetupFileId = L"Setup.ini";
    } else {
      const std::wstring joined = ReplaceAll(state.StartServer.path + L"/" + setupFile, L"//", L"/");
      const std::wstring fileId = state.objPublicFunc.GetFileID_FTP(joined);
      if (IsPlainFileName(fileId)) {
        state.StartServer.path = state.objPublicFunc.GetFilePath_FTP(joined);
        state.SetupFileId = fileId;
        state.objSetupIni.IniFileID(fileId);
      } else {
        AppendErrText(state.ErrText,
                      L"Start.iniの[server] SetupFileのファイル名は使用できません：" + setupFile);
      }
    }

    if (!IsBlank(values.Raw(L"UpdatePath"))) {
      state.UpdatePath = values.Value(L"UpdatePath");
      if (state.UpdatePath.empty() || state.UpdatePath[0] != L'/') {
        state.UpdatePath =
            ReplaceAll(values.Value(L"path") + L"/" + state.UpdatePath, L"//", L"/");
      }
      std::wstring exe = AfterLast(state.ProgramPath, L'\\');
      const size_t dot = exe.rfind(L'.');
      if (dot != std::wstring::npos) exe.resize(dot);
      state.ExeName = exe + L".exe";

      const std::optional<double> count = ParseNumber(values.Value(L"ReplaceCunt"));
      std::optional<int16_t> whole = count ? ToInt16(*count) : std::nullopt;
      state.ReplaceCunt = whole.value_or(0);
      state.objStartIni.DeleteKey(L"server", L"ReplaceCunt", L"");
    }

    const std::wstring url = values.Value(L"UpdateURL");
    if (IsBlank(url) || IsWebAddress(url)) {
      state.UpdateURL = Trim(url);
    } else {
      state.UpdateURL.clear();
      AppendErrText(state.ErrText,
                    L"Start.iniの[server] UpdateURLはhttp://またはhttps://で始まるアドレスではありません：" + url);
    }
  }
}

}  // namespace

int16_t LoadStartIni(InstallerState& state) {
  // A failed statement leaves the fields it would have set as they were.
  SkipOnFailure([&] { ReadStartIni(state); });
  return -1;
}

std::wstring DecodeIniValue(const std::wstring& text, const std::wstring& key, bool* failed) {
  if (failed) *failed = false;
  if (text.empty()) return {};
  if (key.empty()) return text;
  auto fail = [&] {
    if (failed) *failed = true;
    return std::wstring();
  };
  std::vector<std::wstring> pieces;
  size_t at = 0;
  for (size_t colon; (colon = text.find(L':', at)) != std::wstring::npos; at = colon + 1) {
    pieces.push_back(text.substr(at, colon - at));
  }
  if (pieces.size() > kMaxCodecLength) return fail();
  std::wstring result;
  for (size_t i = 0; i < pieces.size(); ++i) {
    const std::optional<int32_t> number = WholeNumber32(pieces[i]);
    if (!number) return fail();
    const int32_t code = *number ^ static_cast<int32_t>(key[i % key.size()]);
    const std::optional<wchar_t> c = CharacterOf(code);
    if (!c) return fail();
    result.push_back(*c);
  }
  return result;
}

std::wstring EncodeIniValue(const std::wstring& text, const std::wstring& key,
                           const ICodePages& pages) {
  if (text.empty()) return {};
  if (key.empty()) return text;
  if (text.size() > kMaxCodecLength) return {};
  std::wstring result;
  for (size_t i = 0; i < text.size(); ++i) {
    const std::optional<int32_t> code = AnsiCode(text[i], pages);
    if (!code) return {};
    result += std::to_wstring(*code ^ static_cast<int32_t>(key[i % key.size()])) + L":";
  }
  return result;
}

int16_t SplitCsvLine(std::vector<std::wstring>& fields, const std::wstring& line) {
  fields.assign(1, std::wstring());
  std::wstring accumulator;
  auto store = [&](std::wstring field) { fields.push_back(std::move(field)); };
  size_t position = 0;
  for (;;) {
    if (fields.size() > 32767) {
      fields.assign(1, std::wstring());
      return 0;
    }
    const size_t comma = line.find(L',', position);
    if (comma == std::wstring::npos) {
      store(accumulator + (position <= line.size() ? line.substr(position) : std::wstring()));
      break;
    }
    const std::wstring piece = line.substr(position, comma - position);
    const bool opens = !piece.empty() && piece.front() == L'"';
    const bool closes = !piece.empty() && piece.back() == L'"';
    if (accumulator.empty()) {
      if (piece == L"\"" || (opens && !closes)) {
        accumulator = piece + L",";
      } else {
        store(piece);
      }
    } else if (closes) {
      store(accumulator + piece);
      accumulator.clear();
    } else {
      accumulator += piece + L",";
    }
    position = comma + 1;
  }
  for (std::wstring& field : fields) field = TrimQuotes(field);
  return static_cast<int16_t>(fields.size() - 1);
}

std::wstring TrimQuotes(const std::wstring& text) {
  std::wstring t = Trim(text);
  if (!t.empty() && t.front() == L'"') t.erase(0, 1);
  if (!t.empty() && t.back() == L'"') t.pop_back();
  return t;
}

std::wstring GetFirstDriveRoot(IDriveFacts& drives) {
  return ValueOrOnFailure(std::wstring(), [&] {
    const std::string buffer = drives.LogicalDriveStrings();
    return Trim(FromAnsi(buffer.substr(0, buffer.find('\0'))));
  });
}

std::wstring GetFirstDriveRoot(InstallerState& state) { return GetFirstDriveRoot(*state.seams.drives); }

}  // namespace norvale
