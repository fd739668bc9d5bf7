// The last create or test request, kept so the access point of the previous
// run comes back after a reboot.
#pragma once

namespace ww {

struct Daemon;

// Re-runs the recorded request through wavectl.
void ReplayLastState(Daemon& daemon);

}  // namespace ww
