// A daemon for fuzz targets that never reaches the machine: a fresh state
// for every input, with the paths and the recording shell of the unit
// tests' TestDaemon. One TestDaemon serves the whole run, so that its
// scratch folder is made once; it is emptied before each input, as files
// left by one input would change what the next one does.
#pragma once

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "daemon/core/daemon.h"
#include "tests/unit/test_daemon.h"

namespace ww::fuzzing {

class FuzzDaemon : public Daemon {
 public:
  FuzzDaemon() {
    testing::TestDaemon& recorder = Recorder();
    paths = recorder.paths;
    hooks = recorder.hooks;
    EmptyFolder(recorder.scratch.Dir());
    // The name a create with "-" falls back to.
    (void)recorder.scratch.Write("hostname", "fuzzhost\n");
  }

  // The records go with the input, so that the fuzzer sees no memory kept
  // from one input to the next (it would look for a leak after each).
  ~FuzzDaemon() {
    testing::TestDaemon& recorder = Recorder();
    recorder.commands.clear();
    recorder.spawned.clear();
    recorder.signals.clear();
    recorder.queried.clear();
  }
  FuzzDaemon(const FuzzDaemon&) = delete;
  FuzzDaemon& operator=(const FuzzDaemon&) = delete;

  // What the shell was asked to run for this input.
  static const std::vector<std::string>& Commands() { return Recorder().commands; }

 private:
  static testing::TestDaemon& Recorder() {
    static testing::TestDaemon recorder;
    static const bool ready = [] {
      // The station is connected upstream; the access point is not up.
      recorder.interfaces["wlan0"] = WifiInfo{.frequency = 5180,
                                              .channel = 36,
                                              .ssid = "upstream",
                                              .connected = 1,
                                              .is_ap = 0,
                                              .width = 80,
                                              .band = 5};
      return true;
    }();
    (void)ready;
    return recorder;
  }

  // Removes the files of `dir`; folders (the process table) stay.
  static void EmptyFolder(const std::string& dir) {
    DIR* d = ::opendir(dir.c_str());
    if (d == nullptr) {
      return;
    }
    while (const dirent* entry = ::readdir(d)) {
      if (entry->d_type != DT_DIR) {
        (void)::unlink((dir + "/" + entry->d_name).c_str());
      }
    }
    ::closedir(d);
  }
};

}  // namespace ww::fuzzing
