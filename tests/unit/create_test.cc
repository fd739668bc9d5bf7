// The create and test commands: the grammar, what they leave in the daemon
// state, the default name and passphrase, the laststate file and its replay.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "daemon/core/create_grammar.h"
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
  Run(Words({"create", "n", "pass1234", "scs", "transparent"}));
  EXPECT_EQ(ds().desired_mode.load(), kModeScs);
  EXPECT_EQ(ds().route.load(), kRouteTransparent);
  Run(Words({"create", "n", "pass1234", "hbs", "nat"}));
  EXPECT_EQ(ds().desired_mode.load(), kModeHbs);
  EXPECT_EQ(ds().route.load(), kRouteNat);
}

TEST_F(CreateTest, UnknownModeOrRouteIsRefusedWithItsLine) {
  EXPECT_EQ(Run(Words({"create", "n", "pass1234", "HBS", "nat"})), kCreateUsage);
  EXPECT_NE(log_.find("Unknown mode flag\n"), std::string::npos);
  EXPECT_EQ(ds().desired_mode.load(), kModeNone);
  EXPECT_EQ(Run(Words({"create", "n2", "pass1234", "scs", "bridge"})), kCreateUsage);
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
  // Only the first line is the passphrase.
  daemon_.scratch.Write("softap_password", "12345678\nwpa_psk=0\n");
  Run(Words({"create", "n", "-", "hbs", "nat"}));
  EXPECT_STREQ(ds().password, "12345678");
  // One hostapd would refuse is not handed to it.
  daemon_.scratch.Write("softap_password", std::string(64, 'x'));
  EXPECT_EQ(Run(Words({"create", "n", "-", "hbs", "nat"})), kCreateUsage);
  EXPECT_NE(log_.find("Error: password is 64 bytes long, 8 to 63 are allowed (" +
                      daemon_.File("softap_password") + ")\n"),
            std::string::npos)
      << log_;
}

// A passphrase or laststate that cannot be saved is named on standard
// error; the request is still served.
TEST_F(CreateTest, FailedSavesAreReported) {
  const std::string laststate = daemon_.File("gone/wavewarden.laststate");
  const std::string password = daemon_.File("gone/softap_password");
  daemon_.paths.laststate = laststate.c_str();
  daemon_.paths.default_password = password.c_str();
  EXPECT_EQ(Run(Words({"create", "n", "-", "hbs", "nat"})), "1\tCreating");
  EXPECT_NE(log_.find("Error: could not save " + laststate + ": No such file or directory\n"),
            std::string::npos)
      << log_;
  EXPECT_NE(log_.find("Error: could not save " + password + ": No such file or directory\n"),
            std::string::npos)
      << log_;
  EXPECT_EQ(std::string(ds().password).size(), 8u);
  EXPECT_EQ(Run("teardown"), "1\tTearing down");
  EXPECT_NE(log_.find("Error: could not save " + laststate), std::string::npos) << log_;
}

// Two creates with "-" at once agree on one passphrase, and it is the one
// in the file: the second reads what the first generated.
TEST_F(CreateTest, ConcurrentDefaultPassphrasesAgree) {
  std::vector<std::thread> threads;
  std::vector<std::string> used(4);
  for (size_t i = 0; i < used.size(); ++i) {
    threads.emplace_back([this, i, &used] {
      CommandEnv env{daemon_, query_};
      std::string request = "create\tn\t-\thbs\tnat";
      testing::RecordingSink sink;
      ExecuteRequest(env, request.data(), request.size(), sink);
      char password[kCredentialSize];
      CopyCredentials(daemon_.state, nullptr, password);
      used[i] = password;
    });
  }
  for (std::thread& t : threads) {
    t.join();
  }
  const std::string file = TempDir::Read(daemon_.File("softap_password"));
  EXPECT_EQ(file.size(), 8u);
  for (const std::string& p : used) {
    EXPECT_EQ(p, file);
  }
}

