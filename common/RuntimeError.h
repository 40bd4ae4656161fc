#pragma once
// The programs report failures as the run-time error numbers of their
// original platform (53 file not found, 76 path not found, 70 permission
// denied, ...). Win32 codes are mapped once, here.
#include <cstdint>
#include <string>

namespace norvale {

constexpr int32_t kErrFileNotFound = 53;
constexpr int32_t kErrFileAlreadyOpen = 55;
constexpr int32_t kErrPermissionDenied = 70;
constexpr int32_t kErrPathFileAccess = 75;
constexpr int32_t kErrPathNotFound = 76;

int32_t RuntimeErrorFromWin32(unsigned long win32Code);
// The number of the thread's last Win32 error.
int32_t LastRuntimeError();
// The description a Japanese system gives for the number.
std::wstring RuntimeErrorDescription(int32_t number);

}  // namespace norvale

namespace norvale {

// A run-time error that a member hands to its caller instead of a value.
struct RaisedError {
  int32_t number = 0;
  std::wstring description;
};

}  // namespace norvale
