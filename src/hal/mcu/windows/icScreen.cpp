// The full-screen view on a Windows console: the alternate screen buffer and
// character attributes as virtual-terminal sequences, which the console
// takes once ENABLE_VIRTUAL_TERMINAL_PROCESSING is on.
#include "hal/include/icScreen.h"

#include <windows.h>

#include <algorithm>

#include "hal/mcu/windows/icWinScreen.h"

namespace {

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
constexpr DWORD ENABLE_VIRTUAL_TERMINAL_PROCESSING = 0x0004;
#endif

bool open = false;
DWORD savedMode = 0;

const char* sequenceOf(IcScreenStyle style) {
    switch (style) {
        case IcScreenStyle::HEADER:
            return "\x1b[7m";
        case IcScreenStyle::HIGHLIGHT:
            return "\x1b[1;4m";
        case IcScreenStyle::DIM:
            return "\x1b[2m";
        case IcScreenStyle::PLAIN:
            break;
    }
    return "\x1b[0m";
}

void writeAll(const std::string& text) {
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD written = 0;
    (void)WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

}  // namespace

Boolean icScreenAvailable(std::string& reason) {
    DWORD mode = 0;
    if (GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) == FALSE ||
        GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) == FALSE) {
        reason = "standard input and output must be a console";
        return FALSE;
    }
    return TRUE;
}

Boolean icScreenOpen(std::string& reason) {
    if (open) {
        return TRUE;
    }
    if (icScreenAvailable(reason) == FALSE) {
        return FALSE;
    }
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    (void)GetConsoleMode(out, &mode);
    if (SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) == FALSE) {
        reason = "this console takes no virtual-terminal sequences";
        return FALSE;
    }
    savedMode = mode;
    open = true;
    writeAll("\x1b[?1049h\x1b[?25l");  // alternate screen, no cursor
    return TRUE;
}

void icScreenClose() {
    if (!open) {
        return;
    }
    writeAll("\x1b[0m\x1b[?25h\x1b[?1049l");
    (void)SetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), savedMode);
    open = false;
}

Boolean icScreenIsOpen() { return open ? TRUE : FALSE; }

U16 icWinScreenViewColumns(U16 windowColumns) {
    return windowColumns > 1 ? static_cast<U16>(windowColumns - 1U) : U16{1};
}

std::string icWinScreenFrame(const std::vector<IcScreenLine>& lines, U16 rows, U16 windowColumns) {
    const std::size_t columns = icWinScreenViewColumns(windowColumns);
    std::string frame = "\x1b[H";
    for (std::size_t row = 0; row < rows; ++row) {
        std::size_t column = 0;
        if (row < lines.size()) {
            for (const IcScreenSpan& span : lines[row]) {
                const std::size_t length = std::min(span.text.size(), columns - column);
                frame += sequenceOf(span.style);
                frame.append(span.text, 0, length);
                column += length;
            }
        }
        frame += "\x1b[0m\x1b[K";  // the rest of the line blank
        if (row + 1 < rows) {
            frame += "\r\n";
        }
    }
    return frame;
}

namespace {

// The console window's size in rows and columns.
void windowSize(U16& rows, U16& columns) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info) != FALSE) {
        rows = static_cast<U16>(std::max<int>(1, info.srWindow.Bottom - info.srWindow.Top + 1));
        columns = static_cast<U16>(std::max<int>(1, info.srWindow.Right - info.srWindow.Left + 1));
        return;
    }
    rows = 24;
    columns = 80;
}

}  // namespace

void icScreenSize(U16& rows, U16& columns) {
    windowSize(rows, columns);
    columns = icWinScreenViewColumns(columns);
}

void icScreenDraw(const std::vector<IcScreenLine>& lines) {
    if (!open) {
        return;
    }
    U16 rows = 0;
    U16 columns = 0;
    windowSize(rows, columns);
    writeAll(icWinScreenFrame(lines, rows, columns));
}
