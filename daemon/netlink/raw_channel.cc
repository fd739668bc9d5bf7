#include "daemon/netlink/raw_channel.h"

#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace ww {
namespace {

void AfterSend(RawChannel& channel) {
  if (channel.after_send != nullptr) {
    channel.after_send(channel.after_send_context);
  }
}

constexpr int kSocketBufferSize = 32768;
constexpr uint32_t kPortIdMark = 0x7C000000;
constexpr uint8_t kCtrlCmdGetFamily = 3;
constexpr uint16_t kCtrlAttrFamilyId = 1;
constexpr uint16_t kCtrlAttrFamilyName = 2;

// The kernel acknowledges every request, so the first receive of an exchange
// always ends; the time-out only keeps a lost answer from wedging every
// thread that needs the channel.
constexpr time_t kReceiveTimeoutSeconds = 5;

// The family answer is one or two blocks. These bounds only keep a socket
// whose answer never ends from holding the start-up for ever.
constexpr int kLookupSilentReceives = 3;
constexpr int kLookupBlocks = 64;

// Reads up to four bytes at `p` but never past `end`; missing bytes are 0.
void CopyUpToFour(const uint8_t* p, const uint8_t* end, uint8_t out[4]) {
  for (int i = 0; i < 4; ++i) {
    out[i] = p + i < end ? p[i] : 0;
  }
}

}  // namespace

int OpenNL80211Channel(RawChannel& channel) {
  if (channel.socket_fd >= 0) {
    ::close(channel.socket_fd);
  }
  channel.socket_fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_GENERIC);
  channel.sequence = 0;
  if (channel.socket_fd < 0) {
    std::fprintf(stderr, "Error: Could not open netlink socket.\n");
    return kOpenSocketFailed;
  }
  (void)::setsockopt(channel.socket_fd, SOL_SOCKET, SO_SNDBUF, &kSocketBufferSize,
                     sizeof kSocketBufferSize);
  (void)::setsockopt(channel.socket_fd, SOL_SOCKET, SO_RCVBUF, &kSocketBufferSize,
                     sizeof kSocketBufferSize);
  const timeval timeout{kReceiveTimeoutSeconds, 0};
  (void)::setsockopt(channel.socket_fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  channel.request_port_id = static_cast<uint32_t>(::getpid()) | kPortIdMark;
  channel.local = sockaddr_nl{};
  channel.local.nl_family = AF_NETLINK;
  if (::bind(channel.socket_fd, reinterpret_cast<const sockaddr*>(&channel.local),
             sizeof channel.local) != 0) {
    std::fprintf(stderr, "Error: Could not bind netlink socket.\n");
    return kOpenBindFailed;
  }
  return LookUpNl80211Family(channel);
}

