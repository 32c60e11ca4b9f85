// Bus statistics end to end: the simulator plays a faulty line into the
// sniffer, whose figures must equal the simulator's summary exactly while a
// filter narrows what it prints; and answer times of frames written with
// chosen pauses.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/childProcess.h"
#include "support/frameEncoder.h"
#include "support/ptyPair.h"

namespace {

using namespace std::chrono_literals;
using zvtest::ChildProcess;

const std::string kSim = ZV_BUSSIM_BIN;
const std::string kSniffer = ZV_SNIFFER_BIN;

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::stringstream in(text);
    for (std::string part; std::getline(in, part, separator);) {
        parts.push_back(part);
    }
    return parts;
}

// The sniffer's CSV: named figures per device, and of the line.
struct Csv {
    std::map<int, std::map<std::string, std::string>> devices;
    std::map<std::string, std::string> line;
    bool complete = false;

    unsigned device(int address, const std::string& name) const {
        const auto d = devices.find(address);
        if (d == devices.end() || !d->second.count(name) || d->second.at(name).empty()) {
            return 0;
        }
        return static_cast<unsigned>(std::stoul(d->second.at(name)));
    }
    unsigned lineFigure(const std::string& name) const {
        return line.count(name) ? static_cast<unsigned>(std::stoul(line.at(name))) : ~0U;
    }
};

Csv parseCsv(const std::string& text) {
    Csv csv;
    const std::vector<std::string> rows = split(text, '\n');
    std::size_t r = 0;
    if (rows.empty()) {
        return csv;
    }
    const std::vector<std::string> names = split(rows[r++], ',');
    for (; r < rows.size() && !rows[r].empty(); ++r) {
        const std::vector<std::string> cells = split(rows[r], ',');
        for (std::size_t c = 0; c < names.size() && c < cells.size(); ++c) {
            csv.devices[std::stoi(cells[0])][names[c]] = cells[c];
        }
    }
    // A blank row, then the line's header and figures.
    if (r + 2 < rows.size()) {
        const std::vector<std::string> lineNames = split(rows[r + 1], ',');
        const std::vector<std::string> lineCells = split(rows[r + 2], ',');
        for (std::size_t c = 0; c < lineNames.size() && c < lineCells.size(); ++c) {
            csv.line[lineNames[c]] = lineCells[c];
        }
        csv.complete = lineCells.size() == lineNames.size() && text.back() == '\n';
    }
    return csv;
}

// The simulator's summary, the lines this test needs.
struct Summary {
    std::map<int, std::map<std::string, unsigned>> devices;  // polls, answers, missed, online, offline, "to 0xa2"...
    std::map<std::string, unsigned> figures;                 // "drops bcc", "noise bytes", "total good", "faults pause"
};

Summary parseSummary(const std::string& text) {
    Summary summary;
    for (const std::string& line : split(text, '\n')) {
        const std::vector<std::string> w = split(line, ' ');
        if (w.size() == 8 && w[0] == "device" && w[2] == "polls") {
            for (std::size_t i = 2; i + 1 < w.size(); i += 2) {
                summary.devices[std::stoi(w[1])][w[i]] = static_cast<unsigned>(std::stoul(w[i + 1]));
            }
        } else if (w.size() == 5 && w[0] == "device") {
            summary.devices[std::stoi(w[1])][w[2] + " " + w[3]] = static_cast<unsigned>(std::stoul(w[4]));
        } else if (w.size() == 7 && w[0] == "reports") {
            summary.devices[std::stoi(w[2])]["online"] = static_cast<unsigned>(std::stoul(w[4]));
            summary.devices[std::stoi(w[2])]["offline"] = static_cast<unsigned>(std::stoul(w[6]));
        } else if (w.size() == 3) {
            summary.figures[w[0] + " " + w[1]] = static_cast<unsigned>(std::stoul(w[2]));
        }
    }
    return summary;
}

// Asks the running sniffer for its figures until `done` holds for them.
class StatsProbe {
public:
    StatsProbe(ChildProcess& sniffer, const zvtest::TempDir& tmp) : sniffer_(sniffer), tmp_(tmp) {}

    template <typename Done>
    Csv until(Done done, std::chrono::milliseconds timeout) {
        Csv csv;
        zvtest::waitUntil(
            [&] {
                const std::string file = tmp_.file("stats" + std::to_string(++asked_) + ".csv");
                if (!sniffer_.writeStdin("stats csv " + file + "\n")) {
                    return true;
                }
                zvtest::waitUntil([&] { return parseCsv(zvtest::readFile(file)).complete; }, 5s);
                csv = parseCsv(zvtest::readFile(file));
                if (done(csv)) {
                    return true;
                }
                std::this_thread::sleep_for(200ms);
                return false;
            },
            timeout);
        return csv;
    }

private:
    ChildProcess& sniffer_;
    const zvtest::TempDir& tmp_;
    int asked_ = 0;
};

