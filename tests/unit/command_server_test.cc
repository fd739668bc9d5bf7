// The accept loop in-process, on a socket of the test's own.
#include "daemon/core/command_server.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "daemon/core/daemon.h"
#include "tests/unit/temp_dir.h"
#include "tests/unit/test_daemon.h"

namespace ww {
namespace {

std::atomic<int> g_failures_left{0};

// Fails the first g_failures_left thread starts, as a process out of
// threads would.
int FlakyStarter(pthread_t* thread, void* (*body)(void*), void* arg) {
  if (g_failures_left.fetch_sub(1) > 0) {
    return EAGAIN;
  }
  return StartDefaultThread(thread, body, arg);
}

class CommandServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = tmp_.Path("mgmt.socket");
    std::strcpy(daemon_.state.text, "Idle");
  }
  void TearDown() override {
    if (server_.joinable()) {
      // Shutting the listener down makes accept fail, which ends the loop.
      shutdown(listen_fd_, SHUT_RDWR);
      server_.join();
    }
    if (listen_fd_ >= 0) {
      close(listen_fd_);
    }
    // Command threads may still be finishing; the slots outlive them only
    // once they are joined.
    for (int i = 0; i < kCommandSlots; ++i) {
      while (daemon_.slots.state[i].load() == kSlotBusy) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      if (daemon_.slots.state[i].load() == kSlotFinished) {
        pthread_join(daemon_.slots.thread[i], nullptr);
      }
    }
  }
  void Serve(ThreadStarter starter) {
    ASSERT_EQ(OpenManagementSocket(path_.c_str(), listen_fd_), 0);
    server_ = std::thread(
        [this, starter] { exit_status_ = ServeManagementSocket(daemon_, listen_fd_, starter); });
  }
  std::string Exchange(const std::string& request) {
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path_.c_str(), sizeof addr.sun_path - 1);
    EXPECT_EQ(connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
    send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    shutdown(fd, SHUT_WR);
    timeval tv{3, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    std::string reply;
    char buf[2048];
    for (ssize_t got; (got = read(fd, buf, sizeof buf)) > 0;) {
      reply.append(buf, static_cast<size_t>(got));
    }
    close(fd);
    return reply;
  }

  testing::TempDir tmp_;
  testing::TestDaemon daemon_;
  std::string path_;
  int listen_fd_ = -1;
  std::thread server_;
  std::atomic<int> exit_status_{-1};
};

TEST_F(CommandServerTest, FailedThreadStartClosesTheConnectionAndFreesTheSlot) {
  g_failures_left = 2;
  ::testing::internal::CaptureStderr();
  Serve(FlakyStarter);
  EXPECT_EQ(Exchange(std::string("status\0", 7)), "");
  EXPECT_EQ(Exchange(std::string("status\0", 7)), "");
  // The slot the failures used is free again: slot 0 serves the next one.
  EXPECT_EQ(Exchange(std::string("status\0", 7)), "0\tIdle");
  const std::string log = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(log.find("Error: could not start command thread: Resource temporarily unavailable\n"),
            std::string::npos)
      << log;
  EXPECT_EQ(daemon_.slots.state[1].load(), kSlotFree);
}

TEST_F(CommandServerTest, SocketIsBoundOverAStaleFile) {
  std::FILE* f = std::fopen(path_.c_str(), "w");
  std::fclose(f);
  Serve(StartDefaultThread);
  EXPECT_EQ(Exchange("teardown"), "1\tTearing down");
  struct stat st {};
  ASSERT_EQ(stat(path_.c_str(), &st), 0);
  EXPECT_TRUE(S_ISSOCK(st.st_mode));
}

TEST_F(CommandServerTest, FailedAcceptEndsTheLoopWithStatusOne) {
  ::testing::internal::CaptureStderr();
  Serve(StartDefaultThread);
  shutdown(listen_fd_, SHUT_RDWR);
  server_.join();
  EXPECT_EQ(exit_status_.load(), 1);
  EXPECT_EQ(::testing::internal::GetCapturedStderr().rfind("Error: accept: ", 0), 0u);
}

}  // namespace
}  // namespace ww
