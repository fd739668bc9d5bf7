// The signals the daemon handles itself. SIGPIPE does nothing, so a write to
// a closed standard output or error fails with EPIPE instead of killing the
// daemon. SIGTERM, SIGINT and SIGHUP stop it cleanly: scan blocking is reset,
// hostapd and dnsmasq are stopped, and the process ends with status 0. The
// laststate file is left as it is, so the next start replays it.
#pragma once

#include <chrono>
#include <cstdint>

namespace ww {

enum class StartupStage : int32_t;

// What a stop undoes.
struct StopPlan {
  bool reset_scan_block = false;
  bool stop_services = false;
};

// Before wlan0 exists the daemon has changed nothing, so there is nothing to
// undo. Before start-up has ended what an earlier run left, any hostapd or
// dnsmasq is not the daemon's own: StopServices' "killall hostapd" would end
// someone else's. Resetting scan blocking is start-up's own first step, so
// it is harmless as soon as wlan0 exists.
StopPlan PlanStop(StartupStage stage);

// How long a stop waits for a pass in progress (which may be in the middle of
// a soft kill) before it goes on without it.
inline constexpr std::chrono::seconds kPassFinishTimeout{5};

// Installs the handlers. Main calls it first, before any thread exists.
// Handlers, unlike ignored or blocked signals, are not passed on through exec
// to hostapd, dnsmasq and the shells.
void InstallSignalHandlers();

// Gives SIGTERM, SIGINT and SIGHUP their default action again (for when the
// stop thread cannot be started).
void RestoreDefaultStopSignals();

// Blocks the stop signals and SIGCHLD in the calling thread, and so in every
// thread it starts afterwards: main calls it once the stop thread runs, so
// that those signals are handled there, in a thread that only waits for
// them, and no other thread's call is interrupted or holds one back.
void LeaveSignalsToTheStopThread();

// Thread body; `arg` is the Daemon. Waits for SIGTERM, SIGINT or SIGHUP,
// stops the daemon and ends the process with status 0. Never returns.
void* StopThread(void* arg);

}  // namespace ww
