// Runs management requests as a command thread would, without sockets, on
// a daemon that never reaches the machine.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "common/wifiquery/wifi_query.h"
#include "daemon/core/dispatch.h"
#include "tests/unit/fake_kernel.h"
#include "tests/unit/test_daemon.h"

namespace ww::testing {

class RecordingSink : public ReplySink {
 public:
  void Send(const char* data, size_t length) override {
    ++sends;
    reply.append(data, length);
  }
  int sends = 0;
  std::string reply;
};

class RequestTest : public KernelTest<TestDaemon> {
 protected:
  // Runs one request and returns its reply; log_ holds what it wrote on
  // standard error.
  std::string Run(const std::string& bytes) { return Run(bytes, false); }
  // As the boot replay's wavectl sends it.
  std::string RunFromReplay(const std::string& bytes) { return Run(bytes, true); }
  std::string Run(const std::string& bytes, bool from_replay) {
    char raw[kRequestMax + 1];
    const size_t n = std::min(bytes.size(), static_cast<size_t>(kRequestMax));
    std::memcpy(raw, bytes.data(), n);
    raw[n] = '\0';
    sink_ = RecordingSink();
    CommandEnv env{daemon_, query_};
    env.from_replay = from_replay;
    ::testing::internal::CaptureStderr();
    ExecuteRequest(env, raw, n, sink_);
    log_ = ::testing::internal::GetCapturedStderr();
    return sink_.reply;
  }
  void SetText(const char* text, int32_t state) {
    std::snprintf(daemon_.state.text, sizeof daemon_.state.text, "%s", text);
    daemon_.state.state = state;
  }

  WifiQueryContext query_{};
  RecordingSink sink_;
  std::string log_;
};

}  // namespace ww::testing
