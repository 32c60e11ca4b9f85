// Writes the seed corpora of the fuzz targets into <dir>/<target>/seed-*:
// telegrams of every printed message id (both forms where there are two),
// bus traffic encoded by the link layer's own encoder, credential containers
// made by the container's own writer, and typed console lines.
//
//   makeCorpus <corpus dir>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include "Dkit/Include/dkitCredential.h"
#include "base/hal_types.h"
#include "eac/zelvan/zvEacFrame.h"

namespace {

using Bytes = std::vector<U8>;

constexpr U8 kClockCommand = 0xFF;
constexpr U8 kMaster = 0;

std::filesystem::path corpusRoot;
int filesWritten = 0;

void writeSeed(const char* target, const std::string& name, const Bytes& bytes) {
    const std::filesystem::path dir = corpusRoot / target;
    std::filesystem::create_directories(dir);
    std::ofstream out(dir / ("seed-" + name), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ++filesWritten;
}

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

Bytes repeat(U8 value, std::size_t count) { return Bytes(count, value); }

Bytes text(const char* s) { return Bytes(s, s + std::strlen(s)); }

Bytes deviceId(U8 first) {
    Bytes id;
    for (U8 i = 0; i < 12; ++i) {
        id.push_back(static_cast<U8>(first + i));
    }
    return id;
}

// ---- link layer encoder ----------------------------------------------------------

// The frame as the link layer's encoder writes it; a seed too long for it
// would be a mistake in this program.
Bytes frame(U8 source, U8 destination, const Bytes& telegram) {
    std::array<U8, ZV_EAC_NWK_MAX_ENCODED_FRAME> out{};
    const std::size_t size = zvEacFrameEncode(source, destination, telegram, out);
    if (size == 0) {
        std::fprintf(stderr, "a seed frame of %zu data bytes does not fit the encoder\n", telegram.size());
        std::exit(1);
    }
    return Bytes(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(size));
}

// A byteStreamFuzz input: bus bytes (a data 0xFF doubled up as 0xFF 0x00)
// and pauses (0xFF k: k ms pass).
class Stream {
public:
    Stream& bus(const Bytes& bytes) {
        for (const U8 b : bytes) {
            input_.push_back(b);
            if (b == kClockCommand) {
                input_.push_back(0x00);
            }
        }
        return *this;
    }
    Stream& pause(U8 ms) {
        input_.push_back(kClockCommand);
        input_.push_back(ms);
        return *this;
    }
    const Bytes& input() const { return input_; }

private:
    Bytes input_;
};

// ---- capture files ---------------------------------------------------------------

void put32(Bytes& out, U32 value) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<U8>(value >> (8 * i)));
    }
}

// A pcap file header (little-endian, microseconds) of link type 149 ...
Bytes pcapFile() {
    Bytes out;
    for (const U32 v : {0xa1b2c3d4U, 0x00040002U, 0U, 0U, 65535U, 149U}) {
        put32(out, v);
    }
    return out;
}

// ... and one packet: the pseudo-header (version 1, kind, 19200 bit/s), then
// the line bytes, `ms` milliseconds into the capture.
Bytes pcapPacket(U8 kind, const Bytes& wire, U32 ms) {
    const Bytes packet = cat({{1, 8, kind, 0, 0x00, 0x00, 0x4b, 0x00}, wire});
    Bytes out;
    put32(out, 1700000000U + ms / 1000);
    put32(out, (ms % 1000) * 1000);
    put32(out, static_cast<U32>(packet.size()));
    put32(out, static_cast<U32>(packet.size()));
    return cat({out, packet});
}

void writeCaptureSeeds() {
    const Bytes poll = frame(kMaster, 5, {0xa2});
    const Bytes answer = frame(5, kMaster, {0xa3, 0x02});
    Bytes badBcc = answer;
    badBcc[badBcc.size() - 2] ^= 0x01;
    const Bytes cut(answer.begin(), answer.begin() + 4);
    const Bytes noEtx = cat({Bytes(answer.begin(), answer.end() - 1), {0x44}});
    // The same files for the capture library's reader and the program's own.
    for (const char* target : {"captureFuzz", "savefileFuzz"}) {
        writeSeed(target, "poll-and-answer", cat({pcapFile(), pcapPacket(0, poll, 0), pcapPacket(0, answer, 3)}));
        writeSeed(target, "every-kind",
                  cat({pcapFile(), pcapPacket(1, {0x55, 0x1b, 0x02, 0x03}, 0), pcapPacket(2, badBcc, 10),
                       pcapPacket(3, cut, 20), pcapPacket(4, noEtx, 300), pcapPacket(0, poll, 310)}));
    }
}

// ---- credential containers ---------------------------------------------------------

struct BlockContent {
    DkitCredentialBlockType type;
    U32 bits;
    Bytes data;
};

