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

class NtdllCalls final : public IFileCalls {
 public:
  NtdllCalls();
  bool Available() const override;
  nt::Status CreateIn(HANDLE root, std::wstring_view name, ACCESS_MASK access, ULONG attributes,
                      ULONG share, ULONG disposition, ULONG options, PVOID descriptor,
                      HANDLE* opened) const override;
  nt::Status Query(HANDLE file, PVOID information, ULONG length,
                   ULONG informationClass) const override;
  nt::Status Set(HANDLE file, PVOID information, ULONG length,
                 ULONG informationClass) const override;
  bool SetByHandle(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, PVOID information,
                   DWORD size) const override {
    return SetFileInformationByHandle(file, kind, information, size) != FALSE;
  }
  bool Dispose(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, PVOID information, DWORD size,
               Disposals&, const KnownOfIt&) const override {
    return SetFileInformationByHandle(file, kind, information, size) != FALSE;
  }
  DWORD ErrorOf(nt::Status status) const override {
    return errorOf_ ? errorOf_(status) : ERROR_ACCESS_DENIED;
  }

 private:
  nt::CreateFileFn createFile_ = nullptr;
  nt::InformationFileFn query_ = nullptr;
  nt::InformationFileFn set_ = nullptr;
  nt::StatusToErrorFn errorOf_ = nullptr;
};

// A test's table while a ScopedFileCalls stands.
std::atomic<const IFileCalls*> standIn{nullptr};

const IFileCalls& ChosenAtStart() {
  static const std::unique_ptr<const IFileCalls> rules =
      RunsUnderWine() ? std::make_unique<WindowsRules>(SystemFileCalls(), ReleaseToModel())
                      : nullptr;
  return rules ? *rules : SystemFileCalls();
}

NtdllCalls::NtdllCalls() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  createFile_ = Find<nt::CreateFileFn>(ntdll, "NtCreateFile");
  query_ = Find<nt::InformationFileFn>(ntdll, "NtQueryInformationFile");
  set_ = Find<nt::InformationFileFn>(ntdll, "NtSetInformationFile");
  errorOf_ = Find<nt::StatusToErrorFn>(ntdll, "RtlNtStatusToDosError");
}

bool NtdllCalls::Available() const {
  return createFile_ != nullptr && query_ != nullptr && set_ != nullptr;
}

nt::Status NtdllCalls::CreateIn(HANDLE root, std::wstring_view name, ACCESS_MASK access,
                                ULONG attributes, ULONG share, ULONG disposition, ULONG options,
                                PVOID descriptor, HANDLE* opened) const {
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

nt::Status NtdllCalls::Query(HANDLE file, PVOID information, ULONG length,
                             ULONG informationClass) const {
  if (!query_) return nt::kStatusNotImplemented;
  nt::IoStatusBlock io{};
  return query_(file, &io, information, length, informationClass);
}

nt::Status NtdllCalls::Set(HANDLE file, PVOID information, ULONG length,
                           ULONG informationClass) const {
  if (!set_) return nt::kStatusNotImplemented;
  nt::IoStatusBlock io{};
  return set_(file, &io, information, length, informationClass);
}

}  // namespace

const IFileCalls& SystemFileCalls() {
  static const NtdllCalls calls;
  return calls;
}

const IFileCalls& FileCalls() {
  const IFileCalls* test = standIn.load();
  return test ? *test : ChosenAtStart();
}

ScopedFileCalls::ScopedFileCalls(const IFileCalls& calls) : before_(standIn.exchange(&calls)) {}

ScopedFileCalls::~ScopedFileCalls() { standIn.store(before_); }

}  // namespace norvale
