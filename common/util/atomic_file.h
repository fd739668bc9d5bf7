// Replaces a small file so that readers, and the file after a power cut, see
// either the old contents or the new ones whole, never an empty or half
// written file: the new contents go to a temporary file in the same folder,
// are flushed to the device, and the temporary file is renamed over the old.
//
// A path that is a symbolic link is written through: the link stays and its
// final target (created when the link dangles) is replaced, because devices
// keep these files on a writable partition behind a link in /etc. An
// existing file keeps its mode; a new one gets 0666 less the process umask,
// as fopen would give it, so the service's umask decides who may read it.
#pragma once

#include <cstddef>
#include <string>

#include "common/util/unique_fd.h"

namespace ww {

class AtomicFileWriter {
 public:
  explicit AtomicFileWriter(const char* path) : path_(path) {}
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;
  // Removes the temporary file unless Commit succeeded.
  ~AtomicFileWriter();

  // Finds the file to replace and creates the temporary file beside it.
  // False when the folder is not writable or a link cannot be followed.
  bool Open();
  // Appends bytes; false on a short or failed write (Commit then fails).
  bool Write(const void* data, size_t size);
  // Flushes the temporary file and renames it over the target. False (and
  // the target untouched) on any failure.
  bool Commit();

  // The errno of the first step that failed, 0 while none has.
  [[nodiscard]] int Error() const { return error_; }

 private:
  // Records the first failure; always false, for `return Fail(errno);`.
  bool Fail(int err);

  std::string path_;
  std::string target_;  // path_ with its links followed
  std::string temp_path_;
  UniqueFd fd_;
  int error_ = 0;
  bool committed_ = false;
};

// Replaces the file at `path` with `size` bytes through an AtomicFileWriter;
// when that fails, writes "Error: could not save <path>: <reason>" and
// returns false. Callers go on either way.
bool SaveWholeFile(const char* path, const void* data, size_t size);

}  // namespace ww
