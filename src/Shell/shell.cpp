#include "Shell/shell.h"

#include <array>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

#include "Shell/shellPrivate.h"
#include "hal/include/icLocalTime.h"
#include "timer/icTimer.h"

namespace {

// Including the closing null.
constexpr std::size_t SHELL_MAX_ARGS = 64;
constexpr std::size_t SHELL_PRINTF_LEN = 300;

constexpr Char CHR_BACKSPACE = 8;
constexpr Char CHR_DELETE = 127;

constexpr const char* welcomeString = " shell online\n";
constexpr const char* helpCmdHelp = "use 'help <cmd>' for additional help";

ShellResCodes reg(ShellHandle* sh, const char* cmd, const char* helpText, ShellCmdCallback cb, void* cbArg);
ShellResCodes unreg(ShellHandle* sh, const char* cmd);
ShellResCodes shellPrintf(ShellHandle* sh, const char* format, ...) IC_PRINTF_FORMAT(2, 3);
void shellTimeStamp(ShellHandle* sh);
ShellResCodes shellPuts(ShellHandle* sh, const char* text);

// The operations are in place from process start, so an early print lands in
// a missing FIFO (and is dropped) instead of calling through a null slot.
ShellHandle shellInstance{
    {reg, unreg, shellPrintf, shellTimeStamp, shellPuts, &shellInstance},
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    {},
    0,
    FALSE,
    0,
    0,
};

}  // namespace

namespace {

void freeCommands(ShellHandle* sh) {
    ShellCmdRecord* rec = sh->cmd;
    sh->cmd = nullptr;
    while (rec != nullptr) {
        ShellCmdRecord* next = rec->next;
        delete rec;
        rec = next;
    }
}

ShellCmdRecord* findCommand(ShellHandle* sh, const char* cmd) {
    for (ShellCmdRecord* rec = sh->cmd; rec != nullptr; rec = rec->next) {
        if (std::strcmp(rec->cmd, cmd) == 0) {
            return rec;
        }
    }
    return nullptr;
}

ShellResCodes reg(ShellHandle* sh, const char* cmd, const char* helpText, ShellCmdCallback cb, void* cbArg) {
    if (sh == nullptr || cmd == nullptr || cb == nullptr) {
        return SHELL_RES_FAIL;
    }
    if (findCommand(sh, cmd) != nullptr) {
        return SHELL_RES_ALREADY_REGISTERED;
    }
    auto* rec = new (std::nothrow) ShellCmdRecord{nullptr, cmd, helpText, cb, cbArg, nullptr};
    if (rec == nullptr) {
        return SHELL_RES_FAIL;
    }
    ShellCmdRecord** tail = &sh->cmd;
    while (*tail != nullptr) {
        tail = &(*tail)->next;
    }
    *tail = rec;
    return SHELL_RES_OK;
}

ShellResCodes unreg(ShellHandle* sh, const char* cmd) {
    if (sh == nullptr || cmd == nullptr) {
        return SHELL_RES_FAIL;
    }
    for (ShellCmdRecord** link = &sh->cmd; *link != nullptr; link = &(*link)->next) {
        ShellCmdRecord* rec = *link;
        if (std::strcmp(rec->cmd, cmd) == 0) {
            *link = rec->next;
            delete rec;
            return SHELL_RES_OK;
        }
    }
    return SHELL_RES_FAIL;
}

ShellResCodes shellPrintf(ShellHandle* /*sh*/, const char* format, ...) {
    char buffer[SHELL_PRINTF_LEN];
    va_list args;
    va_start(args, format);
    const int written = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (written < 0) {
        return SHELL_RES_OK;
    }
    shellPutString(&shellInstance, buffer);
    return SHELL_RES_OK;
}

ShellResCodes shellPuts(ShellHandle* /*sh*/, const char* text) {
    shellPutString(&shellInstance, text);
    return SHELL_RES_OK;
}

void shellTimeStamp(ShellHandle* /*sh*/) {
    IcLocalTime now{};
    icLocalTimeGet(&now);
    shellPrintf(&shellInstance, "\r (%04d-%02d-%02d %02d:%02d:%02d.%03d) ", now.year, now.month, now.day, now.hour,
                now.minute, now.second, now.milliseconds);
}

const char* helpCmdCB(U8 argc, char** argv, void* arg) {
    auto* sh = static_cast<ShellHandle*>(arg);
    if (argc <= 1 || argv[1] == nullptr) {
        shellPutString(sh, " Available commands:\n");
        for (const ShellCmdRecord* rec = sh->cmd; rec != nullptr; rec = rec->next) {
            shellPutString(sh, "\t");
            shellPutString(sh, rec->cmd);
            shellPutString(sh, "\n");
        }
        return "";
    }
    const ShellCmdRecord* rec = findCommand(sh, argv[1]);
    if (rec == nullptr || rec->help == nullptr) {
        return "";
    }
    return rec->help;
}

// Cuts the line into words in place. argv always ends with a null entry;
// words past the last slot are dropped.
U8 splitWords(Char* line, char* (&argv)[SHELL_MAX_ARGS]) {
    std::size_t count = 0;
    Char* p = line;
    while (*p != CHR_NUL && count < SHELL_MAX_ARGS - 1) {
        while (*p == ' ') {
            ++p;
        }
        if (*p == CHR_NUL) {
            break;
        }
        argv[count++] = p;
        while (*p != CHR_NUL && *p != ' ') {
            ++p;
        }
        if (*p == ' ') {
            *p++ = CHR_NUL;
        }
    }
    argv[count] = nullptr;
    return count == 0 ? U8{1} : static_cast<U8>(count);
}

void endOfLine(ShellHandle* self) {
    shellPutString(self, "\n");
    self->str[self->index] = CHR_NUL;
    char* argv[SHELL_MAX_ARGS] = {};
    const U8 argc = splitWords(self->str, argv);
    self->index = 0;

    if (argv[0] != nullptr) {
        const ShellCmdRecord* rec = findCommand(self, argv[0]);
        if (rec != nullptr) {
            // The record is not touched after the call: a command may
            // unregister itself.
            const char* answer = rec->cb(argc, argv, rec->cbArg);
            if (answer != nullptr) {
                shellPutString(self, answer);
            }
        } else {
            shellPutString(self, " Command not found\n");
        }
    }
    self->str[0] = CHR_NUL;
    shellPutString(self, " > ");
}

void eraseChar(ShellHandle* self) {
    if (self->index > 0) {
        --self->index;
        const U8 width = shellVisibleWidth(self->str[self->index]);
        self->str[self->index] = CHR_NUL;
        shellPutString(self, width == 2 ? "\b\b  \b\b" : "\b \b");
    } else {
        shellPutString(self, " \b");
    }
}

void storeChar(ShellHandle* self, Char chr) {
    if (self->index >= SHELL_MAX_LINE_LEN) {
        return;
    }
    shellEchoChar(self, chr);
    self->str[self->index++] = chr;
    self->str[self->index] = CHR_NUL;
}

}  // namespace

