#include "FileCalls.h"

#include <atomic>
#include <memory>

#include "WindowsRules.h"

namespace norvale {
namespace {

template <typename Fn>
Fn Find(HMODULE ntdll, const char* name) {
  return ntdll ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(ntdll, name)))
               : nullptr;
}

// A test's table while a ScopedFileCalls stands.
std::atomic<const IFileCalls*> standIn{nullptr};

const IFileCalls& ChosenAtStart() {
  static const SystemFileCalls system;
  static const std::unique_ptr<const IFileCalls> rules =
      RunsUnderWine() ? std::make_unique<WindowsRules>(system, ReleaseToModel()) : nullptr;
  return rules ? *rules : static_cast<const IFileCalls&>(system);
}

}  // namespace

SystemFileCalls::SystemFileCalls() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  createFile_ = Find<nt::CreateFileFn>(ntdll, "NtCreateFile");
  query_ = Find<nt::InformationFileFn>(ntdll, "NtQueryInformationFile");
  set_ = Find<nt::InformationFileFn>(ntdll, "NtSetInformationFile");
  errorOf_ = Find<nt::StatusToErrorFn>(ntdll, "RtlNtStatusToDosError");
}

bool SystemFileCalls::Available() const {
  return createFile_ != nullptr && query_ != nullptr && set_ != nullptr;
}

nt::Status SystemFileCalls::CreateIn(HANDLE root, std::wstring_view name, ACCESS_MASK access,
                                     ULONG attributes, ULONG share, ULONG disposition,
                                     ULONG options, PVOID descriptor, HANDLE* opened) const {
  *opened = nullptr;
  if (!Available() || name.size() > 32767) return nt::kStatusAccessDenied;
  nt::UnicodeString text{static_cast<USHORT>(name.size() * sizeof(wchar_t)),
                         static_cast<USHORT>(name.size() * sizeof(wchar_t)),
                         const_cast<PWSTR>(name.data())};
  nt::ObjectAttributes object{sizeof(nt::ObjectAttributes), root, &text, nt::kObjCaseInsensitive,
                              descriptor, nullptr};
  nt::IoStatusBlock io{};
  const nt::Status status = createFile_(opened, access, &object, &io, nullptr, attributes, share,
                                        disposition, options, nullptr, 0);
  if (status < 0) *opened = nullptr;
  return status;
}

nt::Status SystemFileCalls::Query(HANDLE file, PVOID information, ULONG length,
                                  ULONG informationClass) const {
  if (!query_) return nt::kStatusNotImplemented;
  nt::IoStatusBlock io{};
  return query_(file, &io, information, length, informationClass);
}

nt::Status SystemFileCalls::Set(HANDLE file, PVOID information, ULONG length,
                                ULONG informationClass) const {
  if (!set_) return nt::kStatusNotImplemented;
  nt::IoStatusBlock io{};
  return set_(file, &io, information, length, informationClass);
}

bool SystemFileCalls::SetByHandle(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind,
                                  PVOID information, DWORD size) const {
  return SetFileInformationByHandle(file, kind, information, size) != FALSE;
}

bool SystemFileCalls::Dispose(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, PVOID information,
                              DWORD size, Disposals&, const KnownOfIt&) const {
  return SetFileInformationByHandle(file, kind, information, size) != FALSE;
}

DWORD SystemFileCalls::ErrorOf(nt::Status status) const {
  return errorOf_ ? errorOf_(status) : ERROR_ACCESS_DENIED;
}

const IFileCalls& FileCalls() {
  const IFileCalls* test = standIn.load();
  return test ? *test : ChosenAtStart();
}

ScopedFileCalls::ScopedFileCalls(const IFileCalls& calls) : before_(standIn.exchange(&calls)) {}

ScopedFileCalls::~ScopedFileCalls() { standIn.store(before_); }

}  // namespace norvale
