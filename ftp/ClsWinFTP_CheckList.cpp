// The downloaded-files check list: what the transfers delivered, checked
// afterwards for presence and size and written out as the installed-files
// list.
#include <shlobj.h>

#include <string>

#include "ClsWinFTP.h"
#include "FileSystem.h"
#include "FontFiles.h"
#include "InstallTree.h"
#include "LocalPathGuard.h"
#include "Paths.h"
#include "Text.h"

using norvale::IsBlank;
using norvale::Trim;

namespace {

constexpr int32_t kCsidlFonts = 20;
constexpr int32_t kCsidlTemp = 255;

// Fonts that the installer puts into the Fonts folder through the shell may
// legitimately be missing there afterwards; they only warn.
bool IsFontFile(const std::wstring& path) {
  const size_t dot = path.find(L'.');
  if (dot == std::wstring::npos || dot == 0) return false;
  return norvale::IsFontExtension(std::wstring_view(path).substr(dot + 1));
}

void AppendLine(std::wstring& text, const std::wstring& line) {
  if (!text.empty()) text += L"\r\n";
  text += line;
}

}  // namespace

int32_t ClsWinFTP::DownloadedFilesCount() const {
  return static_cast<int32_t>(downloaded_.size());
}

bool ClsWinFTP::DownloadedFilesClear() {
  downloaded_.clear();
  return true;
}

bool ClsWinFTP::DownloadedFilesAdd(const std::wstring& aFilePath, int32_t aFileSize) {
  try {
    DirInfo entry;
    entry.FileId = GetLocalFileID(aFilePath);
    entry.Dir = GetLocalFilePath(aFilePath);
    entry.FilePath = aFilePath;
    entry.FileSize = aFileSize;
    downloaded_.push_back(std::move(entry));
    return true;
  } catch (...) {
    return false;
  }
}

std::wstring ClsWinFTP::DownloadedFilesGetFilePath(int32_t aIndex) const try {
  if (aIndex < 1 || aIndex > DownloadedFilesCount()) return L"";
  return downloaded_[static_cast<size_t>(aIndex) - 1].FilePath;
} catch (...) {
  return L"";
}

int32_t ClsWinFTP::DownloadedFilesGetFileSize(int32_t aIndex) const {
  if (aIndex < 1 || aIndex > DownloadedFilesCount()) return 0;
  return downloaded_[static_cast<size_t>(aIndex) - 1].FileSize;
}

bool ClsWinFTP::IsListedLater(int32_t index) const {
  const int32_t n = DownloadedFilesCount();
  if (index < 1 || n <= 0 || index >= n) return false;
  const std::wstring path = Trim(downloaded_[static_cast<size_t>(index) - 1].FilePath);
  if (path.empty()) return false;
  for (int32_t j = index + 1; j <= n; ++j) {
    const std::wstring& later = downloaded_[static_cast<size_t>(j) - 1].FilePath;
    // Names that differ in kana type or width are different files.
    if (!IsBlank(later) && norvale::SamePath(Trim(later), path)) return true;
  }
  return false;
}

bool ClsWinFTP::DownloadedFilesVerify() {
  int32_t fileCount = 0;
  int32_t errCount = 0;
  std::wstring errMsg;
  std::wstring warningMsg;
  return DownloadedFilesVerify(fileCount, errCount, errMsg, warningMsg);
}

bool ClsWinFTP::DownloadedFilesVerify(int32_t& aFileCount, int32_t& aErrCount,
                                      std::wstring& aErrMsg, std::wstring& aWarningMsg) try {
  aFileCount = 0;
  aErrCount = 0;
  aErrMsg.clear();
  aWarningMsg.clear();
  const int32_t n = DownloadedFilesCount();
  if (n <= 0) return true;

  Show(L"受信したファイルをチェックしています...");
  const std::wstring fontsFolder = GetSpecialFolder(kCsidlFonts);
  for (int32_t i = 1; i <= n; ++i) {
    const DirInfo& entry = downloaded_[static_cast<size_t>(i) - 1];
    if (IsListedLater(i) || IsBlank(entry.FilePath)) continue;
    ++aFileCount;
    const auto file = norvale::QueryFile(entry.FilePath);
    const bool exists = file && (file->attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    std::wstring message;
    if (!exists) {
      message = L"[" + entry.FilePath + L"]が存在しませんでした！";
    } else if (static_cast<int32_t>(static_cast<uint32_t>(file->size)) != entry.FileSize) {
      message = L"[" + entry.FilePath + L"]のファイルサイズが違います！";
    }
    if (message.empty()) continue;
    const bool inFontsFolder =
        !fontsFolder.empty() && norvale::SamePlace(entry.Dir, fontsFolder);
    if (inFontsFolder && IsFontFile(entry.FilePath)) {
      AppendLine(aWarningMsg, message);
    } else {
      AppendLine(aErrMsg, message);
      ++aErrCount;
    }
  }
  Show(L"");

  if (aErrCount != 0) return false;
  if (!IsBlank(aWarningMsg)) {
    aWarningMsg = L"★フォントをインストールできませんでした！\r\n" + aWarningMsg;
  }
  return true;
} catch (...) {
  return false;
}

bool ClsWinFTP::DownloadedFilesListOut(const std::wstring& FilePath) try {
  if (DownloadedFilesCount() < 1 || IsBlank(FilePath)) return false;
  const std::wstring folder = GetLocalFilePath(FilePath);
  if (IsBlank(folder)) return false;
  std::string bytes = norvale::ToAnsi(L"DownloadFilePath, FileSize(Byte)\r\n");
  for (const DirInfo& entry : downloaded_) {
    bytes += norvale::ToAnsi(entry.FilePath + L", " + std::to_wstring(entry.FileSize) + L"\r\n");
  }

  const std::wstring target = Trim(FilePath);
  const std::wstring full = norvale::FullLocalPath(target);
  if (tree_ && !full.empty() && tree_->Holds(full)) {
    // Made anew and put in place through its folder, its folders made through
    // the tree: a file or link a user put under the name first is replaced,
    // never written into.
    return static_cast<bool>(norvale::WriteGeneratedFile(*tree_, full, bytes, generatedFiles_.get()));
  }
  std::wstring ignored;
  MakeLocalDir(folder, ignored);
  norvale::FileHandle file(CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr,
                                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  return WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                   nullptr) &&
         written == bytes.size();
} catch (...) {
  return false;
}

std::wstring ClsWinFTP::GetSpecialFolder(int32_t csidl) {
  if (csidl == kCsidlTemp) {
    auto variable = [](const wchar_t* name) {
      const DWORD n = GetEnvironmentVariableW(name, nullptr, 0);
      if (n == 0) return std::wstring();
      std::wstring value(n, L'\0');
      return TrimNull(std::wstring(value.data(),
                                   GetEnvironmentVariableW(name, value.data(), n)));
    };
    const std::wstring temp = variable(L"TEMP");
    return IsBlank(temp) ? variable(L"TMP") : temp;
  }
  PIDLIST_ABSOLUTE items = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, &items)) || items == nullptr) return L"";
  std::wstring buffer(MAX_PATH, L'\0');
  std::wstring path;
  if (SHGetPathFromIDListW(items, buffer.data())) path = TrimNull(buffer);
  CoTaskMemFree(items);
  return path;
}
