#include "daemon/lifecycle/request_order.h"

#include <algorithm>
#include <array>
#include <mutex>

#include "daemon/lifecycle/daemon_state.h"

namespace ww {

PendingRequests TakeRequests(DaemonState& ds) {
  PendingRequests p;
  std::lock_guard<std::mutex> lock(ds.state_lock);
  p.refresh = ds.refresh_teardown_flag_value.exchange(0);
  p.refresh_serial = ds.refresh_serial;
  p.teardown = ds.teardown_requested.exchange(0) != 0;
  p.teardown_serial = ds.teardown_serial;
  p.create = ds.create_requested.exchange(0) != 0;
  p.create_serial = ds.create_serial;
  return p;
}

PassPlan PlanPass(const PendingRequests& pending, bool ap_active) {
  enum Kind { kTeardown, kRefresh, kCreate };
  struct Event {
    uint64_t serial;
    Kind kind;
  };
  std::array<Event, 3> events{};
  size_t n = 0;
  if (pending.teardown) {
    events[n++] = {pending.teardown_serial, kTeardown};
  }
  if (pending.refresh != 0) {
    events[n++] = {pending.refresh_serial, kRefresh};
  }
  if (pending.create) {
    events[n++] = {pending.create_serial, kCreate};
  }
  std::sort(events.begin(), events.begin() + static_cast<std::ptrdiff_t>(n),
            [](const Event& a, const Event& b) {
              return a.serial != b.serial ? a.serial < b.serial : a.kind < b.kind;
            });
  PassPlan plan;
  bool active = ap_active;
  for (size_t i = 0; i < n; ++i) {
    switch (events[i].kind) {
      case kTeardown:
        plan.teardown = true;
        plan.create = false;
        active = false;
        break;
      case kRefresh:
        plan.teardown = true;
        plan.create = active;
        break;
      case kCreate:
        plan.create = true;
        active = true;
        break;
    }
  }
  return plan;
}

}  // namespace ww
