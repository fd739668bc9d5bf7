// The management socket under load, through the real daemon: bursts of 200
// connections against its 128 command slots, a mix of good, bad, silent and
// vanishing clients, exact replies, an exact account of every connection in
// the daemon's log, and the daemon's descriptors, threads and memory after.
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/system/fixture.h"

namespace ww::bed {
namespace {

using std::chrono::steady_clock;

constexpr const char* kUnknown =
    "Unknown command / try 'enablencm' 'teardown' 'create' 'state' or 'status'";
constexpr const char* kNoChannels = "{\"country\":\"00\",\"error\":\"No channels in domain\"}\n";
// Followed by a line feed for one refusal, or by " (N refused since the last
// report)" for several: the daemon reports refusals at most once a second.
constexpr const char* kTooMany = "Error: Too many threads";
constexpr const char* kReadFailed = "read(...) failed with code -1\n";

constexpr int kSlots = 128;
constexpr int kBurst = 200;
constexpr int kHeldBursts = 40;  // 128 served and 72 refused each
constexpr int kWorkers = 200;    // free-running clients, one connection each at a time
constexpr int kWorkerJobs = 90;  // per worker
constexpr int kWarmupJobs = 40;
constexpr int kWarmupFirstJob = 1000000;
constexpr int kSilentClients = 4;  // each holds a slot for the daemon's 1 s read time-out
// Requests answered in all, of about 23000 sent: a busy machine sees more
// free-running clients refused while the slots are full.
constexpr int kMinServed = 15000;
// Per connect, send and read; the daemon answers within milliseconds.
constexpr Millis kClientTimeout(5000);
// The whole test, start-up included (stretched like every wait); ctest
// stops it at 60 s, stretched the same.
constexpr Millis kDeadline(50000);
// A held burst is judged connection by connection when its connects,
// refusals and sends all fall within this, inside the 1 s read time-out of
// the daemon's command threads; a burst slowed down by a busy machine is
// only counted.
constexpr Millis kHeldWindow(800);
// The address sanitizer keeps freed memory in quarantine and the thread
// sanitizer keeps history per thread, so their builds neither warm the heap
// up nor check the daemon's memory.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitizerHeap = true;
#else
constexpr bool kSanitizerHeap = false;
#endif
// The command thread's name as /proc shows it (cut to 15 characters).
constexpr const char* kCommandThreadComm = "HandleCommandTh\n";

// What the daemon holds; -1 where it could not be read.
struct Usage {
  int fds = -1;
  int threads = -1;
  int command_threads = -1;
  long rss_kib = -1;
  int thp_enabled = -1;
};

Usage ReadUsage(pid_t pid) {
  namespace fs = std::filesystem;
  const std::string proc = "/proc/" + std::to_string(pid);
  Usage u;
  std::error_code ec;
  u.fds = 0;
  for (fs::directory_iterator it(proc + "/fd", ec), end; !ec && it != end; it.increment(ec)) {
    ++u.fds;
  }
  u.threads = 0;
  u.command_threads = 0;
  for (fs::directory_iterator it(proc + "/task", ec), end; !ec && it != end; it.increment(ec)) {
    ++u.threads;
    u.command_threads += ReadFile(it->path().string() + "/comm") == kCommandThreadComm ? 1 : 0;
  }
  std::istringstream status(ReadFile(proc + "/status"));
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) {
      u.rss_kib = std::stol(line.substr(6));
    } else if (line.rfind("THP_enabled:", 0) == 0) {
      u.thp_enabled = std::stoi(line.substr(12));
    }
  }
  return u;
}

