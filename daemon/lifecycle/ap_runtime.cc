#include "daemon/lifecycle/ap_runtime.h"

#include "daemon/hostapd/hostapd_config.h"
#include "daemon/regulatory/country_resolve.h"
#include "daemon/regulatory/six_ghz.h"

namespace ww {

CountrySetting CountrySettingOf(ApRuntime& runtime) {
  return CountrySetting{
      .channel = runtime.nl80211,
      .codes = runtime.country,
      .cache_path = runtime.paths.cache_domain,
      .request_refresh =
          [&state = runtime.state] {
            std::lock_guard<std::mutex> lock(state.state_lock);
            state.refresh_teardown_flag_value.store(kRefreshNow);
            state.refresh_serial = ++state.request_serial;
            state.wake_semaphore.Post();
          },
      .sleep = runtime.hooks.sleep,
  };
}

void ApplyCountryCode(ApRuntime& runtime, const char* code, int priority) {
  ApplyCountryCode(CountrySettingOf(runtime), code, priority);
}

void ResolveCountryAtBoot(ApRuntime& runtime, const BootSteps& steps) {
  ResolveCountryAtBoot(CountrySettingOf(runtime), steps);
}

void ResolveCountryCode(ApRuntime& runtime, char* buffer) {
  ResolveCountryCode(runtime.nl80211, runtime.country, buffer);
}

void CheckSixGhzAvailability(ApRuntime& runtime) {
  const SixGhzAvailability found = CheckSixGhzAvailability(runtime.nl80211, runtime.country);
  DaemonState& ds = runtime.state;
  ds.no_6ghz = found.no_6ghz;
  ds.noir_mode.store(found.noir_mode);
  ds.hidden_ssid_blocked.store(found.hidden_ssid_blocked);
}

void CreateHostapdConfig(ApRuntime& runtime, int frequency, const char* path) {
  DaemonState& ds = runtime.state;
  char ssid[sizeof ds.ssid];
  char password[sizeof ds.password];
  CopyCredentials(ds, ssid, password);
  HostapdInputs inputs;
  inputs.frequency = frequency;
  inputs.ssid = ssid;
  inputs.password = password;
  inputs.use_160mhz = ds.use_160mhz.load();
  inputs.hidden_requested = ds.hidden_requested.load();
  inputs.noir_mode = ds.noir_mode.load();
  inputs.hidden_ssid_blocked = ds.hidden_ssid_blocked.load();
  WriteHostapdConfig(inputs, runtime.nl80211, runtime.country, path);
}

}  // namespace ww
