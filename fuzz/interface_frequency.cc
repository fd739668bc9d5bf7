// The interface dump, read twice: for an interface's frequency (scan
// blocking) and for wlan0's phy (the 6 GHz check).
#include <cstdint>
#include <cstdlib>

#include "daemon/netlink/scan_block.h"
#include "daemon/regulatory/six_ghz.h"
#include "fuzz/fuzz_kernel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ww::RawChannel channel;
  ww::fuzzing::FuzzKernel kernel(channel, ww::fuzzing::SplitAnswers(data, size));
  const double frequency = ww::GetInterfaceFrequency(channel, "wlanap");
  if (frequency != -1.0 && frequency <= 0) {
    std::abort();
  }
  uint32_t phy = 0;
  (void)ww::FindWlan0Phy(channel, &phy);
  return 0;
}
