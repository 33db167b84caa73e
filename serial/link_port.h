#pragma once
// The one serial port of COM mode: opening what the link selector shows, closing it without
// cutting a transfer in half, and the close at program exit.

#include <string>

#include "core/link_state.h"
#include "core/settings.h"
#include "platform/clock.h"
#include "platform/serial_port.h"

namespace shuttle {

// Connects to the selector's current entry `selectorText`. USB mode: records it as the store
// selection. COM mode: takes the port the entry names ("COM5", a device path on Linux; the saved
// choice when it names none), closes any open port, opens that one with the link settings and
// lets the device settle for 500 ms. The saved choice stays as it is: the opened port becomes
// the port in use (`link.portNumber`), which is kNoComPort after a failure, and
// `link.openFailure` says why. Opening another port than the one the device was seen empty on
// clears that mark. The outcome is in `link`.
void openSelectedLink(Settings& settings, LinkState& link, SerialPorts& ports, Clock& clock,
                      const std::u16string& selectorText);

// Closes the open port, if any, under the link mutex: a transfer in progress finishes first.
// No port is in use afterwards, and neither copy nor paste is ready.
void closePort(LinkState& link);

// At program exit: stops the automatic search and closes the port without the link mutex,
// cancelling a transfer the receive thread may have in progress. Returns at once.
void closePortAtExit(LinkState& link);

}  // namespace shuttle
