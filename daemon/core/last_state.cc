#include "daemon/core/last_state.h"

#include <chrono>
#include <cstdio>
#include <string>

#include "common/util/atomic_file.h"
#include "common/util/unique_file.h"
#include "daemon/core/daemon.h"

namespace ww {
namespace {

constexpr size_t kLineSize = 1024;
constexpr int kReplayAttempts = 10;
constexpr auto kReplayPause = std::chrono::seconds(1);
constexpr const char* kReplaySkipped =
    "Replay of the last request skipped: a newer request was answered";

}  // namespace

void RecordRequest(Daemon& daemon, const char* raw) {
  std::lock_guard<std::mutex> lock(daemon.laststate_lock);
  // Replaced whole, so a power cut never leaves an empty file that would
  // make the next boot forget the access point.
  std::string line = raw;
  line += '\n';
  (void)SaveWholeFile(daemon.paths.laststate, line.data(), line.size());
}

std::string ReplayCommand(const char* line) {
  std::string command = "wavectl";
  const char* p = line;
  for (;;) {
    command += " '";
    for (; *p != '\0' && *p != '\t' && *p != '\n'; ++p) {
      if (*p == '\'') {
        command += "'\\''";
      } else {
        command += *p;
      }
    }
    command += '\'';
    if (*p != '\t') {
      break;
    }
    ++p;
  }
  return command;
}

void ReplayLastState(Daemon& daemon) {
  std::string command;
  {
    std::lock_guard<std::mutex> lock(daemon.laststate_lock);
    const UniqueFile f(std::fopen(daemon.paths.laststate, "re"));
    if (f == nullptr) {
      return;
    }
    char line[kLineSize] = {};
    const bool read = std::fgets(line, static_cast<int>(kLineSize - 1), f.get()) != nullptr;
    if (!read) {
      return;
    }
    command = ReplayCommand(line);
  }
  // Unlocked: the replayed request reaches a command thread that records it.
  // A busy management socket may close the connection unanswered; then the
  // request is sent again, a bounded number of times. Once any create, test
  // or teardown has been answered since the daemon started (the replayed
  // one, or a newer one from a client, which the replay must not override)
  // it is not sent again; a replay already on its way is refused when it
  // arrives (ReplaySuperseded).
  if (daemon.recorded_replies.load() != 0) {
    std::fprintf(stderr, "%s\n", kReplaySkipped);
    return;
  }
  for (int attempt = 1; attempt <= kReplayAttempts; ++attempt) {
    const int status = daemon.hooks.run_marked(command.c_str(), daemon.replay_group);
    if (daemon.recorded_replies.load() != 0) {
      return;
    }
    std::fprintf(stderr,
                 "Error: replay of the last request got no reply (try %d of %d, status %d)\n",
                 attempt, kReplayAttempts, status);
    if (attempt < kReplayAttempts) {
      daemon.hooks.sleep(kReplayPause);
      if (daemon.recorded_replies.load() != 0) {
        return;
      }
    }
  }
}

bool ReplaySuperseded(Daemon& daemon, bool from_replay) {
  if (!from_replay || daemon.recorded_replies.load() == 0) {
    return false;
  }
  std::fprintf(stderr, "%s\n", kReplaySkipped);
  return true;
}

}  // namespace ww
