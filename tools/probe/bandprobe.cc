// bandprobe: prints what nl80211 reports about one wireless interface.
#include <netlink/handlers.h>
#include <netlink/socket.h>

#include <cstdio>

#include "common/wifiquery/wifi_query.h"

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
    ww::ReleaseWifiQuery(ctx);
    return kExitFailure;
  }
  std::printf("Interface:\t%s\n", argv[1]);
  std::printf("SSID:\t\t%s\n", info.ssid);
  std::printf("Band:\t\t%d\n", info.band);
  std::printf("Frequency:\t%d MHz\n", static_cast<int>(info.frequency));
  std::printf("Channel:\t%d\n", static_cast<int>(info.channel));
  std::printf("Connected:\t%s\n", info.connected != 0 ? "Yes" : "No");
  std::printf("AP?:\t\t%s\n", info.is_ap != 0 ? "Yes" : "No");
  ww::ReleaseWifiQuery(ctx);
  return 0;
}
