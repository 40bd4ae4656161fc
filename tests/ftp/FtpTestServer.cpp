#include "FtpTestServer.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdlib>
#include <sstream>
#include <stdexcept>

#ifndef NORVALE_FTP_TEST_SERVER_SCRIPT
#error "NORVALE_FTP_TEST_SERVER_SCRIPT must name ftp_test_server.py"
#endif
#ifndef NORVALE_PYTHON
#define NORVALE_PYTHON "/usr/bin/python3"
#endif

namespace testing_support {
namespace {

std::wstring Widen(const std::string& utf8) {
  if (utf8.empty()) return L"";
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                    nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return "";
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                    nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                      nullptr, nullptr);
  return out;
}

// One argument as CommandLineToArgvW (and Wine, for Unix programs) reads it.
std::wstring Quoted(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

std::string ReadAll(const std::wstring& path) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return {};
  std::string out;
  char buffer[8192];
  DWORD got = 0;
  while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) out.append(buffer, got);
  CloseHandle(h);
  return out;
}

// Written whole under another name and renamed, so that the server never
// reads half a file.
void WriteWhole(const std::wstring& path, const std::string& bytes) {
  const std::wstring temp = path + L".new";
  WriteFileBytes(temp, bytes);
  MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

std::string JsonString(const std::wstring& text) {
  std::string out = "\"";
  for (char c : Utf8(text)) {
    if (c == '"' || c == '\\') out += '\\';
    if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
      out += escaped;
      continue;
    }
    out += c;
  }
  return out + "\"";
}

long JsonNumber(const std::string& json, const std::string& key) {
  const size_t at = json.find("\"" + key + "\"");
  if (at == std::string::npos) return 0;
  const size_t colon = json.find(':', at);
  if (colon == std::string::npos) return 0;
  return std::strtol(json.c_str() + colon + 1, nullptr, 10);
}

std::wstring Joined(const std::wstring& root, const std::wstring& relative) {
  std::wstring rel = relative;
  for (auto& c : rel) {
    if (c == L'/') c = L'\\';
  }
  while (!rel.empty() && rel.front() == L'\\') rel.erase(0, 1);
  while (!rel.empty() && rel.back() == L'\\') rel.pop_back();
  return rel.empty() ? root : root + L"\\" + rel;
}

void CreateLevels(const std::wstring& path) {
  for (size_t p = path.find(L'\\', 3); p != std::wstring::npos; p = path.find(L'\\', p + 1)) {
    CreateDirectoryW(path.substr(0, p).c_str(), nullptr);
  }
  CreateDirectoryW(path.c_str(), nullptr);
}

}  // namespace

std::string UnixPath(const std::wstring& windowsPath) {
  using WineGetUnixFileName = char*(__cdecl*)(const wchar_t*);
  const auto convert = reinterpret_cast<WineGetUnixFileName>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (convert == nullptr) return {};
  char* unix = convert(windowsPath.c_str());
  if (unix == nullptr) return {};
  std::string out = unix;
  HeapFree(GetProcessHeap(), 0, unix);
  return out;
}

bool StartUnixProgram(const std::string& program, const std::vector<std::string>& arguments) {
  std::wstring path = L"\\\\?\\unix" + Widen(program);
  for (auto& c : path) {
    if (c == L'/') c = L'\\';
  }
  std::wstring commandLine = Quoted(path);
  for (const auto& arg : arguments) commandLine += L" " + Quoted(Widen(arg));

  // Standard input and output go nowhere: a test runner's pipes held by a
  // server would keep the runner waiting after the test. (Wine hands the
  // Unix program its own standard error; the server moves that to its log.)
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                           nullptr);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nul;
  startup.hStdOutput = nul;
  startup.hStdError = nul;
  PROCESS_INFORMATION info{};
  const BOOL ok = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE,
                                 CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info);
  if (info.hProcess) CloseHandle(info.hProcess);
  if (info.hThread) CloseHandle(info.hThread);
  if (nul != INVALID_HANDLE_VALUE) CloseHandle(nul);
  return ok != FALSE;
}

