#include "common/util/format.h"

#include <cstdarg>
#include <cstdio>

namespace ww {

size_t FormatCut(char* buffer, size_t size, const char* format, ...) {
  if (size == 0) {
    return 0;
  }
  va_list args;
  va_start(args, format);
  const int wanted = std::vsnprintf(buffer, size, format, args);
  va_end(args);
  if (wanted < 0) {
    buffer[0] = '\0';
    return 0;
  }
  return static_cast<size_t>(wanted) < size ? static_cast<size_t>(wanted) : size - 1;
}

}  // namespace ww
