// The full-screen view's pieces that can be checked without a console window.
#pragma once

#include <string>
#include <vector>

#include "base/hal_types.h"
#include "hal/include/icScreen.h"

// The columns a view may fill on a console window `windowColumns` wide: all
// but the last. A console moves the cursor to the next line as soon as a
// character lands in the last column (unless deferred wrapping is on, and
// then the erase to the end of the line takes that character away again), so
// a line that filled it would be followed by an empty one and push the view
// up by a line at the bottom.
U16 icWinScreenViewColumns(U16 windowColumns);

// What redraws a console window of `rows` by `windowColumns` with `lines`,
// as virtual-terminal sequences: every line cut to the columns a view may
// fill, the rest of it erased.
std::string icWinScreenFrame(const std::vector<IcScreenLine>& lines, U16 rows, U16 windowColumns);
