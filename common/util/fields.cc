#include "common/util/fields.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

#include "common/util/unique_fd.h"

namespace ww {

void SplitFields(const char* text, int& count, std::span<Field> fields, int max_fields) {
  const size_t limit = std::min(static_cast<size_t>(std::max(max_fields, 0)), fields.size());
  size_t field = 0;
  size_t pos = 0;
  int seen = 1;
  for (const char* p = text; *p != '\0' && *p != '\n'; ++p) {
    if (*p == '\t') {
      ++field;
      ++seen;
      pos = 0;
      continue;
    }
    if (pos < kFieldSize - 1 && field < limit) {
      fields[field][pos] = *p;
      fields[field][pos + 1] = '\0';
      ++pos;
    }
  }
  count = seen;
}

int32_t ReadSmallFile(const char* path, char* buffer, size_t size) {
  if (size == 0) {
    return 0;
  }
  UniqueFd fd(::open(path, O_RDONLY | O_CLOEXEC));
  if (!fd.Valid()) {
    buffer[0] = '\0';
    return 0;
  }
  const ssize_t got = ::read(fd.Get(), buffer, size - 1);
  if (got >= 0) {
    buffer[got] = '\0';
  }
  return static_cast<int32_t>(got);
}

}  // namespace ww
