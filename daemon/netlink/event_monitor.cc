#include "daemon/netlink/event_monitor.h"

#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netlink/genl/ctrl.h>
#include <netlink/genl/genl.h>
#include <netlink/netlink.h>
#include <netlink/route/route.h>
#include <netlink/socket.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>

#include "common/util/interfaces.h"
#include "common/util/nl80211_ids.h"
#include "common/util/nl_message.h"
#include "common/util/nl_ptr.h"
#include "common/util/report.h"
#include "common/util/thread_name.h"

namespace ww {
namespace {

constexpr const char* kModule = "wavewarden";
constexpr int kLinePoll = 414;

using namespace nl80211;  // NOLINT(google-build-using-namespace)

using SocketPtr = NlSockPtr;

SocketPtr OpenRouteSocket(ConnectionEvents& events) {
  SocketPtr sock(nl_socket_alloc());
  if (!sock) {
    std::fprintf(stderr, "Failed to allocate netlink socket for route changes.\n");
    return nullptr;
  }
  if (const int err = nl_connect(sock.get(), NETLINK_ROUTE); err < 0) {
    std::fprintf(stderr, "Failed to connect to netlink route: %s\n", nl_geterror(err));
    return nullptr;
  }
  nl_socket_disable_seq_check(sock.get());
  nl_socket_disable_auto_ack(sock.get());
  nl_socket_modify_cb(sock.get(), NL_CB_MSG_IN, NL_CB_CUSTOM, HandleRouteEvent, &events);
  if (const int err =
          nl_socket_add_memberships(sock.get(), RTNLGRP_IPV4_ROUTE, RTNLGRP_IPV6_ROUTE, 0);
      err < 0) {
    std::fprintf(stderr, "Failed to join multicast groups: %s\n", nl_geterror(err));
    return nullptr;
  }
  return sock;
}

SocketPtr OpenNl80211Socket(ConnectionEvents& events) {
  SocketPtr sock(nl_socket_alloc());
  if (!sock) {
    std::fprintf(stderr, "Failed to allocate netlink socket for nl80211 events.\n");
    return nullptr;
  }
  if (genl_connect(sock.get()) != 0) {
    std::fprintf(stderr, "Failed to connect to generic netlink.\n");
    return nullptr;
  }
  nl_socket_disable_seq_check(sock.get());
  if (genl_ctrl_resolve(sock.get(), "nl80211") < 0) {
    std::fprintf(stderr, "nl80211 family not found.\n");
    return nullptr;
  }
  nl_socket_modify_cb(sock.get(), NL_CB_MSG_IN, NL_CB_CUSTOM, HandleNl80211Event, &events);
  for (const char* name : {"mlme", "scan"}) {
    const int group = genl_ctrl_resolve_grp(sock.get(), "nl80211", name);
    if (group >= 0 && nl_socket_add_membership(sock.get(), group) < 0) {
      std::fprintf(stderr, "Failed to join multicast group: %s\n", name);
    }
  }
  return sock;
}

}  // namespace

int64_t MonotonicMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

Nl80211EventAction MapNl80211Event(uint8_t command, const char* ifname, const uint8_t* mac,
                                   const MacAddress& last_bssid) {
  Nl80211EventAction action;
  if (mac == nullptr) {
    return action;
  }
  char text[18];
  std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2], mac[3],
                mac[4], mac[5]);
  if (command == kCmdConnect && std::strcmp(ifname, kStationInterface) == 0) {
    action.kind = Nl80211EventAction::Kind::kConnect;
    action.log = std::string("connected to AP MAC: ") + text;
    action.bssid_changed = std::memcmp(mac, last_bssid.data(), last_bssid.size()) != 0;
    if (action.bssid_changed) {
      action.log += " CHANGED ";
    }
    action.log += "\n";
  } else if (command == kCmdNewStation && std::strcmp(ifname, kApInterface) == 0) {
    action.kind = Nl80211EventAction::Kind::kNewStation;
    action.log = std::string("new station on softap: ") + text + "\n";
  } else if (command == kCmdDelStation && std::strcmp(ifname, kApInterface) == 0) {
    action.kind = Nl80211EventAction::Kind::kDelStation;
    action.log = std::string("del station on softap: ") + text + "\n";
  }
  return action;
}