Bytes container(DkitCredentialSourceMainDetails main, U8 sub, const std::vector<BlockContent>& blocks) {
    Bytes area(72);
    DkitCredential cred{};
    dkitCredentialInitialize(&cred, area.data(), static_cast<U16>(area.size()));
    DkitCredentialSourceDetails details{};
    details.main = main;
    std::memcpy(&details.additional, &sub, 1);
    dkitCredentialAddBlockWithSourceDetails(&cred, details);
    for (const BlockContent& b : blocks) {
        dkitCredentialAddBlock(&cred, b.type, b.bits, b.data.data());
    }
    dkitCredentialFinalize(&cred);
    area.resize(cred.numberOfBytes);
    return area;
}

struct NamedContainer {
    const char* name;
    Bytes bytes;
};

std::vector<NamedContainer> containers() {
    return {
        {"mifare-uid", container(DKIT_CREDENTIALSOURCE_MIFARE, DKIT_CREDENTIALADDITIONALDETAILS_MIFARE_CLASSIC_1K,
                                 {{CREDBLOCKTYPE_MIFARE_UID, 56, {0x04, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66}}})},
        {"iclass-26bit", container(DKIT_CREDENTIALSOURCE_ICLASS, DKIT_CREDENTIALADDITIONALDETAILS_ICLASS_STD,
                                   {{CREDBLOCKTYPE_ICLASS_ACCESS_ID, 26, {0x12, 0x34, 0x56, 0xC0}},
                                    {CREDBLOCKTYPE_UNDEFINED_DYNAMIC_DATA, 12, {0xAB, 0xC0}}})},
        {"seos", container(DKIT_CREDENTIALSOURCE_SEOS, DKIT_CREDENTIALADDITIONALDETAILS_SEOS_14443A,
                           {{CREDBLOCKTYPE_SEOS_CREDENTIAL, 64, {1, 2, 3, 4, 5, 6, 7, 8}}})},
        {"legic", container(DKIT_CREDENTIALSOURCE_LEGIC, DKIT_CREDENTIALADDITIONALDETAILS_LEGIC_PRIME,
                            {{CREDBLOCKTYPE_LEGIC_UID, 32, {0xDE, 0xAD, 0xBE, 0xEF}},
                             {CREDBLOCKTYPE_ISO_15693_UID, 64, {0xE0, 4, 1, 0, 0x12, 0x34, 0x56, 0x78}}})},
        {"source-only", container(DKIT_CREDENTIALSOURCE_LOW_FREQUENCY, 0, {})},
    };
}

// ---- telegrams -----------------------------------------------------------------------

struct Telegram {
    std::string name;
    Bytes bytes;
};

