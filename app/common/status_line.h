// The one transient line the tool draws on standard error (the progress
// display). It is erased before anything else is printed, on either stream,
// so that it never runs into a console line or a diagnostic, and once more
// at the end of the run; nothing of it stays on the screen.
#pragma once

namespace treepak {

// Draws text (no line end) over the current line of standard error.
void DrawStatusLine(const char* text);
// Erases the line if one is drawn; otherwise does nothing.
void ClearStatusLine();

}  // namespace treepak
