#include "daemon/netlink/scan_block.h"

#include "common/util/thread_name.h"

namespace ww {

// The scan-block table and the streaming socket arrive with the streaming
// work; until then nothing is blocked and nothing is served.
void UpdateScanBlock(int /*kind*/, const char* /*interface_name*/) {}

void* StreamingScanningThread(void* /*arg*/) {
  SetThreadName("StreamingScanningThread");
  return nullptr;
}

}  // namespace ww
