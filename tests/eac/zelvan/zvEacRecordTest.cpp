// The record of a telegram: field names, raw values and texts as the text
// report shows them, groups where the text nests, and the reason a body is
// given raw. Each case flattens the record to one line per field.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "eac/zelvan/zvEacRecord.h"
#include "eac/zelvan/zvEacToStr.h"
#include "logger/logger.h"
#include "support/printCapture.h"

namespace {

// A field's value as "123", "t:65 66 " or "b:1 2 ".
std::string valueOf(const ZvEacField& f) {
    if (f.kind == ZvEacValueKind::NUMBER) {
        return std::to_string(f.number);
    }
    std::ostringstream text;
    text << (f.kind == ZvEacValueKind::TEXT ? "t:" : "b:");
    for (U8 b : f.bytes) {
        text << static_cast<unsigned>(b) << ' ';
    }
    return text.str();
}

// "path=value|text", groups as "path{" ... "}".
void flatten(const std::vector<ZvEacField>& fields, const std::string& prefix, std::vector<std::string>& out) {
    for (const ZvEacField& f : fields) {
        std::ostringstream line;
        line << prefix << f.name;
        if (f.kind == ZvEacValueKind::GROUP) {
            line << '{';
            if (!f.text.empty()) {
                line << '|' << f.text;
            }
            out.push_back(line.str());
            flatten(f.fields, prefix + f.name + ".", out);
            out.emplace_back("}");
            continue;
        }
        line << '=' << valueOf(f) << '|' << f.text;
        out.push_back(line.str());
    }
}

std::vector<std::string> recordOf(const std::vector<U8>& telegram, ZvEacRecord& record) {
    zvEacDecodeRecord(PRINT_MSG_DIR_INCOMING, 5, static_cast<U8>(telegram.size()), telegram.data(), record);
    std::vector<std::string> lines;
    flatten(record.body, "", lines);
    return lines;
}

const std::vector<U8> kDevId = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};

std::vector<U8> tele(U8 id, std::initializer_list<std::vector<U8>> parts) {
    std::vector<U8> t = {id};
    for (const auto& p : parts) {
        t.insert(t.end(), p.begin(), p.end());
    }
    return t;
}

struct Case {
    const char* name;
    std::vector<U8> telegram;
    std::vector<std::string> fields;
};

TEST(ZvEacRecord, FieldsCarryNameRawValueAndTheTextAsPrinted) {
    const std::string id = "b:1 2 3 4 5 6 7 8 9 10 11 12 |[ 01 02 03 04 05 06 07 08 09 0a 0b 0c ]";
    const Case cases[] = {
        {"lock state", {0xA3, 0x02}, {"state=2|LOCK_STATE_LOCKED"}},
        {"device info",
         tele(0xB3, {kDevId, kDevId, {1, 2}}),
         {"device_id=" + id, "host_device_id=" + id, "door_side=1|DOORSIDE_INSIDE",
          "product_class=2|PRODCLASS_DOOR_AUTOMATICS"}},
        {"extended device info: counted bytes",
         tele(0xB5, {kDevId, {1, 0, 0, 0xAB, 0xCD, 2, 0xDE, 0xAD}}),
         {"device_id=" + id, "online_status=1|Status Online", "data_id=43981|0x0000ABCD", "data_length=2|2",
          "data=b:222 173 |[ DE AD ]"}},
        {"supported states: a group of codes",
         {0xA1, 2, 1, 2},
         {"states{", "states.state=1|LOCK_STATE_UNLOCKED", "states.state=2|LOCK_STATE_LOCKED", "}"}},
        {"keypad: keys as entries with their characters",
         tele(0x73, {kDevId, {1, 2, '4', 0x1B}}),
         {"device_id=" + id, "door_side=1|DOORSIDE_INSIDE hex(0x1)", "key_count=2|2 hex(0x2)",
          "keys{|[ 4 . ]\n[ hex ]:    [ 0x34 0x1b ]", "keys.key=52|4", "keys.key=27|.", "}"}},
        {"version: numbers, selector by name, text as on the wire",
         {0x21, 1, 0, 0x11, 0x22, 3, 2, 5, 0x01, 0x02, 'V', '1', 0x07},
         {"protocol_major=1|protVer(  1.000)", "protocol_minor=0|", "vendor_id=17|vendorId(0x11) productId(0x22)",
          "product_id=34|", "selector=3|## unknown selector ##", "version_major=2|version(  2.005) buildNr( 258)",
          "version_minor=5|", "build=258|", "text=t:86 49 7 |[V1.]"}},
        {"dtc: each yes/no field is its own bit of the shared byte",
         tele(0xB7, {kDevId, {0x00, 0xA1, 0x03, 0x05}, {5}}),
         {"device_id=" + id, "dtc_id=10552069|00A10305", "test_failed=1|Yes", "confirmed=0|No",
          "test_completed=1|Yes"}},
        {"firmware upgrade: a text ends at its NUL",
         tele(0xBA, {kDevId, {0}, {'f', 'w', 0, 'x'}}),
         {"device_id=" + id, "file_reference=t:102 119 |fw"}},
        {"generic credential: blocks nest, source details inside their block",
         tele(0x43, {kDevId,
                     {1},
                     {0x01, 0x00, 0x00, 0x02, 0x08, 0x01, 0x02, 0x02, 0x00, 0x00, 0x04, 0x08, 0x04, 0x5a, 0x6b, 0x7c}}),
         {"device_id=" + id,
          "door_side=1|DOORSIDE_INSIDE",
          "blocks{",
          "blocks.block{",
          "blocks.block.number=0|0",
          "blocks.block.type=256|CREDBLOCKTYPE_SOURCE_DETAILS         (0x0100)",
          "blocks.block.bits=16|16",
          "blocks.block.data=b:1 2 |[ 01 02 ]",
          "blocks.block.source_details{",
          "blocks.block.source_details.main_type=1|MIFARE (1)",
          "blocks.block.source_details.sub_type=2|CLASSIC_4K (2)",
          "}",
          "}",
          "blocks.block{",
          "blocks.block.number=1|1",
          "blocks.block.type=512|CREDBLOCKTYPE_MIFARE_UID             (0x0200)",
          "blocks.block.bits=32|32",
          "blocks.block.data=b:4 90 107 124 |[ 04 5a 6b 7c ]",
          "}",
          "}"}},
        {"permanent indication: flags as a group of bits",
         {0xB9, 1, 0, 0, 0, 1, 0, 0, 0, 3, 4},
         {"door_side=1|DOORSIDE_INSIDE hex(0x1)", "indication_status=1|", "indication_mask=3|", "indication_flags{",
          "indication_flags.flag=1|PERMANENT_INDICATION_FLAG_ENTER_PIN is turned  ON",
          "indication_flags.flag=2|PERMANENT_INDICATION_FLAG_SHOW_CARD is turned  OFF", "}",
          "physical_representation=4|", "physical_representation_flags{",
          "physical_representation_flags.flag=4|PHYSICAL_REPRESENTATION_AUDIBLE representation is desired", "}"}},
    };
    for (const Case& c : cases) {
        ZvEacRecord record;
        EXPECT_EQ(recordOf(c.telegram, record), c.fields) << c.name;
        EXPECT_EQ(record.rawReason, ZvEacRawReason::NONE) << c.name;
        EXPECT_EQ(record.msgId, c.telegram[0]) << c.name;
    }
}

