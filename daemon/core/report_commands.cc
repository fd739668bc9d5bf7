#include "daemon/core/commands.h"

#include <cstdio>
#include <cstring>

#include "common/util/format.h"
#include "common/util/unique_file.h"
#include "daemon/core/daemon.h"
#include "daemon/core/query_pool.h"
#include "daemon/core/state_json.h"
#include "daemon/netlink/survey_report.h"
#include "daemon/regulatory/channel_list.h"
#include "daemon/regulatory/country_resolve.h"

namespace ww {

void CommandStatus(CommandEnv& env, const Request& /*request*/, ReplySink& sink) {
  DaemonState& ds = env.daemon.state;
  char reply[kRequestMax + 1];
  size_t length = 0;
  {
    std::lock_guard<std::mutex> lock(ds.state_lock);
    length = FormatCut(reply, sizeof reply, "%d\t%s", ds.state, ds.text);
  }
  sink.Send(reply, length);
}

void CommandTestScan(CommandEnv& env, const Request& /*request*/, ReplySink& sink) {
  ReportChannelSurvey(env.daemon.nl80211);
  SendText(sink, "1\tDone check journalctl -u wavewarden");
}
WifiQueryContext* OpenQuery(CommandEnv& env) {
  if (env.query_state == kQueryClosed) {
    bool open = false;
    env.pooled = TakePooledQuery(env.daemon.queries, open);
    WifiQueryContext& query = env.pooled < 0 ? env.query : env.daemon.queries.contexts[env.pooled];
    if (!open) {
      open = env.daemon.hooks.open_query(query, env.daemon.query_family) == 0;
    }
    env.query_state = open ? kQueryOpen : kQueryFailed;
    env.query_clean = true;
    if (!open) {
      ReturnPooledQuery(env.daemon.queries, env.pooled, false);
      env.pooled = -1;
      std::fprintf(stderr, "Error initializing netlink in HandleCommandThread\n");
    }
  }
  if (env.query_state != kQueryOpen) {
    return nullptr;
  }
  return env.pooled < 0 ? &env.query : &env.daemon.queries.contexts[env.pooled];
}

int QueryInterface(CommandEnv& env, WifiQueryContext& query, const char* name, WifiInfo& out) {
  const int result = env.daemon.hooks.query(query, name, out);
  // -1 is also a missing interface, which leaves nothing behind; telling it
  // from a time-out is not worth a context kept in doubt.
  if (result == -1) {
    env.query_clean = false;
  }
  return result;
}

void CloseQuery(CommandEnv& env) {
  if (env.pooled < 0) {
    return;
  }
  ReturnPooledQuery(env.daemon.queries, env.pooled,
                    env.query_state == kQueryOpen && env.query_clean);
  env.pooled = -1;
  env.query_state = kQueryClosed;
}

// Whether the access point's interface exists, asked on the query's own
// socket when it has one (any socket answers the index request).
bool ApInterfaceExists(const WifiQueryContext& query) {
  return GetInterfaceIndex(kApInterface, QuerySocketFd(query)) >= 0;
}

void CommandState(CommandEnv& env, const Request& /*request*/, ReplySink& sink) {
  Daemon& daemon = env.daemon;
  DaemonState& ds = daemon.state;
  WifiQueryContext* const query = OpenQuery(env);
  if (query == nullptr) {
    return;
  }
  StateReportInputs in{};
  if (QueryInterface(env, *query, kStationInterface, in.sta) != 0) {
    in.sta = WifiInfo{};
    std::fprintf(stderr, "GetWifiInfo failed for %s\n", kStationInterface);
  }
  if (ApInterfaceExists(*query) && QueryInterface(env, *query, kApInterface, in.ap) != 0) {
    in.ap = WifiInfo{};
    std::fprintf(stderr, "GetWifiInfo failed for %s\n", kApInterface);
  }
  char text[kStateTextSize];
  {
    std::lock_guard<std::mutex> lock(ds.state_lock);
    std::memcpy(text, ds.text, sizeof text);
    in.state = ds.state;
  }
  text[sizeof text - 1] = '\0';
  char password[sizeof ds.password];
  CopyCredentials(ds, nullptr, password);
  in.text = text;
  in.password = password;
  in.mode = ds.desired_mode.load();
  in.route = ds.route.load();
  in.stations = ds.stations.load();
  in.noir = ds.noir_mode.load() + 2 * ds.hidden_ssid_blocked.load();
  daemon.country.useCountryCode.Load(in.country);
  const UniqueFile leases(std::fopen(daemon.paths.dnsmasq_leases, "re"));
  in.leases = leases.get();
  const std::string report = BuildStateReport(in);
  sink.Send(report.data(), report.size());
}
void CommandGetChannels(CommandEnv& env, const Request& /*request*/, ReplySink& sink) {
  char country[4];
  ResolveCountryCode(env.daemon, country);
  char reply[kChannelListSize] = {};
  bool found = false;
  const size_t length = FormatChannelList(country, reply, sizeof reply, found);
  sink.Send(reply, length);
  if (!found) {
    std::fprintf(stderr, "error: lookup failed for country '%s'\n", country);
  }
}
void CommandGetCreds(CommandEnv& env, const Request& /*request*/, ReplySink& sink) {
  WifiQueryContext* const query = OpenQuery(env);
  if (query == nullptr) {
    return;
  }
  WifiInfo info{};
  if (ApInterfaceExists(*query) && QueryInterface(env, *query, kApInterface, info) != 0) {
    std::fprintf(stderr, "GetWifiInfo failed for %s\n", kApInterface);
    return;
  }
  if (info.is_ap == 0) {
    sink.Send("", 1);  // one NUL: no access point up
    return;
  }
  char password[sizeof env.daemon.state.password];
  CopyCredentials(env.daemon.state, nullptr, password);
  char reply[2048] = {};
  const size_t length = FormatCut(reply, sizeof reply - 1, "%s%c%s%c", info.ssid, 0, password, 0);
  sink.Send(reply, length);
}

}  // namespace ww
