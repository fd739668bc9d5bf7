// A scratch folder for one test, removed with everything in it afterwards.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace ww::testing {

class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/ww_test_XXXXXX";
    if (mkdtemp(tmpl) != nullptr) {
      dir_ = tmpl;
    }
    EXPECT_FALSE(dir_.empty());
  }
  ~TempDir() {
    if (!dir_.empty()) {
      std::system(("rm -rf '" + dir_ + "'").c_str());
    }
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Dir() const { return dir_; }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  // The whole file, or "" when it cannot be read.
  static std::string Read(const std::string& path) {
    std::string contents;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
      char buf[4096];
      size_t n = 0;
      while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
        contents.append(buf, n);
      }
      std::fclose(f);
    }
    return contents;
  }
  // Writes `contents` to `name` and returns its path.
  std::string Write(const std::string& name, const std::string& contents) const {
    const std::string path = Path(name);
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
      std::fwrite(contents.data(), 1, contents.size(), f);
      std::fclose(f);
    }
    return path;
  }

 private:
  std::string dir_;
};

}  // namespace ww::testing
