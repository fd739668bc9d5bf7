// Everything the daemon keeps for the whole run, in one place. main owns the
// single instance; threads receive a pointer to it, and tests build their own
// with their own paths.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "common/util/thread_name.h"
#include "common/util/unique_fd.h"
#include "daemon/core/command_slots.h"
#include "daemon/core/query_pool.h"
#include "daemon/core/startup.h"
#include "daemon/lifecycle/ap_runtime.h"
#include "daemon/netlink/event_monitor.h"
#include "daemon/netlink/scan_block.h"

namespace ww {

// The access point's lifecycle (ApRuntime) and what only the command side
// uses: the command slots, the sockets, the request order and the locks
// around the laststate file.
struct Daemon : ApRuntime {
  CommandSlots slots;
  QueryPool queries;          // the command threads' open interface queries
  std::mutex laststate_lock;  // the laststate file; never held with state_lock
  // Held while a request that changes the access point (create, test,
  // teardown, refresh, delayrefresh) is recorded, stored and answered, so
  // that the laststate file, the pass and the clients see one order. Taken
  // before laststate_lock and state_lock, never while holding either.
  std::mutex request_lock;
  // The default-passphrase file: read, generated and written by one create
  // at a time, so two creates with "-" agree on the passphrase.
  std::mutex default_password_lock;
  // Replies sent to create, test and teardown requests: the boot replay
  // learns from it whether its request was answered.
  std::atomic<uint64_t> recorded_replies{0};
  // The process group of the boot replay's wavectl while it runs (0
  // otherwise): its connection is told from a client's by its peer.
  std::atomic<int32_t> replay_group{0};
  ScanBlockTable scan_block;
  // nl80211's id as the raw channel learnt it at start-up (0: unknown).
  // Written before any other thread starts, read by the command threads.
  int32_t query_family = 0;
  ConnectionEvents events{state.wake_semaphore, state.stations, state.station_switch_mhz,
                          state.station_lost_ms};
  // How far start-up has come, which tells a stop what to undo.
  std::atomic<StartupStage> startup_stage{StartupStage::kWaitingForInterface};
  UniqueFd held_instance_lock;  // the lock that keeps a second daemon out
};

// A scan-block update of this daemon's table, radio and parameter file.
inline void UpdateScanBlock(Daemon& daemon, int kind, const char* interface_name) {
  UpdateScanBlock(daemon.scan_block,
                  ScanBlockIo{daemon.nl80211, daemon.paths.block_scans, daemon.hooks.run_command},
                  kind, interface_name);
}

}  // namespace ww
