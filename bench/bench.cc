// ww_bench: measures the daemon against its floors, inside the hermetic test
// bed (bench/run.sh enters it). Prints a table and writes the same figures as
// JSON. Nothing here asserts a time: the figures are for people to compare.
//
//   ww_bench --programs DIR [--quick] [--json FILE] [--radio FILE] [--device FILE]
//            [--soak FILE]
//   ww_bench --attach
//
// --quick shortens every run to a few seconds in all (the CTest smoke run);
// --radio, --device and --soak merge the "name value unit" lines the radio
// bench, the device image's bench and the device soak wrote;
// --attach measures only the round trips of a daemon already running (the
// radio bench runs it in the VM).
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/stats.h"
#include "common/util/unique_fd.h"

extern char** environ;  // NOLINT(readability-redundant-declaration)

namespace ww::bench {
namespace {

using Clock = std::chrono::steady_clock;
using Millis = std::chrono::milliseconds;

constexpr const char* kDaemonSocket = "/var/run/wavewarden.socket";
constexpr int kConcurrency[] = {1, 16, 128};
// Every exchange of a client is bounded by this, so a stuck server ends a
// run instead of hanging it.
constexpr timeval kClientTimeout{2, 0};

struct Options {
  std::string programs;
  bool quick = false;
  bool attach = false;  // measure the round trips of a daemon already running
  std::string json;
  std::string radio;
  std::string device;
  std::string soak;
};

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

// --- clients -------------------------------------------------------------

int ConnectTo(const std::string& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    return -1;
  }
  (void)::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &kClientTimeout, sizeof kClientTimeout);
  (void)::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &kClientTimeout, sizeof kClientTimeout);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// One exchange as the protocol has it: a connection, the request, the reply
// up to the server's close. The reply's length, or -1.
long ExchangeOnce(const std::string& path, const std::string& request,
                  std::string* reply = nullptr) {
  const int fd = ConnectTo(path);
  if (fd < 0) {
    return -1;
  }
  long total = -1;
  if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
      static_cast<ssize_t>(request.size())) {
    total = 0;
    char buffer[16384];
    for (int reads = 0; reads < 1024; ++reads) {
      const ssize_t got = ::read(fd, buffer, sizeof buffer);
      if (got <= 0) {
        total = got < 0 ? -1 : total;
        break;
      }
      total += got;
      if (reply != nullptr) {
        reply->append(buffer, static_cast<size_t>(got));
      }
    }
  }
  ::close(fd);
  return total;
}

// `clients` threads exchange `request` with the server at `path` back to
// back for `duration`; an empty reply counts as an error (a refusal).
RoundTrip Drive(const std::string& path, const std::string& request, int clients, Millis duration) {
  std::atomic<bool> stop{false};
  std::vector<std::vector<double>> latencies(static_cast<size_t>(clients));
  std::vector<long> errors(static_cast<size_t>(clients), 0);
  std::vector<std::thread> threads;
  threads.reserve(static_cast<size_t>(clients));
  const auto started = Clock::now();
  for (int c = 0; c < clients; ++c) {
    threads.emplace_back([&, c] {
      auto& mine = latencies[static_cast<size_t>(c)];
      mine.reserve(1 << 16);
      // Bounded in count as well as by the stop flag.
      for (int i = 0; i < 10'000'000 && !stop.load(std::memory_order_relaxed); ++i) {
        const auto t0 = Clock::now();
        const long got = ExchangeOnce(path, request);
        const auto t1 = Clock::now();
        if (got > 0) {
          mine.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
        } else {
          ++errors[static_cast<size_t>(c)];
        }
      }
    });
  }
  std::this_thread::sleep_for(duration);
  stop = true;
  for (std::thread& t : threads) {
    t.join();
  }
  RoundTrip trip;
  trip.seconds = Seconds(Clock::now() - started);
  std::vector<double> all;
  for (size_t c = 0; c < latencies.size(); ++c) {
    all.insert(all.end(), latencies[c].begin(), latencies[c].end());
    trip.errors += errors[c];
  }
  trip.requests = static_cast<long>(all.size());
  Summarize(all, trip);
  return trip;
}

