// What the terminal console offers the terminal operator: its screen, to draw
// the box over and put back afterwards, and a safe way out if the program ends
// while the box has the keyboard.
#pragma once

#include <vector>

#include "platform/posix/terminal.h"

namespace posix {

// True when standard output is a terminal; gives its size in cells.
bool ConsoleScreenSize(int* width, int* height);

// The box as a layer over the console's screen (see TerminalScreen), each
// call drawn at once.
void OverlayBegin();
void OverlayDraw(int x, int y, const std::vector<ScreenCell>& cells);
void OverlayEnd(int x, int y, int width, int height);

// Remembers standard input's terminal modes as they were before this program
// first changed them; they are put back when the program ends, normally or by
// a signal. Call before changing them.
void KeepInputModes();

}  // namespace posix
