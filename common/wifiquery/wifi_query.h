// Interface query over nl80211: what one wireless interface is doing now.
// One context per thread; contexts are never shared.
#pragma once

#include <cstdint>

struct nl_sock;
struct nl_cb;

namespace ww {

struct WifiInfo {
  uint32_t frequency;  // MHz, 0 when none
  uint32_t channel;    // 0 when the frequency is in no band
  char ssid[36];
  int32_t connected;
  int32_t is_ap;
  int32_t width;  // MHz, -1 for an unknown width code, 0 when absent
  int32_t band;   // 2, 5, 6 or 0
};

struct WifiQueryContext {
  nl_sock* socket;
  int32_t done;
  nl_cb* callbacks;
  int32_t family;
  WifiInfo result;
};

// Connects the context to generic netlink. 0 on success, -1 when the
// connection fails (nothing is left allocated then).
int InitWifiQuery(WifiQueryContext& ctx);

// Releases what InitWifiQuery allocated and zeroes the context.
void ReleaseWifiQuery(WifiQueryContext& ctx);

}  // namespace ww
