#pragma once
// Why one step on the file system failed, carried whole from the system call
// to the message box and the record: the system's error, what it means for
// another try, what the step acted on, and where the system's error does not
// say it, why the step was refused, in this program's own words. The boxes
// and the record are Japanese; the words for every reason stand in one place
// (StepError.cpp).
#include <windows.h>

#include <optional>
#include <string>
#include <utility>

namespace norvale {

// A part of the way is a link, or opens elsewhere than where its folder
// lists it (Wine follows a link made on the host even when asked not to).
constexpr DWORD kErrorLinkOnTheWay = 4395;  // ERROR_REPARSE_POINT_ENCOUNTERED

// Why a step was refused where the system's error does not say it.
enum class Reason {
  None,  // the system's error says it
  // What the file acts found.
  FolderIsLink,
  LinkOnTheWay,
  LinkToFileElsewhere,
  FolderOpensElsewhere,
  FolderChanged,
  ReadOnlyWithOtherNames,
  NoSuchFolder,
  FolderCannotBeOpened,
  FolderCannotBeJudged,
  FileCannotBeJudged,
  NotRemovedCompletely,
  InUseByRunningProgram,
  WalkEndedByCaller,
  VolumeKeepsNoLists,
  OthersMayDeleteInRoot,
  NotWritableInCommandFile,
  // What the install's tree found.
  NotAFolderName,
  OutsideInstallFolder,
  NotMadeByThisRun,
  NotWhereInstalled,
  InstallFolderNotMade,
  NotMadeAfterRun,
  NotAsArrived,
  NoAccessListForFile,
  // The delete guard's verdicts on a path.
  BlankPath,
  PathHoldsNul,
  PathTooLong,
  DeviceOrRawPath,
  WildcardInPath,
  RelativePath,
  StreamNameInPath,
  PathCannotBeResolved,
  PathCannotBeJudged,
  DriveRoot,
  InsideWindowsFolder,
  ProtectedFolder,       // detail: the folder
  UserProfile,           // detail: the profile
  OtherAccountsProfile,  // detail: the profile
  ShareRoot,
  AdministrativeShare,
  ShareOnThisMachine,
  NothingNamed,
  // Words of the caller's own, already in the boxes' language (detail).
  Described,
};

// The reason in the boxes' language; detail completes it where the reason
// names a place.
std::wstring ReasonText(Reason reason, const std::wstring& detail = L"");

struct StepError {
  enum class Kind {
    // Not done on principle (a link, not where it is listed, not the run's
    // own, a name that is no name): another try meets the same.
    Refused,
    // Held or changing right now (shared, locked, being deleted, not yet
    // empty): another try may succeed.
    Transient,
    // The system said no for another reason.
    Failed,
  };
  DWORD code = ERROR_GEN_FAILURE;
  Kind kind = Kind::Failed;
  std::wstring path;
  Reason reason = Reason::None;
  std::wstring detail;

  // The kind the system's error stands for.
  static StepError Of(DWORD code, std::wstring path);
  // Refused on principle, and why where the code does not say it.
  static StepError Refusal(DWORD code, std::wstring path, Reason reason = Reason::None,
                           std::wstring detail = L"");
  // Not done now, for a reason another try may find gone.
  static StepError ForNow(DWORD code, std::wstring path, Reason reason);
  // The thread's last error, as a Win32 call left it.
  static StepError Last(std::wstring path);
  // Memory ran out on the way (the one exception the acts turn into an
  // answer).
  static StepError OutOfMemory(std::wstring path) {
    return Of(ERROR_NOT_ENOUGH_MEMORY, std::move(path));
  }

  // The same error about another path (a step's callee knew only a name).
  StepError At(std::wstring other) const {
    StepError moved = *this;
    moved.path = std::move(other);
    return moved;
  }
  // The name is not there (nor the folder it would be in).
  bool Missing() const { return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND; }
  // Why, in the boxes' language: the reason's words, else the system's text
  // for the code.
  std::wstring Why() const;
  // "[path] (5: why)": what a message box or the record shows.
  std::wstring Text() const;
};

// The value a step produced, or why it failed.
template <typename T>
class StepResult {
 public:
  StepResult(T value) : value_(std::move(value)) {}  // NOLINT: a value is a success
  StepResult(StepError error) : error_(std::move(error)) {}  // NOLINT
  explicit operator bool() const { return value_.has_value(); }
  T& operator*() { return *value_; }
  const T& operator*() const { return *value_; }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }
  const StepError& Error() const { return error_; }
  // The value, or `other` when the step failed.
  T ValueOr(T other) && { return value_ ? std::move(*value_) : std::move(other); }

 private:
  std::optional<T> value_;
  StepError error_;
};

template <>
class StepResult<void> {
 public:
  StepResult() = default;
  StepResult(StepError error) : error_(std::move(error)), failed_(true) {}  // NOLINT
  explicit operator bool() const { return !failed_; }
  const StepError& Error() const { return error_; }

 private:
  StepError error_;
  bool failed_ = false;
};
using StepDone = StepResult<void>;


}  // namespace norvale
