#include "tests/system/bed.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace ww::bed {
namespace {

// Forks `argv` with its stdout and stderr on two new pipes. A broken stdout
// is a pipe without a reader (`out_fd` is then -1).
pid_t Spawn(const std::vector<std::string>& argv, int& out_fd, int& err_fd,
            const std::vector<std::string>& env = {}, Stdout stdout_mode = Stdout::kCaptured) {
  int out[2];
  int err[2];
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
    return -1;
  }
  if (stdout_mode == Stdout::kBroken) {
    close(out[0]);
    out[0] = -1;
  }
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    const int devnull = open("/dev/null", O_RDONLY);
    dup2(devnull, STDIN_FILENO);
    for (const std::string& e : env) {
      putenv(const_cast<char*>(e.c_str()));
    }
    std::vector<char*> args;
    for (const std::string& a : argv) {
      args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  out_fd = out[0];
  err_fd = err[0];
  return pid;
}

}  // namespace

bool InBed() {
  const char* bed = std::getenv("WW_BED");
  return bed != nullptr && std::strcmp(bed, "1") == 0;
}

std::string ProgramDir() {
  return WW_PROGRAM_DIR;
}

std::string FaultInjector() {
  return std::string("LD_PRELOAD=") + WW_FAULT_INJECT;
}

int Shell(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

namespace {
std::string RealIp() {
  const char* ip = std::getenv("WW_REAL_IP");
  return ip != nullptr ? ip : "/usr/sbin/ip";
}
}  // namespace

void CreateWlan0() {
  Shell(RealIp() + " link add wlan0 type veth peer name wlan0peer");
}

void DeleteWlan0() {
  Shell(RealIp() + " link del wlan0 2>/dev/null");
}

void ResetBed() {
  DeleteWlan0();
  Shell(std::string("rm -rf ") + kSocketPath +
        " /root/zzzOldDiplexer /etc/softap_cache_domain /var/run/wavewarden.laststate");
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteFile(const std::string& path, const std::string& contents) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << contents;
}

std::string BedFile(const std::string& name) {
  const char* dir = std::getenv("WW_BED_DIR");
  return std::string(dir != nullptr ? dir : "/run/.wwbed") + "/" + name;
}

void Hook(const std::string& name, const std::string& body) {
  WriteFile(BedFile("hook/" + name), "#!/bin/sh\n" + body);
  chmod(BedFile("hook/" + name).c_str(), 0755);
}

std::vector<int> FakeServicePids(const std::string& name) {
  std::vector<int> pids;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) {
    return pids;
  }
  const std::string fake = std::string(WW_FAKEBIN_DIR) + "/" + name;
  while (const dirent* e = readdir(proc)) {
    const int pid = std::atoi(e->d_name);
    char exe[PATH_MAX] = {};
    const std::string link = std::string("/proc/") + e->d_name + "/exe";
    if (pid > 0 && readlink(link.c_str(), exe, sizeof exe - 1) > 0 && exe == fake) {
      pids.push_back(pid);
    }
  }
  closedir(proc);
  return pids;
}

void EndFakeServices() {
  DIR* proc = opendir("/proc");
  if (proc == nullptr) {
    return;
  }
  const std::string fakes = std::string(WW_FAKEBIN_DIR) + "/";
  while (const dirent* e = readdir(proc)) {
    const int pid = std::atoi(e->d_name);
    if (pid <= 0) {
      continue;
    }
    char exe[PATH_MAX] = {};
    const std::string link = std::string("/proc/") + e->d_name + "/exe";
    if (readlink(link.c_str(), exe, sizeof exe - 1) > 0 &&
        std::strncmp(exe, fakes.c_str(), fakes.size()) == 0) {
      kill(pid, SIGKILL);
    }
  }
  closedir(proc);
}

int CountLines(const std::string& text, const std::string& line) {
  int n = 0;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) {
    n += l == line ? 1 : 0;
  }
  return n;
}

std::string FakeCalls() {
  const char* dir = std::getenv("WW_BED_DIR");
  return ReadFile(std::string(dir != nullptr ? dir : "/run/.wwbed") + "/calls.log");
}

void StreamLog::Append(const char* data, size_t length) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    text_.append(data, length);
  }
  changed_.notify_all();
}

std::string StreamLog::Text() {
  std::lock_guard<std::mutex> lock(mutex_);
  return text_;
}

namespace {
int CountIn(const std::string& text, const std::string& needle) {
  int n = 0;
  for (size_t pos = text.find(needle); pos != std::string::npos;
       pos = text.find(needle, pos + needle.size())) {
    ++n;
  }
  return n;
}
}  // namespace

int TimeScale() {
  static const int scale = [] {
    const char* text = std::getenv("WW_TIME_SCALE");  // NOLINT(concurrency-mt-unsafe)
    const long n = text != nullptr ? std::strtol(text, nullptr, 10) : 1;
    return n >= 1 && n <= 100 ? static_cast<int>(n) : 1;
  }();
  return scale;
}

