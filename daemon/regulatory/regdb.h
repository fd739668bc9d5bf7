// The embedded per-country channel plan: which 80 and 160 MHz blocks of the
// 5 and 6 GHz bands a country allows, which need radar detection, and the
// default power limits told to 6 GHz clients. Constant data.
#pragma once

#include <cstdint>
#include <span>

namespace ww {

// Bits 0-7: centre channel index; bit 15: the block needs DFS.
using BlockEntry = uint16_t;
inline constexpr BlockEntry kDfs = 0x8000;

inline constexpr int BlockCentre(BlockEntry e) {
  return e & 0xff;
}
inline constexpr bool BlockNeedsDfs(BlockEntry e) {
  return (e & kDfs) != 0;
}

inline constexpr int8_t kNoClientPsd = 127;

// Field order is the record layout the plan is published in; the padding is
// the price of keeping it (239 records, a few kilobytes).
struct ChannelPlan {       // NOLINT(clang-analyzer-optin.performance.Padding)
  char code[3];            // two characters and a NUL
  int8_t client_eirp;      // 6 GHz clients; hostapd gets twice this
  int8_t client_eirp_psd;  // kNoClientPsd when none is given
  const BlockEntry* list_5g80;
  uint8_t count_5g80;
  const BlockEntry* list_5g160;
  uint8_t count_5g160;
  const BlockEntry* list_6g80;
  uint8_t count_6g80;
  const BlockEntry* list_6g160;
  uint8_t count_6g160;
};

inline std::span<const BlockEntry> Blocks(const BlockEntry* list, uint8_t count) {
  return {list, count};
}

// All records in ascending byte order of their codes.
std::span<const ChannelPlan> ChannelPlans();

// The record of a country code. Letters match either case; the code must be
// exactly two characters. nullptr when the table has no such country.
const ChannelPlan* regdb_find(const char* code);  // NOLINT(readability-identifier-naming)

}  // namespace ww
