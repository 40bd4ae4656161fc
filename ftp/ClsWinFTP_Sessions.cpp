// The object, its root handle and sessions, the retry countdown and the stop
// rule that every transfer follows, raw commands, console lines and the local
// path routines the transfers share.
#include <string>

#include "ClsWinFTP.h"
#include "FileSystem.h"
#include "System.h"
#include "Text.h"

using norvale::IsBlank;
using norvale::Trim;

ClsWinFTP::ClsWinFTP(norvale::Seams seams, norvale::FtpWaits waits,
                     std::shared_ptr<norvale::IFtpFileSize> fileSize)
    : seams_(std::move(seams)),
      waits_(waits),
      fileSize_(fileSize ? std::move(fileSize) : std::make_shared<norvale::WinInetFileSize>()) {
  appName_ = L"[" + norvale::ProgramTitle() + L"]";
  errorLog_ = std::make_unique<clsError>(seams_);
  // A new object already holds a root handle.
  InetOpen();
}

ClsWinFTP::~ClsWinFTP() {
  listing_.clear();
  InetClose();
}

bool ClsWinFTP::InetOpen() {
  int32_t ignored = 0;
  return InetOpen(ignored);
}

bool ClsWinFTP::InetOpen(int32_t& aLngErrCode) try {
  aLngErrCode = 0;
  CloseReleasedRoots();
  int32_t ignored = 0;
  if (hConnect_) FtpDisconnect(hConnect_, ignored);
  if (hOpen_) InetClose(ignored);
  const std::wstring agent = norvale::ProgramTitle();
  HINTERNET h = InternetOpenW(agent.c_str(), INTERNET_OPEN_TYPE_DIRECT,
                              Proxy().empty() ? nullptr : Proxy().c_str(),
                              proxyBypass_.empty() ? nullptr : proxyBypass_.c_str(), 0);
  if (h == nullptr) {
    aLngErrCode = static_cast<int32_t>(GetLastError());
    return false;
  }
  hOpen_.Reset(h);
  return true;
} catch (...) {
  aLngErrCode = ERROR_NOT_ENOUGH_MEMORY;
  return false;
}

bool ClsWinFTP::InetClose() {
  int32_t ignored = 0;
  return InetClose(ignored);
}

bool ClsWinFTP::InetClose(int32_t& aLngErrCode) try {
  aLngErrCode = 0;
  if (callbacksRunning_ > 0) {
    // Inside WinINet's own callback the root must stay open until the call
    // that runs returns (closing it there ends the process); every handle
    // below it counts as dead from now on, and no QUIT is sent from here.
    if (!hOpen_) return false;
    ++rootGeneration_;
    releasedRoots_.push_back(std::move(hOpen_));
    return true;
  }
  CloseReleasedRoots();
  int32_t ignored = 0;
  if (hConnect_) FtpDisconnect(hConnect_, ignored);
  if (!hOpen_) return false;
  HINTERNET h = hOpen_.Release();
  // Every child handle dies with the root; see ChildInternetHandle.
  ++rootGeneration_;
  if (InternetCloseHandle(h)) return true;
  aLngErrCode = static_cast<int32_t>(GetLastError());
  return false;
} catch (...) {
  aLngErrCode = ERROR_NOT_ENOUGH_MEMORY;
  return false;
}

bool ClsWinFTP::FtpDisconnect(Session& session, int32_t& aLngErrCode) {
  aLngErrCode = 0;
  if (&session == &hConnect_) mainSessionFolder_ = {};
  if (!session) {
    // Also a handle that its root took along: nothing is left to close.
    session.Close();
    return false;
  }
  if (passive_) {
    int32_t ignored = 0;
    FtpCmd(session.Get(), L"QUIT", ignored);
  }
  if (session.Close()) return true;
  aLngErrCode = static_cast<int32_t>(GetLastError());
  return false;
}

