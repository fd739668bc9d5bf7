// The one way the daemon runs external commands: through the shell, logged
// with their raw wait status.
#pragma once

namespace ww {

// Runs `command` with system(), SIGCHLD at its default action meanwhile so
// the daemon's reaper cannot take the shell's status. Writes
// "# <command> = <status>" to standard error and returns the raw wait status
// (0 success, 256 exit code 1, -1 no shell). Calls are serialised, so the
// reaper is always reinstalled once no command runs. Any thread.
int RunShellCommand(const char* command);

// SIGCHLD handler: collects every ended child without blocking.
void ReapChildren(int signal_number);
void InstallChildReaper();

}  // namespace ww
