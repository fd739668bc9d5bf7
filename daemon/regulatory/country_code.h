// The country-code record: the code adopted last, the priority of the source
// that set it, and the fallback given by command. Each two-character code is
// one atomic word, so readers on other threads never see half a code.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>

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

// The first two characters of `code` in capitals, NUL-terminated in `out`,
// when they are ASCII letters: the only codes hostapd takes. False
// otherwise (the world's "00" among them).
bool CapitalCountryCode(const char* code, char out[3]);

// Priorities of the sources that may adopt a country code.
inline constexpr int kPriorityCache = 1;
inline constexpr int kPriorityFallback = 2;
inline constexpr int kPriorityKernel = 3;

struct CountryCodes {
  AtomicCountryCode useCountryCode{'0', '0'};  // "00": none adopted yet
  std::atomic<int> resolution_priority{0};
  AtomicCountryCode fallback_country_code{'\0', '\0'};
};

struct RawChannel;

// What adopting a code touches besides the record: the kernel, the cache
// file, and whoever rebuilds the access point for the new code.
struct CountrySetting {
  RawChannel& channel;
  CountryCodes& codes;
  const char* cache_path;
  std::function<void()> request_refresh;
  // The pause before the read-back; tests replace it.
  std::function<void(std::chrono::milliseconds)> sleep;
};

// Asks the kernel to set the regulatory domain to the two characters at
// `code`. The answers are drained unread: only a read-back tells whether the
// kernel took it.
void SetRegulatoryDomain(RawChannel& channel, const char* code);

// Adopts `code` (two characters) from a source of `priority`: unless a source
// of higher priority set the code last, sets it in the kernel, verifies it,
// caches it and asks the operational thread to rebuild the access point.
// Any thread.
void ApplyCountryCode(const CountrySetting& setting, const char* code, int priority);

// What the boot-time resolution does besides talking to the kernel; tests
// replace these to run the twenty attempts without waiting.
struct BootSteps {
  std::function<void(std::chrono::milliseconds)> sleep;
  std::function<void()> survey;  // logs the countries nearby networks advertise
  std::function<void()> replay;  // re-runs the last recorded request
};

// Waits about twenty seconds for the kernel to report a domain, then falls
// back to the command's fallback code, then to the cache; replays the last
// request in every case.
void ResolveCountryAtBoot(const CountrySetting& setting, const BootSteps& steps);

}  // namespace ww
