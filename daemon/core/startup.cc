#include "daemon/core/startup.h"

#include <net/if.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "common/util/fields.h"
#include "common/util/unique_fd.h"
#include "daemon/core/daemon.h"
#include "daemon/core/last_state.h"
#include "daemon/lifecycle/services.h"
#include "daemon/regulatory/country_survey.h"

namespace ww {

void WaitForInterface(const char* name, const std::function<void()>& each_second) {
  while (if_nametoindex(name) == 0) {
    std::printf("%s does not exist, sleeping\n", name);
    if (each_second) {
      each_second();
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
  }
}

int32_t ReadEarlierDnsmasqPid(const char* pid_path, const char* proc_root) {
  char text[256] = {};
  int32_t pid = -1;
  if (ReadSmallFile(pid_path, text, sizeof text) != 0) {
    int value = 0;
    if (std::sscanf(text, "%d", &value) == 1) {
      pid = value;
    }
  }
  // A recycled id must never be killed as if it were our dnsmasq.
  if (!ProcessRunsExecutable(pid, "/dnsmasq", proc_root)) {
    pid = -1;
  }
  return pid;
}

void* RegulatoryRefreshTimerAtBoot(void* arg) {
  SetThreadName("RegulatoryRefreshTimerAtBoot");
  Daemon& daemon = *static_cast<Daemon*>(arg);
  ResolveCountryAtBoot(
      daemon,
      BootSteps{
          .sleep = [](std::chrono::milliseconds pause) { std::this_thread::sleep_for(pause); },
          .survey = [&daemon] { SurveyAdvertisedCountries(daemon.nl80211); },
          .replay = [&daemon] { ReplayLastState(daemon); },
      });
  return nullptr;
}

}  // namespace ww
