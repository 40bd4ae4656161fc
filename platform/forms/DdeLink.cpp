#include "forms/DdeLink.h"

#include <utility>
#include <vector>

#include "forms/DdeHandles.h"

namespace norvale::forms {

namespace {

constexpr int32_t kNoLink = 0;
constexpr int32_t kManualLink = 2;
// The toolkit's default link timeout: five seconds.
constexpr DWORD kPokeTimeoutMs = 5000;

// A client has nothing to answer: every notification is skipped and every
// server transaction refused, so nothing can be thrown from here.
HDDEDATA CALLBACK ClientCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR,
                                 ULONG_PTR) noexcept {
  return nullptr;
}

// The text with its terminating NUL, as the server takes CF_TEXT.
std::vector<BYTE> AnsiText(const std::wstring& text) {
  std::vector<BYTE> bytes(1, 0);
  const int length = static_cast<int>(text.size());
  const int size =
      WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return bytes;
  bytes.assign(static_cast<size_t>(size) + 1, 0);
  WideCharToMultiByte(CP_ACP, 0, text.data(), length, reinterpret_cast<char*>(bytes.data()), size,
                      nullptr, nullptr);
  return bytes;
}

// HCONV of a new conversation with the service about the topic, null when
// no server takes it.
HCONV Connect(DWORD instance, const std::wstring& service, const std::wstring& topic) {
  if (!instance) return nullptr;
  const DdeString serviceName(instance, service);
  const DdeString topicName(instance, topic);
  if (!serviceName.Get() || !topicName.Get()) return nullptr;
  return DdeConnect(instance, serviceName.Get(), topicName.Get(), nullptr);
}

}  // namespace

// The library instance lives as long as its one conversation, which ends
// before the instance goes.
class DdeLink::Conversation {
 public:
  Conversation(const std::wstring& service, const std::wstring& topic)
      : instance_(&ClientCallback, APPCMD_CLIENTONLY | CBF_SKIP_ALLNOTIFICATIONS),
        hconv_(Connect(instance_.Id(), service, topic)) {}

  bool Connected() const { return hconv_.Get() != nullptr; }

  // A server that ends the conversation, or whose program stops, leaves our
  // end of it standing: the library marks it no longer connected once it
  // has read the server's goodbye, and the server's window is gone as soon
  // as its program stopped, whether or not we have read anything yet.
  bool Open() const {
    if (!hconv_.Get()) return false;
    CONVINFO info{};
    info.cb = sizeof(info);
    if (!DdeQueryConvInfo(hconv_.Get(), QID_SYNC, &info)) return false;
    return (info.wStatus & ST_CONNECTED) != 0 && (info.wStatus & ST_TERMINATED) == 0 &&
           IsWindow(info.hwndPartner);
  }

  bool Poke(const std::wstring& item, const std::wstring& value) const {
    const DdeString itemName(instance_.Id(), item);
    if (!itemName.Get()) return false;
    std::vector<BYTE> data = AnsiText(value);
    DWORD status = 0;
    const HDDEDATA done =
        DdeClientTransaction(data.data(), static_cast<DWORD>(data.size()), hconv_.Get(),
                             itemName.Get(), CF_TEXT, XTYP_POKE, kPokeTimeoutMs, &status);
    // A server that refuses the value answers without the acknowledgement;
    // Wine's library still reports the transaction as done then.
    return done && (status & DDE_FACK) != 0;
  }

 private:
  DdemlInstance instance_;
  DdeConversationHandle hconv_;
};

DdeLink::DdeLink() = default;
DdeLink::~DdeLink() = default;

// A conversation the server has closed is no link: the next DDE_SEND then
// links again instead of poking into it for good.
int32_t DdeLink::LinkMode() const {
  return conversation_ && conversation_->Open() ? kManualLink : kNoLink;
}

bool DdeLink::SetLinkMode(int32_t mode) {
  if (mode == kNoLink) {
    conversation_.reset();
    return true;
  }
  if (mode != kManualLink) return false;
  // "application|topic"
  const size_t bar = topic_.find(L'|');
  if (bar == std::wstring::npos) return false;
  auto opened = std::make_shared<Conversation>(topic_.substr(0, bar), topic_.substr(bar + 1));
  if (!opened->Connected()) return false;
  conversation_ = std::move(opened);
  return true;
}

bool DdeLink::SetLinkTopic(const std::wstring& topic) {
  topic_ = topic;
  return true;
}

bool DdeLink::SetLinkItem(const std::wstring& item) {
  item_ = item;
  return true;
}

bool DdeLink::LinkPoke() {
  if (LinkMode() != kManualLink || item_.empty()) return false;
  // The library handles messages while it waits for the server's answer,
  // and one of them may end the link or take the control away with its
  // form. Ending the conversation under the running transaction would
  // leave the library working on a freed one: it ends when the last holder
  // lets go, here after the answer. Nothing of the control may be touched
  // once the poke is sent, its item neither.
  const std::shared_ptr<const Conversation> held = conversation_;
  const std::wstring item = item_;
  const std::wstring value = LinkValue();
  return held->Poke(item, value);
}

}  // namespace norvale::forms
