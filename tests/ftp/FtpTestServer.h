#pragma once
// A real FTP server for tests: ftp_test_server.py (Debian's pyftpdlib) on a
// free port of 127.0.0.1, serving a folder of the Wine prefix, with faults
// that a test switches on while it runs.
//
// How it is started from inside the Wine test process: Wine runs a Unix
// program when CreateProcess is given its path in the "\\?\unix\" form
// (/usr/bin/python3 becomes \\?\unix\usr\bin\python3). Such a process has no
// Windows handle or id, so the server writes its Unix process id and port to
// a state file once it listens, and Stop() ends it by that id with
// /bin/kill, started the same way, then waits until the server has removed
// its state file. The server also ends by itself after a few idle minutes,
// so a crashed test leaves nothing running for long. Paths handed to the
// server are turned into Unix paths with Wine's wine_get_unix_file_name.
#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "TempDir.h"

namespace testing_support {

// Faults the server applies to the commands that follow (see the server
// script for the exact behaviour). Counts apply to the next N occurrences
// from the moment they are set.
struct FtpFaults {
  int refuseLogins = 0;      // answer PASS with 530
  int dropConnections = 0;   // close a new connection before the greeting
  int failRetr = 0;          // answer RETR with failRetrCode
  int failRetrCode = 451;
  std::optional<int64_t> truncateRetr;   // bytes sent of a file
  std::optional<int> truncateRetrCount;  // for this many RETR (absent: all)
  std::wstring truncateRetrName;         // of files of this name (empty: all)
  bool ignoreCase = false;               // names found as on a Windows server
  int throttleBytesPerSecond = 0;        // data channel limit, 0 = none
  bool refuseSize = false;               // answer SIZE with 550
  int failList = 0;                      // answer LIST with 550
  // Once a RETR of the file named name has begun, the file by of its folder
  // takes its place (once: by is gone then).
  struct Replacement {
    std::wstring name;
    std::wstring by;
  };
  std::optional<Replacement> replaceAfterRetr;

  struct OddName {
    std::wstring name;
    bool folder = false;
    int64_t size = 0;
    std::wstring in;  // server folder ("/sub/"); empty = every folder
  };
  std::vector<OddName> oddNames;           // extra entries in every LIST
  std::vector<std::wstring> extraListLines;  // raw LIST lines
  // A folder of this name, once entered, holds one of the same name: a tree
  // without a bottom.
  std::wstring endlessTree;
};

class FtpTestServer {
 public:
  // Serves the folder root (a Windows path). Start() must be called.
  explicit FtpTestServer(std::wstring root);
  ~FtpTestServer();
  FtpTestServer(const FtpTestServer&) = delete;
  FtpTestServer& operator=(const FtpTestServer&) = delete;

  // Starts the server and waits until it listens. False (see Error()) when
  // it did not come up.
  bool Start();
  // Ends the server by its process id and waits until it is gone.
  void Stop();
  // Ends the server and starts a new one on the same port, as a server
  // that crashed and came back; its counters and faults start afresh.
  bool Restart();
  bool Running() const { return pid_ != 0; }

  const std::wstring& Host() const { return host_; }
  uint16_t Port() const { return port_; }
  int Pid() const { return pid_; }
  const std::wstring& User() const { return user_; }
  const std::wstring& Password() const { return password_; }
  const std::wstring& Root() const { return root_; }
  const std::string& Error() const { return error_; }

  // The faults apply from the server's next command on; an equal set set
  // again starts its counts again.
  void SetFaults(const FtpFaults& faults);
  void ClearFaults() { SetFaults(FtpFaults{}); }

  // The server's counters since it started: connections, dropped, logins,
  // refused, retr, retr_failed, retr_truncated, replaced, list, quit, cwd,
  // size.
  std::map<std::string, int> Stats() const;
  int Stat(const std::string& name) const;
  // Waits until a counter reaches a value (the server counts after it has
  // answered, so the last command of a client may lag behind).
  bool WaitForStat(const std::string& name, int atLeast, int timeoutMs = 3000) const;
  // The server's log: every command it received.
  std::string Log() const;

 private:
  bool ReadState();

  std::wstring root_;
  std::unique_ptr<TempDir> work_;
  std::wstring host_ = L"127.0.0.1";
  std::wstring user_ = L"norvale";
  std::wstring password_ = L"ftp-secret";
  uint16_t port_ = 0;
  uint16_t fixedPort_ = 0;  // the port the next Start() takes; 0 = any free one
  int pid_ = 0;
  int serial_ = 0;
  std::string error_;
};

// A port of 127.0.0.1 where nothing listens.
uint16_t UnusedLocalPort();
// The Unix path of a Windows path (UTF-8), empty when Wine cannot say.
std::string UnixPath(const std::wstring& windowsPath);
// Starts a Unix program with arguments (UTF-8), detached; true when started.
bool StartUnixProgram(const std::string& program, const std::vector<std::string>& arguments);

// Fixture trees. Relative paths take "\" or "/".
void PutFile(const std::wstring& root, const std::wstring& relative, const std::string& bytes);
void PutFolder(const std::wstring& root, const std::wstring& relative);
// Sets creation, access and write time of a file or folder to a local time.
void SetLocalTime(const std::wstring& path, const SYSTEMTIME& local);
SYSTEMTIME LocalTime(int year, int month, int day, int hour, int minute, int second);
// Bytes 0..n-1 of a fixed pseudo-random sequence: content that a transfer
// cannot get right by chance.
std::string PatternBytes(size_t n, unsigned seed = 1);

}  // namespace testing_support