ShellApi* const shellApi = &shellInstance.shellApi;

void shellInit(UartInstancePtr ui, IcFifoInstance* fifoTx, IcFifoInstance* fifoRx) {
    ShellHandle* self = &shellInstance;
    self->shellApi = ShellApi{reg, unreg, shellPrintf, shellTimeStamp, shellPuts, self};
    self->baseTicks = icTimerGetRunningTimer_ms();
    self->diffTicks = self->baseTicks;
    self->ui = ui;
    self->fifoTx = fifoTx;
    self->fifoRx = fifoRx;
    // A second start (tests do this) begins with an empty registry too.
    freeCommands(self);
    std::memset(self->str, 0, sizeof self->str);
    self->index = 0;
    self->lastWasTab = FALSE;
    shellScreenReset();
    reg(self, "help", helpCmdHelp, helpCmdCB, self);
    shellPutString(self, welcomeString);
}

void shellExe() {
    ShellHandle* self = &shellInstance;
    if (icFifoCharsToPop(self->fifoRx) != 0) {
        shellParse(self, icFifoPopChar(self->fifoRx));
    }
}

void shellParse(ShellHandle* self, Char chr) {
    if (self == nullptr) {
        return;
    }
    if (chr != CHR_TAB) {
        self->lastWasTab = FALSE;
    }
    switch (chr) {
        case CHR_NEWLINE:
        case CHR_NUL:
            break;
        case CHR_RETURN:
            endOfLine(self);
            break;
        case CHR_BACKSPACE:
        case CHR_DELETE:
            eraseChar(self);
            break;
        case CHR_TAB:
            shellCompleteLine(self);
            break;
        default:
            storeChar(self, chr);
            break;
    }
}

void shellRedrawLine() {
    ShellHandle* self = &shellInstance;
    shellPutString(self, "\r > ");
    shellEchoLine(self);
}

ShellApi* shellGetApi() { return &shellInstance.shellApi; }

Boolean shellShowDroppedNotice() {
    ShellHandle* self = &shellInstance;
    return shellScreenShowDroppedNotice(self) ? TRUE : FALSE;
}

ShellResCodes shellSetArgCompleter(const char* cmd, ShellArgCompleter completer) {
    ShellCmdRecord* rec = cmd != nullptr ? findCommand(&shellInstance, cmd) : nullptr;
    if (rec == nullptr) {
        return SHELL_RES_FAIL;
    }
    rec->completer = completer;
    return SHELL_RES_OK;
}

void shellPutCmdString(const char* inStr) {
    if (inStr == nullptr) {
        return;
    }
    for (const char* p = inStr; *p != CHR_NUL; ++p) {
        std::printf("%c", *p);
        icFifoPushChar(shellInstance.fifoRx, *p);
    }
    std::fflush(stdout);
    icFifoPushChar(shellInstance.fifoRx, CHR_RETURN);
}
