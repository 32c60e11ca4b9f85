// The live device table on a real terminal (tmux): a device's new lock
// state shows within a second, q leaves the view (ending the sniffer when
// it started with --top, back to the console after top) and the terminal is
// given back; without a terminal --top refuses. Played by the simulator,
// the table ends with every device's last state as the simulator sent it.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/childProcess.h"
#include "support/ptyPair.h"

namespace {

using namespace std::chrono_literals;

const std::string kSniffer = ZV_SNIFFER_BIN;
const std::string kTmux = "/usr/bin/tmux";  // scripts/setup.sh installs it
const std::string kLocked("\x02\x00\x05\x02\xa3\x02\xa6\x03", 8);
const std::string kUnlocked("\x02\x00\x05\x02\xa3\x01\xa5\x03", 8);

class Tmux {
public:
    explicit Tmux(const std::string& command) : name_("zvtop" + std::to_string(::getpid())) {
        ok_ = run({"new-session", "-d", "-s", name_, "-x", "100", "-y", "20", command + "; echo EXIT=$?; sleep 60"})
                  .exitStatus == 0;
    }
    ~Tmux() { (void)run({"kill-session", "-t", name_}); }
    bool ok() const { return ok_; }
    std::string screen() { return run({"capture-pane", "-p", "-t", name_}).out; }
    bool keys(const std::string& keys) { return run({"send-keys", "-t", name_, "-l", keys}).exitStatus == 0; }
    bool enter() { return run({"send-keys", "-t", name_, "Enter"}).exitStatus == 0; }
    bool alternateScreen() { return run({"display-message", "-p", "-t", name_, "#{alternate_on}"}).out == "1\n"; }
    bool shows(const std::string& text, std::chrono::milliseconds within = 10s) {
        return zvtest::waitUntil([&] { return screen().find(text) != std::string::npos; }, within);
    }

private:
    static zvtest::RunResult run(std::vector<std::string> args) {
        args.insert(args.begin(), kTmux);
        return zvtest::runProgram(args);
    }
    std::string name_;
    bool ok_ = false;
};

bool haveTmux() { return std::filesystem::exists(kTmux); }

TEST(SnifferTop, ShowsAChangeWithinASecondAndQEndsTheSniffer) {
    if (!haveTmux()) {
        GTEST_SKIP() << "tmux is not installed";
    }
    PtyPair port;
    ASSERT_TRUE(port.ok()) << port.error();
    Tmux tmux(kSniffer + " " + port.slavePath() + " --top");
    ASSERT_TRUE(tmux.ok());
    ASSERT_TRUE(tmux.shows("q quit")) << tmux.screen();
    EXPECT_TRUE(tmux.alternateScreen());
    ASSERT_TRUE(port.write(kLocked));
    EXPECT_TRUE(tmux.shows("LOCKED", 1500ms)) << tmux.screen();
    EXPECT_TRUE(tmux.shows("online", 100ms)) << tmux.screen();
    ASSERT_TRUE(port.write(kUnlocked));
    EXPECT_TRUE(tmux.shows("UNLOCKED", 1500ms)) << tmux.screen();
    ASSERT_TRUE(tmux.keys("q"));
    EXPECT_TRUE(tmux.shows("EXIT=0")) << tmux.screen();
    EXPECT_FALSE(tmux.alternateScreen());
}

TEST(SnifferTop, QReturnsToTheConsoleAfterTop) {
    if (!haveTmux()) {
        GTEST_SKIP() << "tmux is not installed";
    }
    PtyPair port;
    ASSERT_TRUE(port.ok()) << port.error();
    Tmux tmux(kSniffer + " " + port.slavePath());
    ASSERT_TRUE(tmux.ok());
    ASSERT_TRUE(tmux.shows("application initialized")) << tmux.screen();
    ASSERT_TRUE(tmux.keys("top"));
    ASSERT_TRUE(tmux.enter());
    ASSERT_TRUE(tmux.shows("q quit")) << tmux.screen();
    ASSERT_TRUE(port.write(kLocked));
    EXPECT_TRUE(tmux.shows("LOCKED", 1500ms)) << tmux.screen();
    ASSERT_TRUE(tmux.keys("q"));
    ASSERT_TRUE(zvtest::waitUntil([&] { return !tmux.alternateScreen(); }));
    // The console is back and takes commands.
    ASSERT_TRUE(tmux.keys("devices"));
    ASSERT_TRUE(tmux.enter());
    EXPECT_TRUE(tmux.shows("addr kind")) << tmux.screen();
    ASSERT_TRUE(tmux.keys("quit"));
    ASSERT_TRUE(tmux.enter());
    EXPECT_TRUE(tmux.shows("EXIT=0")) << tmux.screen();
}

// The screen's cell of each device and column title, found by the titles'
// positions in the column line.
std::map<std::string, std::map<std::string, std::string>> tableCells(const std::string& screen) {
    std::map<std::string, std::map<std::string, std::string>> cells;
    std::istringstream lines(screen);
    std::string titles;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("addr kind", 0) == 0) {
            titles = line;
            continue;
        }
        std::istringstream words(line);
        std::string address;
        if (titles.empty() || !(words >> address) || address.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        std::istringstream columns(titles);
        for (std::string title; columns >> title;) {
            const std::size_t at = titles.find(" " + title + " ");
            if (at != std::string::npos && at + 1 < line.size()) {
                std::istringstream cell(line.substr(at + 1));
                cell >> cells[address][title];
            }
        }
    }
    return cells;
}

