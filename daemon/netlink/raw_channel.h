// The daemon's own generic-netlink channel for hand-built nl80211 requests.
// One per process. Every exchange holds the channel lock from before it takes
// its sequence number until after its last receive, so at most one request
// is in flight and answers are never shared between requests.
#pragma once

#include <linux/netlink.h>
#include <sys/types.h>

#include <array>
#include <cstdint>
#include <mutex>
#include <type_traits>

#include "common/util/nl_message.h"

namespace ww {

inline constexpr int kOpenSocketFailed = -4;
inline constexpr int kOpenBindFailed = -5;
inline constexpr int kOpenNoAnswer = -6;
inline constexpr size_t kReceiveBufferSize = 32768;

struct RawChannel {
  std::mutex lock;
  uint32_t request_port_id = 0;  // pid | 0x7C000000, in every request header
  uint32_t sequence = 0;         // 1 once the family request went out
  uint32_t family_id = 0;        // nl80211's; 0 while unknown
  int32_t socket_fd = -1;        // negative while not open
  sockaddr_nl local{};
  // True only when the last exchange read until nothing more was queued. The
  // kernel answers a request before its send returns, so nothing can arrive
  // afterwards, and the next exchange need not drain before it sends.
  bool drained = false;
  // Runs right after each request is sent. Null in the daemon; a test's fake
  // kernel uses it to queue its whole answer before the reader looks, as the
  // kernel does.
  void (*after_send)(void* context) = nullptr;
  void* after_send_context = nullptr;
  // Where answers are received, under the lock (or at start-up, before other
  // threads). Not on the caller's stack: a command thread's stack pages below
  // the last 16 KiB are returned to the kernel when it ends, so a 32 KiB
  // stack buffer would cost fresh page faults on every request.
  std::array<uint8_t, kReceiveBufferSize> block{};
};

// Opens the channel and learns the nl80211 family id. 0 when the controller
// exchange has ended (even when nl80211 is unknown: the id stays 0),
// kOpenSocketFailed, kOpenBindFailed, or kOpenNoAnswer when the answer
// never ended. Main thread, before other threads.
int OpenNL80211Channel(RawChannel& channel);

// Sends the family request on the already open socket and reads the answer
// until it has ended: 0, or kOpenNoAnswer after three receives that brought
// nothing or 64 blocks without the end. (Split from the open so tests can
// run it on one end of a socket pair.)
int LookUpNl80211Family(RawChannel& channel);

// Reads and prints one block of the controller's answer, recording the
// family id. 0 when the exchange is over, 1 when more must be read.
// `received`, when given, gets what the receive returned.
int ReadControlReply(RawChannel& channel, ssize_t* received = nullptr);

// The first half of an exchange, for readers with their own receive loop.
// The caller holds the channel lock. Drops answers left queued by earlier
// exchanges, stamps the request with the family id, the next sequence number
// and the port id, and sends it. Returns what send returned.
ssize_t SendRequestLocked(RawChannel& channel, nl::RequestBuilder& request);

// What a reader does after a message: go on, or stop reading early.
enum class Visit { kContinue, kStop };

// Called for each answer message of an exchange; `context` is the caller's.
using MessageVisitor = Visit (*)(void* context, const nl::Message& message);

// What a reader that reports the exchange itself (the survey) is told
// besides the messages: what the send and each receive returned.
struct ExchangeTrace {
  void (*sent)(void* context, ssize_t result);
  void (*received)(void* context, ssize_t result);
};

// One request and its answers: under the channel lock, drops answers left
// queued by earlier exchanges, stamps the request with the family id, the
// next sequence number and the port id, sends it, and hands every answer
// message of the family's type (every type but errors and done when
// `all_types`) to `visit`. The first receive blocks; the rest only take what
// is queued. `trace`, when given, is called with the same `context`. Any
// thread.
void RunExchange(RawChannel& channel, nl::RequestBuilder& request, MessageVisitor visit,
                 void* context, bool all_types = false, const ExchangeTrace* trace = nullptr);

// The same with a callable: Visit(const nl::Message&).
template <typename Fn>
void RunExchange(RawChannel& channel, nl::RequestBuilder& request, Fn&& visit,
                 bool all_types = false) {
  RunExchange(
      channel, request,
      [](void* context, const nl::Message& message) {
        return (*static_cast<std::remove_reference_t<Fn>*>(context))(message);
      },
      &visit, all_types);
}

}  // namespace ww
