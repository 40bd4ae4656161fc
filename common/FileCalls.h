#pragma once
// The calls the file acts (FileActs.h) make of the system, in one table.
// Another system's differences are a layer over this table, not branches
// inside the acts: under Wine, the rules Windows keeps and Wine does not
// (WindowsRules.h) wrap the system's own calls, chosen once when the
// program starts; a test may put a table of its own in their place to
// answer as a system the test cannot run would.
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "NtFileCalls.h"
#include "RunningImages.h"

namespace norvale {

// What a removal that deletes many files keeps from one delete to the next.
struct Disposals {
  // The system has the POSIX disposition (Windows 10 1709 and later); once
  // it answered that it has not, it is not asked again.
  bool posixWorks = true;
  // Which files running programs have mapped, for a table that keeps
  // Windows' rules in the system's place: give it the removal's folder so
  // that the programs are asked once for all of it.
  RunningImages images;
};

// What the caller of a delete knows of the file, which spares asking again.
struct KnownOfIt {
  std::optional<ULONGLONG> index;  // its number on the volume
  std::wstring lies;               // where it lies (FinalPathOfHandle's form)
};

class IFileCalls {
 public:
  virtual ~IFileCalls() = default;
  // The native calls are there (every Windows since NT has them).
  virtual bool Available() const = 0;
  // NtCreateFile of `name` relative to the open folder `root` (an empty
  // name: root's own file); *opened is the handle when the status succeeds.
  virtual nt::Status CreateIn(HANDLE root, std::wstring_view name, ACCESS_MASK access,
                              ULONG attributes, ULONG share, ULONG disposition, ULONG options,
                              PVOID descriptor, HANDLE* opened) const = 0;
  // NtQueryInformationFile.
  virtual nt::Status Query(HANDLE file, PVOID information, ULONG length,
                           ULONG informationClass) const = 0;
  // NtSetInformationFile: the renames into an open folder.
  virtual nt::Status Set(HANDLE file, PVOID information, ULONG length,
                         ULONG informationClass) const = 0;
  // SetFileInformationByHandle: a rename to an absolute name
  // (FileRenameInfo); false with the last error set.
  virtual bool SetByHandle(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, PVOID information,
                           DWORD size) const = 0;
  // SetFileInformationByHandle with a disposition (FileDispositionInfo or
  // its newer form): the delete of an open file. `across` is what the
  // removal's earlier deletes learnt, `known` what its caller knows of the
  // file. False with the last error set.
  virtual bool Dispose(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, PVOID information,
                       DWORD size, Disposals& across, const KnownOfIt& known) const = 0;
  // The Win32 error a failed status stands for.
  virtual DWORD ErrorOf(nt::Status status) const = 0;
};

// The system's own calls, looked up in ntdll once.
const IFileCalls& SystemFileCalls();

// The table the file acts use: the one chosen when the program started
// (the system's calls; under Wine, with Windows' rules over them), or a
// test's while a ScopedFileCalls stands.
const IFileCalls& FileCalls();

// Puts `calls` in the place of the table for as long as it lives: a test's
// other system. Only one at a time, set and ended on one thread while no
// other thread acts on files.
class ScopedFileCalls {
 public:
  explicit ScopedFileCalls(const IFileCalls& calls);
  ~ScopedFileCalls();
  ScopedFileCalls(const ScopedFileCalls&) = delete;
  ScopedFileCalls& operator=(const ScopedFileCalls&) = delete;

 private:
  const IFileCalls* before_;
};

}  // namespace norvale
