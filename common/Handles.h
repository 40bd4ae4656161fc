#pragma once
// Owners for the kernel handles the common functions open.
#include <windows.h>

#include <array>
#include <string>
#include <utility>

namespace norvale {

template <typename Traits>
class UniqueHandle {
 public:
  using handle_type = typename Traits::handle_type;
  UniqueHandle() = default;
  explicit UniqueHandle(handle_type h) : h_(h) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : h_(std::exchange(other.h_, Traits::Invalid())) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.h_, Traits::Invalid()));
    return *this;
  }
  ~UniqueHandle() { Reset(); }

  handle_type Get() const { return h_; }
  bool Valid() const {
    if constexpr (requires { Traits::Empty(h_); }) {
      return !Traits::Empty(h_);
    } else {
      return h_ != Traits::Invalid();
    }
  }
  explicit operator bool() const { return Valid(); }
  void Reset(handle_type h = Traits::Invalid()) {
    if (Valid()) {
      // Letting go tells nothing of the step before it: the thread's last
      // error stays that step's.
      const DWORD error = GetLastError();
      Traits::Close(h_);
      SetLastError(error);
    }
    h_ = h;
  }
  handle_type Release() { return std::exchange(h_, Traits::Invalid()); }
  // For a call that hands out a new handle through a pointer: what this
  // held goes first, and the new one is owned from the moment it arrives.
  handle_type* Put() {
    Reset();
    return &h_;
  }

 private:
  handle_type h_ = Traits::Invalid();
};

// CreateFileW answers INVALID_HANDLE_VALUE for nothing, the native calls
// null: a file handle owns neither.
struct FileHandleTraits {
  using handle_type = HANDLE;
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static bool Empty(HANDLE h) { return h == INVALID_HANDLE_VALUE || h == nullptr; }
  static void Close(HANDLE h) { CloseHandle(h); }
};

struct KernelHandleTraits {
  using handle_type = HANDLE;
  static HANDLE Invalid() { return nullptr; }
  static void Close(HANDLE h) { CloseHandle(h); }
};

struct FindHandleTraits {
  using handle_type = HANDLE;
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { FindClose(h); }
};

// A DLL this process loaded itself.
struct ModuleTraits {
  using handle_type = HMODULE;
  static HMODULE Invalid() { return nullptr; }
  static void Close(HMODULE h) { FreeLibrary(h); }
};

struct RegKeyTraits {
  using handle_type = HKEY;
  static HKEY Invalid() { return nullptr; }
  static void Close(HKEY h) { RegCloseKey(h); }
};

// File and folder handles (INVALID_HANDLE_VALUE or null when empty).
using FileHandle = UniqueHandle<FileHandleTraits>;
// Process, thread, event, mutex handles (null when empty).
using KernelHandle = UniqueHandle<KernelHandleTraits>;
using FindHandle = UniqueHandle<FindHandleTraits>;
using RegKey = UniqueHandle<RegKeyTraits>;
using LoadedModule = UniqueHandle<ModuleTraits>;

// Every kind of sharing: for opens that only ask what a file is or where it
// lies, and for handles others may do anything beside.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Which file or folder an open handle holds, whatever its name is now: the
// volume's serial and the 128-bit number the file system gives it (ReFS
// keeps only that one unique; where the system lacks it, as Windows 7 does,
// the older 64-bit number).
struct FileIdentity {
  ULONGLONG volume = 0;
  std::array<BYTE, 16> id{};
  bool operator==(const FileIdentity&) const = default;
};
// A file or folder held open and where it lies (FinalPathOfHandle's form).
struct HeldEntry {
  FileHandle handle;
  std::wstring path;
};

}  // namespace norvale
