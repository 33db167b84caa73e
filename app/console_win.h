#pragma once

#include <functional>

namespace shuttle {

// Opens a console for the trace output: standard output and error are reopened for writing on
// it and standard input for reading. `onConsoleEvent` runs for any console event (Ctrl+C,
// closing the console, logoff); the system's default handling, ending the process, follows.
void openTraceConsole(std::function<void()> onConsoleEvent);

// Whether the whole command line is exactly the console switch "-console".
bool isConsoleSwitch(const wchar_t* commandLine);

}  // namespace shuttle
