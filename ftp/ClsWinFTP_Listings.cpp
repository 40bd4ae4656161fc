// Server listings into the listing table: one session per folder, the
// folder and file filter, the retry for a single missing file and the walk
// through sub-folders.
#include <shlwapi.h>

#include <algorithm>
#include <string>

#include "ClsWinFTP.h"
#include "FileSystem.h"
#include "Text.h"

using norvale::IsBlank;
using norvale::IsSelfOrParent;
using norvale::Trim;
using norvale::UpperCased;

namespace {

constexpr DWORD kListingFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;

std::wstring ReadingText(const std::wstring& folder) {
  return L"[" + folder + L"]のデレクトリ情報を読込んでいます...";
}

norvale::OleDate ListedTime(const FILETIME& time) {
  // The server's time as it listed it: no time-zone conversion.
  SYSTEMTIME st{};
  if (!FileTimeToSystemTime(&time, &st)) return norvale::OleDate();
  return norvale::OleDate::FromSystemTime(st);
}

}  // namespace

int32_t ClsWinFTP::FtpGetFileList(const std::wstring& aSvDir, const std::wstring& aPattern,
                                  int32_t aKbn, std::vector<std::wstring>& aNames,
                                  int32_t& aLngErrCode, const std::wstring& aServerIP,
                                  const std::wstring& aUser, const std::wstring& aPass,
                                  bool Is下層) try {
  aLngErrCode = 0;
  aNames.assign(1, L"");
  listing_.clear();
  FtpReadDirInfo(aSvDir, aPattern, aKbn, aLngErrCode, aServerIP, aUser, aPass, Is下層);
  const int32_t count = static_cast<int32_t>(listing_.size());
  if (count > 1 && !Is下層 && (aKbn == 1 || aKbn == 2)) {
    SortDirInfo(listing_, 1, count, L"ファイル名", false);
  }
  aNames.resize(static_cast<size_t>(count) + 1);
  for (int32_t i = 1; i <= count; ++i) {
    const DirInfo& entry = listing_[static_cast<size_t>(i) - 1];
    aNames[static_cast<size_t>(i)] =
        aKbn == 0 && entry.IsFolder ? entry.FileId + L"/" : entry.FileId;
  }
  return count;
} catch (...) {
  aLngErrCode = ERROR_NOT_ENOUGH_MEMORY;
  return GetDirInfo_Count();
}

int32_t ClsWinFTP::FtpReadDirInfo(const std::wstring& aSvDir, const std::wstring& aPattern,
                                  int32_t aKbn, int32_t& aLngErrCode,
                                  const std::wstring& aServerIP, const std::wstring& aUser,
                                  const std::wstring& aPass, bool Is下層) {
  if (stopFlag_ != 0) {
    aLngErrCode = 0;
    return -1;
  }
  Show(ReadingText(aSvDir));
  const int32_t result =
      FtpFindFiles(aSvDir, aPattern, aKbn, aLngErrCode, aServerIP, aUser, aPass, Is下層);
  Show(L"");
  return result;
}

bool ClsWinFTP::OpenListingSession(Session& session, const std::wstring& aSvDir,
                                   const std::wstring& server, const std::wstring& user,
                                   const std::wstring& password, std::wstring& curDir,
                                   int32_t& aLngErrCode) {
  if (!FtpConnect(session, server, user, password, aLngErrCode)) return false;
  int32_t ignored = 0;
  if (!IsBlank(aSvDir) && !FtpSetCurDir(session, aSvDir, aLngErrCode)) {
    FtpDisconnect(session, ignored);
    return false;
  }
  if (!FtpGetCurDir(session, curDir, aLngErrCode)) {
    FtpDisconnect(session, ignored);
    return false;
  }
  if (curDir == L"/") curDir.clear();
  return true;
}

