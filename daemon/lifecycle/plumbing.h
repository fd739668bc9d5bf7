// The access-point interface and the network around it: creating wlanap on
// top of wlan0, its address and firewall zone, and the masquerading that
// follows the default route. All through shell commands.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/util/interfaces.h"

namespace ww {

struct ApRuntime;
struct OperationalVars;

// True when an interface named exactly `name` is listed by getifaddrs.
bool InterfaceExists(const char* name = kApInterface);

// True when the interface `name` has the IPv4 address `address` (dotted).
bool InterfaceHasAddress(const char* name, const char* address);

// A unicast, locally administered address from eight random bytes.
void MacFromRandom(const uint8_t bytes[8], uint8_t mac[6]);

// Brings wlanap into existence and up and opens the firewall zone. A failed
// step sets vars.pending_error and vars.error_text; the steps go on.
void CreateAccessPointInterface(ApRuntime& runtime, OperationalVars& vars);

// The interface of the default route with the lowest metric in a route
// table text, written to `iface` (at most size - 1 characters). False, and
// `iface` untouched, when the table has no default route.
bool BestDefaultRoute(const char* table, char* iface, size_t size);

// Masquerades once for each new default interface.
void WatchDefaultRoute(ApRuntime& runtime, OperationalVars& vars);

}  // namespace ww
