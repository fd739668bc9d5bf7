#include "daemon/core/last_state.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "common/util/atomic_file.h"
#include "common/util/format.h"
#include "common/util/report.h"
#include "daemon/core/commands.h"
#include "daemon/core/daemon.h"
#include "daemon/core/dispatch.h"
#include "daemon/regulatory/channels.h"

namespace ww {
namespace {

constexpr size_t kLineSize = 1024;
constexpr int kMinPasswordLength = 8;

// The text without one trailing newline.
void DropNewline(char* text) {
  const size_t n = std::strlen(text);
  if (n > 0 && text[n - 1] == '\n') {
    text[n - 1] = '\0';
  }
}

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

void Accept(DaemonState& ds, int hidden, int wide, ReplySink& sink) {
  ds.hidden_requested.store(hidden, std::memory_order_release);
  ds.use_160mhz.store(wide, std::memory_order_release);
  ds.create_requested.store(1, std::memory_order_release);
  ds.wake_semaphore.Post();
  SendText(sink, "1\tCreating");
}

bool DefaultName(Daemon& daemon) {
  DaemonState& ds = daemon.state;
  std::memset(ds.ssid, 0, sizeof ds.ssid);
  if (ReadSmallFile(daemon.paths.hostname, ds.ssid, sizeof ds.ssid) == 0) {
    CopyWord(ds.ssid, sizeof ds.ssid, "unknown");
  } else {
    // Only one line end is dropped, as the name file has one; a name with
    // more lines would still reach hostapd's file, so cut at the first.
    char* newline = std::strchr(ds.ssid, '\n');
    if (newline != nullptr) {
      *newline = '\0';
    }
  }
  return true;
}

bool DefaultPassword(Daemon& daemon, ReplySink& sink) {
  char text[kLineSize] = {};
  (void)ReadSmallFile(daemon.paths.default_password, text, kLineSize - 2);
  DropNewline(text);
  if (std::strlen(text) < kMinPasswordLength) {
    return GenerateDefaultPassword(daemon, sink);
  }
  CopyWord(daemon.state.password, sizeof daemon.state.password, text);
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
  AtomicFileWriter file(daemon.paths.laststate);
  if (file.Open() && file.Write(raw, std::strlen(raw)) && file.Write("\n", 1)) {
    (void)file.Commit();
  }
}

bool GenerateDefaultPassword(Daemon& daemon, ReplySink& sink) {
  const int fd = ::open(daemon.paths.random_device, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    char reason[128];
    char reply[256];
    const size_t n = FormatCut(reply, sizeof reply, "internal failure 43: %s",
                               ErrnoText(errno, reason, sizeof reason));
    sink.Send(reply, n);
    return false;
  }
  uint8_t bytes[8];
  const ssize_t got = ::read(fd, bytes, sizeof bytes);
  ::close(fd);
  if (got < static_cast<ssize_t>(sizeof bytes)) {
    SendText(sink, "internal failure 44");
    return false;
  }
  const uint32_t value = static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
                         (static_cast<uint32_t>(bytes[2]) << 16) |
                         (static_cast<uint32_t>(bytes[3]) << 24);
  DaemonState& ds = daemon.state;
  FormatCut(ds.password, sizeof ds.password, "%08llx", static_cast<unsigned long long>(value));
  // A half-written file would hand out a passphrase that locks every
  // client out: replace it whole.
  AtomicFileWriter file(daemon.paths.default_password);
  if (file.Open() && file.Write(ds.password, std::strlen(ds.password))) {
    (void)file.Commit();
  }
  return true;
}

void CommandCreate(CommandEnv& env, const Request& request, ReplySink& sink) {
  Daemon& daemon = env.daemon;
  DaemonState& ds = daemon.state;
  RecordRequest(daemon, request.raw);
  {
    std::lock_guard<std::mutex> lock(ds.state_lock);
    ds.state = kStateBusy;
  }
  if (request.count < 5) {
    SendText(sink, kCreateUsage);
    return;
  }
  {
    // A pass may be reading the credentials of the previous request (to
    // publish or write them) while this one replaces them.
    std::lock_guard<std::mutex> lock(ds.state_lock);
    if (std::strcmp(request.words[1], "-") != 0) {
      CopyWord(ds.ssid, sizeof ds.ssid, request.words[1]);
    } else {
      DefaultName(daemon);
    }
    if (std::strcmp(request.words[2], "-") != 0) {
      CopyWord(ds.password, sizeof ds.password, request.words[2]);
    } else if (!DefaultPassword(daemon, sink)) {
      return;
    }
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
  RecordRequest(daemon, request.raw);
  {
    std::lock_guard<std::mutex> lock(ds.state_lock);
    ds.state = kStateBusy;
  }
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
    ds.create_requested.store(1, std::memory_order_release);
    ds.wake_semaphore.Post();
    SendText(sink, "1\tCreating");
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
  (void)daemon.hooks.run_command(command.c_str());
}

}  // namespace ww
