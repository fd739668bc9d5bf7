// One management request as a command thread receives it, then the reports
// that echo what it stored, then the boot-time replay of what it recorded.
// The replay must hand wavectl exactly the words that were recorded: a word
// the shell would read differently is an injection.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "daemon/core/dispatch.h"
#include "daemon/core/last_state.h"
#include "daemon/core/state_json.h"
#include "fuzz/fuzz_daemon.h"

namespace {

class Sink : public ww::ReplySink {
 public:
  void Send(const char* data, size_t length) override { reply.assign(data, length); }
  std::string reply;
};

// The words sh reads from a command made of single-quoted runs, quotes
// escaped with a backslash and spaces; false when anything else stands
// outside the quotes after the first word.
bool ShellWords(const std::string& command, std::vector<std::string>& words) {
  std::string word;
  bool in_word = false;
  for (size_t i = 0; i < command.size(); ++i) {
    const char c = command[i];
    if (c == ' ') {
      if (in_word) {
        words.push_back(word);
        word.clear();
      }
      in_word = false;
    } else if (c == '\'') {
      const size_t end = command.find('\'', i + 1);
      if (end == std::string::npos) {
        return false;
      }
      word.append(command, i + 1, end - i - 1);
      i = end;
      in_word = true;
    } else if (c == '\\' && i + 1 < command.size() && command[i + 1] == '\'') {
      word += '\'';
      ++i;
      in_word = true;
    } else if (!words.empty()) {
      return false;
    } else {
      word += c;
      in_word = true;
    }
  }
  if (in_word) {
    words.push_back(word);
  }
  return true;
}

// What the laststate file's first line says: the request up to its NUL or
// newline, as far as the replay reads it, split at TABs.
std::vector<std::string> RecordedWords(const char* raw) {
  std::string line(raw, std::min(std::strcspn(raw, "\n"), static_cast<size_t>(1022)));
  std::vector<std::string> words = {"wavectl"};
  size_t start = 0;
  for (;;) {
    const size_t tab = line.find('\t', start);
    words.push_back(line.substr(start, tab - start));
    if (tab == std::string::npos) {
      return words;
    }
    start = tab + 1;
  }
}

void Run(ww::CommandEnv& env, const char* text, Sink& sink) {
  ww::ExecuteRequest(env, text, std::strlen(text), sink);
}

}  // namespace

// The recorded request goes to a scratch file that the next input throws
// away: flushing it to the disk would only make every create wait.
extern "C" int fsync(int /*fd*/) {
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const size_t length = std::min(size, static_cast<size_t>(ww::kRequestMax));
  // Exactly the bytes read and the NUL after them, so that reading past
  // them is caught.
  std::vector<char> raw(data, data + length);
  raw.push_back('\0');

  ww::fuzzing::FuzzDaemon daemon;
  // A code the kernel reported outranks the fallback command, which then
  // stops before it would set the kernel's domain and wait for a read-back.
  daemon.country.resolution_priority.store(ww::kPriorityKernel);
  ww::WifiQueryContext query{};
  ww::CommandEnv env{daemon, query};
  Sink sink;
  ww::ExecuteRequest(env, raw.data(), length, sink);

  Run(env, "state", sink);
  if (sink.reply.size() > ww::kStateReportMax || !nlohmann::json::accept(sink.reply)) {
    std::abort();
  }
  Run(env, "status", sink);
  Run(env, "getcreds", sink);

  const std::vector<std::string>& commands = ww::fuzzing::FuzzDaemon::Commands();
  const size_t before = commands.size();
  ww::ReplayLastState(daemon);
  if (commands.size() > before) {
    std::vector<std::string> words;
    if (!ShellWords(commands.back(), words) || words != RecordedWords(raw.data())) {
      std::abort();
    }
  }
  return 0;
}
