#include "common/wifiquery/wifi_query.h"

#include <net/if.h>
#include <netlink/genl/ctrl.h>
#include <netlink/genl/genl.h>
#include <netlink/handlers.h>
#include <netlink/msg.h>
#include <netlink/socket.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "common/util/nl80211_ids.h"
#include "common/util/nl_message.h"
#include "common/util/nl_ptr.h"
#include "common/util/report.h"
#include "common/util/unique_fd.h"
#include "daemon/regulatory/channels.h"

namespace ww {
namespace {

// Failure reports of this module name it after the tool it was written for,
// in both programs, with fixed line numbers that log readers match.
constexpr const char* kModule = "bandprobe";
constexpr int kLineRecvmsgs = 53;
constexpr int kLinePoll = 64;
constexpr int kLineSocket = 85;

constexpr int kBufferSize = 8192;
constexpr int kDrainSize = 8196;
constexpr int kTimeoutMs = 200;

using namespace nl80211;  // NOLINT(google-build-using-namespace)

constexpr uint32_t kIftypeAp = 3;
constexpr uint32_t kIftypeP2pGo = 9;
constexpr size_t kMaxSsid = 32;

using MessagePtr = NlMsgPtr;

// libnl's built-in check wants every reply to carry the sequence number it
// expects next, and it advances that number only when an acknowledgement is
// handled. After a query that timed out, its late reply is dropped by the
// next query's drain, so that check would refuse every later answer on the
// context for good. Replies stay matched by the drain and the
// one-request-at-a-time order instead; the messages are only counted, so
// that a query which read something of an earlier one (and so left its own
// acknowledgement unread) is not taken as settled.
int AcceptAnySequence(nl_msg* message, void* arg) {
  auto* ctx = static_cast<WifiQueryContext*>(arg);
  if (nlmsg_hdr(message)->nlmsg_seq == ctx->sequence) {
    ++ctx->own_messages;
  } else {
    ++ctx->other_messages;
  }
  return NL_OK;
}

}  // namespace

int32_t WidthFromCode(uint32_t code) {
  static constexpr int32_t kWidths[] = {20, 20, 40, 80, 160, 160, 5, 10};
  return code < std::size(kWidths) ? kWidths[code] : -1;
}

void ApplyInterfaceAttributes(const InterfaceAttributes& attributes, WifiInfo& info) {
  if (attributes.frequency != nullptr) {
    info.frequency = *attributes.frequency;
    int band = 0;
    int channel = 0;
    (void)FrequencyToChannel(info.frequency, band, channel);
    info.band = band;
    info.channel = static_cast<uint32_t>(channel);
  }
  if (attributes.width_code != nullptr) {
    info.width = WidthFromCode(*attributes.width_code);
  }
  if (attributes.ssid != nullptr) {
    const size_t n = attributes.ssid_length < kMaxSsid ? attributes.ssid_length : kMaxSsid;
    std::memcpy(info.ssid, attributes.ssid, n);
    info.ssid[n] = '\0';
  }
  if (attributes.iftype != nullptr) {
    info.is_ap = *attributes.iftype == kIftypeAp || *attributes.iftype == kIftypeP2pGo ? 1 : 0;
    if (info.is_ap == 0) {
      info.connected = attributes.ssid != nullptr ? 1 : 0;
    }
  }
}

int WifiInfoHandler(nl_msg* message, void* arg) {
  auto* info = static_cast<WifiInfo*>(arg);
  const std::optional<nl::Message> m = nl::GenericMessage(nlmsg_hdr(message));
  if (!m) {
    return NL_SKIP;
  }
  // The last of each type counts; a value shorter than 4 bytes is ignored.
  std::optional<nl::Attribute> frequency_attr;
  std::optional<nl::Attribute> width_attr;
  std::optional<nl::Attribute> iftype_attr;
  std::optional<nl::Attribute> ssid_attr;
  nl::AttributeWalker walker = nl::MessageAttributes(*m);
  while (const std::optional<nl::Attribute> a = walker.Next()) {
    switch (a->FullType()) {
      case kAttrWiphyFreq:
        frequency_attr = a;
        break;
      case kAttrChannelWidth:
        width_attr = a;
        break;
      case kAttrIftype:
        iftype_attr = a;
        break;
      case kAttrSsid:
        ssid_attr = a;
        break;
      default:
        break;
    }
  }
  const auto u32 = [](const std::optional<nl::Attribute>& a, uint32_t& value) -> const uint32_t* {
    if (!a || !a->U32()) {
      return nullptr;
    }
    value = *a->U32();
    return &value;
  };
  uint32_t frequency = 0;
  uint32_t width = 0;
  uint32_t iftype = 0;
  InterfaceAttributes attributes{};
  attributes.frequency = u32(frequency_attr, frequency);
  attributes.width_code = u32(width_attr, width);
  attributes.iftype = u32(iftype_attr, iftype);
  if (ssid_attr) {
    attributes.ssid = ssid_attr->payload.data();
    attributes.ssid_length = ssid_attr->payload.size();
  }
  ApplyInterfaceAttributes(attributes, *info);
  return NL_SKIP;
}

int WifiInfoFinishHandler(nl_msg* /*message*/, void* arg) {
  *static_cast<int32_t*>(arg) = 0;
  return NL_SKIP;
}

int InitWifiQuery(WifiQueryContext& ctx, int32_t known_family) {
  std::memset(&ctx, 0, sizeof ctx);
  ctx.socket = nl_socket_alloc();
  if (ctx.socket == nullptr) {
    std::fprintf(stderr, "netlink connect failed\n");
    return -1;
  }
  (void)nl_socket_set_buffer_size(ctx.socket, kBufferSize, kBufferSize);
  // An interface answer is far below libnl's receive buffer (four pages), so
  // libnl need not peek at each datagram's size first: one receive, not two.
  nl_socket_disable_msg_peek(ctx.socket);
  if (genl_connect(ctx.socket) != 0) {
    std::fprintf(stderr, "netlink connect failed\n");
    ReleaseWifiQuery(ctx);
    return -1;
  }
  // With nl80211 missing this is negative; every query then fails at its
  // first receive, which is how callers learn of it.
  ctx.family = known_family > 0 ? known_family : genl_ctrl_resolve(ctx.socket, "nl80211");
  ctx.callbacks = nl_cb_alloc(NL_CB_DEFAULT);
  if (ctx.callbacks == nullptr) {
    // Out of memory: a context without handlers could answer nothing.
    std::fprintf(stderr, "netlink connect failed\n");
    ReleaseWifiQuery(ctx);
    return -1;
  }
  nl_cb_set(ctx.callbacks, NL_CB_VALID, NL_CB_CUSTOM, WifiInfoHandler, &ctx.result);
  nl_cb_set(ctx.callbacks, NL_CB_FINISH, NL_CB_CUSTOM, WifiInfoFinishHandler, &ctx.done);
  nl_cb_set(ctx.callbacks, NL_CB_SEQ_CHECK, NL_CB_CUSTOM, AcceptAnySequence, &ctx);
  return 0;
}

void ReleaseWifiQuery(WifiQueryContext& ctx) {
  if (ctx.callbacks != nullptr) {
    nl_cb_put(ctx.callbacks);
  }
  if (ctx.socket != nullptr) {
    nl_socket_free(ctx.socket);
  }
  std::memset(&ctx, 0, sizeof ctx);
}

int QuerySocketFd(const WifiQueryContext& ctx) {
  return ctx.socket == nullptr ? -1 : nl_socket_get_fd(ctx.socket);
}

int GetInterfaceIndex(const char* name, int fd) {
  UniqueFd own;
  if (fd < 0) {
    own = UniqueFd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!own.Valid()) {
      ReportCallFailure(kModule, kLineSocket, "GetInterfaceIndex", "socket", errno);
      return -1;
    }
    fd = own.Get();
  }
  ifreq request{};
  // At most the 16 bytes of the field, as strncpy copies them.
  std::strncpy(request.ifr_name, name, sizeof request.ifr_name);
  if (::ioctl(fd, SIOCGIFINDEX, &request) != 0) {
    return -1;
  }
  return request.ifr_ifindex < 0 ? -1 : request.ifr_ifindex;
}