bool ClsWinFTP::FtpConnect(Session& session, const std::wstring& server,
                           const std::wstring& user, const std::wstring& password,
                           int32_t& aLngErrCode) {
  aLngErrCode = 0;
  if (&session == &hConnect_) mainSessionFolder_ = {};
  if (session) {
    int32_t ignored = 0;
    FtpDisconnect(session, ignored);
  }
  session.Close();
  if (!hOpen_ && !InetOpen(aLngErrCode)) return false;

  DWORD flags = passive_ ? INTERNET_FLAG_PASSIVE : 0;
  const DWORD_PTR context = CallbackContext();
  if (context != 0) flags |= INTERNET_FLAG_ASYNC;

  int32_t failures = 0;
  for (;;) {
    const uint32_t born = session.BirthMark();
    HINTERNET h = InternetConnectW(hOpen_.Get(), server.c_str(),
                                   static_cast<INTERNET_PORT>(portNo_),
                                   user.c_str(), password.c_str(), INTERNET_SERVICE_FTP, flags,
                                   context);
    DWORD lastError = GetLastError();
    session.Adopt(h, born);
    CloseReleasedRoots();
    if (session) {
      Pause(waits_.connectPauseMs);
      if (context != 0) InternetSetStatusCallbackW(hOpen_.Get(), &StatusCallbackEntry);
      return true;
    }
    if (h != nullptr) {
      // Cancel closed the root while the connect ran: the session went with it.
      lastError = ERROR_INTERNET_OPERATION_CANCELLED;
      if (stopFlag_ != 0) {
        aLngErrCode = StopCode(waits_.reopenAfterConnectStopMs);
        return false;
      }
    }
    ++failures;
    if (failures > retryMaxCount_) {
      aLngErrCode = stopFlag_ != 0 ? StopCode(waits_.reopenAfterConnectStopMs)
                                   : static_cast<int32_t>(lastError);
      return false;
    }
    const bool carriedOn = Countdown([](int64_t seconds) {
      return L"★サーバーに接続できませんでした！\r\n" + std::to_wstring(seconds) +
             L"秒後に再度接続します...";
    });
    if (!carriedOn) {
      aLngErrCode = StopCode(waits_.reopenAfterConnectStopMs);
      return false;
    }
    // Cancel may have closed the root during the countdown.
    if (!hOpen_ && !InetOpen(aLngErrCode)) return false;
  }
}

bool ClsWinFTP::InetConnect(const std::wstring& aServerIP, const std::wstring& aUser,
                            const std::wstring& aPass, int32_t& aLngErrCode) try {
  aLngErrCode = 0;
  if (!IsBlank(aServerIP) && !IsBlank(aUser)) {
    serverIP_ = aServerIP;
    userID_ = aUser;
    pass_ = aPass;
  }
  return FtpConnect(hConnect_, aServerIP, aUser, aPass, aLngErrCode);
} catch (...) {
  aLngErrCode = ERROR_NOT_ENOUGH_MEMORY;
  return false;
}

bool ClsWinFTP::InetDisConnect(int32_t& aLngErrCode) try {
  aLngErrCode = 0;
  int32_t ignored = 0;
  return FtpDisconnect(hConnect_, ignored);
} catch (...) {
  aLngErrCode = 0;
  return false;
}

bool ClsWinFTP::FtpSetCurDir(Session& session, const std::wstring& aCurDir,
                             int32_t& aLngErrCode) {
  aLngErrCode = 0;
  const std::wstring folder = IsBlank(aCurDir) ? L"/" : aCurDir;
  const bool mainSession = &session == &hConnect_;
  // Only an absolute folder is the same folder a second time.
  const bool absolute = folder.front() == L'/';
  if (mainSession && absolute && session && mainSessionFolder_.session == session.Get() &&
      mainSessionFolder_.generation == rootGeneration_ && mainSessionFolder_.folder == folder) {
    return true;
  }
  if (mainSession) mainSessionFolder_ = {};
  if (FtpSetCurrentDirectoryW(session.Get(), folder.c_str())) {
    if (mainSession && absolute) mainSessionFolder_ = {session.Get(), rootGeneration_, folder};
    return true;
  }
  const DWORD lastError = GetLastError();
  aLngErrCode = stopFlag_ != 0 ? StopCode(waits_.reopenAfterStopMs)
                               : static_cast<int32_t>(lastError);
  return false;
}

bool ClsWinFTP::FtpGetCurDir(Session& session, std::wstring& aCurDir, int32_t& aLngErrCode) {
  aCurDir.clear();
  aLngErrCode = 0;
  std::wstring buffer(256, L'\0');
  DWORD length = static_cast<DWORD>(buffer.size());
  if (FtpGetCurrentDirectoryW(session.Get(), buffer.data(), &length)) {
    aCurDir = TrimNull(buffer);
    return true;
  }
  const DWORD lastError = GetLastError();
  aLngErrCode = stopFlag_ != 0 ? StopCode(waits_.reopenAfterStopMs)
                               : static_cast<int32_t>(lastError);
  return false;
}

bool ClsWinFTP::FtpSetDir(const std::wstring& aCurDir, int32_t& aLngErrCode) try {
  aLngErrCode = 0;
  return FtpSetCurDir(hConnect_, aCurDir, aLngErrCode);
} catch (...) {
  aLngErrCode = ERROR_NOT_ENOUGH_MEMORY;
  return false;
}

bool ClsWinFTP::FtpGetDir(std::wstring& aCurDir, int32_t& aLngErrCode) try {
  aLngErrCode = 0;
  aCurDir.clear();
  return FtpGetCurDir(hConnect_, aCurDir, aLngErrCode);
} catch (...) {
  aLngErrCode = ERROR_NOT_ENOUGH_MEMORY;
  return false;
}

