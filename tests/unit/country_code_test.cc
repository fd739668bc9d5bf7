// Adopting a country code and the boot-time resolution, against a fake
// kernel: what is asked of the kernel, what is logged, cached and requested.
#include "daemon/regulatory/country_code.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <dirent.h>
#include <string>
#include <vector>

#include "daemon/core/daemon.h"
#include "tests/unit/fake_kernel.h"
#include "tests/unit/temp_dir.h"
#include "tests/unit/test_daemon.h"

namespace ww {
namespace {

using testing::Block;
using testing::BlockBuilder;

using testing::kFamily;
constexpr uint16_t kAttrWiphy = 1;
constexpr uint16_t kAttrAlpha2 = 33;

// The kernel's answer to a domain query: one phy domain with `code`.
Block PhyDomain(const char* code) {
  BlockBuilder b;
  b.Message(kFamily, 0, 31).AttrString(kAttrAlpha2, code).AttrU32(kAttrWiphy, 0).Done();
  return b.Build();
}

Block Ack() {
  return BlockBuilder().Ack().Build();
}

std::vector<std::string> FilesIn(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (const dirent* e = readdir(d)) {
      if (e->d_name[0] != '.') {
        names.emplace_back(e->d_name);
      }
    }
    closedir(d);
  }
  return names;
}

class CountryCodeTest : public testing::KernelTest<testing::TestDaemon> {
 protected:
  void SetUp() override {
    KernelTest::SetUp();
    cache_path_ = scratch_.Path("softap_cache_domain");
    daemon_.paths.cache_domain = cache_path_.c_str();
  }

  std::string Adopted() {
    char code[2];
    daemon_.country.useCountryCode.Load(code);
    return {code, 2};
  }
  void Apply(const char* code, int priority) {
    ::testing::internal::CaptureStderr();
    ApplyCountryCode(daemon_, code, priority);
    log_ = ::testing::internal::GetCapturedStderr();
  }
  // The answers to one adoption: the set request, then the read-back.
  static std::vector<std::vector<Block>> Adoption(const char* read_back) {
    return {{Ack()}, {PhyDomain(read_back)}};
  }
  void Boot() {
    const BootSteps steps{
        .sleep = [this](std::chrono::milliseconds pause) { pauses_.push_back(pause); },
        .survey = [this] { ++surveys_; },
        .replay = [this] { ++replays_; },
    };
    ::testing::internal::CaptureStderr();
    ResolveCountryAtBoot(daemon_, steps);
    log_ = ::testing::internal::GetCapturedStderr();
  }
  static std::string Attempts(const char* code, int from, int to) {
    std::string lines;
    for (int remain = from; remain >= to; --remain) {
      lines += std::string("Called reg get; domain: ") + code +
               " (max remain = " + std::to_string(remain) + ")\n";
    }
    return lines;
  }
  // Boot answers: `codes` for the attempts, then what an adoption needs.
  void KernelAnswers(const std::vector<const char*>& codes, const char* adopted = nullptr) {
    std::vector<std::vector<Block>> answers;
    for (const char* code : codes) {
      answers.push_back({PhyDomain(code)});
    }
    if (adopted != nullptr) {
      for (auto& a : Adoption(adopted)) {
        answers.push_back(a);
      }
    }
    kernel_.Answer(answers);
  }

