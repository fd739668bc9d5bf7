#include "daemon/netlink/event_monitor.h"

#include "common/util/thread_name.h"

namespace ww {

// The nl80211 and route event sockets arrive with the event monitor work.
void* DetectConnectionChangeThread(void* /*arg*/) {
  SetThreadName("DetectConnectionChangeThread");
  return nullptr;
}

}  // namespace ww
