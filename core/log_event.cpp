#include "core/log_event.h"

#include "log/logger.h"

namespace shuttle {

void logEvent(SharedState& state, const char* message) {
    if (state.logger != nullptr && state.settings.has(kFlagEnableLogging))
        state.logger->appender().appendLine(message);
}

}  // namespace shuttle
