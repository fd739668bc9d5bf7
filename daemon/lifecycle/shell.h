// The one way the daemon runs one-shot external commands: through /bin/sh,
// logged with their raw wait status, and never for longer than a deadline.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace ww {

// How long one command may run. firewall-cmd and systemctl give up by
// themselves after D-Bus's 25 s reply time-out, which this leaves them, and a
// firewall-cmd on a slow device takes several seconds.
inline constexpr std::chrono::seconds kCommandDeadline{30};
// Between SIGTERM and SIGKILL to a command's process group.
inline constexpr std::chrono::seconds kCommandGrace{2};
// The stop's own commands (killall, the scan-block reset) must not hold the
// stop: it ends within a few seconds whatever they do.
inline constexpr std::chrono::seconds kStopCommandDeadline{2};
inline constexpr std::chrono::seconds kStopCommandGrace{1};

struct CommandLimits {
  std::chrono::milliseconds deadline = kCommandDeadline;
  std::chrono::milliseconds grace = kCommandGrace;
  // Holds the command's process group while it runs (0 otherwise), so that
  // the daemon can tell its own command's connections.
  std::atomic<int32_t>* group = nullptr;
};

// Runs `command` with "/bin/sh -c" in a process group of its own. At the
// deadline the group gets SIGTERM, and SIGKILL after the grace: the shell and
// whatever it started in the foreground. Writes "# <command> = <status>" to
// standard error and returns the raw wait status (0 success, 256 exit code 1,
// a signal's number when it was ended, -1 not run). Any thread, any number
// at once; the child reaper never takes the status.
int RunShellCommand(const char* command);
int RunShellCommandWith(const char* command, const CommandLimits& limits);

// Whether `status` says the command did not finish by itself: ended at its
// deadline or by the stop (a signal), or never run (-1). Running it again
// soon would end the same way.
bool CommandWasEnded(int status);

// For the stop: commands that other threads are running are ended now (their
// deadline is treated as passed) and new ones from other threads are refused
// with status -1. The calling thread keeps running commands, with the stop's
// deadline.
void CancelCommandsForStop();
// The last step before the process ends: any command group still running is
// killed and no command starts any more.
void EndAllCommands();

// Calls `observer(context)` after each command that the calling thread runs
// has ended: the operational thread tells the service manager's watchdog
// that it makes progress through a pass of slow commands.
void SetCommandObserver(void (*observer)(void*), void* context);

// SIGCHLD handler: collects every ended child without blocking.
void ReapChildren(int signal_number);
void InstallChildReaper();

}  // namespace ww
