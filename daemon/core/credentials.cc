#include "daemon/core/credentials.h"

#include <cstdio>
#include <cstring>

namespace ww {
namespace {

// hostapd splits a sae_password line at these and takes what follows as a
// peer address, VLAN, key or identifier.
constexpr const char* kSaeOptions[] = {"|mac=", "|vlanid=", "|pk=", "|id="};

bool Continuation(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

}  // namespace

const char* SsidProblem(const char* name, char* reason, size_t size) {
  const size_t n = std::strlen(name);
  if (n == 0) {
    std::snprintf(reason, size, "AP name is empty");
    return reason;
  }
  if (n > kMaxSsidBytes) {
    std::snprintf(reason, size, "AP name is %zu bytes long, at most %zu are allowed", n,
                  kMaxSsidBytes);
    return reason;
  }
  return nullptr;
}

const char* PassphraseProblem(const char* passphrase, char* reason, size_t size) {
  const size_t n = std::strlen(passphrase);
  if (n < kMinPassphraseBytes || n > kMaxPassphraseBytes) {
    std::snprintf(reason, size, "password is %zu bytes long, %zu to %zu are allowed", n,
                  kMinPassphraseBytes, kMaxPassphraseBytes);
    return reason;
  }
  for (const char* option : kSaeOptions) {
    if (std::strstr(passphrase, option) != nullptr) {
      std::snprintf(reason, size, "password contains \"%s\", which hostapd reads as an option",
                    option);
      return reason;
    }
  }
  return nullptr;
}

void CutAtNewline(char* text) {
  char* newline = std::strchr(text, '\n');
  if (newline != nullptr) {
    *newline = '\0';
  }
}

void CutSsid(char* name) {
  if (std::strlen(name) <= kMaxSsidBytes) {
    return;
  }
  // Back to the first byte of the character that would be split; a UTF-8
  // character has at most three continuation bytes.
  size_t cut = kMaxSsidBytes;
  for (int back = 0; back < 3 && Continuation(name[cut]); ++back) {
    --cut;
  }
  if (Continuation(name[cut])) {
    cut = kMaxSsidBytes;  // not UTF-8: the bytes are cut where they are
  }
  name[cut] = '\0';
}

}  // namespace ww
