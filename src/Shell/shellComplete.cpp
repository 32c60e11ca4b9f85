// Tab completion: of command names, and of the words a command offers for
// its arguments.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>

#include "Shell/shellPrivate.h"

namespace {

Boolean isPrefixOfCommand(const ShellCmdRecord* rec, const Char* typed, U8 len) {
    return std::strncmp(rec->cmd, typed, len) == 0 ? TRUE : FALSE;
}

// Completes the word being typed after a command that offers words for its
// arguments: the word starts after the last blank or comma. FALSE when the
// line holds no such command, so the command name is completed as ever.
bool completeArgument(ShellHandle* self) {
    const char* blank = std::strchr(self->str, ' ');
    if (blank == nullptr) {
        return false;
    }
    const auto nameLength = static_cast<std::size_t>(blank - self->str);
    const ShellCmdRecord* rec = self->cmd;
    while (rec != nullptr && (std::strncmp(rec->cmd, self->str, nameLength) != 0 || rec->cmd[nameLength] != CHR_NUL)) {
        rec = rec->next;
    }
    if (rec == nullptr || rec->completer == nullptr) {
        return false;
    }
    U8 start = self->index;
    while (start > 0 && self->str[start - 1] != ' ' && self->str[start - 1] != ',') {
        --start;
    }
    const std::size_t typed = self->index - start;
    const std::string_view word(self->str + start, typed);

    // A word matches as typed; failing that in any case; failing that by
    // what follows its first underscore (LOCK_S for MSGID_LOCK_STATE). The
    // completed word is spelled as offered, in the form it matched by.
    const auto sameLetters = [&word](std::string_view form, bool anyCase) {
        return form.size() >= word.size() &&
               std::equal(word.begin(), word.end(), form.begin(), [anyCase](char a, char b) {
                   return anyCase ? std::toupper(static_cast<unsigned char>(a)) ==
                                        std::toupper(static_cast<unsigned char>(b))
                                  : a == b;
               });
    };
    const auto candidateAt = [&](const char* offered, int tier) -> std::string_view {
        const std::string_view full(offered);
        if (tier < 2) {
            return sameLetters(full, tier == 1) ? full : std::string_view{};
        }
        const std::size_t underscore = full.find('_');
        if (word.empty() || underscore == std::string_view::npos || !sameLetters(full.substr(underscore + 1), true)) {
            return {};
        }
        return full.substr(underscore + 1);
    };
    int tier = 0;
    for (; tier < 3; ++tier) {
        bool any = false;
        for (std::size_t i = 0; const char* offered = rec->completer(i); ++i) {
            any = any || candidateAt(offered, tier).data() != nullptr;
        }
        if (any) {
            break;
        }
    }
    const auto candidateOf = [&](const char* offered) {
        return tier < 3 ? candidateAt(offered, tier) : std::string_view{};
    };
    std::size_t matches = 0;
    std::string_view first;
    std::size_t shared = 0;  // length of the part all matches have in common
    for (std::size_t i = 0; const char* offered = rec->completer(i); ++i) {
        const std::string_view candidate = candidateOf(offered);
        if (candidate.data() == nullptr) {
            continue;
        }
        if (matches++ == 0) {
            first = candidate;
            shared = candidate.size();
            continue;
        }
        std::size_t same = 0;
        while (same < shared && same < candidate.size() && candidate[same] == first[same]) {
            ++same;
        }
        shared = same;
    }
    if (matches > 1 && shared <= typed && self->lastWasTab == TRUE) {
        shellPutString(self, "\n");
        for (std::size_t i = 0; const char* offered = rec->completer(i); ++i) {
            if (candidateOf(offered).data() != nullptr) {
                shellPutString(self, "\t");
                shellPutString(self, offered);
                shellPutString(self, "\n");
            }
        }
    }
    if (matches > 0 && shared >= typed) {
        // The typed letters take the offered spelling, then the rest follows.
        self->index = start;
        for (std::size_t k = 0; k < shared && self->index < SHELL_MAX_LINE_LEN; ++k) {
            self->str[self->index++] = first[k];
        }
    }
    if (matches == 1 && self->index < SHELL_MAX_LINE_LEN) {
        self->str[self->index++] = ' ';
    }
    self->str[self->index] = CHR_NUL;
    shellPutString(self, "\r > ");
    shellPutString(self, self->str);
    return true;
}

}  // namespace

void shellCompleteLine(ShellHandle* self) {
    self->str[self->index] = CHR_NUL;
    if (completeArgument(self)) {
        self->lastWasTab = TRUE;
        return;
    }
    Boolean differentMatchesFound = FALSE;
    for (;;) {
        U32 matchCnt = 0;
        Char matchNextChar = CHR_NUL;
        for (const ShellCmdRecord* rec = self->cmd; rec != nullptr; rec = rec->next) {
            if (isPrefixOfCommand(rec, self->str, self->index) == FALSE) {
                continue;
            }
            // rec->cmd holds at least `index` characters here, so the one at
            // `index` is at worst its terminator.
            const Char next = rec->cmd[self->index];
            if (matchCnt == 0) {
                matchNextChar = next;
            } else if (next != matchNextChar) {
                differentMatchesFound = TRUE;
                break;
            }
            ++matchCnt;
        }
        if (matchCnt == 0 || differentMatchesFound == TRUE) {
            break;
        }
        if (matchNextChar == CHR_NUL) {
            // Names are unique, so several matches ending here cannot occur;
            // stop rather than step past a terminator if they ever did.
            if (matchCnt == 1 && self->index < SHELL_MAX_LINE_LEN) {
                self->str[self->index++] = ' ';
            }
            break;
        }
        if (self->index >= SHELL_MAX_LINE_LEN) {
            break;
        }
        self->str[self->index++] = matchNextChar;
        self->str[self->index] = CHR_NUL;
    }
    self->str[self->index] = CHR_NUL;

    if (differentMatchesFound == TRUE && self->lastWasTab == TRUE) {
        shellPutString(self, "\n");
        for (const ShellCmdRecord* rec = self->cmd; rec != nullptr; rec = rec->next) {
            if (isPrefixOfCommand(rec, self->str, self->index) == TRUE) {
                shellPutString(self, "\t");
                shellPutString(self, rec->cmd);
                shellPutString(self, "\n");
            }
        }
    }
    shellPutString(self, "\r > ");
    shellEchoLine(self);
    self->lastWasTab = TRUE;
}
