#include "daemon/core/dispatch.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "daemon/core/commands.h"
#include "daemon/core/create_command.h"
#include "daemon/core/daemon.h"
#include "daemon/core/last_state.h"
#include "daemon/core/usb_gadget.h"

namespace ww {
namespace {

enum class Match { kFirstWord, kWholeRequest };

struct CommandRow {
  const char* name;
  Match match;
  bool recorded;  // kept in the laststate file and replayed at boot
  CommandHandler handler;
};

// Counts the replies to recorded requests, for the boot replay.
class CountingSink : public ReplySink {
 public:
  CountingSink(ReplySink& inner, std::atomic<uint64_t>& replies)
      : inner_(inner), replies_(replies) {}
  // Counted before the reply leaves: the client may act on the reply (the
  // replay checks the count once wavectl exits) before this thread runs on.
  void Send(const char* data, size_t length) override {
    replies_.fetch_add(1);
    inner_.Send(data, length);
  }

 private:
  ReplySink& inner_;
  std::atomic<uint64_t>& replies_;
};

// Tested in this order; the first row that matches wins.
constexpr CommandRow kCommandTable[] = {
    {"refresh", Match::kFirstWord, false, CommandRefresh},
    {"delayrefresh", Match::kFirstWord, false, CommandDelayRefresh},
    {"test-scan", Match::kFirstWord, false, CommandTestScan},
    {"set-fallback-country-code", Match::kFirstWord, false, CommandSetFallbackCountryCode},
    {"enablencm", Match::kFirstWord, false, CommandEnableNcm},
    {"create", Match::kFirstWord, true, CommandCreate},
    {"test", Match::kFirstWord, true, CommandTest},
    {"teardown", Match::kFirstWord, true, CommandTeardown},
    {"state", Match::kWholeRequest, false, CommandState},
    {"get-channels", Match::kWholeRequest, false, CommandGetChannels},
    {"getcreds", Match::kWholeRequest, false, CommandGetCreds},
    {"status", Match::kWholeRequest, false, CommandStatus},
};

constexpr CommandRow kUnknownRow = {"", Match::kWholeRequest, false, CommandUnknown};

const CommandRow& FindCommand(const Request& request) {
  for (const CommandRow& row : kCommandTable) {
    // First-word rows let further words follow; whole-request rows need the
    // request to be exactly the word, up to the NUL that ends it.
    const char* subject = row.match == Match::kFirstWord ? request.words[0] : request.raw;
    if (std::strcmp(subject, row.name) == 0) {
      return row;
    }
  }
  return kUnknownRow;
}

}  // namespace

void ExecuteRequest(CommandEnv& env, const char* raw, size_t length, ReplySink& sink) {
  // state requests come by the second from apps: keep them out of the journal.
  if (std::strncmp(raw, "state", 5) != 0) {
    std::fprintf(stderr, "Read: %d [%s]\n", static_cast<int>(length), raw);
  }
  Field words[kMaxWords];
  std::memset(words, 0, sizeof words);
  int count = 0;
  SplitFields(raw, count, words, kMaxWords);
  if (count > kUsedWords) {
    count = kUsedWords;
  }
  const Request request{raw, length, words, count};
  const CommandRow& row = FindCommand(request);
  if (row.recorded) {
    CountingSink counted(sink, env.daemon.recorded_replies);
    row.handler(env, request, counted);
  } else {
    row.handler(env, request, sink);
  }
}

}  // namespace ww
