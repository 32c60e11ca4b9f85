// A full-screen view on the terminal the console runs in: lines of text
// drawn in place, each cell plain, highlighted or dimmed. The console's
// keys keep arriving through its driver; the screen only draws. Only one
// view is open at a time; closing it gives the terminal back to the
// console as it was.
#pragma once

#include <string>
#include <vector>

#include "base/hal_types.h"

enum class IcScreenStyle : U8 {
    PLAIN,
    HEADER,     // the title and column lines
    HIGHLIGHT,  // what just changed
    DIM,        // what is out of date or away
};

struct IcScreenSpan {
    std::string text;  // printable ASCII only
    IcScreenStyle style = IcScreenStyle::PLAIN;
};

using IcScreenLine = std::vector<IcScreenSpan>;

// FALSE, with the reason, when standard input and output are no terminal
// that can show a full-screen view, before anything is changed.
Boolean icScreenAvailable(std::string& reason);
// As icScreenAvailable, and takes the screen over.
Boolean icScreenOpen(std::string& reason);
void icScreenClose();
Boolean icScreenIsOpen();
// The size a view can fill now (on a Windows console all but the last
// column); a view that finds it changed draws again.
void icScreenSize(U16& rows, U16& columns);
// Replaces what the screen shows; lines beyond its height or width are cut.
void icScreenDraw(const std::vector<IcScreenLine>& lines);
