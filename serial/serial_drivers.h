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

// What one poll of the link brought.
enum class SerialReceipt {
    Nothing,  // no port, nothing new, an empty text, or a failed read that the next poll repeats
    Text,     // a new, intact text
    GivenUp,  // a message that did not read whole for kUnreadMessageLimitMs: it will not arrive
};

// Sends `text` (up to its first zero unit) as the message `guid` over the open port. True only
// when every frame was written and acknowledged and a probe then finds the device holding this
// message; false with no port open, on any failed frame (no retry) or when the device does not
// hold it. `progress` hears of every acknowledged frame.
bool sendOverSerial(LinkState& link, Clock& clock, const std::u16string& text, const std::string& guid,
                    const ProgressCallback& progress = {});

// Probes the device on port `com` (the port in use; nothing when another port is open by now),
// keeps the copy-ready and paste-ready flags, and fetches a new message; a new, intact,
// non-empty text is then in `out`. A message whose read fails (a slow or unplugged device, a
// damaged frame, bytes that are no text) is read again at the next polls, and given up once it
// has failed for kUnreadMessageLimitMs; another message on the device replaces it.
SerialReceipt receiveOverSerial(LinkState& link, GuidMemory& memory, unsigned com, Clock& clock,
                                std::u16string& out);

// The copy path's hand-over: under the link mutex, records `guid` as this side's last sent
// GUID and sends the text, so that no poll sees the one without the other.
bool sendAsLastSent(LinkState& link, GuidMemory& memory, Clock& clock, const std::u16string& text,
                    const std::string& guid, const ProgressCallback& progress = {});

// The receive loop's poll of the link: receiveOverSerial under the link mutex.
SerialReceipt receiveNewText(LinkState& link, GuidMemory& memory, unsigned com, Clock& clock, std::u16string& out);

}  // namespace shuttle
