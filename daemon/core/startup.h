// Start-up steps of the daemon's main thread.
#pragma once

#include <cstdint>
#include <functional>

namespace ww {

// How far start-up has come.
enum class StartupStage : int32_t {
  kWaitingForInterface,  // nothing changed yet
  kStarting,             // resetting scan blocking, ending what an earlier run left
  kOwnsServices,         // any hostapd or dnsmasq from now on is the daemon's own
};

// Prints "<name> does not exist, sleeping" once a second until the interface
// exists, calling `each_second` after each line. No limit: the daemon is
// useless without its station interface.
void WaitForInterface(const char* name, const std::function<void()>& each_second = {});

// Boot-time country resolution thread body; `arg` is the Daemon. Replays
// the last recorded request once the country is settled.
void* RegulatoryRefreshTimerAtBoot(void* arg);

// The dnsmasq pid recorded by an earlier run, or -1 when the file is
// missing, not a number, or names a process that is not dnsmasq.
int32_t ReadEarlierDnsmasqPid(const char* pid_path, const char* proc_root);

}  // namespace ww
