#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "Dkit/Include/dkitCredential.h"
#include "eac/zelvan/zvEacToStr.h"
#include "logger/logger.h"
#include "support/printCapture.h"

namespace {

constexpr U8 kUidOnly = 0x41;
constexpr U8 kSectorData = 0x42;
constexpr U8 kGeneric = 0x43;

std::string line(const std::string& text) { return "\n\t\t " + text; }

std::string concat(std::initializer_list<std::string> lines) {
    std::string text;
    for (const std::string& l : lines) {
        text += line(l);
    }
    return text;
}

// A generic-credential telegram: message id, device id ending in 0x2a, door
// side 1, then the container bytes.
std::vector<U8> genericCredential(const std::vector<U8>& container) {
    std::vector<U8> telegram = {kGeneric, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x2a, 0x01};
    telegram.insert(telegram.end(), container.begin(), container.end());
    return telegram;
}

const std::string kDeviceIdLine = "Device id:       [ 00 00 00 00 00 00 00 00 00 00 00 2a ]";
const std::string kDoorSideLine = "Door side:       DOORSIDE_INSIDE";

std::string genericPreamble() { return concat({kDeviceIdLine, kDoorSideLine}); }

TEST(ZvEacToStrCredentials, WorkedExampleOfTheGenericCredential) {
    const std::vector<U8> telegram = genericCredential(
        {0x01, 0x00, 0x00, 0x02, 0x08, 0x01, 0x02, 0x02, 0x00, 0x00, 0x04, 0x08, 0x04, 0x5a, 0x6b, 0x7c});
    ASSERT_EQ(30u, telegram.size());
    const std::string expected =
        genericPreamble() + concat({
                                "Block Number:    0",
                                " BlockType:      CREDBLOCKTYPE_SOURCE_DETAILS         (0x0100) ",
                                " NofBitsInBlock: 16",
                                " BlockData:      [ 01 02 ]",
                                " Source details:",
                                "  mainType:        MIFARE (1)",
                                "  subType:         CLASSIC_4K (2)",
                                "Block Number:    1",
                                " BlockType:      CREDBLOCKTYPE_MIFARE_UID             (0x0200) ",
                                " NofBitsInBlock: 32",
                                " BlockData:      [ 04 5a 6b 7c ]",
                            });
    EXPECT_EQ(expected, zvTestPrintBody(telegram));
    EXPECT_EQ(expected + zvTestRawDump(telegram), zvTestPrintBody(telegram, VERB_RAW));
}

TEST(ZvEacToStrCredentials, MifareUidOnly) {
    struct Case {
        std::vector<U8> telegram;
        std::string body;  // empty: the raw dump
    };
    const Case cases[] = {
        {{kUidOnly, 0, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77}, line("bits(0) ")},
        {{kUidOnly, 1, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77}, line("bits(1) [ 11 ]")},
        {{kUidOnly, 12, 0xab, 0xcd, 0x33, 0x44, 0x55, 0x66, 0x77}, line("bits(12) [ ab cd ]")},
        {{kUidOnly, 32, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77}, line("bits(32) [ 11 22 33 44 ]")},
        {{kUidOnly, 56, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77}, line("bits(56) [ 11 22 33 44 55 66 77 ]")},
        // Only as many UID bytes as the count asks for need to be there.
        {{kUidOnly, 16, 0x0a, 0x0b}, line("bits(16) [ 0a 0b ]")},
        {{kUidOnly, 0}, line("bits(0) ")},
        // A count beyond the received bytes.
        {{kUidOnly, 57, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77}, ""},
        {{kUidOnly, 255}, ""},
        {{kUidOnly}, ""},
    };
    for (const Case& c : cases) {
        const std::string expected = c.body.empty() ? zvTestRawDump(c.telegram) : c.body;
        EXPECT_EQ(expected, zvTestPrintBody(c.telegram)) << int(c.telegram.size() > 1 ? c.telegram[1] : -1);
    }
}

TEST(ZvEacToStrCredentials, MifareWithSectorData) {
    struct Case {
        const char* name;
        std::vector<U8> telegram;
        std::string body;  // empty: the raw dump
    };
    const Case cases[] = {
        {"no uid, no data",
         {kSectorData, 7, 0, 1, 2, 3, 4, 5, 6, 7, 0xEE, 0xEE, 0},
         concat({"type(  7), ", "uid len(  0), ", "data len(  0), "})},
        // The space flag keeps its blank before three digits.
        {"uid and data",
         {kSectorData, 200, 4, 0xde, 0xad, 0xbe, 0xef, 0, 0, 0, 0xEE, 0xEE, 3, 0x01, 0x02, 0xff},
         concat({"type( 200), ", "uid len(  4), ", "data len(  3), ", "uid[ de ad be ef ] ", "data[ 01 02 ff ]"})},
        {"data only",
         {kSectorData, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0x5a},
         concat({"type(  1), ", "uid len(  0), ", "data len(  1), ", "data[ 5a ]"})},
        {"data shorter than announced", {kSectorData, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0x5a}, ""},
        {"fixed part cut short", {kSectorData, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, ""},
        // A UID count beyond the seven reserved bytes reads on into the
        // telegram, but never beyond it.
        {"uid count beyond the telegram", {kSectorData, 1, 40, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, ""},
    };
    for (const Case& c : cases) {
        const std::string expected = c.body.empty() ? zvTestRawDump(c.telegram) : c.body;
        EXPECT_EQ(expected, zvTestPrintBody(c.telegram)) << c.name;
    }
}

TEST(ZvEacToStrCredentials, InvalidContainersPrintInvalidMessage) {
    const std::vector<U8> containers[] = {
        {},                                                     // exactly 14 bytes: empty container
        {0x02, 0x00, 0x00, 0x01, 0x08},                         // under 6 bytes
        {0x02, 0x00, 0x00, 0x01, 0x08, 0xAA, 0x00},             // trailing byte
        {0x02, 0x00, 0x00, 0x00, 0x08, 0xAA},                   // zero length
        {0x02, 0x00, 0x00, 0x03, 0x08, 0xAA, 0xBB},             // data past the end
        {0x02, 0x00, 0x00, 0x01, 0x08, 0xAA, 0x01, 0x00, 0x00}  // half a second header
    };
    for (const auto& container : containers) {
        EXPECT_EQ(genericPreamble() + line("Invalid message"), zvTestPrintBody(genericCredential(container)))
            << container.size();
    }
}

TEST(ZvEacToStrCredentials, GenericCredentialWithoutItsFixedFieldsGivesTheRawDump) {
    const std::vector<U8> telegram = {kGeneric, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    EXPECT_EQ(zvTestRawDump(telegram), zvTestPrintBody(telegram));
}

std::string singleBlockBody(const std::string& typeText, const std::string& bits, const std::string& data) {
    return genericPreamble() + concat({"Block Number:    0", " BlockType:      " + typeText + " ",
                                       " NofBitsInBlock: " + bits, " BlockData:      [ " + data + "]"});
}

TEST(ZvEacToStrCredentials, BlockTypeNamesLineUp) {
    EXPECT_EQ(singleBlockBody("CREDBLOCKTYPE_UNDEFINED_DYNAMIC_DATA (0x0201)", " 5", "f8 "),
              zvTestPrintBody(genericCredential({0x02, 0x01, 0x00, 0x01, 0x05, 0xf8})));
    EXPECT_EQ(singleBlockBody("## unknown Credential Block Type ##  (0x0800)", "12", "ab c0 "),
              zvTestPrintBody(genericCredential({0x08, 0x00, 0x00, 0x02, 0x04, 0xab, 0xc0})));
    // The stored bytes are printed as received, low bits and all.
    EXPECT_EQ(singleBlockBody("CREDBLOCKTYPE_LEGIC_UID              (0x0600)", " 1", "ff "),
              zvTestPrintBody(genericCredential({0x06, 0x00, 0x00, 0x01, 0x01, 0xff})));
}

TEST(ZvEacToStrCredentials, BlockTypeTable) {
    const std::pair<U32, const char*> rows[] = {
        {0x0000, "CREDBLOCKTYPE_UNKNOWN               "}, {0x0100, "CREDBLOCKTYPE_SOURCE_DETAILS        "},
        {0x0200, "CREDBLOCKTYPE_MIFARE_UID            "}, {0x0201, "CREDBLOCKTYPE_UNDEFINED_DYNAMIC_DATA"},
        {0x0300, "CREDBLOCKTYPE_ICLASS_ACCESS_ID      "}, {0x0400, "CREDBLOCKTYPE_ISO_14443B_UID        "},
        {0x0500, "CREDBLOCKTYPE_ISO_15693_UID         "}, {0x0600, "CREDBLOCKTYPE_LEGIC_UID             "},
        {0x0700, "CREDBLOCKTYPE_SEOS_CREDENTIAL       "}, {0x0800, "## unknown Credential Block Type ## "},
        {0x0001, "## unknown Credential Block Type ## "}, {0x0101, "## unknown Credential Block Type ## "},
        {0xFFFF, "## unknown Credential Block Type ## "}, {0x10200, "CREDBLOCKTYPE_MIFARE_UID            "},
    };
    for (const auto& [type, text] : rows) {
        EXPECT_STREQ(text, zvEacDkitCredentialBlockTypeToStr(type)) << std::hex << type;
    }
}

// The source-details lines that follow the block lines of a lone
// source-details block with the given data bytes.
std::string sourceDetailsLines(const std::vector<U8>& data) {
    std::vector<U8> container = {0x01, 0x00, 0x00, static_cast<U8>(data.size()), 0x08};
    container.insert(container.end(), data.begin(), data.end());
    const std::string printed = zvTestPrintBody(genericCredential(container));
    const std::string marker = line(" BlockData:      [ ");
    const std::size_t at = printed.find(marker);
    if (at == std::string::npos) {
        return "<<no block data>>" + printed;
    }
    const std::size_t end = printed.find(']', at);
    return printed.substr(end + 1);
}

TEST(ZvEacToStrCredentials, SourceDetailsChooseTheSubTypeTableByMainType) {
    struct Case {
        std::vector<U8> data;
        std::string lines;
    };
    const std::string head = line(" Source details:");
    const Case cases[] = {
        {{1, 6}, head + concat({"  mainType:        MIFARE (1)", "  subType:         MINI (6)"})},
        {{1, 9},
         head + concat({"  mainType:        MIFARE (1)", "  subType:         ## unknown credential sub type ## (9)"})},
        {{2, 1}, head + concat({"  mainType:        ICLASS (2)", "  subType:         STD (1)"})},
        {{3, 0}, head + concat({"  mainType:        LOW_FREQUENCY (3)", "  subType:         UNKNOWN (0)"})},
        {{5, 0}, head + concat({"  mainType:        PICO_PASS (5)", "  subType:         UNKNOWN (0)"})},
        {{6, 5}, head + concat({"  mainType:        LEGIC (6)", "  subType:         INSIDE Secure (5)"})},
        {{7, 2}, head + concat({"  mainType:        SEOS (7)", "  subType:         ISO 14443B (2)"})},
        {{4, 1},
         head + concat({"  mainType:        ## unknown credential main type ## (4)",
                        " subType:         ## unknown credential sub type ## (1)"})},
        {{0, 0},
         head + concat({"  mainType:        ## unknown credential main type ## (0)",
                        " subType:         ## unknown credential sub type ## (0)"})},
        {{255, 255},
         head + concat({"  mainType:        ## unknown credential main type ## (255)",
                        " subType:         ## unknown credential sub type ## (255)"})},
        {{1, 2, 3}, line(" Source details not specified.")},
        {{1}, line(" Source details not specified.")},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.lines, sourceDetailsLines(c.data)) << int(c.data[0]);
    }
}

std::string fileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The log file is a copy of every report: the SEOS sub type included.
TEST(ZvEacToStrCredentials, SeosSubTypeReachesConsoleAndLogFile) {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("zvCredLog" + std::to_string(getpid()) + ".txt");
    std::filesystem::remove(path);
    ASSERT_EQ(TRUE, loggerEnableLogToFile(path.string().c_str()));
    const std::vector<U8> telegram = genericCredential({0x01, 0x00, 0x00, 0x02, 0x08, 0x07, 0x01});
    const std::string console = zvTestPrintTelegram(telegram, VERB_CLEARTEXT);
    loggerDisableLogToFile();
    const std::string logged = fileText(path);
    std::filesystem::remove(path);

    const std::string seosLine = line("  subType:         ISO 14443A (1)");
    EXPECT_NE(std::string::npos, console.find(seosLine)) << console;
    EXPECT_EQ(console, logged);
}

// --- Properties ---------------------------------------------------------------

TEST(ZvEacToStrCredentialsProperty, WrittenContainersPrintEveryBlock) {
    std::mt19937 rng(99);
    for (int round = 0; round < 500; ++round) {
        U8 buffer[72];
        DkitCredential credential{};
        dkitCredentialInitialize(&credential, buffer, sizeof buffer);
        // Five blocks of at most 13 bytes fit into the 72 bytes.
        const int blocks = std::uniform_int_distribution<int>(1, 5)(rng);
        for (int i = 0; i < blocks; ++i) {
            U8 data[8];
            for (U8& b : data) {
                b = static_cast<U8>(rng());
            }
            const DkitCredentialBlockType type = (rng() % 2 == 0) ? static_cast<DkitCredentialBlockType>(rng() % 9 << 8)
                                                                  : static_cast<DkitCredentialBlockType>(rng());
            dkitCredentialAddBlock(&credential, type, std::uniform_int_distribution<U32>(1, 64)(rng), data);
        }
        dkitCredentialFinalize(&credential);
        const std::string printed = zvTestPrintBody(
            genericCredential(std::vector<U8>(buffer, buffer + credential.numberOfBytes)), VERB_CLEARTEXT);
        EXPECT_EQ(std::string::npos, printed.find("Invalid message")) << printed;
        EXPECT_EQ(std::string::npos, printed.find("length =")) << printed;
        EXPECT_NE(std::string::npos, printed.find("Block Number:    " + std::to_string(blocks - 1))) << printed;
        EXPECT_EQ(std::string::npos, printed.find("Block Number:    " + std::to_string(blocks))) << printed;
    }
}

// Whatever arrives, the printers stay inside the telegram and never reach an
// assertion; the sanitizer build checks the first, a fatal error would end
// the test program for the second.
TEST(ZvEacToStrCredentialsProperty, RandomTelegramsPrintSafely) {
    std::mt19937 rng(4711);
    const U8 ids[] = {kUidOnly, kSectorData, kGeneric};
    for (int round = 0; round < 6000; ++round) {
        // Mostly short telegrams, where the fixed fields and counts get cut.
        const std::size_t size = std::uniform_int_distribution<std::size_t>(1, round % 4 == 0 ? 255 : 40)(rng);
        std::vector<U8> telegram(size);
        for (U8& b : telegram) {
            b = static_cast<U8>(rng() % 3 == 0 ? rng() % 4 : rng());
        }
        telegram[0] = ids[round % 3];
        const std::string printed = zvTestPrintTelegram(telegram, VERB_RAW);
        ASSERT_NE(std::string::npos, printed.find(zvTestRawDump(telegram)));
    }
}

}  // namespace