// --- the floors ------------------------------------------------------------

// How a floor answers: on the accepting thread (the floor of the protocol),
// on a fresh thread per connection (the floor of the daemon's design), or on
// a fresh thread that also makes the calls the daemon makes for every
// connection whatever the request: it names the thread, sets the two 1-s
// socket time-outs and logs the request. That last floor tells the daemon's
// own cost from the cost of the work it does for every connection.
enum class Floor { kAccept, kThread, kThreadWithCalls };
constexpr const char* kFloorLog = "/run/ww-bench-floor.log";

// A server with a fixed reply and the daemon's reading discipline (one read,
// the reply, the close).
class FloorServer {
 public:
  // The server runs in a process of its own, as the daemon does: in the
  // generator's process its answers would skip the switch between address
  // spaces that every answer of the daemon pays (small here, but several
  // times the whole answer on an emulated CPU).
  FloorServer(std::string path, std::string reply, Floor kind)
      : path_(std::move(path)), reply_(std::move(reply)), kind_(kind) {
    ::unlink(path_.c_str());
    const UniqueFd listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path_.c_str());
    if (!listener.Valid() ||
        ::bind(listener.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener.Get(), 1024) != 0) {
      std::perror("floor server");
      return;
    }
    // Forked while the generator runs no other thread; the child only
    // serves and ends by the parent's signal.
    child_ = ::fork();
    if (child_ == 0) {
      // Its log is a file, as the daemon's standard error is here.
      if (kind_ == Floor::kThreadWithCalls) {
        const int log = ::open(kFloorLog, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (log >= 0) {
          ::dup2(log, 2);
          ::close(log);
        }
      }
      AcceptLoop(listener.Get());
      ::_exit(0);
    }
    if (child_ < 0) {
      std::perror("floor server: fork");
    }
  }
  FloorServer(const FloorServer&) = delete;
  FloorServer& operator=(const FloorServer&) = delete;
  ~FloorServer() {
    if (child_ > 0) {
      ::kill(child_, SIGKILL);
      ::waitpid(child_, nullptr, 0);
    }
    ::unlink(path_.c_str());
  }
  const std::string& Path() const { return path_; }

 private:
  void Answer(int fd) const {
    if (kind_ == Floor::kThreadWithCalls) {
      (void)::prctl(PR_SET_NAME, "HandleCommandTh");
      const timeval timeout{1, 0};
      (void)::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
      (void)::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    }
    char request[128];
    const ssize_t got = ::read(fd, request, sizeof request - 1);
    if (got >= 0) {
      if (kind_ == Floor::kThreadWithCalls) {
        request[got] = '\0';
        std::fprintf(stderr, "Read: %d [%s]\n", static_cast<int>(got), request);
      }
      (void)::send(fd, reply_.data(), reply_.size(), MSG_NOSIGNAL);
    }
    ::close(fd);
  }
  void AcceptLoop(int listen_fd) const {
    for (;;) {
      const int fd = ::accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) {
        if (errno == EINTR || errno == ECONNABORTED) {
          continue;
        }
        return;
      }
      if (kind_ == Floor::kAccept) {
        Answer(fd);
        continue;
      }
      std::thread([this, fd] { Answer(fd); }).detach();
    }
  }

  std::string path_;
  std::string reply_;
  Floor kind_;
  pid_t child_ = -1;
};

// --- the daemon process ----------------------------------------------------

struct Usage {
  long rss_kib = 0;
  long rss_anon_kib = 0;  // the daemon's own pages
  long rss_file_kib = 0;  // mapped program and library pages, shared with others
  int threads = 0;
  int fds = 0;
  long cpu_ticks = 0;  // user + system, all threads
  // Voluntary + involuntary context switches of each thread, by thread id.
  std::map<std::string, long> switches;
};

long StatusField(const std::string& status, const char* name) {
  const size_t at = status.find(name);
  return at == std::string::npos
             ? 0
             : std::strtol(status.c_str() + at + std::strlen(name), nullptr, 10);
}

