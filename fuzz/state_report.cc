// The state report: the lease file's lines, cleaned, among the strings the
// daemon holds (state text, passphrase, network names, country). The
// report must stay within its budget and be JSON whatever they hold.
//
// Input: country NUL text NUL password NUL station name NUL AP name NUL,
// then the lease file (the last part may hold NULs; missing parts are empty).
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "daemon/core/state_json.h"
#include "daemon/lifecycle/daemon_state.h"

namespace {

// Cleaning leaves a line no byte that could end or break out of a JSON
// string or the report's fields.
void CheckCleaned(const std::string& line) {
  std::vector<char> copy(line.begin(), line.end());
  copy.push_back('\0');
  ww::CleanLeaseLine(copy.data());
  for (const char* p = copy.data(); *p != '\0'; ++p) {
    const auto c = static_cast<unsigned char>(*p);
    if ((c < 32 && c != '\t') || c >= 128 || std::strchr("'\",`\n", c) != nullptr) {
      std::abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* p = reinterpret_cast<const char*>(data);
  const char* end = p + size;
  std::string parts[5];
  for (std::string& part : parts) {
    const char* stop = std::find(p, end, '\0');
    part.assign(p, stop);
    p = stop == end ? end : stop + 1;
  }
  const std::string leases(p, end);

  ww::StateReportInputs in{};
  in.country[0] = parts[0].size() > 0 ? parts[0][0] : '\0';
  in.country[1] = parts[0].size() > 1 ? parts[0][1] : '\0';
  // The daemon's buffers bound what it could hold.
  const std::string text = parts[1].substr(0, ww::kStateTextSize - 1);
  const std::string password = parts[2].substr(0, ww::kCredentialSize - 1);
  in.text = text.c_str();
  in.password = password.c_str();
  in.sta = {5180, 36, {}, 1, 0, 80, 5};
  std::snprintf(in.sta.ssid, sizeof in.sta.ssid, "%.32s", parts[3].c_str());
  in.ap = {5955, 1, {}, 0, 1, 160, 6};
  std::snprintf(in.ap.ssid, sizeof in.ap.ssid, "%.32s", parts[4].c_str());
  in.state = ww::kStateRunning;
  in.mode = ww::kModeHbs;
  in.route = ww::kRouteNat;
  in.stations = 2;

  size_t start = 0;
  while (start < leases.size()) {
    const size_t newline = leases.find('\n', start);
    CheckCleaned(leases.substr(start, newline - start));
    start = newline == std::string::npos ? leases.size() : newline + 1;
  }

  std::vector<char> file(leases.begin(), leases.end());
  in.leases = file.empty() ? nullptr : fmemopen(file.data(), file.size(), "r");
  const std::string report = ww::BuildStateReport(in);
  if (in.leases != nullptr) {
    std::fclose(in.leases);
  }
  if (report.size() > ww::kStateReportMax || !nlohmann::json::accept(report)) {
    std::abort();
  }
  return 0;
}
