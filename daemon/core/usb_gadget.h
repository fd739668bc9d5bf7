// The enablencm command: adds the USB network function to the device's USB
// gadget, binds it again and brings usb0 up.
#pragma once

namespace ww {

struct CommandEnv;
struct Request;
class ReplySink;

void CommandEnableNcm(CommandEnv& env, const Request& request, ReplySink& sink);

}  // namespace ww
