// Owning holders for C library streams and folders, closed on every path.
#pragma once

#include <dirent.h>

#include <cstdio>
#include <memory>

namespace ww {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};
using UniqueDir = std::unique_ptr<DIR, DirCloser>;

}  // namespace ww
