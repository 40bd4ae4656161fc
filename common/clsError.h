#pragma once
// The error log writer of the shared classes ("QUILLON.log" beside the
// program) with its small message and file functions.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "Seams.h"

#ifdef DeleteFile
#undef DeleteFile
#endif

class clsError {
 public:
  explicit clsError(norvale::Seams seams = norvale::Seams::System());

  bool EventUse() const;
  void EventUse(bool aBolEventUse);
  std::wstring LogFileID() const;
  void LogFileID(const std::wstring& aStrLogFileID);
  std::wstring LogDir() const;
  void LogDir(const std::wstring& aStrLogDir);
  std::wstring LogFilePath() const;
  int32_t DispMsg(const std::wstring& aStrText, const std::wstring& aStrTitle = L"",
                  int32_t aLngDispType = 0);
  int32_t DispLogFile(const std::wstring& aStrLogFilePathText = L"", int32_t aWindowState = 0);
  std::wstring EditerPath() const;
  void EditerPath(const std::wstring& aStrEditerPath);
  int32_t DeleteFile(const std::wstring& aStrLogFilePathText = L"", bool IsKakunin = false);

  // Raised when the log file cannot be opened while EventUse is on.
  std::function<void(int32_t ErrorCode, const std::wstring& ErrorMessage)> clsErrError;

  // Used by the other shared classes only.
  int32_t LogLevel() const;
  void LogLevel(int32_t value);
  // Appends one line; returns the folder error number, else 0. The flag
  // argument has no effect.
  int32_t ErrLogPut(const std::wstring& message, int32_t stampKind, int32_t flag,
                    int32_t skipRepeat, int32_t openMode, int32_t level);

 private:
  int32_t MakeDirTree(const std::wstring& path, std::wstring* resolvedPath);
  std::wstring GetAbsolutePath(const std::wstring& path, const std::wstring& baseFolder);
  bool IsPlatformNT();
  int32_t ShellExecOpen(const std::wstring& file, const std::wstring& parameters,
                        int32_t showCommand);
  std::wstring GetSystemFolder();
  std::wstring CutAtNull(const std::wstring& text);
  void RecomputeLogFilePath();
  std::wstring StampPart(int32_t stampKind);

  norvale::Seams seams_;
  bool eventUse_ = true;
  std::wstring logFileID_;
  std::wstring logDir_;
  std::wstring logFilePath_;
  std::wstring editerPath_;
  int32_t logLevel_ = 2;
  std::wstring lastMessage_;
};
