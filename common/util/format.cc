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

void Appendf(std::string& text, const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list measure;
  va_copy(measure, args);
  // va_copy has just initialised it; the analyzer loses track of that.
  // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized)
  const int length = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (length > 0) {
    const size_t start = text.size();
    text.resize(start + static_cast<size_t>(length) + 1);
    std::vsnprintf(text.data() + start, static_cast<size_t>(length) + 1, format, args);
    text.resize(start + static_cast<size_t>(length));
  }
  va_end(args);
}

}  // namespace ww
