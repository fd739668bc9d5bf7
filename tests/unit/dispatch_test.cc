// The request language: matching, replies and the requests left in the
// daemon state, without sockets.
#include "daemon/core/dispatch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <string>

#include "common/wifiquery/wifi_query.h"
#include "daemon/core/daemon.h"
#include "daemon/core/query_pool.h"
#include "tests/unit/fake_kernel.h"
#include "tests/unit/request_test.h"
#include "tests/unit/temp_dir.h"

namespace ww {
namespace {

using testing::BlockBuilder;

constexpr const char* kUnknown =
    "Unknown command / try 'enablencm' 'teardown' 'create' 'state' or 'status'";

using DispatchTest = testing::RequestTest;

TEST_F(DispatchTest, StatusRepliesStateAndText) {
  SetText("Idle", 0);
  EXPECT_EQ(Run(std::string("status\0", 7)), "0\tIdle");
  EXPECT_EQ(sink_.sends, 1);
  SetText("SoftAP Running\tnet\tpass", 2);
  EXPECT_EQ(Run("status"), "2\tSoftAP Running\tnet\tpass");
}

// The boot replay reads the count once wavectl has its reply and exited.
TEST_F(DispatchTest, RecordedRequestsAreCountedBeforeTheReplyLeaves) {
  class CountAtSend : public ReplySink {
   public:
    explicit CountAtSend(const std::atomic<uint64_t>& count) : count_(count) {}
    void Send(const char* /*data*/, size_t /*length*/) override { seen = count_.load(); }
    uint64_t seen = 0;

   private:
    const std::atomic<uint64_t>& count_;
  };
  CountAtSend sink(daemon_.recorded_replies);
  CommandEnv env{daemon_, query_};
  char raw[] = "teardown";
  ::testing::internal::CaptureStderr();
  ExecuteRequest(env, raw, std::strlen(raw), sink);
  (void)::testing::internal::GetCapturedStderr();
  EXPECT_EQ(sink.seen, 1u);
}

TEST_F(DispatchTest, StatusTextIsCutToTheRequestBuffer) {
  daemon_.state.state = 1;
  std::memset(daemon_.state.text, 'e', sizeof daemon_.state.text - 1);
  daemon_.state.text[sizeof daemon_.state.text - 1] = '\0';
  const std::string reply = Run("status");
  EXPECT_EQ(reply.size(), 1024u);
  EXPECT_EQ(reply.substr(0, 3), "1\te");
}

TEST_F(DispatchTest, WholeRequestCommandsRefuseAnythingAfterTheWord) {
  EXPECT_EQ(Run("status\n"), kUnknown);
  EXPECT_EQ(Run("status\t"), kUnknown);
  EXPECT_EQ(Run("state\tx"), kUnknown);
  EXPECT_EQ(Run("statusx"), kUnknown);
  EXPECT_EQ(Run("Status"), kUnknown);
}

TEST_F(DispatchTest, EmptyAndStrayRequestsGetTheUnknownReply) {
  EXPECT_EQ(Run(""), kUnknown);
  EXPECT_EQ(Run("\nrefresh"), kUnknown);
  EXPECT_EQ(Run("bogus\targ"), kUnknown);
  EXPECT_EQ(Run("refreshx"), kUnknown);
  EXPECT_EQ(daemon_.state.refresh_teardown_flag_value.load(), 0);
  EXPECT_EQ(daemon_.state.wake_semaphore.Value(), 0);
}

TEST_F(DispatchTest, FirstWordCommandsAcceptFurtherWords) {
  EXPECT_EQ(Run("teardown\tx\ty"), "1\tTearing down");
  EXPECT_EQ(daemon_.state.teardown_requested.load(), 1);
  EXPECT_EQ(daemon_.state.state, 1);
  EXPECT_EQ(daemon_.state.wake_semaphore.Value(), 1);
  // A newline ends the first word just as NUL does.
  EXPECT_EQ(Run("refresh\n"), "1\tRefreshing");
}

TEST_F(DispatchTest, RefreshSetsOrClearsDumpKeysAndDelayRefreshKeepsIt) {
  EXPECT_EQ(Run(std::string("refresh\t--dump-keys\0", 20)), "1\tRefreshing");
  EXPECT_EQ(daemon_.state.hostapd_debug.load(), 1);
  EXPECT_EQ(daemon_.state.refresh_teardown_flag_value.load(), 1);
  EXPECT_EQ(daemon_.state.state, 1);

  EXPECT_EQ(Run("delayrefresh"), "1\tRefreshing");
  EXPECT_EQ(daemon_.state.hostapd_debug.load(), 1);
  EXPECT_EQ(daemon_.state.refresh_teardown_flag_value.load(), 4);

  EXPECT_EQ(Run("refresh\t--dump-key"), "1\tRefreshing");
  EXPECT_EQ(daemon_.state.hostapd_debug.load(), 0);
  EXPECT_EQ(Run("delayrefresh\t--dump-keys"), "1\tRefreshing");
  EXPECT_EQ(daemon_.state.hostapd_debug.load(), 0);
  EXPECT_EQ(Run("refresh"), "1\tRefreshing");
  EXPECT_EQ(daemon_.state.hostapd_debug.load(), 0);
  EXPECT_EQ(daemon_.state.refresh_teardown_flag_value.load(), 1);
  // Each request posted once.
  EXPECT_EQ(daemon_.state.wake_semaphore.Value(), 5);
}

TEST_F(DispatchTest, EveryRequestIsLoggedButState) {
  Run("status");
  EXPECT_EQ(log_, "Read: 6 [status]\n");
  Run(std::string("teardown\0", 9));
  EXPECT_EQ(log_, std::string("Read: 9 [teardown]\n"));
  Run("");
  EXPECT_EQ(log_, "Read: 0 []\n");
  daemon_.interfaces["wlan0"] = WifiInfo{};
  Run("state");
  EXPECT_EQ(log_, "");
  Run("statement\tof\tfacts");
  EXPECT_EQ(log_, "");
}

// Lower-case letters are hostapd's capitals.
TEST_F(DispatchTest, FallbackCountryCodeTakesTheFirstTwoLettersAndAdoptsThem) {
  BlockBuilder read_back;
  read_back.Message(testing::kFamily, 3, 31).AttrString(33, "FR").AttrU32(1, 0).Done(3);
  kernel_.Answer({{BlockBuilder().Ack(2).Build()}, {read_back.Build()}});
  EXPECT_EQ(Run("set-fallback-country-code\tfRX"), "1\tSetting");
  EXPECT_EQ(log_,
            "Read: 29 [set-fallback-country-code\tfRX]\n"
            "set-fallback-country-code: FR\n"
            "Caching domain FR\n"
            "Domain resolved to FR. Resetting teardown for setup\n");
  char code[2];
  daemon_.country.fallback_country_code.Load(code);
  EXPECT_EQ(std::string(code, 2), "FR");
  daemon_.country.useCountryCode.Load(code);
  EXPECT_EQ(std::string(code, 2), "FR");
  EXPECT_EQ(daemon_.country.resolution_priority.load(), kPriorityFallback);
  EXPECT_EQ(testing::TempDir::Read(daemon_.File("softap_cache_domain")), "FR");
}

TEST_F(DispatchTest, TestScanRepliesAfterItsReport) {
  EXPECT_EQ(Run("test-scan"), "1\tDone check journalctl -u wavewarden");
  EXPECT_EQ(sink_.sends, 1);
}

// hostapd refuses a file with any other country code.
TEST_F(DispatchTest, FallbackCountryCodeNeedsTwoLetters) {
  for (const char* word : {"F", "", "\tDE", "12", "#=", "u1", "\x01\x02", "\xc3\x84T"}) {
    SCOPED_TRACE(word);
    EXPECT_EQ(Run(std::string("set-fallback-country-code\t") + word), "0\tInvalid Parameters");
  }
  EXPECT_EQ(Run("set-fallback-country-code"), "0\tInvalid Parameters");
  char code[2];
  daemon_.country.fallback_country_code.Load(code);
  EXPECT_EQ(code[0], '\0');
  EXPECT_EQ(code[1], '\0');
  EXPECT_EQ(daemon_.state.state, 0);
}

TEST_F(DispatchTest, EnablencmWithoutControllersSaysSo) {
  EXPECT_EQ(Run("enablencm\tignored"), "No UDC devices available.");
  EXPECT_EQ(sink_.sends, 1);
  EXPECT_TRUE(daemon_.commands.empty());
}

TEST_F(DispatchTest, StateReportsTheStationAndTheAdoptedCountry) {
  WifiInfo station{};
  station.frequency = 5180;
  station.channel = 36;
  station.band = 5;
  daemon_.interfaces["wlan0"] = station;
  daemon_.country.useCountryCode.Store('F', 'R');
  SetText("Idle", 0);
  const std::string reply = Run("state");
  EXPECT_EQ(reply.rfind("{ \"sta\" : { \"frequency\" : 5180, \"channel\" : 36,", 0), 0u);
  EXPECT_NE(reply.find("\"country\" : \"FR\""), std::string::npos);
  EXPECT_EQ(reply.substr(reply.size() - 3), "] }");
  daemon_.interfaces.clear();
  Run("state");
  EXPECT_NE(log_.find("GetWifiInfo failed for wlan0\n"), std::string::npos);
}

TEST_F(DispatchTest, GetcredsWithoutAnAccessPointIsOneNul) {
  // No wlanap on this machine: nothing is queried.
  EXPECT_EQ(Run("getcreds"), std::string(1, '\0'));
  EXPECT_TRUE(daemon_.queried.empty());
}

// A command thread opens its interface query only for the commands that ask
// an interface, once; when it cannot, those end without a reply.
TEST_F(DispatchTest, OnlyInterfaceCommandsOpenAQueryAndLaterConnectionsReuseIt) {
  daemon_.interfaces["wlan0"] = WifiInfo{};
  int opens = 0;
  int result = 0;
  int answer = 0;
  daemon_.query_family = 0x1c;
  daemon_.hooks.open_query = [&](WifiQueryContext& /*ctx*/, int32_t family) {
    ++opens;
    EXPECT_EQ(family, 0x1c);  // the id start-up learnt, not asked again
    return result;
  };
  const auto recorded = daemon_.hooks.query;
  daemon_.hooks.query = [&, recorded](WifiQueryContext& ctx, const char* name, WifiInfo& out) {
    const int got = recorded(ctx, name, out);
    return answer != 0 ? answer : got;
  };
  // One connection: its request, then the end of the connection.
  const auto run = [&](const char* text) {
    char raw[64];
    std::snprintf(raw, sizeof raw, "%s", text);
    sink_ = testing::RecordingSink();
    CommandEnv env{daemon_, query_, kQueryClosed};
    ::testing::internal::CaptureStderr();
    ExecuteRequest(env, raw, std::strlen(raw), sink_);
    CloseQuery(env);
    log_ = ::testing::internal::GetCapturedStderr();
    return sink_.sends;
  };
  for (const char* request : {"status", "get-channels", "bogus", "refresh", "teardown"}) {
    EXPECT_EQ(run(request), 1) << request;
  }
  EXPECT_EQ(opens, 0);
  EXPECT_EQ(run("state"), 1);  // two interfaces asked, one open
  EXPECT_EQ(opens, 1);
  EXPECT_EQ(run("getcreds"), 1);  // the pooled one, still open
  EXPECT_EQ(run("state"), 1);
  EXPECT_EQ(opens, 1);

  // A kernel's refusal leaves nothing behind: the query stays pooled.
  answer = -31;
  EXPECT_EQ(run("state"), 1);
  EXPECT_EQ(run("state"), 1);
  EXPECT_EQ(opens, 1);
  // After a time-out its answer could still come: the next one is new.
  answer = -1;
  EXPECT_EQ(run("state"), 1);
  EXPECT_EQ(opens, 1);
  answer = 0;
  EXPECT_EQ(run("state"), 1);
  EXPECT_EQ(opens, 2);

  // The pooled query is open: failing opens show once it is gone.
  result = -1;
  answer = -1;
  EXPECT_EQ(run("state"), 1);
  answer = 0;
  const size_t asked = daemon_.queried.size();
  for (const char* request : {"state", "getcreds"}) {
    EXPECT_EQ(run(request), 0) << request;
    EXPECT_EQ(log_.find("Error initializing netlink in HandleCommandThread\n"),
              log_.rfind("Error initializing netlink in HandleCommandThread\n"))
        << log_;
    EXPECT_NE(log_.find("Error initializing netlink in HandleCommandThread\n"), std::string::npos);
  }
  EXPECT_EQ(run("status"), 1);
  EXPECT_EQ(opens, 4);
  EXPECT_EQ(daemon_.queried.size(), asked);
}

TEST(QueryPool, HandsEachContextToOneTakerAndFallsBackWhenAllAreBusy) {
  QueryPool pool;
  std::array<int, kQueryPoolSize> taken{};
  for (int& index : taken) {
    bool open = true;
    index = TakePooledQuery(pool, open);
    EXPECT_FALSE(open);  // closed slots come first time round
    EXPECT_GE(index, 0);
  }
  std::sort(taken.begin(), taken.end());
  EXPECT_EQ(std::adjacent_find(taken.begin(), taken.end()), taken.end());
  bool open = true;
  EXPECT_EQ(TakePooledQuery(pool, open), -1);  // all busy: the caller's own

  ReturnPooledQuery(pool, taken[2], true);
  ReturnPooledQuery(pool, taken[1], false);
  EXPECT_EQ(TakePooledQuery(pool, open), taken[2]);  // open ones first
  EXPECT_TRUE(open);
  EXPECT_EQ(TakePooledQuery(pool, open), taken[1]);
  EXPECT_FALSE(open);
  ReturnPooledQuery(pool, -1, true);  // ignored
  ReturnPooledQuery(pool, kQueryPoolSize, true);
  EXPECT_EQ(TakePooledQuery(pool, open), -1);
}

}  // namespace
}  // namespace ww
