#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/ctl/request.h"

namespace ww {
namespace {

std::string Build(std::vector<const char*> args, size_t size = kCtlRequestSize) {
  std::string buffer(size, '\xff');
  const size_t n = BuildRequest(static_cast<int>(args.size()), args.data(), buffer.data(), size);
  return buffer.substr(0, n);
}

TEST(CtlRequest, SingleWordEndsWithItsNul) {
  EXPECT_EQ(Build({"status"}), std::string("status\0", 7));
}

TEST(CtlRequest, WordsAreJoinedByTabs) {
  EXPECT_EQ(Build({"create", "My AP", "-", "hbs", "nat"}),
            std::string("create\tMy AP\t-\thbs\tnat\0", 23));
}

TEST(CtlRequest, EmptyArgumentsGiveEmptyWords) {
  EXPECT_EQ(Build({"create", "", "x"}), std::string("create\t\tx\0", 10));
  EXPECT_EQ(Build({"refresh", ""}), std::string("refresh\t\0", 9));
}

TEST(CtlRequest, RequestIsCutAtTheBufferEnd) {
  const std::string big(10000, 'a');
  const std::string req = Build({"create", big.c_str()});
  ASSERT_EQ(req.size(), kCtlRequestSize);
  EXPECT_EQ(req.substr(0, 7), "create\t");
  EXPECT_EQ(req.back(), 'a');

  // A separator that no longer fits is dropped, never written past the end.
  EXPECT_EQ(Build({"abcd", "x"}, 4), "abcd");
  EXPECT_EQ(Build({"abc", "x"}, 4), "abc\t");
}

}  // namespace
}  // namespace ww
