#include "common/util/report.h"

#include <cstdio>
#include <cstring>

namespace ww {

const char* ErrnoText(int err, char* buf, unsigned long size) {
  // GNU strerror_r may return a static string instead of filling buf.
  return strerror_r(err, buf, size);
}

void ReportCallFailure(const char* module, int line, const char* function, const char* call,
                       int err) {
  char buf[256];
  std::fprintf(stderr, "[%s:%d in %s] %s: %s\n", module, line, function, call,
               ErrnoText(err, buf, sizeof buf));
}

void ReportSaveFailure(const char* path, int err) {
  char buf[256];
  std::fprintf(stderr, "Error: could not save %s: %s\n", path, ErrnoText(err, buf, sizeof buf));
}

}  // namespace ww
