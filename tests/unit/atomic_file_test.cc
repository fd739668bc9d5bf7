// The whole-file writer behind the laststate, passphrase and country cache
// files: writing through symbolic links, the modes it leaves, and the error
// it reports.
#include "common/util/atomic_file.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "tests/unit/temp_dir.h"

namespace ww {
namespace {

using testing::TempDir;

bool Save(const std::string& path, const std::string& contents) {
  AtomicFileWriter file(path.c_str());
  return file.Open() && file.Write(contents.data(), contents.size()) && file.Commit();
}

std::vector<std::string> FilesIn(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (const dirent* e = readdir(d)) {
      if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
        names.emplace_back(e->d_name);
      }
    }
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string LinkTarget(const std::string& path) {
  char target[256] = {};
  const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
  return n < 0 ? "" : std::string(target, static_cast<size_t>(n));
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

// Sets the process umask for one test and puts the old one back.
class ScopedUmask {
 public:
  explicit ScopedUmask(mode_t mask) : old_(umask(mask)) {}
  ~ScopedUmask() { umask(old_); }
  ScopedUmask(const ScopedUmask&) = delete;
  ScopedUmask& operator=(const ScopedUmask&) = delete;

 private:
  mode_t old_;
};

TEST(AtomicFileWriter, WritesThroughSymbolicLinks) {
  struct Case {
    const char* what;
    const char* link;     // the link written through, in "etc/"
    const char* target;   // what it points at
    const char* lands;    // the file that must hold the new contents
    const char* between;  // a second link on the way, or null
  };
  const Case cases[] = {
      {"relative to the link's folder", "password", "../data/password", "data/password", nullptr},
      {"absolute", "password", "@data/password", "data/password", nullptr},
      {"a chain of two", "password", "hop", "data/password", "etc/hop"},
      {"dangling: the target is created", "password", "../data/new", "data/new", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const TempDir scratch;
    ASSERT_EQ(mkdir(scratch.Path("etc").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(scratch.Path("data").c_str(), 0755), 0);
    scratch.Write("data/password", "old contents");
    const std::string target =
        c.target[0] == '@' ? scratch.Path(c.target + 1) : std::string(c.target);
    const std::string link = scratch.Path(std::string("etc/") + c.link);
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    if (c.between != nullptr) {
      ASSERT_EQ(symlink("../data/password", scratch.Path(c.between).c_str()), 0);
    }

    ASSERT_TRUE(Save(link, "new"));
    EXPECT_EQ(LinkTarget(link), target);  // still the same link
    EXPECT_EQ(TempDir::Read(scratch.Path(c.lands)), "new");
    // No temporary file is left beside the link or the target.
    const std::vector<std::string> etc = c.between != nullptr
                                             ? std::vector<std::string>{"hop", "password"}
                                             : std::vector<std::string>{"password"};
    EXPECT_EQ(FilesIn(scratch.Path("etc")), etc);
    const std::vector<std::string> data = std::string(c.lands) == "data/new"
                                              ? std::vector<std::string>{"new", "password"}
                                              : std::vector<std::string>{"password"};
    EXPECT_EQ(FilesIn(scratch.Path("data")), data);
  }
}

TEST(AtomicFileWriter, AnExistingFileKeepsItsMode) {
  const ScopedUmask mask(022);
  const TempDir scratch;
  const std::string path = scratch.Write("softap_password", "old contents");
  ASSERT_EQ(chmod(path.c_str(), 0600), 0);
  ASSERT_TRUE(Save(path, "new"));
  EXPECT_EQ(ModeOf(path), 0600u);
  EXPECT_EQ(TempDir::Read(path), "new");
}

TEST(AtomicFileWriter, ANewFileIsCreatedUnderTheUmask) {
  for (const mode_t mask : {mode_t{077}, mode_t{022}}) {
    const ScopedUmask scoped(mask);
    const TempDir scratch;
    const std::string path = scratch.Path("laststate");
    ASSERT_TRUE(Save(path, "create\n"));
    EXPECT_EQ(ModeOf(path), 0666u & ~mask) << std::oct << mask;
  }
}

TEST(AtomicFileWriter, ErrorIsTheFirstFailedStepsErrno) {
  const TempDir scratch;
  AtomicFileWriter saved(scratch.Path("cache").c_str());
  EXPECT_TRUE(saved.Open() && saved.Write("DE", 2) && saved.Commit());
  EXPECT_EQ(saved.Error(), 0);

  // Even as root, a file cannot be created in a folder that does not exist.
  AtomicFileWriter missing(scratch.Path("no/such/folder/cache").c_str());
  EXPECT_FALSE(missing.Open());
  EXPECT_EQ(missing.Error(), ENOENT);
  EXPECT_FALSE(missing.Write("DE", 2));
  EXPECT_FALSE(missing.Commit());
  EXPECT_EQ(missing.Error(), ENOENT);  // still the first failure

  // Links that point at each other are given up, not followed for ever.
  ASSERT_EQ(symlink("b", scratch.Path("a").c_str()), 0);
  ASSERT_EQ(symlink("a", scratch.Path("b").c_str()), 0);
  AtomicFileWriter loop(scratch.Path("a").c_str());
  EXPECT_FALSE(loop.Open());
  EXPECT_EQ(loop.Error(), ELOOP);
}

}  // namespace
}  // namespace ww
