#include "daemon/core/usb_gadget.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "common/util/report.h"
#include "common/util/unique_fd.h"
#include "common/util/unique_file.h"
#include "daemon/core/commands.h"
#include "daemon/core/daemon.h"
#include "daemon/core/dispatch.h"

namespace ww {
namespace {

// Replies carry no status digit; each is also logged.
void Reply(ReplySink& sink, const char* text) {
  std::fprintf(stderr, "%s\n", text);
  SendText(sink, text);
}

// The first controller the directory walk returns, or "".
std::string FirstController(const char* dir_path) {
  const UniqueDir dir(::opendir(dir_path));
  if (dir == nullptr) {
    return "";
  }
  std::string name;
  // The stream is this call's own, which is all readdir needs.
  while (const dirent* entry = ::readdir(dir.get())) {  // NOLINT(concurrency-mt-unsafe)
    if (entry->d_name[0] != '.') {
      name = entry->d_name;
      break;
    }
  }
  return name;
}

}  // namespace

void CommandEnableNcm(CommandEnv& env, const Request& /*request*/, ReplySink& sink) {
  Daemon& daemon = env.daemon;
  const std::string controller = FirstController(daemon.paths.udc_dir);
  if (controller.empty()) {
    Reply(sink, "No UDC devices available.");
    return;
  }
  std::fprintf(stderr, "Found USB UDC at %s\n", controller.c_str());
  const std::string gadget = daemon.paths.gadget;
  const std::string binding = gadget + "/UDC";
  {
    const UniqueFd udc(::open(binding.c_str(), O_WRONLY | O_SYNC | O_CLOEXEC));
    if (!udc.Valid()) {
      Reply(sink, "Error: can't unhook UDC.");
      return;
    }
    (void)!::write(udc.Get(), "\n", 1);
  }
  const std::string function = gadget + "/functions/ncm.usb0";
  (void)::mkdir(function.c_str(), 0777);
  if (::symlink(function.c_str(), (gadget + "/configs/c.1/ncm.usb0").c_str()) != 0) {
    const int err = errno;
    char reason[128];
    std::fprintf(stderr, "Warning: adding symlink for NCM mode %d (%s)\n", err,
                 ErrnoText(err, reason, sizeof reason));
  }
  {
    const UniqueFd udc(::open(binding.c_str(), O_WRONLY | O_SYNC | O_CLOEXEC));
    if (!udc.Valid()) {
      Reply(sink, "Error: could not open UDC for reconnecting.");
      return;
    }
    (void)!::write(udc.Get(), controller.data(), controller.size());
  }
  (void)daemon.hooks.run_command("ifconfig usb0 up");
  (void)daemon.hooks.run_command("systemctl restart adbd");
  Reply(sink, "Entered NC Mmode");
  std::fflush(stdout);
}

}  // namespace ww
