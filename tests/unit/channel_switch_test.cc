// hostapd's channel switch: the command for each band and width, the
// completion event, and the exchange with a hostapd made up of a datagram
// socket.
#include "daemon/hostapd/channel_switch.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/unit/temp_dir.h"

namespace ww {
namespace {

TEST(ChanSwitchCommand, CarriesTheLayoutTheConfigurationImplies) {
  const struct {
    int frequency;
    bool use_160mhz;
    const char* command;
  } rows[] = {
      {2462, false, "CHAN_SWITCH 5 2462 center_freq1=2462 bandwidth=20 he eht"},
      // 149 is the first of its 80 MHz block (centre 155).
      {5745, false,
       "CHAN_SWITCH 5 5745 sec_channel_offset=1 center_freq1=5775 bandwidth=80 ht vht he eht"},
      // 48 is the last of its block (centre 42).
      {5240, false,
       "CHAN_SWITCH 5 5240 sec_channel_offset=-1 center_freq1=5210 bandwidth=80 ht vht he eht"},
      {6135, false,
       "CHAN_SWITCH 5 6135 sec_channel_offset=-1 center_freq1=6145 bandwidth=80 he eht"},
      {6135, true,
       "CHAN_SWITCH 5 6135 sec_channel_offset=-1 center_freq1=6185 bandwidth=160 he eht"},
      {5955, true,
       "CHAN_SWITCH 5 5955 sec_channel_offset=1 center_freq1=6025 bandwidth=160 he eht"},
      {5935, false, ""},  // in no band
  };
  for (const auto& row : rows) {
    EXPECT_EQ(ChanSwitchCommand(LayoutFor(row.frequency, row.use_160mhz)), row.command)
        << row.frequency;
  }
}

TEST(CsaFinishedFrequency, ReadsOnlyTheCompletionEvent) {
  EXPECT_EQ(CsaFinishedFrequency("<3>AP-CSA-FINISHED freq=2462 dfs=0"), 2462);
  EXPECT_EQ(CsaFinishedFrequency("AP-CSA-FINISHED freq=5745"), 5745);
  EXPECT_EQ(CsaFinishedFrequency("<3>AP-CSA-FINISHED freq=2462x"), std::nullopt);
  EXPECT_EQ(CsaFinishedFrequency("<3>AP-CSA-FINISHED dfs=0"), std::nullopt);
  EXPECT_EQ(CsaFinishedFrequency("<3>AP-CSA-FINISHED xfreq=1"), std::nullopt);
  EXPECT_EQ(CsaFinishedFrequency("<3>CTRL-EVENT-CHANNEL-SWITCH freq=2462"), std::nullopt);
  EXPECT_EQ(CsaFinishedFrequency("<3AP-CSA-FINISHED freq=2462"), std::nullopt);
  EXPECT_EQ(CsaFinishedFrequency("<3>AP-CSA-FINISHED freq=99999999999"), std::nullopt);
}

// A hostapd that answers ATTACH and the switch as told, then sends `events`.
class FakeHostapd {
 public:
  FakeHostapd(const std::string& path, std::string switch_reply, std::vector<std::string> events)
      : path_(path) {
    fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    bound_ = ::bind(fd_, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
    thread_ = std::thread([this, switch_reply, events] {
      timeval timeout{2, 0};
      (void)setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
      for (int i = 0; i < 3; ++i) {
        char buf[512];
        sockaddr_un from{};
        socklen_t length = sizeof from;
        const ssize_t got =
            ::recvfrom(fd_, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &length);
        if (got <= 0) {
          return;
        }
        const std::string request(buf, static_cast<size_t>(got));
        received.push_back(request);
        const auto send = [&](const std::string& m) {
          (void)::sendto(fd_, m.data(), m.size(), 0, reinterpret_cast<sockaddr*>(&from), length);
        };
        if (request == "ATTACH") {
          send("OK\n");
        } else if (request.rfind("CHAN_SWITCH ", 0) == 0) {
          send(switch_reply);
          for (const std::string& e : events) {
            send(e);
          }
        }
      }
    });
  }
  ~FakeHostapd() {
    Join();
    ::close(fd_);
    ::unlink(path_.c_str());
  }
  void Join() {
    if (thread_.joinable()) {
      thread_.join();
    }
  }
  bool bound_ = false;
  std::vector<std::string> received;  // read after Join()

 private:
  std::string path_;
  int fd_ = -1;
  std::thread thread_;
};

TEST(SwitchChannel, WaitsForTheCompletionOnTheTargetFrequency) {
  testing::TempDir dir;
  const std::string path = dir.Path("wlanap");
  const std::string command = "CHAN_SWITCH 5 2462 center_freq1=2462 bandwidth=20 he eht";
  const std::chrono::milliseconds deadline(500);
  {
    FakeHostapd hostapd(
        path, "OK\n",
        {"<3>AP-STA-CONNECTED 02:00:00:00:02:00", "<3>AP-CSA-FINISHED freq=2462 dfs=0"});
    ASSERT_TRUE(hostapd.bound_);
    EXPECT_EQ(SwitchChannel(path.c_str(), command, 2462, deadline), SwitchResult::kSwitched);
  }
  {
    FakeHostapd hostapd(path, "FAIL\n", {});
    EXPECT_EQ(SwitchChannel(path.c_str(), command, 2462, deadline), SwitchResult::kRefused);
  }
  {
    FakeHostapd hostapd(path, "OK\n", {"<3>AP-CSA-FINISHED freq=2412 dfs=0"});
    EXPECT_EQ(SwitchChannel(path.c_str(), command, 2462, deadline), SwitchResult::kOtherFrequency);
  }
  {
    FakeHostapd hostapd(path, "OK\n", {});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(SwitchChannel(path.c_str(), command, 2462, deadline), SwitchResult::kTimedOut);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
    hostapd.Join();
    EXPECT_EQ(hostapd.received.size(), 3u);  // and DETACH
  }
  EXPECT_EQ(SwitchChannel(path.c_str(), command, 2462, deadline), SwitchResult::kNoControlSocket);
}

}  // namespace
}  // namespace ww
