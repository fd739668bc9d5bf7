#include "tools/probe/probe_report.h"

namespace ww {

void PrintWifiInfo(std::FILE* out, const char* name, const WifiInfo& info) {
  // Scripts read these lines, tabs included.
  std::fprintf(out, "Interface:\t%s\n", name);
  std::fprintf(out, "SSID:\t\t%s\n", info.ssid);
  std::fprintf(out, "Band:\t\t%d\n", info.band);
  std::fprintf(out, "Frequency:\t%d MHz\n", static_cast<int>(info.frequency));
  std::fprintf(out, "Channel:\t%d\n", static_cast<int>(info.channel));
  std::fprintf(out, "Connected:\t%s\n", info.connected != 0 ? "Yes" : "No");
  std::fprintf(out, "AP?:\t\t%s\n", info.is_ap != 0 ? "Yes" : "No");
}

}  // namespace ww