std::string ReadAll(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// The names in a folder but "." and "..".
std::vector<std::string> Entries(const std::string& path) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(path.c_str());
  if (dir == nullptr) {
    return names;
  }
  // Only this thread reads this folder stream.
  while (const dirent* entry = ::readdir(dir)) {  // NOLINT(concurrency-mt-unsafe)
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
      names.emplace_back(entry->d_name);
    }
  }
  ::closedir(dir);
  return names;
}

Usage ReadUsage(pid_t pid) {
  Usage u;
  const std::string proc = "/proc/" + std::to_string(pid);
  const std::string status = ReadAll(proc + "/status");
  u.rss_kib = StatusField(status, "VmRSS:");
  u.rss_anon_kib = StatusField(status, "RssAnon:");
  u.rss_file_kib = StatusField(status, "RssFile:");
  u.threads = static_cast<int>(StatusField(status, "Threads:"));
  const std::string stat = ReadAll(proc + "/stat");
  // Fields after the command name, which is in parentheses and may hold
  // spaces: utime and stime are the 12th and 13th after it.
  const size_t close = stat.rfind(')');
  if (close != std::string::npos) {
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    for (int i = 1; i <= 13 && fields >> field; ++i) {
      if (i >= 12) {
        u.cpu_ticks += std::strtol(field.c_str(), nullptr, 10);
      }
    }
  }
  u.fds = static_cast<int>(Entries(proc + "/fd").size());
  // Wake-ups: every thread's context switches, from its own status file.
  for (const std::string& tid : Entries(proc + "/task")) {
    std::string path = proc;
    path.append("/task/").append(tid).append("/status");
    const std::string task = ReadAll(path);
    u.switches[tid] = StatusField(task, "voluntary_ctxt_switches:") +
                      StatusField(task, "nonvoluntary_ctxt_switches:");
  }
  return u;
}

