#include "DdeTestServer.h"

#include <utility>

#include "Handles.h"
#include "Text.h"
#include "forms/DdeHandles.h"

namespace forms_testing {

namespace {

// DDEML hands its callback no context: each server thread finds its own
// server here.
thread_local DdeTestServer* tServer = nullptr;

std::wstring StringOf(DWORD instance, HSZ hsz) {
  wchar_t buffer[256] = {};
  DdeQueryStringW(instance, hsz, buffer, 256, CP_WINUNICODE);
  return buffer;
}

// CF_TEXT up to its NUL.
std::wstring AnsiDataText(HDDEDATA data) {
  std::string bytes(DdeGetData(data, nullptr, 0, 0), '\0');
  DdeGetData(data, reinterpret_cast<LPBYTE>(bytes.data()), static_cast<DWORD>(bytes.size()), 0);
  return norvale::FromAnsi(bytes.c_str());
}

}  // namespace

DdeTestServer::DdeTestServer(std::wstring service, std::wstring topic)
    : service_(std::move(service)), topic_(std::move(topic)) {
  const norvale::KernelHandle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  thread_ = std::thread([this, &ready] { Run(ready.Get()); });
  WaitForSingleObject(ready.Get(), 10000);
}

DdeTestServer::~DdeTestServer() {
  if (threadId_) PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
  thread_.join();
}

std::vector<DdeTestServer::Poke> DdeTestServer::Pokes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return pokes_;
}

int DdeTestServer::Conversations() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return conversations_;
}

void DdeTestServer::WhilePoking(std::function<void()> action) {
  std::lock_guard<std::mutex> lock(mutex_);
  whilePoking_ = std::move(action);
}

void DdeTestServer::Run(HANDLE ready) {
  tServer = this;
  threadId_ = GetCurrentThreadId();
  MSG msg;
  PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the queue the quit is posted to
  const norvale::forms::DdemlInstance instance(
      &DdeTestServer::Callback, APPCLASS_STANDARD | CBF_FAIL_ADVISES | CBF_FAIL_REQUESTS |
                                    CBF_FAIL_EXECUTES | CBF_SKIP_REGISTRATIONS |
                                    CBF_SKIP_UNREGISTRATIONS);
  instance_ = instance.Id();
  const norvale::forms::DdeString serviceName(instance_, service_);
  const norvale::forms::DdeString topicName(instance_, topic_);
  topicName_ = topicName.Get();
  running_ = instance_ && topicName_ &&
             DdeNameService(instance_, serviceName.Get(), nullptr, DNS_REGISTER) != nullptr;
  SetEvent(ready);
  if (!running_) return;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  DdeNameService(instance_, serviceName.Get(), nullptr, DNS_UNREGISTER);
}

HDDEDATA CALLBACK DdeTestServer::Callback(UINT type, UINT format, HCONV, HSZ hsz1, HSZ hsz2,
                                          HDDEDATA data, ULONG_PTR, ULONG_PTR) noexcept {
  try {
    return tServer ? tServer->Handle(type, format, hsz1, hsz2, data) : nullptr;
  } catch (...) {
    return nullptr;
  }
}

HDDEDATA DdeTestServer::Handle(UINT type, UINT format, HSZ hsz1, HSZ hsz2, HDDEDATA data) {
  switch (type) {
    case XTYP_CONNECT:  // hsz1 is the topic asked for
      return reinterpret_cast<HDDEDATA>(
          static_cast<ULONG_PTR>(DdeCmpStringHandles(hsz1, topicName_) == 0));
    case XTYP_CONNECT_CONFIRM: {
      std::lock_guard<std::mutex> lock(mutex_);
      ++conversations_;
      return nullptr;
    }
    case XTYP_DISCONNECT: {
      std::lock_guard<std::mutex> lock(mutex_);
      --conversations_;
      return nullptr;
    }
    case XTYP_POKE: {
      std::function<void()> action;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        action = whilePoking_;
      }
      if (action) action();
      Poke poke{StringOf(instance_, hsz2), L""};
      if (format != CF_TEXT || poke.item == L"Refused") {
        return reinterpret_cast<HDDEDATA>(DDE_FNOTPROCESSED);
      }
      poke.text = AnsiDataText(data);
      std::lock_guard<std::mutex> lock(mutex_);
      pokes_.push_back(std::move(poke));
      return reinterpret_cast<HDDEDATA>(DDE_FACK);
    }
    default:
      return nullptr;
  }
}

}  // namespace forms_testing
