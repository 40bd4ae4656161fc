#pragma once
// What the FTP client needs from its surroundings besides the network: a
// place to show its progress texts, the lengths of its fixed pauses and the
// one WinINet answer that differs between Windows and Wine.
#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <string>

namespace norvale {

// A label whose caption shows the client's progress and countdown texts.
class ITextDisplay {
 public:
  virtual ~ITextDisplay() = default;
  virtual void SetText(const std::wstring& text) = 0;
};

// A plain window (a static control) as the display.
class WindowTextDisplay final : public ITextDisplay {
 public:
  explicit WindowTextDisplay(HWND window) : window_(window) {}
  void SetText(const std::wstring& text) override;

 private:
  HWND window_;
};

// The size WinINet gives for a file opened for download. Windows asks the
// server; Wine answers 0 for every file, so tests put in an answer of their
// own to reach what the client does with a known size.
class IFtpFileSize {
 public:
  virtual ~IFtpFileSize() = default;
  // As FtpGetFileSize on file, the handle of serverFileId opened for
  // reading: the low 32 bits, the high ones in *high; INVALID_FILE_SIZE with
  // the error in GetLastError when there is no answer.
  virtual DWORD OfOpenFile(HINTERNET file, const std::wstring& serverFileId, DWORD* high) = 0;
};

class WinInetFileSize final : public IFtpFileSize {
 public:
  DWORD OfOpenFile(HINTERNET file, const std::wstring& serverFileId, DWORD* high) override;
};

// The client's fixed pauses in milliseconds. Production keeps the defaults;
// tests shorten them to keep their runs short.
struct FtpWaits {
  int connectPauseMs = 500;         // after every successful connect
  int folderPauseMs = 1000;         // after every listed folder
  int listRetryPauseMs = 500;       // before listing a missing file again
  int countdownStepMs = 200;        // one step of a retry countdown
  int reopenAfterConnectStopMs = 200;  // before reopening a root closed by Cancel
  int reopenAfterStopMs = 500;      // the same, for the other operations
  int afterFilePauseMs = 200;       // after every file of a folder download

  static FtpWaits None() { return FtpWaits{0, 0, 0, 0, 0, 0, 0}; }
};

// How far a recursive listing goes. A server may list a sub-folder in every
// folder it lists (a link to a parent, a generated tree); without a bound
// the installer would list on, a login and a pause a level, until the user
// gives up or memory runs out. Far beyond any real package; tests lower
// them.
struct FtpListingBounds {
  int32_t maxDepth = 64;         // levels below the folder asked for
  int32_t maxEntries = 100000;   // entries in the listing table
};

}  // namespace norvale
