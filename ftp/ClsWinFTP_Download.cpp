// Single-file download on the main session, with the identical-copy skip,
// the size check, timed retries and the server's time on the local file.
#include <cwchar>
#include <optional>
#include <string>
#include <vector>

#include "ClsWinFTP.h"
#include "DeleteGuard.h"
#include "FileActs.h"
#include "GuardedRemovals.h"
#include "FileSystem.h"
#include "LocalPathGuard.h"
#include "Paths.h"
#include "Text.h"

using norvale::IsBlank;

namespace {

// WinINet waits for a full chunk before it returns, and the window's message
// loop runs only between chunks. A chunk starts small, so that a stop request
// is seen within a fraction of a second even from a slow server, and grows
// while the server fills it quickly: small chunks cost a fast server most of
// its speed.
constexpr DWORD kFirstChunkBytes = 16 * 1024;
constexpr DWORD kLargestChunkBytes = 1024 * 1024;
constexpr ULONGLONG kQuickChunkMs = 50;
constexpr ULONGLONG kSlowChunkMs = 200;
// The message loop runs between chunks, but no more often than anyone could
// notice: from a fast server a chunk takes a millisecond or two, and letting
// the loop run after every one of them cost a fifth of the speed.
constexpr ULONGLONG kPumpIntervalMs = 50;

// Added to a file's name while its transfer runs.

}  // namespace

std::wstring ClsWinFTP::ReceivingText(const std::wstring& fileId) {
  return L"[" + fileId + L"]を受信しています...";
}

int32_t ClsWinFTP::LowSizeWord(uint64_t size) {
  return static_cast<int32_t>(static_cast<uint32_t>(size & 0xFFFFFFFFu));
}

// ReceiveFile removed whatever a failed transfer wrote; the file that was
// there before stays as it was.
int32_t ClsWinFTP::FailedTransferCode(DWORD transferError) {
  if (stopFlag_ != 0) return StopCode(waits_.reopenAfterStopMs);
  // A file that arrived with another size than listed was cut short.
  return transferError != 0 ? static_cast<int32_t>(transferError) : kFtpIncompleteTransfer;
}

