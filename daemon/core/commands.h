// The commands of the management socket, one function each: the requests
// that change the access point (commands.cc; create and test in
// create_command.cc), the reports (report_commands.cc) and enablencm
// (usb_gadget.cc).
#pragma once

#include "daemon/core/dispatch.h"

namespace ww {

using CommandHandler = void (*)(CommandEnv& env, const Request& request, ReplySink& sink);

void CommandRefresh(CommandEnv& env, const Request& request, ReplySink& sink);
void CommandDelayRefresh(CommandEnv& env, const Request& request, ReplySink& sink);
void CommandTestScan(CommandEnv& env, const Request& request, ReplySink& sink);
void CommandSetFallbackCountryCode(CommandEnv& env, const Request& request, ReplySink& sink);
void CommandTeardown(CommandEnv& env, const Request& request, ReplySink& sink);
void CommandState(CommandEnv& env, const Request& request, ReplySink& sink);
void CommandGetChannels(CommandEnv& env, const Request& request, ReplySink& sink);
void CommandGetCreds(CommandEnv& env, const Request& request, ReplySink& sink);
void CommandStatus(CommandEnv& env, const Request& request, ReplySink& sink);
void CommandUnknown(CommandEnv& env, const Request& request, ReplySink& sink);

// Sends a NUL-terminated text without its NUL.
void SendText(ReplySink& sink, const char* text);

// Refuses (with a reply) a create, test or teardown from the boot replay
// that a client's newer request has overtaken. Request lock held.
bool RefuseSupersededReplay(CommandEnv& env, ReplySink& sink);

}  // namespace ww
