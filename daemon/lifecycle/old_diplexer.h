// Boards with the old diplexer split 5 GHz lower; start-up asks first and
// the channel selection asks again.
#pragma once

#include <cstdint>

namespace ww {

struct ApRuntime;

// True when the device-tree model text names a board with the old diplexer.
bool ModelNamesOldDiplexer(const char* model);

// Decides afresh, from the marker file or the device-tree model; prints why
// the model could not be read.
bool DetectOldDiplexer(const char* marker_path, const char* model_path);

// The runtime's cached answer: the first call decides (also a negative
// answer reached through a failure), later calls repeat it.
bool OldDiplexerPresent(ApRuntime& runtime);

}  // namespace ww
