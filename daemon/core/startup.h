// Start-up steps of the daemon's main thread.
#pragma once

#include <cstdint>

namespace ww {

struct DaemonPaths;

inline constexpr uint32_t kSplitThresholdMhz = 5900;
inline constexpr uint32_t kOldDiplexerSplitThresholdMhz = 5470;

// How far start-up has come.
enum class StartupStage : int32_t {
  kWaitingForInterface,  // nothing changed yet
  kStarting,             // resetting scan blocking, ending what an earlier run left
  kOwnsServices,         // any hostapd or dnsmasq from now on is the daemon's own
};

// Prints "<name> does not exist, sleeping" once a second until the interface
// exists. No limit: the daemon is useless without its station interface.
void WaitForInterface(const char* name);

// True when the device-tree model text names a board with the old diplexer.
bool ModelNamesOldDiplexer(const char* model);

// Decides afresh, from the marker file or the device-tree model; prints why
// the model could not be read.
bool DetectOldDiplexer(const char* marker_path, const char* model_path);

// The process-wide, cached answer: the first call decides (also a negative
// answer reached through a failure), later calls repeat it.
bool OldDiplexerPresent(const DaemonPaths& paths);

// SIGCHLD handler: collects every ended child without blocking.
void ReapChildren(int signal_number);
void InstallChildReaper();

// The dnsmasq pid recorded by an earlier run, or -1 when the file is
// missing, not a number, or names a process that is not dnsmasq.
int32_t ReadEarlierDnsmasqPid(const char* pid_path, const char* proc_root);

}  // namespace ww
