// The `state` report: a JSON text of both interfaces, the daemon's status
// and the DHCP clients, within a fixed budget. Pure over its inputs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "common/wifiquery/wifi_query.h"

namespace ww {

// The report is at most this many bytes (a terminating NUL would make 1023).
inline constexpr size_t kStateReportMax = 1022;

struct StateReportInputs {
  WifiInfo sta;
  WifiInfo ap;
  const char* password;  // the daemon's
  int32_t state;
  const char* text;  // the state text, TAB-separated fields
  int32_t mode;
  int32_t route;
  int32_t stations;
  int32_t noir;
  char country[2];
  FILE* leases;  // the lease file, or null when it could not be opened
};

// Rewrites one lease line in place for the report: a newline ends it, a
// space becomes a TAB, and control characters, quotes, commas, back-quotes
// and bytes of 128 or more become '~'.
void CleanLeaseLine(char* line);

// The whole report, at most kStateReportMax bytes, always valid JSON.
std::string BuildStateReport(const StateReportInputs& in);

}  // namespace ww
