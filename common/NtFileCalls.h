#pragma once
// The few native file calls the tree removal needs that the Win32 layer
// lacks: opening a name relative to an open folder, asking an open file for
// its name and number whatever their length, and renaming it into an open
// folder. Declared here from the
// documented native API (the toolchain's headers vary in what they carry),
// and looked up in ntdll at run time. The layouts hold pointers, so each
// build gets its own sizes; a 32-bit program on 64-bit Windows passes them
// to the 32-bit ntdll, which converts them.
#include <windows.h>

#include <string>

namespace norvale::nt {

using Status = LONG;

struct UnicodeString {
  USHORT Length;         // bytes, without a closing NUL
  USHORT MaximumLength;  // bytes
  PWSTR Buffer;
};

struct ObjectAttributes {
  ULONG Length;
  HANDLE RootDirectory;
  UnicodeString* ObjectName;
  ULONG Attributes;
  PVOID SecurityDescriptor;
  PVOID SecurityQualityOfService;
};

struct IoStatusBlock {
  union {
    Status status;
    PVOID pointer;
  };
  ULONG_PTR Information;
};

constexpr ULONG kObjCaseInsensitive = 0x00000040;
constexpr ULONG kFileOpen = 0x00000001;
constexpr ULONG kFileCreate = 0x00000002;
constexpr ULONG kFileDirectoryFile = 0x00000001;
constexpr ULONG kFileSynchronousIoNonAlert = 0x00000020;
constexpr ULONG kFileNonDirectoryFile = 0x00000040;
constexpr ULONG kFileOpenForBackupIntent = 0x00004000;
constexpr ULONG kFileOpenReparsePoint = 0x00200000;
constexpr Status kStatusSharingViolation = static_cast<Status>(0xC0000043);
constexpr Status kStatusObjectNameNotFound = static_cast<Status>(0xC0000034);
constexpr Status kStatusObjectPathNotFound = static_cast<Status>(0xC000003A);
constexpr Status kStatusFileIsADirectory = static_cast<Status>(0xC00000BA);
constexpr Status kStatusObjectNameCollision = static_cast<Status>(0xC0000035);
constexpr Status kStatusNotADirectory = static_cast<Status>(0xC0000103);
constexpr Status kStatusAccessDenied = static_cast<Status>(0xC0000022);
constexpr Status kStatusDeletePending = static_cast<Status>(0xC0000056);
constexpr Status kStatusBufferOverflow = static_cast<Status>(0x80000005);

// Information classes of the query and set calls.
constexpr ULONG kFileInternalInformation = 6;
constexpr ULONG kFileNameInformation = 9;
constexpr ULONG kFileRenameInformation = 10;
constexpr ULONG kFileRenameInformationEx = 65;

// What a system without a call or a flag answers (Windows before 10 1809
// for the newer rename, Wine).
constexpr Status kStatusNotImplemented = static_cast<Status>(0xC0000002);
constexpr Status kStatusInvalidInfoClass = static_cast<Status>(0xC0000003);
constexpr Status kStatusInvalidParameter = static_cast<Status>(0xC000000D);
constexpr Status kStatusNotSupported = static_cast<Status>(0xC00000BB);

struct RenameInformation {
  BOOLEAN ReplaceIfExists;
  HANDLE RootDirectory;
  ULONG FileNameLength;  // bytes
  WCHAR FileName[1];
};

// The newer rename's flags in place of ReplaceIfExists.
constexpr ULONG kRenameReplaceIfExists = 0x00000001;
constexpr ULONG kRenamePosixSemantics = 0x00000002;
constexpr ULONG kRenameIgnoreReadOnly = 0x00000040;

struct RenameInformationEx {
  ULONG Flags;
  HANDLE RootDirectory;
  ULONG FileNameLength;  // bytes
  WCHAR FileName[1];
};

using CreateFileFn = Status(NTAPI*)(PHANDLE file, ACCESS_MASK access, ObjectAttributes* object,
                                    IoStatusBlock* io, PLARGE_INTEGER allocationSize,
                                    ULONG fileAttributes, ULONG shareAccess, ULONG disposition,
                                    ULONG options, PVOID eaBuffer, ULONG eaLength);

using InformationFileFn = Status(NTAPI*)(HANDLE file, IoStatusBlock* io, PVOID information,
                                         ULONG length, ULONG informationClass);
using StatusToErrorFn = ULONG(NTAPI*)(Status status);

// The entry points, found once per use; null members when ntdll lacks them.
struct FileCalls {
  CreateFileFn createFile = nullptr;
  InformationFileFn queryInformation = nullptr;
  InformationFileFn setInformation = nullptr;
  StatusToErrorFn errorOf = nullptr;

  bool Available() const {
    return createFile != nullptr && queryInformation != nullptr && setInformation != nullptr;
  }

  // A failed call's status as the thread's last error, as Win32 calls leave it.
  void SetLastErrorOf(Status status) const {
    SetLastError(errorOf ? errorOf(status) : ERROR_ACCESS_DENIED);
  }

  // Creates or opens `name` relative to the open folder `root` (an empty
  // name: root's own file); *opened is the handle when the status succeeds.
  Status CreateIn(HANDLE root, const std::wstring& name, ACCESS_MASK access, ULONG attributes,
                  ULONG share, ULONG disposition, ULONG options, PVOID descriptor,
                  HANDLE* opened) const {
    *opened = nullptr;
    if (!Available() || name.size() > 32767) return kStatusAccessDenied;
    UnicodeString text{static_cast<USHORT>(name.size() * sizeof(wchar_t)),
                       static_cast<USHORT>(name.size() * sizeof(wchar_t)),
                       const_cast<PWSTR>(name.data())};
    ObjectAttributes object{sizeof(ObjectAttributes), root, &text, kObjCaseInsensitive,
                            descriptor, nullptr};
    IoStatusBlock io{};
    const Status status = createFile(opened, access, &object, &io, nullptr, attributes, share,
                                     disposition, options, nullptr, 0);
    if (status < 0) *opened = nullptr;
    return status;
  }

  // The calls of this system, looked up once.
  static const FileCalls& System() {
    static const FileCalls calls = Find();
    return calls;
  }

  static FileCalls Find() {
    FileCalls calls;
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (!ntdll) return calls;
    calls.createFile =
        reinterpret_cast<CreateFileFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "NtCreateFile")));
    calls.queryInformation = reinterpret_cast<InformationFileFn>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryInformationFile")));
    calls.setInformation = reinterpret_cast<InformationFileFn>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "NtSetInformationFile")));
    calls.errorOf = reinterpret_cast<StatusToErrorFn>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlNtStatusToDosError")));
    return calls;
  }
};

}  // namespace norvale::nt
