#include "daemon/lifecycle/operational_thread.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "common/util/format.h"
#include "common/wifiquery/wifi_query.h"
#include "daemon/core/daemon.h"
#include "daemon/lifecycle/placement.h"
#include "daemon/lifecycle/plumbing.h"
#include "daemon/lifecycle/request_order.h"
#include "daemon/lifecycle/services.h"

namespace ww {
namespace {

void Teardown(Daemon& daemon, OperationalVars& vars) {
  DaemonState& ds = daemon.state;
  SetStateText(ds, "Tearing Down.");
  StopServices(daemon);
  CleanupServices(daemon);
  daemon.hooks.sleep(std::chrono::milliseconds(200));
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

void Create(Daemon& daemon, OperationalVars& vars) {
  DaemonState& ds = daemon.state;
  ds.stations.store(0);
  SetStateText(ds, "Creating.");
  CreateAccessPointInterface(daemon, vars);
  vars.last_frequency = -1;
  vars.launch_needed = true;
  vars.stop_first = true;
  ds.ap_active = 1;
}

// Steps of a pass that has an access point: route watch, placement,
// launch, health check, outcome.
void Supervise(Daemon& daemon, OperationalVars& vars, WifiQueryContext& query, int32_t mode,
               int32_t route, bool creating) {
  DaemonState& ds = daemon.state;
  WatchDefaultRoute(daemon, vars);
  const ChannelDecision decision = ChooseChannel(daemon, vars, query, mode, creating);
  bool launch = decision == ChannelDecision::kChanged;
  if (!launch) {
    if (vars.stop_first) {
      StopServices(daemon);
      ds.stations.store(0);
    }
    launch = vars.launch_needed;
  }
  if (launch) {
    LaunchServices(daemon, route, vars);
  }
  const ServiceVerdict verdict = CheckServices(daemon, route, vars);
  std::lock_guard<std::mutex> lock(ds.state_lock);
  if (verdict != ServiceVerdict::kHealthy || vars.pending_error) {
    FormatCut(ds.text, sizeof ds.text, "%s", vars.error_text);
    ds.state = kStateBusy;
    vars.pending_error = false;
  } else {
    ds.state = ds.ap_active != 0 ? kStateRunning : kStateNoAp;
  }
}

}  // namespace

void RunOperationalPass(Daemon& daemon, OperationalVars& vars, WifiQueryContext& query) {
  DaemonState& ds = daemon.state;
  const PendingRequests pending = TakeRequests(ds);
  // Taken after the requests: a create stores its mode and route before its
  // request, so this pass places what the last create it serves asked for.
  const int32_t mode = ds.desired_mode.load(std::memory_order_acquire);
  const int32_t route = ds.route.load(std::memory_order_acquire);
  if (pending.refresh != 0) {
    std::fprintf(stderr, "refresh_teardown_flag_value = %d\n", pending.refresh);
    for (int i = 1; i < pending.refresh; ++i) {
      daemon.hooks.sleep(std::chrono::seconds(1));
    }
  }
  const PassPlan plan = PlanPass(pending, ds.ap_active != 0);
  if (plan.teardown) {
    Teardown(daemon, vars);
  }
  if (plan.create) {
    Create(daemon, vars);
  } else if (ds.ap_active == 0) {
    std::lock_guard<std::mutex> lock(ds.state_lock);
    ds.state = kStateNoAp;
    return;
  } else {
    vars.stop_first = false;  // maintenance pass
  }
  Supervise(daemon, vars, query, mode, route, plan.create);
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
    // Without this thread requests would be accepted and never acted on;
    // ending lets the service manager start a daemon that works.
    std::_Exit(kExitNoNetlink);
  }
  OperationalVars vars;
  for (;;) {
    // A post and a time-out are treated alike.
    ds.wake_semaphore.WaitFor(kSupervisionPeriodSeconds);
    // The stop thread takes the lock to stop the services; a pass must
    // neither run beside it nor start after it.
    std::unique_lock<std::timed_mutex> pass(daemon.pass_lock);
    if (daemon.stopping.load()) {
      ReleaseWifiQuery(query);
      return nullptr;
    }
    RunOperationalPass(daemon, vars, query);
  }
}

}  // namespace ww
