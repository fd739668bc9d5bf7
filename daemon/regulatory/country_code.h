// The country-code record: the code adopted last, the priority of the source
// that set it, and the fallback given by command. Each two-character code is
// one atomic word, so readers on other threads never see half a code.
#pragma once

#include <atomic>
#include <cstdint>

namespace ww {

class AtomicCountryCode {
 public:
  constexpr AtomicCountryCode(char first, char second) : packed_(Pack(first, second)) {}

  void Store(char first, char second) { packed_.store(Pack(first, second)); }
  // Writes the two characters (no terminator) into out[0], out[1].
  void Load(char* out) const {
    const uint16_t v = packed_.load();
    out[0] = static_cast<char>(v & 0xff);
    out[1] = static_cast<char>(v >> 8);
  }

 private:
  static constexpr uint16_t Pack(char first, char second) {
    return static_cast<uint16_t>(static_cast<uint8_t>(first) |
                                 (static_cast<uint16_t>(static_cast<uint8_t>(second)) << 8));
  }
  std::atomic<uint16_t> packed_;
};

// Priorities of the sources that may adopt a country code.
inline constexpr int kPriorityCache = 1;
inline constexpr int kPriorityFallback = 2;
inline constexpr int kPriorityKernel = 3;

struct CountryCodes {
  AtomicCountryCode useCountryCode{'0', '0'};  // "00": none adopted yet
  std::atomic<int> resolution_priority{0};
  AtomicCountryCode fallback_country_code{'\0', '\0'};
};

struct Daemon;

// Adopts `code` (two characters) from a source of `priority`.
void ApplyCountryCode(Daemon& daemon, const char* code, int priority);

// Boot-time country resolution thread body; `arg` is the Daemon.
void* RegulatoryRefreshTimerAtBoot(void* arg);

}  // namespace ww
