// The command shell: line editor, command registry and the console output
// channel.
#pragma once

#include "base/hal_types.h"
#include "fifo/icFifo.h"
#include "hal/include/multiUart.h"

enum ShellResCodes : U8 {
    SHELL_RES_OK = 0,
    SHELL_RES_FAIL = 1,
    SHELL_RES_ALREADY_REGISTERED = 2,
};

using ShellCmdCallback = const char* (*)(U8 argc, char** argv, void* cbArg);

struct ShellHandle;

struct ShellApi {
    ShellResCodes (*reg)(ShellHandle* sh, const char* cmd, const char* helpText, ShellCmdCallback cb, void* cbArg);
    ShellResCodes (*unreg)(ShellHandle* sh, const char* cmd);
    ShellResCodes (*printf)(ShellHandle* sh, const char* format, ...) IC_PRINTF_FORMAT(2, 3);
    void (*printTimeStamp)(ShellHandle* sh);
    // Text as it is, without formatting it again.
    ShellResCodes (*puts)(ShellHandle* sh, const char* text);
    ShellHandle* sh;
};

// Valid from process start; its operations are usable after shellInit.
extern ShellApi* const shellApi;

void shellInit(UartInstancePtr ui, IcFifoInstance* fifoTx, IcFifoInstance* fifoRx);
void shellExe();
void shellParse(ShellHandle* self, Char chr);
// Shows the prompt and the line being typed again, on a line of their own,
// after something else has written over the screen.
void shellRedrawLine();
ShellApi* shellGetApi();

// Text for the screen that the full output FIFO dropped is owned up to by
// one line before the next text that reaches the screen: "-- N lines not
// shown: the terminal did not keep up --", with what `note` returns (say
// " (the log file has them)") before the closing dashes.
using ShellDroppedNote = const char* (*)();
void shellSetDroppedNote(ShellDroppedNote note);
// Puts that line out now if text was dropped and the FIFO has room for it:
// for a caller whose screen has just taken text again. TRUE when it did.
Boolean shellShowDroppedNotice();
void shellPutCmdString(const char* inStr);

// The words Tab offers for a command's arguments: the i-th word, nullptr
// past the last.
using ShellArgCompleter = const char* (*)(std::size_t index);
// Tab then completes the word being typed after `cmd` (a registered
// command) from these words; nullptr turns it off.
ShellResCodes shellSetArgCompleter(const char* cmd, ShellArgCompleter completer);
