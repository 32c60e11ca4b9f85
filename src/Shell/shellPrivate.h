// The shell's own records and the parts of it that its files share. Not for
// use outside src/Shell.
#pragma once

#include <cstddef>

#include "Shell/shell.h"
#include "base/hal_types.h"
#include "fifo/icFifo.h"
#include "timer/icTimer.h"

inline constexpr std::size_t SHELL_STR_LEN = 300;
// `index` is 8 bits wide; stopping at 254 keeps it from wrapping and leaves
// room for the terminator.
inline constexpr U8 SHELL_MAX_LINE_LEN = 254;

inline constexpr Char CHR_NUL = 0;
inline constexpr Char CHR_TAB = 9;
inline constexpr Char CHR_NEWLINE = 10;
inline constexpr Char CHR_RETURN = 13;

struct ShellCmdRecord {
    ShellCmdRecord* next;
    const char* cmd;
    const char* help;
    ShellCmdCallback cb;
    void* cbArg;
    ShellArgCompleter completer;  // words for its arguments, or nullptr
};

struct ShellHandle {
    ShellApi shellApi;  // first: shellApi points at the record through it
    ShellCmdRecord* cmd;
    UartInstancePtr ui;
    IcFifoInstance* fifoTx;
    IcFifoInstance* fifoRx;
    Char str[SHELL_STR_LEN];
    U8 index;
    Boolean lastWasTab;
    IcTimerTick baseTicks;
    IcTimerTick diffTicks;
};

// Text for the screen, each newline followed by a carriage return.
void shellPutString(ShellHandle* sh, const char* str);
// A typed byte as the screen shows it: control bytes in caret notation.
void shellEchoChar(ShellHandle* self, Char chr);
// How many columns shellEchoChar takes for `chr`.
U8 shellVisibleWidth(Char chr);
// The line being typed, as typed, control bytes shown in caret notation.
void shellEchoLine(ShellHandle* self);
// A new start: no text dropped, the screen at the start of a line.
void shellScreenReset();
// The notice about text a full screen FIFO dropped, when there is one and it
// fits now.
bool shellScreenShowDroppedNotice(ShellHandle* sh);
// Tab: completes the command name, or the word after a command that offers
// words; a second Tab lists the candidates.
void shellCompleteLine(ShellHandle* self);
