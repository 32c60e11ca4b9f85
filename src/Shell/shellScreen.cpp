// What the shell puts on the screen: text with its line ends, the typed
// line as it may be shown, and the notice for text a slow screen lost.
#include <array>
#include <cstdio>

#include "Shell/shellPrivate.h"

namespace {

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

}  // namespace

void shellEchoChar(ShellHandle* self, Char chr) {
    const VisibleForm shown = visibleForm(chr);
    pushToScreen(self, shown.text.data(), shown.width);
}

void shellEchoLine(ShellHandle* self) {
    for (U8 i = 0; i < self->index; ++i) {
        shellEchoChar(self, self->str[i]);
    }
}

U8 shellVisibleWidth(Char chr) { return visibleForm(chr).width; }

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

void shellScreenReset() {
    dropped = DroppedText{};
    atLineStart = true;
}

bool shellScreenShowDroppedNotice(ShellHandle* sh) {
    return sh->fifoTx != nullptr && dropped.any && showDroppedNotice(sh);
}

void shellSetDroppedNote(ShellDroppedNote note) { droppedNote = note; }