bool ClsWinFTP::FtpCmd(HINTERNET hCONNECT, const std::wstring& aCommand, int32_t& aLngErrCode) try {
  aLngErrCode = 0;
  if (IsBlank(aCommand) || hCONNECT == nullptr) return false;
  // A raw command may change the folder (CWD, CDUP) behind our back.
  mainSessionFolder_ = {};
  HINTERNET command = nullptr;
  const BOOL ok = FtpCommandW(hCONNECT, FALSE, FTP_TRANSFER_TYPE_BINARY, aCommand.c_str(), 0,
                              &command);
  if (!ok) aLngErrCode = static_cast<int32_t>(GetLastError());
  if (command != nullptr) InternetCloseHandle(command);
  return ok != FALSE;
} catch (...) {
  aLngErrCode = ERROR_NOT_ENOUGH_MEMORY;
  return false;
}

void ClsWinFTP::ConsoleOut(const std::wstring& text) {
  const std::string bytes = norvale::ToAnsi(text + L"\r\n");
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD written = 0;
    if (!WriteFile(out, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written,
                   nullptr) ||
        written == 0) {
      return;  // no console: the rest of the line is given up
    }
    done += written;
  }
}

INTERNET_STATUS_CALLBACK ClsWinFTP::SetStatusCallback(INTERNET_STATUS_CALLBACK address) {
  return InternetSetStatusCallbackW(hOpen_.Get(), address);
}

std::wstring ClsWinFTP::TrimNull(const std::wstring& text) { return norvale::CutAtNull(text); }

int32_t ClsWinFTP::StopCode(int reopenPauseMs) {
  CloseReleasedRoots();
  if (!hOpen_) {
    Pause(reopenPauseMs);
    InetOpen();
  }
  return kFtpStopped;
}

bool ClsWinFTP::Countdown(const std::function<std::wstring(int64_t)>& text) {
  const int64_t steps = static_cast<int64_t>(retryWaitTime_) * 5;
  for (int64_t i = 1; i <= steps; ++i) {
    Pause(waits_.countdownStepMs);
    // The texts count in the real step length whatever the pause is.
    const int64_t secondsLeft = retryWaitTime_ - (i * 200 / 1000);
    if (dispObject_) dispObject_->SetText(text(secondsLeft));
    Pump();
    if (stopFlag_ != 0) return false;
  }
  return true;
}

void ClsWinFTP::Show(const std::wstring& text) {
  if (!dispObject_) return;
  dispObject_->SetText(text);
  Pump();
}

void ClsWinFTP::Pump() {
  if (seams_.pump) seams_.pump->DoEvents();
}

void ClsWinFTP::Pause(int ms) {
  if (ms > 0) Sleep(static_cast<DWORD>(ms));
}

// WinINet hands the context to StatusCallbackEntry, which finds the object
// by it; CallBackProcPtr itself still receives 1.
DWORD_PTR ClsWinFTP::CallbackContext() const {
  return async_ && callBackProcPtr_ != nullptr ? reinterpret_cast<DWORD_PTR>(this) : 0;
}

void CALLBACK ClsWinFTP::StatusCallbackEntry(HINTERNET handle, DWORD_PTR context, DWORD status,
                                             LPVOID information, DWORD informationLength) {
  auto* self = reinterpret_cast<ClsWinFTP*>(context);
  if (self == nullptr || self->callBackProcPtr_ == nullptr) return;
  ++self->callbacksRunning_;
  try {
    self->callBackProcPtr_(handle, 1, status, information, informationLength);
  } catch (...) {
  }
  --self->callbacksRunning_;
}

void ClsWinFTP::CloseReleasedRoots() {
  if (callbacksRunning_ == 0) releasedRoots_.clear();
}

int32_t ClsWinFTP::MakeLocalDir(const std::wstring& path, std::wstring& absolutePath) {
  absolutePath.clear();
  if (IsBlank(path)) return 0;
  if (norvale::IsNetworkPath(path)) {
    absolutePath = path;
    return norvale::CreateNetworkFolder(path);
  }
  absolutePath = GetLocalAbsolutePath(path, L"");
  std::wstring target = absolutePath;
  // A trailing separator ends the walk like the end of the text.
  while (target.size() > 3 && target.back() == L'\\') target.pop_back();
  return norvale::CreateMissingLevels(target, nullptr);
}

std::wstring ClsWinFTP::GetLocalAbsolutePath(const std::wstring& path,
                                             const std::wstring& baseFolder) {
  if (IsBlank(path)) return L"";
  auto resolved = norvale::AbsolutePath(path, baseFolder);
  if (!resolved || resolved->empty()) return path;
  return *resolved;
}

std::wstring ClsWinFTP::GetLocalFileID(const std::wstring& path) {
  const std::wstring p = Trim(path);
  const size_t sep = p.rfind(L'\\');
  return sep == std::wstring::npos ? p : p.substr(sep + 1);
}

std::wstring ClsWinFTP::GetLocalFilePath(const std::wstring& path) {
  const std::wstring p = Trim(path);
  const size_t sep = p.rfind(L'\\');
  return sep == std::wstring::npos ? L"" : p.substr(0, sep);
}
