// Replaces a small file so that readers, and the file after a power cut, see
// either the old contents or the new ones whole, never an empty or half
// written file: the new contents go to a temporary file in the same folder,
// are flushed to the device, and the temporary file is renamed over the old.
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

  // Creates the temporary file. False when the folder is not writable.
  bool Open();
  // Appends bytes; false on a short or failed write (Commit then fails).
  bool Write(const void* data, size_t size);
  // Flushes the temporary file and renames it over the target. False (and
  // the target untouched) on any failure.
  bool Commit();

 private:
  std::string path_;
  std::string temp_path_;
  UniqueFd fd_;
  bool failed_ = false;
  bool committed_ = false;
};

}  // namespace ww