TEST(SnifferTop, ShowsEveryDevicesFinalStateFromTheSimulator) {
    if (!haveTmux()) {
        GTEST_SKIP() << "tmux is not installed";
    }
    zvtest::TempDir tmp;
    const std::string link = tmp.file("bus");
    const std::string summaryFile = tmp.file("summary");
    // With this seed device 1 locks and later unlocks: the table must show
    // the last of its states, not the first.
    zvtest::ChildProcess sim;
    ASSERT_TRUE(sim.start({ZV_BUSSIM_BIN, "--link", link, "-b", "115200", "-n", "6", "-s", "3", "-c", "300", "--fps",
                           "120", "--hold", "--summary", summaryFile, "--wait-reader", "30", "-q"}));
    ASSERT_TRUE(zvtest::waitUntil([&] { return std::filesystem::exists(link); })) << sim.stderrText();
    Tmux tmux(kSniffer + " " + link + " -b 115200 --top");
    ASSERT_TRUE(tmux.ok());
    ASSERT_TRUE(tmux.shows("q quit")) << tmux.screen();
    ASSERT_TRUE(zvtest::waitUntil([&] { return std::filesystem::exists(summaryFile); }, 60s)) << sim.stderrText();

    // "state 1 lock LOCK_STATE_UNLOCKED" -> device 1 shows UNLOCKED under
    // "lock"; "state 2 online 0" -> OFFLINE under "state". A state the
    // device never sent shows as "-".
    std::map<std::string, std::map<std::string, std::string>> expected;
    std::istringstream summary(zvtest::readFile(summaryFile));
    for (std::string line; std::getline(summary, line);) {
        std::istringstream words(line);
        std::string kind, address, what, value;
        if (!(words >> kind >> address >> what >> value) || kind != "state") {
            continue;
        }
        if (what == "online") {
            expected[address]["state"] = value == "1" ? "online" : "OFFLINE";
            for (const char* column : {"lock", "door", "tamper"}) {
                expected[address].emplace(column, "-");
            }
        } else {
            expected[address][what] = value.substr(value.rfind("STATE_") + 6);
        }
    }
    ASSERT_EQ(expected.size(), 6U) << zvtest::readFile(summaryFile);
    ASSERT_EQ(expected["1"]["lock"], "UNLOCKED") << "the scenario has changed";
    ASSERT_EQ(expected["1"]["door"], "CLOSED") << "the scenario has changed";

    const auto shown = [&] {
        const auto cells = tableCells(tmux.screen());
        for (const auto& [address, states] : expected) {
            for (const auto& [column, value] : states) {
                if (!cells.count(address) || !cells.at(address).count(column) ||
                    cells.at(address).at(column) != value) {
                    return false;
                }
            }
        }
        return true;
    };
    // Within a second, and the time to read the screen back on a busy machine.
    EXPECT_TRUE(zvtest::waitUntil(shown, 1500ms)) << tmux.screen() << zvtest::readFile(summaryFile);

    ASSERT_TRUE(tmux.keys("q"));
    EXPECT_TRUE(tmux.shows("EXIT=0")) << tmux.screen();
    EXPECT_FALSE(tmux.alternateScreen());
    EXPECT_EQ(sim.waitExit(), 0) << sim.stderrText();
}

TEST(SnifferTop, RefusesWithoutATerminal) {
    PtyPair port;
    ASSERT_TRUE(port.ok()) << port.error();
    const zvtest::RunResult run = zvtest::runProgram({kSniffer, port.slavePath(), "--top"});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.err, kSniffer + ": option --top: standard input and output must be a terminal\n");
    EXPECT_EQ(run.out, "");
}

}  // namespace
