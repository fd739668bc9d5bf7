#include "tools/ctl/request.h"

#include <cstring>

namespace ww {

size_t BuildRequest(int argc, const char* const* argv, char* buffer, size_t size) {
  size_t used = 0;
  for (int i = 0; i < argc && used < size; ++i) {
    const size_t len = std::strlen(argv[i]);
    const size_t take = len < size - used ? len : size - used;
    std::memcpy(buffer + used, argv[i], take);
    used += take;
    if (used < size) {
      buffer[used++] = i + 1 < argc ? '\t' : '\0';
    }
  }
  return used;
}

}  // namespace ww
