#include "DownloadLoop.h"

#include <windows.h>

#include <functional>
#include <optional>
#include <set>
#include <utility>

#include "ArchiveExtraction.h"
#include "DeleteGuard.h"
#include "FileActs.h"
#include "FileSystem.h"
#include "FontFiles.h"
#include "Fonts.h"
#include "GuardedRemovals.h"
#include "LocalPathGuard.h"
#include "Paths.h"
#include "SetupLog.h"
#include "Text.h"

namespace norvale {
namespace {

constexpr wchar_t kCrLf[] = L"\r\n";
constexpr int32_t kFontsFolder = 20;  // CSIDL_FONTS

const wchar_t kRetryTail[] =
    L"★リトライしますか？、リトライする場合は「はい」を、\r\n"
    L"  中止する場合「いいえ」をクリックして下さい。";

enum class DownloadKind { Folder, Zip, Font, PlainFile };

// The 16-bit number a text stands for, 0 when it is none.
int32_t NumberOr0(const std::wstring& text) {
  const std::wstring t = Trim(text);
  if (t.empty() || t.size() > 9) return 0;
  for (wchar_t c : t) {
    if (c < L'0' || c > L'9') return 0;
  }
  return std::stoi(t);
}

int16_t OptionUpperBound(const SelectGroupEntry& group) {
  return static_cast<int16_t>(group.options.empty() ? 0 : group.options.size() - 1);
}

// Tells the FTP client whom to show the files it is about to write, for as
// long as one call of DownloadFiles runs.
class WritesWatched {
 public:
  WritesWatched(ClsWinFTP& ftp, std::function<void(const std::wstring&)> watcher) : ftp_(ftp) {
    ftp_.BeforeWriting(std::move(watcher));
  }
  ~WritesWatched() { ftp_.BeforeWriting(nullptr); }
  WritesWatched(const WritesWatched&) = delete;
  WritesWatched& operator=(const WritesWatched&) = delete;

 private:
  ClsWinFTP& ftp_;
};

// A file that arrived in the install folder, copied into a new folder of
// the run's own exactly as it arrived (under its own name), for a program
// that takes it by name: in the install folder every user may change it.
// The folder goes again with the copy.
class ArrivedCopy {
 public:
  static std::optional<ArrivedCopy> Make(IFolderAccess& access, InstallTree& tree,
                                         const std::wstring& arrived) {
    std::optional<HeldEntry> folder = MakePrivateWorkFolder(access);
    if (!folder) return std::nullopt;
    ArrivedCopy copy(std::move(*folder), AfterLast(FullPath(arrived), L'\\'));
    StepResult<FileHandle> file = CreateIn(copy.folder_.handle.Get(), copy.name_, GENERIC_WRITE,
                                           0, EntryType::File);
    if (!file || !tree.OpenArrived(arrived, file->Get())) return std::nullopt;
    return copy;
  }
  ArrivedCopy(ArrivedCopy&&) = default;
  // The folder this one had goes with the other.
  ArrivedCopy& operator=(ArrivedCopy&& other) noexcept {
    std::swap(folder_, other.folder_);
    std::swap(name_, other.name_);
    return *this;
  }
  ~ArrivedCopy() {
    if (folder_.handle) RemoveHeldOwnFolder(folder_.handle, folder_.path);
  }
  std::wstring Path() const { return JoinPath(folder_.path, name_); }

 private:
  ArrivedCopy(HeldEntry folder, std::wstring name)
      : folder_(std::move(folder)), name_(std::move(name)) {}
  HeldEntry folder_;
  std::wstring name_;
};

// Everything one call of DownloadFiles keeps.
class DownloadStep {
 public:
  explicit DownloadStep(InstallRun& run) : run_(run), s_(run.state), ftp_(run.state.objFtp) {}
  int16_t Run();

 private:
  enum class Outcome { Success, Failure, Journal, GiveUp };

