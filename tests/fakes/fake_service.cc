// Recording fake of hostapd and dnsmasq, built under exactly those names
// because the daemon recognises its services by /proc/PID/exe. It logs its
// command line to the bed's call log, writes the pid file dnsmasq is asked
// for (-x FILE), and then runs until it is signalled. A status file for its
// name in the bed makes it exit at once with that status instead.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string BedDir() {
  const char* dir = std::getenv("WW_BED_DIR");
  return dir != nullptr ? dir : "/run/.wwbed";
}

}  // namespace

int main(int argc, char** argv) {
  const char* slash = std::strrchr(argv[0], '/');
  const std::string name = slash != nullptr ? slash + 1 : argv[0];
  const std::string dir = BedDir();

  if (std::FILE* log = std::fopen((dir + "/calls.log").c_str(), "ae")) {
    std::fprintf(log, "%s", name.c_str());
    for (int i = 1; i < argc; ++i) {
      std::fprintf(log, " %s", argv[i]);
    }
    std::fprintf(log, "\n");
    std::fclose(log);
  }
  if (std::FILE* status = std::fopen((dir + "/status/" + name).c_str(), "re")) {
    int code = 0;
    if (std::fscanf(status, "%d", &code) != 1) {
      code = 1;
    }
    std::fclose(status);
    return code;
  }
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "-x") == 0) {
      if (std::FILE* pid = std::fopen(argv[i + 1], "we")) {
        std::fprintf(pid, "%d\n", static_cast<int>(getpid()));
        std::fclose(pid);
      }
    }
  }
  // Like the real services: stay up until told otherwise.
  std::signal(SIGTERM, SIG_DFL);
  for (;;) {
    pause();
  }
}