ClsWinFTP::Login ClsWinFTP::LoginFor(const std::wstring& aServerIP, const std::wstring& aUser,
                                     const std::wstring& aPass) const {
  // A call that names no server or user lists with the object's own login.
  if (IsBlank(aServerIP) || IsBlank(aUser)) return {serverIP_, userID_, pass_};
  return {aServerIP, aUser, aPass};
}

int32_t ClsWinFTP::ListingBoundCode(const std::wstring& folder, int32_t depth, size_t entries) {
  int32_t code = 0;
  if (depth > listingBounds_.maxDepth) {
    code = kFtpListingTooDeep;
  } else if (entries > static_cast<size_t>(std::max<int32_t>(listingBounds_.maxEntries, 0))) {
    code = kFtpListingTooLarge;
  }
  if (code != 0) {
    errorLog_->ErrLogPut(appName_ + L" [" + folder + L"] " + GetErrMsg(code), 1, 1, 0, 0, 0);
  }
  return code;
}

int32_t ClsWinFTP::FtpFindFiles(const std::wstring& aSvDir, const std::wstring& aPattern,
                                int32_t aKbn, int32_t& aLngErrCode,
                                const std::wstring& aServerIP, const std::wstring& aUser,
                                const std::wstring& aPass, bool Is下層, int32_t depth) {
  aLngErrCode = 0;
  if (stopFlag_ != 0) return -1;
  // Checked before the login: a level too deep costs the server nothing.
  if ((aLngErrCode = ListingBoundCode(aSvDir, depth, listing_.size())) != 0) return -1;

  const auto [server, user, password] = LoginFor(aServerIP, aUser, aPass);
  if (IsBlank(server) || IsBlank(user)) {
    aLngErrCode = kFtpNoServerOrUser;
    return -1;
  }

  Show(ReadingText(aSvDir));

  Session session(&rootGeneration_);
  std::wstring curDir;
  if (!OpenListingSession(session, aSvDir, server, user, password, curDir, aLngErrCode)) {
    return -1;
  }

  const std::wstring search = IsBlank(aPattern) ? L"*.*" : Trim(aPattern);
  const size_t startMark = listing_.size();
  int32_t ignored = 0;

  WIN32_FIND_DATAW data{};
  Session find(&rootGeneration_);
  const uint32_t born = find.BirthMark();
  find.Adopt(FtpFindFirstFileW(session.Get(), search.c_str(), &data, kListingFlags, 0), born);
  const DWORD findError = GetLastError();

  // A file asked for by name that some servers only list with a wildcard.
  const bool singleFile = aKbn == 2 && !aPattern.empty() && aPattern.back() != L'*';
  const bool retried = !find && singleFile;
  if (retried) {
    FtpDisconnect(session, ignored);
    Pause(waits_.listRetryPauseMs);
    int32_t retryCode = 0;
    if (!OpenListingSession(session, aSvDir, server, user, password, curDir, retryCode)) {
      FtpDisconnect(session, ignored);
      aLngErrCode = kFtpFileNotFound;
      return -1;
    }
    const std::wstring wider = aPattern + L"*";
    const uint32_t widerBorn = find.BirthMark();
    find.Adopt(FtpFindFirstFileW(session.Get(), wider.c_str(), &data, kListingFlags, 0),
               widerBorn);
    if (!find) {
      FtpDisconnect(session, ignored);
      aLngErrCode = kFtpFileNotFound;
      return -1;
    }
  } else if (!find) {
    FtpDisconnect(session, ignored);
    // An empty folder: Windows says 18, Wine 0.
    if (findError == ERROR_NO_MORE_FILES || findError == ERROR_NOT_ENOUGH_MEMORY ||
        findError == ERROR_SUCCESS) {
      aLngErrCode = 0;
      return 0;
    }
    aLngErrCode = stopFlag_ != 0 ? kFtpStopped : static_cast<int32_t>(findError);
    return -1;
  }

  const std::wstring dir = curDir.empty() || curDir.back() != L'/' ? curDir + L"/" : curDir;
  int32_t count = 0;
  do {
    DirInfo entry;
    entry.FileId = norvale::CutAtNull(std::wstring(data.cFileName, MAX_PATH));
    entry.IsFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    bool take = aKbn == 1 ? entry.IsFolder : aKbn == 2 ? !entry.IsFolder : true;
    // The wildcard retry must not pass "a.txt.old" off as "a.txt".
    if (retried && !PathMatchSpecW(entry.FileId.c_str(), aPattern.c_str())) take = false;
    if (!take) continue;
    // One folder can list without end as well.
    if ((aLngErrCode = ListingBoundCode(aSvDir, depth, listing_.size() + 1)) != 0) {
      find.Close();
      FtpDisconnect(session, ignored);
      return -1;
    }
    entry.Dir = dir;
    entry.FileSize = static_cast<int32_t>(data.nFileSizeLow);
    entry.UpDate = ListedTime(data.ftLastWriteTime);
    listing_.push_back(std::move(entry));
    ++count;
  } while (InternetFindNextFileW(find.Get(), &data));

  find.Close();
  FtpDisconnect(session, ignored);
  Pause(waits_.folderPauseMs);

  if (retried && count == 0) {
    aLngErrCode = kFtpFileNotFound;
    return -1;
  }

  if (Is下層) {
    const size_t endMark = listing_.size();
    for (size_t i = startMark; i < endMark; ++i) {
      if (!listing_[i].IsFolder || IsSelfOrParent(listing_[i].FileId)) continue;
      const std::wstring subFolder = listing_[i].Dir + listing_[i].FileId + L"/";
      const int32_t sub = FtpFindFiles(subFolder, aPattern, aKbn, aLngErrCode, aServerIP,
                                       aUser, aPass, true, depth + 1);
      if (stopFlag_ != 0 || sub < 0) return -1;
      count += sub;
    }
  }
  return count;
}

