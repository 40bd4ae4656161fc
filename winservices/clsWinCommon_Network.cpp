// Whether a server answers a ping, its address, and whether the system may
// go online.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <icmpapi.h>
#include <wininet.h>

#include <algorithm>
#include <optional>

#include "Text.h"
#include "clsWinCommon.h"

using namespace norvale;

namespace {

constexpr int32_t kEchoDataSize = 32;
constexpr DWORD kReplyBufferSize = 4096;
constexpr DWORD kDefaultTimeout = 500;
constexpr DWORD kLongestTimeout = 10000;
constexpr DWORD kPauseBetweenEchoes = 500;

// Winsock for the length of a look-up; Windows counts the starts, so a
// caller's own session is not disturbed.
class WinsockSession {
 public:
  explicit WinsockSession(WORD version) {
    WSADATA data{};
    error_ = WSAStartup(version, &data);
  }
  ~WinsockSession() {
    if (error_ == 0) WSACleanup();
  }
  WinsockSession(const WinsockSession&) = delete;
  WinsockSession& operator=(const WinsockSession&) = delete;
  bool Started() const { return error_ == 0; }
  int Error() const { return error_; }

 private:
  int error_ = 0;
};

struct IcmpHandleTraits {
  using handle_type = HANDLE;
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { IcmpCloseHandle(h); }
};
using IcmpHandle = UniqueHandle<IcmpHandleTraits>;

// The host's first IPv4 address in network byte order; nothing when the
// name cannot be looked up. Winsock must be started.
std::optional<uint32_t> LookUpIPv4(const std::wstring& name) {
  ADDRINFOW hints{};
  hints.ai_family = AF_INET;
  ADDRINFOW* found = nullptr;
  if (GetAddrInfoW(name.c_str(), nullptr, &hints, &found) != 0 || !found) return std::nullopt;
  std::optional<uint32_t> address;
  for (ADDRINFOW* entry = found; entry; entry = entry->ai_next) {
    if (entry->ai_family == AF_INET && entry->ai_addr) {
      address = reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr.s_addr;
      break;
    }
  }
  FreeAddrInfoW(found);
  return address;
}

std::wstring UpperCase(std::wstring text) {
  if (!text.empty()) CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

bool ContainsIgnoringCase(const std::wstring& text, const std::wstring& part) {
  return UpperCase(text).find(UpperCase(part)) != std::wstring::npos;
}

}  // namespace

uint16_t clsWinCommon::MakeWord(uint8_t high, uint8_t low) {
  return static_cast<uint16_t>(high * 256 + low);
}

std::wstring clsWinCommon::GetICMP_ErrMsg(int32_t ICMPStatus) {
  switch (ICMPStatus) {
    case 0: return L"Success";
    case 11001: return L"Buffer Too Small";
    case 11002: return L"Destination Net Unreachable";
    case 11003: return L"Destination Host Unreachable";
    case 11004: return L"Destination Protocol Unreachable";
    case 11005: return L"Destination Port Unreachable";
    case 11006: return L"No Resources";
    case 11007: return L"Bad Option";
    case 11008: return L"Hardware Error";
    case 11009: return L"Packet Too Big";
    case 11010: return L"Request Timed Out";
    case 11011: return L"Bad Request";
    case 11012: return L"Bad Route";
    case 11013: return L"TimeToLive Expired Transit";
    case 11014: return L"TimeToLive Expired Reassembly";
    case 11015: return L"Parameter Problem";
    case 11016: return L"Source Quench";
    case 11017: return L"Option Too Big";
    case 11018: return L"Bad Destination";
    case 11032: return L"Negotiating IPSEC";
    case 11050: return L"General Failure";
    default: return L"Unknown Response";
  }
}

uint32_t clsWinCommon::Winsoc_gethostbyname(const std::wstring& h_name) {
  try {
    WinsockSession winsock(MakeWord(1, 1));
    if (!winsock.Started()) return 0;
    return LookUpIPv4(h_name).value_or(0);
  } catch (...) {
    return 0;
  }
}

std::wstring clsWinCommon::PingOnce(HANDLE icmp, uint32_t address, DWORD timeout, bool* good) {
  *good = false;
  char data[kEchoDataSize];
  std::fill(std::begin(data), std::end(data), ' ');
  IP_OPTION_INFORMATION options{};
  options.Ttl = 128;
  options.Tos = 8;
  options.Flags = IP_FLAG_DF;
  std::vector<BYTE> replies(kReplyBufferSize);
  const DWORD count =
      icmp == INVALID_HANDLE_VALUE
          ? 0
          : IcmpSendEcho(icmp, address, data, kEchoDataSize, &options, replies.data(),
                         kReplyBufferSize, timeout);
  if (count == 0) return L"ICMP_Error:" + std::to_wstring(GetLastError());
  const auto* reply = reinterpret_cast<const ICMP_ECHO_REPLY*>(replies.data());
  if (reply->Status != 0) return L"Bad Reply:" + GetICMP_ErrMsg(static_cast<int32_t>(reply->Status));
  *good = true;
  const auto* from = reinterpret_cast<const BYTE*>(&reply->Address);
  return L"Reply From " + std::to_wstring(from[0]) + L"." + std::to_wstring(from[1]) + L"." +
         std::to_wstring(from[2]) + L"." + std::to_wstring(from[3]) + L": bytes=32 time=" +
         std::to_wstring(reply->RoundTripTime) + L"ms TTL=" + std::to_wstring(reply->Options.Ttl);
}

// Every Windows since Vista sends the echoes too: skipping them there would
// report any server, reachable or not, as answering.
int16_t clsWinCommon::Winsoc_Ping(const std::wstring& ip_adr, int16_t MaxCount,
                                  std::wstring* ReplyString, int32_t* aErrNo,
                                  int32_t MaxWaitTimer, bool IsOK_When_End) {
  std::wstring reply;
  int32_t errNo = 0;
  auto answer = [&](int16_t result) {
    if (ReplyString) *ReplyString = reply;
    if (aErrNo) *aErrNo = errNo;
    return result;
  };
  try {
    const int16_t count = std::clamp<int16_t>(MaxCount, 1, 10);
    const DWORD timeout = MaxWaitTimer < 1 ? kDefaultTimeout
                                           : std::min<DWORD>(MaxWaitTimer, kLongestTimeout);
    // An unreadable computer name would match every target.
    const std::wstring computer = GetNameOfComputer();
    if (!computer.empty() && ContainsIgnoringCase(ip_adr, computer)) {
      reply = L"Reply From " + computer + L" time<1ms";
      return answer(count);
    }
    if (ContainsIgnoringCase(ip_adr, L"localhost")) {
      reply = L"Reply From " + ip_adr + L" time<1ms";
      return answer(count);
    }
    std::optional<uint32_t> address;
    {
      WinsockSession winsock(MakeWord(1, 1));
      if (!winsock.Started()) {
        errNo = winsock.Error();
        reply = L"WinSockの初期化失敗";
        return answer(-1);
      }
      address = LookUpIPv4(ip_adr);
      if (!address) {
        errNo = WSAGetLastError();
        reply = L"ホスト名からIPアドレスが取得できませんでした";
        return answer(-1);
      }
    }
    if (*address == 0) {
      errNo = WSAGetLastError();
      reply = L"[Error]ホスト名が無効です";
      return answer(-1);
    }
    IcmpHandle icmp(IcmpCreateFile());
    int16_t good = 0;
    for (int16_t echo = 1; echo <= count; ++echo) {
      if (echo > 1) windows_.waits->Sleep(kPauseBetweenEchoes);
      bool isGood = false;
      std::wstring text = PingOnce(icmp.Get(), *address, timeout, &isGood);
      if (isGood) {
        ++good;
        if (IsOK_When_End) break;
      }
      reply = std::move(text);
    }
    return answer(good);
  } catch (...) {
    return answer(-1);
  }
}

bool clsWinCommon::IsServerActive(const std::wstring& ServerName, bool IsMsgDisp,
                                  int32_t MaxWaitTimer) {
  try {
    auto tell = [&](const std::wstring& text, const std::wstring& title, UINT icon) {
      if (IsMsgDisp) seams_.messageBox->Show(text, title, MB_OK | MB_SYSTEMMODAL | icon);
    };
    if (ServerName.find(L'\\') != std::wstring::npos) {
      tell(ServerName + L"はコンピュータ名ではないのでチェックできません。",
           L"コンピュータ名でない文字が含まれています", MB_ICONINFORMATION);
      return true;
    }
    const std::wstring name = Trim(ServerName);
    if (name.empty()) return false;
    std::wstring reply;
    int32_t errNo = 0;
    for (int attempt = 1; attempt <= 3; ++attempt) {
      if (Winsoc_Ping(name, 1, &reply, &errNo, MaxWaitTimer, false) >= 1) {
        if (attempt == 1) {
          tell(name + L"を確認しました。\r\n(" + reply + L")", L"サーバーを確認しました。",
               MB_ICONINFORMATION);
        } else {
          tell(name + L"を確認しましたが通信状態が不安定です。\r\n(" + reply + L")",
               L"通信状態が不安定です。", MB_ICONINFORMATION);
        }
        return true;
      }
    }
    std::wstring text = name + L"を確認できません。\r\nサーバー名、又は、ネットワークを確認して下さい。";
    if (!reply.empty() || errNo != 0) {
      text += L"(" + std::to_wstring(errNo) + L":" + reply + L")";
    }
    tell(text, L"サーバーを確認できません！", MB_ICONSTOP);
    return false;
  } catch (...) {
    return false;
  }
}

bool clsWinCommon::IsInternetOK() {
  try {
    return InternetAttemptConnect(0) == ERROR_SUCCESS;
  } catch (...) {
    return false;
  }
}
