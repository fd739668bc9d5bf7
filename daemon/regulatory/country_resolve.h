// The current country code: the kernel's per-phy regulatory domain when it
// reports one, else the code the daemon adopted last.
#pragma once

#include "daemon/regulatory/country_code.h"

namespace ww {

struct RawChannel;

// Writes the two characters of the phy's own regulatory domain into
// buffer[0..1] (two NULs for a phy domain without alpha2), or leaves the
// buffer untouched when the kernel reports no phy domain. The last phy wins.
void GetRegulatoryDomain(RawChannel& channel, char* buffer);

// Fills `buffer` (at least 4 bytes) with the current country code as a
// NUL-terminated two-character string. Warns when the kernel and the adopted
// code differ and when the table lacks the code; never fails.
void ResolveCountryCode(RawChannel& channel, const CountryCodes& country, char* buffer);

}  // namespace ww
