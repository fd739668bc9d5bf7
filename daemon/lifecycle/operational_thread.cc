#include "daemon/lifecycle/operational_thread.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "common/util/format.h"
#include "common/util/thread_name.h"
#include "common/wifiquery/wifi_query.h"
#include "daemon/lifecycle/ap_runtime.h"
#include "daemon/lifecycle/placement.h"
#include "daemon/lifecycle/plumbing.h"
#include "daemon/lifecycle/request_order.h"
#include "daemon/lifecycle/services.h"

namespace ww {
namespace {

void Teardown(ApRuntime& runtime, OperationalVars& vars) {
  DaemonState& ds = runtime.state;
  SetStateText(ds, "Tearing Down.");
  StopServices(runtime);
  CleanupServices(runtime);
  runtime.hooks.sleep(std::chrono::milliseconds(200));
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

void Create(ApRuntime& runtime, OperationalVars& vars) {
  DaemonState& ds = runtime.state;
  ds.stations.store(0);
  SetStateText(ds, "Creating.");
  CreateAccessPointInterface(runtime, vars);
  vars.last_frequency = -1;
  vars.launch_needed = true;
  vars.stop_first = true;
  ds.ap_active = 1;
}

// Steps of a pass that has an access point: route watch, placement,
// launch, health check, outcome.
void Supervise(ApRuntime& runtime, OperationalVars& vars, WifiQueryContext& query, int32_t mode,
               int32_t route, bool creating) {
  DaemonState& ds = runtime.state;
  WatchDefaultRoute(runtime, vars);
  const ChannelDecision decision = ChooseChannel(runtime, vars, query, mode, creating);
  bool launch = decision == ChannelDecision::kChanged;
  if (!launch) {
    if (vars.stop_first) {
      StopServices(runtime);
      ds.stations.store(0);
    }
    launch = vars.launch_needed;
  }
  if (launch) {
    LaunchServices(runtime, route, vars);
  }
  const ServiceVerdict verdict = CheckServices(runtime, route, vars);
  std::lock_guard<std::mutex> lock(ds.state_lock);
  if (verdict != ServiceVerdict::kHealthy || vars.pending_error) {
    FormatCut(ds.text, sizeof ds.text, "%s", vars.error_text);
    ds.state = kStateBusy;
    vars.pending_error = false;
  } else {
    ds.state = ds.ap_active != 0 ? kStateRunning : kStateNoAp;
  }
}

// Waits for a post or the supervision period, telling the watchdog meanwhile
// that the thread is alive.
void WaitForWork(ApRuntime& runtime) {
  WakeSemaphore& wake = runtime.state.wake_semaphore;
  const std::chrono::milliseconds period = std::chrono::seconds(kSupervisionPeriodSeconds);
  const std::chrono::milliseconds beat = runtime.notifier.BeatInterval();
  if (beat.count() <= 0 || beat >= period) {
    (void)wake.WaitFor(period);
    return;
  }
  const auto end = std::chrono::steady_clock::now() + period;
  for (;;) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    if (left.count() <= 0 || wake.WaitFor(std::min(beat, left))) {
      return;
    }
    runtime.notifier.Beat();
  }
}

void PublishStatus(ApRuntime& runtime) {
  DaemonState& ds = runtime.state;
  char text[sizeof ds.text];
  {
    std::lock_guard<std::mutex> lock(ds.state_lock);
    std::memcpy(text, ds.text, sizeof text);
  }
  text[sizeof text - 1] = '\0';
  runtime.notifier.Status(text);
}

}  // namespace

void RunOperationalPass(ApRuntime& runtime, OperationalVars& vars, WifiQueryContext& query) {
  DaemonState& ds = runtime.state;
  vars.firewall_ended = false;
  const PendingRequests pending = TakeRequests(ds);
  // Taken after the requests: a create stores its mode and route before its
  // request, so this pass places what the last create it serves asked for.
  const int32_t mode = ds.desired_mode.load(std::memory_order_acquire);
  const int32_t route = ds.route.load(std::memory_order_acquire);
  if (pending.refresh != 0) {
    std::fprintf(stderr, "refresh_teardown_flag_value = %d\n", pending.refresh);
    for (int i = 1; i < pending.refresh; ++i) {
      runtime.hooks.sleep(std::chrono::seconds(1));
    }
  }
  const PassPlan plan = PlanPass(pending, ds.ap_active != 0);
  if (plan.teardown) {
    Teardown(runtime, vars);
  }
  if (plan.create) {
    Create(runtime, vars);
  } else if (ds.ap_active == 0) {
    std::lock_guard<std::mutex> lock(ds.state_lock);
    ds.state = kStateNoAp;
    return;
  } else {
    vars.stop_first = false;  // maintenance pass
  }
  Supervise(runtime, vars, query, mode, route, plan.create);
}

void* OperationalThread(void* arg) {
  ApRuntime& runtime = *static_cast<ApRuntime*>(arg);
  DaemonState& ds = runtime.state;
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
  // A pass of slow commands is progress, not a wedged daemon.
  SetCommandObserver(
      [](void* context) {
        ApRuntime& self = *static_cast<ApRuntime*>(context);
        self.notifier.Beat();
        PublishStatus(self);
      },
      &runtime);
  for (;;) {
    // A post and a time-out are treated alike.
    WaitForWork(runtime);
    // The stop thread takes the lock to stop the services; a pass must
    // neither run beside it nor start after it.
    std::unique_lock<std::timed_mutex> pass(runtime.pass_lock);
    if (runtime.stopping.load()) {
      ReleaseWifiQuery(query);
      return nullptr;
    }
    RunOperationalPass(runtime, vars, query);
    runtime.notifier.Beat();
    PublishStatus(runtime);
  }
}

}  // namespace ww
