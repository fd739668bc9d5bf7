#include "daemon/core/last_state.h"

namespace ww {

// Nothing is recorded until the create and test commands exist, so there is
// nothing to replay yet.
void ReplayLastState(Daemon& /*daemon*/) {}

}  // namespace ww
