#pragma once
// The two things the exchange needs from the serial link: hand one text to the device (copy
// path) and fetch a text this side has not seen yet (receive loop). The two drivers expect the
// caller to hold the link mutex; the two wrappers at the end take it themselves.

#include <string>

#include "base/progress.h"
#include "core/guid_memory.h"
#include "core/link_state.h"
#include "platform/clock.h"

namespace shuttle {

// Sends `text` (up to its first zero unit) as the message `guid` over the open port. True when
// every frame was written and acknowledged; false with no port open or on any failed frame (no
// retry). `progress` hears of every acknowledged frame.
bool sendOverSerial(LinkState& link, Clock& clock, const std::u16string& text, const std::string& guid,
                    const ProgressCallback& progress = {});

// Probes the device on port `com` (the port in use; nothing when another port is open by now),
// keeps the copy-ready and paste-ready flags, and fetches a new message. Returns the number of
// UTF-16 units of a new, intact text, which is then in `out`; 0 when there is nothing to paste
// (no port, nothing new, a failed read, a CRC mismatch, an empty text).
size_t receiveOverSerial(LinkState& link, GuidMemory& memory, unsigned com, Clock& clock, std::u16string& out);

// The copy path's hand-over: under the link mutex, records `guid` as this side's last sent
// GUID and sends the text, so that no poll sees the one without the other.
bool sendAsLastSent(LinkState& link, GuidMemory& memory, Clock& clock, const std::u16string& text,
                    const std::string& guid, const ProgressCallback& progress = {});

// The receive loop's poll of the link: receiveOverSerial under the link mutex.
size_t receiveNewText(LinkState& link, GuidMemory& memory, unsigned com, Clock& clock, std::u16string& out);

}  // namespace shuttle
