#include "Shell/shell.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fifo/icFifo.h"
#include "hal/include/icLocalTime.h"

namespace {

// A FIFO cannot be destroyed, so these are set up once and emptied per test.
Char txBuffer[5000];
Char rxBuffer[255];
IcFifoInstance fifoTx{};
IcFifoInstance fifoRx{};

struct Call {
    int argc;
    std::vector<std::string> argv;
    bool terminated;
};
std::vector<Call> calls;

const char* recordCall(U8 argc, char** argv, void* answer) {
    calls.push_back({argc, {}, argv[argc] == nullptr});
    for (int i = 0; i < argc && argv[i] != nullptr; ++i) {
        calls.back().argv.emplace_back(argv[i]);
    }
    return static_cast<const char*>(answer);
}

ShellResCodes reg(const char* cmd, const char* answer = nullptr, const char* help = "") {
    return shellApi->reg(shellApi->sh, cmd, help, recordCall, const_cast<char*>(answer));
}

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override {
        static const bool fifosReady = [] {
            icFifoInit(&fifoTx, txBuffer, sizeof txBuffer);
            icFifoInit(&fifoRx, rxBuffer, sizeof rxBuffer);
            return true;
        }();
        (void)fifosReady;
        icFifoReset(&fifoTx);
        icFifoReset(&fifoRx);
        calls.clear();
        shellInit(nullptr, &fifoTx, &fifoRx);
        initialOutput = drain();
    }
    void TearDown() override { icLocalTimeSetSource(nullptr); }

    static std::string drain() {
        std::string out;
        while (icFifoCharsToPop(&fifoTx) != 0) {
            out.push_back(icFifoPopChar(&fifoTx));
        }
        return out;
    }
    // Keys arrive through the input FIFO as the console thread delivers them.
    static std::string type(const std::string& keys) {
        for (const char key : keys) {
            icFifoPushChar(&fifoRx, key);
            shellExe();
        }
        return drain();
    }
    static void registerSystemCommands() {
        for (const char* name : {"quit", "exit", "verboseMessages", "logToFile", "rawData"}) {
            ASSERT_EQ(reg(name, nullptr, "usage: logToFile 1 FILENAME"), SHELL_RES_OK);
        }
    }

    std::string initialOutput;
};

struct KeysCase {
    const char* name;
    std::string keys;
    std::string output;
};

TEST_F(ShellTest, AnnouncesItselfAndTakesOneKeyPerPass) {
    EXPECT_EQ(initialOutput, " shell online\n\r");
    icFifoPushChar(&fifoRx, 'a');
    icFifoPushChar(&fifoRx, 'b');
    shellExe();
    EXPECT_EQ(drain(), "a");
}

TEST_F(ShellTest, LineEditor) {
    registerSystemCommands();
    ASSERT_EQ(reg("pct", "100% done\n"), SHELL_RES_OK);
    const KeysCase cases[] = {
        {"echo", "ab", "ab"},
        // A pasted escape sequence must not reach the terminal as one.
        {"control bytes echo in caret notation", "\x01\x1b[?25l", "^A^[[?25l"},
        {"bytes above 0x7e echo as dots", "\xc3\xbc\x9b", "..."},
        {"erasing a control byte clears both columns", "a\x1b\b", "a^[\b\b  \b\b"},
        {"newline and nul are ignored", std::string("a\n\0b", 4), "ab"},
        {"backspace on empty line", "\b", " \b"},
        {"delete on empty line", "\x7f", " \b"},
        {"backspace past the start", "ab\b\b\b", "ab\b \b\b \b \b"},
        {"empty line", "\r", "\n\r > "},
        {"only spaces", "   \r", "   \n\r > "},
        {"unknown command", "nosuch\r", "nosuch\n\r Command not found\n\r > "},
        {"erased command is not run", "quit\b\b\b\b\r", "quit\b \b\b \b\b \b\b \b\n\r > "},
        {"answer printed as text", "pct\r", "pct\n\r100% done\n\r > "},
        {"help", "help\r",
         "help\n\r Available commands:\n\r\thelp\n\r\tquit\n\r\texit\n\r\tverboseMessages\n\r\tlogToFile\n\r"
         "\trawData\n\r\tpct\n\r > "},
        {"help for a command", "help logToFile\r", "help logToFile\n\rusage: logToFile 1 FILENAME > "},
        {"help help, extra word", "help help x\r", "help help x\n\ruse 'help <cmd>' for additional help > "},
        {"help for unknown command", "help nosuch\r", "help nosuch\n\r > "},
    };
    for (const KeysCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(type(c.keys), c.output);
        type("\r");  // next case starts on an empty line
    }
    EXPECT_EQ(calls.size(), 1u);  // only pct ran
    type("quit \x1b[4h\r");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].argv.at(1), "\x1b[4h");  // stored as typed
}