StationMoveAction MapStationMoveEvent(uint8_t command, const char* ifname, uint32_t frequency) {
  StationMoveAction action;
  if (std::strcmp(ifname, kStationInterface) != 0) {
    return action;
  }
  const bool freq_ok = frequency > 0 && frequency < 100000;
  action.frequency = freq_ok ? static_cast<int32_t>(frequency) : 0;
  if (command == kCmdChSwitchStartedNotify && freq_ok) {
    action.kind = StationMoveAction::Kind::kStarted;
    action.log = "station switching to freq " + std::to_string(frequency) + "\n";
  } else if (command == kCmdChSwitchNotify) {
    action.kind = StationMoveAction::Kind::kDone;
    if (freq_ok) {
      action.log = "station switched to freq " + std::to_string(frequency) + "\n";
    }
  } else if (command == kCmdDisconnect) {
    action.kind = StationMoveAction::Kind::kLost;
  } else if (command == kCmdNewScanResults) {
    action.kind = StationMoveAction::Kind::kScanned;
  }
  return action;
}

bool IsNewDefaultRoute(uint16_t message_type, uint8_t family, bool has_destination) {
  return message_type == RTM_NEWROUTE && (family == AF_INET || family == AF_INET6) &&
         !has_destination;
}

bool MultipathIsWalkable(const uint8_t* message, size_t length) {
  constexpr size_t kAttributesStart = NLMSG_HDRLEN + NLMSG_ALIGN(sizeof(rtmsg));
  constexpr size_t kHopHeader = sizeof(rtnexthop);
  if (length < kAttributesStart) {
    return true;
  }
  // The walker stops where libnl's own attribute walk stops.
  nl::AttributeWalker attributes(nl::Bytes(message + kAttributesStart, length - kAttributesStart));
  while (const std::optional<nl::Attribute> attribute = attributes.Next()) {
    // The via address: libnl copies its length minus the family field.
    if (attribute->FullType() == RTA_VIA && attribute->payload.size() < sizeof(uint16_t)) {
      return false;
    }
    if (attribute->FullType() == RTA_MULTIPATH) {
      size_t left = attribute->payload.size();
      const uint8_t* hop_at = attribute->payload.data();
      while (left >= kHopHeader) {
        rtnexthop hop{};
        std::memcpy(&hop, hop_at, sizeof hop);
        if (hop.rtnh_len > left) {
          break;  // libnl ends the walk here
        }
        const size_t step = RTNH_ALIGN(hop.rtnh_len);
        if (hop.rtnh_len < kHopHeader || step > left) {
          return false;
        }
        left -= step;
        hop_at += step;
      }
    }
  }
  return true;
}