  DownloadKind KindOf(const DownloadEntry& entry, const std::wstring& ext);
  Outcome Transfer(const DownloadEntry& entry, DownloadKind kind);
  Outcome TransferZip(const DownloadEntry& entry);
  Outcome TransferFont();
  Outcome AfterFailure(const DownloadEntry& entry, DownloadKind kind);
  std::wstring RecordedDestination(const DownloadEntry& entry, DownloadKind kind) const;
  void JournalEntry(const DownloadEntry& entry, DownloadKind kind, bool withError);
  void CheckDownloadedFiles();
  void MakeTargetFolder(const std::wstring& folder);
  void NoteWhatWasThere(const DownloadEntry& entry, DownloadKind kind);
  void NoteIfThere(const std::wstring& path);
  bool WrittenByThisRun(const std::wstring& path);
  bool WasThere(const std::wstring& path) const;
  bool IsEarlierProductFont(const std::wstring& name) const;
  void UndoWhatWasWritten();
  bool GetFile(const std::wstring& localDir, bool saveInfo, std::wstring& lastLocalFile);
  void Watch(const std::wstring& path);
  bool Vouched(const std::wstring& path, std::optional<ArrivedCopy>& copy);
  bool GetFolder(const DownloadEntry& entry);

  InstallRun& run_;
  InstallerState& s_;
  ClsWinFTP& ftp_;
  std::vector<std::wstring> doneSources_{L""};
  std::vector<std::wstring> doneDestinations_{L""};
  int32_t processed_ = 0;
  int32_t targetCount_ = 0;
  int16_t checkSkipped_ = 0;
  int16_t result_ = 0;
  std::wstring message_;
  std::wstring retryText_;
  int32_t errCode_ = 0;
  // The parts of the src of the last file entry.
  std::wstring serverFolder_, fileName_, ext_;
  // Folders outside the install folder that this run created.
  std::vector<std::wstring> createdFolders_;
  // Targets outside the install folder that were on the machine before the
  // run (PathKey): an abort leaves them, whatever this run wrote over them.
  std::set<std::wstring> wasThere_;
  // The client's downloaded files (PathKey), and how many of them are in.
  std::set<std::wstring> written_;
  int32_t writtenSeen_ = 0;
  // The font of the current entry was installed before the run.
  bool fontWasThere_ = false;
};

int16_t DownloadStep::Run() {
  checkSkipped_ = 0;
  run_.SetLabel(0, L"ファイルをダウンロードしています...");
  run_.SetLabel(1, L"");
  run_.DoEvents();

  SkipOnFailure([&] {
    ftp_.ServerIP(s_.DownloadServer.ip);
    ftp_.UserID(s_.DownloadServer.user);
    ftp_.Pass(s_.DownloadServer.pw);
    ftp_.PortNo(static_cast<int16_t>(s_.DownloadServer.port));
    ftp_.DispObject(run_.window.L_SETUP(1));
    ftp_.ASYNC(true);
  });

  run_.Gauge(0);
  processed_ = 0;
  targetCount_ = CountDownloadTargets(run_);
  SkipOnFailure([&] { ftp_.DownloadedFilesClear(); });
  // Whatever names the listing brings (a pattern's matches, another
  // spelling of the name) and wherever the folders lead (a junction inside
  // the target), the client says which local file it is about to replace.
  const WritesWatched watched(ftp_, [this](const std::wstring& path) { NoteIfThere(path); });

  run_.Log(L"[Download]");
  run_.Log(L";ダウンロード結果");
  run_.Log(L"Count=" + std::to_wstring(targetCount_));
  run_.Log(L"");

  const int32_t count = s_.DownloadCount;
  for (int32_t i = 1; i <= count && i < static_cast<int32_t>(s_.DownloadList.size()); ++i) {
    s_.InstallAborted = 0;
    ftp_.StopFlag(0);

    int32_t openCode = 0;
    bool opened = false;
    SkipOnFailure([&] { opened = ftp_.InetOpen(openCode); });
    if (!opened) {
      run_.Ask(L"FTP(WinInt.lib)の開始に失敗しました！\r\n(" + std::to_wstring(openCode) + L":" +
                   ftp_.GetErrMsg(openCode) + L")",
               L"FTP初期化エラー！", MB_OK | MB_ICONERROR);
      checkSkipped_ = -1;
      break;
    }

    DownloadEntry& entry = s_.DownloadList[static_cast<size_t>(i)];
    SkipOnFailure([&] {
      if (run_.calls.ExpandPathMacros) entry.dst = run_.calls.ExpandPathMacros(entry.dst);
    });
    const bool holds = run_.ConditionHolds(entry.chk);

    if (IsAlreadyDone(doneSources_, doneDestinations_, entry.src, entry.dst)) {
      if (holds) {
        const std::wstring ext = s_.objPublicFunc.GetFileExt(entry.src);
        const DownloadKind kind = KindOf(entry, ext);
        const std::wstring jjj = Numbered(processed_, 3);
        run_.Log(L"★src" + jjj + L"=" + entry.src);
        run_.Log(L"★dst" + jjj + L"=" + RecordedDestination(entry, kind));
        run_.Log(L"★skp" + jjj + L"=");
      }
    } else if (holds) {
      ++processed_;
      run_.GaugeAt(processed_, targetCount_);
      MakeTargetFolder(entry.dst);

      DownloadKind kind = DownloadKind::PlainFile;
      Outcome outcome = Outcome::Failure;
      NoteWhatWasThere(entry, KindOf(entry, s_.objPublicFunc.GetFileExt(entry.src)));
      for (;;) {
        message_.clear();
        retryText_.clear();
        errCode_ = 0;
        if (entry.IsFolder == 0) {
          serverFolder_ = s_.objPublicFunc.GetFilePath_FTP(entry.src);
          fileName_ = s_.objPublicFunc.GetFileID_FTP(entry.src);
          ext_ = s_.objPublicFunc.GetFileExt(entry.src);
        }
        kind = KindOf(entry, ext_);
        outcome = Transfer(entry, kind);
        if (outcome == Outcome::Success) {
          doneSources_.push_back(entry.src);
          doneDestinations_.push_back(entry.dst);
          break;
        }
        if (outcome == Outcome::Journal) break;
        if (errCode_ == kFtpStopped) {
          s_.InstallAborted = -1;
          checkSkipped_ = -1;
          break;
        }
        outcome = AfterFailure(entry, kind);
        if (outcome != Outcome::Failure) break;  // Failure: the user wants it again
      }
      if (outcome == Outcome::GiveUp) {
        s_.InstallAborted = -1;
        checkSkipped_ = -1;
        break;
      }
      // A stopped transfer carries its code, an unpacking or font failure its
      // text, a font that was there before the run says so; an installed
      // font is recorded without one.
      JournalEntry(entry, kind,
                   outcome == Outcome::Failure || (outcome == Outcome::Journal && !message_.empty()));
    }

    run_.DoEvents();
    if (s_.InstallAborted != 0) {
      const int answer = run_.Ask(
          L"「キャンセル」がクリックされました！\r\n\r\n"
          L"★処理を中止しますか？、中止する場合は「はい」をクリックして下さい。\r\n"
          L"★処理を中止すると現時点までダウンロードされたファイルは削除されます。",
          L"★処理を中止しますか？", MB_YESNO | MB_ICONINFORMATION | MB_DEFBUTTON2);
      if (answer == IDYES) break;
      --i;
      s_.InstallAborted = 0;
      ftp_.StopFlag(0);
    }
  }

  SkipOnFailure([&] { ftp_.DispObject(nullptr); });

  result_ = 0;
  if (checkSkipped_ == 0 && s_.InstallAborted == 0) CheckDownloadedFiles();

  const std::wstring listName = Trim(s_.InstallFilesList);
  if (!listName.empty()) {
    SkipOnFailure([&] { ftp_.DownloadedFilesListOut(run_.InstallFolder() + L"\\" + listName); });
  }
  if (s_.InstallAborted != 0) UndoWhatWasWritten();

  SkipOnFailure([&] { ftp_.DownloadedFilesClear(); });
  run_.EndProgressStep();
  return result_;
}

DownloadKind DownloadStep::KindOf(const DownloadEntry& entry, const std::wstring& ext) {
  if (entry.IsFolder != 0) return DownloadKind::Folder;
  if (TextEqualsIgnoreCase(ext, L"zip")) return DownloadKind::Zip;
  if (IsFontExtension(ext) && s_.OsVersion.dwMajorVersion >= 6) {
    std::wstring fonts;
    SkipOnFailure([&] { fonts = s_.objWinCommon.GetSpecialFolderPath(kFontsFolder); });
    // The Fonts folder itself or a place in it, by any name; "Fonts2" beside
    // it is no part of it.
    if (!fonts.empty() && (SamePlace(entry.dst, fonts) || PlaceIsBelow(entry.dst, fonts))) {
      return DownloadKind::Font;
    }
  }
  return DownloadKind::PlainFile;
}

bool DownloadStep::GetFile(const std::wstring& localDir, bool saveInfo,
                           std::wstring& lastLocalFile) {
  bool ok = false;
  int32_t deleted = 0;
  if (!SkipOnFailure([&] {
        ok = ftp_.Ftp_GetFolder(serverFolder_, fileName_, 2, localDir, errCode_, L"", L"", L"",
                                true, true, false, true, false, deleted, lastLocalFile, saveInfo);
      })) {
    errCode_ = ERROR_NOT_ENOUGH_MEMORY;
  }
  return ok;
}

bool DownloadStep::GetFolder(const DownloadEntry& entry) {
  bool ok = false;
  int32_t deleted = 0;
  std::wstring last;
  if (!SkipOnFailure([&] {
        ok = ftp_.Ftp_GetFolder(entry.src, L"", 0, entry.dst, errCode_, L"", L"", L"", true, true,
                                false, true, false, deleted, last, true);
      })) {
    errCode_ = ERROR_NOT_ENOUGH_MEMORY;
  }
  return ok;
}

DownloadStep::Outcome DownloadStep::Transfer(const DownloadEntry& entry, DownloadKind kind) {
  if (kind == DownloadKind::Folder) {
    run_.SetLabel(0, L"[" + entry.src + L"]をダウンロードしています...");
    run_.DoEvents();
    return GetFolder(entry) ? Outcome::Success : Outcome::Failure;
  }
  run_.SetLabel(0, L"ファイルをダウンロードしています...");
  run_.DoEvents();
  switch (kind) {
    case DownloadKind::Zip:
      return TransferZip(entry);
    case DownloadKind::Font:
      return TransferFont();
    default: {
      std::wstring last;
      return GetFile(entry.dst, true, last) ? Outcome::Success : Outcome::Failure;
    }
  }
}

// What arrives at path in the install folder is to be vouched for at its
// use.
void DownloadStep::Watch(const std::wstring& path) {
  if (s_.installTree) s_.installTree->Watch(path);
}

// A download in the install folder is used only as it arrived, through a
// copy of the run's own (none is needed elsewhere): false when it is not
// what arrived.
bool DownloadStep::Vouched(const std::wstring& path, std::optional<ArrivedCopy>& copy) {
  return ValueOrOnFailure(false, [&] {
    if (!s_.installTree || !s_.installTree->Covers(path)) return true;
    copy = ArrivedCopy::Make(*s_.seams.windows.folderAccess, *s_.installTree, path);
    return copy.has_value();
  });
}

DownloadStep::Outcome DownloadStep::TransferZip(const DownloadEntry& entry) {
  std::wstring tmp;
  SkipOnFailure([&] { tmp = run_.calls.ExpandPathMacros(L"{tmp}"); });
  Watch(tmp + L"\\" + fileName_);
  std::wstring archive;
  if (!GetFile(tmp, false, archive)) return Outcome::Failure;

  if (IsBlank(archive) || !FileExists(Trim(archive))) {
    retryText_ = L"ダウンロードされた圧縮ファイルが存在しませんでした！\r\n（" +
                 (IsBlank(archive) ? fileName_ : Trim(archive)) + L" が存在しません）";
    return Outcome::Failure;
  }

  bool unpacked = false;
  std::wstring ignored;
  std::optional<ArrivedCopy> copy;
  if (Vouched(Trim(archive), copy)) {
    SkipOnFailure([&] {
      unpacked = run_.calls.ExtractZipFolder(copy ? copy->Path() : archive, entry.dst, ignored,
                                             run_.window.L_SETUP(1));
    });
  }
  copy.reset();
  run_.SetLabel(1, L"テンポラリファイルを削除しています...");
  run_.DoEvents();
  SkipOnFailure([&] { run_.calls.vbDeleteFile(archive, ignored); });

  // The archive's first path element below {tmp}: a folder it may have
  // brought along, emptied and removed again. Nothing when the archive lies
  // elsewhere, by any of the names of both.
  std::wstring below = PartBelow(FullPath(archive), FullPath(tmp));
  if (below.empty()) below = PartBelow(LongPath(archive), LongPath(tmp));
  const std::wstring element = below.substr(0, below.find(L'\\'));
  if (!IsBlank(element)) {
    const std::wstring folder = tmp + L"\\" + element;
    ClearFolder(run_, folder);
    SkipOnFailure([&] { run_.calls.vbDeleteFolder(folder); });
  }
  run_.SetLabel(1, L"");
  run_.DoEvents();

  if (unpacked) return Outcome::Success;
  message_ = L"ファイル解凍＆コピーに失敗しました！";
  const int answer = run_.Ask(
      L"圧縮ファイルの解凍＆ファイルコピーに失敗しました！\r\n（" + element +
          L"）\r\n\r\n★処理を中止しますか？、中止する場合は「はい」を、\r\n"
          L"  無視して続行する場合「いいえ」をクリックして下さい。",
      L"処理を中止しますか？", MB_YESNO | MB_ICONERROR);
  if (answer == IDYES) s_.InstallAborted = -1;
  checkSkipped_ = -1;
  errCode_ = 0;
  return Outcome::Journal;
}

DownloadStep::Outcome DownloadStep::TransferFont() {
  const std::wstring copy = s_.TmpDir + L"\\" + fileName_;
  Watch(copy);
  std::wstring last;
  if (!GetFile(s_.TmpDir, false, last)) return Outcome::Failure;

  run_.SetLabel(1, L"フォント[" + fileName_ + L"]をインストールしています...");
  run_.DoEvents();
  bool installed = false;
  // The font is installed for the whole machine: from what arrived only.
  std::optional<ArrivedCopy> arrived;
  if (Vouched(copy, arrived)) {
    const std::wstring handed = arrived ? arrived->Path() : copy;
    SkipOnFailure([&] {
      std::wstring text;
      const bool scriptReady = run_.calls.CheckAddFontScript(text);
      const bool newWindows =
          s_.OsVersion.dwMajorVersion >= 10 && s_.OsVersion.dwBuildNumber > 17000;
      installed = scriptReady && newWindows ? run_.calls.vbAddFontByPowerShell(handed, text)
                                            : run_.calls.vbInstallFont(handed, text);
    });
  }
  arrived.reset();
  if (installed) {
    SkipOnFailure([&] {
      const std::wstring font = s_.FontsDir + L"\\" + fileName_;
      const auto found = QueryFile(font);
      ftp_.DownloadedFilesAdd(font, found ? static_cast<int32_t>(found->size) : 0);
    });
  } else {
    errCode_ = 0;
    message_ = L"FONTファイル[" + copy + L"]をインストールできませんでした！";
  }
  // Installed or not, a font the machine had before stays the user's.
  if (fontWasThere_) message_ = FontWasThereNote(message_);
  std::wstring ignored;
  SkipOnFailure([&] { run_.calls.vbDeleteFile(copy, ignored); });
  // A font never enters the done lists and never leads to the retry question.
  return Outcome::Journal;
}

DownloadStep::Outcome DownloadStep::AfterFailure(const DownloadEntry& entry, DownloadKind kind) {
  const std::wstring serverName =
      kind == DownloadKind::Folder ? entry.src : serverFolder_ + L"/" + fileName_;
  if (!retryText_.empty()) {
    retryText_ += std::wstring(kCrLf) + kCrLf + kRetryTail;
  } else if (errCode_ == kFtpFileNotFound) {
    retryText_ = L"ダウンロードエラーが発生しました！\r\n" + serverName +
                 L"\r\nはサーバーに存在しません。\r\n" + kRetryTail;
  } else if (errCode_ == kFtpIncompleteTransfer) {
    // The client's check of the received size failed: say so, and which file.
    retryText_ = L"ダウンロードエラーが発生しました！\r\n" + serverName +
                 L"\r\nのサイズがサーバーと一致しません（受信が途中で切れました）。\r\n(" +
                 std::to_wstring(errCode_) + L":" + ftp_.GetErrMsg(errCode_) + L")\r\n\r\n" +
                 kRetryTail;
  } else if (errCode_ == kFtpUnsafeFolder) {
    // Written nowhere: say which file, and why its folder was not used.
    retryText_ = L"ダウンロードエラーが発生しました！\r\n" + serverName +
                 L"\r\nの保存先フォルダ（" + entry.dst + L"）の中に、リンクに置き換えられたか" +
                 L"インストールで作成したものではないフォルダがあります。\r\n(" +
                 std::to_wstring(errCode_) + L":" + ftp_.GetErrMsg(errCode_) + L")\r\n\r\n" +
                 kRetryTail;
  } else {
    retryText_ = L"ダウンロードエラーが発生しました！\r\n(" + std::to_wstring(errCode_) + L":" +
                 ftp_.GetErrMsg(errCode_) + L")\r\n\r\n" + kRetryTail;
  }
  const int answer = run_.Ask(retryText_, L"リトライしますか？", MB_YESNO | MB_ICONERROR);
  return answer == IDYES ? Outcome::Failure : Outcome::GiveUp;
}

std::wstring DownloadStep::RecordedDestination(const DownloadEntry& entry, DownloadKind kind) const {
  if (kind == DownloadKind::Folder) return entry.dst;
  const std::wstring name = s_.objPublicFunc.GetFileID_FTP(entry.src);
  if (!entry.dst.empty() && entry.dst.back() == L'\\') return entry.dst + name;
  return entry.dst + L"\\" + name;
}

void DownloadStep::JournalEntry(const DownloadEntry& entry, DownloadKind kind, bool withError) {
  const std::wstring jjj = Numbered(processed_, 3);
  std::wstring err;
  if (withError) {
    err = !message_.empty() ? message_
                            : L"Download error! " + std::to_wstring(errCode_) + L":" +
                                  ftp_.GetErrMsg(errCode_);
  }
  // A pair is recorded whole or not at all: a look-alike destination would
  // have the uninstaller remove another font or file. The err line stays
  // either way; the readers join it to its entry by the number.
  // The server path is only read by people: what the code page lacks in it
  // reads "?".
  const std::optional<std::wstring> dst = RecordablePath(RecordedDestination(entry, kind));
  if (dst) {
    run_.Log(L"src" + jjj + L"=" + FromAnsi(ToAnsiNoBestFit(entry.src)));
    run_.Log(L"dst" + jjj + L"=" + *dst);
  } else {
    run_.Log(LeftOutNote(L"src" + jjj));
  }
  run_.Log(L"err" + jjj + L"=" + err);
}

void DownloadStep::CheckDownloadedFiles() {
  run_.SetLabel(0, L"ダウンロードしたファイルをチェックしています...");
  run_.SetLabel(1, L"");
  run_.DoEvents();
  int32_t files = 0, errors = 0;
  std::wstring errorText, warningText;
  bool passed = false;
  SkipOnFailure([&] { passed = ftp_.DownloadedFilesVerify(files, errors, errorText, warningText); });
  if (passed) {
    if (!IsBlank(warningText)) {
      run_.Ask(warningText +
                   L"\r\n\r\n（フォントを使用する場合は手動でインストールして下さい）\r\n\r\n"
                   L"★メッセージを確認後「ＯＫ」ボタンを押して下さい。",
               L"【警告】FONTを正常にインストールできませんでした！",
               MB_OK | MB_ICONINFORMATION | MB_SYSTEMMODAL);
      run_.Log(L";【警告】ダウンロードしたファイルチェックで以下の問題がありました。");
      size_t from = 0;
      for (;;) {
        const size_t to = warningText.find(kCrLf, from);
        const std::wstring piece = warningText.substr(from, to == std::wstring::npos ? to : to - from);
        if (!IsBlank(piece)) run_.Log(L";" + piece);
        if (to == std::wstring::npos) break;
        from = to + 2;
      }
    }
    result_ = -1;
  } else {
    s_.InstallAborted = -1;
    result_ = 0;
    run_.Ask(L"ダウンロード後のファイルチェックで異常を検出しました！\r\n\r\n"
             L"ファイルが削除されたか書き換わった可能性があります。\r\n"
             L"（セキュリティソフト等により削除された可能性があります）\r\n\r\n"
             L"***** エラー詳細は以下の通りです *****\r\n" +
                 errorText +
                 L"\r\n\r\n★インストールを中止します、「ＯＫ」ボタンを押して下さい。",
             L"ダウンロードファイルチェックエラー！", MB_OK | MB_ICONERROR | MB_SYSTEMMODAL);
  }
}

void DownloadStep::MakeTargetFolder(const std::wstring& dst) {
  SkipOnFailure([&] {
    // The highest level of dst that is missing now holds only what this run
    // puts there: it goes again when the run is rolled back, unless the
    // install folder's removal takes it anyway.
    std::wstring topMissing;
    for (std::wstring level = Trim(dst); !level.empty() && !FolderExists(level);
         level = BeforeLast(level, L'\\')) {
      topMissing = level;
    }
    const std::wstring parent = s_.objPublicFunc.GetFilePath(dst);
    const std::wstring full = FullPath(Trim(parent));
    if (s_.installTree && !full.empty() && s_.installTree->Holds(full)) {
      // Below the install folder each level is made through the one above,
      // never through a link that took a level's place.
      MakeFolderInTree(*s_.installTree, full);
    } else {
      s_.objPublicFunc.MakeDir(parent, nullptr, true);
    }
    const std::wstring app = Trim(run_.InstallFolder());
    if (!topMissing.empty() && (app.empty() || !IsInsideFolder(app, topMissing, true))) {
      createdFolders_.push_back(topMissing);
    }
  });
}

// Before an entry's transfer: whether its font is in the Fonts folder or the
// registry names it. Files and folders are noted file by file, as the client
// is about to write them.
void DownloadStep::NoteWhatWasThere(const DownloadEntry& entry, DownloadKind kind) {
  fontWasThere_ = false;
  SkipOnFailure([&] {
    auto note = [&](const std::wstring& path) {
      if (WrittenByThisRun(path)) return false;
      wasThere_.insert(PathKey(path));
      return true;
    };

    switch (kind) {
      case DownloadKind::Font: {
        const std::wstring name = s_.objPublicFunc.GetFileID_FTP(entry.src);
        if (IsBlank(name) || IsBlank(s_.FontsDir)) return;
        const std::wstring font = s_.FontsDir + L"\\" + name;
        if (FileExists(font) || s_.objWinCommon.REG_IsFontInstalled(name)) {
          // One that the replaced installation recorded is the product's own:
          // an abort leaves it, the new record claims it.
          fontWasThere_ = note(font) && !IsEarlierProductFont(name);
        }
        return;
      }
      default:
        return;  // an archive's contents are never taken back, files see NoteIfThere
    }
  });
}

bool DownloadStep::IsEarlierProductFont(const std::wstring& name) const {
  for (const std::wstring& earlier : s_.EarlierProductFonts) {
    if (SamePath(earlier, name)) return true;
  }
  return false;
}

// A target outside the install folder that is on the machine now and was not
// written by this run is the user's: an abort leaves it.
void DownloadStep::NoteIfThere(const std::wstring& path) {
  SkipOnFailure([&] {
    const std::wstring app = Trim(run_.InstallFolder());
    if (!app.empty() && IsInsideFolder(app, path, true)) return;
    if (FileExists(path) && !WrittenByThisRun(path)) wasThere_.insert(PathKey(path));
  });
}

bool DownloadStep::WrittenByThisRun(const std::wstring& path) {
  for (const int32_t listed = ftp_.DownloadedFilesCount(); writtenSeen_ < listed;) {
    written_.insert(PathKey(ftp_.DownloadedFilesGetFilePath(++writtenSeen_)));
  }
  return written_.count(PathKey(path)) != 0;
}

bool DownloadStep::WasThere(const std::wstring& path) const {
  return wasThere_.count(PathKey(path)) != 0;
}

// An aborted run leaves nothing of its downloads outside the install folder
// (whose removal belongs to the roll-back): the listed files, installed fonts
// and the folders this run created go again. What was there before the run
// stays, a font included.
void DownloadStep::UndoWhatWasWritten() {
  const std::wstring app = Trim(run_.InstallFolder());
  int32_t listed = 0;
  SkipOnFailure([&] { listed = ftp_.DownloadedFilesCount(); });
  for (int32_t k = 1; k <= listed; ++k) {
    SkipOnFailure([&] {
      const std::wstring path = ftp_.DownloadedFilesGetFilePath(k);
      if (IsBlank(path) || (!app.empty() && IsInsideFolder(app, path))) return;
      if (WasThere(path)) return;
      const std::wstring fonts = Trim(s_.FontsDir);
      if (!fonts.empty() && SamePath(BeforeLast(path, L'\\'), fonts)) {
        if (run_.calls.vbRemoveFont) run_.calls.vbRemoveFont(AfterLast(path, L'\\'));
        return;
      }
      std::wstring ignored;
      run_.calls.vbDeleteFile(path, ignored);
    });
  }
  for (auto it = createdFolders_.rbegin(); it != createdFolders_.rend(); ++it) {
    SkipOnFailure([&] { DeleteTree(*it); });
  }
}

}  // namespace

int16_t DownloadFiles(InstallRun& run) {
  int16_t result = 0;
  SkipOnFailure([&] { result = DownloadStep(run).Run(); });
  return result;
}

int32_t CountDownloadTargets(InstallRun& run) {
  InstallerState& s = run.state;
  int32_t counted = 0;
  for (int32_t i = 1; i <= s.DownloadCount && i < static_cast<int32_t>(s.DownloadList.size());
       ++i) {
    SkipOnFailure([&] {
      const std::wstring chk = Trim(s.DownloadList[static_cast<size_t>(i)].chk);
      if (chk.empty() || TextEqualsIgnoreCase(chk, L"32bit")) {
        ++counted;
        return;
      }
      if (TextEqualsIgnoreCase(chk, L"64bit")) {
        if (run.calls.IsWow64 && run.calls.IsWow64()) ++counted;
        return;
      }
      const size_t comma = chk.find(L',');
      if (comma == std::wstring::npos || comma == 0) return;
      const int32_t g = NumberOr0(chk.substr(0, comma));
      const int32_t o = NumberOr0(chk.substr(comma + 1));
      if (g < 1 || g > s.SelectGroupCount || g >= static_cast<int32_t>(s.SelectGroups.size())) {
        return;
      }
      const SelectGroupEntry& group = s.SelectGroups[static_cast<size_t>(g)];
      if (o >= 1 && o <= OptionUpperBound(group) && group.options[static_cast<size_t>(o)].chosen != 0) {
        ++counted;
      }
    });
  }
  return counted;
}

int16_t IsAlreadyDone(const std::vector<std::wstring>& doneSources,
                      const std::vector<std::wstring>& doneDestinations,
                      const std::wstring& src, const std::wstring& dst) {
  if (doneSources.empty()) return 0;
  // Letter case aside, names that differ (in kana type or width too) are
  // other files on the server and on the disk.
  for (const std::wstring& source : doneSources) {
    if (!SamePath(src, source)) continue;
    if (IsBlank(dst)) return -1;
    for (const std::wstring& destination : doneDestinations) {
      if (SamePath(dst, destination)) return -1;
    }
  }
  return 0;
}

int16_t ClearFolder(InstallRun& run, const std::wstring& folder) {
  if (IsBlank(folder)) return 0;
  int32_t kind = kPathMissing;
  SkipOnFailure([&] { kind = run.calls.GetPathKind(folder); });
  if (kind != kPathIsFolder) return 0;
  const std::wstring base = folder.back() == L'\\' ? folder : folder + L'\\';
  bool all = true;
  std::vector<WIN32_FIND_DATAW> entries;
  ListFolderEntries(base, entries);
  std::vector<std::wstring> files, folders;
  for (const WIN32_FIND_DATAW& found : entries) {
    ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? folders : files).push_back(base + found.cFileName);
  }
  for (const std::wstring& file : files) {
    std::wstring ignored;
    bool ok = false;
    SkipOnFailure([&] { ok = run.calls.vbDeleteFile(file, ignored); });
    all = all && ok;
  }
  for (const std::wstring& sub : folders) {
    bool ok = false;
    SkipOnFailure([&] { ok = run.calls.vbDeleteFolder(sub); });
    all = all && ok;
  }
  return all ? -1 : 0;
}