// The older listing, which no caller uses any more: it
// walks each sub-folder as soon as the find meets it, on a session of its
// own while the parent's stays open.
int32_t ClsWinFTP::FtpFindFilesNested(const std::wstring& aSvDir, const std::wstring& aPattern,
                                      int32_t aKbn, int32_t& aLngErrCode,
                                      const std::wstring& aServerIP, const std::wstring& aUser,
                                      const std::wstring& aPass, bool Is下層,
                                      int32_t depth) {
  aLngErrCode = 0;
  if (stopFlag_ != 0) return -1;
  if ((aLngErrCode = ListingBoundCode(aSvDir, depth, listing_.size())) != 0) return -1;
  const auto [server, user, password] = LoginFor(aServerIP, aUser, aPass);
  if (IsBlank(server) || IsBlank(user)) {
    aLngErrCode = kFtpNoServerOrUser;
    return -1;
  }

  Session session(&rootGeneration_);
  std::wstring curDir;
  if (!OpenListingSession(session, aSvDir, server, user, password, curDir, aLngErrCode)) {
    return -1;
  }
  const std::wstring search = IsBlank(aPattern) ? L"*.*" : Trim(aPattern);
  int32_t ignored = 0;
  WIN32_FIND_DATAW data{};
  Session find(&rootGeneration_);
  const uint32_t born = find.BirthMark();
  find.Adopt(FtpFindFirstFileW(session.Get(), search.c_str(), &data, INTERNET_FLAG_RELOAD, 0),
             born);
  if (!find) {
    const DWORD findError = GetLastError();
    FtpDisconnect(session, ignored);
    if (findError == ERROR_NO_MORE_FILES || findError == ERROR_NOT_ENOUGH_MEMORY ||
        findError == ERROR_SUCCESS) {
      return 0;
    }
    aLngErrCode = stopFlag_ != 0 ? StopCode(waits_.reopenAfterStopMs)
                                 : static_cast<int32_t>(findError);
    return -1;
  }

  const std::wstring dir = curDir.empty() || curDir.back() != L'/' ? curDir + L"/" : curDir;
  int32_t count = 0;
  do {
    DirInfo entry;
    entry.FileId = norvale::CutAtNull(std::wstring(data.cFileName, MAX_PATH));
    entry.IsFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool take = aKbn == 1 ? entry.IsFolder : aKbn == 2 ? !entry.IsFolder : true;
    if (take) {
      entry.Dir = dir;
      entry.FileSize = static_cast<int32_t>(data.nFileSizeLow);
      entry.UpDate = ListedTime(data.ftLastWriteTime);
      listing_.push_back(entry);
      ++count;
    }
    if (Is下層 && entry.IsFolder && !IsSelfOrParent(entry.FileId)) {
      FtpFindFilesNested(curDir + L"/" + entry.FileId, aPattern, aKbn, aLngErrCode, aServerIP,
                         aUser, aPass, true, depth + 1);
      if (aLngErrCode != 0) {
        find.Close();
        FtpDisconnect(session, ignored);
        return -1;
      }
    }
  } while (InternetFindNextFileW(find.Get(), &data));

  find.Close();
  FtpDisconnect(session, ignored);
  if (stopFlag_ != 0) {
    aLngErrCode = StopCode(waits_.reopenAfterStopMs);
    return -1;
  }
  return count;
}

