// Stand-in for the device's hostapd in the radio VM, built under the name
// "hostapd". Debian's hostapd 2.10 refuses keys that the device's newer
// hostapd accepts, the simulated radio lacks one HT capability, and 2.10 wants
// hw_mode=a on 6 GHz. So this runs the real hostapd on a copy without exactly
// those, leaving the daemon's own file untouched. It is compiled (not a
// script) so that /proc/PID/exe ends in "/hostapd" from the first instant, and
// exec keeps the pid.
//   hostapd [OPTIONS...] CONFIG
#include <unistd.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr const char* kRealHostapd = "/usr/sbin/hostapd";
constexpr const char* kAdapted = "/run/ww-radio/hostapd-adapted.conf";

constexpr std::array<std::string_view, 8> kDroppedKeys = {"ieee80211be",
                                                          "eht_su_beamformer",
                                                          "eht_su_beamformee",
                                                          "eht_mu_beamformer",
                                                          "eht_oper_centr_freq_seg0_idx",
                                                          "he_6ghz_reg_pwr_type",
                                                          "reg_def_cli_eirp_psd",
                                                          "reg_def_cli_eirp"};
constexpr std::string_view kDroppedFlag = "[MAX-AMSDU-7935]";

bool Dropped(const std::string& line) {
  const size_t equals = line.find('=');
  if (equals == std::string::npos) {
    return false;
  }
  const std::string_view key(line.data(), equals);
  for (const auto dropped : kDroppedKeys) {
    if (key == dropped) {
      return true;
    }
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: hostapd [OPTIONS...] CONFIG\n");
    return 2;
  }
  std::ifstream in(argv[argc - 1]);
  std::ofstream out(kAdapted, std::ios::trunc);
  if (!in || !out) {
    std::fprintf(stderr, "hostapd adapter: cannot read %s or write %s\n", argv[argc - 1], kAdapted);
    return 1;
  }
  bool six_ghz = false;
  std::string line;
  while (std::getline(in, line)) {
    if (Dropped(line)) {
      continue;
    }
    const size_t flag = line.find(kDroppedFlag);
    if (flag != std::string::npos) {
      line.erase(flag, kDroppedFlag.size());
    }
    // Operating classes 131-137 are the 6 GHz ones.
    if (line.size() == 12 && line.starts_with("op_class=13") && line[11] >= '1' &&
        line[11] <= '7') {
      six_ghz = true;
    }
    out << line << '\n';
  }
  if (six_ghz) {
    out << "hw_mode=a\n";
  }
  out.close();
  if (!out) {
    return 1;
  }
  std::vector<char*> args(argv, argv + argc);
  args[0] = const_cast<char*>(kRealHostapd);
  args[argc - 1] = const_cast<char*>(kAdapted);
  args.push_back(nullptr);
  ::execv(kRealHostapd, args.data());
  std::perror("hostapd adapter: exec");
  return 127;
}