int HandleNl80211Event(nl_msg* message, void* arg) {
  ConnectionEvents& events = *static_cast<ConnectionEvents*>(arg);
  const std::optional<nl::Message> m = nl::GenericMessage(nlmsg_hdr(message));
  if (!m) {
    return NL_OK;
  }
  // The last of each type counts, as with libnl's parser.
  std::optional<nl::Attribute> index_attr;
  std::optional<nl::Attribute> mac_attr;
  std::optional<nl::Attribute> freq_attr;
  nl::AttributeWalker walker = nl::MessageAttributes(*m);
  while (const std::optional<nl::Attribute> a = walker.Next()) {
    if (a->FullType() == kAttrIfindex) {
      index_attr = a;
    } else if (a->FullType() == kAttrMac) {
      mac_attr = a;
    } else if (a->FullType() == kAttrWiphyFreq) {
      freq_attr = a;
    }
  }
  char ifname[IF_NAMESIZE] = {};
  if (index_attr && index_attr->U32()) {
    const uint32_t index = *index_attr->U32();
    if (::if_indextoname(index, ifname) == nullptr) {
      std::fprintf(stderr, "Could not get interface name from index: %d\n",
                   static_cast<int>(index));
      return NL_OK;
    }
  }
  const uint8_t* mac = nullptr;
  if (mac_attr && mac_attr->payload.size() >= 6) {
    mac = mac_attr->payload.data();
  }
  const uint8_t command = m->bytes[nl::kMessageHeaderSize];
  const std::optional<uint32_t> freq = freq_attr ? freq_attr->U32() : std::nullopt;
  const StationMoveAction move = MapStationMoveEvent(command, ifname, freq.value_or(0));
  switch (move.kind) {
    case StationMoveAction::Kind::kNone:
      break;
    case StationMoveAction::Kind::kScanned:
      // While the station is lost, its scans may show where its network went.
      if (events.station_lost_ms.load() != 0) {
        events.wake.Post();
      }
      return NL_OK;
    case StationMoveAction::Kind::kLost:
      events.station_switch_mhz.store(0);
      if (events.station_lost_ms.load() == 0) {
        events.station_lost_ms.store(MonotonicMs());
      }
      return NL_OK;
    case StationMoveAction::Kind::kStarted:
    case StationMoveAction::Kind::kDone:
      std::fputs(move.log.c_str(), stderr);
      events.station_switch_mhz.store(
          move.kind == StationMoveAction::Kind::kStarted ? move.frequency : 0);
      events.wake.Post();
      return NL_OK;
  }
  const Nl80211EventAction action = MapNl80211Event(command, ifname, mac, events.last_bssid);
  std::fputs(action.log.c_str(), stderr);
  switch (action.kind) {
    case Nl80211EventAction::Kind::kConnect:
      events.station_switch_mhz.store(0);
      events.station_lost_ms.store(0);
      if (action.bssid_changed && mac != nullptr) {
        std::memcpy(events.last_bssid.data(), mac, events.last_bssid.size());
        events.wake.Post();
      }
      break;
    case Nl80211EventAction::Kind::kNewStation:
      events.stations.fetch_add(1);
      break;
    case Nl80211EventAction::Kind::kDelStation:
      events.stations.fetch_sub(1);
      break;
    case Nl80211EventAction::Kind::kNone:
      break;
  }
  return NL_OK;
}

int HandleRouteEvent(nl_msg* message, void* arg) {
  ConnectionEvents& events = *static_cast<ConnectionEvents*>(arg);
  nlmsghdr* header = nlmsg_hdr(message);
  if (header->nlmsg_type != RTM_NEWROUTE) {
    return NL_OK;
  }
  rtnl_route* route = nullptr;
  if (!MultipathIsWalkable(reinterpret_cast<const uint8_t*>(header), header->nlmsg_len) ||
      rtnl_route_parse(header, &route) < 0) {
    std::fprintf(stderr, "Error parsing route message.\n");
    return NL_STOP;
  }
  const auto family = static_cast<uint8_t>(rtnl_route_get_family(route));
  nl_addr* destination = rtnl_route_get_dst(route);
  const bool has_destination = destination != nullptr && nl_addr_get_len(destination) != 0;
  if (IsNewDefaultRoute(header->nlmsg_type, family, has_destination)) {
    events.wake.Post();
    std::printf("Default route added\n");
  }
  rtnl_route_put(route);
  return NL_OK;
}

void* DetectConnectionChangeThread(void* arg) {
  ConnectionEvents& events = *static_cast<ConnectionEvents*>(arg);
  SetThreadName("DetectConnectionChangeThread");
  SocketPtr route = OpenRouteSocket(events);
  SocketPtr nl80211 = OpenNl80211Socket(events);
  for (;;) {
    // Whichever socket could be set up is watched; the other is left out.
    pollfd fds[2] = {{nl80211 ? nl_socket_get_fd(nl80211.get()) : -1, POLLIN, 0},
                     {route ? nl_socket_get_fd(route.get()) : -1, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) {
        continue;  // every ended child sends SIGCHLD; that is no failure
      }
      ReportCallFailure(kModule, kLinePoll, "DetectConnectionChangeThread", "poll", errno);
      return nullptr;
    }
    if (nl80211 && (fds[0].revents & POLLIN) != 0) {
      (void)nl_recvmsgs_default(nl80211.get());
    }
    if (route && (fds[1].revents & POLLIN) != 0) {
      (void)nl_recvmsgs_default(route.get());
    }
  }
}

}  // namespace ww
