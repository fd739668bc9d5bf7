// System tests run inside the hermetic bed. Started from outside, the binary
// re-runs itself through the bed script, so every test process gets fresh
// namespaces of its own.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "tests/system/bed.h"

int main(int argc, char** argv) {
  bool listing = false;
  for (int i = 1; i < argc; ++i) {
    listing = listing || std::strcmp(argv[i], "--gtest_list_tests") == 0;
  }
  if (!listing && !ww::bed::InBed() && geteuid() == 0) {
    char self[PATH_MAX];
    const ssize_t len = readlink("/proc/self/exe", self, sizeof self - 1);
    if (len > 0) {
      self[len] = '\0';
      std::vector<char*> args{const_cast<char*>(WW_BED_SCRIPT), const_cast<char*>(WW_FAKEBIN_DIR),
                              const_cast<char*>(WW_PROGRAM_DIR), self};
      for (int i = 1; i < argc; ++i) {
        args.push_back(argv[i]);
      }
      args.push_back(nullptr);
      execv(WW_BED_SCRIPT, args.data());
      perror("execv test bed");
      return 1;
    }
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
