// The controller's answer to the nl80211 family request, read block by
// block as the family look-up does until the exchange has ended.
#include <cstdint>

#include "daemon/netlink/raw_channel.h"
#include "fuzz/fuzz_kernel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ww::fuzzing::Answer blocks;
  for (const ww::fuzzing::Answer& answer : ww::fuzzing::SplitAnswers(data, size)) {
    blocks.insert(blocks.end(), answer.begin(), answer.end());
  }
  ww::RawChannel channel;
  ww::fuzzing::FuzzKernel kernel(channel);
  kernel.Queue(blocks);
  channel.family_id = 0;
  // One read per queued block: the look-up's own loop would wait for an
  // end that an input need not bring.
  for (size_t i = 0; i < blocks.size(); ++i) {
    if (ww::ReadControlReply(channel) == 0) {
      break;
    }
  }
  return 0;
}
