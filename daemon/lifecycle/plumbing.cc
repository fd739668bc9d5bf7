#include "daemon/lifecycle/plumbing.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/util/fields.h"
#include "common/util/format.h"
#include "common/util/interfaces.h"
#include "common/util/report.h"
#include "common/util/unique_fd.h"
#include "daemon/lifecycle/ap_runtime.h"
#include "daemon/lifecycle/operational_thread.h"
#include "daemon/lifecycle/shell.h"

namespace ww {
namespace {

// Where InterfaceExists reports a failed getifaddrs.
constexpr const char* kModule = "wavewarden";
constexpr int kLineGetifaddrs = 1347;

constexpr int kAddTries = 200;
constexpr int kForceDeleteEvery = 10;
constexpr size_t kCommandSize = 8192;
constexpr size_t kRouteTableSize = 8192;

// Station, access point.
constexpr const char* kAddInterface = "iw dev %s interface add %s type __ap";
constexpr const char* kApAddress = "10.35.78.1";
// Address, access point.
constexpr const char* kAddAddress = "ip addr add %s/24 brd + dev %s";
constexpr const char* kBringUp = "ifconfig %s up";
// Both protocols named separately: brace expansion is bash's, not sh's.
constexpr const char* kOpenPorts =
    "firewall-cmd --zone=nm-shared --add-port=1024-65535/tcp --add-port=1024-65535/udp";
constexpr const char* kAddToZone = "firewall-cmd --zone=nm-shared --add-interface=%s";
constexpr const char* kMasquerade = "firewall-cmd --zone=public --add-masquerade";

void Fail(OperationalVars& vars, const char* text) {
  vars.pending_error = true;
  FormatCut(vars.error_text, sizeof vars.error_text, "%s", text);
}

// Runs a step's command with its "Got" line; false (after the warning) when
// it failed.
bool Step(ApRuntime& runtime, const char* command) {
  const int status = runtime.hooks.run_command(command);
  std::fprintf(stderr, "Got %d: %s\n", status, command);
  if (status != 0) {
    std::fprintf(stderr, "Warning: could not \"%s\"\n", command);
    return false;
  }
  return true;
}

// False when the command was skipped, not run.
bool FirewallCommand(ApRuntime& runtime, OperationalVars& vars, const char* command) {
  if (vars.firewall_ended) {
    std::fprintf(stderr, "Error: %s skipped: firewall-cmd timed out in this pass\n", command);
    return false;
  }
  const int status = runtime.hooks.run_command(command);
  if (status != 0) {
    std::fprintf(stderr, "Error %d executing: %s\n", status, command);
  }
  vars.firewall_ended = CommandWasEnded(status);
  return true;
}

// Eight random bytes from the random device, or from the kernel's other
// source when the device cannot give them.
void RandomBytes(const char* device, uint8_t bytes[8]) {
  ssize_t got = -1;
  const UniqueFd fd(::open(device, O_RDWR | O_CLOEXEC));
  if (fd.Valid()) {
    got = ::read(fd.Get(), bytes, 8);
  }
  if (got != 8 && ::getrandom(bytes, 8, 0) != 8) {
    // Nothing random at all: the address must still be a valid local one.
    std::memset(bytes, 0, 8);
  }
}

}  // namespace

bool InterfaceExists(const char* name) {
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) {
    ReportCallFailure(kModule, kLineGetifaddrs, "InterfaceExists", "getifaddrs", errno);
    return false;
  }
  bool found = false;
  for (const ifaddrs* entry = list; entry != nullptr && !found; entry = entry->ifa_next) {
    found = entry->ifa_name != nullptr && std::strcmp(entry->ifa_name, name) == 0;
  }
  ::freeifaddrs(list);
  return found;
}

bool InterfaceHasAddress(const char* name, const char* address) {
  in_addr wanted{};
  if (::inet_pton(AF_INET, address, &wanted) != 1) {
    return false;
  }
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) {
    return false;
  }
  bool found = false;
  for (const ifaddrs* entry = list; entry != nullptr && !found; entry = entry->ifa_next) {
    if (entry->ifa_name == nullptr || entry->ifa_addr == nullptr ||
        entry->ifa_addr->sa_family != AF_INET || std::strcmp(entry->ifa_name, name) != 0) {
      continue;
    }
    sockaddr_in in{};
    std::memcpy(&in, entry->ifa_addr, sizeof in);
    found = in.sin_addr.s_addr == wanted.s_addr;
  }
  ::freeifaddrs(list);
  return found;
}

void MacFromRandom(const uint8_t bytes[8], uint8_t mac[6]) {
  std::memcpy(mac, bytes, 6);
  mac[0] = static_cast<uint8_t>((mac[0] & 0xFC) | 0x02);
}

