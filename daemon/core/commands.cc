#include "daemon/core/commands.h"

#include <cstdio>
#include <cstring>

#include "daemon/core/daemon.h"
#include "daemon/core/last_state.h"
#include "daemon/regulatory/country_code.h"

namespace ww {

void SendText(ReplySink& sink, const char* text) {
  sink.Send(text, std::strlen(text));
}

void CommandRefresh(CommandEnv& env, const Request& request, ReplySink& sink) {
  DaemonState& ds = env.daemon.state;
  const bool dump_keys = std::strcmp(request.words[1], "--dump-keys") == 0;
  std::lock_guard<std::mutex> order(env.daemon.request_lock);
  PostRequest(ds, [&](uint64_t serial) {
    ds.refresh_teardown_flag_value.store(kRefreshNow);
    ds.refresh_serial = serial;
    ds.hostapd_debug.store(dump_keys ? 1 : 0);
  });
  SendText(sink, "1\tRefreshing");
}

void CommandDelayRefresh(CommandEnv& env, const Request& /*request*/, ReplySink& sink) {
  DaemonState& ds = env.daemon.state;
  std::lock_guard<std::mutex> order(env.daemon.request_lock);
  PostRequest(ds, [&](uint64_t serial) {
    ds.refresh_teardown_flag_value.store(kRefreshDelayed);
    ds.refresh_serial = serial;
  });
  SendText(sink, "1\tRefreshing");
}

void CommandSetFallbackCountryCode(CommandEnv& env, const Request& request, ReplySink& sink) {
  char code[3] = {};
  // hostapd takes only two capital letters; "de" means DE.
  if (!CapitalCountryCode(request.words[1], code)) {
    SendText(sink, "0\tInvalid Parameters");
    return;
  }
  // Adopting a code talks to the kernel and may take a while: answer first.
  SendText(sink, "1\tSetting");
  std::fprintf(stderr, "set-fallback-country-code: %c%c\n", code[0], code[1]);
  env.daemon.country.fallback_country_code.Store(code[0], code[1]);
  ApplyCountryCode(env.daemon, code, kPriorityFallback);
}

bool RefuseSupersededReplay(CommandEnv& env, ReplySink& sink) {
  if (!ReplaySuperseded(env.daemon, env.from_replay)) {
    return false;
  }
  SendText(sink, "0\tSuperseded by a newer request");
  return true;
}

void CommandTeardown(CommandEnv& env, const Request& request, ReplySink& sink) {
  std::lock_guard<std::mutex> order(env.daemon.request_lock);
  if (RefuseSupersededReplay(env, sink)) {
    return;
  }
  RecordRequest(env.daemon, request.raw);
  DaemonState& ds = env.daemon.state;
  PostRequest(ds, [&](uint64_t serial) {
    ds.teardown_requested.store(1);
    ds.teardown_serial = serial;
  });
  SendText(sink, "1\tTearing down");
}

void CommandUnknown(CommandEnv& /*env*/, const Request& /*request*/, ReplySink& sink) {
  SendText(sink, "Unknown command / try 'enablencm' 'teardown' 'create' 'state' or 'status'");
}

}  // namespace ww