FtpTestServer::FtpTestServer(std::wstring root) : root_(std::move(root)) {}

FtpTestServer::~FtpTestServer() { Stop(); }

bool FtpTestServer::Start() {
  if (Running()) return true;
  error_.clear();
  work_ = std::make_unique<TempDir>(L"ftpsrv");
  const std::string root = UnixPath(root_);
  const std::string work = UnixPath(work_->Path());
  if (root.empty() || work.empty()) {
    error_ = "no Unix path for the server's folders (not running under Wine?)";
    return false;
  }
  ClearFaults();
  std::vector<std::string> args = {
      "-I", "-X", "utf8", NORVALE_FTP_TEST_SERVER_SCRIPT,
      "--root", root,
      "--state-file", work + "/state.json",
      "--control", work + "/control.json",
      "--stats", work + "/stats.txt",
      "--log", work + "/server.log",
      "--user", Utf8(user_),
      "--password", Utf8(password_),
      "--idle-timeout", "300"};
  if (fixedPort_ != 0) {
    args.push_back("--port");
    args.push_back(std::to_string(fixedPort_));
  }
  if (!StartUnixProgram(NORVALE_PYTHON, args)) {
    error_ = "cannot start " NORVALE_PYTHON;
    return false;
  }
  for (int waited = 0; waited < 20000; waited += 20) {
    if (ReadState()) return true;
    Sleep(20);
  }
  error_ = "the FTP test server did not come up; its log:\n" + Log();
  return false;
}

bool FtpTestServer::ReadState() {
  const std::string state = ReadAll(*work_ / L"state.json");
  const long port = JsonNumber(state, "port");
  const long pid = JsonNumber(state, "pid");
  if (port <= 0 || pid <= 0) return false;
  port_ = static_cast<uint16_t>(port);
  pid_ = static_cast<int>(pid);
  return true;
}

void FtpTestServer::Stop() {
  if (!Running()) return;
  const std::wstring state = *work_ / L"state.json";
  const std::string pid = std::to_string(pid_);
  StartUnixProgram("/bin/kill", {"-TERM", pid});
  bool gone = false;
  for (int waited = 0; waited < 5000 && !gone; waited += 20) {
    gone = GetFileAttributesW(state.c_str()) == INVALID_FILE_ATTRIBUTES;
    if (!gone) Sleep(20);
  }
  if (!gone) StartUnixProgram("/bin/kill", {"-KILL", pid});
  pid_ = 0;
  port_ = 0;
}

bool FtpTestServer::Restart() {
  const uint16_t port = port_;
  Stop();
  fixedPort_ = port;
  const bool started = Start();
  fixedPort_ = 0;
  return started;
}

void FtpTestServer::SetFaults(const FtpFaults& f) {
  std::ostringstream json;
  json << "{\"serial\": " << ++serial_;
  if (f.refuseLogins) json << ", \"refuse_logins\": " << f.refuseLogins;
  if (f.dropConnections) json << ", \"drop_connections\": " << f.dropConnections;
  if (f.failRetr) {
    json << ", \"fail_retr\": " << f.failRetr << ", \"fail_retr_code\": " << f.failRetrCode;
  }
  if (f.truncateRetr) json << ", \"truncate_retr\": " << *f.truncateRetr;
  if (f.truncateRetrCount) json << ", \"truncate_retr_count\": " << *f.truncateRetrCount;
  if (!f.truncateRetrName.empty()) {
    json << ", \"truncate_retr_name\": " << JsonString(f.truncateRetrName);
  }
  if (!f.endlessTree.empty()) json << ", \"endless_tree\": " << JsonString(f.endlessTree);
  if (f.throttleBytesPerSecond) json << ", \"throttle\": " << f.throttleBytesPerSecond;
  if (f.refuseSize) json << ", \"refuse_size\": true";
  if (f.ignoreCase) json << ", \"ignore_case\": true";
  if (f.failList) json << ", \"fail_list\": " << f.failList;
  if (f.replaceAfterRetr) {
    json << ", \"replace_after_retr\": {\"name\": " << JsonString(f.replaceAfterRetr->name)
         << ", \"by\": " << JsonString(f.replaceAfterRetr->by) << "}";
  }
  if (!f.oddNames.empty()) {
    json << ", \"odd_names\": [";
    for (size_t i = 0; i < f.oddNames.size(); ++i) {
      const auto& odd = f.oddNames[i];
      json << (i ? ", " : "") << "{\"name\": " << JsonString(odd.name)
           << ", \"dir\": " << (odd.folder ? "true" : "false") << ", \"size\": " << odd.size;
      if (!odd.in.empty()) json << ", \"in\": " << JsonString(odd.in);
      json << "}";
    }
    json << "]";
  }
  if (!f.extraListLines.empty()) {
    json << ", \"extra_list_lines\": [";
    for (size_t i = 0; i < f.extraListLines.size(); ++i) {
      json << (i ? ", " : "") << JsonString(f.extraListLines[i]);
    }
    json << "]";
  }
  json << "}\n";
  WriteWhole(*work_ / L"control.json", json.str());
}