TEST_F(ShellTest, SplitsWordsAndBoundsArgv) {
    registerSystemCommands();
    std::string many = "quit";
    for (int i = 1; i <= 70; ++i) {
        // Appending piece by piece: g++ 12 at -O2 reports a false overlap
        // (-Wrestrict) for a literal plus a temporary string.
        many += ' ';
        many += std::to_string(i);
    }
    type("   quit   now  \r" + many + "\r");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].argc, 2);
    EXPECT_EQ(calls[0].argv, (std::vector<std::string>{"quit", "now"}));
    EXPECT_TRUE(calls[0].terminated);
    // Words past the 63rd are dropped.
    EXPECT_EQ(calls[1].argc, 63);
    EXPECT_EQ(calls[1].argv.back(), "62");
    EXPECT_TRUE(calls[1].terminated);
}

TEST_F(ShellTest, LineStopsAt254Characters) {
    registerSystemCommands();
    const std::string typed = "quit " + std::string(260, 'x');
    EXPECT_EQ(type(typed), typed.substr(0, 254));
    EXPECT_EQ(type("\byz"), "\b \by");  // a deletion makes room for one
    type("\r");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].argv.at(1), std::string(248, 'x') + "y");
}

const char* unregSelf(U8, char**, void*) {
    shellApi->unreg(shellApi->sh, "gone");
    return "bye\n";
}

TEST_F(ShellTest, RegistryKeepsOrderAndRefusesDuplicates) {
    EXPECT_EQ(reg("a"), SHELL_RES_OK);
    EXPECT_EQ(reg("b"), SHELL_RES_OK);
    EXPECT_EQ(reg("c"), SHELL_RES_OK);
    EXPECT_EQ(reg("b"), SHELL_RES_ALREADY_REGISTERED);
    EXPECT_EQ(reg("help"), SHELL_RES_ALREADY_REGISTERED);
    EXPECT_EQ(reg("B"), SHELL_RES_OK);
    EXPECT_EQ(reg(nullptr), SHELL_RES_FAIL);
    EXPECT_EQ(shellApi->unreg(shellApi->sh, "b"), SHELL_RES_OK);
    EXPECT_EQ(shellApi->unreg(shellApi->sh, "b"), SHELL_RES_FAIL);
    EXPECT_EQ(type("help\r"), "help\n\r Available commands:\n\r\thelp\n\r\ta\n\r\tc\n\r\tB\n\r > ");

    // A command may remove itself while it runs.
    ASSERT_EQ(shellApi->reg(shellApi->sh, "gone", "", unregSelf, nullptr), SHELL_RES_OK);
    EXPECT_EQ(type("gone\r"), "gone\n\rbye\n\r > ");
    EXPECT_EQ(type("gone\r"), "gone\n\r Command not found\n\r > ");

    // A new start forgets (and frees) everything but help.
    shellInit(nullptr, &fifoTx, &fifoRx);
    EXPECT_EQ(drain(), " shell online\n\r");
    EXPECT_EQ(type("help\r"), "help\n\r Available commands:\n\r\thelp\n\r > ");
}

TEST_F(ShellTest, TabCompletion) {
    registerSystemCommands();
    ASSERT_EQ(reg("abcd"), SHELL_RES_OK);
    ASSERT_EQ(reg("abce"), SHELL_RES_OK);
    const std::string listing = "\n\r\tabcd\n\r\tabce\n\r\r > abc";
    const KeysCase cases[] = {
        {"unique prefix", "qu\t", "qu\r > quit "},
        {"whole command", "quit\t", "quit\r > quit "},
        {"ambiguous prefix extends to shared part", "a\t", "a\r > abc"},
        {"second tab lists candidates", "a\t\t", "a\r > abc" + listing},
        {"third tab lists again", "abc\t\t\t", "abc\r > abc" + listing + listing},
        {"another key in between", "a\t\b\t", "a\r > abc\b \b\r > abc"},
        {"no match", "zz\t\t", "zz\r > zz\r > zz"},
        {"redraw shows control bytes in caret notation", "\x1bq\t", "^[q\r > ^[q"},
        {"only the first word", "quit q\t", "quit q\r > quit q"},
        {"empty line", "\t\t",
         "\r > \n\r\thelp\n\r\tquit\n\r\texit\n\r\tverboseMessages\n\r\tlogToFile\n\r\trawData\n\r\tabcd\n\r"
         "\tabce\n\r\r > "},
    };
    for (const KeysCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(type(c.keys), c.output);
        type("\r");
    }
    calls.clear();
    type("verb\tnow\r");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].argv, (std::vector<std::string>{"verboseMessages", "now"}));
}

const char* pickWord(std::size_t index) {
    constexpr const char* kWords[] = {"alpha", "alpine", "beta", "MSGID_LOCK_STATE", "MSGID_LOCK_SET", "MSGID_DOOR"};
    return index < std::size(kWords) ? kWords[index] : nullptr;
}

