// The Linux terminal as a Windows console: the cell and colour model of the
// console calls kept as a shadow of the screen, and the VT sequences that draw
// it. Nothing here touches a file descriptor: console.cpp feeds the bytes this
// produces to the terminal, so the drawing logic is tested without one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/api.h"

namespace posix {

// The character the ANSI code page (Windows-1252) gives a byte, or 0 for the
// five bytes it leaves undefined.
char16_t FromWindows1252(unsigned char byte);

// MultiByteToWideChar from the ANSI code page: length -1 for a terminated
// text (its terminator converted too), 0 or a smaller negative length refused;
// wide_length 0 asks for the units needed. With MB_ERR_INVALID_CHARS an
// undefined byte fails the whole text; without it, it becomes the control
// character of the same value. Returns the units produced, 0 on failure.
int ConvertAnsiText(os::DWORD flags, const char* text, int length, os::WCHAR* wide,
                    int wide_length);

// SGR colour numbers of a console attribute. The console puts blue in bit 0
// and red in bit 2, VT colour numbers the other way round; intensity selects
// the bright range (90-97, 100-107).
int ForegroundSgr(os::WORD attribute);
int BackgroundSgr(os::WORD attribute);
// The full SGR sequence for cells in this attribute. 0x07, the console's
// default grey on black, is the terminal's own default colours, so text the
// program never coloured looks as the user's other programs do.
std::string SgrSequence(os::WORD attribute);

// Appends one UTF-16 unit as UTF-8. Units the terminal would act on instead of
// showing (C0 and C1 controls, DEL, lone surrogates) appear as '?': text on the
// screen can never become a terminal command.
void AppendGlyph(std::string& out, char16_t unit);

struct ScreenCell {
  char16_t ch = u' ';
  os::WORD attribute = 0x07;
};

// The screen as the console calls see it, plus what the terminal has been
// told so far. Every operation appends the sequences that bring the terminal
// in line to an output string, taken with TakeOutput.
//
// The program's cursor position is unknown until it first places the cursor:
// until then text is passed on as a stream (the terminal puts it where its own
// cursor is, as a shell's output goes) and drawing at fixed cells saves and
// restores the terminal's cursor around itself.
class TerminalScreen {
 public:
  TerminalScreen(int width, int height);

  int width() const { return width_; }
  int height() const { return height_; }
  // Takes the terminal's new size. The cells that still fit are kept; on a
  // screen the program owns, everything is drawn again.
  void Resize(int width, int height);

  ScreenCell At(int x, int y) const;
  os::COORD Cursor() const;
  bool CursorPlaced() const { return placed_; }
  os::WORD Attribute() const { return attribute_; }
  bool CursorVisible() const { return visible_; }
  os::DWORD CursorSize() const { return cursor_size_; }

  // False (nothing changes) for a cell outside the screen.
  bool SetCursor(os::COORD position);
  void SetAttribute(os::WORD attribute);
  // False for a size outside 1 to 100.
  bool SetCursorInfo(os::DWORD size, bool visible);
  // The cells from `first` on, row after row, up to the end of the screen;
  // returns how many were filled, or -1 for a start outside the screen.
  long FillCharacter(char16_t ch, os::DWORD length, os::COORD first);
  long FillAttribute(os::WORD attribute, os::DWORD length, os::COORD first);
  // Text at the cursor as a console with processed output writes it: line
  // feed returns to column 0, tabs stop every 8 columns, the last column wraps
  // at once, the bottom row scrolls the screen up.
  void Write(std::u16string_view text);
  // Standard output: the same, read in the ANSI code page.
  void WriteBytes(std::string_view bytes);

  // A layer over the screen that the shadow does not keep (the operator's
  // box): Begin hides the cursor, Draw paints cells, End draws the covered
  // cells again from the shadow and puts cursor and visibility back.
  void BeginOverlay();
  void DrawOverlay(int x, int y, const std::vector<ScreenCell>& cells);
  void EndOverlay(int x, int y, int width, int height);

  // The sequences that leave the terminal usable when the program ends: its
  // own colours and a visible cursor.
  static std::string_view RestoreSequence();

  std::string TakeOutput();

 private:
  ScreenCell& CellAt(int x, int y);
  bool Inside(int x, int y) const;
  void Process(char16_t unit);
  void Put(char16_t unit);
  void NewLine();
  void StreamUnit(char16_t unit);
  void DrawCell(int x, int y, const ScreenCell& cell);
  void DrawRange(std::size_t start, std::size_t count);
  void MoveTo(int x, int y);
  void EmitSgr(os::WORD attribute);
  void EmitVisibility(bool visible);
  void BeginFixedDrawing();
  void EndFixedDrawing();

  int width_;
  int height_;
  std::vector<ScreenCell> cells_;
  int x_ = 0;
  int y_ = 0;
  bool placed_ = false;
  os::WORD attribute_ = 0x07;
  bool visible_ = true;
  os::DWORD cursor_size_ = 25;

  // What the terminal shows: its cursor (when known), colours and visibility.
  std::string out_;
  bool term_known_ = false;
  int term_x_ = 0;
  int term_y_ = 0;
  int term_sgr_ = -1;  // the attribute last selected, -1 for unknown
  int term_visible_ = -1;
  bool overlay_ = false;
};

// The operator's box: a frame with the caption in its top edge, the text's
// lines, and an OK button, centred on the screen.
struct BoxLayout {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  std::vector<std::vector<ScreenCell>> rows;  // height rows of width cells
};

constexpr os::WORD kBoxAttribute = 0x70;     // black on grey
constexpr os::WORD kButtonAttribute = 0x1F;  // bright white on blue: the default button

// The text's lines for a box at most `width` cells wide: split at line feeds
// (a carriage return before one is dropped), tabs to the next multiple of 8,
// longer lines wrapped at their last blank that fits, or cut where none does.
std::vector<std::u16string> SplitBoxText(std::u16string_view text, int width);

// The box for a screen of the given size. A text too long for the screen
// loses its last lines; the caption and the button always stay.
BoxLayout LayoutBox(std::u16string_view caption, std::u16string_view text, int screen_width,
                    int screen_height);

}  // namespace posix