TEST(BusStatsAgainstSim, EveryFigureEqualsTheSummaryWhileAFilterNarrowsThePrinting) {
    zvtest::TempDir tmp;
    const std::string link = tmp.file("bus");
    const std::string summaryFile = tmp.file("summary");
    const std::string logFile = tmp.file("sniffer.log");

    ChildProcess sim;
    ASSERT_TRUE(sim.start({kSim, "--link", link, "-b", "115200", "-c", "800", "-s", "11", "--faults", "0.05", "--hold",
                           "--summary", summaryFile, "--delay", "1", "--wait-reader", "30", "-q"}));
    ASSERT_TRUE(zvtest::waitUntil([&] { return std::filesystem::exists(link); })) << sim.stderrText();

    ChildProcess sniffer;
    ASSERT_TRUE(
        sniffer.start({kSniffer, link, "-b", "115200", "--filter", "addr 7", "--raw", "--log", logFile, "--stats"}));
    ASSERT_TRUE(sniffer.waitForStdout(" application initialized\n")) << sniffer.stdoutText() << sniffer.stderrText();

    ASSERT_TRUE(zvtest::waitUntil([&] { return std::filesystem::exists(summaryFile); }, 90s)) << sim.stderrText();
    const Summary summary = parseSummary(zvtest::readFile(summaryFile));
    for (const char* fault : {"faults bcc", "faults etx", "faults noise", "faults pause"}) {
        ASSERT_GT(summary.figures.at(fault), 0U) << fault << ": the run must hold every kind of fault";
    }

    // Done once the last byte is counted and the line has been quiet long
    // enough to end a trailing run of noise.
    StatsProbe probe(sniffer, tmp);
    const Csv csv = probe.until(
        [&](const Csv& c) {
            return c.lineFigure("bytes") == summary.figures.at("total bytes") &&
                   c.lineFigure("noise_bytes") == summary.figures.at("noise bytes");
        },
        30s);

    EXPECT_EQ(csv.lineFigure("bytes"), summary.figures.at("total bytes"));
    EXPECT_EQ(csv.lineFigure("frames"), summary.figures.at("total good"));
    EXPECT_EQ(csv.lineFigure("dropped_bcc"), summary.figures.at("drops bcc"));
    EXPECT_EQ(csv.lineFigure("dropped_timeout"), summary.figures.at("drops timeout"));
    EXPECT_EQ(csv.lineFigure("dropped_no_etx"), summary.figures.at("drops noetx"));
    EXPECT_EQ(csv.lineFigure("dropped_no_memory"), 0U);
    EXPECT_EQ(csv.lineFigure("noise_bytes"), summary.figures.at("noise bytes"));

    ASSERT_EQ(summary.devices.size(), 8U);
    for (const auto& [address, expected] : summary.devices) {
        ASSERT_TRUE(csv.devices.count(address)) << "device " << address;
        unsigned telegrams = 0;
        for (const auto& [name, value] : expected) {
            // "to 0xa2" is the start of the CSV's column name for that id.
            std::string column = name;
            if (name.rfind("to ", 0) == 0 || name.rfind("from ", 0) == 0) {
                telegrams += value;
                for (const auto& [csvName, cell] : csv.devices.at(address)) {
                    if (csvName.rfind(name, 0) == 0) {
                        column = csvName;
                    }
                }
            }
            EXPECT_EQ(csv.device(address, column), value) << "device " << address << ": " << name;
        }
        EXPECT_EQ(csv.device(address, "telegrams_to") + csv.device(address, "telegrams_from"), telegrams)
            << "device " << address << ": telegrams the simulator did not send";
    }

    // Only device 7 printed: its telegrams, all of them, its reports, and raw
    // lines of its frames only.
    const std::string log = zvtest::readFile(logFile);
    const std::map<std::string, unsigned>& seven = summary.devices.at(7);
    unsigned sevenTelegrams = 0;
    for (const auto& [name, value] : seven) {
        sevenTelegrams += name.rfind("to ", 0) == 0 || name.rfind("from ", 0) == 0 ? value : 0;
    }
    static const std::regex kHeader(R"((<==  to|==> from) +(\d+) \n)");
    static const std::regex kReport(R"( ##  device (\d+)  (ONLINE|OFFLINE)\n)");
    static const std::regex kRawLine(R"(     STX ([0-9a-f]{2}|ESC [0-9a-f]{2})  ([0-9a-f]{2}|ESC [0-9a-f]{2}))");
    unsigned headers = 0;
    for (auto it = std::sregex_iterator(log.begin(), log.end(), kHeader); it != std::sregex_iterator(); ++it) {
        EXPECT_EQ((*it)[2].str(), "7");
        ++headers;
    }
    EXPECT_EQ(headers, sevenTelegrams);
    std::map<std::string, unsigned> reports;
    for (auto it = std::sregex_iterator(log.begin(), log.end(), kReport); it != std::sregex_iterator(); ++it) {
        EXPECT_EQ((*it)[1].str(), "7");
        ++reports[(*it)[2].str()];
    }
    EXPECT_EQ(reports["ONLINE"], seven.at("online"));
    EXPECT_EQ(reports["OFFLINE"], seven.at("offline"));
    unsigned rawLines = 0;
    for (auto it = std::sregex_iterator(log.begin(), log.end(), kRawLine); it != std::sregex_iterator(); ++it) {
        const std::string destination = (*it)[1].str();
        const std::string source = (*it)[2].str();
        EXPECT_TRUE((destination == "07" && source == "00") || (destination == "00" && source == "07"))
            << destination << " " << source;
        ++rawLines;
    }
    EXPECT_GE(rawLines, headers);

    ASSERT_TRUE(sniffer.writeStdin("quit\n"));
    EXPECT_EQ(sniffer.waitExit(), 0) << sniffer.stderrText();
    EXPECT_EQ(sim.waitExit(), 0) << sim.stderrText();
    // --stats: the table once more at the end, also in the log.
    const std::string totals = " line: " + std::to_string(summary.figures.at("total bytes")) + " bytes, " +
                               std::to_string(summary.figures.at("total good")) + " frames";
    EXPECT_NE(zvtest::readFile(logFile).find(totals), std::string::npos);
}

