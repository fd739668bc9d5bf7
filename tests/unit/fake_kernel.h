// A fake kernel for the raw nl80211 channel: the channel's socket is one end
// of a datagram socket pair (one datagram = one received block, as with
// netlink) and this class answers on the other end with crafted blocks,
// queued whole right after each request as the kernel would.
// Blocks are built here byte by byte, independently of the product's builder.
#pragma once

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <sys/time.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "daemon/netlink/raw_channel.h"

namespace ww::testing {

using Block = std::vector<uint8_t>;

// Builds one received block: messages with generic-netlink headers and
// attributes, lengths filled in as they are closed.
class BlockBuilder {
 public:
  // Starts a message; the generic header follows unless `genl` is false.
  BlockBuilder& Message(uint16_t type, uint32_t sequence = 0, uint8_t command = 0,
                        bool genl = true) {
    Close();
    start_ = bytes_.size();
    Put32(0);
    Put16(type);
    Put16(0);
    Put32(sequence);
    Put32(0);
    if (genl) {
      bytes_.push_back(command);
      bytes_.push_back(0);
      Put16(0);
    }
    open_ = true;
    return *this;
  }
  BlockBuilder& Attr(uint16_t type, const std::vector<uint8_t>& payload) {
    Put16(static_cast<uint16_t>(4 + payload.size()));
    Put16(type);
    bytes_.insert(bytes_.end(), payload.begin(), payload.end());
    while (bytes_.size() % 4 != 0) {
      bytes_.push_back(0);
    }
    return *this;
  }
  BlockBuilder& AttrU32(uint16_t type, uint32_t value) {
    return Attr(type, {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                       static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)});
  }
  BlockBuilder& AttrU16(uint16_t type, uint16_t value) {
    return Attr(type, {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)});
  }
  // The text and its NUL, as the kernel sends strings.
  BlockBuilder& AttrString(uint16_t type, const std::string& text) {
    std::vector<uint8_t> payload(text.begin(), text.end());
    payload.push_back(0);
    return Attr(type, payload);
  }
  // Raw bytes appended to the current message (for malformed cases).
  BlockBuilder& Raw(const std::vector<uint8_t>& raw) {
    bytes_.insert(bytes_.end(), raw.begin(), raw.end());
    return *this;
  }
  // An acknowledgement: NLMSG_ERROR with error 0 and the request's header.
  BlockBuilder& Ack(uint32_t sequence = 0) {
    Message(2, sequence, 0, false);
    Put32(0);
    for (int i = 0; i < 16; ++i) {
      bytes_.push_back(0);
    }
    return *this;
  }
  BlockBuilder& Done(uint32_t sequence = 0) {
    Message(3, sequence, 0, false);
    Put32(0);
    return *this;
  }
  Block Build() {
    Close();
    return bytes_;
  }

  // A builder for the payload of a nested attribute: attributes only.
  static BlockBuilder Nested() {
    BlockBuilder b;
    b.Message(0, 0, 0, false);
    return b;
  }
  // What a Nested() builder holds, without its stand-in header.
  std::vector<uint8_t> Payload() {
    Close();
    return {bytes_.begin() + 16, bytes_.end()};
  }

 private:
  void Put16(uint16_t v) {
    bytes_.push_back(static_cast<uint8_t>(v));
    bytes_.push_back(static_cast<uint8_t>(v >> 8));
  }
  void Put32(uint32_t v) {
    Put16(static_cast<uint16_t>(v));
    Put16(static_cast<uint16_t>(v >> 16));
  }
  void Close() {
    if (!open_) {
      return;
    }
    const uint32_t length = static_cast<uint32_t>(bytes_.size() - start_);
    std::memcpy(bytes_.data() + start_, &length, 4);
    // The next message starts at the length rounded up to 4.
    while (bytes_.size() % 4 != 0) {
      bytes_.push_back(0);
    }
    open_ = false;
  }
  Block bytes_;
  size_t start_ = 0;
  bool open_ = false;
};

