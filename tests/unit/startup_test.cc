#include "daemon/core/startup.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "daemon/lifecycle/old_diplexer.h"
#include "daemon/lifecycle/services.h"
#include "tests/unit/temp_dir.h"

namespace ww {
namespace {

TEST(OldDiplexer, ModelTextTable) {
  struct Row {
    const char* model;
    bool old;
  } rows[] = {
      {"Acme BRD-K rev2", true},
      {"BRD-J", true},
      {"board BRD-H\n", true},
      {"Acme brd-j rev2", false},
      {"BRD-L", false},
      {"BRD-", false},
      {"", false},
      {"xxBRD-Kxx", true},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(ModelNamesOldDiplexer(row.model), row.old) << row.model;
  }
}

class TempDirTest : public ::testing::Test {
 protected:
  std::string Path(const char* name) const { return tmp_.Path(name); }
  void Write(const char* name, const std::string& text) { tmp_.Write(name, text); }
  testing::TempDir tmp_;
  const std::string& dir_ = tmp_.Dir();
};

using OldDiplexerFiles = TempDirTest;

TEST_F(OldDiplexerFiles, MarkerFileWinsWithoutReadingTheModel) {
  Write("marker", "");
  Write("model", "Acme plain board");
  ::testing::internal::CaptureStderr();
  EXPECT_TRUE(DetectOldDiplexer(Path("marker").c_str(), Path("absent-model").c_str()));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

TEST_F(OldDiplexerFiles, ModelDecidesWithoutMarker) {
  Write("model", std::string("Acme BRD-J\0BRD-K", 16));
  EXPECT_TRUE(DetectOldDiplexer(Path("nomarker").c_str(), Path("model").c_str()));
  // Text after the first NUL does not count.
  Write("model", std::string("Acme\0BRD-K", 10));
  EXPECT_FALSE(DetectOldDiplexer(Path("nomarker").c_str(), Path("model").c_str()));
}

TEST_F(OldDiplexerFiles, UnreadableModelIsReportedAndMeansNo) {
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(DetectOldDiplexer(Path("nomarker").c_str(), Path("absent").c_str()));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Failed to open " + Path("absent") + "\n");

  Write("empty", "");
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(DetectOldDiplexer(Path("nomarker").c_str(), Path("empty").c_str()));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Failed to read " + Path("empty") + " or file is empty\n");
}

TEST_F(OldDiplexerFiles, OnlyTheFirst255BytesCount) {
  Write("model", std::string(255, 'x') + "BRD-K");
  EXPECT_FALSE(DetectOldDiplexer(Path("nomarker").c_str(), Path("model").c_str()));
}

// A fake /proc: <root>/<pid>/exe links that readlink can read.
class FakeProc : public TempDirTest {
 protected:
  void AddProcess(int pid, const char* exe) {
    const std::string d = dir_ + "/" + std::to_string(pid);
    ASSERT_EQ(mkdir(d.c_str(), 0755), 0);
    ASSERT_EQ(symlink(exe, (d + "/exe").c_str()), 0);
  }
};

TEST_F(FakeProc, ProcessRunsExecutableMatchesThePathEnd) {
  AddProcess(100, "/usr/sbin/dnsmasq");
  AddProcess(101, "/usr/sbin/dnsmasq (deleted)");
  AddProcess(102, "/opt/mydnsmasq");
  AddProcess(103, "sq");
  EXPECT_TRUE(ProcessRunsExecutable(100, "/dnsmasq", dir_.c_str()));
  EXPECT_FALSE(ProcessRunsExecutable(101, "/dnsmasq", dir_.c_str()));
  EXPECT_FALSE(ProcessRunsExecutable(102, "/dnsmasq", dir_.c_str()));
  EXPECT_FALSE(ProcessRunsExecutable(103, "/dnsmasq", dir_.c_str()));
  EXPECT_FALSE(ProcessRunsExecutable(999, "/dnsmasq", dir_.c_str()));
  EXPECT_FALSE(ProcessRunsExecutable(0, "/dnsmasq", dir_.c_str()));
  EXPECT_FALSE(ProcessRunsExecutable(-1, "/dnsmasq", dir_.c_str()));
}

TEST_F(FakeProc, EarlierDnsmasqPidIsAdoptedOnlyWhenItIsDnsmasq) {
  AddProcess(4242, "/usr/sbin/dnsmasq");
  AddProcess(4343, "/usr/bin/sleep");
  const std::string pidfile = Path("dnsmasq.pid");
  Write("dnsmasq.pid", "4242\n");
  EXPECT_EQ(ReadEarlierDnsmasqPid(pidfile.c_str(), dir_.c_str()), 4242);
  // A recycled id that now belongs to another program.
  Write("dnsmasq.pid", "4343\n");
  EXPECT_EQ(ReadEarlierDnsmasqPid(pidfile.c_str(), dir_.c_str()), -1);
  Write("dnsmasq.pid", "");
  EXPECT_EQ(ReadEarlierDnsmasqPid(pidfile.c_str(), dir_.c_str()), -1);
  Write("dnsmasq.pid", "dnsmasq");
  EXPECT_EQ(ReadEarlierDnsmasqPid(pidfile.c_str(), dir_.c_str()), -1);
  EXPECT_EQ(ReadEarlierDnsmasqPid(Path("absent").c_str(), dir_.c_str()), -1);
}

}  // namespace
}  // namespace ww