// Frames written with chosen pauses between a poll and its answer.
TEST(BusStatsAnswerTimes, FollowThePausesOnTheLine) {
    PtyPair line;
    ASSERT_TRUE(line.ok()) << line.error();
    zvtest::TempDir tmp;
    ChildProcess sniffer;
    ASSERT_TRUE(sniffer.start({kSniffer, line.slavePath(), "--verbosity", "0"}));
    ASSERT_TRUE(sniffer.waitForStdout(" application initialized\n")) << sniffer.stdoutText() << sniffer.stderrText();

    const U8 getLockState[] = {0xA2};
    const U8 lockState[] = {0xA3, 0x02};
    const std::vector<U8> poll = zvtest::encodeFrame(0, 5, getLockState);
    const std::vector<U8> answer = zvtest::encodeFrame(5, 0, lockState);
    const auto bytes = [](const std::vector<U8>& frame) { return std::string(frame.begin(), frame.end()); };
    const std::vector<int> pauses_ms{20, 60, 150};
    for (const int pause : pauses_ms) {
        ASSERT_TRUE(line.write(bytes(poll)));
        std::this_thread::sleep_for(std::chrono::milliseconds(pause));
        ASSERT_TRUE(line.write(bytes(answer)));
        std::this_thread::sleep_for(30ms);
    }

    StatsProbe probe(sniffer, tmp);
    const Csv csv = probe.until([](const Csv& c) { return c.device(5, "answers") == 3; }, 20s);
    ASSERT_EQ(csv.device(5, "answers"), 3U);
    ASSERT_EQ(csv.device(5, "polls"), 3U);
    // The bytes are timed when the reader takes them: on a busy machine the
    // poll may be noted late (a shorter answer time) or the answer (a longer
    // one), by a few tens of milliseconds.
    const auto near = [](unsigned measured, int chosen) {
        return measured + 40 >= static_cast<unsigned>(chosen) && measured <= static_cast<unsigned>(chosen) + 60;
    };
    EXPECT_PRED2(near, csv.device(5, "answer_min_ms"), pauses_ms.front());
    EXPECT_PRED2(near, csv.device(5, "answer_max_ms"), pauses_ms.back());
    EXPECT_EQ(csv.device(5, "answer_p99_ms"), csv.device(5, "answer_max_ms")) << "3 answers: the 99th is the last";
    const double mean = std::stod(csv.devices.at(5).at("answer_mean_ms"));
    EXPECT_GT(mean, csv.device(5, "answer_min_ms"));
    EXPECT_LT(mean, csv.device(5, "answer_max_ms"));

    ASSERT_TRUE(sniffer.writeStdin("quit\n"));
    EXPECT_EQ(sniffer.waitExit(), 0) << sniffer.stderrText();
}

}  // namespace
