// wavectl through the real binary: the exact request bytes, the reply
// printed unchanged, and every exit status.
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "tests/system/fixture.h"

namespace ww::bed {
namespace {

// A stand-in daemon on the management socket: records what one client sends
// and answers with a fixed reply (or closes without one).
class FakeServer {
 public:
  explicit FakeServer(std::string reply, bool answer = true)
      : reply_(std::move(reply)), answer_(answer) {
    fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, kSocketPath, sizeof addr.sun_path - 1);
    unlink(kSocketPath);
    bound_ = bind(fd_, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0 &&
             listen(fd_, 4) == 0;
  }
  ~FakeServer() {
    if (thread_.joinable()) {
      thread_.join();
    }
    close(fd_);
  }
  bool Bound() const { return bound_; }

  // Serves one connection in the background.
  void ServeOne() {
    thread_ = std::thread([this] {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 5000) <= 0) {
        return;
      }
      const int conn = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (conn < 0) {
        return;
      }
      // The request is one send; collect it until the client goes quiet.
      pollfd c{conn, POLLIN, 0};
      char buf[16384];
      while (poll(&c, 1, 200) > 0) {
        const ssize_t got = read(conn, buf, sizeof buf);
        if (got <= 0) {
          break;
        }
        received_.append(buf, static_cast<size_t>(got));
      }
      if (answer_) {
        send(conn, reply_.data(), reply_.size(), MSG_NOSIGNAL);
      }
      close(conn);
    });
  }
  std::string Received() {
    if (thread_.joinable()) {
      thread_.join();
    }
    return received_;
  }
  // True when a client is waiting to be accepted.
  bool Pending() {
    const int conn = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (conn < 0) {
      return false;
    }
    close(conn);
    return true;
  }

 private:
  int fd_ = -1;
  bool bound_ = false;
  std::string reply_;
  bool answer_;
  std::string received_;
  std::thread thread_;
};

using CtlTest = BedTest;

TEST_F(CtlTest, NoCommandPrintsUsageWithoutConnecting) {
  FakeServer server("unused");
  ASSERT_TRUE(server.Bound());
  const CtlResult r = RunWavectl({});
  EXPECT_EQ(r.status, 247);
  EXPECT_EQ(r.out, "Error: usage: wavectl [command]\n");
  EXPECT_EQ(r.err, "");
  EXPECT_FALSE(server.Pending());
}

TEST_F(CtlTest, NoDaemonIsAConnectError) {
  const CtlResult r = RunWavectl({"status"});
  EXPECT_EQ(r.status, 247);
  EXPECT_EQ(r.out, "Error: could not connect to management socket.\n");
}

TEST_F(CtlTest, StatusSendsSevenBytesAndPrintsTheReply) {
  FakeServer server("0\tIdle");
  ASSERT_TRUE(server.Bound());
  server.ServeOne();
  const CtlResult r = RunWavectl({"status"});
  EXPECT_EQ(server.Received(), std::string("status\0", 7));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "0\tIdle\n");
}

TEST_F(CtlTest, ArgumentsBecomeTabSeparatedWords) {
  FakeServer server("1\tCreating");
  ASSERT_TRUE(server.Bound());
  server.ServeOne();
  const CtlResult r = RunWavectl({"create", "My Net", "", "hbs\tx", "nat"});
  EXPECT_EQ(server.Received(), std::string("create\tMy Net\t\thbs\tx\tnat\0", 25));
  EXPECT_EQ(r.out, "1\tCreating\n");
}

TEST_F(CtlTest, LongRequestIsCutAt8192Bytes) {
  FakeServer server("");
  ASSERT_TRUE(server.Bound());
  server.ServeOne();
  RunWavectl({"create", std::string(10000, 'n')});
  const std::string got = server.Received();
  EXPECT_EQ(got.size(), 8192u);
  EXPECT_EQ(got.substr(0, 7), "create\t");
}

TEST_F(CtlTest, ReplyBytesArePrintedUnchangedUpTo2048) {
  {
    FakeServer server(std::string("MyNet\0secret\0", 13));
    ASSERT_TRUE(server.Bound());
    server.ServeOne();
    const CtlResult r = RunWavectl({"getcreds"});
    EXPECT_EQ(r.out, std::string("MyNet\0secret\0\n", 14));
  }
  {
    FakeServer server(std::string(3000, 'r'));
    ASSERT_TRUE(server.Bound());
    server.ServeOne();
    const CtlResult r = RunWavectl({"state"});
    EXPECT_EQ(r.status, 0);
    EXPECT_LE(r.out.size(), 2049u);
    EXPECT_EQ(r.out.back(), '\n');
  }
}

TEST_F(CtlTest, ClosedWithoutReplyPrintsAnEmptyLine) {
  FakeServer server("", /*answer=*/false);
  ASSERT_TRUE(server.Bound());
  server.ServeOne();
  const CtlResult r = RunWavectl({"getcreds"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "\n");
}

TEST_F(CtlTest, TalksToTheRealDaemon) {
  StartDaemon();
  ASSERT_TRUE(WaitForStatus("0\tIdle"));
  CtlResult r = RunWavectl({"status"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "0\tIdle\n");
  r = RunWavectl({"refresh"});
  EXPECT_EQ(r.out, "1\tRefreshing\n");
  EXPECT_TRUE(WaitForStatus("0\tDisabled."));
  r = RunWavectl({"status\n"});
  EXPECT_EQ(r.out, "Unknown command / try 'enablencm' 'teardown' 'create' 'state' or 'status'\n");
}

}  // namespace
}  // namespace ww::bed
