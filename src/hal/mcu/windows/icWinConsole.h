// The console driver's pieces that can be checked without a console window.
#pragma once

#include <cstddef>

#include "base/hal_types.h"
#include "hal/mcu/windows/icWin.h"

// The console functions the driver changes the input mode with. Tests put in
// their own to see every way out restore the mode; nullptr brings back the
// system's.
struct IcWinConsoleApi {
    BOOL(WINAPI* getMode)(HANDLE console, LPDWORD mode);
    BOOL(WINAPI* setMode)(HANDLE console, DWORD mode);
};
void icWinConsoleSetApi(const IcWinConsoleApi* api);

// The input mode while the sniffer runs: keys one by one without echo (the
// shell echoes), Ctrl-C still a stop request, no mouse or window events.
DWORD icWinConsoleRawMode(DWORD mode);

// The characters that console input records stand for, at most `room` of
// them: pressed keys that produce a character, as often as they repeat.
// Returns how many were written to `out`.
std::size_t icWinConsoleKeyChars(const INPUT_RECORD* records, std::size_t count, Char* out, std::size_t room);

// The console's control handler: Ctrl-C, Ctrl-Break and closing the window.
BOOL WINAPI icWinConsoleCtrlHandler(DWORD ctrlType);
