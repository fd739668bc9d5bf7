#include "daemon/core/create_command.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/util/atomic_file.h"
#include "common/util/fields.h"
#include "common/util/format.h"
#include "common/util/report.h"
#include "common/util/unique_fd.h"
#include "daemon/core/commands.h"
#include "daemon/core/create_grammar.h"
#include "daemon/core/credentials.h"
#include "daemon/core/daemon.h"
#include "daemon/core/dispatch.h"
#include "daemon/core/last_state.h"

namespace ww {
namespace {

constexpr size_t kLineSize = 1024;
constexpr int kMinPasswordLength = 8;

void CopyWord(char* out, size_t size, const char* word) {
  FormatCut(out, size, "%s", word);
}

// The create request of an accepted create or test, after its parameters.
void PostCreateRequest(DaemonState& ds, ReplySink& sink) {
  PostRequest(ds, [&ds](uint64_t serial) {
    ds.create_requested.store(1);
    ds.create_serial = serial;
  });
  SendText(sink, "1\tCreating");
}

void SetBusy(DaemonState& ds) {
  std::lock_guard<std::mutex> lock(ds.state_lock);
  ds.state = kStateBusy;
}

// Stores what a create's words asked for, also the part read before a
// refusal (see CreateWords). Hidden and width are the caller's, on accept.
void StoreCreateWords(DaemonState& ds, const CreateWords& words) {
  ds.desired_mode.store(words.mode);
  if (words.route) {
    ds.route.store(*words.route);
  }
  if (words.preferred_channel) {
    ds.preferred_channel.store(*words.preferred_channel);
  }
  if (words.channel_prefs_set) {
    ds.channel_prefs_set.store(1);
  }
  if (words.preferred_6ghz_channel) {
    ds.preferred_6ghz_channel.store(*words.preferred_6ghz_channel);
  }
  if (words.preferred_5ghz_channel) {
    ds.preferred_5ghz_channel.store(*words.preferred_5ghz_channel);
  }
}

// The device's name: the first line of the hostname file, cut to what an
// access point's name may hold; "unknown" without one.
void DefaultName(const Daemon& daemon, char* name, size_t size) {
  std::memset(name, 0, size);
  (void)ReadSmallFile(daemon.paths.hostname, name, size);
  CutAtNewline(name);
  CutSsid(name);
  if (name[0] == '\0') {
    CopyWord(name, size, "unknown");
  }
}

// Refuses a request whose name or passphrase hostapd would not take.
void RefuseCredential(const char* reason, const char* usage, ReplySink& sink) {
  std::fprintf(stderr, "Error: %s\n", reason);
  SendText(sink, usage);
}

// The name and passphrase a create asks for, "-" replaced by the device's
// defaults. Resolved before the request takes any lock: the defaults come
// from files and the random device, which may keep it waiting.
struct CreateCredentials {
  char ssid[kCredentialSize] = {};
  char password[kCredentialSize] = {};
  char failure[256] = {};  // the reply when no passphrase could be made
};

// False after a refusal reply.
bool ResolveCredentials(Daemon& daemon, const Request& request, CreateCredentials& out,
                        ReplySink& sink) {
  char reason[160];
  if (std::strcmp(request.words[1], "-") != 0) {
    CopyWord(out.ssid, sizeof out.ssid, request.words[1]);
    if (SsidProblem(out.ssid, reason, sizeof reason) != nullptr) {
      RefuseCredential(reason, kCreateUsage, sink);
      return false;
    }
  } else {
    DefaultName(daemon, out.ssid, sizeof out.ssid);
  }
  if (std::strcmp(request.words[2], "-") != 0) {
    CopyWord(out.password, sizeof out.password, request.words[2]);
    if (PassphraseProblem(out.password, reason, sizeof reason) != nullptr) {
      RefuseCredential(reason, kCreateUsage, sink);
      return false;
    }
    return true;
  }
  std::lock_guard<std::mutex> lock(daemon.default_password_lock);
  char text[kLineSize] = {};
  (void)ReadSmallFile(daemon.paths.default_password, text, kLineSize - 2);
  // Only the first line is the passphrase; later ones must not reach
  // hostapd's file.
  CutAtNewline(text);
  if (std::strlen(text) < kMinPasswordLength) {
    (void)GenerateDefaultPassword(daemon, out.password, sizeof out.password, out.failure,
                                  sizeof out.failure);
    return true;
  }
  if (PassphraseProblem(text, reason, sizeof reason) != nullptr) {
    char line[sizeof reason + 160];
    std::snprintf(line, sizeof line, "%s (%s)", reason, daemon.paths.default_password);
    RefuseCredential(line, kCreateUsage, sink);
    return false;
  }
  CopyWord(out.password, sizeof out.password, text);
  return true;
}

}  // namespace

bool GenerateDefaultPassword(Daemon& daemon, char* password, size_t size, char* failure,
                             size_t failure_size) {
  const UniqueFd fd(::open(daemon.paths.random_device, O_RDONLY | O_CLOEXEC));
  if (!fd.Valid()) {
    char reason[128];
    FormatCut(failure, failure_size, "internal failure 43: %s",
              ErrnoText(errno, reason, sizeof reason));
    return false;
  }
  uint8_t bytes[8];
  const ssize_t got = ::read(fd.Get(), bytes, sizeof bytes);
  if (got < static_cast<ssize_t>(sizeof bytes)) {
    FormatCut(failure, failure_size, "%s", "internal failure 44");
    return false;
  }
  const uint32_t value = static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
                         (static_cast<uint32_t>(bytes[2]) << 16) |
                         (static_cast<uint32_t>(bytes[3]) << 24);
  FormatCut(password, size, "%08llx", static_cast<unsigned long long>(value));
  // A half-written file would hand out a passphrase that locks every
  // client out: replace it whole.
  (void)SaveWholeFile(daemon.paths.default_password, password, std::strlen(password));
  return true;
}

void CommandCreate(CommandEnv& env, const Request& request, ReplySink& sink) {
  Daemon& daemon = env.daemon;
  DaemonState& ds = daemon.state;
  CreateCredentials credentials;
  if (request.count >= 5 && !ResolveCredentials(daemon, request, credentials, sink)) {
    return;  // refused before anything is recorded or stored
  }
  std::lock_guard<std::mutex> order(daemon.request_lock);
  if (RefuseSupersededReplay(env, sink)) {
    return;
  }
  RecordRequest(daemon, request.raw);
  SetBusy(ds);
  if (request.count < 5) {
    SendText(sink, kCreateUsage);
    return;
  }
  {
    // A pass may be reading the credentials of the previous request (to
    // publish or write them) while this one replaces them.
    std::lock_guard<std::mutex> lock(ds.state_lock);
    CopyWord(ds.ssid, sizeof ds.ssid, credentials.ssid);
    if (credentials.failure[0] == '\0') {
      CopyWord(ds.password, sizeof ds.password, credentials.password);
    }
  }
  if (credentials.failure[0] != '\0') {
    SendText(sink, credentials.failure);
    return;
  }
  const CreateWords words = ParseCreateWords(request);
  StoreCreateWords(ds, words);
  std::fputs(words.log.c_str(), stderr);
  if (!words.accepted) {
    SendText(sink, kCreateUsage);
    return;
  }
  ds.hidden_requested.store(words.hidden);
  ds.use_160mhz.store(words.wide);
  PostCreateRequest(ds, sink);
}

void CommandTest(CommandEnv& env, const Request& request, ReplySink& sink) {
  Daemon& daemon = env.daemon;
  DaemonState& ds = daemon.state;
  if (request.count == 5) {
    char reason[160];
    // A band or channel no radio has would give hostapd a file for
    // frequency 0, which the report might still call running.
    if (SsidProblem(request.words[1], reason, sizeof reason) != nullptr ||
        PassphraseProblem(request.words[2], reason, sizeof reason) != nullptr ||
        TestPlacementProblem(ParseTestWords(request), reason, sizeof reason) != nullptr) {
      RefuseCredential(reason, kTestUsage, sink);
      return;
    }
  }
  std::lock_guard<std::mutex> order(daemon.request_lock);
  if (RefuseSupersededReplay(env, sink)) {
    return;
  }
  RecordRequest(daemon, request.raw);
  SetBusy(ds);
  if (request.count != 5) {
    SendText(sink, kTestUsage);
    return;
  }
  {
    std::lock_guard<std::mutex> lock(ds.state_lock);
    CopyWord(ds.ssid, sizeof ds.ssid, request.words[1]);
    CopyWord(ds.password, sizeof ds.password, request.words[2]);
  }
  const TestWords words = ParseTestWords(request);
  ds.test_band.store(words.band);
  ds.preferred_channel.store(words.channel);
  if (words.accepted) {
    ds.desired_mode.store(kModeTest);
    PostCreateRequest(ds, sink);
  } else {
    SendText(sink, "bad arguments\nUsage: test <AP name> <password> <band> <channel>");
  }
}

}  // namespace ww
