// The create and test commands, the default name and passphrase, and the
// last create, test or teardown request, kept so the access point of the
// previous run comes back after a reboot.
#pragma once

#include <cstddef>
#include <string>

namespace ww {

struct Daemon;
struct CommandEnv;
struct Request;
class ReplySink;

inline constexpr const char* kCreateUsage =
    "Usage: create <AP name | -> <password | -> <hbs|hbs6|scs> <nat|noroute> [preferred_channel] "
    "[--channel preferred_6_channel] [[--channel56 <0|preferred_5_channel> "
    "<0|preferred_6_channel>]] "
    "[--hidden] [--width <80|160>]";
inline constexpr const char* kTestUsage = "Usage: test <AP name> <password> <band> <channel>";

// Replaces the laststate file with the raw request and a newline.
void RecordRequest(Daemon& daemon, const char* raw);

void CommandCreate(CommandEnv& env, const Request& request, ReplySink& sink);
void CommandTest(CommandEnv& env, const Request& request, ReplySink& sink);

// Makes a new default passphrase of eight hex digits from the first four
// bytes of the random device into `password` and stores it in the
// default-passphrase file. False, with the reply that ends the request in
// `failure`, when the device gives nothing.
bool GenerateDefaultPassword(Daemon& daemon, char* password, size_t size, char* failure,
                             size_t failure_size);

// "wavectl" and every TAB-separated word of `line` quoted for the shell, so
// the shell hands wavectl exactly the words that were sent.
std::string ReplayCommand(const char* line);

// Re-runs the recorded request through wavectl (boot thread), again up to
// ten times a second apart while no create, test or teardown is answered.
void ReplayLastState(Daemon& daemon);

}  // namespace ww
