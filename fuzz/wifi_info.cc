// The interface query's answer: one received block through libnl's receive
// loop with the query's handlers, each answer folded into a WifiInfo.
#include <netlink/handlers.h>
#include <netlink/socket.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "common/wifiquery/wifi_query.h"
#include "fuzz/fuzz_kernel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Never connected: the block comes from the input, not from a socket.
  static nl_sock* const socket = nl_socket_alloc();
  nl_cb* callbacks = nl_cb_alloc(NL_CB_DEFAULT);
  if (socket == nullptr || callbacks == nullptr) {
    std::abort();
  }
  ww::WifiInfo info{};
  int32_t done = 1;
  // As the query sets them up: answers, the end of a dump, any sequence.
  nl_cb_set(callbacks, NL_CB_VALID, NL_CB_CUSTOM, ww::WifiInfoHandler, &info);
  nl_cb_set(callbacks, NL_CB_FINISH, NL_CB_CUSTOM, ww::WifiInfoFinishHandler, &done);
  nl_cb_set(
      callbacks, NL_CB_SEQ_CHECK, NL_CB_CUSTOM, [](nl_msg*, void*) -> int { return NL_OK; },
      nullptr);
  (void)ww::fuzzing::ReceiveThroughLibnl(socket, callbacks, data, size);
  nl_cb_put(callbacks);
  // The name the reports print is a C string of at most 32 bytes.
  if (strnlen(info.ssid, sizeof info.ssid) > 32 || (info.band == 0) != (info.channel == 0)) {
    std::abort();
  }
  return 0;
}
