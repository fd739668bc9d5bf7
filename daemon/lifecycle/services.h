// Supervision of hostapd and dnsmasq: lookups through /proc, the soft kill,
// stopping and cleaning up, the launch and the health check.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace ww {

struct ApRuntime;
struct DaemonPaths;
struct OperationalVars;

inline constexpr const char* kProcRoot = "/proc";

// True when process `pid` exists and its executable path ends with `name`
// (which begins with "/", e.g. "/dnsmasq"). A deleted or replaced executable
// does not match: the kernel marks its link.
bool ProcessRunsExecutable(int32_t pid, const char* name, const char* proc_root = kProcRoot);

// Splits `command` into words (no command substitution) and runs it as a
// child of the daemon, not waited for. Its pid once the program runs, or -1
// when it could not be started.
int32_t SpawnCommand(const char* command);

// The first process (in directory order) running ".../hostapd", or -1.
int32_t FindHostapdPid(const char* proc_root = kProcRoot);

// SIGTERM, up to 2000 polls, SIGKILL, up to 1000 polls, 1 ms apart.
void SoftKill(ApRuntime& runtime, int32_t pid, const char* name);

// Stops hostapd and the recorded dnsmasq (operational thread).
void StopServices(ApRuntime& runtime);

// Ends whatever an earlier run or the current access point left running and
// takes the access-point interface down (start-up, teardown).
void CleanupServices(ApRuntime& runtime);

// The command lines of hostapd (with "-d -K" when `debug`; the shell starts
// it in the background) and dnsmasq, for the daemon's files at `paths`.
std::string HostapdCommand(const DaemonPaths& paths, bool debug);
std::string DnsmasqCommand(const DaemonPaths& paths);

// dnsmasq's configuration for a route mode.
size_t DnsmasqConfig(int32_t route, char* out, size_t size);

// Starts hostapd, and dnsmasq for the noroute and nat route modes; publishes
// the running text (operational thread).
void LaunchServices(ApRuntime& runtime, int32_t route, OperationalVars& vars);

enum class ServiceVerdict { kHealthy, kHostapdFailed, kDnsmasqFailed };

// Checks that the services still run; stores the failure text in `vars`.
ServiceVerdict CheckServices(ApRuntime& runtime, int32_t route, OperationalVars& vars);

// Whether the supervised hostapd runs and the last pass found the access
// point running: one that can move by a channel switch.
bool HostapdHealthy(ApRuntime& runtime);

}  // namespace ww
