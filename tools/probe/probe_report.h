// What bandprobe prints for one interface.
#pragma once

#include <cstdio>

#include "common/wifiquery/wifi_query.h"

namespace ww {

// Writes the seven report lines for interface `name` to `out`. The channel
// width is queried but not part of the report.
void PrintWifiInfo(std::FILE* out, const char* name, const WifiInfo& info);

}  // namespace ww
