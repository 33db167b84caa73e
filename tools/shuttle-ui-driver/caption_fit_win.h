#pragma once
// The "fits" command of shuttle-ui-driver: whether every caption of a dialog in another process
// has the room it needs, measured from outside.

#include <windows.h>

// Prints "dpi N", the font the measures use, then one line per control whose text needs more
// room than the control gives it (every control when `all`), and a line when the window's client
// area and the dialog differ in size. 0 when everything fits, 1 when not, 2 when the font is
// unknown.
int printCaptionFits(HWND window, HWND dialog, bool all);
