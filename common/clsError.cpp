#include "clsError.h"

#include <shellapi.h>

#include <cstdio>

#include "DeleteGuard.h"
#include "FileSystem.h"
#include "Handles.h"
#include "RuntimeError.h"
#include "System.h"
#include "Text.h"

using namespace norvale;

clsError::clsError(Seams seams) : seams_(std::move(seams)) {
  eventUse_ = true;
  logFileID_ = L"QUILLON.log";
  logDir_ = ProgramFolder();
  RecomputeLogFilePath();
  editerPath_ = GetSystemFolder() + L"\\notepad.exe";
  logLevel_ = 2;
}

bool clsError::EventUse() const { return eventUse_; }
void clsError::EventUse(bool aBolEventUse) { eventUse_ = aBolEventUse; }

std::wstring clsError::LogFileID() const { return logFileID_; }
void clsError::LogFileID(const std::wstring& aStrLogFileID) {
  logFileID_ = aStrLogFileID;
  RecomputeLogFilePath();
}

std::wstring clsError::LogDir() const { return logDir_; }
void clsError::LogDir(const std::wstring& aStrLogDir) {
  logDir_ = aStrLogDir;
  RecomputeLogFilePath();
}

std::wstring clsError::LogFilePath() const { return logFilePath_; }

void clsError::RecomputeLogFilePath() {
  logFilePath_ = logDir_.empty() ? logFileID_ : logDir_ + L"\\" + logFileID_;
}

int32_t clsError::DispMsg(const std::wstring& aStrText, const std::wstring& aStrTitle,
                          int32_t aLngDispType) {
  if (!seams_.messageBox) return 0;
  const std::wstring title = aStrTitle.empty() ? ProgramTitle() : aStrTitle;
  return seams_.messageBox->Show(aStrText, title, static_cast<unsigned>(aLngDispType));
}

int32_t clsError::DispLogFile(const std::wstring& aStrLogFilePathText, int32_t aWindowState) {
  const std::wstring file = IsBlank(aStrLogFilePathText) ? logFilePath_ : aStrLogFilePathText;
  ShellExecOpen(editerPath_, Trim(file), aWindowState + 1);
  return 0;
}

std::wstring clsError::EditerPath() const { return editerPath_; }
void clsError::EditerPath(const std::wstring& aStrEditerPath) { editerPath_ = aStrEditerPath; }

int32_t clsError::DeleteFile(const std::wstring& aStrLogFilePathText, bool IsKakunin) {
  const std::wstring file = IsBlank(aStrLogFilePathText) ? logFilePath_ : aStrLogFilePathText;
  if (IsKakunin) {
    if (DispMsg(L"ログファイルを削除しますか？\r\n(" + file + L")", L"ファイルを削除しますか？",
                0x1144) != IDYES) {
      return -1;
    }
  }
  if (!IsOrdinaryFile(file)) {
    DispMsg(L"削除対象ファイルファイルは存在しません。\r\n(" + file + L")",
            L"ファイルは存在しません", 0x1040);
    return -1;
  }
  const StepDone deleted = norvale::DeleteGuardedFile(FullPath(file));
  if (deleted) return 0;
  const int32_t number = RuntimeErrorFromWin32(deleted.Error().code);
  DispMsg(L"ファイルの削除に失敗しました！\r\n" + RuntimeErrorDescription(number) + L"\r\n(" +
              file + L")",
          L"ファイルの削除に失敗しました！", 0x1040);
  return number;
}

int32_t clsError::LogLevel() const { return logLevel_; }
void clsError::LogLevel(int32_t value) { logLevel_ = value; }

std::wstring clsError::StampPart(int32_t stampKind) {
  if (stampKind < 1 || stampKind > 3 || !seams_.clock) return L"";
  const SYSTEMTIME t = seams_.clock->LocalNow();
  wchar_t buffer[32] = {};
  switch (stampKind) {
    case 1:
      swprintf(buffer, 32, L"%04u/%02u/%02u %02u:%02u:%02u ", t.wYear, t.wMonth, t.wDay, t.wHour,
               t.wMinute, t.wSecond);
      break;
    case 2:
      swprintf(buffer, 32, L"%04u/%02u/%02u ", t.wYear, t.wMonth, t.wDay);
      break;
    default:
      swprintf(buffer, 32, L"%02u:%02u:%02u ", t.wHour, t.wMinute, t.wSecond);
      break;
  }
  return buffer;
}

int32_t clsError::ErrLogPut(const std::wstring& message, int32_t stampKind, int32_t /*flag*/,
                            int32_t skipRepeat, int32_t openMode, int32_t level) {
  try {
    if (level > logLevel_) return 0;
    if (skipRepeat != 0 && Trim(lastMessage_) == Trim(message)) return 0;

    std::wstring tag;
    switch (level) {
      case 1: tag = L"[エラー]"; break;
      case 2: tag = L"[警告]"; break;
      case 3: tag = L"[トレース]"; break;
      default: break;
    }
    const std::wstring line = StampPart(stampKind) + tag + message + L"\r\n";

    const int32_t folderError = MakeDirTree(logDir_, nullptr);
    if (folderError != 0) return folderError;

    const std::wstring path = Trim(logFilePath_);
    FileHandle file(CreateFileW(path.c_str(), openMode == 1 ? GENERIC_WRITE : FILE_APPEND_DATA,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                openMode == 1 ? CREATE_ALWAYS : OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
      const int32_t number = LastRuntimeError();
      if (eventUse_ && clsErrError) clsErrError(number, RuntimeErrorDescription(number));
      return 0;
    }
    const std::string bytes = ToAnsi(line);
    DWORD written = 0;
    WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    lastMessage_ = message;
    return 0;
  } catch (...) {
    return 0;
  }
}

int32_t clsError::MakeDirTree(const std::wstring& path, std::wstring* resolvedPath) {
  if (resolvedPath) resolvedPath->clear();
  if (IsBlank(path)) return 0;
  if (IsNetworkPath(path)) {
    // A failure here shows as the open failing afterwards.
    CreateNetworkFolder(path);
    if (resolvedPath) *resolvedPath = path;
    return 0;
  }
  const std::wstring full = GetAbsolutePath(path, L"");
  if (resolvedPath) *resolvedPath = full;
  return CreateMissingLevels(full, nullptr);
}

std::wstring clsError::GetAbsolutePath(const std::wstring& path, const std::wstring& baseFolder) {
  return AbsolutePath(path, baseFolder).value_or(path);
}

bool clsError::IsPlatformNT() { return norvale::IsPlatformNT(); }

int32_t clsError::ShellExecOpen(const std::wstring& file, const std::wstring& parameters,
                                int32_t showCommand) {
  return ShellOpen(file, parameters, showCommand);
}

std::wstring clsError::GetSystemFolder() { return SystemFolder(); }

std::wstring clsError::CutAtNull(const std::wstring& text) { return norvale::CutAtNull(text); }
