// The 6 GHz check: the interface dump that finds wlan0's phy, that phy's
// regulatory rules, and the country dump that decides the hidden-name rule.
#include <cstdint>
#include <cstdlib>

#include "daemon/regulatory/six_ghz.h"
#include "fuzz/fuzz_daemon.h"
#include "fuzz/fuzz_kernel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ww::fuzzing::FuzzDaemon daemon;
  ww::fuzzing::FuzzKernel kernel(daemon.nl80211, ww::fuzzing::SplitAnswers(data, size));
  ww::CheckSixGhzAvailability(daemon);
  const ww::DaemonState& ds = daemon.state;
  if ((ds.no_6ghz | 1) != 1 || (ds.noir_mode.load() | 1) != 1 ||
      (ds.hidden_ssid_blocked.load() | 1) != 1) {
    std::abort();
  }
  return 0;
}