int32_t AddFolderToCheckList(InstallRun& run, const std::wstring& folder) {
  if (IsBlank(folder)) return 0;
  std::vector<FileListEntry> list{FileListEntry{}};
  GetFolderFileList(folder, list, -1);
  for (size_t k = 1; k < list.size(); ++k) {
    if (list[k].flag == 0) {
      SkipOnFailure([&] { run.state.objFtp.DownloadedFilesAdd(list[k].path, list[k].size); });
    }
  }
  return static_cast<int32_t>(list.size()) - 1;
}

int32_t GetFolderFileList(const std::wstring& folder, std::vector<FileListEntry>& list,
                          int16_t recurse) {
  if (list.empty()) list.emplace_back();
  const std::wstring base = !folder.empty() && folder.back() == L'\\' ? folder : folder + L'\\';
  SkipOnFailure([&] {
    if (recurse != 0) {
      std::vector<WIN32_FIND_DATAW> entries;
      ListFolderEntries(base, entries);
      for (const WIN32_FIND_DATAW& found : entries) {
        // A linked folder may lead back up the tree: it is not entered.
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
          GetFolderFileList(base + found.cFileName, list, recurse);
        }
      }
    }
    for (const FoundFile& file : ListFiles(base + L"*", true)) {
      FileListEntry entry;
      entry.name = file.name;
      entry.folder = base;
      entry.path = base + file.name;
      entry.size = static_cast<int32_t>(file.size & 0xFFFFFFFFu);
      entry.date = OleDate::FromFileTimeUtc(file.lastWrite).value_or(OleDate());
      list.push_back(std::move(entry));
    }
  });
  return static_cast<int32_t>(list.size()) - 1;
}

}  // namespace norvale
