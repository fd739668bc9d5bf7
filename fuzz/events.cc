// The connection events: one received block through libnl's receive loop,
// once as the nl80211 event socket and once as the route socket set up
// their handlers.
#include <netlink/handlers.h>
#include <netlink/socket.h>

#include <cstdint>
#include <cstdlib>

#include "daemon/netlink/event_monitor.h"
#include "fuzz/fuzz_daemon.h"
#include "fuzz/fuzz_kernel.h"

namespace {

// Never connected: blocks come from the input, not from a socket.
nl_sock* EventSocket(nl_recvmsg_msg_cb_t handler, bool route, ww::ConnectionEvents* events) {
  nl_sock* socket = nl_socket_alloc();
  if (socket == nullptr) {
    std::abort();
  }
  nl_socket_disable_seq_check(socket);
  if (route) {
    nl_socket_disable_auto_ack(socket);
  }
  nl_socket_modify_cb(socket, NL_CB_MSG_IN, NL_CB_CUSTOM, handler, events);
  return socket;
}

void Receive(nl_sock* socket, const uint8_t* data, size_t size) {
  nl_cb* callbacks = nl_socket_get_cb(socket);
  (void)ww::fuzzing::ReceiveThroughLibnl(socket, callbacks, data, size);
  nl_cb_put(callbacks);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ww::fuzzing::FuzzDaemon daemon;
  nl_sock* events = EventSocket(ww::HandleNl80211Event, false, &daemon.events);
  nl_sock* routes = EventSocket(ww::HandleRouteEvent, true, &daemon.events);
  Receive(events, data, size);
  Receive(routes, data, size);
  nl_socket_free(events);
  nl_socket_free(routes);
  return 0;
}
