// Whether the access point may use 6 GHz and must stay passive (NO-IR), read
// from the regulatory rules the phy of the station interface reports itself,
// and whether the country forbids a hidden network name.
#pragma once

#include <array>
#include <cstdint>

namespace ww {

struct CountryCodes;
struct RawChannel;

struct RegRule {
  uint32_t flags;
  uint32_t start_khz;
  uint32_t end_khz;
  uint32_t max_bandwidth_khz;
  uint32_t max_antenna_gain;
  uint32_t max_eirp;
};

inline constexpr int kMaxRegRules = 64;

struct PhyRegulatory {
  uint32_t phy;
  char country[3];
  uint8_t dfs_region;
  int rule_count;
  std::array<RegRule, kMaxRegRules> rules;
};

// The phy index of the interface named "wlan0". 0 and `phy` written when it
// was listed; -1 and `phy` untouched otherwise.
int FindWlan0Phy(RawChannel& channel, uint32_t* phy);

// The phy's own regulatory domain and its first 64 rules. 0 when the kernel
// reported a domain for that phy; -1 (record zeroed) otherwise.
int GetPhyRegulatoryRules(RawChannel& channel, uint32_t phy, PhyRegulatory& out);

struct SixGhzFacts {
  int32_t no_6ghz;
  int32_t noir_mode;
};

// Derives the flags from the phy's rules, writing a NOTE line for each 6 GHz
// rule and each NO-IR rule above 5 GHz to standard error. Without the
// warning for a missing 6 GHz rule (the caller writes it).
SixGhzFacts EvaluatePhyRules(const PhyRegulatory& domain);

// Countries where a hidden network name is not configured (exact upper case).
bool HiddenSsidBlockedIn(const char* country);

// What the whole check found.
struct SixGhzAvailability {
  int32_t no_6ghz;
  int32_t noir_mode;
  int32_t hidden_ssid_blocked;
};

// Runs the whole check (operational thread): the phy's rules, then the
// current country code for the hidden-name ban.
SixGhzAvailability CheckSixGhzAvailability(RawChannel& channel, const CountryCodes& country);

}  // namespace ww
