// Hostile requests through the real daemon: each gets the daemon's reply or
// refusal for it, the laststate file holds exactly what was received, and
// nothing of a request is ever run by a shell, neither at once nor when the
// last request is replayed at the next start.
#include <net/if.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/system/fixture.h"

namespace ww::bed {
namespace {

using namespace std::string_literals;

constexpr const char* kUnknown =
    "Unknown command / try 'enablencm' 'teardown' 'create' 'state' or 'status'";
constexpr const char* kNoChannels = "{\"country\":\"00\",\"error\":\"No channels in domain\"}\n";
constexpr const char* kUsage =
    "Usage: create <AP name | -> <password | -> <hbs|hbs6|scs> <nat|noroute> [preferred_channel] "
    "[--channel preferred_6_channel] [[--channel56 <0|preferred_5_channel> "
    "<0|preferred_6_channel>]] [--hidden] [--width <80|160>]";
constexpr const char* kTestUsage = "Usage: test <AP name> <password> <band> <channel>";
constexpr const char* kTestBad = "bad arguments\nUsage: test <AP name> <password> <band> <channel>";
constexpr const char* kCreating = "1\tCreating";
constexpr const char* kLaststate = "/var/run/wavewarden.laststate";

// The canary: a program first on the daemon's PATH that logs its call, and
// files that only a shell redirection or `touch` would create.
constexpr const char* kCanary = "wwcanary";

std::string BedDir() {
  const char* dir = std::getenv("WW_BED_DIR");
  return dir != nullptr ? dir : "/run/.wwbed";
}

// The ways a word could reach a shell, each calling the canary or making a
// file. `tag` tells the calls apart.
std::vector<std::string> Payloads(const std::string& tag) {
  const std::string c = std::string(kCanary) + " " + tag;
  const std::string file = BedDir() + "/pwned-" + tag;
  return {
      ";" + c,           "$(" + c + ")",    "`" + c + "`",
      "|" + c,           "&" + c,           ">" + file,
      "';" + c + ";'",   "\";" + c + ";\"", "$(touch " + file + ")",
      "\\';" + c + " #",
  };
}

std::string Join(const std::vector<std::string>& words) {
  std::string joined;
  for (size_t i = 0; i < words.size(); ++i) {
    joined += (i == 0 ? "" : "\t") + words[i];
  }
  return joined;
}

// The request text as far as its first NUL.
std::string UpToNul(const std::string& raw) {
  return raw.substr(0, raw.find('\0'));
}

struct Row {
  std::string what;
  std::string request;
  std::string reply;
  bool recorded = false;  // create, test and teardown replace the laststate file
};

class BadInputTest : public BedTest {
 protected:
  void SetUp() override {
    BedTest::SetUp();
    if (IsSkipped()) {
      return;
    }
    const std::string dir = BedDir() + "/canary";
    ASSERT_EQ(Shell("mkdir -p " + dir), 0);
    WriteFile(dir + "/" + kCanary,
              "#!/bin/sh\necho \"wwcanary $*\" >>\"${WW_BED_DIR:-/run/.wwbed}/calls.log\"\n");
    ASSERT_EQ(chmod((dir + "/" + kCanary).c_str(), 0755), 0);
    // The canary works: run it once, then forget the call.
    ASSERT_EQ(Shell(dir + "/" + kCanary + " selftest"), 0);
    ASSERT_NE(FakeCalls().find("wwcanary selftest\n"), std::string::npos);
    WriteFile(BedDir() + "/calls.log", "");
    const char* path = std::getenv("PATH");
    path_ = "PATH=" + dir + ":" + (path != nullptr ? path : "/usr/bin:/bin");
  }

  void TearDown() override {
    BedTest::TearDown();
    StopServices();
  }

