// The two readings of a capture agree: the sniffer's JSON records and
// tshark with the generated dissector, field by field on every telegram of
// a recording in which every declared message id occurs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <string>

#include "eac/zelvan/zvEacTelegrams.h"
#include "eac/zelvan/zvEacToStr.h"
#include "support/childProcess.h"

namespace {

using namespace std::chrono_literals;

const std::string kSniffer = ZV_SNIFFER_BIN;
const std::string kDissector = std::string(ZV_SOURCE_DIR) + "/wireshark/zvEac.lua";
const std::string kCompare = std::string(ZV_SOURCE_DIR) + "/tests/output/compareDissector.py";

// The catalogue's ids: the named ones and the reserved ones.
std::set<unsigned> declaredIds() {
    std::set<unsigned> ids = {ZV_EAC_MSGID_RESERVED_0x40, ZV_EAC_MSGID_RESERVED_0x50, ZV_EAC_MSGID_RESERVED_0x58,
                              ZV_EAC_MSGID_RESERVED_0x59, ZV_EAC_MSGID_RESERVED_0x68, ZV_EAC_MSGID_RESERVED_0x69,
                              ZV_EAC_MSGID_RESERVED_0xA4, ZV_EAC_MSGID_RESERVED_0xA9};
    for (unsigned id = 0; id < 256; ++id) {
        if (std::string(zvEacMsgIdToStr(static_cast<U8>(id))).rfind("MSGID_", 0) == 0) {
            ids.insert(id);
        }
    }
    return ids;
}

TEST(SnifferDissector, RecordsAndTsharkAgreeOnEveryFieldOfEveryTelegram) {
    if (std::system("tshark -v >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "tshark is not installed";
    }
    zvtest::TempDir tmp;
    const std::string raw = tmp.file("bus.bin");
    const std::string capture = tmp.file("bus.pcap");
    // The simulator's whole catalogue, with line faults between the frames
    // so that the two readings must also agree on which frames are telegrams.
    ASSERT_EQ(zvtest::runProgram({ZV_BUSSIM_BIN, "-o", raw, "-c", "3000", "-s", "5", "-b", "115200", "--faults", "0.05",
                                  "-q", "--summary", tmp.file("summary")})
                  .exitStatus,
              0);
    ASSERT_EQ(zvtest::runProgram({kSniffer, "-r", raw, "-b", "115200", "-w", capture, "--verbosity", "0"}).exitStatus,
              0);
    const zvtest::RunResult records = zvtest::runProgram({kSniffer, "-r", capture, "--json", "-"}, {}, true, 60s);
    ASSERT_EQ(records.exitStatus, 0) << records.err;
    const zvtest::RunResult dissected = zvtest::runProgram(
        {"/bin/sh", "-c", "exec tshark -X \"lua_script:$0\" -r \"$1\" -T json", kDissector, capture}, {}, true, 60s);
    ASSERT_EQ(dissected.exitStatus, 0) << dissected.err;

    std::set<unsigned> missing = declaredIds();
    std::erase_if(missing, [&](unsigned id) {
        return records.out.find("\"msg_id\":" + std::to_string(id) + ",") != std::string::npos;
    });
    std::string never;
    for (const unsigned id : missing) {
        never += ' ';
        never += std::to_string(id);
    }
    EXPECT_EQ(never, "") << "declared message ids that never occurred";

    std::ofstream(tmp.file("records.json"), std::ios::binary) << records.out;
    std::ofstream(tmp.file("tshark.json"), std::ios::binary) << dissected.out;
    const zvtest::RunResult compared =
        zvtest::runProgram({"/usr/bin/python3", kCompare, tmp.file("records.json"), tmp.file("tshark.json")});
    EXPECT_EQ(compared.exitStatus, 0) << compared.out << compared.err;
}

}  // namespace
