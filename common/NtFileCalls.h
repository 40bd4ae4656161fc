#pragma once
// The few native file calls the file acts need that the Win32 layer lacks:
// opening a name relative to an open folder, asking an open file for its
// name and number whatever their length, and renaming it into an open
// folder. Declared here from the documented native API (the toolchain's
// headers vary in what they carry); FileCalls.h looks them up in ntdll at
// run time. The layouts hold pointers, so each
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

// The system lacks the call, the information class or a flag it was asked.
inline bool Unsupported(Status status) {
  return status == kStatusNotImplemented || status == kStatusInvalidInfoClass ||
         status == kStatusInvalidParameter || status == kStatusNotSupported;
}

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

}  // namespace norvale::nt