int LookUpNl80211Family(RawChannel& channel) {
  channel.sequence = 1;
  // The lookup stops at the acknowledgement and may leave more queued.
  channel.drained = false;
  nl::RequestBuilder request(nl::kTypeControl, nl::kFlagRequest | nl::kFlagAck, kCtrlCmdGetFamily,
                             1);
  request.PutString(kCtrlAttrFamilyName, "nl80211");
  request.SetSequence(channel.sequence);
  request.SetPort(channel.request_port_id);
  const nl::Bytes bytes = request.Data();
  (void)::send(channel.socket_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
  AfterSend(channel);
  int silent = 0;
  for (int blocks = 0; blocks < kLookupBlocks; ++blocks) {
    ssize_t got = 0;
    if (ReadControlReply(channel, &got) == 0) {
      return 0;
    }
    if (got <= 0 && ++silent >= kLookupSilentReceives) {
      break;
    }
  }
  std::fprintf(stderr, "Error: The kernel did not end its nl80211 family answer.\n");
  return kOpenNoAnswer;
}

int ReadControlReply(RawChannel& channel, ssize_t* received) {
  uint8_t* const block = channel.block.data();
  const ssize_t got = ::recv(channel.socket_fd, block, channel.block.size(), MSG_NOSIGNAL);
  if (received != nullptr) {
    *received = got;
  }
  if (got < static_cast<ssize_t>(nl::kMessageHeaderSize)) {
    return 1;
  }
  nl::MessageWalker messages(nl::Bytes(block, static_cast<size_t>(got)));
  while (const std::optional<nl::Message> m = messages.Next()) {
    std::printf("TYPE: %d (%ld) %d\n", m->type, static_cast<long>(m->offset),
                static_cast<int>(m->remaining));
    if (m->type == nl::kTypeError || m->type == nl::kTypeDone) {
      return 0;
    }
    std::printf("NL80211 Reply (%d)\n", static_cast<int>(m->length));
    std::printf("MSG: %d / %d\n", m->type, static_cast<int>(m->length));
    if (m->type != nl::kTypeControl) {
      continue;
    }
    const uint8_t* end = m->bytes.data() + m->bytes.size();
    nl::AttributeWalker attributes = nl::MessageAttributes(*m);
    while (const std::optional<nl::Attribute> a = attributes.Next()) {
      uint8_t first[4];
      CopyUpToFour(a->payload.data(), end, first);
      std::printf("   CONTROL: %d:%d: %02x%02x%02x%02x\n", a->LowType(),
                  static_cast<int>(a->payload.size()), first[0], first[1], first[2], first[3]);
      if (a->LowType() == kCtrlAttrFamilyId) {
        // The 16-bit id and the two fill bytes the kernel zeroes.
        channel.family_id = nl::ReadU32(first);
        std::printf("Got nl80211 type %d\n", static_cast<int>(channel.family_id));
      }
    }
  }
  return 1;
}

ssize_t SendRequestLocked(RawChannel& channel, nl::RequestBuilder& request) {
  // Answers an earlier exchange stopped reading are not ours: drop them.
  while (!channel.drained && ::recv(channel.socket_fd, channel.block.data(), channel.block.size(),
                                    MSG_NOSIGNAL | MSG_DONTWAIT) > 0) {
  }
  channel.drained = false;
  ++channel.sequence;
  request.SetType(static_cast<uint16_t>(channel.family_id));
  request.SetSequence(channel.sequence);
  request.SetPort(channel.request_port_id);
  const nl::Bytes bytes = request.Data();
  const ssize_t sent = ::send(channel.socket_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
  AfterSend(channel);
  return sent;
}

void RunExchange(RawChannel& channel, nl::RequestBuilder& request, MessageVisitor visit,
                 void* context, bool all_types, const ExchangeTrace* trace) {
  std::lock_guard<std::mutex> lock(channel.lock);
  const ssize_t sent = SendRequestLocked(channel, request);
  if (trace != nullptr) {
    trace->sent(context, sent);
  }
  uint8_t* const block = channel.block.data();

  int flags = MSG_NOSIGNAL;
  for (;;) {
    const ssize_t got = ::recv(channel.socket_fd, block, channel.block.size(), flags);
    if (trace != nullptr) {
      trace->received(context, got);
    }
    if (got <= 0) {
      // Only a later, non-blocking receive that found nothing proves the
      // answer read to its end; a first receive that failed may still see
      // its answer come.
      channel.drained =
          got < 0 && (flags & MSG_DONTWAIT) != 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
      return;
    }
    flags |= MSG_DONTWAIT;
    nl::MessageWalker messages(nl::Bytes(block, static_cast<size_t>(got)));
    while (const std::optional<nl::Message> m = messages.Next()) {
      if (m->type == nl::kTypeError || m->type == nl::kTypeDone) {
        continue;
      }
      if (!all_types && m->type != static_cast<uint16_t>(channel.family_id)) {
        continue;
      }
      if (visit(context, *m) == Visit::kStop) {
        return;
      }
    }
  }
}

}  // namespace ww
