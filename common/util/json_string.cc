#include "common/util/json_string.h"

#include <cstdio>
#include <cstring>

namespace ww {
namespace {

// Length of the valid UTF-8 sequence at p (at most `left` bytes), or 0.
size_t Utf8Length(const unsigned char* p, size_t left) {
  const unsigned char c = p[0];
  size_t n = 0;
  unsigned char lo = 0x80;
  unsigned char hi = 0xBF;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    lo = c == 0xE0 ? 0xA0 : 0x80;  // no overlong forms
    hi = c == 0xED ? 0x9F : 0xBF;  // no surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    lo = c == 0xF0 ? 0x90 : 0x80;
    hi = c == 0xF4 ? 0x8F : 0xBF;
  } else {
    return 0;
  }
  if (n > left || p[1] < lo || p[1] > hi) {
    return 0;
  }
  for (size_t i = 2; i < n; ++i) {
    if (p[i] < 0x80 || p[i] > 0xBF) {
      return 0;
    }
  }
  return n;
}

}  // namespace

void AppendJsonString(std::string& out, const char* value, size_t cap) {
  const auto* p = reinterpret_cast<const unsigned char*>(value);
  const size_t length = std::strlen(value);
  size_t used = 0;
  for (size_t i = 0; i < length;) {
    char unit[8] = {};
    size_t unit_length = 0;
    size_t consumed = 1;
    const unsigned char c = p[i];
    if (c == '"' || c == '\\') {
      unit[0] = '\\';
      unit[1] = static_cast<char>(c);
      unit_length = 2;
    } else if (c < 0x20) {
      unit_length = static_cast<size_t>(std::snprintf(unit, sizeof unit, "\\u%04x", c));
    } else if (c < 0x80) {
      unit[0] = static_cast<char>(c);
      unit_length = 1;
    } else if (const size_t n = Utf8Length(p + i, length - i); n > 0) {
      std::memcpy(unit, p + i, n);
      unit_length = n;
      consumed = n;
    } else {
      static constexpr char kReplacement[] = "\\ufffd";
      std::memcpy(unit, kReplacement, sizeof kReplacement);
      unit_length = sizeof kReplacement - 1;
    }
    if (used + unit_length > cap) {
      return;
    }
    out.append(unit, unit_length);
    used += unit_length;
    i += consumed;
  }
}

}  // namespace ww