bool ClsWinFTP::FtpGet(const std::wstring& aSvDir, const std::wstring& aGetFileId,
                       const std::wstring& aPutFilePath, bool Is上書き, int32_t& aLngErrCode,
                       bool Is同一Skip, bool Is更新日設定, int32_t& aLngFileCount,
                       bool Isベリファイ, bool IsDLFileInfo保存) try {
  aLngErrCode = 0;

  DirInfo listed;
  const bool lookedUp = Is更新日設定 || Is同一Skip || Isベリファイ;
  if (lookedUp) {
    const int32_t n = ListServerFile(aSvDir, aGetFileId, listed, aLngErrCode);
    if (n < 1) {
      aLngFileCount = n;
      return false;
    }
  }

  if (Is同一Skip && norvale::FileExists(aPutFilePath)) {
    const DirInfo local = LocalDirInfo(aPutFilePath);
    if (norvale::SameName(local.FileId, listed.FileId) &&
        local.UpDate == listed.UpDate && local.FileSize == listed.FileSize) {
      aLngErrCode = 0;
      return true;
    }
  }

  if (!IsBlank(aSvDir) && !FtpSetCurDir(hConnect_, aSvDir, aLngErrCode)) return false;

  if (isConsoleDisp_) {
    ConsoleOut(L"[" + serverIP_ + L"]から[" + aSvDir + aGetFileId + L"]を受信しています...");
  }
  Show(ReceivingText(aGetFileId));

  int32_t retries = 0;
  DWORD transferError = 0;
  bool complete = false;
  for (;;) {
    // The listed size tells a transfer cut short from a whole one, whether
    // or not the caller asked for verification: a cut one must never take
    // the place of a good file. Each attempt has a listing of its own.
    transferError = ReceiveFile(aGetFileId, aPutFilePath, Is上書き,
                                lookedUp ? &listed.FileSize : nullptr);
    complete = false;
    if (transferError == 0) {
      const auto file = norvale::QueryFile(aPutFilePath);
      const bool exists = file && (file->attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
      complete = exists && (!Isベリファイ || LowSizeWord(file->size) == listed.FileSize);
    }
    if (stopFlag_ != 0) break;
    if (complete) {
      if (Isベリファイ && IsDLFileInfo保存) DownloadedFilesAdd(aPutFilePath, listed.FileSize);
      break;
    }
    // No attempt would end otherwise: a target the guard protects, a link
    // on the way, a folder that cannot be made.
    if (transferError == static_cast<DWORD>(kFtpProtectedTarget) ||
        transferError == static_cast<DWORD>(kFtpUnsafeFolder) ||
        transferError == static_cast<DWORD>(kLocalFolderMissing)) {
      break;
    }
    if (++retries > retryMaxCount_) break;
    const bool carriedOn = Countdown([&aGetFileId](int64_t seconds) {
      return L"★[" + aGetFileId + L"]の受信中にエラーが発生しました！\r\n" +
             std::to_wstring(seconds) + L"秒後に再度受信を実行します...";
    });
    if (!carriedOn) break;
    // A dropped session would fail the retry as well.
    const int32_t revived = ReviveMainSession(aSvDir);
    if (revived != 0) {
      transferError = static_cast<DWORD>(revived);
      break;
    }
    // The file may have been replaced on the server since the last listing
    // (setup information updated while the installer starts): checked
    // against the old size, the new file would fail every retry.
    if (lookedUp) {
      int32_t listCode = 0;
      if (ListServerFile(aSvDir, aGetFileId, listed, listCode) < 1) {
        transferError = static_cast<DWORD>(listCode != 0 ? listCode : kFtpFileNotFound);
        break;
      }
    }
    Show(ReceivingText(aGetFileId));
  }

  if (transferError != 0 || !complete) {
    aLngErrCode = FailedTransferCode(transferError);
    return false;
  }
  if (Is更新日設定) SetLocalFileTime(aPutFilePath, listed.UpDate);
  aLngFileCount = 1;
  return true;
} catch (...) {
  aLngErrCode = ERROR_NOT_ENOUGH_MEMORY;
  return false;
}

int32_t ClsWinFTP::ListServerFile(const std::wstring& aSvDir, const std::wstring& fileId,
                                  DirInfo& listed, int32_t& aLngErrCode) {
  std::vector<std::wstring> names;
  // A name that the listing would read as more than one pattern, or as a
  // wildcard, cannot find itself: the whole folder is listed instead.
  const bool plainName = fileId.find_first_of(L";*?") == std::wstring::npos;
  const std::wstring pattern = plainName ? fileId : L"*";
  const int32_t n = FtpGetFileList(aSvDir, pattern, 2, names, aLngErrCode, L"", L"", L"", false);
  if (n < 1) return n;
  // Wine's listing reads ";" as between two patterns, and a server that
  // tells "Data.bin" from "DATA.BIN" still matches both: ordinal equality.
  // A server that ignores letter case lists the name as it stores it, and
  // takes the name asked for as that one file: a single entry that differs
  // in letter case only is the file.
  const DirInfo* sameLetters = nullptr;
  int sameLetterCount = 0;
  for (const DirInfo& entry : listing_) {
    if (entry.FileId == fileId) {
      listed = entry;
      return n;
    }
    if (norvale::SameName(entry.FileId, fileId)) {
      sameLetters = &entry;
      ++sameLetterCount;
    }
  }
  if (sameLetterCount == 1) {
    listed = *sameLetters;
    return n;
  }
  aLngErrCode = kFtpFileNotFound;
  return 0;
}

namespace {

// A file of its own for a transfer, beside the target so that it can take
// the target's place by a rename: created new (a file already under the
// name, a user's or one the listing also brings, is never touched), with a
// fresh name after a collision, and a name short enough for the plain file
// calls even where the target's own name with a suffix would not be.
norvale::FileHandle CreatePartFile(const std::wstring& target) {
  const size_t sep = target.find_last_of(L'\\');
  const std::wstring folder = sep == std::wstring::npos ? L"" : target.substr(0, sep);
  norvale::PartFileNames names(folder, target.substr(sep == std::wstring::npos ? 0 : sep + 1));
  for (std::wstring name = names.Next(); !name.empty(); name = names.Next()) {
    // DELETE: the file is placed or taken away through this handle only.
    norvale::FileHandle file(CreateFileW(norvale::JoinPath(folder, name).c_str(),
                                         GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                                         CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file || (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)) {
      return file;
    }
  }
  SetLastError(ERROR_FILE_EXISTS);
  return norvale::FileHandle();
}

}  // namespace

int32_t ClsWinFTP::ReplaceRefusalCode(const std::wstring& target) {
  const std::wstring why = norvale::DeleteRefusal(target);
  if (why.empty()) return 0;
  errorLog_->ErrLogPut(appName_ + L" [" + target + L"] " + GetErrMsg(kFtpProtectedTarget) +
                           L"（" + why + L"）",
                       1, 1, 0, 0, 0);
  return kFtpProtectedTarget;
}

DWORD ClsWinFTP::ReceiveFile(const std::wstring& serverFileId, const std::wstring& localPath,
                             bool overwrite, const int32_t* expectedSize, bool replaceFolder) {
  if (!hConnect_) return ERROR_INVALID_HANDLE;
  // The guard that replaces the file takes absolute paths only.
  const std::wstring target = norvale::FullLocalPath(localPath);
  if (target.empty()) return ERROR_INVALID_NAME;
  if (tree_ && tree_->Holds(target)) {
    return ReceiveFileInTree(serverFileId, target, overwrite, expectedSize, replaceFolder);
  }
  if (norvale::FileExists(target)) {
    // Without overwrite an existing file fails before the server is asked;
    // so does one that another program holds, and one that the guard would
    // not let go: it would refuse the replacement after every attempt.
    if (!overwrite) return ERROR_FILE_EXISTS;
    if (const int32_t refused = ReplaceRefusalCode(target); refused != 0) {
      return static_cast<DWORD>(refused);
    }
    const norvale::FileHandle probe(CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr,
                                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!probe) return GetLastError();
  }
  // The transfer lands beside the file under a name of its own and takes the
  // file's place only once whole: a failed update keeps the old file.
  norvale::FileHandle local = CreatePartFile(target);
  if (!local) return GetLastError();

  DWORD error = TransferInto(local.Get(), serverFileId, expectedSize);
  // A folder in the file's place goes only now that the file is whole.
  if (error == 0 && replaceFolder) error = RemoveFolderInPlaceOf(target);
  if (error == 0) {
    // A new file only takes its name; replacing an old one deletes it, which
    // the guard has to agree to.
    norvale::StepDone placed = norvale::PlaceCreatedFile(local.Get(), target, false);
    if (!placed && overwrite &&
        (placed.Error().code == ERROR_ALREADY_EXISTS || placed.Error().code == ERROR_FILE_EXISTS)) {
      placed = norvale::PlaceCreatedFile(local.Get(), target, true);
    }
    if (placed) return 0;
    error = placed.Error().code;
  }
  // Created new by this transfer, so it is ours to take away wherever it
  // lies, also where the guard protects every name.
  norvale::DiscardCreatedFile(local.Get());
  return error != 0 ? error : static_cast<DWORD>(ERROR_INTERNET_OPERATION_CANCELLED);
}

bool ClsWinFTP::TreeFolderOf(const std::wstring& folder,
                             std::shared_ptr<const norvale::HeldEntry>& opened, int32_t& code) {
  code = 0;
  opened.reset();
  if (!tree_ || !tree_->Holds(folder)) return true;
  auto reached = tree_->OpenFolder(folder, true);
  if (reached) {
    opened = std::move(*reached);
    return true;
  }
  const norvale::StepError& error = reached.Error();
  if (error.code != norvale::kErrorLinkOnTheWay) {
    // Not made for another reason (no room, no right): as a folder that
    // cannot be created.
    code = kLocalFolderMissing;
    errorLog_->ErrLogPut(appName_ + L" " + error.Text(), 1, 1, 0, 0, 0);
    return false;
  }
  errorLog_->ErrLogPut(appName_ + L" " + error.Text() + L"（" + GetErrMsg(kFtpUnsafeFolder) + L"）",
                       1, 1, 0, 0, 0);
  code = kFtpUnsafeFolder;
  return false;
}

DWORD ClsWinFTP::RemoveFolderInTree(const std::wstring& path) {
  const std::wstring full = norvale::FullLocalPath(path);
  const auto folder = tree_->OpenFolder(GetLocalFilePath(full), false);
  if (!folder || norvale::KindIn((*folder)->handle.Get(), GetLocalFileID(full)) !=
                     norvale::EntryKind::kFolder) {
    return static_cast<DWORD>(kFtpUnsafeFolder);
  }
  const norvale::StepDone removed =
      norvale::RemoveListedFolder((*folder)->handle.Get(), (*folder)->path, GetLocalFileID(full));
  return removed ? 0 : removed.Error().code;
}

DWORD ClsWinFTP::ReceiveFileInTree(const std::wstring& serverFileId, const std::wstring& target,
                                   bool overwrite, const int32_t* expectedSize,
                                   bool replaceFolder) {
  // The file is made and put in place through its folder's handle, opened
  // from the tree's root: a folder swapped for a link meanwhile is never
  // written through.
  std::shared_ptr<const norvale::HeldEntry> folder;
  int32_t code = 0;
  if (!TreeFolderOf(GetLocalFilePath(target), folder, code) || !folder) {
    return static_cast<DWORD>(code != 0 ? code : kFtpUnsafeFolder);
  }
  const std::wstring name = GetLocalFileID(target);
  const norvale::EntryKind there = norvale::KindIn(folder->handle.Get(), name);
  if (there == norvale::EntryKind::kFile || there == norvale::EntryKind::kLink) {
    if (!overwrite) return ERROR_FILE_EXISTS;
    if (const int32_t refused = ReplaceRefusalCode(folder->path + L"\\" + name); refused != 0) {
      return static_cast<DWORD>(refused);
    }
    // A link in the file's place is replaced as itself; a file another
    // program holds would refuse the replacement after every attempt.
    const auto probe =
        norvale::OpenIn(folder->handle.Get(), name, GENERIC_WRITE, 0, norvale::EntryType::File);
    if (!probe) return probe.Error().code;
  }
  norvale::StepResult<norvale::FileHandle> made = norvale::CreatePartFileIn(*folder, name);
  if (!made) return made.Error().code;
  const norvale::FileHandle local = std::move(*made);

  DWORD error = TransferInto(local.Get(), serverFileId, expectedSize);
  if (error == 0 && replaceFolder) error = RemoveFolderInPlaceOf(target);
  if (error == 0) {
    const norvale::StepDone placed = norvale::PlaceInFolder(local.Get(), *folder, name, overwrite);
    if (placed) {
      // Told while the transfer still holds the file, so that nobody can
      // have changed it yet.
      tree_->Arrived(target, local.Get());
      return 0;
    }
    error = placed.Error().code;
  }
  norvale::DiscardCreatedFile(local.Get());
  return error != 0 ? error : static_cast<DWORD>(ERROR_INTERNET_OPERATION_CANCELLED);
}

DWORD ClsWinFTP::TransferInto(HANDLE local, const std::wstring& serverFileId,
                              const int32_t* expectedSize) {
  DWORD error = 0;
  bool finished = false;
  std::optional<uint64_t> serverSize;
  {
    Session remote(&rootGeneration_);
    const uint32_t born = remote.BirthMark();
    // The transfer goes to the file only: WinINet would keep a second copy
    // of every download in the internet cache.
    remote.Adopt(FtpOpenFileW(hConnect_.Get(), serverFileId.c_str(), GENERIC_READ,
                              FTP_TRANSFER_TYPE_BINARY | INTERNET_FLAG_RELOAD |
                                  INTERNET_FLAG_NO_CACHE_WRITE,
                              CallbackContext()),
                 born);
    if (!remote) {
      error = GetLastError();
    } else {
      if (expectedSize == nullptr) serverSize = OpenFileSize(remote.Get(), serverFileId);
      DWORD chunk = kFirstChunkBytes;
      std::vector<char> buffer(chunk);
      ULONGLONG pumped = 0;  // so that the first chunk lets the loop run
      for (;;) {
        DWORD got = 0;
        const ULONGLONG began = GetTickCount64();
        if (!InternetReadFile(remote.Get(), buffer.data(), chunk, &got)) {
          error = GetLastError();
          break;
        }
        const ULONGLONG took = GetTickCount64() - began;
        if (got == 0) {
          finished = true;
          break;
        }
        DWORD written = 0;
        if (!WriteFile(local, buffer.data(), got, &written, nullptr) || written != got) {
          error = GetLastError();
          break;
        }
        if (got == chunk && took < kQuickChunkMs && chunk < kLargestChunkBytes) {
          chunk *= 2;
          buffer.resize(chunk);
        } else if (took > kSlowChunkMs && chunk > kFirstChunkBytes) {
          chunk /= 2;
        }
        // Cancel is handled here; it may also have closed the handles.
        const ULONGLONG now = GetTickCount64();
        if (now - pumped >= kPumpIntervalMs) {
          Pump();
          pumped = now;
        }
        if (stopFlag_ != 0 || !remote) {
          error = ERROR_INTERNET_OPERATION_CANCELLED;
          break;
        }
      }
    }
  }
  if (finished && (expectedSize != nullptr || serverSize)) {
    LARGE_INTEGER size{};
    const bool known = GetFileSizeEx(local, &size) != 0;
    const auto got = static_cast<uint64_t>(size.QuadPart);
    const bool whole =
        known && (expectedSize != nullptr ? LowSizeWord(got) == *expectedSize : got == *serverSize);
    if (!whole) return static_cast<DWORD>(kFtpIncompleteTransfer);
  }
  if (!finished) return error != 0 ? error : static_cast<DWORD>(ERROR_INTERNET_OPERATION_CANCELLED);
  return 0;
}

std::optional<uint64_t> ClsWinFTP::OpenFileSize(HINTERNET file,
                                               const std::wstring& serverFileId) {
  DWORD high = 0;
  SetLastError(ERROR_SUCCESS);
  const DWORD low = fileSize_->OfOpenFile(file, serverFileId, &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS) return std::nullopt;
  // Wine answers 0 for every file; an empty file has nothing to cut anyway.
  if (low == 0 && high == 0) return std::nullopt;
  return (static_cast<uint64_t>(high) << 32) | low;
}

DirInfo ClsWinFTP::LocalDirInfo(const std::wstring& path) {
  DirInfo info;
  info.FileId = GetLocalFileID(path);
  info.Dir = GetLocalFilePath(path);
  info.FilePath = path;
  if (const auto file = norvale::QueryFile(path)) {
    info.FileSize = LowSizeWord(file->size);
    info.UpDate = norvale::OleDate::FromFileTimeUtc(file->lastWrite).value_or(norvale::OleDate());
  }
  return info;
}

bool ClsWinFTP::SetLocalFileTime(const std::wstring& path, norvale::OleDate date) {
  const FILETIME t = DateToFileTime(date);
  const std::wstring full = norvale::FullLocalPath(path);
  if (tree_ && !full.empty() && tree_->Holds(full)) {
    // Through the file's folder, as it was written: by name, a folder swapped
    // for a link would give another file the time.
    const auto folder = tree_->OpenFolder(GetLocalFilePath(full), false);
    if (!folder) return true;
    const auto file = norvale::OpenIn((*folder)->handle.Get(), GetLocalFileID(full),
                                      FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      norvale::EntryType::File);
    const std::optional<DWORD> attributes =
        file ? norvale::AttributesOf(file->Get()) : std::nullopt;
    if (attributes && !norvale::IsLinkAttributes(*attributes)) {
      SetFileTime(file->Get(), &t, &t, &t);
    }
    return true;
  }
  const norvale::FileHandle file = OpenFileForWrite(path);
  if (file) SetFileTime(file.Get(), &t, &t, &t);
  return true;
}

FILETIME ClsWinFTP::DateToFileTime(norvale::OleDate date) {
  SYSTEMTIME st = date.ToSystemTime();
  st.wMilliseconds = 0;
  FILETIME local{};
  FILETIME utc{};
  SystemTimeToFileTime(&st, &local);
  LocalFileTimeToFileTime(&local, &utc);
  return utc;
}

norvale::FileHandle ClsWinFTP::OpenFileForWrite(const std::wstring& path) {
  return norvale::FileHandle(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                         FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
}