pid_t Spawn(const std::vector<std::string>& argv, const char* out_path) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out_path, O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& a : argv) {
    args.push_back(const_cast<char*>(a.c_str()));
  }
  args.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) {
    pid = -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

int RunAndWait(const std::vector<std::string>& argv, const char* out_path = "/dev/null") {
  const pid_t pid = Spawn(argv, out_path);
  if (pid < 0) {
    return -1;
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

template <typename Condition>
bool WaitUntil(Condition condition, Millis timeout) {
  const auto deadline = Clock::now() + timeout;
  while (!condition()) {
    if (Clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(Millis(20));
  }
  return true;
}

std::string Status() {
  std::string reply;
  return ExchangeOnce(kDaemonSocket, std::string("status\0", 7), &reply) > 0 ? reply : "";
}

// Context switches between two looks, over the threads seen in both (a
// thread that ended takes its count with it).
long SwitchesBetween(const Usage& before, const Usage& after) {
  long total = 0;
  for (const auto& [tid, count] : after.switches) {
    const auto then = before.switches.find(tid);
    if (then != before.switches.end()) {
      total += count - then->second;
    }
  }
  return total;
}

// True while the boot-time country resolution thread still runs (a thread
// name is cut to 15 characters).
bool BootThreadRuns(pid_t pid) {
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  for (const std::string& tid : Entries(tasks)) {
    std::string path = tasks;
    path.append("/").append(tid).append("/comm");
    if (ReadAll(path).rfind("RegulatoryRefre", 0) == 0) {
      return true;
    }
  }
  return false;
}

// --- figures ---------------------------------------------------------------

std::string Machine() {
  std::string model = "unknown CPU";
  std::istringstream cpuinfo(ReadAll("/proc/cpuinfo"));
  for (std::string line; std::getline(cpuinfo, line);) {
    if (line.rfind("model name", 0) == 0 && line.find(':') != std::string::npos) {
      model = line.substr(line.find(':') + 2);
      break;
    }
  }
  utsname un{};
  (void)::uname(&un);
  return model + ", " + std::to_string(std::thread::hardware_concurrency()) + " CPUs, Linux " +
         un.release + " " + un.machine;
}

long StrippedSize(const std::string& program) {
  const std::string copy = "/tmp/ww-bench-stripped";
  if (RunAndWait({"strip", "-o", copy, program}) != 0) {
    return -1;
  }
  struct stat info {};
  const long size = ::stat(copy.c_str(), &info) == 0 ? static_cast<long>(info.st_size) : -1;
  ::unlink(copy.c_str());
  return size;
}

// Mean wall time of `runs` starts of `argv`, each to its end, in µs.
double MeanRunMicros(const std::vector<std::string>& argv, int runs) {
  const auto started = Clock::now();
  for (int i = 0; i < runs; ++i) {
    (void)RunAndWait(argv);
  }
  return std::chrono::duration<double, std::micro>(Clock::now() - started).count() / runs;
}

void AddUsageRows(std::vector<Row>& rows, const char* when, const Usage& u) {
  const std::string w = when;
  rows.push_back({"footprint", "resident memory, " + w, static_cast<double>(u.rss_kib), "KiB", ""});
  rows.push_back(
      {"footprint", "  of it anonymous, " + w, static_cast<double>(u.rss_anon_kib), "KiB", ""});
  rows.push_back(
      {"footprint", "  of it file pages, " + w, static_cast<double>(u.rss_file_kib), "KiB", ""});
  rows.push_back({"footprint", "threads, " + w, static_cast<double>(u.threads), "", ""});
  rows.push_back({"footprint", "descriptors, " + w, static_cast<double>(u.fds), "", ""});
}

void AddVmRows(std::vector<Row>& rows, const std::string& path, const std::string& section) {
  std::ifstream file(path);
  for (std::string line; std::getline(file, line);) {
    std::istringstream words(line);
    std::string name;
    double value = 0;
    std::string unit;
    if (words >> name >> value) {
      words >> unit;
      for (char& c : name) {
        c = c == '_' ? ' ' : c;
      }
      rows.push_back({section, name, value, unit, ""});
    }
  }
}

// The round-trip matrix against the daemon at the management socket, with
// its three floors; rows for the JSON, and the matrix as printed.
std::string RoundTrips(Millis trip_time, std::vector<Row>& rows) {
  // Round trips. The floors answer with the daemon's own reply to each
  // request, so only the serving differs.
  struct Target {
    const char* name;
    std::string request;
  };
  const Target targets[] = {{"status", std::string("status\0", 7)},
                            {"state", std::string("state\0", 6)},
                            {"get-channels", std::string("get-channels\0", 13)}};
  std::string lines;
  char line[256];
  std::snprintf(line, sizeof line, "%-13s %7s %10s %9s %9s %7s %9s %9s %9s\n", "request", "clients",
                "req/s", "p50 us", "p99 us", "errors", "x thread", "x accept", "x calls");
  lines += line;
  double status_rate_16 = 0;
  for (const Target& target : targets) {
    std::string reply;
    (void)ExchangeOnce(kDaemonSocket, target.request, &reply);
    FloorServer thread_floor("/run/ww-bench-thread.socket", reply, Floor::kThread);
    FloorServer accept_floor("/run/ww-bench-accept.socket", reply, Floor::kAccept);
    FloorServer calls_floor("/run/ww-bench-calls.socket", reply, Floor::kThreadWithCalls);
    for (const int clients : kConcurrency) {
      const RoundTrip d = Drive(kDaemonSocket, target.request, clients, trip_time);
      const RoundTrip t = Drive(thread_floor.Path(), target.request, clients, trip_time);
      const RoundTrip a = Drive(accept_floor.Path(), target.request, clients, trip_time);
      const RoundTrip c = Drive(calls_floor.Path(), target.request, clients, trip_time);
      // Slow-downs: how many times the floor's rate the daemon's time per
      // request is.
      const double vs_thread = Ratio(t.Rate(), d.Rate());
      const double vs_accept = Ratio(a.Rate(), d.Rate());
      const double vs_calls = Ratio(c.Rate(), d.Rate());
      const std::string n = std::string(target.name) + ", " + std::to_string(clients) + " clients";
      rows.push_back({"round trip", n + ", rate", d.Rate(), "req/s", ""});
      rows.push_back({"round trip", n + ", p50", d.p50_us, "us", ""});
      rows.push_back({"round trip", n + ", p99", d.p99_us, "us", ""});
      rows.push_back({"round trip", n + ", errors", static_cast<double>(d.errors), "", ""});
      rows.push_back({"round trip", n + ", x thread floor", vs_thread, "", ""});
      rows.push_back({"round trip", n + ", x accept floor", vs_accept, "", ""});
      rows.push_back({"round trip", n + ", x thread floor with the calls", vs_calls, "", ""});
      const auto floor_rows = [&](const char* floor, const RoundTrip& r) {
        rows.push_back({"floors", n + ", " + floor + " rate", r.Rate(), "req/s", ""});
        rows.push_back({"floors", n + ", " + floor + " p50", r.p50_us, "us", ""});
      };
      floor_rows("thread floor", t);
      floor_rows("accept floor", a);
      floor_rows("thread floor with the calls", c);
      if (clients == 16 && std::strcmp(target.name, "status") == 0) {
        status_rate_16 = d.Rate();
      }
      if (clients == 16 && std::strcmp(target.name, "state") == 0) {
        rows.push_back(
            {"round trip", "state vs status, 16 clients", Ratio(status_rate_16, d.Rate()), "", ""});
      }
      const auto print = [&](const char* who, const RoundTrip& r, const std::string& ratios) {
        std::snprintf(line, sizeof line, "%-13s %7d %10.0f %9.0f %9.0f %7ld %s  %s\n", target.name,
                      clients, r.Rate(), r.p50_us, r.p99_us, r.errors, ratios.c_str(), who);
        lines += line;
      };
      char ratios[64];
      std::snprintf(ratios, sizeof ratios, "%9.2f %9.2f %9.2f", vs_thread, vs_accept, vs_calls);
      print("daemon", d, ratios);
      const std::string no_ratios(29, ' ');
      print("thread floor", t, no_ratios);
      print("accept floor", a, no_ratios);
      print("thread floor with the calls", c, no_ratios);
    }
  }
  return lines;
}

// The round trips only, against a daemon that runs already (on the radio
// VM, where nl80211 exists): the matrix on standard error, and each
// slow-down as a "BENCH name value" line for bench/run.sh.
int RunAttached() {
  if (Status().empty()) {
    std::fprintf(stderr, "ww_bench: no daemon answers on %s\n", kDaemonSocket);
    return 1;
  }
  std::vector<Row> rows;
  std::fputs(RoundTrips(Millis(500), rows).c_str(), stderr);
  for (const Row& row : rows) {
    if (row.name.find(" x ") != std::string::npos || row.name.find(" vs ") != std::string::npos) {
      std::string name = row.name + " with a radio";
      for (char& c : name) {
        c = c == ' ' ? '_' : c;
      }
      std::printf("BENCH %s %.2f\n", name.c_str(), row.value);
    }
  }
  return 0;
}

int Run(const Options& options) {
  if (options.attach) {
    return RunAttached();
  }
  const Millis trip_time(options.quick ? 300 : 3000);
  const Millis idle_time(options.quick ? 2000 : 60000);
  const int spawn_runs = options.quick ? 10 : 200;
  std::vector<Row> rows;

  // wlan0 is one end of a veth pair, as in the system tests.
  const char* ip = std::getenv("WW_REAL_IP");  // NOLINT(concurrency-mt-unsafe)
  if (ip == nullptr ||
      RunAndWait({ip, "link", "add", "wlan0", "type", "veth", "peer", "name", "wlan0peer"}) != 0 ||
      RunAndWait({ip, "link", "set", "wlan0", "up"}) != 0) {
    std::fprintf(stderr, "ww_bench: run me through bench/run.sh (the test bed)\n");
    return 2;
  }
  const pid_t daemon = Spawn({options.programs + "/wavewarden"}, "/run/ww-bench-daemon.log");
  if (daemon < 0 || !WaitUntil([] { return Status() == "0\tIdle"; }, Millis(30000))) {
    std::fprintf(stderr, "ww_bench: the daemon did not come up (see /run/ww-bench-daemon.log)\n");
    if (daemon > 0) {
      ::kill(daemon, SIGKILL);
      ::waitpid(daemon, nullptr, 0);
    }
    return 1;
  }
  // Idle is after the boot: the country resolution gives up within half a
  // minute where, as here, no radio answers. (The quick run does not wait.)
  (void)WaitUntil([&] { return !BootThreadRuns(daemon); }, Millis(options.quick ? 0 : 90000));
  const Usage idle = ReadUsage(daemon);
  std::this_thread::sleep_for(idle_time);
  const Usage idle_end = ReadUsage(daemon);
  const double ticks = static_cast<double>(::sysconf(_SC_CLK_TCK));
  const double idle_seconds = std::chrono::duration<double>(idle_time).count();

  const std::string lines = RoundTrips(trip_time, rows);
  // Back to idle: every command thread ends within its 1 s read time-out.
  std::this_thread::sleep_for(Millis(1500));
  const Usage after = ReadUsage(daemon);

  // The client's cost against the cheapest program start.
  const double ctl_us = MeanRunMicros({options.programs + "/wavectl", "status"}, spawn_runs);
  const double true_us = MeanRunMicros({"true"}, spawn_runs);
  rows.push_back({"client", "wavectl status", ctl_us, "us", ""});
  rows.push_back({"client", "true", true_us, "us", ""});
  rows.push_back({"client", "wavectl status x true", Ratio(ctl_us, true_us), "", ""});

  AddUsageRows(rows, "idle", idle);
  AddUsageRows(rows, "after load", after);
  rows.push_back(
      {"footprint", "idle CPU",
       100.0 * static_cast<double>(idle_end.cpu_ticks - idle.cpu_ticks) / ticks / idle_seconds, "%",
       ""});
  rows.push_back({"footprint", "idle wake-ups per minute",
                  static_cast<double>(SwitchesBetween(idle, idle_end)) * 60.0 / idle_seconds, "",
                  ""});
  for (const char* program : {"wavewarden", "wavectl", "bandprobe"}) {
    rows.push_back({"footprint", std::string("stripped ") + program,
                    static_cast<double>(StrippedSize(options.programs + "/" + program)), "bytes",
                    ""});
  }
  if (!options.radio.empty()) {
    AddVmRows(rows, options.radio, "simulated radios");
  }
  if (!options.device.empty()) {
    AddVmRows(rows, options.device, "device image");
  }
  if (!options.soak.empty()) {
    AddVmRows(rows, options.soak, "device soak");
  }

  ::kill(daemon, SIGKILL);
  ::waitpid(daemon, nullptr, 0);

  const std::string machine = Machine();
  // The round trips are printed as their matrix; the JSON has every figure.
  std::vector<Row> rest;
  for (const Row& row : rows) {
    if (row.section != "round trip" && row.section != "floors") {
      rest.push_back(row);
    }
  }
  std::printf("wavewarden benchmark%s on %s\n\n%s\n%s", options.quick ? " (quick)" : "",
              machine.c_str(), lines.c_str(), FormatTable(rest).c_str());
  if (!options.json.empty()) {
    std::ofstream out(options.json);
    out << FormatJson(rows, machine);
  }
  return 0;
}

}  // namespace
}  // namespace ww::bench

int main(int argc, char** argv) {
  ww::bench::Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool more = i + 1 < argc;
    if (arg == "--programs" && more) {
      options.programs = argv[++i];
    } else if (arg == "--json" && more) {
      options.json = argv[++i];
    } else if (arg == "--radio" && more) {
      options.radio = argv[++i];
    } else if (arg == "--device" && more) {
      options.device = argv[++i];
    } else if (arg == "--soak" && more) {
      options.soak = argv[++i];
    } else if (arg == "--quick") {
      options.quick = true;
    } else if (arg == "--attach") {
      options.attach = true;
    } else {
      std::fprintf(
          stderr,
          "usage: ww_bench --programs DIR [--quick] [--json FILE] [--radio FILE] [--device FILE]\n"
          "                [--soak FILE]\n"
          "       ww_bench --attach\n");
      return 2;
    }
  }
  if (options.programs.empty() && !options.attach) {
    std::fprintf(stderr, "ww_bench: --programs DIR is needed\n");
    return 2;
  }
  return ww::bench::Run(options);
}