  // Starts the daemon with the canary first on its PATH.
  void StartWithCanary() {
    if (if_nametoindex("wlan0") == 0) {
      CreateWlan0();
    }
    started_ = std::chrono::steady_clock::now();
    daemon_.Start({path_});
    ASSERT_TRUE(WaitForManagementSocket(Millis(5000))) << daemon_.err.Text();
    // A shell of the daemon would find the canary.
    const std::string environ = ReadFile("/proc/" + std::to_string(daemon_.Pid()) + "/environ");
    ASSERT_NE(environ.find(path_ + '\0'), std::string::npos);
  }

  // Sends every row and checks its reply and the laststate file. The file
  // is checked only until the boot thread may replay it, 20 seconds after
  // the start at the earliest in this bed.
  void RunRows(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
      const std::string before = ReadFile(kLaststate);
      EXPECT_EQ(Exchange(row.request), row.reply) << row.what;
      const std::string after = ReadFile(kLaststate);
      if (std::chrono::steady_clock::now() - started_ < Millis(19000)) {
        EXPECT_EQ(after, row.recorded ? UpToNul(row.request) + "\n" : before) << row.what;
      }
    }
  }

  // Nothing of any request ran: no canary call, no file, and no command the
  // daemon logged carries a payload (the replay's wavectl line quotes them).
  void ExpectNothingExecuted() {
    const std::string calls = FakeCalls();
    EXPECT_EQ(calls.find(kCanary), std::string::npos) << calls;
    for (const auto& entry : std::filesystem::directory_iterator(BedDir())) {
      EXPECT_EQ(entry.path().filename().string().find("pwned"), std::string::npos)
          << entry.path() << " was made by a shell";
    }
    std::istringstream log(daemon_.err.Text());
    for (std::string line; std::getline(log, line);) {
      if (line.rfind("# ", 0) == 0 && line.rfind("# wavectl ", 0) != 0) {
        EXPECT_EQ(line.find(kCanary), std::string::npos) << line;
        EXPECT_EQ(line.find("pwned"), std::string::npos) << line;
      }
    }
  }

  // The fake services the daemon launched outlive it; end them by pid.
  static void StopServices() {
    const std::string fakes = std::string(WW_FAKEBIN_DIR) + "/";
    std::error_code ec;
    for (std::filesystem::directory_iterator it("/proc", ec), end; !ec && it != end;
         it.increment(ec)) {
      const std::string name = it->path().filename().string();
      if (name.find_first_not_of("0123456789") != std::string::npos) {
        continue;
      }
      const std::string exe = std::filesystem::read_symlink(it->path() / "exe", ec).string();
      if (!ec && (exe == fakes + "hostapd" || exe == fakes + "dnsmasq")) {
        kill(std::stoi(name), SIGKILL);
      }
      ec.clear();
    }
  }

