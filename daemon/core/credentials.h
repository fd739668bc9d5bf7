// What hostapd accepts as an access point's name and passphrase, and the
// cuts that make the device's defaults fit. Pure: no files, no state.
#pragma once

#include <cstddef>

namespace ww {

inline constexpr size_t kMaxSsidBytes = 32;
inline constexpr size_t kMinPassphraseBytes = 8;
inline constexpr size_t kMaxPassphraseBytes = 63;

// Why hostapd would refuse `name` as the network name, or null when it takes
// it. `reason` receives the text (a whole line without its newline).
const char* SsidProblem(const char* name, char* reason, size_t size);

// Why hostapd would refuse `passphrase` (its length in bytes, or a part that
// hostapd reads as an option of sae_password), or null when it takes it.
const char* PassphraseProblem(const char* passphrase, char* reason, size_t size);

// Ends `text` at its first newline.
void CutAtNewline(char* text);

// Cuts `name` to at most 32 bytes without splitting a UTF-8 character.
void CutSsid(char* name);

}  // namespace ww
