// What one pass does with the requests it finds: several may have arrived
// while the previous pass ran, and the access point must end as if they
// had been carried out one at a time, in the order they were answered.
#pragma once

#include <cstdint>

namespace ww {

struct DaemonState;

// The requests a pass took, each with the serial it was given (0 for none).
struct PendingRequests {
  int32_t refresh = 0;  // refresh_teardown_flag_value
  uint64_t refresh_serial = 0;
  bool teardown = false;
  uint64_t teardown_serial = 0;
  bool create = false;  // a create or a test
  uint64_t create_serial = 0;
};

struct PassPlan {
  bool teardown = false;  // first
  bool create = false;    // then
};

// Takes the three requests at once, under state_lock.
PendingRequests TakeRequests(DaemonState& ds);

// Only the last request of each kind counts (a later create replaces an
// earlier one's parameters), so replaying the last of each in serial order
// gives the end state: a teardown drops a create before it; a refresh
// rebuilds the access point if one exists at that point. Requests with the
// same serial (never two from clients) are taken teardown, refresh, create.
PassPlan PlanPass(const PendingRequests& pending, bool ap_active);

}  // namespace ww
