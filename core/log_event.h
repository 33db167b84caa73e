#pragma once

#include "core/shared_state.h"

namespace shuttle {

// Writes `message` to the daily log when logging (settings flag 8) is on.
void logEvent(SharedState& state, const char* message);

}  // namespace shuttle
