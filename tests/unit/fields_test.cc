#include "common/util/fields.h"

#include "tests/unit/temp_dir.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace ww {
namespace {

class SplitFieldsTest : public ::testing::Test {
 protected:
  void SetUp() override { std::memset(fields_, 0, sizeof fields_); }
  int Split(const char* text, int max_fields = 16) {
    int count = -1;
    SplitFields(text, count, fields_, max_fields);
    return count;
  }
  Field fields_[16];
};

TEST_F(SplitFieldsTest, SplitsAtTabsAndStopsAtNewlineOrNul) {
  EXPECT_EQ(Split("create\tname\t-\thbs\tnat\nignored\tmore"), 5);
  EXPECT_STREQ(fields_[0], "create");
  EXPECT_STREQ(fields_[1], "name");
  EXPECT_STREQ(fields_[4], "nat");
  EXPECT_STREQ(fields_[5], "");
}

TEST_F(SplitFieldsTest, EmptyTextCountsOneField) {
  EXPECT_EQ(Split(""), 1);
  EXPECT_STREQ(fields_[0], "");
  EXPECT_EQ(Split("\n"), 1);
}

TEST_F(SplitFieldsTest, SpacesStayInsideAWord) {
  EXPECT_EQ(Split("my net\tpass word"), 2);
  EXPECT_STREQ(fields_[0], "my net");
  EXPECT_STREQ(fields_[1], "pass word");
}

TEST_F(SplitFieldsTest, CutsWordsAt127Characters) {
  const std::string long_word(300, 'x');
  const std::string text = long_word + "\tnext";
  EXPECT_EQ(Split(text.c_str()), 2);
  EXPECT_EQ(std::strlen(fields_[0]), 127u);
  EXPECT_STREQ(fields_[1], "next");
}

TEST_F(SplitFieldsTest, CountsFieldsBeyondTheCapButStoresNothingThere) {
  std::string text;
  for (int i = 0; i < 20; ++i) {
    text += (i ? "\t" : "") + std::string("w") + std::to_string(i);
  }
  EXPECT_EQ(Split(text.c_str()), 20);
  EXPECT_STREQ(fields_[15], "w15");

  std::memset(fields_, 0, sizeof fields_);
  EXPECT_EQ(Split("a\tb\tc\td", 2), 4);
  EXPECT_STREQ(fields_[1], "b");
  EXPECT_STREQ(fields_[2], "");
}

TEST_F(SplitFieldsTest, NeverWritesPastTheBuffersGiven) {
  // A cap above the number of buffers must not write beyond them.
  Field two[2] = {};
  int count = 0;
  SplitFields("a\tb\tc", count, two, 16);
  EXPECT_EQ(count, 3);
  EXPECT_STREQ(two[1], "b");
}

TEST_F(SplitFieldsTest, LeavesFieldsWithoutCharactersAsTheCallerLeftThem) {
  std::strcpy(fields_[1], "old");
  std::strcpy(fields_[3], "stale");
  EXPECT_EQ(Split("a\t\tc\t"), 4);
  EXPECT_STREQ(fields_[1], "old");
  EXPECT_STREQ(fields_[2], "c");
  EXPECT_STREQ(fields_[3], "stale");
}

class ReadSmallFileTest : public ::testing::Test {
 protected:
  std::string Write(const char* name, const std::string& contents) {
    return tmp_.Write(name, contents);
  }
  testing::TempDir tmp_;
};

TEST_F(ReadSmallFileTest, MissingFileGivesEmptyTextAndZero) {
  char buf[16];
  std::memset(buf, 'x', sizeof buf);
  EXPECT_EQ(ReadSmallFile(tmp_.Path("absent").c_str(), buf, sizeof buf), 0);
  EXPECT_STREQ(buf, "");
}

TEST_F(ReadSmallFileTest, ReadsAtMostSizeMinusOneBytes) {
  const std::string path = Write("pid", "1234567890");
  char buf[5];
  EXPECT_EQ(ReadSmallFile(path.c_str(), buf, sizeof buf), 4);
  EXPECT_STREQ(buf, "1234");
}

TEST_F(ReadSmallFileTest, EmptyFileReadsZero) {
  const std::string path = Write("empty", "");
  char buf[8] = "junk";
  EXPECT_EQ(ReadSmallFile(path.c_str(), buf, sizeof buf), 0);
  EXPECT_STREQ(buf, "");
}

TEST_F(ReadSmallFileTest, ReadErrorIsNegativeAndLeavesTheBuffer) {
  char buf[8] = "keep";
  // Reading a directory fails with EISDIR after a successful open.
  EXPECT_LT(ReadSmallFile(tmp_.Dir().c_str(), buf, sizeof buf), 0);
  EXPECT_STREQ(buf, "keep");
}

}  // namespace
}  // namespace ww