void DrainWifiQuerySocket(nl_sock* socket) {
  char scratch[kDrainSize];
  (void)::recv(nl_socket_get_fd(socket), scratch, sizeof scratch, MSG_DONTWAIT);
}

int NLRecvmsgsWithTimeout(nl_sock* socket, nl_cb* callbacks) {
  pollfd p{nl_socket_get_fd(socket), POLLIN, 0};
  const int ready = ::poll(&p, 1, kTimeoutMs);
  if (ready == 0) {
    return -1;
  }
  if (ready < 0) {
    ReportCallFailure(kModule, kLinePoll, "NLRecvmsgsWithTimeout", "poll", errno);
    return -1;
  }
  if ((p.revents & POLLIN) == 0) {
    return -1;
  }
  const int result = nl_recvmsgs(socket, callbacks);
  if (result < 0) {
    ReportCallFailure(kModule, kLineRecvmsgs, "NLRecvmsgsWithTimeout", "nl_recvmsgs", errno);
  }
  return result;
}

namespace {

int AskWifiInfo(WifiQueryContext& ctx, const char* name, WifiInfo& out, int index_fd) {
  std::memset(&ctx.result, 0, sizeof ctx.result);
  const int index = GetInterfaceIndex(name, index_fd);
  if (index < 0) {
    return -1;
  }
  if (!ctx.settled) {
    DrainWifiQuerySocket(ctx.socket);
  }
  ctx.settled = false;
  const MessagePtr message(nlmsg_alloc());
  if (message == nullptr) {
    return -1;
  }
  // Negative ids (nl80211 missing) go out as they are; the kernel refuses.
  if (genlmsg_put(message.get(), NL_AUTO_PORT, NL_AUTO_SEQ, ctx.family, 0, 0, kCmdGetInterface,
                  0) == nullptr ||
      nla_put_u32(message.get(), kAttrIfindex, static_cast<uint32_t>(index)) != 0) {
    return -1;
  }
  if (nl_send_auto(ctx.socket, message.get()) < 0) {
    std::fprintf(stderr, "nl_send_auto failed\n");
    return -1;
  }
  ctx.sequence = nlmsg_hdr(message.get())->nlmsg_seq;
  ctx.own_messages = 0;
  ctx.other_messages = 0;
  int result = NLRecvmsgsWithTimeout(ctx.socket, ctx.callbacks);
  if (result != 0) {
    std::fprintf(stderr, "**** nl timeout in GetWifiInfo 1 for %s\n", name);
    return result;
  }
  result = NLRecvmsgsWithTimeout(ctx.socket, ctx.callbacks);
  if (result != 0) {
    std::fprintf(stderr, "**** nl timeout in GetWifiInfo 2 for %s\n", name);
    return result;
  }
  // Both reads must have been this query's answer and acknowledgement: a
  // stale message read in their place leaves one of them still queued.
  ctx.settled = ctx.own_messages == 2 && ctx.other_messages == 0;
  out = ctx.result;
  return 0;
}

}  // namespace

int GetWifiInfo(WifiQueryContext& ctx, const char* name, WifiInfo& out) {
  return AskWifiInfo(ctx, name, out, -1);
}

int GetWifiInfoOnOwnSocket(WifiQueryContext& ctx, const char* name, WifiInfo& out) {
  return AskWifiInfo(ctx, name, out, QuerySocketFd(ctx));
}

}  // namespace ww
