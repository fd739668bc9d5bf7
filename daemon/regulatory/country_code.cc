#include "daemon/regulatory/country_code.h"

#include "daemon/core/daemon.h"

namespace ww {

// The kernel request, read-back, cache file and refresh arrive with the
// regulatory work; until then a fallback is only recorded by its caller.
void ApplyCountryCode(Daemon& /*daemon*/, const char* /*code*/, int /*priority*/) {}

void* RegulatoryRefreshTimerAtBoot(void* /*arg*/) {
  SetThreadName("RegulatoryRefreshTimerAtBoot");
  return nullptr;
}

}  // namespace ww
