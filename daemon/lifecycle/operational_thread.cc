#include "daemon/lifecycle/operational_thread.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "common/wifiquery/wifi_query.h"
#include "daemon/core/daemon.h"
#include "daemon/lifecycle/services.h"

namespace ww {
namespace {

void SetText(DaemonState& ds, const char* text) {
  std::lock_guard<std::mutex> lock(ds.state_lock);
  std::snprintf(ds.text, sizeof ds.text, "%s", text);
}

void Teardown(Daemon& daemon, OperationalVars& vars) {
  DaemonState& ds = daemon.state;
  SetText(ds, "Tearing Down.");
  StopServices(daemon);
  CleanupServices(daemon);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  {
    std::lock_guard<std::mutex> lock(ds.state_lock);
    ds.state = kStateNoAp;
    ds.ap_active = 0;
    ds.stations.store(0);
    std::snprintf(ds.text, sizeof ds.text, "%s", "Disabled.");
  }
  vars.last_frequency = -1;
  vars.pending_error = false;
}

// Creation, placement, launch and health check of the access point arrive
// with the lifecycle work; until then a pass only publishes its outcome.
void ContinueAccessPointPass(Daemon& daemon, OperationalVars& vars) {
  DaemonState& ds = daemon.state;
  std::lock_guard<std::mutex> lock(ds.state_lock);
  if (vars.pending_error) {
    std::snprintf(ds.text, sizeof ds.text, "%s", vars.error_text);
    ds.state = kStateBusy;
    vars.pending_error = false;
  } else {
    ds.state = ds.ap_active != 0 ? kStateRunning : kStateNoAp;
  }
}

}  // namespace

void RunOperationalPass(Daemon& daemon, OperationalVars& vars) {
  DaemonState& ds = daemon.state;
  bool recreate = false;
  bool teardown = false;
  const int32_t refresh = ds.refresh_teardown_flag_value.exchange(0);
  if (refresh != 0) {
    std::fprintf(stderr, "refresh_teardown_flag_value = %d\n", refresh);
    for (int i = 1; i < refresh; ++i) {
      std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    recreate = ds.ap_active != 0;
    // A refresh tears down anyway, so a teardown stored with it is spent.
    ds.teardown_requested.exchange(0);
    teardown = true;
  } else {
    teardown = ds.teardown_requested.exchange(0) != 0;
  }
  if (teardown) {
    Teardown(daemon, vars);
  }

  const bool create = ds.create_requested.exchange(0) != 0;
  if (!create && !recreate) {
    if (ds.ap_active == 0) {
      std::lock_guard<std::mutex> lock(ds.state_lock);
      ds.state = kStateNoAp;
      return;
    }
    vars.stop_first = false;  // maintenance pass
  }
  ContinueAccessPointPass(daemon, vars);
}

void* OperationalThread(void* arg) {
  Daemon& daemon = *static_cast<Daemon*>(arg);
  DaemonState& ds = daemon.state;
  SetThreadName("OperationalThread");
  {
    std::lock_guard<std::mutex> lock(ds.state_lock);
    std::snprintf(ds.text, sizeof ds.text, "%s", "Idle");
    ds.state = kStateNoAp;
  }
  ds.stations.store(0);

  WifiQueryContext query{};
  if (InitWifiQuery(query) != 0) {
    std::fprintf(stderr, "Error initializing netlink in OperationalThread\n");
    return nullptr;
  }
  OperationalVars vars;
  for (;;) {
    // A post and a time-out are treated alike.
    ds.wake_semaphore.WaitFor(kSupervisionPeriodSeconds);
    RunOperationalPass(daemon, vars);
  }
}

}  // namespace ww