void CreateAccessPointInterface(ApRuntime& runtime, OperationalVars& vars) {
  DaemonState& ds = runtime.state;
  char add_address[kCommandSize];
  FormatCut(add_address, sizeof add_address, kAddAddress, kApAddress, kApInterface);
  char command[kCommandSize];
  if (InterfaceExists()) {
    vars.pending_error = false;
    // Kept as it is, but without its address dnsmasq serves no lease: another
    // network manager may have removed it, and a restart must mend that.
    if (!InterfaceHasAddress(kApInterface, kApAddress)) {
      std::fprintf(stderr, "%s has lost %s, adding it again\n", kApInterface, kApAddress);
      if (!Step(runtime, add_address)) {
        Fail(vars, "Error setting IP address\n");
      }
    }
  } else {
    SetStateText(ds, "Creating device.");
    char add_interface[kCommandSize];
    FormatCut(add_interface, sizeof add_interface, kAddInterface, kStationInterface, kApInterface);
    int failures = 0;
    bool given_up = false;
    for (int attempt = 0; attempt < kAddTries; ++attempt) {
      const int status = runtime.hooks.run_command(add_interface);
      std::fprintf(stderr, "Got %d: %s\n", status, add_interface);
      if (status == 0) {
        vars.pending_error = false;
        break;
      }
      std::fprintf(stderr, "Warning: could not \"%s\"\n", add_interface);
      // A helper that hung until its deadline would hang again, 200 times.
      if (CommandWasEnded(status)) {
        given_up = true;
        break;
      }
      runtime.hooks.sleep(std::chrono::milliseconds(200));
      if (++failures % kForceDeleteEvery == 0) {
        std::fprintf(stderr, "Trying a force deletion.\n");
        FormatCut(command, sizeof command, "ifconfig %s down 2> /dev/null", kApInterface);
        (void)runtime.hooks.run_command(command);
        FormatCut(command, sizeof command, "iw dev %s del 2> /dev/null", kApInterface);
        (void)runtime.hooks.run_command(command);
      }
    }
    if (given_up || failures == kAddTries) {
      Fail(vars, "Error adding interface\n");
    }
    runtime.hooks.sleep(std::chrono::milliseconds(100));
    SetStateText(ds, "Continuing Setup");

    uint8_t bytes[8];
    RandomBytes(runtime.paths.random_device, bytes);
    uint8_t mac[6];
    MacFromRandom(bytes, mac);
    FormatCut(command, sizeof command, "ip link set dev %s address %02x:%02x:%02x:%02x:%02x:%02x",
              kApInterface, mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
    if (!Step(runtime, command)) {
      Fail(vars, "Error setting MAC address\n");
    }
    if (!Step(runtime, add_address)) {
      Fail(vars, "Error setting IP address\n");
    }
    FormatCut(command, sizeof command, "iw dev %s set bitrates he-gi-5 1.6 he-ltf-5 2",
              kApInterface);
    (void)Step(runtime, command);
    FormatCut(command, sizeof command, "iw dev %s set bitrates he-gi-6 1.6 he-ltf-6 2",
              kApInterface);
    (void)Step(runtime, command);
  }
  FormatCut(command, sizeof command, kBringUp, kApInterface);
  if (!Step(runtime, command)) {
    Fail(vars, "Error bringing interface up\n");
  }
  runtime.hooks.sleep(std::chrono::milliseconds(200));
  std::fprintf(stderr, "Setting firewall zone nm-shared for %s\n", kApInterface);
  (void)FirewallCommand(runtime, vars, kOpenPorts);
  FormatCut(command, sizeof command, kAddToZone, kApInterface);
  (void)FirewallCommand(runtime, vars, command);
}

bool BestDefaultRoute(const char* table, char* iface, size_t size) {
  bool found = false;
  long best = INT_MAX;
  for (const char* line = table; *line != '\0';) {
    Field fields[8] = {};
    int count = 0;
    SplitFields(line, count, fields, 8);
    if (count > 1 && std::strcmp(fields[1], "00000000") == 0) {
      const long metric = std::strtol(fields[6], nullptr, 10);
      if (metric < best) {
        best = metric;
        FormatCut(iface, size, "%s", fields[0]);
        found = true;
      }
    }
    const char* next = std::strchr(line, '\n');
    if (next == nullptr) {
      break;
    }
    line = next + 1;
  }
  return found;
}

void WatchDefaultRoute(ApRuntime& runtime, OperationalVars& vars) {
  char table[kRouteTableSize] = {};
  (void)ReadSmallFile(runtime.paths.net_route, table, sizeof table);
  if (table[0] != '\0') {
    (void)BestDefaultRoute(table, vars.default_route_iface, sizeof vars.default_route_iface);
  }
  if (std::strcmp(vars.default_route_iface, vars.last_default_route_iface) != 0) {
    std::fprintf(stderr, "Setting default route: %s\n", vars.default_route_iface);
    // Skipped, it is tried again by the next pass.
    if (!FirewallCommand(runtime, vars, kMasquerade)) {
      return;
    }
    FormatCut(vars.last_default_route_iface, sizeof vars.last_default_route_iface, "%s",
              vars.default_route_iface);
  }
}

}  // namespace ww
