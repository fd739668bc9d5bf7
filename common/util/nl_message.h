// Netlink bytes: bounds-checked walkers over received blocks and a builder
// for requests in fixed storage. Every length comes from the kernel (or a
// peer pretending to be it), so every step checks it against what is there:
// a header that does not fit, a length below the header size or past the end,
// or a zero length ends the walk.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace ww::nl {

using Bytes = std::span<const uint8_t>;

inline constexpr size_t kMessageHeaderSize = 16;
inline constexpr size_t kGenlHeaderSize = 4;
inline constexpr size_t kFirstAttributeOffset = kMessageHeaderSize + kGenlHeaderSize;
inline constexpr size_t kAttributeHeaderSize = 4;

inline constexpr uint16_t kTypeError = 2;  // NLMSG_ERROR, the acknowledgement too
inline constexpr uint16_t kTypeDone = 3;   // NLMSG_DONE
inline constexpr uint16_t kTypeControl = 16;

inline constexpr uint16_t kFlagRequest = 0x1;
inline constexpr uint16_t kFlagAck = 0x4;
inline constexpr uint16_t kFlagDump = 0x300;

constexpr size_t Align4(size_t n) {
  return (n + 3) & ~static_cast<size_t>(3);
}

// Host-order reads of unaligned fields; the caller has checked the bounds.
uint16_t ReadU16(const uint8_t* p);
uint32_t ReadU32(const uint8_t* p);

struct Message {
  uint32_t length;
  uint16_t type;
  uint16_t flags;
  uint32_t sequence;
  uint32_t port;
  size_t offset;     // where the message starts in its block
  size_t remaining;  // bytes of the block from the message on
  Bytes bytes;       // the whole message, `length` bytes
};

// The messages of one received block, each at the previous one's length
// rounded up to 4.
class MessageWalker {
 public:
  explicit MessageWalker(Bytes block) : block_(block) {}
  std::optional<Message> Next();

 private:
  Bytes block_;
  size_t offset_ = 0;
};

struct Attribute {
  uint16_t type;  // as sent, nested flag included
  Bytes payload;  // length minus the header, without trailing fill

  // Raw answers compare the low 8 bits; libnl's handlers, like libnl, the
  // type without its nested and byte-order flags.
  uint8_t LowType() const { return static_cast<uint8_t>(type & 0xff); }
  uint16_t FullType() const { return static_cast<uint16_t>(type & 0x3fff); }
  std::optional<uint8_t> U8() const;
  std::optional<uint16_t> U16() const;
  std::optional<uint32_t> U32() const;
  // A string payload up to its NUL (or its end when unterminated).
  std::string_view Text() const;
};

// Attributes packed in `area`, each at the previous one's length rounded up
// to 4. Also walks the payload of a nested attribute.
class AttributeWalker {
 public:
  explicit AttributeWalker(Bytes area) : area_(area) {}
  std::optional<Attribute> Next();

 private:
  Bytes area_;
  size_t offset_ = 0;
};

// The top-level attributes of a generic-netlink message (from offset 20).
AttributeWalker MessageAttributes(const Message& message);

// The message a libnl handler is given (its header and nlmsg_len bytes, which
// libnl has checked against what it received), for the walkers above; none
// when it is too short for a generic-netlink header.
std::optional<Message> GenericMessage(const void* header);

// Builds one request in fixed storage. An attribute that would not fit sets a
// sticky error and is not written.
class RequestBuilder {
 public:
  static constexpr size_t kCapacity = 256;

  RequestBuilder(uint16_t type, uint16_t flags, uint8_t command, uint8_t version);

  void PutU32(uint16_t type, uint32_t value);
  void PutBytes(uint16_t type, const void* data, size_t length);
  // The text and its terminating NUL.
  void PutString(uint16_t type, const char* text);

  void SetType(uint16_t type);
  void SetSequence(uint32_t sequence);
  void SetPort(uint32_t port);

  bool Ok() const { return ok_; }
  Bytes Data() const { return {buffer_.data(), length_}; }

 private:
  std::array<uint8_t, kCapacity> buffer_{};
  size_t length_ = 0;
  bool ok_ = true;
};

}  // namespace ww::nl