  testing::TempDir scratch_;
  std::string cache_path_;
  std::string log_;
  std::vector<std::chrono::milliseconds> pauses_;
  int surveys_ = 0;
  int replays_ = 0;
};

TEST_F(CountryCodeTest, SetRequestIsTwentyEightBytesWithTheCodeAndANul) {
  kernel_.Answer({{Ack()}});
  SetRegulatoryDomain(daemon_.nl80211, "DE");
  const Block expected = {28, 0, 0,  0, kFamily, 0, 0x05, 0, 2,  0, 0,   0,   0, 0,
                          0,  0, 27, 0, 0,       0, 7,    0, 33, 0, 'D', 'E', 0, 0};
  ASSERT_EQ(kernel_.Requests().size(), 1u);
  EXPECT_EQ(kernel_.Requests()[0], expected);
}

TEST_F(CountryCodeTest, AdoptionSetsVerifiesCachesAndRequestsARefresh) {
  kernel_.Answer(Adoption("DE"));
  Apply("DE", kPriorityKernel);
  EXPECT_EQ(log_,
            "Caching domain DE\n"
            "Domain resolved to DE. Resetting teardown for setup\n");
  EXPECT_EQ(Adopted(), "DE");
  EXPECT_EQ(testing::TempDir::Read(cache_path_), "DE");
  EXPECT_EQ(FilesIn(scratch_.Dir()), std::vector<std::string>{"softap_cache_domain"});
  struct stat st {};
  ASSERT_EQ(stat(cache_path_.c_str(), &st), 0);
  const mode_t mask = umask(0);  // read without changing it
  umask(mask);
  EXPECT_EQ(st.st_mode & 0777, 0666u & ~mask);  // a new file, as fopen makes it
  EXPECT_EQ(daemon_.state.refresh_teardown_flag_value.load(), kRefreshNow);
  EXPECT_EQ(daemon_.state.state, kStateNoAp);  // the state code is not touched
  EXPECT_EQ(daemon_.state.wake_semaphore.Value(), 1);
  ASSERT_EQ(kernel_.Requests().size(), 2u);
  EXPECT_EQ(kernel_.Requests()[1][16], 31);  // the read-back
}

TEST_F(CountryCodeTest, AdoptionReplacesAnEarlierCacheWhole) {
  scratch_.Write("softap_cache_domain", "FRANCE");
  kernel_.Answer(Adoption("DE"));
  Apply("DE", kPriorityKernel);
  EXPECT_EQ(testing::TempDir::Read(cache_path_), "DE");
}

TEST_F(CountryCodeTest, TheCodeAlreadyAdoptedOnlyStoresThePriority) {
  daemon_.country.useCountryCode.Store('D', 'E');
  Apply("DE", kPriorityCache);
  EXPECT_EQ(daemon_.country.resolution_priority.load(), kPriorityCache);
  EXPECT_TRUE(kernel_.Requests().empty());
  EXPECT_EQ(log_, "");
  EXPECT_TRUE(FilesIn(scratch_.Dir()).empty());
  EXPECT_EQ(daemon_.state.refresh_teardown_flag_value.load(), 0);
}

TEST_F(CountryCodeTest, AFailedReadBackKeepsTheCodeButCachesNothing) {
  kernel_.Answer(Adoption("US"));
  Apply("DE", kPriorityFallback);
  EXPECT_EQ(log_, "Error: SetReg failed. Set:DE  Get:US\n");
  EXPECT_EQ(Adopted(), "DE");
  EXPECT_TRUE(FilesIn(scratch_.Dir()).empty());
  EXPECT_EQ(daemon_.state.refresh_teardown_flag_value.load(), 0);
  EXPECT_EQ(daemon_.state.wake_semaphore.Value(), 0);
}

TEST_F(CountryCodeTest, NothingReadBackIsAFailureToo) {
  kernel_.Answer({{Ack()}, {BlockBuilder().Done().Build()}});
  Apply("DE", kPriorityFallback);
  EXPECT_EQ(log_, std::string("Error: SetReg failed. Set:DE  Get:\0\0\n", 37));
}

TEST_F(CountryCodeTest, AnUnwritableCacheFolderIsReportedAndTheAdoptionStands) {
  const std::string missing = scratch_.Path("no/such/folder/softap_cache_domain");
  daemon_.paths.cache_domain = missing.c_str();
  kernel_.Answer(Adoption("DE"));
  Apply("DE", kPriorityKernel);
  EXPECT_EQ(log_, "Error: could not save " + missing +
                      ": No such file or directory\n"
                      "Domain resolved to DE. Resetting teardown for setup\n");
  EXPECT_EQ(daemon_.state.refresh_teardown_flag_value.load(), kRefreshNow);
}

TEST_F(CountryCodeTest, KernelReportReplacesAnEarlierFallback) {
  kernel_.Answer(Adoption("FR"));
  Apply("FR", kPriorityFallback);
  kernel_.Answer(Adoption("DE"));
  Apply("DE", kPriorityKernel);
  EXPECT_EQ(Adopted(), "DE");
  EXPECT_EQ(daemon_.country.resolution_priority.load(), kPriorityKernel);
}

TEST_F(CountryCodeTest, ASecondFallbackOfTheSamePriorityReplacesTheFirst) {
  kernel_.Answer(Adoption("FR"));
  Apply("FR", kPriorityFallback);
  kernel_.Answer(Adoption("DE"));
  Apply("DE", kPriorityFallback);
  EXPECT_EQ(Adopted(), "DE");
  EXPECT_EQ(testing::TempDir::Read(cache_path_), "DE");
}

TEST_F(CountryCodeTest, FallbackAfterTheKernelReportChangesNothing) {
  kernel_.Answer(Adoption("DE"));
  Apply("DE", kPriorityKernel);
  const size_t requests = kernel_.Requests().size();
  Apply("FR", kPriorityFallback);
  EXPECT_EQ(log_, "");
  EXPECT_EQ(Adopted(), "DE");
  EXPECT_EQ(kernel_.Requests().size(), requests);
  EXPECT_EQ(daemon_.country.resolution_priority.load(), kPriorityKernel);
}

TEST_F(CountryCodeTest, BootAdoptsTheKernelsFirstAnswer) {
  KernelAnswers({"DE"}, "DE");
  Boot();
  EXPECT_EQ(log_, Attempts("DE", 19, 19) +
                      "System reports regulatory domain of DE\n"
                      "Caching domain DE\n"
                      "Domain resolved to DE. Resetting teardown for setup\n");
  EXPECT_EQ(pauses_, std::vector<std::chrono::milliseconds>{std::chrono::seconds(1)});
  EXPECT_EQ(surveys_, 1);
  EXPECT_EQ(replays_, 1);
  EXPECT_EQ(daemon_.country.resolution_priority.load(), kPriorityKernel);
}

TEST_F(CountryCodeTest, BootBelievesUsOnlyFromTheEighthAttempt) {
  KernelAnswers(std::vector<const char*>(8, "US"), "US");
  Boot();
  EXPECT_EQ(log_, Attempts("US", 19, 12) +
                      "System reports regulatory domain of US\n"
                      "Caching domain US\n"
                      "Domain resolved to US. Resetting teardown for setup\n");
  EXPECT_EQ(pauses_.size(), 8u);
  EXPECT_EQ(Adopted(), "US");
  EXPECT_EQ(replays_, 1);
}

TEST_F(CountryCodeTest, BootTakesAnotherCodeAfterEarlyUs) {
  KernelAnswers({"US", "US", "US", "CA"}, "CA");
  Boot();
  EXPECT_EQ(log_, Attempts("US", 19, 17) + Attempts("CA", 16, 16) +
                      "System reports regulatory domain of CA\n"
                      "Caching domain CA\n"
                      "Domain resolved to CA. Resetting teardown for setup\n");
  EXPECT_EQ(Adopted(), "CA");
}

TEST_F(CountryCodeTest, BootWithoutAnswerOrFallbackOrCacheGivesUp) {
  KernelAnswers(std::vector<const char*>(20, "00"));
  Boot();
  EXPECT_EQ(log_, Attempts("00", 19, 0) +
                      "No remaining domain resolution systems available, giving up and not "
                      "setting domain.\n");
  EXPECT_EQ(pauses_.size(), 20u);
  EXPECT_EQ(kernel_.Requests().size(), 20u);
  EXPECT_EQ(surveys_, 0);
  EXPECT_EQ(replays_, 1);
  EXPECT_EQ(Adopted(), "00");
}

TEST_F(CountryCodeTest, BootWithoutAnswerUsesTheFallbackFirst) {
  daemon_.country.fallback_country_code.Store('F', 'R');
  scratch_.Write("softap_cache_domain", "GB");
  KernelAnswers(std::vector<const char*>(20, "00"), "FR");
  Boot();
  EXPECT_EQ(log_, Attempts("00", 19, 0) +
                      "Caching domain FR\n"
                      "Domain resolved to FR. Resetting teardown for setup\n");
  EXPECT_EQ(daemon_.country.resolution_priority.load(), kPriorityFallback);
  EXPECT_EQ(replays_, 1);
}

TEST_F(CountryCodeTest, BootWithoutAnswerFallsBackToTheCache) {
  scratch_.Write("softap_cache_domain", "GB");
  KernelAnswers(std::vector<const char*>(20, "00"), "GB");
  Boot();
  EXPECT_EQ(log_, Attempts("00", 19, 0) +
                      "Using /etc/softap_cache_domain cache: GB\n"
                      "Caching domain GB\n"
                      "Domain resolved to GB. Resetting teardown for setup\n");
  EXPECT_EQ(daemon_.country.resolution_priority.load(), kPriorityCache);
}

TEST_F(CountryCodeTest, BootWithAOneByteCacheGivesUp) {
  scratch_.Write("softap_cache_domain", "G");
  KernelAnswers(std::vector<const char*>(20, "00"));
  Boot();
  EXPECT_EQ(log_, Attempts("00", 19, 0) +
                      "Could not read reg domain from cache file, giving up and not setting "
                      "domain.\n");
  EXPECT_EQ(replays_, 1);
  EXPECT_EQ(Adopted(), "00");
}

TEST_F(CountryCodeTest, BootTreatsAPhyDomainWithoutCodeAsNoAnswer) {
  std::vector<std::vector<Block>> answers;
  for (int i = 0; i < 20; ++i) {
    BlockBuilder b;
    b.Message(kFamily, 0, 31).AttrU32(kAttrWiphy, 0).Done();
    answers.push_back({b.Build()});
  }
  kernel_.Answer(answers);
  Boot();
  EXPECT_EQ(pauses_.size(), 20u);
  EXPECT_NE(log_.find("No remaining domain resolution systems available"), std::string::npos);
}

}  // namespace
}  // namespace ww