TEST_F(ShellTest, ArgumentCompletion) {
    registerSystemCommands();
    ASSERT_EQ(reg("pick"), SHELL_RES_OK);
    ASSERT_EQ(shellSetArgCompleter("pick", pickWord), SHELL_RES_OK);
    EXPECT_EQ(shellSetArgCompleter("nope", pickWord), SHELL_RES_FAIL);
    const KeysCase cases[] = {
        {"unique word", "pick b\t", "pick b\r > pick beta "},
        {"shared part", "pick a\t", "pick a\r > pick alp"},
        {"second tab lists", "pick alp\t\t", "pick alp\r > pick alp\n\r\talpha\n\r\talpine\n\r\r > pick alp"},
        {"after a comma", "pick x,b\t", "pick x,b\r > pick x,beta "},
        {"no match", "pick z\t", "pick z\r > pick z"},
        {"other commands keep their own", "quit a\t", "quit a\r > quit a"},
        {"command name first", "pi\t", "pi\r > pick "},
        {"any case, spelled as offered", "pick msgid_d\t", "pick msgid_d\r > pick MSGID_DOOR "},
        {"by what follows the first underscore", "pick lock_st\t", "pick lock_st\r > pick LOCK_STATE "},
        {"short form shared part", "pick lock\t", "pick lock\r > pick LOCK_S"},
        {"any case when nothing matches as typed", "pick B\t", "pick B\r > pick beta "},
    };
    for (const KeysCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(type(c.keys), c.output);
        type("\r");
    }
}

TEST_F(ShellTest, CompletionStopsAtTheLineLimit) {
    static const std::string longName(300, 'l');
    ASSERT_EQ(reg(longName.c_str()), SHELL_RES_OK);
    type(std::string(250, 'l'));
    EXPECT_EQ(type("\t"), "\r > " + std::string(254, 'l'));
    EXPECT_EQ(type("\tm"), "\r > " + std::string(254, 'l'));
}

TEST_F(ShellTest, PrintfAndTimeStamp) {
    EXPECT_EQ(shellApi->printf(shellApi->sh, "x=%d\n%s\n", 5, "100%"), SHELL_RES_OK);
    EXPECT_EQ(drain(), "x=5\n\r100%\n\r");
    shellApi->printf(nullptr, "%s", std::string(400, 'p').c_str());
    EXPECT_EQ(drain(), std::string(299, 'p'));  // cut at the buffer, not overrun
    icLocalTimeSetSource([](IcLocalTime* out) { *out = IcLocalTime{2024, 1, 31, 13, 5, 9, 42}; });
    shellApi->printTimeStamp(shellApi->sh);
    EXPECT_EQ(drain(), "\r (2024-01-31 13:05:09.042) ");
}

struct DroppedCase {
    const char* name;
    ShellDroppedNote note;
    int room;             // what the FIFO takes before it is full
    const char* printed;  // one printf each, until some is dropped
    int times;
    bool fromMainLoop;  // the notice goes out before anything else is printed
    std::string shown;  // after what filled the FIFO
};

// A screen that does not keep up loses text; the next text that reaches it
// is preceded by a line that says how many lines are missing, never
// overtaken by newer text and never cut short itself.
TEST_F(ShellTest, DroppedTextIsOwnedUpToBeforeTheNextText) {
    constexpr int kFifoRoom = sizeof txBuffer - 1;
    const auto logOn = []() -> const char* { return " (the log file has them)"; };
    const DroppedCase cases[] = {
        {"cut mid-line", logOn, 14, "abcd\n", 5, false,
         "abcd\n\rabcd\n\rab\r\n-- 4 lines not shown: the terminal did not keep up (the log file has them) --\n\r"},
        {"cut at a line end", nullptr, 12, "abcd\n", 5, true,
         "abcd\n\rabcd\n\r-- 4 lines not shown: the terminal did not keep up --\n\r"},
        {"one line", nullptr, 0, "abcd\n", 1, false, "-- 2 lines not shown: the terminal did not keep up --\n\r"},
        {"no line end lost", nullptr, 3, "abcd", 1, true,
         "abc\r\n-- 1 line not shown: the terminal did not keep up --\n\r"},
    };
    for (const DroppedCase& c : cases) {
        SCOPED_TRACE(c.name);
        shellSetDroppedNote(c.note);
        const std::string filler(static_cast<std::size_t>(kFifoRoom - c.room), 'f');
        ASSERT_EQ(icFifoPushBlock(&fifoTx, filler.data(), static_cast<IcFifoIndex>(filler.size())), filler.size());
        for (int i = 0; i < c.times; ++i) {
            shellApi->printf(shellApi->sh, "%s", c.printed);
        }
        // Room for a few characters but not for the notice: newer text must
        // not slip in ahead of it, and is counted with the rest.
        std::string screen;
        for (int i = 0; i < 10; ++i) {
            screen.push_back(icFifoPopChar(&fifoTx));
        }
        shellApi->printf(shellApi->sh, "late\n");
        screen += drain();
        if (c.fromMainLoop) {
            EXPECT_EQ(shellShowDroppedNotice(), TRUE);
        }
        shellApi->printf(shellApi->sh, "next\n");
        screen += drain();
        EXPECT_EQ(screen, filler + c.shown + "next\n\r");
        EXPECT_EQ(shellShowDroppedNotice(), FALSE);
    }
    shellSetDroppedNote(nullptr);
}

}  // namespace
