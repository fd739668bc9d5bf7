// The regulatory dump: the phy's own domain, then the current country code
// made of it and the adopted one.
#include <cstdint>
#include <cstdlib>

#include "daemon/regulatory/country_resolve.h"
#include "fuzz/fuzz_daemon.h"
#include "fuzz/fuzz_kernel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ww::fuzzing::FuzzDaemon daemon;
  ww::fuzzing::FuzzKernel kernel(daemon.nl80211, ww::fuzzing::SplitAnswers(data, size));
  char country[4];
  ww::ResolveCountryCode(daemon, country);
  // Always a two-character text, whatever the kernel said.
  if (country[2] != '\0' || country[3] != '\0') {
    std::abort();
  }
  return 0;
}