bool ClsWinFTP::SortDirInfo(std::vector<DirInfo>& table, int32_t first, int32_t last,
                            const std::wstring& key, bool descending) {
  if (first >= last || first < 1 || static_cast<size_t>(last) > table.size()) return false;
  const auto begin = table.begin() + (first - 1);
  const auto end = table.begin() + last;
  if (key == L"更新日時") {
    std::sort(begin, end, [descending](const DirInfo& a, const DirInfo& b) {
      return descending ? b.UpDate < a.UpDate : a.UpDate < b.UpDate;
    });
  } else {
    std::sort(begin, end, [descending](const DirInfo& a, const DirInfo& b) {
      const std::wstring ua = UpperCased(a.FileId);
      const std::wstring ub = UpperCased(b.FileId);
      return descending ? ub < ua : ua < ub;
    });
  }
  return true;
}

const DirInfo* ClsWinFTP::ListedRecord(int32_t lngRecNo) const {
  if (lngRecNo < 1 || static_cast<size_t>(lngRecNo) > listing_.size()) return nullptr;
  return &listing_[static_cast<size_t>(lngRecNo) - 1];
}

bool ClsWinFTP::GetDirInfo_IsFolder(int32_t lngRecNo) const {
  const DirInfo* r = ListedRecord(lngRecNo);
  return r != nullptr && r->IsFolder;
}

std::wstring ClsWinFTP::GetDirInfo_FileId(int32_t lngRecNo) const try {
  const DirInfo* r = ListedRecord(lngRecNo);
  return r != nullptr ? r->FileId : L"";
} catch (...) {
  return L"";
}

std::wstring ClsWinFTP::GetDirInfo_Dir(int32_t lngRecNo) const try {
  const DirInfo* r = ListedRecord(lngRecNo);
  return r != nullptr ? r->Dir : L"";
} catch (...) {
  return L"";
}

int32_t ClsWinFTP::GetDirInfo_FileSize(int32_t lngRecNo) const {
  const DirInfo* r = ListedRecord(lngRecNo);
  return r != nullptr ? r->FileSize : 0;
}

norvale::OleDate ClsWinFTP::GetDirInfo_UpDate(int32_t lngRecNo) const {
  const DirInfo* r = ListedRecord(lngRecNo);
  return r != nullptr ? r->UpDate : norvale::OleDate();
}

int16_t ClsWinFTP::GetDirInfo_Count() const {
  return listing_.size() > 32767 ? 0 : static_cast<int16_t>(listing_.size());
}
