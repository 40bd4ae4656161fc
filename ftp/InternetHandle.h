#pragma once
// Owners for WinINet handles.
#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <utility>

#include "Handles.h"

namespace norvale {

struct InternetHandleTraits {
  using handle_type = HINTERNET;
  static HINTERNET Invalid() { return nullptr; }
  static void Close(HINTERNET h) { InternetCloseHandle(h); }
};

// The root handle from InternetOpen.
using InternetHandle = UniqueHandle<InternetHandleTraits>;

// A session, find or file handle below a root handle. Closing the root
// closes its children inside WinINet and frees their values for the next
// handle WinINet makes, often the new root itself. A child that outlived its
// root is therefore forgotten, never closed: closing it could close a handle
// it no longer names. The root's owner counts its closes in *rootGeneration.
class ChildInternetHandle {
 public:
  explicit ChildInternetHandle(const uint32_t* rootGeneration) : root_(rootGeneration) {}
  ChildInternetHandle(const ChildInternetHandle&) = delete;
  ChildInternetHandle& operator=(const ChildInternetHandle&) = delete;
  ~ChildInternetHandle() { Close(); }

  HINTERNET Get() const { return Alive() ? h_ : nullptr; }
  bool Valid() const { return Get() != nullptr; }
  explicit operator bool() const { return Valid(); }

  // The generation to pass to Adopt: read it before the call that makes the
  // handle.
  uint32_t BirthMark() const { return *root_; }

  // Takes a handle that a call begun under bornUnder returned. When the root
  // closed while that call ran (Cancel inside a status callback), the handle
  // belongs to the closed root and is dead from birth.
  void Adopt(HINTERNET h, uint32_t bornUnder) {
    Close();
    h_ = h;
    generation_ = bornUnder;
  }

  // Closes a live handle. False, with the thread's error set, when there was
  // none or when its root closed it already.
  bool Close() {
    if (h_ == nullptr) {
      return false;
    }
    HINTERNET h = std::exchange(h_, nullptr);
    if (generation_ != *root_) {
      SetLastError(ERROR_INVALID_HANDLE);
      return false;
    }
    return InternetCloseHandle(h) != FALSE;
  }

 private:
  bool Alive() const { return h_ != nullptr && generation_ == *root_; }

  const uint32_t* root_;
  HINTERNET h_ = nullptr;
  uint32_t generation_ = 0;
};

}  // namespace norvale