std::map<std::string, int> FtpTestServer::Stats() const {
  std::map<std::string, int> stats;
  if (!work_) return stats;
  std::istringstream lines(ReadAll(*work_ / L"stats.txt"));
  std::string line;
  while (std::getline(lines, line)) {
    const size_t eq = line.find('=');
    if (eq != std::string::npos) stats[line.substr(0, eq)] = std::atoi(line.c_str() + eq + 1);
  }
  return stats;
}

int FtpTestServer::Stat(const std::string& name) const {
  const auto stats = Stats();
  const auto found = stats.find(name);
  return found == stats.end() ? 0 : found->second;
}

bool FtpTestServer::WaitForStat(const std::string& name, int atLeast, int timeoutMs) const {
  for (int waited = 0;; waited += 10) {
    if (Stat(name) >= atLeast) return true;
    if (waited >= timeoutMs) return false;
    Sleep(10);
  }
}

std::string FtpTestServer::Log() const {
  return work_ ? ReadAll(*work_ / L"server.log") : std::string();
}

uint16_t UnusedLocalPort() {
  WSADATA wsa;
  WSAStartup(MAKEWORD(2, 2), &wsa);
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  int length = sizeof address;
  uint16_t port = 0;
  if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  closesocket(s);
  WSACleanup();
  return port;
}

void PutFile(const std::wstring& root, const std::wstring& relative, const std::string& bytes) {
  const std::wstring path = Joined(root, relative);
  CreateLevels(path.substr(0, path.rfind(L'\\')));
  WriteFileBytes(path, bytes);
}

void PutFolder(const std::wstring& root, const std::wstring& relative) {
  CreateLevels(Joined(root, relative));
}

SYSTEMTIME LocalTime(int year, int month, int day, int hour, int minute, int second) {
  SYSTEMTIME t{};
  t.wYear = static_cast<WORD>(year);
  t.wMonth = static_cast<WORD>(month);
  t.wDay = static_cast<WORD>(day);
  t.wHour = static_cast<WORD>(hour);
  t.wMinute = static_cast<WORD>(minute);
  t.wSecond = static_cast<WORD>(second);
  return t;
}

void SetLocalTime(const std::wstring& path, const SYSTEMTIME& local) {
  FILETIME localTime{};
  FILETIME utc{};
  SystemTimeToFileTime(&local, &localTime);
  LocalFileTimeToFileTime(&localTime, &utc);
  HANDLE h = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot set a fixture time");
  SetFileTime(h, &utc, &utc, &utc);
  CloseHandle(h);
}

std::string PatternBytes(size_t n, unsigned seed) {
  std::string out(n, '\0');
  uint32_t x = 2463534242u ^ seed;
  for (size_t i = 0; i < n; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    out[i] = static_cast<char>(x & 0xFF);
  }
  return out;
}

}  // namespace testing_support
