// The laststate file: the last create, test or teardown request, kept so
// that the access point of the previous run comes back after a reboot.
#pragma once

#include <string>

namespace ww {

struct Daemon;

// Replaces the laststate file with the raw request and a newline.
void RecordRequest(Daemon& daemon, const char* raw);

// "wavectl" and every TAB-separated word of `line` quoted for the shell, so
// the shell hands wavectl exactly the words that were sent.
std::string ReplayCommand(const char* line);

// Re-runs the recorded request through wavectl (boot thread), again up to
// ten times a second apart while no create, test or teardown is answered.
// Not at all once one has been answered since the daemon started.
void ReplayLastState(Daemon& daemon);

// Whether a create, test or teardown that came from the replay's wavectl
// (`from_replay`) must be refused because a client's request was answered
// first. Called with the request lock held, so that no answer slips between
// this check and the request's own.
bool ReplaySuperseded(Daemon& daemon, bool from_replay);

}  // namespace ww
