// The application fonts: a fixed set created once at start-up and shared read-only
// by every window, named by face, size in points and weight.
#pragma once
#include <windows.h>

// Creates the fonts of the table in order; later calls do nothing. A font that
// cannot be created stays null.
void create_application_fonts();

// The first font of the table with this face (without regard to case), size and
// weight; null when the table has none. Creates the table if start-up hasn't yet.
// Never delete the handle.
HFONT application_font(const wchar_t* face, int points, bool bold);

// How many fonts the table holds, and the one at `row` (0-based, table order).
int application_font_count();
HFONT application_font_at(int row);
