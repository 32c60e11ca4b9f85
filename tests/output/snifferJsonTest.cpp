// JSON Lines from the running program: live with --json -, standard output
// carries the records alone and every one matches the published schema; the
// records count what the simulator sent; a replay of the capture recorded
// alongside gives the same records, to the microsecond.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "support/childProcess.h"

namespace {

using namespace std::chrono_literals;
using zvtest::ChildProcess;

const std::string kSniffer = ZV_SNIFFER_BIN;
const std::string kSchema = std::string(ZV_SOURCE_DIR) + "/doc/records.schema.json";
const std::string kValidator = std::string(ZV_SOURCE_DIR) + "/tests/output/validateRecords.py";

std::size_t countOf(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
}

// "total good N" -> "good" = N; "faults bcc N" -> "bcc" = N;
// "frames 0x28 good N" -> "0x28" = N; "frames empty good N" -> "empty" = N.
std::map<std::string, std::size_t> summaryCounts(const std::string& text) {
    std::map<std::string, std::size_t> counts;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string kind, what, n, good;
        words >> kind >> what >> n >> good;
        if (kind == "frames" && n == "good") {
            counts[what] = std::stoul(good);
        } else if ((kind == "faults" || kind == "total") && !n.empty() &&
                   std::isdigit(static_cast<unsigned char>(n[0])) != 0) {
            counts[what] = std::stoul(n);
        }
    }
    return counts;
}

TEST(JsonLines, LiveRecordsMatchTheSchemaTheSimulatorAndTheReplay) {
    zvtest::TempDir tmp;
    const std::string link = tmp.file("bus");
    const std::string summaryFile = tmp.file("summary");
    const std::string capture = tmp.file("bus.pcap");

    ChildProcess sim;
    ASSERT_TRUE(sim.start({ZV_BUSSIM_BIN, "--link", link, "-b", "115200", "-c", "400", "-s", "5", "--faults", "0.05",
                           "--hold", "--summary", summaryFile, "--delay", "1", "--wait-reader", "30", "-q"}));
    ASSERT_TRUE(zvtest::waitUntil([&] { return std::filesystem::exists(link); })) << sim.stderrText();
    ChildProcess sniffer;
    ASSERT_TRUE(sniffer.start({kSniffer, link, "-b", "115200", "--json", "-", "-w", capture}));
    ASSERT_TRUE(zvtest::waitUntil([&] { return std::filesystem::exists(summaryFile); }, 90s)) << sim.stderrText();
    auto expected = summaryCounts(zvtest::readFile(summaryFile));
    ASSERT_GT(expected["good"], 0U);
    // Empty polls print nothing, so they make no record either.
    const std::size_t telegrams = expected["good"] - expected["empty"];
    zvtest::waitUntil([&] { return countOf(sniffer.stdoutText(), "\"kind\":\"telegram\"") >= telegrams; }, 60s);
    // The console's text and its replies go to standard error.
    ASSERT_TRUE(sniffer.writeStdin("json 1 " + tmp.file("also.json") + "\njson 0\nquit\n"));
    ASSERT_EQ(sniffer.waitExit(), 0) << sniffer.stderrText();
    EXPECT_EQ(sim.waitExit(), 0) << sim.stderrText();
    EXPECT_NE(sniffer.stderrText().find(" application initialized\n"), std::string::npos) << sniffer.stderrText();

    const std::string live = sniffer.stdoutText();
    EXPECT_EQ(countOf(live, "\"kind\":\"telegram\""), telegrams);
    for (const auto& [what, n] : expected) {
        if (what.rfind("0x", 0) == 0) {
            EXPECT_EQ(countOf(live, "\"msg_id\":" + std::to_string(std::stoul(what, nullptr, 16)) + ","), n) << what;
        }
    }
    EXPECT_EQ(countOf(live, "\"reason\":\"wrong_bcc\""), expected["bcc"]);
    std::ofstream(tmp.file("live.json"), std::ios::binary) << live;
    const zvtest::RunResult check =
        zvtest::runProgram({"/usr/bin/python3", kValidator, kSchema, tmp.file("live.json")});
    EXPECT_EQ(check.exitStatus, 0) << check.out << check.err;

    const zvtest::RunResult replay = zvtest::runProgram({kSniffer, "-r", capture, "--json", "-"}, {}, true, 60s);
    ASSERT_EQ(replay.exitStatus, 0) << replay.err;
    EXPECT_TRUE(replay.out == live) << "the replay's records differ from the live ones";

    // The README's questions to a capture run as they stand, on a recording
    // of a scenario in which device 1 unlocks.
    const std::string raw = tmp.file("recipes.bin");
    const std::string recipes = tmp.file("recipes.pcap");
    ASSERT_EQ(zvtest::runProgram({ZV_BUSSIM_BIN, "-o", raw, "-c", "800", "-s", "5", "-b", "115200", "-q"}).exitStatus,
              0);
    ASSERT_EQ(zvtest::runProgram({kSniffer, "-r", raw, "-b", "115200", "-w", recipes, "--verbosity", "0"}).exitStatus,
              0);
    std::istringstream readme(zvtest::readFile(std::string(ZV_SOURCE_DIR) + "/README.md"));
    const std::string recipeStart = "    zelvanEacSniffer -r site.pcap --json - |";
    std::size_t recipesRun = 0;
    for (std::string line; std::getline(readme, line);) {
        if (line.rfind(recipeStart, 0) != 0) {
            continue;
        }
        ++recipesRun;
        const std::string command = kSniffer + " -r '" + recipes + "' --json - |" + line.substr(recipeStart.size());
        const zvtest::RunResult answer = zvtest::runProgram({"/bin/bash", "-o", "pipefail", "-c", command});
        EXPECT_EQ(answer.exitStatus, 0) << line << "\n" << answer.err;
        EXPECT_NE(answer.out, "") << "no rows from " << line;
    }
    EXPECT_EQ(recipesRun, 3U);

    // A filter narrows telegrams and dropped frames alike, by their addresses.
    const zvtest::RunResult five =
        zvtest::runProgram({kSniffer, "-r", capture, "--json", "-", "--filter", "addr 5"}, {}, true, 60s);
    ASSERT_EQ(five.exitStatus, 0) << five.err;
    EXPECT_GT(countOf(five.out, "\"device\":5,"), 0U);
    EXPECT_EQ(countOf(five.out, "\"kind\":\"telegram\""), countOf(five.out, "\"device\":5,\"msg_id\""));
    std::istringstream lines(five.out);
    std::size_t drops = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.find("\"kind\":\"drop\"") != std::string::npos) {
            ++drops;
            EXPECT_TRUE(line.find("\"src\":") == std::string::npos || line.find("\"src\":5,") != std::string::npos ||
                        line.find("\"dst\":5,") != std::string::npos)
                << line;
        }
    }
    EXPECT_GT(drops, 0U);
}

}  // namespace
