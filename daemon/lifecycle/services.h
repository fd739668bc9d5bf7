// Supervision of hostapd and dnsmasq.
#pragma once

#include <cstdint>

namespace ww {

struct Daemon;

inline constexpr const char* kProcRoot = "/proc";

// True when process `pid` exists and its executable path ends with `name`
// (which begins with "/", e.g. "/dnsmasq"). A deleted or replaced executable
// does not match: the kernel marks its link.
bool ProcessRunsExecutable(int32_t pid, const char* name, const char* proc_root = kProcRoot);

// Stops hostapd and the recorded dnsmasq (operational thread).
void StopServices(Daemon& daemon);

// Ends whatever an earlier run or the current access point left running and
// takes the access-point interface down (start-up, teardown).
void CleanupServices(Daemon& daemon);

}  // namespace ww
