#include "common/util/nl_message.h"

#include <cstring>

namespace ww::nl {

uint16_t ReadU16(const uint8_t* p) {
  uint16_t v = 0;
  std::memcpy(&v, p, sizeof v);
  return v;
}

uint32_t ReadU32(const uint8_t* p) {
  uint32_t v = 0;
  std::memcpy(&v, p, sizeof v);
  return v;
}

namespace {
void WriteU16(uint8_t* p, uint16_t v) {
  std::memcpy(p, &v, sizeof v);
}
void WriteU32(uint8_t* p, uint32_t v) {
  std::memcpy(p, &v, sizeof v);
}
}  // namespace

std::optional<Message> MessageWalker::Next() {
  if (offset_ >= block_.size() || block_.size() - offset_ < kMessageHeaderSize) {
    return std::nullopt;
  }
  const uint8_t* p = block_.data() + offset_;
  const size_t remaining = block_.size() - offset_;
  const uint32_t length = ReadU32(p);
  if (length < kMessageHeaderSize || length > remaining) {
    offset_ = block_.size();  // a bad length ends the block
    return std::nullopt;
  }
  Message m{length,          ReadU16(p + 4), ReadU16(p + 6), ReadU32(p + 8),
            ReadU32(p + 12), offset_,        remaining,      block_.subspan(offset_, length)};
  offset_ += Align4(length);
  return m;
}

std::optional<uint8_t> Attribute::U8() const {
  if (payload.size() < 1) {
    return std::nullopt;
  }
  return payload[0];
}

std::optional<uint16_t> Attribute::U16() const {
  if (payload.size() < 2) {
    return std::nullopt;
  }
  return ReadU16(payload.data());
}

std::optional<uint32_t> Attribute::U32() const {
  if (payload.size() < 4) {
    return std::nullopt;
  }
  return ReadU32(payload.data());
}

std::string_view Attribute::Text() const {
  const char* text = reinterpret_cast<const char*>(payload.data());
  return {text, strnlen(text, payload.size())};
}

std::optional<Attribute> AttributeWalker::Next() {
  if (offset_ >= area_.size() || area_.size() - offset_ < kAttributeHeaderSize) {
    return std::nullopt;
  }
  const uint8_t* p = area_.data() + offset_;
  const uint16_t length = ReadU16(p);
  if (length < kAttributeHeaderSize || length > area_.size() - offset_) {
    offset_ = area_.size();  // zero, short or overlong: the walk ends here
    return std::nullopt;
  }
  Attribute a{ReadU16(p + 2),
              area_.subspan(offset_ + kAttributeHeaderSize, length - kAttributeHeaderSize)};
  offset_ += Align4(length);
  return a;
}

AttributeWalker MessageAttributes(const Message& message) {
  if (message.bytes.size() < kFirstAttributeOffset) {
    return AttributeWalker(Bytes{});
  }
  return AttributeWalker(message.bytes.subspan(kFirstAttributeOffset));
}

std::optional<Message> GenericMessage(const void* header) {
  const auto* p = static_cast<const uint8_t*>(header);
  std::optional<Message> m = MessageWalker(Bytes(p, ReadU32(p))).Next();
  if (!m || m->bytes.size() < kFirstAttributeOffset) {
    return std::nullopt;
  }
  return m;
}

RequestBuilder::RequestBuilder(uint16_t type, uint16_t flags, uint8_t command, uint8_t version) {
  length_ = kFirstAttributeOffset;
  WriteU32(buffer_.data(), static_cast<uint32_t>(length_));
  WriteU16(buffer_.data() + 4, type);
  WriteU16(buffer_.data() + 6, flags);
  buffer_[16] = command;
  buffer_[17] = version;
}

void RequestBuilder::PutBytes(uint16_t type, const void* data, size_t length) {
  const size_t attribute_length = kAttributeHeaderSize + length;
  if (!ok_ || attribute_length > 0xffff || Align4(attribute_length) > kCapacity - length_) {
    ok_ = false;
    return;
  }
  uint8_t* p = buffer_.data() + length_;
  WriteU16(p, static_cast<uint16_t>(attribute_length));
  WriteU16(p + 2, type);
  if (length > 0) {
    std::memcpy(p + kAttributeHeaderSize, data, length);
  }
  length_ += Align4(attribute_length);  // fill bytes stay zero
  WriteU32(buffer_.data(), static_cast<uint32_t>(length_));
}

void RequestBuilder::PutU32(uint16_t type, uint32_t value) {
  PutBytes(type, &value, sizeof value);
}

void RequestBuilder::PutString(uint16_t type, const char* text) {
  PutBytes(type, text, std::strlen(text) + 1);
}

void RequestBuilder::SetType(uint16_t type) {
  WriteU16(buffer_.data() + 4, type);
}

void RequestBuilder::SetSequence(uint32_t sequence) {
  WriteU32(buffer_.data() + 8, sequence);
}

void RequestBuilder::SetPort(uint32_t port) {
  WriteU32(buffer_.data() + 12, port);
}

}  // namespace ww::nl
