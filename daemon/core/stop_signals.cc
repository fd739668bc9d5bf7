#include "daemon/core/stop_signals.h"

#include <semaphore.h>
#include <signal.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "daemon/core/daemon.h"
#include "daemon/core/startup.h"
#include "daemon/lifecycle/services.h"
#include "daemon/lifecycle/shell.h"
#include "daemon/netlink/scan_block.h"

namespace ww {
namespace {

// What the handler may touch: sem_post and a lock-free atomic are
// async-signal-safe.
sem_t g_stop_requested;
std::atomic<int> g_stop_signal{0};
static_assert(std::atomic<int>::is_always_lock_free);

void OnStopSignal(int signal_number) {
  const int saved = errno;  // the interrupted code may be about to read errno
  int none = 0;
  // The first signal wakes the stop thread; later ones find it at work.
  if (g_stop_signal.compare_exchange_strong(none, signal_number)) {
    sem_post(&g_stop_requested);
  }
  errno = saved;
}

void OnBrokenPipe(int /*signal_number*/) {}

// try_lock in short slices, not try_lock_for: pthread_mutex_clocklock, which
// that uses, is invisible to the thread sanitizer, which would then see the
// stop's reads of the pass's data as unguarded.
bool TakePassLock(std::timed_mutex& lock, std::chrono::seconds limit) {
  constexpr std::chrono::milliseconds kSlice{10};
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!lock.try_lock()) {
    if (std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(kSlice);
  }
  return true;
}

void Install(int signal_number, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  // Blocking calls of the other threads go on as if nothing had happened.
  action.sa_flags = SA_RESTART;
  sigaction(signal_number, &action, nullptr);
}

}  // namespace

StopPlan PlanStop(StartupStage stage) {
  switch (stage) {
    case StartupStage::kWaitingForInterface:
      return {.reset_scan_block = false, .stop_services = false};
    case StartupStage::kStarting:
      return {.reset_scan_block = true, .stop_services = false};
    case StartupStage::kOwnsServices:
      return {.reset_scan_block = true, .stop_services = true};
  }
  return {};
}

void InstallSignalHandlers() {
  sem_init(&g_stop_requested, 0, 0);
  Install(SIGPIPE, OnBrokenPipe);
  for (const int signal_number : {SIGTERM, SIGINT, SIGHUP}) {
    Install(signal_number, OnStopSignal);
  }
}

void LeaveSignalsToTheStopThread() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal_number : {SIGTERM, SIGINT, SIGHUP, SIGCHLD}) {
    sigaddset(&set, signal_number);
  }
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void RestoreDefaultStopSignals() {
  for (const int signal_number : {SIGTERM, SIGINT, SIGHUP}) {
    signal(signal_number, SIG_DFL);
  }
}

void* StopThread(void* arg) {
  Daemon& daemon = *static_cast<Daemon*>(arg);
  SetThreadName("StopThread");
  while (sem_wait(&g_stop_requested) != 0) {
  }
  std::fprintf(stderr, "Stopping on signal %d\n", g_stop_signal.load());

  daemon.stopping.store(true);
  daemon.notifier.Stopping();
  // A hung helper is ended now, not at its deadline, and nothing new starts
  // beside the stop's own commands.
  CancelCommandsForStop();
  // A waiting operational thread wakes, sees the flag and ends.
  daemon.state.wake_semaphore.Post();
  // Kept until the process ends: no pass starts after this one.
  if (!TakePassLock(daemon.pass_lock, kPassFinishTimeout)) {
    std::fprintf(stderr, "Warning: the operational pass did not end within %d s; stopping anyway\n",
                 static_cast<int>(kPassFinishTimeout.count()));
  }
  const StopPlan plan = PlanStop(daemon.startup_stage.load());
  if (plan.reset_scan_block) {
    UpdateScanBlock(daemon, kScanBlockClear, nullptr);
  }
  if (plan.stop_services) {
    StopServices(daemon);
  }
  // Nothing the daemon started outlives it.
  EndAllCommands();
  std::fflush(stdout);
  std::fflush(stderr);
  // Not exit(): the other threads still run, and neither static destructors
  // nor exit handlers may pull their state away under them.
  std::_Exit(0);
}

}  // namespace ww
