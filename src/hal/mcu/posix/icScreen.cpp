// The full-screen view through ncurses, on the terminal of standard output.
#include "hal/include/icScreen.h"

#include <curses.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace {

SCREEN* liveScreen = nullptr;
U16 shownRows = 0;
U16 shownColumns = 0;

attr_t attributeOf(IcScreenStyle style) {
    switch (style) {
        case IcScreenStyle::HEADER:
            return A_REVERSE;
        case IcScreenStyle::HIGHLIGHT:
            return A_BOLD | A_UNDERLINE;
        case IcScreenStyle::DIM:
            return A_DIM;
        case IcScreenStyle::PLAIN:
            break;
    }
    return A_NORMAL;
}

}  // namespace

Boolean icScreenAvailable(std::string& reason) {
    if (isatty(STDOUT_FILENO) == 0 || isatty(STDIN_FILENO) == 0) {
        reason = "standard input and output must be a terminal";
        return FALSE;
    }
    return TRUE;
}

Boolean icScreenOpen(std::string& reason) {
    if (liveScreen != nullptr) {
        return TRUE;
    }
    if (icScreenAvailable(reason) == FALSE) {
        return FALSE;
    }
    std::fflush(stdout);
    liveScreen = newterm(nullptr, stdout, stdin);
    if (liveScreen == nullptr) {
        reason = "the terminal type is not known (TERM)";
        return FALSE;
    }
    set_term(liveScreen);
    // Keys come through the console driver; ncurses only draws.
    noecho();
    (void)curs_set(0);
    leaveok(stdscr, TRUE);
    shownRows = 0;
    shownColumns = 0;
    return TRUE;
}

void icScreenClose() {
    if (liveScreen == nullptr) {
        return;
    }
    (void)endwin();
    delscreen(liveScreen);
    liveScreen = nullptr;
    std::fflush(stdout);
}

Boolean icScreenIsOpen() { return liveScreen != nullptr ? TRUE : FALSE; }

void icScreenSize(U16& rows, U16& columns) {
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_row > 0 && size.ws_col > 0) {
        rows = size.ws_row;
        columns = size.ws_col;
        return;
    }
    rows = 24;
    columns = 80;
}

void icScreenDraw(const std::vector<IcScreenLine>& lines) {
    if (liveScreen == nullptr) {
        return;
    }
    U16 rows = 0;
    U16 columns = 0;
    icScreenSize(rows, columns);
    if (rows != shownRows || columns != shownColumns) {
        // ncurses learns of a new size here rather than from its own
        // SIGWINCH handling, which needs a getch() this program never calls.
        (void)resizeterm(rows, columns);
        (void)clearok(stdscr, TRUE);
        shownRows = rows;
        shownColumns = columns;
    }
    (void)erase();
    for (std::size_t row = 0; row < lines.size() && row < rows; ++row) {
        int column = 0;
        for (const IcScreenSpan& span : lines[row]) {
            if (column >= columns) {
                break;
            }
            const int room = columns - column;
            const int length = std::min<int>(static_cast<int>(span.text.size()), room);
            (void)attrset(attributeOf(span.style));
            (void)mvaddnstr(static_cast<int>(row), column, span.text.c_str(), length);
            column += length;
        }
    }
    (void)attrset(A_NORMAL);
    (void)refresh();
}
