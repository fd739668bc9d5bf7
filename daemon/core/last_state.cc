#include "daemon/core/last_state.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "common/util/atomic_file.h"
#include "common/util/format.h"
#include "common/util/report.h"
#include "daemon/core/commands.h"
#include "daemon/core/credentials.h"
#include "daemon/core/daemon.h"
#include "daemon/core/dispatch.h"
#include "daemon/regulatory/channels.h"

namespace ww {
namespace {

constexpr size_t kLineSize = 1024;
constexpr int kMinPasswordLength = 8;
constexpr int kReplayAttempts = 10;
constexpr auto kReplayPause = std::chrono::seconds(1);

void CopyWord(char* out, size_t size, const char* word) {
  FormatCut(out, size, "%s", word);
}

long Decimal(const char* word) {
  return std::strtol(word, nullptr, 10);
}

// A number beyond the normaliser's field is handed on as a value it refuses
// (with its own message), never narrowed: 4294967333 must not become 37.
int Normalize5(const char* word) {
  const long n = Decimal(word);
  const bool fits = n >= std::numeric_limits<int>::min() && n <= std::numeric_limits<int>::max();
  return Normalize5GhzChannel(fits ? static_cast<int>(n) : -1);
}

int NormalizePsc(const char* word) {
  const long n = Decimal(word);
  const bool fits = n >= 0 && n <= static_cast<long>(std::numeric_limits<uint32_t>::max());
  return NormalizePscChannel(fits ? static_cast<uint32_t>(n)
                                  : std::numeric_limits<uint32_t>::max());
}

// The create request of an accepted create or test, after its parameters.
void PostCreateRequest(DaemonState& ds, ReplySink& sink) {
  PostRequest(ds, [&ds](uint64_t serial) {
    ds.create_requested.store(1, std::memory_order_release);
    ds.create_serial = serial;
  });
  SendText(sink, "1\tCreating");
}

void Accept(DaemonState& ds, int hidden, int wide, ReplySink& sink) {
  ds.hidden_requested.store(hidden, std::memory_order_release);
  ds.use_160mhz.store(wide, std::memory_order_release);
  PostCreateRequest(ds, sink);
}

void SetBusy(DaemonState& ds) {
  std::lock_guard<std::mutex> lock(ds.state_lock);
  ds.state = kStateBusy;
}

// Writes "Error: could not save <path>: <reason>" when the file could not
// be replaced; the request that saves it goes on either way.
void SaveFile(const char* path, const char* data, size_t size) {
  AtomicFileWriter file(path);
  if (file.Open() && file.Write(data, size) && file.Commit()) {
    return;
  }
  ReportSaveFailure(path, file.Error());
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

// The flags after the fourth argument. False after a refusal reply.
bool ParseFlags(Daemon& daemon, const Request& request, int& hidden, int& wide) {
  DaemonState& ds = daemon.state;
  int i = 5;
  while (i < request.count) {
    const char* word = request.words[i];
    const bool one_more = i + 1 < request.count;
    if (std::strcmp(word, "--channel56") == 0 && i + 2 < request.count) {
      const int n6 = NormalizePsc(request.words[i + 2]);
      const int n5 = Normalize5(request.words[i + 1]);
      if (n6 == -1 || n5 == -1) {
        return false;
      }
      ds.channel_prefs_set = 1;
      ds.preferred_6ghz_channel = n6;
      ds.preferred_5ghz_channel = n5;
      i += 3;
    } else if (std::strcmp(word, "--channel5") == 0 && one_more) {
      const int n5 = Normalize5(request.words[i + 1]);
      if (n5 == -1) {
        return false;
      }
      ds.channel_prefs_set = 1;
      ds.preferred_5ghz_channel = n5;
      i += 2;
    } else if ((std::strcmp(word, "--channel") == 0 || std::strcmp(word, "--channel6") == 0) &&
               one_more) {
      const int n6 = NormalizePsc(request.words[i + 1]);
      if (n6 == 0) {
        std::fprintf(stderr, "Bad 6 channel\n");
        return false;
      }
      if (n6 == -1) {
        return false;
      }
      ds.preferred_channel = static_cast<uint32_t>(n6);
      ds.channel_prefs_set = 1;
      ds.preferred_6ghz_channel = n6;
      i += 2;
    } else if (std::strcmp(word, "--hidden") == 0) {
      hidden = 1;
      i += 1;
    } else if (std::strcmp(word, "--width") == 0 && one_more) {
      const long width = Decimal(request.words[i + 1]);
      i += 2;
      if (width == 80) {
        wide = 0;
      } else if (width == 160) {
        wide = 1;
      } else {
        // The number as read, not narrowed: 4294967376 is not "parsed as 80".
        std::fprintf(stderr, "Bad channel width (parsed as %ld)\n", width);
        return false;
      }
    } else {
      std::fprintf(stderr, "Error: Invalid flag: %s [%d]\n", word, i + 1);
      return false;
    }
  }
  return true;
}

// The preferred scanning channel given as the sixth and last word; -1 when
// it is none (each is also reachable by the number 4 lower).
long PscChannel(const char* word) {
  long n = Decimal(word);
  if (n % 16 == 1) {
    n += 4;
  }
  // Bounds first: strtol gives LONG_MIN for a word such as " -9223372036854775808".
  return n >= 5 && n <= 229 && (n - 5) % 16 == 0 ? n : -1;
}

}  // namespace

void RecordRequest(Daemon& daemon, const char* raw) {
  std::lock_guard<std::mutex> lock(daemon.laststate_lock);
  // Replaced whole, so a power cut never leaves an empty file that would
  // make the next boot forget the access point.
  std::string line = raw;
  line += '\n';
  SaveFile(daemon.paths.laststate, line.data(), line.size());
}

bool GenerateDefaultPassword(Daemon& daemon, char* password, size_t size, char* failure,
                             size_t failure_size) {
  const int fd = ::open(daemon.paths.random_device, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    char reason[128];
    FormatCut(failure, failure_size, "internal failure 43: %s",
              ErrnoText(errno, reason, sizeof reason));
    return false;
  }
  uint8_t bytes[8];
  const ssize_t got = ::read(fd, bytes, sizeof bytes);
  ::close(fd);
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
  SaveFile(daemon.paths.default_password, password, std::strlen(password));
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
  const char* mode = request.words[3];
  if (std::strcmp(mode, "hbs") == 0) {
    ds.desired_mode.store(kModeHbs, std::memory_order_release);
  } else if (std::strcmp(mode, "scs") == 0) {
    ds.desired_mode.store(kModeScs, std::memory_order_release);
  } else if (std::strcmp(mode, "hbs6") == 0) {
    ds.desired_mode.store(kModeHbs6, std::memory_order_release);
  } else {
    ds.desired_mode.store(kModeNone, std::memory_order_release);
    std::fprintf(stderr, "Unknown mode flag\n");
    SendText(sink, kCreateUsage);
    return;
  }
  const char* route = request.words[4];
  if (std::strcmp(route, "noroute") == 0) {
    ds.route.store(kRouteNone, std::memory_order_release);
  } else if (std::strcmp(route, "nat") == 0) {
    ds.route.store(kRouteNat, std::memory_order_release);
  } else if (std::strcmp(route, "transparent") == 0) {
    ds.route.store(kRouteTransparent, std::memory_order_release);
  } else {
    ds.route.store(kRouteUnset, std::memory_order_release);
    std::fprintf(stderr, "Unknown route flag\n");
    SendText(sink, kCreateUsage);
    return;
  }
  ds.preferred_channel = 0;
  int hidden = 0;
  int wide = 1;
  if (request.count == 6 && request.words[5][0] != '\0' && request.words[5][0] != '-') {
    const long channel = PscChannel(request.words[5]);
    if (channel < 0) {
      std::fprintf(stderr, "Bad PSC channel\n");
      SendText(sink, kCreateUsage);
      return;
    }
    ds.preferred_channel = static_cast<uint32_t>(channel);
  } else if (request.count > 5 && !ParseFlags(daemon, request, hidden, wide)) {
    SendText(sink, kCreateUsage);
    return;
  }
  Accept(ds, hidden, wide, sink);
}

void CommandTest(CommandEnv& env, const Request& request, ReplySink& sink) {
  Daemon& daemon = env.daemon;
  DaemonState& ds = daemon.state;
  if (request.count == 5) {
    char reason[160];
    if (SsidProblem(request.words[1], reason, sizeof reason) != nullptr ||
        PassphraseProblem(request.words[2], reason, sizeof reason) != nullptr) {
      RefuseCredential(reason, kTestUsage, sink);
      return;
    }
  }
  std::lock_guard<std::mutex> order(daemon.request_lock);
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
  const long band = Decimal(request.words[3]);
  const long channel = Decimal(request.words[4]);
  ds.test_band = static_cast<int32_t>(band);
  ds.preferred_channel = static_cast<uint32_t>(channel);
  // Numbers beyond the 32-bit fields would be stored as something else (a
  // negative band gives hostapd a file without a band, reported running).
  constexpr long kFieldMax = std::numeric_limits<int32_t>::max();
  if (band > 1 && channel > 1 && band <= kFieldMax && channel <= kFieldMax) {
    ds.desired_mode.store(kModeTest, std::memory_order_release);
    PostCreateRequest(ds, sink);
  } else {
    SendText(sink, "bad arguments\nUsage: test <AP name> <password> <band> <channel>");
  }
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
    FILE* f = std::fopen(daemon.paths.laststate, "re");
    if (f == nullptr) {
      return;
    }
    char line[kLineSize] = {};
    const bool read = std::fgets(line, static_cast<int>(kLineSize - 1), f) != nullptr;
    std::fclose(f);
    if (!read) {
      return;
    }
    command = ReplayCommand(line);
  }
  // Unlocked: the replayed request reaches a command thread that records it.
  // A busy management socket may close the connection unanswered; then the
  // request is sent again, a bounded number of times. Once any create, test
  // or teardown has been answered (the replayed one, or a newer one from a
  // client, which the replay must not override) it is not repeated.
  for (int attempt = 1; attempt <= kReplayAttempts; ++attempt) {
    const uint64_t answered = daemon.recorded_replies.load();
    const int status = daemon.hooks.run_command(command.c_str());
    if (daemon.recorded_replies.load() != answered) {
      return;
    }
    std::fprintf(stderr,
                 "Error: replay of the last request got no reply (try %d of %d, status %d)\n",
                 attempt, kReplayAttempts, status);
    if (attempt < kReplayAttempts) {
      daemon.hooks.sleep(kReplayPause);
    }
  }
}

}  // namespace ww
