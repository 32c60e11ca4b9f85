// Arbitrary typed characters into the line editor, with the application's
// command names registered. Checks that a command always gets a well-formed
// argument list, and that for lines typed without completion it gets exactly
// the words typed (after erasing, and cut at the longest line the editor
// keeps).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Shell/shell.h"
#include "base/hal_types.h"
#include "fifo/icFifo.h"

namespace {

constexpr IcFifoIndex kShellTxSize = 5000;
constexpr IcFifoIndex kShellRxSize = 255;
// Longest line the editor keeps, and the most words it hands over.
constexpr std::size_t kMaxLine = 254;
constexpr std::size_t kMaxWords = 63;

constexpr const char* kCommands[] = {"quit", "exit", "verboseMessages", "logToFile", "rawData", "rawDump"};

struct Fifos {
    Char txBuf[kShellTxSize]{};
    Char rxBuf[kShellRxSize]{};
    Char drain[kShellTxSize]{};
    IcFifoInstance tx{};
    IcFifoInstance rx{};
    Fifos() {
        icFifoInit(&tx, txBuf, kShellTxSize);
        icFifoInit(&rx, rxBuf, kShellRxSize);
    }
};

Fifos* fifos = nullptr;

// What the operator typed on the current line, as the editor should hold it;
// `completed` once a tab may have changed it in ways this model does not
// follow.
struct LineModel {
    std::string text;
    bool completed = false;
};

LineModel line;
std::vector<std::string> lastArgs;
bool commandRan = false;

[[noreturn]] void fail(const char* what, const std::string& detail = {}) {
    std::fprintf(stderr, "shellFuzz: %s %s\n", what, detail.c_str());
    std::abort();
}

const char* onCommand(U8 argc, char** argv, void* cbArg) {
    if (argv == nullptr || argc == 0 || argc > kMaxWords || argv[argc] != nullptr) {
        fail("malformed argument list");
    }
    lastArgs.clear();
    for (U8 i = 0; i < argc; ++i) {
        if (argv[i] == nullptr || argv[i][0] == '\0' || std::strchr(argv[i], ' ') != nullptr) {
            fail("malformed word");
        }
        lastArgs.emplace_back(argv[i]);
    }
    commandRan = true;
    // An answer with line ends, as the real commands give.
    return static_cast<const char*>(cbArg);
}

std::vector<std::string> splitWords(const std::string& text) {
    std::vector<std::string> words;
    std::size_t pos = 0;
    while (pos < text.size() && words.size() < kMaxWords) {
        while (pos < text.size() && text[pos] == ' ') {
            ++pos;
        }
        if (pos == text.size()) {
            break;
        }
        const std::size_t end = text.find(' ', pos);
        words.push_back(text.substr(pos, end == std::string::npos ? std::string::npos : end - pos));
        pos = end == std::string::npos ? text.size() : end;
    }
    return words;
}

bool isRegistered(const std::string& word) {
    if (word == "help") {
        return true;
    }
    for (const char* cmd : kCommands) {
        if (word == cmd) {
            return true;
        }
    }
    return false;
}

// Follows the editor for one typed character; on Enter compares what the
// command received with the words typed.
void modelBefore(Char chr) {
    switch (chr) {
        case '\n':
        case '\0':
            break;
        case '\b':
        case 127:
            if (!line.text.empty()) {
                line.text.pop_back();
            }
            break;
        case '\t':
            line.completed = true;
            break;
        case '\r':
            commandRan = false;
            break;
        default:
            if (line.text.size() < kMaxLine) {
                line.text.push_back(chr);
            }
            break;
    }
}

void modelAfter(Char chr) {
    if (chr != '\r') {
        return;
    }
    if (!line.completed) {
        const std::vector<std::string> words = splitWords(line.text);
        // `help` goes to the shell's own command, not to ours.
        const bool ours = !words.empty() && words[0] != "help" && isRegistered(words[0]);
        if (ours != commandRan) {
            fail("command ran or did not run against the typed line:", line.text);
        }
        if (ours && words != lastArgs) {
            fail("command got other words than typed:", line.text);
        }
    }
    line = LineModel{};
}

// Typed characters reach the input FIFO in bursts, as from the console
// thread. Output is taken away before it could fill the FIFO: no single
// character makes the shell print anywhere near this much.
constexpr IcFifoIndex kDrainAbove = kShellTxSize / 2;

void drainOutput() {
    while (icFifoPopBlock(&fifos->tx, kShellTxSize, fifos->drain) != 0) {
    }
}

void type(const Char* chars, std::size_t count) {
    icFifoPushBlock(&fifos->rx, chars, static_cast<IcFifoIndex>(count));
    for (std::size_t i = 0; i < count; ++i) {
        modelBefore(chars[i]);
        shellExe();
        modelAfter(chars[i]);
        if (icFifoCharsToPop(&fifos->tx) > kDrainAbove) {
            drainOutput();
        }
    }
    if (icFifoCharsToPop(&fifos->rx) != 0) {
        fail("the shell left typed characters in its input");
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    fifos = new Fifos();  // FIFOs own OS objects; made once for the whole run
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    icFifoReset(&fifos->rx);
    shellInit(nullptr, &fifos->tx, &fifos->rx);
    static constexpr const char* kAnswer = " ok\n";
    for (const char* cmd : kCommands) {
        shellApi->reg(shellApi->sh, cmd, "help text\n", onCommand, const_cast<char*>(kAnswer));
    }
    line = LineModel{};
    drainOutput();

    // The FIFO keeps one slot free.
    constexpr std::size_t kBurst = kShellRxSize - 1;
    for (std::size_t done = 0; done < size; done += kBurst) {
        const std::size_t count = size - done < kBurst ? size - done : kBurst;
        type(reinterpret_cast<const Char*>(data + done), count);
    }
    // Ends whatever line is still open, so its command runs too.
    const Char enter = '\r';
    type(&enter, 1);
    drainOutput();
    return 0;
}