// A regulatory rule as the kernel reports it, and a list of rules nested as
// the kernel nests them: each rule a nested set of its six values.
struct Rule {
  uint32_t start_khz;
  uint32_t end_khz;
  uint32_t flags;
};

inline std::vector<uint8_t> RuleList(const std::vector<Rule>& rules) {
  BlockBuilder list = BlockBuilder::Nested();
  uint16_t index = 0;
  for (const Rule& r : rules) {
    BlockBuilder one = BlockBuilder::Nested();
    one.AttrU32(1, r.flags)
        .AttrU32(2, r.start_khz)
        .AttrU32(3, r.end_khz)
        .AttrU32(4, 80000)
        .AttrU32(5, 300)
        .AttrU32(6, 2300);
    list.Attr(static_cast<uint16_t>(0x8000 | index++), one.Payload());
  }
  return list.Payload();
}

class FakeKernel {
 public:
  FakeKernel() {
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0, fds_), 0);
    // Room for large answers queued at once; a reader never waits for ever.
    const int size = 1 << 20;
    setsockopt(fds_[0], SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    setsockopt(fds_[1], SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    const timeval timeout{2, 0};
    setsockopt(fds_[0], SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  }
  ~FakeKernel() {
    close(fds_[0]);
    close(fds_[1]);
  }
  FakeKernel(const FakeKernel&) = delete;
  FakeKernel& operator=(const FakeKernel&) = delete;

  // Makes `channel` talk to this kernel: its socket is our other end, and
  // each request it sends is answered at once, before it reads.
  void Attach(RawChannel& channel) {
    channel.socket_fd = fds_[0];
    channel.after_send = [](void* self) { static_cast<FakeKernel*>(self)->OnRequest(); };
    channel.after_send_context = this;
  }

  // The blocks that answer each of the next requests, in order.
  void Answer(std::vector<std::vector<Block>> answers) {
    answers_ = std::move(answers);
    next_ = 0;
  }

  // Puts a block on the channel's queue now, before any request.
  void Queue(const Block& block) { send(fds_[1], block.data(), block.size(), 0); }

  const std::vector<Block>& Requests() const { return requests_; }

 private:
  void OnRequest() {
    uint8_t buf[65536];
    const ssize_t got = recv(fds_[1], buf, sizeof buf, MSG_DONTWAIT);
    if (got < 0) {
      return;
    }
    requests_.emplace_back(buf, buf + got);
    if (next_ < answers_.size()) {
      for (const Block& b : answers_[next_]) {
        send(fds_[1], b.data(), b.size(), 0);
      }
      ++next_;
    }
  }
  int fds_[2] = {-1, -1};
  std::vector<std::vector<Block>> answers_;
  size_t next_ = 0;
  std::vector<Block> requests_;
};

// The nl80211 family id of the fake kernel.
inline constexpr uint16_t kFamily = 0x1c;

// A test whose daemon talks to a fake kernel that knows nl80211 as kFamily.
template <typename DaemonType>
class KernelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    kernel_.Attach(daemon_.nl80211);
    daemon_.nl80211.family_id = kFamily;
    daemon_.nl80211.sequence = 1;
  }
  // The socket belongs to the fake kernel.
  void TearDown() override { daemon_.nl80211.socket_fd = -1; }

  FakeKernel kernel_;
  DaemonType daemon_;
};

// A FILE* that writes into memory, for functions that print their lines.
class MemoryStream {
 public:
  MemoryStream() : out_(open_memstream(&text_, &size_)) {}
  ~MemoryStream() {
    if (out_ != nullptr) {
      std::fclose(out_);
    }
    std::free(text_);
  }
  MemoryStream(const MemoryStream&) = delete;
  MemoryStream& operator=(const MemoryStream&) = delete;

  FILE* Out() { return out_; }
  std::string Text() {
    std::fflush(out_);
    return {text_, size_};
  }

 private:
  char* text_ = nullptr;
  size_t size_ = 0;
  FILE* out_;
};

}  // namespace ww::testing
