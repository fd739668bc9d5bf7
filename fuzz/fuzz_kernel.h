// Fuzz inputs as kernel answers.
//
// The raw nl80211 readers: the channel's socket is one end of a datagram
// socket pair (one datagram = one received block, as with netlink) and the
// other end answers each request the reader sends, at once, with the blocks
// the input holds for it. Input layout: records of a two-byte little-endian
// length and that many bytes, each one datagram (a length past the end takes
// what is left). A record of length 0 closes the answer to one request; the
// records after it answer the next request.
//
// The libnl readers: the input is one received datagram, handed to libnl's
// own receive loop in place of a read from the socket.
#pragma once

#include <netlink/handlers.h>
#include <netlink/netlink.h>
#include <netlink/socket.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "daemon/netlink/raw_channel.h"

namespace ww::fuzzing {

using Block = std::vector<uint8_t>;
using Answer = std::vector<Block>;  // the datagrams that answer one request

// The nl80211 family id the readers are told (the unit tests' fake kernel's).
inline constexpr uint16_t kFamily = 0x1c;

// Bounds that keep one input quick; real answers never need more.
inline constexpr size_t kMaxAnswers = 8;
inline constexpr size_t kMaxBlocks = 32;

inline std::vector<Answer> SplitAnswers(const uint8_t* data, size_t size) {
  std::vector<Answer> answers(1);
  size_t blocks = 0;
  while (size >= 2 && blocks < kMaxBlocks) {
    const size_t length = std::min<size_t>(data[0] | (data[1] << 8), size - 2);
    data += 2;
    size -= 2;
    if (length == 0) {
      if (answers.size() == kMaxAnswers) {
        break;
      }
      answers.emplace_back();
      continue;
    }
    answers.back().emplace_back(data, data + length);
    data += length;
    size -= length;
    ++blocks;
  }
  return answers;
}

// The inverse, for the seed generator.
inline Block JoinAnswers(const std::vector<Answer>& answers) {
  Block out;
  for (size_t i = 0; i < answers.size(); ++i) {
    if (i > 0) {
      out.insert(out.end(), {0, 0});
    }
    for (const Block& b : answers[i]) {
      out.push_back(static_cast<uint8_t>(b.size()));
      out.push_back(static_cast<uint8_t>(b.size() >> 8));
      out.insert(out.end(), b.begin(), b.end());
    }
  }
  return out;
}

class FuzzKernel {
 public:
  // Attaches to `channel` (family kFamily, sequence 1) and answers its
  // requests with `answers` in order; requests past them get `rest`. An
  // empty answer is one empty datagram, so that the reader's first receive
  // returns at once instead of waiting for its time-out.
  explicit FuzzKernel(RawChannel& channel, std::vector<Answer> answers = {}, Answer rest = {})
      : channel_(channel), answers_(std::move(answers)), rest_(std::move(rest)) {
    if (::socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0, fds_) != 0) {
      std::abort();  // the harness cannot run at all
    }
    const int size = 1 << 20;
    (void)::setsockopt(fds_[0], SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    (void)::setsockopt(fds_[1], SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    // Only a fault of the harness could leave a reader waiting.
    const timeval timeout{1, 0};
    (void)::setsockopt(fds_[0], SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    channel_.socket_fd = fds_[0];
    channel_.family_id = kFamily;
    channel_.sequence = 1;
    channel_.after_send = [](void* self) { static_cast<FuzzKernel*>(self)->OnRequest(); };
    channel_.after_send_context = this;
  }
  ~FuzzKernel() {
    channel_.socket_fd = -1;
    channel_.after_send = nullptr;
    channel_.after_send_context = nullptr;
    ::close(fds_[0]);
    ::close(fds_[1]);
  }
  FuzzKernel(const FuzzKernel&) = delete;
  FuzzKernel& operator=(const FuzzKernel&) = delete;

  // Puts blocks on the reader's queue now, before any request.
  void Queue(const Answer& blocks) {
    for (const Block& b : blocks) {
      (void)::send(fds_[1], b.data(), b.size(), MSG_DONTWAIT);
    }
  }

 private:
  void OnRequest() {
    uint8_t request[4096];
    (void)::recv(fds_[1], request, sizeof request, MSG_DONTWAIT);
    const Answer& answer = next_ < answers_.size() ? answers_[next_++] : rest_;
    if (answer.empty()) {
      (void)::send(fds_[1], "", 0, MSG_DONTWAIT);
    }
    Queue(answer);
  }

  RawChannel& channel_;
  std::vector<Answer> answers_;
  Answer rest_;
  size_t next_ = 0;
  int fds_[2] = {-1, -1};
};

namespace detail {
inline const uint8_t* pending_data = nullptr;
inline size_t pending_size = 0;

// libnl's receive, replaced: the pending block once, then nothing.
inline int ReceivePending(nl_sock* /*socket*/, sockaddr_nl* from, unsigned char** buffer,
                          ucred** credentials) {
  if (pending_size == 0) {
    return 0;
  }
  *buffer = static_cast<unsigned char*>(std::malloc(pending_size));  // libnl frees it
  if (*buffer == nullptr) {
    return 0;
  }
  std::memcpy(*buffer, pending_data, pending_size);
  const int size = static_cast<int>(pending_size);
  pending_size = 0;
  std::memset(from, 0, sizeof *from);
  from->nl_family = AF_NETLINK;  // from the kernel
  if (credentials != nullptr) {
    *credentials = nullptr;
  }
  return size;
}
}  // namespace detail

// Runs libnl's receive loop on `socket` with the handlers of `callbacks`,
// as if `data` had just been read from the socket.
inline int ReceiveThroughLibnl(nl_sock* socket, nl_cb* callbacks, const uint8_t* data,
                               size_t size) {
  detail::pending_data = data;
  detail::pending_size = size;
  nl_cb_overwrite_recv(callbacks, detail::ReceivePending);
  return nl_recvmsgs(socket, callbacks);
}

}  // namespace ww::fuzzing
