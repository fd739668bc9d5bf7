#include "common/util/atomic_file.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <utility>

#include "common/util/report.h"

namespace ww {
namespace {

// The kernel's own limit on the links of one path.
constexpr int kMaxLinks = 40;
constexpr int kTempAttempts = 100;
constexpr int kTempNameLength = 6;

// Follows `path` through its chain of symbolic links, relative targets taken
// against the link's folder, to the first path that is no link, whether or
// not it exists (a dangling link's target is created there). False with
// `err` set on a loop, a chain too long, or a link that cannot be read.
bool ResolveLinkChain(const std::string& path, std::string& target, int& err) {
  target = path;
  for (int links = 0;; ++links) {
    struct stat st {};
    if (::lstat(target.c_str(), &st) != 0) {
      if (errno == ENOENT) {
        return true;
      }
      err = errno;
      return false;
    }
    if (!S_ISLNK(st.st_mode)) {
      return true;
    }
    if (links == kMaxLinks) {
      err = ELOOP;
      return false;
    }
    char link[PATH_MAX];
    const ssize_t n = ::readlink(target.c_str(), link, sizeof link);
    if (n < 0) {
      err = errno;
      return false;
    }
    if (n == 0 || static_cast<size_t>(n) >= sizeof link) {
      err = ENAMETOOLONG;
      return false;
    }
    std::string next(link, static_cast<size_t>(n));
    const std::string::size_type slash = target.rfind('/');
    if (next[0] != '/' && slash != std::string::npos) {
      next.insert(0, target, 0, slash + 1);
    }
    target = std::move(next);
  }
}

// Bits for a temporary name. Guessing them gains nothing (the file is
// created exclusively), so a clock stands in when the kernel's pool cannot.
uint64_t NameBits() {
  uint64_t bits = 0;
  if (::getrandom(&bits, sizeof bits, GRND_NONBLOCK) == static_cast<ssize_t>(sizeof bits)) {
    return bits;
  }
  static std::atomic<uint64_t> counter{0};
  timespec now{};
  (void)::clock_gettime(CLOCK_MONOTONIC, &now);
  return (static_cast<uint64_t>(now.tv_nsec) * 0x9E3779B97F4A7C15ULL) ^
         (static_cast<uint64_t>(::getpid()) << 32) ^ counter.fetch_add(1);
}

}  // namespace

AtomicFileWriter::~AtomicFileWriter() {
  if (!temp_path_.empty() && !committed_) {
    fd_.Reset();
    ::unlink(temp_path_.c_str());
  }
}

bool AtomicFileWriter::Fail(int err) {
  if (error_ == 0) {
    error_ = err != 0 ? err : EIO;
  }
  return false;
}

bool AtomicFileWriter::Open() {
  int err = 0;
  if (!ResolveLinkChain(path_, target_, err)) {
    return Fail(err);
  }
  struct stat existing {};
  const bool exists = ::stat(target_.c_str(), &existing) == 0;
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  constexpr uint64_t kLetters = sizeof kAlphabet - 1;
  for (int attempt = 0; attempt < kTempAttempts; ++attempt) {
    std::string name = target_ + ".";
    uint64_t bits = NameBits();
    for (int i = 0; i < kTempNameLength; ++i) {
      name += kAlphabet[bits % kLetters];
      bits /= kLetters;
    }
    // 0666 under the umask, as fopen creates files: the service decides who
    // may read them, not this writer.
    fd_.Reset(::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (fd_.Valid()) {
      temp_path_ = std::move(name);
      // The file it replaces keeps its mode.
      if (exists && ::fchmod(fd_.Get(), existing.st_mode & 07777) != 0) {
        return Fail(errno);
      }
      return true;
    }
    if (errno != EEXIST) {
      return Fail(errno);
    }
  }
  return Fail(EEXIST);
}

bool AtomicFileWriter::Write(const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (error_ == 0 && size > 0) {
    const ssize_t n = ::write(fd_.Get(), p, size);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0) {
      return Fail(errno);
    }
    if (n == 0) {
      return Fail(ENOSPC);
    }
    p += n;
    size -= static_cast<size_t>(n);
  }
  return error_ == 0;
}

bool AtomicFileWriter::Commit() {
  if (error_ != 0) {
    return false;
  }
  if (!fd_.Valid()) {
    return Fail(EBADF);
  }
  if (::fsync(fd_.Get()) != 0 || ::close(fd_.Release()) != 0 ||
      ::rename(temp_path_.c_str(), target_.c_str()) != 0) {
    return Fail(errno);
  }
  committed_ = true;
  // Make the rename itself durable.
  const std::string::size_type slash = target_.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : target_.substr(0, slash + 1);
  const UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.Valid()) {
    (void)::fsync(dir.Get());
  }
  return true;
}

bool SaveWholeFile(const char* path, const void* data, size_t size) {
  AtomicFileWriter file(path);
  if (file.Open() && file.Write(data, size) && file.Commit()) {
    return true;
  }
  ReportSaveFailure(path, file.Error());
  return false;
}

}  // namespace ww
