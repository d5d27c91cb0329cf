// Screen and text functions over the console that standard output is attached
// to: clear, colours, cursor position and visibility, positioned narrow text.
//
// Colours are console colour indices: bit 0 blue, bit 1 green, bit 2 red,
// bit 3 intensity; only the low four bits of an argument count (10 is bright
// green, 0 black). Columns and rows are zero-based cells of the screen buffer
// and only their low 16 bits are used. Texts are narrow text in the ANSI code
// page with an explicit byte count: no terminator is needed or read.
//
// Nothing is kept between calls and nothing is reported: when standard output
// is not a console the calls that need its state do nothing and the writes
// show nothing.
#pragma once

namespace console {

// Blanks every cell of the screen buffer (not only the visible window) in the
// current attribute and puts the cursor at (0, 0).
void ClearScreen();

// Makes fore on back the current attribute, then clears as ClearScreen does.
// The attribute is set even when the clear cannot be done.
void ClearScreenWithColors(int fore, int back);

void GotoXY(int x, int y);

// Moves the cursor to (x, y) and writes len bytes of text there; the console
// wraps, expands tabs and leaves the cursor behind the text. The cursor moves
// even when nothing can be written (len 0, a byte the code page lacks).
void WriteTextAt(int x, int y, const char* text, int len);

// Writes len bytes of text at the cursor.
void WriteText(const char* text, int len);

// Replaces the foreground of the current attribute and keeps its background;
// the attribute's bits above the two colours are cleared.
void SetForeColor(int fore);

void SetColors(int fore, int back);

// The cursor's size is kept as it is.
void HideTextCursor();
void ShowTextCursor();

}  // namespace console
