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

// Text that a full output FIFO dropped (a terminal that did not keep up)
// since the screen last took some: the next text that goes out is preceded
// by one line saying how much is missing, so that nothing goes silently.
struct DroppedText {
    bool any = false;
    U32 lines = 0;  // line ends among it
};
DroppedText dropped;
// The last character the FIFO took ended a line (or nothing went out yet):
// the notice then needs no line end of its own before it.
bool atLineStart = true;
ShellDroppedNote droppedNote = nullptr;

void noteDropped(const Char* text, std::size_t len) {
    dropped.any = true;
    for (std::size_t i = 0; i < len; ++i) {
        if (text[i] == CHR_NEWLINE && dropped.lines < MAX_U32) {
            ++dropped.lines;
        }
    }
}

// Puts the notice about dropped text into the FIFO, all of it or nothing
// (half a notice would be one more piece of text cut short). FALSE while it
// does not fit.
bool showDroppedNotice(ShellHandle* sh) {
    const char* const note = droppedNote != nullptr ? droppedNote() : "";
    std::array<char, 160> text{};
    // Cut mid-line, it starts a line of its own; written the other way round
    // from the text's line ends, the break tells as the notice's, not the
    // text's.
    const char* const lead = atLineStart ? "" : "\r\n";
    const int n =
        dropped.lines == 0
            ? std::snprintf(text.data(), text.size(),
                            "%s-- part of a line not shown: the terminal did not keep up%s --\n\r", lead, note)
            : std::snprintf(text.data(), text.size(), "%s-- %lu %s not shown: the terminal did not keep up%s --\n\r",
                            lead, static_cast<unsigned long>(dropped.lines), dropped.lines == 1 ? "line" : "lines",
                            note);
    if (n <= 0 || static_cast<std::size_t>(n) >= text.size() || icFifoFreeRoom(sh->fifoTx) < n) {
        return false;
    }
    (void)icFifoPushBlock(sh->fifoTx, text.data(), static_cast<IcFifoIndex>(n));
    dropped = DroppedText{};
    atLineStart = true;
    return true;
}

// Every character for the screen goes through here. While dropped text has
// not been owned up to, nothing newer may reach the screen before the notice.
void pushToScreen(ShellHandle* sh, const Char* text, std::size_t len) {
    if (sh->fifoTx == nullptr || len == 0) {
        return;  // before the console exists: nothing to report it on either
    }
    if (dropped.any && !showDroppedNotice(sh)) {
        noteDropped(text, len);
        return;
    }
    const IcFifoIndex stored = icFifoPushBlock(sh->fifoTx, text, static_cast<IcFifoIndex>(len));
    if (stored > 0) {
        atLineStart = text[stored - 1] == CHR_NEWLINE || text[stored - 1] == CHR_RETURN;
    }
    if (stored < len) {
        noteDropped(text + stored, len - stored);
    }
}

}  // namespace

// Every newline is followed by a carriage return on the console. The text
// goes into the FIFO in blocks, one lock for many characters.
void shellPutString(ShellHandle* sh, const char* str) {
    constexpr std::size_t kBlock = 256;
    Char block[kBlock + 1];  // room for a newline's return at the end
    std::size_t used = 0;
    for (const char* p = str; *p != CHR_NUL; ++p) {
        block[used++] = *p;
        if (*p == CHR_NEWLINE) {
            block[used++] = CHR_RETURN;
        }
        if (used >= kBlock) {
            pushToScreen(sh, block, used);
            used = 0;
        }
    }
    pushToScreen(sh, block, used);
}

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

// What the terminal gets for a typed byte: printable ASCII as it is, control
// bytes in caret notation (ESC as ^[), bytes above 0x7E as '.'. A pasted
// escape sequence is stored as typed but never reaches the terminal as one.
struct VisibleForm {
    std::array<char, 2> text;
    U8 width;
};

constexpr VisibleForm visibleForm(Char chr) {
    const auto byte = static_cast<U8>(chr);
    if (byte >= 0x20 && byte <= 0x7E) {
        return {{chr, CHR_NUL}, 1};
    }
    if (byte < 0x20) {
        return {{'^', static_cast<char>(byte + 0x40)}, 2};
    }
    return {{'.', CHR_NUL}, 1};
}

void echoChar(ShellHandle* self, Char chr) {
    const VisibleForm shown = visibleForm(chr);
    pushToScreen(self, shown.text.data(), shown.width);
}

void echoLine(ShellHandle* self) {
    for (U8 i = 0; i < self->index; ++i) {
        echoChar(self, self->str[i]);
    }
}

void eraseChar(ShellHandle* self) {
    if (self->index > 0) {
        --self->index;
        const U8 width = visibleForm(self->str[self->index]).width;
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
    echoChar(self, chr);
    self->str[self->index++] = chr;
    self->str[self->index] = CHR_NUL;
}

}  // namespace

void shellEchoLine(ShellHandle* self) { echoLine(self); }

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
    dropped = DroppedText{};
    atLineStart = true;
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
    echoLine(self);
}

ShellApi* shellGetApi() { return &shellInstance.shellApi; }

void shellSetDroppedNote(ShellDroppedNote note) { droppedNote = note; }

Boolean shellShowDroppedNotice() {
    ShellHandle* self = &shellInstance;
    return self->fifoTx != nullptr && dropped.any && showDroppedNotice(self) ? TRUE : FALSE;
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
