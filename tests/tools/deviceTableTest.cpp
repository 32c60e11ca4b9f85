// The device table against the simulator: decoding a faulty recording with
// devices that left the bus, every device's presence, last lock, door and
// tamper state and its poll figures equal what the simulator sent intact.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/childProcess.h"

namespace {

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::stringstream in(text);
    for (std::string part; std::getline(in, part, separator);) {
        parts.push_back(part);
    }
    return parts;
}

// Device -> column -> cell, from a CSV without quoted cells.
std::map<std::string, std::map<std::string, std::string>> readCsv(const std::string& text) {
    std::map<std::string, std::map<std::string, std::string>> rows;
    const std::vector<std::string> lines = split(text, '\n');
    if (lines.empty()) {
        return rows;
    }
    const std::vector<std::string> header = split(lines[0], ',');
    for (std::size_t i = 1; i < lines.size(); ++i) {
        std::vector<std::string> cells = split(lines[i], ',');
        cells.resize(header.size());
        for (std::size_t c = 0; c < header.size(); ++c) {
            rows[cells[0]][header[c]] = cells[c];
        }
    }
    return rows;
}

TEST(DeviceTableAgainstSim, TheFinalTableIsWhatTheSimulatorSentIntact) {
    zvtest::TempDir tmp;
    const std::string raw = tmp.file("line.bin");
    const std::string summaryFile = tmp.file("summary");
    ASSERT_EQ(zvtest::runProgram({ZV_BUSSIM_BIN, "-o", raw, "-n", "12", "-c", "1700", "-s", "3", "--faults", "0.05",
                                  "--summary", summaryFile, "-q"})
                  .exitStatus,
              0);
    const zvtest::RunResult run = zvtest::runProgram(
        {ZV_SNIFFER_BIN, "-r", raw, "--devices-csv", tmp.file("devices.csv"), "--devices", "--verbosity", "0"});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    const auto table = readCsv(zvtest::readFile(tmp.file("devices.csv")));

    // "state 5 lock LOCK_STATE_LOCKED" -> the cell; "device 5 polls 40 answers
    // 38 missed 2" -> the figures.
    std::size_t offline = 0;
    std::size_t states = 0;
    for (const std::string& line : split(zvtest::readFile(summaryFile), '\n')) {
        const std::vector<std::string> w = split(line, ' ');
        if (w.size() == 4 && w[0] == "state") {
            ASSERT_TRUE(table.count(w[1])) << "device " << w[1] << " is missing";
            EXPECT_EQ(table.at(w[1]).at(w[2]), w[3]) << "device " << w[1] << " " << w[2];
            offline += w[2] == "online" && w[3] == "0" ? 1 : 0;
            ++states;
        } else if (w.size() == 8 && w[0] == "device" && w[2] == "polls") {
            for (std::size_t i = 2; i + 1 < w.size(); i += 2) {
                EXPECT_EQ(table.at(w[1]).at(w[i]), w[i + 1]) << "device " << w[1] << " " << w[i];
            }
        }
    }
    EXPECT_EQ(table.size(), 12U);
    EXPECT_GT(states, 12U * 2);
    EXPECT_GT(offline, 0U) << "the scenario must end with a device off the bus";
    // The console table fits a terminal of 80 columns.
    for (const std::string& line : split(run.out, '\n')) {
        EXPECT_LT(line.size(), 80U) << line;
    }
    EXPECT_NE(run.out.find("OFFLINE "), std::string::npos) << run.out;
}

}  // namespace
