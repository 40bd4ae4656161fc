#pragma once
// Owners for what the system's DDE library hands out: an instance of the
// library, string handles and client conversations. Each belongs to the
// thread that made it.
#include <windows.h>
#include <ddeml.h>

#include <string>

namespace norvale::forms {

class DdemlInstance {
 public:
  // Id() is 0 when the library refuses.
  DdemlInstance(PFNCALLBACK callback, DWORD flags) {
    if (DdeInitializeW(&id_, callback, flags, 0) != DMLERR_NO_ERROR) id_ = 0;
  }
  DdemlInstance(const DdemlInstance&) = delete;
  DdemlInstance& operator=(const DdemlInstance&) = delete;
  ~DdemlInstance() {
    if (id_) DdeUninitialize(id_);
  }
  DWORD Id() const { return id_; }

 private:
  DWORD id_ = 0;
};

class DdeString {
 public:
  DdeString(DWORD instance, const std::wstring& text)
      : instance_(instance), hsz_(DdeCreateStringHandleW(instance, text.c_str(), CP_WINUNICODE)) {}
  DdeString(const DdeString&) = delete;
  DdeString& operator=(const DdeString&) = delete;
  ~DdeString() {
    if (hsz_) DdeFreeStringHandle(instance_, hsz_);
  }
  HSZ Get() const { return hsz_; }

 private:
  DWORD instance_;
  HSZ hsz_;
};

class DdeConversationHandle {
 public:
  explicit DdeConversationHandle(HCONV hconv = nullptr) : hconv_(hconv) {}
  DdeConversationHandle(const DdeConversationHandle&) = delete;
  DdeConversationHandle& operator=(const DdeConversationHandle&) = delete;
  ~DdeConversationHandle() {
    if (hconv_) DdeDisconnect(hconv_);
  }
  HCONV Get() const { return hconv_; }

 private:
  HCONV hconv_;
};

}  // namespace norvale::forms
