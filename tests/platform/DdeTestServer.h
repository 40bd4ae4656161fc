#pragma once
// A DDE server for one service and topic on a thread of its own, with its
// own message loop, as another program would be: it accepts every
// conversation on its topic and records every text poked to it, except
// under the item "Refused", which it refuses.
#include "forms/DdeHandles.h"

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace forms_testing {

class DdeTestServer {
 public:
  struct Poke {
    std::wstring item;
    std::wstring text;  // CF_TEXT read in the ANSI code page
    bool operator==(const Poke&) const = default;
  };

  DdeTestServer(std::wstring service, std::wstring topic);
  DdeTestServer(const DdeTestServer&) = delete;
  DdeTestServer& operator=(const DdeTestServer&) = delete;
  ~DdeTestServer();

  // Registered under its service name and taking conversations.
  bool Running() const { return running_; }
  std::vector<Poke> Pokes() const;
  // Conversations open now.
  int Conversations() const;
  // Runs on the server's thread whenever a poke arrives, before the server
  // answers it: the client waits meanwhile, as it does for a slow server.
  void WhilePoking(std::function<void()> action);

 private:
  static HDDEDATA CALLBACK Callback(UINT type, UINT format, HCONV conversation, HSZ hsz1, HSZ hsz2,
                                    HDDEDATA data, ULONG_PTR, ULONG_PTR) noexcept;
  HDDEDATA Handle(UINT type, UINT format, HSZ hsz1, HSZ hsz2, HDDEDATA data);
  void Run(HANDLE ready);

  std::wstring service_, topic_;
  // Used on the server's thread only.
  DWORD instance_ = 0;
  HSZ topicName_ = nullptr;

  bool running_ = false;
  DWORD threadId_ = 0;
  mutable std::mutex mutex_;
  std::vector<Poke> pokes_;
  int conversations_ = 0;
  std::function<void()> whilePoking_;
  std::thread thread_;
};

}  // namespace forms_testing
