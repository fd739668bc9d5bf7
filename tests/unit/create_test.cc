// The create and test commands: the grammar, what they leave in the daemon
// state, the default name and passphrase, the laststate file and its replay.
#include <dirent.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "daemon/core/last_state.h"
#include "tests/unit/request_test.h"

namespace ww {
namespace {

using testing::TempDir;

class CreateTest : public testing::RequestTest {
 protected:
  DaemonState& ds() { return daemon_.state; }
  std::string Laststate() { return TempDir::Read(daemon_.File("wavewarden.laststate")); }
  bool Requested() { return ds().create_requested.load() == 1; }
  // The request words joined by TABs, as wavectl sends them.
  static std::string Words(std::initializer_list<const char*> words) {
    std::string joined;
    for (const char* w : words) {
      joined += (joined.empty() ? "" : "\t") + std::string(w);
    }
    return joined;
  }
};

TEST_F(CreateTest, UsageTextIsTheFullGrammar) {
  EXPECT_EQ(std::string(kCreateUsage).size(), 217u);
  EXPECT_EQ(Run(Words({"create", "net", "pass", "hbs"})), kCreateUsage);
  EXPECT_EQ(ds().state, kStateBusy);
  EXPECT_FALSE(Requested());
  EXPECT_EQ(Laststate(), "create\tnet\tpass\thbs\n");
}

TEST_F(CreateTest, AcceptedCreateStoresEverythingAndWakes) {
  EXPECT_EQ(Run(Words({"create", "net", "secret12", "hbs6", "noroute"})), "1\tCreating");
  EXPECT_STREQ(ds().ssid, "net");
  EXPECT_STREQ(ds().password, "secret12");
  EXPECT_EQ(ds().desired_mode.load(), kModeHbs6);
  EXPECT_EQ(ds().route.load(), kRouteNone);
  EXPECT_EQ(ds().use_160mhz.load(), 1);
  EXPECT_EQ(ds().hidden_requested.load(), 0);
  EXPECT_TRUE(Requested());
  EXPECT_EQ(ds().wake_semaphore.Value(), 1);
  EXPECT_EQ(log_, "Read: 32 [create\tnet\tsecret12\thbs6\tnoroute]\n");
}

TEST_F(CreateTest, ModesAndRoutes) {
  Run(Words({"create", "n", "p", "scs", "transparent"}));
  EXPECT_EQ(ds().desired_mode.load(), kModeScs);
  EXPECT_EQ(ds().route.load(), kRouteTransparent);
  Run(Words({"create", "n", "p", "hbs", "nat"}));
  EXPECT_EQ(ds().desired_mode.load(), kModeHbs);
  EXPECT_EQ(ds().route.load(), kRouteNat);
}

TEST_F(CreateTest, UnknownModeOrRouteIsRefusedWithItsLine) {
  EXPECT_EQ(Run(Words({"create", "n", "p", "HBS", "nat"})), kCreateUsage);
  EXPECT_NE(log_.find("Unknown mode flag\n"), std::string::npos);
  EXPECT_EQ(ds().desired_mode.load(), kModeNone);
  EXPECT_EQ(Run(Words({"create", "n2", "p", "scs", "bridge"})), kCreateUsage);
  EXPECT_NE(log_.find("Unknown route flag\n"), std::string::npos);
  EXPECT_EQ(ds().route.load(), kRouteUnset);
  // What came before the refusal stays.
  EXPECT_EQ(ds().desired_mode.load(), kModeScs);
  EXPECT_STREQ(ds().ssid, "n2");
  EXPECT_FALSE(Requested());
}

TEST_F(CreateTest, DefaultNameAndGeneratedPassphrase) {
  EXPECT_EQ(Run(Words({"create", "-", "-", "hbs", "nat"})), "1\tCreating");
  EXPECT_STREQ(ds().ssid, "unknown");
  const std::string generated = ds().password;
  ASSERT_EQ(generated.size(), 8u);
  EXPECT_EQ(generated.find_first_not_of("0123456789abcdef"), std::string::npos);
  EXPECT_EQ(TempDir::Read(daemon_.File("softap_password")), generated);
  // The next create reuses it.
  std::strcpy(ds().password, "");
  Run(Words({"create", "-", "-", "hbs", "nat"}));
  EXPECT_EQ(std::string(ds().password), generated);
}

TEST_F(CreateTest, PassphraseComesFromTheFirstFourRandomBytes) {
  const std::string random =
      daemon_.scratch.Write("random", std::string("\x01\x02\x03\xa4zzzz", 8));
  daemon_.paths.random_device = random.c_str();
  Run(Words({"create", "n", "-", "hbs", "nat"}));
  EXPECT_STREQ(ds().password, "a4030201");
}

TEST_F(CreateTest, ShortPassphraseFileIsReplaced) {
  daemon_.scratch.Write("softap_password", "1234567\n");
  Run(Words({"create", "n", "-", "hbs", "nat"}));
  EXPECT_NE(std::string(ds().password), "1234567");
  EXPECT_EQ(std::string(ds().password).size(), 8u);
  daemon_.scratch.Write("softap_password", "12345678\n");
  Run(Words({"create", "n", "-", "hbs", "nat"}));
  EXPECT_STREQ(ds().password, "12345678");
}

TEST_F(CreateTest, HostnameLosesItsLineEnd) {
  daemon_.scratch.Write("hostname", "device-7\n");
  Run(Words({"create", "-", "p", "hbs", "nat"}));
  EXPECT_STREQ(ds().ssid, "device-7");
  daemon_.scratch.Write("hostname", "");
  Run(Words({"create", "-", "p", "hbs", "nat"}));
  EXPECT_STREQ(ds().ssid, "unknown");
}

TEST_F(CreateTest, RandomDeviceFailuresEndTheRequest) {
  daemon_.paths.random_device = "/nonexistent/random";
  EXPECT_EQ(Run(Words({"create", "n", "-", "hbs", "nat"})),
            "internal failure 43: No such file or directory");
  EXPECT_FALSE(Requested());
  const std::string short_source = daemon_.scratch.Write("short", "abc");
  daemon_.paths.random_device = short_source.c_str();
  EXPECT_EQ(Run(Words({"create", "n", "-", "hbs", "nat"})), "internal failure 44");
}

TEST_F(CreateTest, PscChannelAsTheSixthAndLastWord) {
  for (const auto& [word, channel] : std::vector<std::pair<const char*, uint32_t>>{
           {"1", 5}, {"5", 5}, {"17", 21}, {"229", 229}, {"225", 229}, {" +37", 37}, {"37x", 37}}) {
    EXPECT_EQ(Run(Words({"create", "n", "p", "hbs", "nat", word})), "1\tCreating") << word;
    EXPECT_EQ(ds().preferred_channel, channel) << word;
  }
  for (const char* word : {"0", "6", "233", "abc", "-1x"}) {
    ds().create_requested.store(0);
    const std::string reply = Run(Words({"create", "n", "p", "hbs", "nat", word}));
    if (word[0] == '-') {
      continue;  // a leading hyphen makes it a flag
    }
    EXPECT_EQ(reply, kCreateUsage) << word;
    EXPECT_EQ(log_.substr(log_.find('\n') + 1), "Bad PSC channel\n") << word;
    EXPECT_FALSE(Requested());
  }
}

// A space hides the hyphen from the flag check, so a negative number reaches
// the channel check; the smallest one must be refused like any other, not
// overflow on the way (the sanitizer build stops on the overflow).
TEST_F(CreateTest, NegativePscChannelBehindASpaceIsRefused) {
  for (const char* word : {" -11", " -9223372036854775808"}) {
    EXPECT_EQ(Run(Words({"create", "n", "p", "hbs", "nat", word})), kCreateUsage) << word;
    EXPECT_EQ(log_.substr(log_.find('\n') + 1), "Bad PSC channel\n") << word;
    EXPECT_FALSE(Requested());
  }
}

TEST_F(CreateTest, ChannelNumberFollowedByAFlagIsAnInvalidFlag) {
  EXPECT_EQ(Run(Words({"create", "n", "p", "hbs", "nat", "37", "--hidden"})), kCreateUsage);
  EXPECT_NE(log_.find("Error: Invalid flag: 37 [6]\n"), std::string::npos) << log_;
}

TEST_F(CreateTest, FlagsInAnyOrder) {
  EXPECT_EQ(Run(Words({"create", "n", "p", "hbs", "nat", "--hidden", "--width", "80", "--channel5",
                       "149", "--channel", "37"})),
            "1\tCreating");
  EXPECT_EQ(ds().hidden_requested.load(), 1);
  EXPECT_EQ(ds().use_160mhz.load(), 0);
  EXPECT_EQ(ds().channel_prefs_set, 1);
  EXPECT_EQ(ds().preferred_5ghz_channel, 149);
  EXPECT_EQ(ds().preferred_6ghz_channel, 37);
  EXPECT_EQ(ds().preferred_channel, 37u);
}

TEST_F(CreateTest, Channel56TakesZeroAsNoPreference) {
  EXPECT_EQ(Run(Words({"create", "n", "p", "hbs", "nat", "--channel56", "0", "0"})), "1\tCreating");
  EXPECT_EQ(ds().channel_prefs_set, 1);
  EXPECT_EQ(ds().preferred_5ghz_channel, 0);
  EXPECT_EQ(ds().preferred_6ghz_channel, 0);
  EXPECT_EQ(ds().preferred_channel, 0u);
}

TEST_F(CreateTest, ChannelZeroIsRefusedForSixGhz) {
  EXPECT_EQ(Run(Words({"create", "n", "p", "hbs", "nat", "--channel", "0"})), kCreateUsage);
  EXPECT_NE(log_.find("Bad 6 channel\n"), std::string::npos);
  EXPECT_EQ(ds().channel_prefs_set, 0);
}

TEST_F(CreateTest, BadWidthShowsTheNumber) {
  EXPECT_EQ(Run(Words({"create", "n", "p", "hbs", "nat", "--width", "40"})), kCreateUsage);
  EXPECT_NE(log_.find("Bad channel width (parsed as 40)\n"), std::string::npos);
}

TEST_F(CreateTest, FlagsWithoutTheirValuesAreInvalid) {
  for (const char* flag : {"--width", "--channel", "--channel5", "--channel6"}) {
    EXPECT_EQ(Run(Words({"create", "n", "p", "hbs", "nat", flag})), kCreateUsage) << flag;
    EXPECT_NE(log_.find(std::string("Error: Invalid flag: ") + flag + " [6]\n"), std::string::npos)
        << log_;
  }
  EXPECT_EQ(Run(Words({"create", "n", "p", "hbs", "nat", "--channel56", "36"})), kCreateUsage);
  EXPECT_NE(log_.find("Error: Invalid flag: --channel56 [6]\n"), std::string::npos);
  EXPECT_EQ(Run(Words({"create", "n", "p", "hbs", "nat", "--hidden", "--bogus"})), kCreateUsage);
  EXPECT_NE(log_.find("Error: Invalid flag: --bogus [7]\n"), std::string::npos);
  // An empty sixth word is walked as a flag, and no flag is empty.
  EXPECT_EQ(Run(Words({"create", "n", "p", "hbs", "nat", ""})), kCreateUsage);
  EXPECT_NE(log_.find("Error: Invalid flag:  [6]\n"), std::string::npos);
}

TEST_F(CreateTest, LaterCreateKeepsEarlierPreferencesButClearsTheChannel) {
  Run(Words({"create", "n", "p", "hbs", "nat", "--channel56", "36", "53"}));
  Run(Words({"create", "n", "p", "hbs", "nat", "--channel", "69"}));
  EXPECT_EQ(ds().preferred_channel, 69u);
  Run(Words({"create", "n", "p", "hbs", "nat"}));
  EXPECT_EQ(ds().preferred_channel, 0u);
  EXPECT_EQ(ds().preferred_5ghz_channel, 36);
  EXPECT_EQ(ds().preferred_6ghz_channel, 69);
}

TEST_F(CreateTest, TestCommand) {
  EXPECT_EQ(Run(Words({"test", "n", "p", "5"})), kTestUsage);
  EXPECT_EQ(Run(Words({"test", "-", "-", "5", "36"})), "1\tCreating");
  EXPECT_STREQ(ds().ssid, "-");
  EXPECT_EQ(ds().test_band, 5);
  EXPECT_EQ(ds().preferred_channel, 36u);
  EXPECT_EQ(ds().desired_mode.load(), kModeTest);
  EXPECT_TRUE(Requested());
  ds().create_requested.store(0);
  EXPECT_EQ(Run(Words({"test", "n", "p", "1", "36"})),
            "bad arguments\nUsage: test <AP name> <password> <band> <channel>");
  EXPECT_EQ(ds().test_band, 1);
  EXPECT_FALSE(Requested());
  EXPECT_EQ(Laststate(), "test\tn\tp\t1\t36\n");
}

TEST_F(CreateTest, TestNumbersBeyondTheirFieldsAreRefused) {
  const std::string refused = "bad arguments\nUsage: test <AP name> <password> <band> <channel>";
  EXPECT_EQ(Run(Words({"test", "n", "p", "2147483648", "36"})), refused);
  EXPECT_EQ(Run(Words({"test", "n", "p", "5", "4294967297"})), refused);
  EXPECT_FALSE(Requested());
  EXPECT_EQ(Run(Words({"test", "n", "p", "6", "2147483647"})), "1\tCreating");
}

// Numbers that only an accepted channel's low 32 bits would match are
// refused with the normaliser's own message, and a width is shown as read.
TEST_F(CreateTest, ChannelOptionsBeyondTheirFieldsAreRefused) {
  const struct {
    std::vector<const char*> flags;
    const char* message;
  } cases[] = {
      {{"--channel", "4294967333"}, "Bad 6 channel\n"},    // 2^32 + 37
      {{"--channel6", "-4294967291"}, "Bad 6 channel\n"},  // -(2^32) + 5
      {{"--channel5", "4294967332"}, "Bad 5 Channel.\n"},  // 2^32 + 36
      {{"--channel56", "4294967332", "0"}, "Bad 5 Channel.\n"},
      {{"--channel56", "0", "4294967333"}, "Bad 6 channel\n"},
      {{"--width", "4294967376"}, "Bad channel width (parsed as 4294967376)\n"},
  };
  for (const auto& c : cases) {
    std::vector<const char*> words = {"create", "n", "p", "hbs", "nat"};
    words.insert(words.end(), c.flags.begin(), c.flags.end());
    std::string joined;
    for (const char* w : words) {
      joined += (joined.empty() ? "" : "\t") + std::string(w);
    }
    log_.clear();
    EXPECT_EQ(Run(joined), kCreateUsage) << c.flags[1];
    EXPECT_NE(log_.find(c.message), std::string::npos) << log_;
    EXPECT_FALSE(Requested());
    EXPECT_EQ(ds().channel_prefs_set, 0);
  }
  // The same channels within the fields are still taken.
  EXPECT_EQ(Run(Words({"create", "n", "p", "hbs", "nat", "--channel56", "36", "37"})),
            "1\tCreating");
  EXPECT_EQ(ds().preferred_6ghz_channel, 37);
}

// One command thread replaces the credentials while another reports them;
// the ThreadSanitizer build sees any access outside the state lock.
TEST_F(CreateTest, CredentialsReplacedWhileAReportReadsThem) {
  daemon_.interfaces["wlan0"] = WifiInfo{};
  std::strcpy(daemon_.state.password, "aaaaaaaa");
  std::atomic<bool> done{false};
  std::atomic<int> torn{0};
  // Standard error is not captured: a sanitizer report must stay visible.
  std::thread reporter([&] {
    CommandEnv env{daemon_, query_};
    char raw[] = "state";
    for (int i = 0; i < 300 && !done.load(); ++i) {
      testing::RecordingSink sink;
      ExecuteRequest(env, raw, std::strlen(raw), sink);
      if (sink.reply.find("\"password\" : \"aaaaaaaa\"") == std::string::npos &&
          sink.reply.find("\"password\" : \"bbbbbbbb\"") == std::string::npos) {
        ++torn;
      }
    }
  });
  CommandEnv env{daemon_, query_};
  for (int i = 0; i < 300; ++i) {
    std::string request = i % 2 == 0 ? "test\tn\taaaaaaaa\t5\t36" : "test\tn\tbbbbbbbb\t5\t36";
    testing::RecordingSink sink;
    ExecuteRequest(env, request.data(), request.size(), sink);
  }
  done.store(true);
  reporter.join();
  EXPECT_EQ(torn.load(), 0);
}

TEST_F(CreateTest, TeardownIsRecordedToo) {
  Run("teardown");
  EXPECT_EQ(Laststate(), "teardown\n");
}

TEST(ReplayCommand, QuotesEveryWordForTheShell) {
  EXPECT_EQ(ReplayCommand("create\tnet\tpass\thbs\tnat\n"),
            "wavectl 'create' 'net' 'pass' 'hbs' 'nat'");
  EXPECT_EQ(ReplayCommand("create\tmy net\t$(reboot)\thbs\tnat"),
            "wavectl 'create' 'my net' '$(reboot)' 'hbs' 'nat'");
  EXPECT_EQ(ReplayCommand("create\tit's\t\thbs"), "wavectl 'create' 'it'\\''s' '' 'hbs'");
}

TEST_F(CreateTest, ReplayRunsTheRecordedRequestOnce) {
  ReplayLastState(daemon_);
  EXPECT_TRUE(daemon_.commands.empty());  // nothing recorded yet
  Run(Words({"create", "a b", "p\"'`", "hbs", "nat"}));
  ReplayLastState(daemon_);
  ASSERT_EQ(daemon_.commands.size(), 1u);
  EXPECT_EQ(daemon_.commands[0], "wavectl 'create' 'a b' 'p\"'\\''`' 'hbs' 'nat'");
}

TEST_F(CreateTest, LaststateIsReplacedWholeWithNoTemporaryLeft) {
  Run(Words({"create", "first-network-name", "p", "hbs", "nat"}));
  Run("teardown");
  EXPECT_EQ(Laststate(), "teardown\n");
  std::vector<std::string> names;
  if (DIR* d = opendir(daemon_.scratch.Dir().c_str())) {
    while (const dirent* e = readdir(d)) {
      if (e->d_name[0] != '.' && std::string(e->d_name) != "proc") {
        names.emplace_back(e->d_name);
      }
    }
    closedir(d);
  }
  EXPECT_EQ(names, std::vector<std::string>{"wavewarden.laststate"});
}

}  // namespace
}  // namespace ww
