// wavewarden: runs an access point beside the station interface on one radio.
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "daemon/core/command_server.h"
#include "daemon/core/daemon.h"
#include "daemon/core/instance_lock.h"
#include "daemon/core/startup.h"
#include "daemon/core/stop_signals.h"
#include "daemon/core/streaming_server.h"
#include "daemon/lifecycle/old_diplexer.h"
#include "daemon/lifecycle/operational_thread.h"
#include "daemon/lifecycle/services.h"
#include "daemon/netlink/event_monitor.h"
#include "daemon/netlink/raw_channel.h"
#include "daemon/netlink/scan_block.h"
#include "daemon/regulatory/country_code.h"

namespace {

// `arg` is what the thread's body takes: the daemon or the part of it the
// thread works on.
template <typename Arg>
bool StartThread(void* (*body)(void*), Arg& arg) {
  pthread_t handle{};
  const int err = pthread_create(&handle, nullptr, body, &arg);
  if (err != 0) {
    std::fprintf(stderr, "Error: could not start thread: %d\n", err);
  }
  return err == 0;
}

int RunDaemon(ww::Daemon& daemon) {
  ww::SetThreadName("Main");
  // Before any side effect: a second daemon must leave the first one's
  // services, interface and sockets alone.
  int locked = ww::TakeInstanceLock(daemon.paths.instance_lock, daemon.held_instance_lock);
  if (locked == 0) {
    locked = ww::RefuseIfServed(daemon.paths.management_socket);
  }
  if (locked != 0) {
    return locked;
  }
  if (StartThread(ww::StopThread, daemon)) {
    ww::LeaveSignalsToTheStopThread();
  } else {
    // Nobody would act on a stop signal: let it end the daemon as before.
    ww::RestoreDefaultStopSignals();
  }
  ww::WaitForInterface(ww::kStationInterface, [&daemon] {
    daemon.notifier.Status("Waiting for wlan0");
    daemon.notifier.Beat();
  });
  daemon.startup_stage.store(ww::StartupStage::kStarting);

  ww::DaemonState& ds = daemon.state;
  if (ww::OldDiplexerPresent(daemon)) {
    ds.split_threshold_mhz = ww::kOldDiplexerSplitThresholdMhz;
    std::printf("OLD DIPLEXER\n");
  }
  ww::InstallChildReaper();
  ww::UpdateScanBlock(daemon, ww::kScanBlockClear, nullptr);
  // The operational thread's first wait returns at once.
  ds.wake_semaphore.Post();

  if (ww::OpenNL80211Channel(daemon.nl80211) != 0) {
    std::fprintf(stderr, "FATAL ERROR: Could not communicate to kernel's netlink\n");
    return ww::kExitNoNetlink;
  }
  daemon.query_family = static_cast<int32_t>(daemon.nl80211.family_id);
  unlink(daemon.paths.hostapd_log);
  ds.dnsmasq_pid = ww::ReadEarlierDnsmasqPid(daemon.paths.dnsmasq_pid, daemon.paths.proc_root);
  ww::CleanupServices(daemon);
  daemon.startup_stage.store(ww::StartupStage::kOwnsServices);

  int listen_fd = -1;
  const int status = ww::OpenManagementSocket(daemon.paths.management_socket, listen_fd);
  if (status != 0) {
    return status;
  }
  StartThread(ww::StreamingScanningThread, daemon);
  StartThread(ww::OperationalThread, static_cast<ww::ApRuntime&>(daemon));
  StartThread(ww::DetectConnectionChangeThread, daemon.events);
  StartThread(ww::RegulatoryRefreshTimerAtBoot, daemon);
  // Any local user may talk to the daemon.
  chmod(daemon.paths.management_socket, 0777);
  // Clients that the service manager orders after the daemon find it serving.
  daemon.notifier.Ready();
  return ww::ServeManagementSocket(daemon, listen_fd);
}

}  // namespace

int main() {
  // First: a stop signal or a closed output stream may come at any moment.
  ww::InstallSignalHandlers();
  // Threads outlive main's frame until exit; the record is never destroyed.
  static ww::Daemon& daemon = *new ww::Daemon;
  // Before any thread or child exists, which must not inherit the socket.
  daemon.notifier.OpenFromEnvironment();
  // The journal should see each line as it is written, not in blocks.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  // A thread stack whose mapping ends on a 2 MiB boundary would otherwise take
  // a whole huge page at first touch on kernels with THP "always", and glibc
  // keeps ended threads' stacks: one restart in eight grew 6 MiB that way.
  (void)prctl(PR_SET_THP_DISABLE, 1, 0, 0, 0);
  std::exit(RunDaemon(daemon));  // NOLINT(concurrency-mt-unsafe): the only way out
}
