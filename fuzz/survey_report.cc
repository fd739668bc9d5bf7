// The channel survey dump, written out as the test-scan command does.
#include <cstdint>
#include <cstdio>

#include "daemon/netlink/survey_report.h"
#include "fuzz/fuzz_kernel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static FILE* const sink = std::fopen("/dev/null", "we");
  ww::RawChannel channel;
  ww::fuzzing::FuzzKernel kernel(channel, ww::fuzzing::SplitAnswers(data, size));
  ww::ReportChannelSurvey(channel, 5, sink);
  return 0;
}