// A slow random device holds up only the create that waits for it: a
// status report meanwhile is answered at once.
TEST_F(CreateTest, SlowRandomDeviceDoesNotHoldUpReports) {
  const std::string fifo = daemon_.File("random");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  daemon_.paths.random_device = fifo.c_str();
  std::thread create([this] {
    CommandEnv env{daemon_, query_};
    std::string request = "create\t-\t-\thbs\tnat";
    testing::RecordingSink sink;
    ExecuteRequest(env, request.data(), request.size(), sink);
  });
  // Once the create has the device open, it waits in its read.
  int writer = -1;
  for (int i = 0; i < 500 && writer < 0; ++i) {
    writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (writer < 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  ASSERT_GE(writer, 0);
  std::atomic<bool> answered{false};
  std::thread status([this, &answered] {
    CommandEnv env{daemon_, query_};
    std::string request = "status";
    testing::RecordingSink sink;
    ExecuteRequest(env, request.data(), request.size(), sink);
    answered.store(true);
  });
  for (int i = 0; i < 200 && !answered.load(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const bool prompt = answered.load();
  EXPECT_EQ(::write(writer,
                    "\x01\x02\x03\x04"
                    "abcd",
                    8),
            8);
  ::close(writer);
  status.join();
  create.join();
  EXPECT_TRUE(prompt);
  EXPECT_STREQ(ds().password, "04030201");
}

// The default name is the first line of the hostname file, cut to the 32
// bytes an access point's name may hold, never inside a UTF-8 character.
TEST_F(CreateTest, DefaultNameFromTheHostnameFile) {
  const std::string serial(40, 'S');
  const std::string e_acute = "\xc3\xa9";
  const std::string euro = "\xe2\x82\xac";
  const std::pair<std::string, std::string> rows[] = {
      {"device-7\n", "device-7"},
      {"", "unknown"},
      {"\n", "unknown"},
      {"first\nsecond\n", "first"},
      {serial + "\n", serial.substr(0, 32)},
      {std::string(31, 'a') + e_acute, std::string(31, 'a')},
      {std::string(30, 'a') + e_acute + "b", std::string(30, 'a') + e_acute},
      {std::string(30, 'a') + euro, std::string(30, 'a')},
      {std::string(29, 'a') + euro + "b", std::string(29, 'a') + euro},
      {std::string(40, '\x80'), std::string(32, '\x80')},  // not UTF-8: cut where it is
  };
  for (const auto& [file, name] : rows) {
    daemon_.scratch.Write("hostname", file);
    EXPECT_EQ(Run(Words({"create", "-", "pass1234", "hbs", "nat"})), "1\tCreating");
    EXPECT_EQ(std::string(ds().ssid), name) << file;
  }
}

// What hostapd would refuse is refused with the create or test usage and a
// line that says why, before anything is recorded or stored.
TEST_F(CreateTest, NamesAndPassphrasesHostapdRefusesAreRefusedUpFront) {
  const std::string name32(32, 'n');
  const std::string pass63(63, 'p');
  const struct {
    std::string name;
    std::string pass;
    const char* line;  // null: accepted
  } rows[] = {
      {name32, "pass1234", nullptr},
      {name32 + "n", "pass1234", "Error: AP name is 33 bytes long, at most 32 are allowed\n"},
      {"", "pass1234", "Error: AP name is empty\n"},
      {"net", "pass123", "Error: password is 7 bytes long, 8 to 63 are allowed\n"},
      {"net", pass63, nullptr},
      {"net", pass63 + "p", "Error: password is 64 bytes long, 8 to 63 are allowed\n"},
      {"net", "abc|mac=00:11:22:33:44:55",
       "Error: password contains \"|mac=\", which hostapd reads as an option\n"},
      {"net", "abcd|vlanid=3",
       "Error: password contains \"|vlanid=\", which hostapd reads as an option\n"},
      {"net", "abcdefg|pk=x",
       "Error: password contains \"|pk=\", which hostapd reads as an option\n"},
      {"net", "abcdefg|id=x",
       "Error: password contains \"|id=\", which hostapd reads as an option\n"},
      {"net", "abc|mac|id|pk", nullptr},
  };
  for (const char* command : {"create", "test"}) {
    for (const auto& row : rows) {
      Run("teardown");
      SetText("Disabled.", kStateNoAp);
      ds().create_requested.store(0);
      std::strcpy(ds().ssid, "before");
      const std::string request =
          std::string(command) == "create"
              ? Words({"create", row.name.c_str(), row.pass.c_str(), "hbs", "nat"})
              : Words({"test", row.name.c_str(), row.pass.c_str(), "5", "36"});
      const std::string reply = Run(request);
      if (row.line == nullptr) {
        EXPECT_EQ(reply, "1\tCreating") << command << " " << row.pass;
        EXPECT_EQ(Laststate(), request + "\n");
        continue;
      }
      EXPECT_EQ(reply, std::string(command) == "create" ? kCreateUsage : kTestUsage)
          << command << " " << row.name << " " << row.pass;
      EXPECT_NE(log_.find(row.line), std::string::npos) << log_;
      EXPECT_EQ(Laststate(), "teardown\n");
      EXPECT_STREQ(ds().ssid, "before");
      EXPECT_EQ(ds().state, kStateNoAp);
      EXPECT_FALSE(Requested());
    }
  }
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
    EXPECT_EQ(Run(Words({"create", "n", "pass1234", "hbs", "nat", word})), "1\tCreating") << word;
    EXPECT_EQ(ds().preferred_channel, channel) << word;
  }
  for (const char* word : {"0", "6", "233", "abc", "-1x"}) {
    ds().create_requested.store(0);
    const std::string reply = Run(Words({"create", "n", "pass1234", "hbs", "nat", word}));
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
    EXPECT_EQ(Run(Words({"create", "n", "pass1234", "hbs", "nat", word})), kCreateUsage) << word;
    EXPECT_EQ(log_.substr(log_.find('\n') + 1), "Bad PSC channel\n") << word;
    EXPECT_FALSE(Requested());
  }
}

TEST_F(CreateTest, ChannelNumberFollowedByAFlagIsAnInvalidFlag) {
  EXPECT_EQ(Run(Words({"create", "n", "pass1234", "hbs", "nat", "37", "--hidden"})), kCreateUsage);
  EXPECT_NE(log_.find("Error: Invalid flag: 37 [6]\n"), std::string::npos) << log_;
}

TEST_F(CreateTest, FlagsInAnyOrder) {
  EXPECT_EQ(Run(Words({"create", "n", "pass1234", "hbs", "nat", "--hidden", "--width", "80",
                       "--channel5", "149", "--channel", "37"})),
            "1\tCreating");
  EXPECT_EQ(ds().hidden_requested.load(), 1);
  EXPECT_EQ(ds().use_160mhz.load(), 0);
  EXPECT_EQ(ds().channel_prefs_set, 1);
  EXPECT_EQ(ds().preferred_5ghz_channel, 149);
  EXPECT_EQ(ds().preferred_6ghz_channel, 37);
  EXPECT_EQ(ds().preferred_channel, 37u);
}

TEST_F(CreateTest, Channel56TakesZeroAsNoPreference) {
  EXPECT_EQ(Run(Words({"create", "n", "pass1234", "hbs", "nat", "--channel56", "0", "0"})),
            "1\tCreating");
  EXPECT_EQ(ds().channel_prefs_set, 1);
  EXPECT_EQ(ds().preferred_5ghz_channel, 0);
  EXPECT_EQ(ds().preferred_6ghz_channel, 0);
  EXPECT_EQ(ds().preferred_channel, 0u);
}

TEST_F(CreateTest, ChannelZeroIsRefusedForSixGhz) {
  EXPECT_EQ(Run(Words({"create", "n", "pass1234", "hbs", "nat", "--channel", "0"})), kCreateUsage);
  EXPECT_NE(log_.find("Bad 6 channel\n"), std::string::npos);
  EXPECT_EQ(ds().channel_prefs_set, 0);
}

TEST_F(CreateTest, BadWidthShowsTheNumber) {
  EXPECT_EQ(Run(Words({"create", "n", "pass1234", "hbs", "nat", "--width", "40"})), kCreateUsage);
  EXPECT_NE(log_.find("Bad channel width (parsed as 40)\n"), std::string::npos);
}

TEST_F(CreateTest, FlagsWithoutTheirValuesAreInvalid) {
  for (const char* flag : {"--width", "--channel", "--channel5", "--channel6"}) {
    EXPECT_EQ(Run(Words({"create", "n", "pass1234", "hbs", "nat", flag})), kCreateUsage) << flag;
    EXPECT_NE(log_.find(std::string("Error: Invalid flag: ") + flag + " [6]\n"), std::string::npos)
        << log_;
  }
  EXPECT_EQ(Run(Words({"create", "n", "pass1234", "hbs", "nat", "--channel56", "36"})),
            kCreateUsage);
  EXPECT_NE(log_.find("Error: Invalid flag: --channel56 [6]\n"), std::string::npos);
  EXPECT_EQ(Run(Words({"create", "n", "pass1234", "hbs", "nat", "--hidden", "--bogus"})),
            kCreateUsage);
  EXPECT_NE(log_.find("Error: Invalid flag: --bogus [7]\n"), std::string::npos);
  // An empty sixth word is walked as a flag, and no flag is empty.
  EXPECT_EQ(Run(Words({"create", "n", "pass1234", "hbs", "nat", ""})), kCreateUsage);
  EXPECT_NE(log_.find("Error: Invalid flag:  [6]\n"), std::string::npos);
}

TEST_F(CreateTest, LaterCreateKeepsEarlierPreferencesButClearsTheChannel) {
  Run(Words({"create", "n", "pass1234", "hbs", "nat", "--channel56", "36", "53"}));
  Run(Words({"create", "n", "pass1234", "hbs", "nat", "--channel", "69"}));
  EXPECT_EQ(ds().preferred_channel, 69u);
  Run(Words({"create", "n", "pass1234", "hbs", "nat"}));
  EXPECT_EQ(ds().preferred_channel, 0u);
  EXPECT_EQ(ds().preferred_5ghz_channel, 36);
  EXPECT_EQ(ds().preferred_6ghz_channel, 69);
}

TEST_F(CreateTest, TestCommand) {
  EXPECT_EQ(Run(Words({"test", "n", "pass1234", "5"})), kTestUsage);
  EXPECT_EQ(Run(Words({"test", "-", "pass1234", "5", "36"})), "1\tCreating");
  EXPECT_STREQ(ds().ssid, "-");
  EXPECT_EQ(ds().test_band, 5);
  EXPECT_EQ(ds().preferred_channel, 36u);
  EXPECT_EQ(ds().desired_mode.load(), kModeTest);
  EXPECT_TRUE(Requested());
  ds().create_requested.store(0);
  EXPECT_EQ(Run(Words({"test", "n", "pass1234", "1", "36"})),
            "bad arguments\nUsage: test <AP name> <password> <band> <channel>");
  EXPECT_EQ(ds().test_band, 1);
  EXPECT_FALSE(Requested());
  EXPECT_EQ(Laststate(), "test\tn\tpass1234\t1\t36\n");
}

// A band or channel that no radio has is refused before it is recorded (it
// would give hostapd a file for frequency 0); numbers beyond their fields
// stay "bad arguments".
TEST_F(CreateTest, TestBandsAndChannelsNoRadioHasAreRefused) {
  const std::string bad = "bad arguments\nUsage: test <AP name> <password> <band> <channel>";
  const struct {
    const char* band;
    const char* channel;
    std::string reply;
    const char* reason;
  } rows[] = {
      {"99", "36", kTestUsage, "Error: test band 99 is not 2, 5 or 6\n"},
      {"6", "2147483647", kTestUsage,
       "Error: test channel 2147483647 is not a channel of band 6\n"},
      {"5", "14", kTestUsage, "Error: test channel 14 is not a channel of band 5\n"},
      {"2147483648", "36", bad, nullptr},
      {"5", "4294967297", bad, nullptr},
  };
  Run("teardown");
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.band) + " " + row.channel);
    EXPECT_EQ(Run(Words({"test", "n", "pass1234", row.band, row.channel})), row.reply);
    EXPECT_FALSE(Requested());
    if (row.reason != nullptr) {
      EXPECT_NE(log_.find(row.reason), std::string::npos) << log_;
      EXPECT_EQ(Laststate(), "teardown\n");
    }
  }
  EXPECT_EQ(Run(Words({"test", "n", "pass1234", "2", "14"})), "1\tCreating");  // 2484 MHz
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
    std::vector<const char*> words = {"create", "n", "pass1234", "hbs", "nat"};
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
  EXPECT_EQ(Run(Words({"create", "n", "pass1234", "hbs", "nat", "--channel56", "36", "37"})),
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

// The shell stands in for wavectl: the replayed request is answered on the
// `answered_on`-th run and never before.
void AnswerReplayOn(testing::TestDaemon& daemon, int answered_on) {
  // The laststate file stays; the new run has answered nothing yet.
  daemon.recorded_replies.store(0);
  daemon.hooks.run_command = [&daemon, answered_on](const char* command) {
    daemon.commands.emplace_back(command);
    if (static_cast<int>(daemon.commands.size()) == answered_on) {
      daemon.recorded_replies.fetch_add(1);
    }
    return 0;
  };
}

TEST_F(CreateTest, ReplayRunsTheRecordedRequestOnce) {
  AnswerReplayOn(daemon_, 1);
  ReplayLastState(daemon_);
  EXPECT_TRUE(daemon_.commands.empty());  // nothing recorded yet
  Run(Words({"create", "a b", "p\"'`5678", "hbs", "nat"}));
  AnswerReplayOn(daemon_, 1);
  ReplayLastState(daemon_);
  ASSERT_EQ(daemon_.commands.size(), 1u);
  EXPECT_EQ(daemon_.commands[0], "wavectl 'create' 'a b' 'p\"'\\''`5678' 'hbs' 'nat'");
}

// A replay that the busy socket closed unanswered is sent again, a second
// apart, until it is answered or ten tries are spent.
TEST_F(CreateTest, UnansweredReplayIsTriedAgainBounded) {
  Run("teardown");
  for (const auto& [answered_on, runs] : {std::pair{3, 3}, std::pair{0, 10}}) {
    daemon_.commands.clear();
    daemon_.slept = std::chrono::milliseconds(0);
    AnswerReplayOn(daemon_, answered_on);
    ::testing::internal::CaptureStderr();
    ReplayLastState(daemon_);
    const std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(daemon_.commands.size(), static_cast<size_t>(runs)) << log;
    EXPECT_EQ(daemon_.slept, std::chrono::seconds(runs - 1));
    EXPECT_NE(log.find("Error: replay of the last request got no reply (try 1 of 10, status 0)\n"),
              std::string::npos)
        << log;
  }
}

// An answer counted only after wavectl exited (the reply raced its count) or
// a client's newer request answered during the pause ends the replay: a
// second try would override that request.
TEST_F(CreateTest, AnswerDuringThePauseEndsTheReplay) {
  Run("teardown");
  AnswerReplayOn(daemon_, 0);
  daemon_.hooks.sleep = [this](std::chrono::milliseconds) {
    daemon_.recorded_replies.fetch_add(1);
  };
  ReplayLastState(daemon_);
  EXPECT_EQ(daemon_.commands.size(), 1u);
}

// A client's create, test or teardown answered before the replay is not
// undone by it: the replay is not sent, and one already on its way (its
// wavectl started before the answer) is refused when it arrives.
TEST_F(CreateTest, ANewerAnsweredRequestOvertakesTheReplay) {
  Run(Words({"create", "old-net", "pass1234", "hbs", "nat"}));
  AnswerReplayOn(daemon_, 1);
  Run("teardown");
  ReplayLastState(daemon_);
  EXPECT_TRUE(daemon_.commands.empty());

  daemon_.recorded_replies.store(0);
  Run(Words({"create", "new-net", "pass1234", "hbs", "nat"}));
  daemon_.state.create_requested.store(0);
  daemon_.state.teardown_requested.store(0);
  for (const char* replayed : {"teardown", "create\told-net\tpass1234\thbs\tnat"}) {
    SCOPED_TRACE(replayed);
    const std::string reply = RunFromReplay(replayed);
    EXPECT_EQ(reply, "0\tSuperseded by a newer request");
    EXPECT_EQ(Laststate(), "create\tnew-net\tpass1234\thbs\tnat\n");
    EXPECT_EQ(daemon_.state.teardown_requested.load(), 0);
    EXPECT_EQ(daemon_.state.create_requested.load(), 0);
  }
  // Before any answer the replay is carried out like a client's request.
  daemon_.recorded_replies.store(0);
  EXPECT_EQ(RunFromReplay("teardown"), "1\tTearing down");
}

TEST_F(CreateTest, LaststateIsReplacedWholeWithNoTemporaryLeft) {
  Run(Words({"create", "first-network-name", "pass1234", "hbs", "nat"}));
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