std::vector<Telegram> telegrams() {
    const Bytes dev = deviceId(0x10);
    const Bytes host = deviceId(0x80);
    std::vector<Telegram> t = {
        {"get-version", {0x20, 0x01}},
        {"version", cat({{0x21, 1, 2, 0x11, 0x22, 0x01, 2, 5, 0x01, 0x2C}, text("lock fw 2.5"), repeat(0, 9)})},
        {"result", {0x28, 0x70, 0x00}},
        {"reset", {0x30, 0x01}},
        {"mifare-uid-only", {0x41, 56, 0x04, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66}},
        {"mifare-sector-data",
         cat({{0x42, 1, 7, 0x04, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0, 0, 16}, repeat(0xA5, 16)})},
        {"access-decision", {0x48, 0x01, 0x00, 0x00}},
        {"get-activator-state", cat({{0x49}, dev})},
        {"activator", cat({{0x51}, dev, {0x01, 0x02}})},
        {"activator-with-id", cat({{0x51}, dev, {0x01, 0x02, 0x07}})},
        {"indicate-credential-request", {0x52, 0x00, 0x05}},
        {"grant-access", {0x54, 0x01, 0x01, 0x00, 0x05, 0x01}},
        {"grant-access-with-indication",
         {0x54, 0x01, 0x01, 0x00, 0x05, 0x02, 0x01, 0, 0, 0, 0x03, 0, 0, 0, 0x0F, 0x04}},
        {"set-door-mode", {0x55, 0x02, 0xFF, 0xFF, 0xFF, 0xFF, 0x01}},
        {"set-door-mode-with-indication", {0x55, 0x02, 0, 0, 0, 60, 0x02, 0x01, 0, 0, 0, 0x01, 0, 0, 0, 0x01, 0x02}},
        {"reset-door-mode", {0x56}},
        {"access-denied", {0x57, 0x01}},
        {"access-denied-with-indication", {0x57, 0x02, 0x02, 0, 0, 0, 0x02, 0, 0, 0, 0x06, 0x01}},
        {"get-event", {0x60, 0x00, 0x03}},
        {"event", {0x61, 24, 5, 17, 10, 30, 59, 0x02, 0x00, 0x01}},
        {"set-parameter-timeout", {0x70, 1, 0x01, 0xF4}},
        {"set-parameter-rxlen", {0x70, 32, 200}},
        {"set-parameter-u32", {0x70, 128, 0x12, 0x34, 0x56, 0x78}},
        {"set-parameter-unknown", {0x70, 99, 0x01}},
        {"get-parameter", {0x71, 67}},
        {"parameter", {0x72, 72, 0, 0, 0x10, 0x00}},
        {"keypad", cat({{0x73}, dev, {0x01, 4}, text("1234"), repeat(0, 12)})},
        {"get-supported-lock-states", {0xA0}},
        {"supported-lock-states", {0xA1, 3, 0x01, 0x02, 0x03}},
        {"get-lock-state", {0xA2}},
        {"lock-state", {0xA3, 0x02}},
        {"get-supported-door-states", {0xA5}},
        {"supported-door-states", {0xA6, 2, 0x01, 0x02}},
        {"get-door-state", {0xA7}},
        {"door-state", {0xA8, 0x01}},
        {"get-all-handle-states", {0xAA}},
        {"handle-state", cat({{0xAB}, dev, {0x01, 0x01}})},
        {"get-all-key-cylinder-states", {0xAC}},
        {"key-cylinder-state", cat({{0xAD}, dev, {0x02, 0x01}})},
        {"get-tamper-state", {0xAE}},
        {"tamper-state", {0xAF, 0x01}},
        {"get-all-tamper-states", {0xB0}},
        {"tamper-state-for-device", cat({{0xB1}, dev, {0x01}})},
        {"get-device-info", {0xB2}},
        {"device-info", cat({{0xB3}, dev, host, {0x01, 0x03}})},
        {"get-extended-device-info", cat({{0xB4}, dev, {0, 0, 0, 0x02}})},
        {"extended-device-info", cat({{0xB5}, dev, {0x01, 0, 0, 0, 0x02, 8}, text("SN-12345")})},
        {"get-dtcs", cat({{0xB6}, dev, {0x01}})},
        {"dtc", cat({{0xB7}, dev, {0, 0, 0x01, 0x02, 0x80}})},
        {"clear-dtc", cat({{0xB8}, dev, {0, 0, 0, 0}})},
        {"set-permanent-indication", {0xB9, 0x01, 0, 0, 0, 0x01, 0, 0, 0, 0x03}},
        {"set-permanent-indication-with-representation", {0xB9, 0x01, 0, 0, 0, 0x01, 0, 0, 0, 0x03, 0x04}},
        {"firmware-upgrade", cat({{0xBA}, dev, {0x00}, text("fw/lock-2.6.bin")})},
        {"firmware-status", cat({{0xBB}, dev, {0x01, 0x00, 0x01}, text("lock ready"), {0}})},
        {"block-data-transport", {0xBD, 0x03, 16, 0x00, 0x07}},
        {"set-time-local", {0xBE, 24, 5, 17, 10, 30, 0, 0x00}},
        {"set-time-utc", {0xBE, 24, 5, 17, 10, 30, 0, 0x01, 0xFC}},
        {"get-all-states", cat({{0xBF}, dev})},
        {"get-alarms", cat({{0xC0}, dev, {0x01}})},
        {"alarm", cat({{0xC1}, dev, {0x00, 0x03, 0x01, 0x02, 0x00}})},
        {"confirm-alarm", cat({{0xC2}, dev, {0xFF}})},
        {"action-with-timer", cat({{0xC3}, dev, {1, 0x05, 0, 0, 0, 10, 0, 0, 0, 30}})},
        {"door-mode", {0xC5, 0x01}},
        {"reserved", {0x40, 0x01, 0x02}},
        {"undeclared", {0x10, 0xAA}},
    };
    for (const NamedContainer& c : containers()) {
        t.push_back({std::string("generic-credential-") + c.name, cat({{0x43}, dev, {0x01}, c.bytes})});
    }
    return t;
}

std::string telegramSeedName(const Telegram& t) {
    char id[8];
    std::snprintf(id, sizeof id, "%02x-", t.bytes.empty() ? 0 : t.bytes[0]);
    return std::string(id) + t.name;
}

// ---- bus traffic ---------------------------------------------------------------------