  std::string path_;
  std::chrono::steady_clock::time_point started_;
};

// Requests that change nothing, so their replies do not depend on order.
std::vector<Row> InertRows() {
  std::vector<Row> rows = {
      {"NUL ends a whole-request word", "status\0;wwcanary nul"s, "0\tIdle"},
      {"NUL ends get-channels", "get-channels\0$(wwcanary nul)"s, kNoChannels},
      {"NUL ends the fallback code's word", "set-fallback-country-code\tD\0E"s,
       "0\tInvalid Parameters"},
      {"NUL before the command", "\0status"s, kUnknown},
      {"newline after status", "status\n;wwcanary nl", kUnknown},
      {"TAB only", "\t", kUnknown},
      {"TABs only", std::string(40, '\t'), kUnknown},
      {"TAB before status", "\tstatus", kUnknown},
      {"non-UTF-8 alone", "\xff\xfe\xfd", kUnknown},
      {"non-UTF-8 after status", "status\xc0\x80", kUnknown},
      {"overlong UTF-8 form of a TAB", "status\xc0\x89x", kUnknown},
      {"16 words after status", "status" + std::string(16, '\t') + "x", kUnknown},
      {"a 300-character word", std::string(300, 's'), kUnknown},
      {"whole-request command with a word", "getcreds\t$(wwcanary gc)", kUnknown},
      {"state with a word", "state\t`wwcanary st`", kUnknown},
      {"get-channels with a word", "get-channels\t;wwcanary ch", kUnknown},
      {"enablencm ignores its words", "enablencm\t$(wwcanary ncm)\t;wwcanary ncm",
       "No UDC devices available."},
  };
  for (const std::string& p : Payloads("inert")) {
    rows.push_back({"bare payload " + p, p, kUnknown});
    rows.push_back({"status then " + p, "status" + p, kUnknown});
  }
  return rows;
}

std::vector<std::string> Create(std::vector<std::string> more) {
  std::vector<std::string> words{"create", "net", "secret12", "hbs", "nat"};
  words.insert(words.end(), more.begin(), more.end());
  return words;
}

// Refused create and test requests: recorded, refused, nothing requested.
std::vector<Row> RefusedRows() {
  std::vector<Row> rows = {
      {"create cut by a NUL", "create\tnet\0\tsecret12\thbs\tnat"s, kUsage, true},
      // An empty name is one hostapd refuses: refused before it is recorded.
      {"create of TABs only", "create\t\t\t\t", kUsage, false},
      // A newline ends the words but not what is recorded.
      {"create with a newline in the name", "create\tnet\n;wwcanary nl\tsecret12\thbs\tnat", kUsage,
       true},
      {"test with a newline in the band", "test\tn\tsecret12\t5\n$(wwcanary nl)\t36", kTestUsage,
       true},
      {"create with a non-UTF-8 mode",
       Join({"create", "net", "secret12",
             "h\xff"
             "bs",
             "nat"}),
       kUsage, true},
      {"create with a 200-character mode",
       Join({"create", "n", "secret12", "hbs" + std::string(197, 'x'), "nat"}), kUsage, true},
      // The width word is cut to 127 characters: "000...08" reads as 8.
      {"width cut to 127 characters", Join(Create({"--width", std::string(126, '0') + "80"})),
       kUsage, true},
      {"test of TABs only", "test\t\t\t\t", kTestUsage, false},
      {"test with 16 words", "test\tn\tsecret12\t5\t36" + std::string(11, '\t'), kTestUsage, true},
      {"test with 4 words", "test\tn\tsecret12\t5", kTestUsage, true},
  };
  // Numbers out of range in every numeric field. The sixth and last word
  // is a PSC channel (5 + 16k up to 229, or 4 lower); behind a leading space
  // a negative one is a number, not a flag, down to LONG_MIN.
  for (const char* n : {"0", "6", "233", "245", "-11", "-5", "4294967301", "99999999999999999999",
                        " -9223372036854775808", " 9223372036854775807"}) {
    rows.push_back({std::string("PSC channel ") + n, Join(Create({n})), kUsage, true});
  }
  // 4294967333 and -4294967291 are 37 and 5 in their low 32 bits.
  for (const char* n :
       {"0", "-1", "9", "233", "241", "-27", "4294967295", "4294967333", "-4294967291"}) {
    rows.push_back({std::string("--channel ") + n, Join(Create({"--channel", n})), kUsage, true});
    rows.push_back({std::string("--channel6 ") + n, Join(Create({"--channel6", n})), kUsage, true});
  }
  // 0 is no preference in --channel56, for either band.
  for (const char* n : {"-1", "9", "233", "241", "-27", "4294967295", "4294967333"}) {
    rows.push_back(
        {std::string("--channel56 0 ") + n, Join(Create({"--channel56", "0", n})), kUsage, true});
  }
  for (const char* n : {"44", "-36", "37", "172", "999", "4294967295", "4294967332"}) {
    rows.push_back({std::string("--channel5 ") + n, Join(Create({"--channel5", n})), kUsage, true});
    rows.push_back({std::string("--channel56 ") + n + " 0", Join(Create({"--channel56", n, "0"})),
                    kUsage, true});
  }
  for (const char* n : {"40", "-80", "0", "800", "161", "4294967376"}) {
    rows.push_back({std::string("--width ") + n, Join(Create({"--width", n})), kUsage, true});
  }
  for (const char* n : {"1", "0", "-5", "-2147483648", "junk"}) {
    rows.push_back(
        {std::string("test band ") + n, Join({"test", "n", "secret12", n, "36"}), kTestBad, true});
    rows.push_back({std::string("test channel ") + n, Join({"test", "n", "secret12", "5", n}),
                    kTestBad, true});
  }
  // Payloads in every field the grammar refuses them in.
  for (const std::string& p : Payloads("refused")) {
    rows.push_back({"short create " + p, Join({"create", p, p}), kUsage, true});
    rows.push_back({"mode " + p, Join({"create", "net", "secret12", p, "nat"}), kUsage, true});
    rows.push_back({"route " + p, Join({"create", "net", "secret12", "hbs", p}), kUsage, true});
    rows.push_back({"PSC channel " + p, Join(Create({p})), kUsage, true});
    rows.push_back({"flag " + p, Join(Create({"--hidden", p})), kUsage, true});
    rows.push_back({"--channel " + p, Join(Create({"--channel", p})), kUsage, true});
    rows.push_back({"--width " + p, Join(Create({"--width", p})), kUsage, true});
    rows.push_back({"test band " + p, Join({"test", "n", "secret12", p, "36"}), kTestBad, true});
    rows.push_back({"test channel " + p, Join({"test", "n", "secret12", "5", p}), kTestBad, true});
    rows.push_back({"short test " + p, Join({"test", p, p, p}), kTestUsage, true});
  }
  return rows;
}

// Accepted requests with payloads wherever the grammar lets text through.
std::vector<Row> AcceptedRows() {
  std::vector<Row> rows = {
      // A number is read up to its first other character.
      {"PSC channel with a tail", Join(Create({"5;wwcanary psc"})), kCreating, true},
      {"flag values with tails",
       Join(Create({"--channel", "37$(wwcanary c6)", "--channel5", "36`wwcanary c5`", "--width",
                    "80|wwcanary w", "--hidden"})),
       kCreating, true},
      // Words that read as no number at all mean no preference.
      {"--channel56 of payloads", Join(Create({"--channel56", "$(wwcanary a)", "`wwcanary b`"})),
       kCreating, true},
      {"--channel5 of a payload", Join(Create({"--channel5", "|wwcanary c"})), kCreating, true},
      // Words after the fifteenth are never looked at.
      {"16th word ignored",
       Join(Create({"--hidden", "--hidden", "--hidden", "--hidden", "--hidden", "--hidden",
                    "--hidden", "--hidden", "--hidden", "--hidden", "$(wwcanary 16th)"})),
       kCreating, true},
      {"test numbers with tails", Join({"test", "n", "secret12", "5;wwcanary b", "36|wwcanary ch"}),
       kCreating, true},
      {"create with a line after it", "create\tnet\tsecret12\thbs\tnat\n;wwcanary nl\t--hidden",
       kCreating, true},
      {"teardown with a line after it", "teardown\n`wwcanary nl`", "1\tTearing down", true},
      {"refresh with a payload", "refresh\t$(wwcanary r)\t;wwcanary r", "1\tRefreshing"},
      {"delayrefresh with a payload", "delayrefresh\t`wwcanary dr`", "1\tRefreshing"},
      {"teardown with payloads", "teardown\t$(wwcanary td)\t;wwcanary td", "1\tTearing down", true},
      // Not two letters: hostapd would refuse them as the country.
      {"fallback code of a payload", "set-fallback-country-code\t$(wwcanary cc)",
       "0\tInvalid Parameters"},
      {"fallback code of non-UTF-8", "set-fallback-country-code\t\xff\xfe",
       "0\tInvalid Parameters"},
  };
  for (const std::string& p : Payloads("accepted")) {
    // A name holds at most 32 bytes: longer payloads go in the passphrase only.
    const std::string name = p.size() <= 32 ? p : "net";
    rows.push_back({"name and passphrase " + p, Join({"create", name, p + "x", "scs", "noroute"}),
                    kCreating, true});
    rows.push_back(
        {"test name and passphrase " + p, Join({"test", name, p, "5", "36"}), kCreating, true});
    rows.push_back(
        {"fallback code " + p, "set-fallback-country-code\t" + p, "0\tInvalid Parameters"});
  }
  return rows;
}

TEST_F(BadInputTest, HostileRequestsGetTheirRepliesAndNothingRunsThem) {
  StartWithCanary();
  ASSERT_TRUE(WaitForStatus("0\tIdle"));
  RunRows(InertRows());
  RunRows(RefusedRows());
  // The width word was cut to 127 characters before it was read.
  EXPECT_EQ(daemon_.err.Count("Bad channel width (parsed as 8)\n"), 1);
  RunRows(AcceptedRows());
  // No payload became the fallback country.
  EXPECT_EQ(daemon_.err.Count("set-fallback-country-code: "), 0);
  // A name and passphrase full of payloads end up on the air as they were
  // sent, non-UTF-8 included: a 32-byte name and a 63-byte passphrase.
  const std::string name = "$(wwcanary n)`wwcanary n`|&>'\"\\\xff";
  const std::string pass = "';wwcanary p;'\";wwcanary p;\"" + std::string(35, 'p');
  ASSERT_EQ(name.size(), 32u);
  ASSERT_EQ(pass.size(), 63u);
  ASSERT_EQ(Exchange(Join({"create", name, pass, "scs", "nat"})), kCreating);
  EXPECT_TRUE(WaitForStatus("2\tSoftAP Running\t" + name + "\t" + pass, Millis(15000)))
      << daemon_.err.Text();
  ExpectNothingExecuted();
}

TEST_F(BadInputTest, HostileLastRequestIsReplayedWordForWordWithoutAShell) {
  StartWithCanary();
  // Every payload as a word of its own, with a newline and a further line
  // behind it that the replay must leave alone.
  std::vector<std::string> words{"create"};
  for (const std::string& p : Payloads("replay")) {
    words.push_back(p);
  }
  words.push_back("\xff\xfe non-UTF-8 * ~ {a,b} $HOME !! #");
  words.push_back("");
  words.push_back(std::string(140, 'w'));
  words.push_back("  spaced  out  ");
  const std::string line = Join(words);
  ASSERT_LT(line.size(), 1000u);
  const std::string tail = "\n$(wwcanary tail)\t`wwcanary tail`";
  EXPECT_EQ(Exchange(line + tail), kUsage);
  EXPECT_EQ(ReadFile(kLaststate), line + tail + "\n");

  daemon_.Stop();
  StartWithCanary();
  // The boot thread replays once it has given up on the kernel's country,
  // about 20 seconds in this bed. wavectl sends the words back with its NUL
  // and the replayed create records them again: the first line, unchanged.
  const std::string replayed = "Read: " + std::to_string(line.size() + 1) + " [" + line + "]\n";
  ASSERT_TRUE(daemon_.err.WaitFor(replayed, Millis(30000))) << daemon_.err.Text();
  // The shell's line is logged once wavectl has its reply, so after the
  // request was recorded.
  ASSERT_TRUE(daemon_.err.WaitFor("# wavectl ", Millis(5000)));
  EXPECT_EQ(ReadFile(kLaststate), line + "\n");
  std::istringstream log(daemon_.err.Text());
  int replays = 0;
  for (std::string l; std::getline(log, l);) {
    if (l.rfind("# wavectl ", 0) == 0) {
      ++replays;
      EXPECT_EQ(l.substr(l.size() - 4), " = 0") << l;
    }
  }
  EXPECT_EQ(replays, 1);
  EXPECT_EQ(daemon_.err.Count(replayed), 1);
  ExpectNothingExecuted();
}

}  // namespace
}  // namespace ww::bed
