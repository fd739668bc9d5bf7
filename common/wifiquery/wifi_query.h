// Interface query over nl80211: what one wireless interface is doing now.
// One context per thread; contexts are never shared.
#pragma once

#include <cstddef>
#include <cstdint>

struct nl_sock;
struct nl_cb;
struct nl_msg;

namespace ww {

struct WifiInfo {
  uint32_t frequency;  // MHz, 0 when none
  uint32_t channel;    // 0 when the frequency is in no band
  char ssid[36];
  int32_t connected;
  int32_t is_ap;
  int32_t width;  // MHz, -1 for an unknown width code, 0 when absent
  int32_t band;   // 2, 5, 6 or 0
};

struct WifiQueryContext {
  nl_sock* socket;
  int32_t done;
  nl_cb* callbacks;
  int32_t family;
  WifiInfo result;
  // True only after a query read its answer and acknowledgement: nothing of
  // it can still arrive, so the next query need not drain first.
  bool settled;
  // The sequence number of the request in flight, and how many messages
  // carrying it, and carrying any other, its query has read.
  uint32_t sequence;
  int32_t own_messages;
  int32_t other_messages;
};

// The attributes of one interface answer that a WifiInfo is made of, as
// plain values; a null `ssid` means the answer carried none.
struct InterfaceAttributes {
  const uint32_t* frequency;
  const uint32_t* width_code;
  const uint8_t* ssid;
  size_t ssid_length;
  const uint32_t* iftype;
};

// nl80211 channel width code to MHz; -1 for codes this module does not know.
int32_t WidthFromCode(uint32_t code);

// Folds one answer's attributes into `info`. Fields whose attribute is absent
// keep their values.
void ApplyInterfaceAttributes(const InterfaceAttributes& attributes, WifiInfo& info);

// Connects the context to generic netlink. 0 on success, -1 when the
// connection fails (nothing is left allocated then). A positive
// `known_family` is taken as nl80211's id instead of asking the controller
// for it (the daemon's command threads reuse the id found at start-up: the
// controller's answer lists every nl80211 operation and costs more than the
// query itself).
int InitWifiQuery(WifiQueryContext& ctx, int32_t known_family = 0);

// Releases what InitWifiQuery allocated and zeroes the context.
void ReleaseWifiQuery(WifiQueryContext& ctx);

// Asks nl80211 about interface `name`. 0 with `out` filled; a negative value
// with `out` untouched.
int GetWifiInfo(WifiQueryContext& ctx, const char* name, WifiInfo& out);

// The same, asking for the interface's index on the context's own socket
// instead of a socket opened for it: the daemon's queries, which come as
// often as its clients ask.
int GetWifiInfoOnOwnSocket(WifiQueryContext& ctx, const char* name, WifiInfo& out);

// The descriptor of the context's socket, -1 when it has none.
int QuerySocketFd(const WifiQueryContext& ctx);

// The interface's index, or -1. Asked on `fd` when it is given (any open
// socket will do), else on a socket opened for it.
int GetInterfaceIndex(const char* name, int fd = -1);

// Receives and handles one block within 200 ms. 0 when one was handled; -1
// on time-out or poll failure; otherwise libnl's negative error code.
int NLRecvmsgsWithTimeout(nl_sock* socket, nl_cb* callbacks);

// Drops at most one datagram left from an earlier query.
void DrainWifiQuerySocket(nl_sock* socket);

// libnl handlers: the answer, and the end of a multipart answer.
int WifiInfoHandler(nl_msg* message, void* arg);
int WifiInfoFinishHandler(nl_msg* message, void* arg);

}  // namespace ww