void writeByteStreamSeeds(const std::vector<Telegram>& all) {
    const Bytes poll = frame(kMaster, 5, {0xA2});
    const Bytes answer = frame(5, kMaster, {0xA3, 0x02});
    const Bytes emptyPoll = frame(kMaster, 7, {});

    // Every telegram on the line once, as a device answer to a poll.
    for (const Telegram& t : all) {
        writeSeed("byteStreamFuzz", telegramSeedName(t),
                  Stream().bus(frame(kMaster, 3, {0xBF})).pause(3).bus(frame(3, kMaster, t.bytes)).input());
    }
    // Addresses and values that must travel escaped, 0xFF among them.
    writeSeed("byteStreamFuzz", "escaped-header-and-data",
              Stream().bus(frame(0x02, 0x1B, {0x03, 0x02, 0x1B, 0xFF, 0x82})).bus(frame(0xFF, 0x03, {0x1B})).input());
    writeSeed("byteStreamFuzz", "longest-encodable",
              Stream().bus(frame(kMaster, 9, cat({{0x61}, repeat(0x5A, 169)}))).input());
    writeSeed("byteStreamFuzz", "online-offline",
              Stream()
                  .bus(poll)
                  .pause(2)
                  .bus(answer)
                  .pause(20)
                  .bus(poll)
                  .pause(50)
                  .bus(emptyPoll)
                  .pause(50)
                  .bus(poll)
                  .input());
    writeSeed("byteStreamFuzz", "noise-between-frames",
              Stream().bus({0x00, 0x55, 0x03, 0x1B, 0x02}).bus(poll).bus({0x04, 0x10}).bus(answer).input());
    // A frame cut by a pause of 190 ms is dropped; one of 189 ms is kept.
    const Bytes firstHalf(answer.begin(), answer.begin() + 3);
    const Bytes secondHalf(answer.begin() + 3, answer.end());
    writeSeed("byteStreamFuzz", "gap-drops-frame",
              Stream().bus(firstHalf).pause(190).bus(secondHalf).bus(poll).input());
    writeSeed("byteStreamFuzz", "gap-keeps-frame",
              Stream().bus(firstHalf).pause(189).bus(secondHalf).bus(poll).input());
    writeSeed("byteStreamFuzz", "gaps-add-up",
              Stream().bus(firstHalf).pause(100).pause(100).bus(secondHalf).bus(poll).input());
    // A wrong BCC, and 0x04 where the ETX belongs.
    Bytes badBcc = answer;
    badBcc[badBcc.size() - 2] ^= 0x40;
    Bytes badEtx = answer;
    badEtx.back() = 0x04;
    writeSeed("byteStreamFuzz", "wrong-bcc", Stream().bus(badBcc).bus(poll).input());
    writeSeed("byteStreamFuzz", "wrong-etx", Stream().bus(badEtx).pause(250).bus(poll).input());
    writeSeed("byteStreamFuzz", "frame-without-data", Stream().bus(emptyPoll).bus(poll).input());
    // A length byte announcing more data than ever comes.
    writeSeed("byteStreamFuzz", "long-length-then-silence",
              Stream().bus({0x02, 0x05, 0x00, 0xFE, 0x01}).pause(255).input());
}

// ---- typed console lines ---------------------------------------------------------------

// A command followed by more words than a line can hand over.
Bytes manyWords() {
    Bytes b = text("exit");
    for (int i = 0; i < 80; ++i) {
        b.push_back(' ');
        b.push_back(static_cast<U8>('a' + i % 26));
    }
    b.push_back('\r');
    return b;
}

void writeShellSeeds() {
    const std::vector<std::pair<const char*, Bytes>> lines = {
        {"help", text("help\r")},
        {"help-command", text("help logToFile\r")},
        {"quit-with-words", text("   quit   now   \r")},
        {"complete-unique", text("qu\t\r")},
        {"complete-ambiguous", text("r\t\t\r")},
        {"list-all", text("\t\t")},
        {"erase", text("ab\b\b\x7fquit\r")},
        {"verbose", text("verboseMessages 3\rrawData 1\rlogToFile 0\r")},
        {"unknown", text("nothing here\r \r")},
        {"long-line", cat({text("rawData "), repeat('x', 300), text("\r")})},
        {"many-words", manyWords()},
        {"control-characters", {'e', 'x', 0x01, 0x1B, '[', 'A', 0x00, '\n', 0xFF, '\r'}},
    };
    for (const auto& [name, bytes] : lines) {
        writeSeed("shellFuzz", name, bytes);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus dir>\n", argc > 0 ? argv[0] : "makeCorpus");
        return 2;
    }
    corpusRoot = argv[1];

    const std::vector<Telegram> all = telegrams();
    for (const Telegram& t : all) {
        writeSeed("telegramFuzz", telegramSeedName(t), t.bytes);
    }
    writeByteStreamSeeds(all);
    for (const NamedContainer& c : containers()) {
        writeSeed("credentialFuzz", c.name, c.bytes);
    }
    writeShellSeeds();
    writeCaptureSeeds();
    std::printf("%d seed files written under %s\n", filesWritten, corpusRoot.c_str());
    return 0;
}