int StreamLog::Count(const std::string& needle) {
  std::lock_guard<std::mutex> lock(mutex_);
  return CountIn(text_, needle);
}

bool StreamLog::WaitFor(const std::string& needle, Millis timeout, int times) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, Patience(timeout),
                           [&] { return CountIn(text_, needle) >= times; });
}

void DaemonProcess::Start(const std::vector<std::string>& env, Stdout stdout_mode) {
  int out_fd = -1;
  int err_fd = -1;
  pid_ = Spawn({ProgramDir() + "/wavewarden"}, out_fd, err_fd, env, stdout_mode);
  stop_reading_ = false;
  reader_ = std::thread([this, out_fd, err_fd] { ReadLoop(out_fd, err_fd); });
}

void DaemonProcess::ReadLoop(int out_fd, int err_fd) {
  pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
  StreamLog* logs[2] = {&out, &err};
  int open_streams = (out_fd >= 0 ? 1 : 0) + (err_fd >= 0 ? 1 : 0);
  // Children of the daemon may keep the pipes open after it ends, so the
  // loop also stops when told to.
  while (open_streams > 0 && !stop_reading_) {
    if (poll(fds, 2, 50) <= 0) {
      continue;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) {
        continue;
      }
      char buf[4096];
      const ssize_t got = read(fds[i].fd, buf, sizeof buf);
      if (got > 0) {
        logs[i]->Append(buf, static_cast<size_t>(got));
      } else {
        fds[i].fd = -1;
        --open_streams;
      }
    }
  }
  if (out_fd >= 0) {
    close(out_fd);
  }
  close(err_fd);
}

std::optional<int> DaemonProcess::WaitExit(Millis timeout) {
  if (pid_ <= 0) {
    return std::nullopt;
  }
  int status = 0;
  const bool ended = WaitUntil([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, timeout);
  if (!ended) {
    return std::nullopt;
  }
  pid_ = -1;
  // Let the reader take what the daemon wrote last.
  std::this_thread::sleep_for(Millis(100));
  stop_reading_ = true;
  if (reader_.joinable()) {
    reader_.join();
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void DaemonProcess::Stop() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  stop_reading_ = true;
  if (reader_.joinable()) {
    reader_.join();
  }
}

int ConnectManagement() {
  return ConnectSocket(kSocketPath);
}

int ConnectSocket(const char* path) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, path, sizeof addr.sun_path - 1);
  if (connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

bool WaitForManagementSocket(Millis timeout) {
  return WaitUntil(
      [] {
        // Probe with a request that changes nothing.
        const int fd = ConnectManagement();
        if (fd < 0) {
          return false;
        }
        send(fd, "status", 7, MSG_NOSIGNAL);
        char buf[64];
        (void)!read(fd, buf, sizeof buf);
        close(fd);
        return true;
      },
      timeout);
}

std::optional<std::string> Exchange(const std::string& request, Millis wait) {
  const Millis timeout = Patience(wait);
  const int fd = ConnectManagement();
  if (fd < 0) {
    return std::nullopt;
  }
  timeval tv{static_cast<time_t>(timeout.count() / 1000),
             static_cast<suseconds_t>((timeout.count() % 1000) * 1000)};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  if (!request.empty()) {
    send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  }
  // The end of the request: an empty one reads as zero bytes.
  shutdown(fd, SHUT_WR);
  std::string reply;
  char buf[4096];
  for (;;) {
    const ssize_t got = read(fd, buf, sizeof buf);
    if (got <= 0) {
      break;
    }
    reply.append(buf, static_cast<size_t>(got));
  }
  close(fd);
  return reply;
}

CtlResult RunWavectl(const std::vector<std::string>& args) {
  return RunProgram("wavectl", args);
}

CtlResult RunProgram(const std::string& program, const std::vector<std::string>& args) {
  std::vector<std::string> argv{ProgramDir() + "/" + program};
  argv.insert(argv.end(), args.begin(), args.end());
  int out_fd = -1;
  int err_fd = -1;
  CtlResult result;
  const pid_t pid = Spawn(argv, out_fd, err_fd);
  if (pid < 0) {
    return result;
  }
  pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  const auto deadline = std::chrono::steady_clock::now() + Patience(Millis(10000));
  int open_streams = 2;
  while (open_streams > 0 && std::chrono::steady_clock::now() < deadline) {
    if (poll(fds, 2, 50) <= 0) {
      continue;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) {
        continue;
      }
      char buf[4096];
      const ssize_t got = read(fds[i].fd, buf, sizeof buf);
      if (got > 0) {
        sinks[i]->append(buf, static_cast<size_t>(got));
      } else {
        fds[i].fd = -1;
        --open_streams;
      }
    }
  }
  close(out_fd);
  close(err_fd);
  kill(pid, SIGKILL);  // only matters when it hung past the deadline
  int status = 0;
  waitpid(pid, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace ww::bed