TEST(ZvEacRecord, BodiesShownRawGiveTheirBytesAndWhy) {
    struct RawCase {
        std::vector<U8> telegram;
        ZvEacRawReason reason;
    };
    const RawCase cases[] = {
        {{}, ZvEacRawReason::SHORT},
        {{0x10, 0xAB}, ZvEacRawReason::UNKNOWN_ID},
        {{0xC3, 1, 2}, ZvEacRawReason::NO_DECODER},
        {{0x51, 1, 2, 3}, ZvEacRawReason::UNDECODED_LENGTH},  // the activator has two lengths, not this
        {{0xB3, 1, 2, 3}, ZvEacRawReason::SHORT},
        {{0x73, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 1, 9, 'x'}, ZvEacRawReason::SHORT},  // 9 keys announced
    };
    for (const RawCase& c : cases) {
        ZvEacRecord record;
        EXPECT_TRUE(recordOf(c.telegram, record).empty());
        EXPECT_EQ(record.rawReason, c.reason) << zvEacRawReasonToStr(c.reason);
        EXPECT_EQ(record.raw, c.telegram) << zvEacRawReasonToStr(c.reason);
    }
}

// Recording prints nothing, and printing is the same whether or not a
// record was made in between.
TEST(ZvEacRecord, RecordingLeavesTheTextAlone) {
    const std::vector<U8> telegram = tele(0x43, {kDevId, {1}, {0x01, 0x00, 0x00, 0x02, 0x08, 0x01, 0x02}});
    const std::string before = zvTestPrintTelegram(telegram, VERB_RAW);
    ZvEacRecord record;
    EXPECT_EQ(zvTestCapture([&] { recordOf(telegram, record); }), "");
    EXPECT_EQ(zvTestPrintTelegram(telegram, VERB_RAW), before);
}

// Every id at every length up to the largest layout, from bytes that count
// up: the record is made without reading outside the telegram (the
// sanitizer build checks), and a body is raw exactly when the text shows
// the dump in place of it.
TEST(ZvEacRecord, RawExactlyWhenTheTextDumps) {
    for (unsigned id = 0; id < 256; ++id) {
        for (std::size_t length = 1; length <= 48; ++length) {
            std::vector<U8> telegram(length);
            for (std::size_t i = 0; i < length; ++i) {
                telegram[i] = static_cast<U8>(i == 0 ? id : i);
            }
            ZvEacRecord record;
            zvEacDecodeRecord(PRINT_MSG_DIR_OUTGOING, 1, static_cast<U8>(length), telegram.data(), record);
            const bool dumped = zvTestPrintBody(telegram).find("length = ") != std::string::npos;
            const bool raw =
                record.rawReason != ZvEacRawReason::NONE && record.rawReason != ZvEacRawReason::UNDECODED_LENGTH;
            EXPECT_EQ(raw, dumped) << "id " << id << " length " << length;
        }
    }
}

}  // namespace
