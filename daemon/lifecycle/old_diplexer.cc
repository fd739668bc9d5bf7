#include "daemon/lifecycle/old_diplexer.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "common/util/unique_file.h"
#include "daemon/lifecycle/ap_runtime.h"

namespace ww {

bool ModelNamesOldDiplexer(const char* model) {
  return std::strstr(model, "BRD-K") != nullptr || std::strstr(model, "BRD-J") != nullptr ||
         std::strstr(model, "BRD-H") != nullptr;
}

bool DetectOldDiplexer(const char* marker_path, const char* model_path) {
  if (access(marker_path, F_OK) == 0) {
    return true;
  }
  const UniqueFile file(std::fopen(model_path, "re"));
  if (file == nullptr) {
    std::fprintf(stderr, "Failed to open %s\n", model_path);
    return false;
  }
  char model[256];
  const size_t got = std::fread(model, 1, sizeof model - 1, file.get());
  if (got == 0) {
    std::fprintf(stderr, "Failed to read %s or file is empty\n", model_path);
    return false;
  }
  model[got] = '\0';
  return ModelNamesOldDiplexer(model);
}

bool OldDiplexerPresent(ApRuntime& runtime) {
  const int32_t known = runtime.old_diplexer.load();
  if (known != -1) {
    return known != 0;
  }
  const bool present =
      DetectOldDiplexer(runtime.paths.old_diplexer_marker, runtime.paths.device_tree_model);
  runtime.old_diplexer.store(present ? 1 : 0);
  return present;
}

}  // namespace ww