// A client socket whose connect, sends and reads each end within the client
// time-out (SO_SNDTIMEO also bounds a connect waiting for the backlog).
int ConnectBounded() {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    return -1;
  }
  const timeval tv{static_cast<time_t>(kClientTimeout.count() / 1000), 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, kSocketPath, sizeof addr.sun_path - 1);
  if (connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// How a connection ended for the client.
struct Ending {
  std::string reply;
  int error = 0;  // 0 for the end of file, else the errno of the last read
  // A daemon that closes with part of a long request unread resets the
  // connection; a time-out (EAGAIN) is a hang.
  bool Clean() const { return error == 0 || error == ECONNRESET; }
};

Ending ReadToEnd(int fd) {
  Ending e;
  char buf[4096];
  for (int reads = 0; reads < 100; ++reads) {
    const ssize_t got = read(fd, buf, sizeof buf);
    if (got <= 0) {
      e.error = got == 0 ? 0 : errno;
      return e;
    }
    e.reply.append(buf, static_cast<size_t>(got));
  }
  e.error = EMSGSIZE;
  return e;
}

enum class Kind {
  kStatus,
  kState,
  kGetChannels,
  kUnknownCommand,  // carries an id, so the log tells whether it was served
  kNearMiss,        // a whole-request command with something more
  kEmpty,           // the end of the request without a byte
  kOverlong,        // an unknown request with an id, longer than the read buffer
  kOverlongStatus,  // "status", its NUL, then padding past the read buffer
  kVanish,          // an unknown request with an id, closed before the reply
};
constexpr Kind kFreeRunningKinds[] = {
    Kind::kStatus,      Kind::kState,    Kind::kGetChannels, Kind::kUnknownCommand,
    Kind::kStatus,      Kind::kNearMiss, Kind::kEmpty,       Kind::kOverlong,
    Kind::kGetChannels, Kind::kState,    Kind::kVanish,      Kind::kOverlongStatus,
};
constexpr Kind kHeldKinds[] = {
    Kind::kStatus,   Kind::kState,          Kind::kGetChannels, Kind::kUnknownCommand,
    Kind::kNearMiss, Kind::kEmpty,          Kind::kOverlong,    Kind::kVanish,
    Kind::kStatus,   Kind::kOverlongStatus, Kind::kState,       Kind::kGetChannels,
};

// No near miss starts with "state": those are not logged.
const char* const kNearMisses[] = {"status\n", "get-channels\t", "Status", "getcreds\tx", "\t"};

std::string RequestFor(Kind kind, int n, const std::string& id) {
  switch (kind) {
    case Kind::kStatus:
      // With the NUL wavectl sends and without.
      return n % 2 == 0 ? std::string("status\0", 7) : "status";
    case Kind::kState:
      return "state";
    case Kind::kGetChannels:
      return std::string("get-channels\0", 13);
    case Kind::kUnknownCommand:
    case Kind::kVanish:
      return id;
    case Kind::kNearMiss:
      return kNearMisses[static_cast<size_t>(n) % std::size(kNearMisses)];
    case Kind::kEmpty:
      return "";
    case Kind::kOverlong:
      return id + "\t" + std::string(1025 + (n * 613) % 8000, 'x');
    case Kind::kOverlongStatus:
      return std::string("status\0", 7) + std::string(1100 + (n * 389) % 4000, 'p');
  }
  return "";
}

bool CarriesId(Kind kind) {
  return kind == Kind::kUnknownCommand || kind == Kind::kOverlong || kind == Kind::kVanish;
}

// What the clients saw.
struct Tally {
  int connections = 0;
  int failed_connects = 0;
  int replied = 0;        // connections that got their reply
  int state_replied = 0;  // of them, "state", which the daemon does not log
  int held_judged = 0;    // held bursts judged connection by connection
  int faults = 0;         // wrong replies, hangs, unclean ends
  std::vector<std::string> first_faults;
  std::set<std::string> replied_ids;
  std::set<std::string> unanswered_ids;
  std::vector<std::string> vanished_ids;

  void Fault(const std::string& what) {
    if (++faults <= 10) {
      first_faults.push_back(what);
    }
  }
  void Add(const Tally& o) {
    connections += o.connections;
    failed_connects += o.failed_connects;
    replied += o.replied;
    state_replied += o.state_replied;
    held_judged += o.held_judged;
    faults += o.faults;
    first_faults.insert(first_faults.end(), o.first_faults.begin(), o.first_faults.end());
    replied_ids.insert(o.replied_ids.begin(), o.replied_ids.end());
    unanswered_ids.insert(o.unanswered_ids.begin(), o.unanswered_ids.end());
    vanished_ids.insert(vanished_ids.end(), o.vanished_ids.begin(), o.vanished_ids.end());
  }
};

// What the daemon's log says about a stretch of load.
struct LogAccount {
  int refusals = 0;
  int reads = 0;
  int read_failures = 0;
  std::set<std::string> ids;  // of the logged requests that carry one
};

LogAccount Account(const std::string& log) {
  LogAccount a;
  const size_t too_many = std::strlen(kTooMany);
  for (size_t pos = log.find(kTooMany); pos != std::string::npos;
       pos = log.find(kTooMany, pos + 1)) {
    if (log.compare(pos + too_many, 1, "\n") == 0) {
      ++a.refusals;
    } else if (log.compare(pos + too_many, 2, " (") == 0) {
      a.refusals += static_cast<int>(std::strtol(log.c_str() + pos + too_many + 2, nullptr, 10));
    }
  }
  for (size_t pos = log.find(kReadFailed); pos != std::string::npos;
       pos = log.find(kReadFailed, pos + 1)) {
    ++a.read_failures;
  }
  for (size_t pos = log.find("Read: "); pos != std::string::npos;
       pos = log.find("Read: ", pos + 1)) {
    ++a.reads;
    const size_t open = log.find('[', pos);
    const size_t end = log.find_first_of("\t]", open);
    if (open != std::string::npos && end != std::string::npos) {
      const std::string word = log.substr(open + 1, end - open - 1);
      if (word.rfind("held-", 0) == 0 || word.rfind("free-", 0) == 0 ||
          word.rfind("vanish-", 0) == 0) {
        a.ids.insert(word);
      }
    }
  }
  return a;
}

class LoadTest : public BedTest {
 protected:
  void SetUp() override {
    BedTest::SetUp();
    if (IsSkipped()) {
      return;
    }
    started_ = steady_clock::now();
    StartDaemon();
    ASSERT_TRUE(WaitForStatus("0\tIdle")) << daemon_.err.Text();
    state_ = Exchange("state").value_or("");
    ASSERT_EQ(state_.rfind("{ \"sta\" : {", 0), 0u) << state_;
    ASSERT_EQ(Exchange("get-channels"), kNoChannels);
  }

  bool PastDeadline() const { return steady_clock::now() - started_ > Patience(kDeadline); }

  std::string Expected(Kind kind) const {
    switch (kind) {
      case Kind::kStatus:
      case Kind::kOverlongStatus:
        return "0\tIdle";
      case Kind::kState:
        return state_;
      case Kind::kGetChannels:
        return kNoChannels;
      default:
        return kUnknown;
    }
  }

  // Judges how a connection that sent a request of `kind` ended. Without a
  // reply it was refused or its request came after the daemon's read
  // time-out; the log's account tells how many of each there were.
  void Judge(Kind kind, const std::string& id, const Ending& e, bool must_reply, Tally& t) const {
    if (!e.Clean()) {
      t.Fault(id + ": read ended with " + std::strerror(e.error));
    } else if (e.reply.empty()) {
      if (must_reply) {
        t.Fault(id + ": no reply in a held burst");
      }
      if (CarriesId(kind)) {
        t.unanswered_ids.insert(id);
      }
    } else if (e.reply != Expected(kind)) {
      t.Fault(id + ": reply [" + e.reply.substr(0, 160) + "]");
    } else {
      ++t.replied;
      t.state_replied += kind == Kind::kState ? 1 : 0;
      if (CarriesId(kind)) {
        t.replied_ids.insert(id);
      }
    }
  }

  // Waits until every command thread has ended.
  bool WaitForIdleSlots() {
    return WaitUntil([&] { return ReadUsage(daemon_.Pid()).command_threads == 0; }, kClientTimeout);
  }

  // `count` connections opened before any sends, so the daemon gives the
  // first 128 a slot and must close the others at once, unanswered. Then the
  // served ones send their requests and each must get its reply.
  void HeldBurst(int burst, int count, Tally& t) {
    ASSERT_TRUE(WaitForIdleSlots());
    const auto start = steady_clock::now();
    std::vector<int> fds;
    for (int i = 0; i < count; ++i) {
      const int fd = ConnectBounded();
      if (fd < 0) {
        ++t.failed_connects;
        continue;
      }
      fds.push_back(fd);
    }
    t.connections += static_cast<int>(fds.size());
    const int served = std::min(count, kSlots);
    ASSERT_EQ(fds.size(), static_cast<size_t>(count));
    // The daemon accepts in connect order: the connections after the 128th
    // are the ones closed. Wait until it has closed as many as it must.
    std::vector<pollfd> polls;
    for (const int fd : fds) {
      polls.push_back({fd, POLLIN, 0});
    }
    const auto closed = [](const pollfd& p) { return (p.revents & (POLLIN | POLLHUP)) != 0; };
    WaitUntil(
        [&] {
          poll(polls.data(), polls.size(), 0);
          return std::count_if(polls.begin(), polls.end(), closed) >= count - served;
        },
        kClientTimeout);
    const bool prompt = steady_clock::now() - start < kHeldWindow;
    for (int i = 0; prompt && i < count; ++i) {
      if (closed(polls[i]) != (i >= served)) {
        t.Fault("burst " + std::to_string(burst) + ": connection " + std::to_string(i + 1) +
                (closed(polls[i]) ? " was closed before its request" : " was kept"));
      }
    }
    for (int i = 0; i < count; ++i) {
      if (closed(polls[i])) {
        const Ending e = ReadToEnd(fds[i]);
        if (!e.Clean() || !e.reply.empty()) {
          t.Fault("closed connection ended with " + std::to_string(e.error) + " [" + e.reply + "]");
        }
        close(fds[i]);
        fds[i] = -1;
      }
    }
    std::vector<Kind> kinds(count);
    std::vector<std::string> ids(count);
    for (int i = 0; i < count; ++i) {
      if (fds[i] < 0) {
        continue;
      }
      const int n = burst * kSlots + i;
      // A burst that fits the slots only settles them: plain status requests.
      kinds[i] = count > kSlots ? kHeldKinds[static_cast<size_t>(n) % std::size(kHeldKinds)]
                                : Kind::kStatus;
      ids[i] = (kinds[i] == Kind::kVanish ? "vanish-held-" : "held-") + std::to_string(n);
      const std::string request = RequestFor(kinds[i], n, ids[i]);
      if (!request.empty()) {
        send(fds[i], request.data(), request.size(), MSG_NOSIGNAL);
      }
      if (kinds[i] == Kind::kVanish) {
        t.vanished_ids.push_back(ids[i]);
        close(fds[i]);
        fds[i] = -1;
      } else {
        shutdown(fds[i], SHUT_WR);
      }
    }
    const bool judged = prompt && steady_clock::now() - start < kHeldWindow;
    t.held_judged += judged && count > kSlots ? 1 : 0;
    for (int i = 0; i < count; ++i) {
      if (fds[i] >= 0) {
        Judge(kinds[i], ids[i], ReadToEnd(fds[i]), judged, t);
        close(fds[i]);
      }
    }
  }

  // One free-running client: connect, send, read and close, job after job.
  void Worker(int first_job, int jobs, Tally& t) {
    for (int j = 0; j < jobs && !PastDeadline(); ++j) {
      const int n = first_job + j;
      const Kind kind = kFreeRunningKinds[static_cast<size_t>(n) % std::size(kFreeRunningKinds)];
      const std::string id = (kind == Kind::kVanish ? "vanish-" : "free-") + std::to_string(n);
      const int fd = ConnectBounded();
      if (fd < 0) {
        ++t.failed_connects;
        continue;
      }
      ++t.connections;
      const std::string request = RequestFor(kind, n, id);
      if (!request.empty()) {
        // A refused connection may be gone already: EPIPE, without a signal.
        send(fd, request.data(), request.size(), MSG_NOSIGNAL);
      }
      if (kind == Kind::kVanish) {
        t.vanished_ids.push_back(id);
      } else {
        shutdown(fd, SHUT_WR);
        Judge(kind, id, ReadToEnd(fd), false, t);
      }
      close(fd);
    }
  }

  // Connects and says nothing, again and again while `run` holds.
  void SilentClient(const std::atomic<bool>& run, Tally& t) {
    for (int round = 0; round < 1000 && run && !PastDeadline(); ++round) {
      const int fd = ConnectBounded();
      if (fd < 0) {
        ++t.failed_connects;
        continue;
      }
      ++t.connections;
      const auto start = steady_clock::now();
      const Ending e = ReadToEnd(fd);
      close(fd);
      if (!e.Clean() || !e.reply.empty()) {
        t.Fault("silent client ended with " + std::to_string(e.error) + " [" + e.reply + "]");
      }
      // Refused at once (every slot busy): give the daemon a moment.
      if (steady_clock::now() - start < Millis(100)) {
        std::this_thread::sleep_for(Millis(20));
      }
    }
  }

  // `jobs` per worker, numbered from `first_job`.
  void FreeRunning(int first_job, int jobs, Tally& total) {
    std::vector<Tally> tallies(kWorkers + kSilentClients);
    std::atomic<bool> run{true};
    std::vector<std::thread> silent;
    for (int i = 0; i < kSilentClients; ++i) {
      silent.emplace_back([&, i] { SilentClient(run, tallies[kWorkers + i]); });
    }
    std::vector<std::thread> workers;
    for (int i = 0; i < kWorkers; ++i) {
      workers.emplace_back([&, i] { Worker(first_job + i * jobs, jobs, tallies[i]); });
    }
    for (std::thread& w : workers) {
      w.join();
    }
    run = false;
    for (std::thread& s : silent) {
      s.join();
    }
    for (const Tally& t : tallies) {
      total.Add(t);
    }
  }

  steady_clock::time_point started_;
  std::string state_;
};

TEST_F(LoadTest, BurstsBeyondTheSlotsAreRefusedCleanlyAndEveryServedRequestIsAnsweredOnce) {
  const pid_t pid = daemon_.Pid();
  ASSERT_TRUE(WaitForIdleSlots());

  // Where the warm-up's lines in the log begin.
  ASSERT_EQ(Exchange("warmup-starts"), kUnknown);
  ASSERT_TRUE(daemon_.err.WaitFor("Read: 13 [warmup-starts]\n", Millis(2000)));
  const size_t warmup_log_start = daemon_.err.Text().size();

  // The first load grows what the daemon keeps for good: malloc's arenas
  // for up to 128 threads at once, and the stacks of finished command
  // threads, which are joined only when a slot scan passes them. A burst
  // that fills the slots leaves all 128 finished and unjoined, so each
  // measurement follows one.
  Tally warmup;
  HeldBurst(1000, kBurst, warmup);
  if (!kSanitizerHeap) {
    FreeRunning(kWarmupFirstJob, kWarmupJobs, warmup);
  }
  HeldBurst(1001, kSlots, warmup);
  ASSERT_EQ(warmup.faults, 0) << testing::PrintToString(warmup.first_faults);
  // Refusals the daemon holds back are reported up to a second later: let
  // the warm-up's be in before the load is counted.
  WaitUntil(
      [&] {
        const LogAccount a = Account(daemon_.err.Text().substr(warmup_log_start));
        return a.refusals + a.reads + a.read_failures + warmup.state_replied >= warmup.connections;
      },
      Millis(3000));
  // The log is a pipe: once this request's line is in, so is all before it.
  ASSERT_EQ(Exchange("load-starts"), kUnknown);
  ASSERT_TRUE(daemon_.err.WaitFor("Read: 11 [load-starts]\n", Millis(2000)));
  const size_t log_start = daemon_.err.Text().size();
  ASSERT_TRUE(WaitForIdleSlots());
  const Usage before = ReadUsage(pid);
  const auto load_started = steady_clock::now();

  Tally tally;
  for (int burst = 0; burst < kHeldBursts && !PastDeadline(); ++burst) {
    HeldBurst(burst, kBurst, tally);
  }
  const auto held_done = steady_clock::now();
  FreeRunning(0, kWorkerJobs, tally);
  const auto free_done = steady_clock::now();
  HeldBurst(2000, kSlots, tally);
  ASSERT_FALSE(PastDeadline()) << "the load did not finish in time";
  const auto load_ended = steady_clock::now();

  // Every command thread ends within its 1 s read time-out.
  EXPECT_TRUE(WaitForIdleSlots());
  // Thresholds, each far below what a leak per request would add over
  // 20,000 requests:
  // - descriptors: +2 for what a supervision pass or the boot thread may
  //   hold open at the moment of looking (a pipe to a shell, a /proc file);
  // - threads: none more (the boot thread may even have ended meanwhile);
  // - memory: 512 KiB, where pages first touched in malloc's arenas add up
  //   to about half of it after the warm-up; more than 25 bytes kept per
  //   request pass it on their own.
  Usage after;
  WaitUntil(
      [&] {
        after = ReadUsage(pid);
        return after.fds <= before.fds && after.threads <= before.threads;
      },
      Millis(3000));
  EXPECT_LE(after.fds, before.fds + 2);
  EXPECT_LE(after.threads, before.threads);
  // Huge pages would make thread stacks cost megabytes on THP "always" kernels.
  EXPECT_EQ(after.thp_enabled, 0);
  if (!kSanitizerHeap) {
    EXPECT_LE(after.rss_kib, before.rss_kib + 512);
  }

  // The daemon's log accounts for every connection exactly once: refused
  // ("Too many threads"), read timed out (a silent client, or a request
  // that came too late), or served ("Read", for every request but "state").
  // Connections without a reply are the first two; the vanished that were
  // served are known by their ids.
  LogAccount log;
  WaitUntil(
      [&] {
        log = Account(daemon_.err.Text().substr(log_start));
        return log.refusals + log.reads + log.read_failures + tally.state_replied >=
               tally.connections;
      },
      Millis(3000));
  int vanished_served = 0;
  for (const std::string& id : tally.vanished_ids) {
    vanished_served += static_cast<int>(log.ids.count(id));
  }
  EXPECT_EQ(tally.faults, 0) << testing::PrintToString(tally.first_faults);
  EXPECT_EQ(tally.failed_connects, 0);
  EXPECT_EQ(log.refusals + log.read_failures, tally.connections - tally.replied - vanished_served);
  EXPECT_EQ(log.reads, tally.replied - tally.state_replied + vanished_served);
  for (const std::string& id : tally.replied_ids) {
    EXPECT_EQ(log.ids.count(id), 1u) << id << " was answered but not logged";
  }
  for (const std::string& id : tally.unanswered_ids) {
    EXPECT_EQ(log.ids.count(id), 0u) << id << " was logged but not answered";
  }
  EXPECT_GE(tally.replied, kMinServed);
  // Each judged burst had 72 connections closed before its requests.
  EXPECT_GE(tally.held_judged, kHeldBursts / 2) << "the machine is too busy to judge bursts";
  EXPECT_GE(log.refusals, tally.held_judged * (kBurst - kSlots));
  EXPECT_EQ(daemon_.err.Count("Error: could not start command thread"), 0);
  EXPECT_EQ(daemon_.err.Count("Error initializing netlink in HandleCommandThread"), 0);
  // Nothing the load did changed what the daemon reports.
  EXPECT_EQ(Exchange("state"), state_);
  EXPECT_TRUE(WaitForStatus("0\tIdle"));

  const auto ms = [](steady_clock::duration d) {
    return std::chrono::duration_cast<Millis>(d).count();
  };
  std::printf(
      "load: %d connections, %d answered, %d refused, %d read time-outs, %d of %d held bursts "
      "judged; held bursts %lld ms, free-running %lld ms, all %lld ms\n"
      "daemon before/after: fds %d/%d, threads %d/%d, VmRSS %ld/%ld KiB\n",
      tally.connections, tally.replied, log.refusals, log.read_failures, tally.held_judged,
      kHeldBursts, static_cast<long long>(ms(held_done - load_started)),
      static_cast<long long>(ms(free_done - held_done)),
      static_cast<long long>(ms(load_ended - load_started)), before.fds, after.fds, before.threads,
      after.threads, before.rss_kib, after.rss_kib);
}

}  // namespace
}  // namespace ww::bed
