#include "common/util/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <utility>

namespace ww {

AtomicFileWriter::~AtomicFileWriter() {
  if (!temp_path_.empty() && !committed_) {
    fd_.Reset();
    ::unlink(temp_path_.c_str());
  }
}

bool AtomicFileWriter::Open() {
  std::string name = path_ + ".XXXXXX";
  fd_.Reset(::mkostemp(name.data(), O_CLOEXEC));
  if (!fd_.Valid()) {
    return false;
  }
  temp_path_ = std::move(name);
  // mkostemp creates the file private; the file it replaces was world-readable.
  (void)::fchmod(fd_.Get(), 0644);
  return true;
}

bool AtomicFileWriter::Write(const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (!failed_ && size > 0) {
    const ssize_t n = ::write(fd_.Get(), p, size);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      failed_ = true;
      break;
    }
    p += n;
    size -= static_cast<size_t>(n);
  }
  return !failed_;
}

bool AtomicFileWriter::Commit() {
  if (!fd_.Valid() || failed_ || ::fsync(fd_.Get()) != 0) {
    return false;
  }
  if (::close(fd_.Release()) != 0 || ::rename(temp_path_.c_str(), path_.c_str()) != 0) {
    return false;
  }
  committed_ = true;
  // Make the rename itself durable.
  const std::string::size_type slash = path_.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path_.substr(0, slash + 1);
  const UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.Valid()) {
    (void)::fsync(dir.Get());
  }
  return true;
}

}  // namespace ww
