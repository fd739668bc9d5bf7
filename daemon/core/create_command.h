// The create and test commands: the name and passphrase (with the device's
// defaults for "-"), the words through the grammar, the stores and the post.
#pragma once

#include <cstddef>

namespace ww {

struct CommandEnv;
struct Daemon;
struct Request;
class ReplySink;

void CommandCreate(CommandEnv& env, const Request& request, ReplySink& sink);
void CommandTest(CommandEnv& env, const Request& request, ReplySink& sink);

// Makes a new default passphrase of eight hex digits from the first four
// bytes of the random device into `password` and stores it in the
// default-passphrase file. False, with the reply that ends the request in
// `failure`, when the device gives nothing.
bool GenerateDefaultPassword(Daemon& daemon, char* password, size_t size, char* failure,
                             size_t failure_size);

}  // namespace ww
