// bandprobe: prints what nl80211 reports about one wireless interface.
#include <cstdio>

#include "common/wifiquery/wifi_query.h"
#include "tools/probe/probe_report.h"

namespace {
constexpr int kExitFailure = -1;  // 255 to the shell
}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "Usage: %s <interface>\n", argv[0] != nullptr ? argv[0] : "bandprobe");
    return kExitFailure;
  }
  ww::WifiQueryContext ctx{};
  if (ww::InitWifiQuery(ctx) != 0) {
    std::fprintf(stderr, "Error initializing\n");
    return kExitFailure;
  }
  ww::WifiInfo info{};
  const int result = ww::GetWifiInfo(ctx, argv[1], info);
  if (result != 0) {
    std::fprintf(stderr, "Failed to get interface information, GetWifiInfo returned %d\n", result);
    // Released here too, so leak checkers stay quiet on the failure path.
    ww::ReleaseWifiQuery(ctx);
    return kExitFailure;
  }
  ww::PrintWifiInfo(stdout, argv[1], info);
  ww::ReleaseWifiQuery(ctx);
  return 0;
}
