#include "Dkit/Include/dkitCredential.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

// A received area of exactly the given bytes on the heap, so that the
// address sanitizer sees any read past its end.
struct Area {
    explicit Area(std::vector<U8> bytes) : size(bytes.size()), data(new U8[bytes.size() + (bytes.empty() ? 1 : 0)]) {
        std::copy(bytes.begin(), bytes.end(), data.get());
    }
    DkitCredential credential() const { return DkitCredential{static_cast<U16>(size), data.get()}; }
    std::size_t size;
    std::unique_ptr<U8[]> data;
};

Boolean isValid(const std::vector<U8>& bytes) {
    Area area(bytes);
    const DkitCredential credential = area.credential();
    return dkitCredentialIsValid(&credential);
}

TEST(DkitCredentialIsValid, DecidesOnCoverageOfTheArea) {
    struct Case {
        const char* name;
        std::vector<U8> bytes;
        Boolean valid;
    };
    const Case cases[] = {
        {"one block of one byte in six bytes", {0x02, 0x00, 0x00, 0x01, 0x08, 0xAA}, TRUE},
        {"valid-bits byte is not looked at", {0x02, 0x00, 0x00, 0x01, 0x00, 0xAA}, TRUE},
        {"five bytes", {0x02, 0x00, 0x00, 0x01, 0x08}, FALSE},
        {"five bytes with a zero length", {0x02, 0x00, 0x00, 0x00, 0x08}, FALSE},
        {"empty", {}, FALSE},
        {"block followed by six zeros",
         {0x02, 0x00, 0x00, 0x01, 0x08, 0xAA, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},
         FALSE},
        {"block followed by one non-zero byte", {0x02, 0x00, 0x00, 0x01, 0x08, 0xAA, 0x55}, FALSE},
        {"zero length in the first block", {0x02, 0x00, 0x00, 0x00, 0x08, 0xAA}, FALSE},
        {"zero length in the second block",
         {0x02, 0x00, 0x00, 0x01, 0x08, 0xAA, 0x01, 0x00, 0x00, 0x00, 0x08, 0x00},
         FALSE},
        {"data runs one byte past the end", {0x02, 0x00, 0x00, 0x02, 0x08, 0xAA}, FALSE},
        {"length field far beyond the area", {0x02, 0x00, 0xFF, 0xFF, 0x08, 0xAA}, FALSE},
        {"two blocks covering exactly",
         {0x01, 0x00, 0x00, 0x02, 0x08, 0x01, 0x02, 0x02, 0x00, 0x00, 0x04, 0x08, 0x04, 0x5a, 0x6b, 0x7c},
         TRUE},
        {"second header cut short", {0x02, 0x00, 0x00, 0x01, 0x08, 0xAA, 0x02, 0x00, 0x00, 0x01, 0x08}, FALSE},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.valid, isValid(c.bytes)) << c.name;
    }
    EXPECT_EQ(FALSE, dkitCredentialIsValid(nullptr));
    const DkitCredential noData{6, nullptr};
    EXPECT_EQ(FALSE, dkitCredentialIsValid(&noData));
}

TEST(DkitCredentialRead, WalksBlocksAndReadsHeaders) {
    // Source details, then a 26-bit UID of 4 bytes with 2 valid bits.
    Area area({0x01, 0x00, 0x00, 0x02, 0x08, 0x01, 0x02, 0x02, 0x00, 0x00, 0x04, 0x02, 0x12, 0x34, 0x56, 0xC0});
    const DkitCredential credential = area.credential();
    ASSERT_EQ(TRUE, dkitCredentialIsValid(&credential));
    EXPECT_EQ(2, dkitCredentialGetNumberOfBlocks(&credential));

    DkitCredentialBlockHandle first = dkitCredentialGetNextBlockHandle(&credential, nullptr);
    ASSERT_EQ(area.data.get(), first);
    EXPECT_EQ(CREDBLOCKTYPE_SOURCE_DETAILS, dkitCredentialBlockGetType(first));
    EXPECT_EQ(16u, dkitCredentialBlockGetTotalNumberOfBits(first));
    DkitCredentialSourceDetails details{};
    dkitCredentialBlockGetSourceDetails(&details, first);
    EXPECT_EQ(DKIT_CREDENTIALSOURCE_MIFARE, details.main);
    EXPECT_EQ(DKIT_CREDENTIALADDITIONALDETAILS_MIFARE_CLASSIC_4K, details.additional.mifare);

    DkitCredentialBlockHandle second = dkitCredentialGetNextBlockHandle(&credential, first);
    ASSERT_EQ(area.data.get() + 7, second);
    EXPECT_EQ(CREDBLOCKTYPE_MIFARE_UID, dkitCredentialBlockGetType(second));
    EXPECT_EQ(4, dkitCredentialBlockGetNumberOfBytes(second));
    EXPECT_EQ(2, dkitCredentialBlockGetNumberOfValidBitsInLastByte(second));
    EXPECT_EQ(26u, dkitCredentialBlockGetTotalNumberOfBits(second));
    EXPECT_EQ(area.data.get() + 12, dkitCredentialBlockGetDataPtr(second));

    EXPECT_EQ(nullptr, dkitCredentialGetNextBlockHandle(&credential, second));
}

TEST(DkitCredentialRead, FindsBlocksByType) {
    Area area({0x02, 0x00, 0x00, 0x01, 0x08, 0xAA, 0x01, 0x00, 0x00, 0x02,
               0x08, 0x07, 0x01, 0x01, 0x00, 0x00, 0x02, 0x08, 0x02, 0x00});
    const DkitCredential credential = area.credential();
    ASSERT_EQ(TRUE, dkitCredentialIsValid(&credential));
    const U8* base = area.data.get();

    EXPECT_EQ(base + 6, dkitCredentialGetNextBlockHandleOfType(&credential, nullptr, CREDBLOCKTYPE_SOURCE_DETAILS));
    EXPECT_EQ(base + 13, dkitCredentialGetNextBlockHandleOfType(&credential, base + 6, CREDBLOCKTYPE_SOURCE_DETAILS));
    EXPECT_EQ(nullptr, dkitCredentialGetNextBlockHandleOfType(&credential, base + 13, CREDBLOCKTYPE_SOURCE_DETAILS));
    EXPECT_EQ(base, dkitCredentialGetNextBlockHandleOfType(&credential, nullptr, CREDBLOCKTYPE_MIFARE_UID));
    // All 16 bits are compared: 0x0201 is not 0x0200.
    EXPECT_EQ(nullptr, dkitCredentialGetNextBlockHandleOfType(&credential, nullptr, 0x0201));
}

TEST(DkitCredentialRead, SourceDetailsOfAShortBlockReadOnlyItsOwnBytes) {
    Area area({0x01, 0x00, 0x00, 0x01, 0x08, 0x07});
    const DkitCredential credential = area.credential();
    DkitCredentialSourceDetails details{};
    details.additional.seos = DKIT_CREDENTIALADDITIONALDETAILS_SEOS_14443B;
    dkitCredentialBlockGetSourceDetails(&details, dkitCredentialGetNextBlockHandle(&credential, nullptr));
    EXPECT_EQ(DKIT_CREDENTIALSOURCE_SEOS, details.main);
    EXPECT_EQ(DKIT_CREDENTIALADDITIONALDETAILS_SEOS_UNKNOWN, details.additional.seos);
}

// A handle near the end that cannot hold a header has no successor; its
// length field lies outside the area and must not be read.
TEST(DkitCredentialRead, HandleWithoutRoomForAHeaderHasNoSuccessor) {
    Area area({0x02, 0x00, 0x00, 0x01, 0x08, 0xAA, 0x02, 0x00, 0x00});
    const DkitCredential credential = area.credential();
    EXPECT_EQ(nullptr, dkitCredentialGetNextBlockHandle(&credential, area.data.get() + 6));
    EXPECT_EQ(nullptr, dkitCredentialGetNextBlockHandle(&credential, area.data.get() + 7));
}

TEST(DkitCredentialWrite, PacksBitsAndClearsUnusedLowBits) {
    struct Case {
        U32 bits;
        std::vector<U8> input;
        std::vector<U8> block;
    };
    const Case cases[] = {
        {26, {0x12, 0x34, 0x56, 0xFF}, {0x02, 0x00, 0x00, 0x04, 0x02, 0x12, 0x34, 0x56, 0xC0}},
        {8, {0xFF}, {0x02, 0x00, 0x00, 0x01, 0x08, 0xFF}},
        {1, {0xFF}, {0x02, 0x00, 0x00, 0x01, 0x01, 0x80}},
        {9, {0xAB, 0xFF}, {0x02, 0x00, 0x00, 0x02, 0x01, 0xAB, 0x80}},
        {16, {0xAB, 0xCD}, {0x02, 0x00, 0x00, 0x02, 0x08, 0xAB, 0xCD}},
    };
    for (const Case& c : cases) {
        U8 buffer[32];
        std::fill(std::begin(buffer), std::end(buffer), 0xEE);
        DkitCredential credential{};
        dkitCredentialInitialize(&credential, buffer, sizeof buffer);
        dkitCredentialAddBlock(&credential, CREDBLOCKTYPE_MIFARE_UID, c.bits, c.input.data());
        dkitCredentialFinalize(&credential);
        ASSERT_EQ(c.block.size(), credential.numberOfBytes) << c.bits;
        EXPECT_EQ(c.block, std::vector<U8>(buffer, buffer + credential.numberOfBytes)) << c.bits;
        EXPECT_EQ(0, buffer[credential.numberOfBytes]) << "the rest of the buffer is cleared";
        EXPECT_EQ(c.bits,
                  dkitCredentialBlockGetTotalNumberOfBits(dkitCredentialGetNextBlockHandle(&credential, nullptr)));
    }
}

TEST(DkitCredentialWrite, FinalizeShrinksToTheBlocks) {
    U8 buffer[12];
    DkitCredential credential{};
    dkitCredentialInitialize(&credential, buffer, sizeof buffer);
    const U8 uid = 0xAA;
    dkitCredentialAddBlock(&credential, CREDBLOCKTYPE_MIFARE_UID, 8, &uid);
    EXPECT_EQ(FALSE, dkitCredentialIsValid(&credential)) << "six trailing zeros before finalize";
    dkitCredentialFinalize(&credential);
    EXPECT_EQ(6, credential.numberOfBytes);
    EXPECT_EQ(TRUE, dkitCredentialIsValid(&credential));
    EXPECT_EQ(1, dkitCredentialGetNumberOfBlocks(&credential));
}

TEST(DkitCredentialWrite, AppendsBlocksAndFillsAnExactFit) {
    U8 buffer[18];
    DkitCredential credential{};
    dkitCredentialInitialize(&credential, buffer, sizeof buffer);
    DkitCredentialSourceDetails details{};
    details.main = DKIT_CREDENTIALSOURCE_LEGIC;
    details.additional.legic = DKIT_CREDENTIALADDITIONALDETAILS_LEGIC_14443A;
    dkitCredentialAddBlockWithSourceDetails(&credential, details);
    const U8 data[6] = {1, 2, 3, 4, 5, 6};
    // 7 + 11 = 18: the second block fills the free space to the last byte.
    dkitCredentialAddBlock(&credential, CREDBLOCKTYPE_SEOS_CREDENTIAL, 6 * 8, data);
    EXPECT_EQ(TRUE, dkitCredentialIsValid(&credential)) << "no free space left, so valid before finalize";
    dkitCredentialFinalize(&credential);
    EXPECT_EQ(18, credential.numberOfBytes);
    const std::vector<U8> expected = {0x01, 0x00, 0x00, 0x02, 0x08, 0x06, 0x03, 0x07, 0x00,
                                      0x00, 0x06, 0x08, 1,    2,    3,    4,    5,    6};
    EXPECT_EQ(expected, std::vector<U8>(buffer, buffer + credential.numberOfBytes));
}

// --- Assertions -------------------------------------------------------------

// The fatal-error handler writes to standard output; the death test matches
// on standard error, so the child points one at the other first.
std::string escapeRegex(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (std::string("\\^$.|?*+()[]{}").find(c) != std::string::npos) {
            out += '\\';
        }
        out += c;
    }
    return out;
}

std::string fatalPattern(const std::string& message) {
    return "\nDkit/Source/dkitCredential:[0-9]+: \\(F\\) " + escapeRegex(message) + "\n";
}

void expectFatal(const std::function<void()>& call, const std::string& message) {
    EXPECT_EXIT(
        {
            dup2(STDERR_FILENO, STDOUT_FILENO);
            call();
        },
        testing::ExitedWithCode(2), fatalPattern(message))
        << message;
}

const char* const kNullDescriptor = "Assertion failed '((void *)0) != credentialPtr'";
const char* const kZeroSize = "Assertion failed '0 != credentialPtr->numberOfBytes'";
const char* const kNullData = "Assertion failed '((void *)0) != credentialPtr->credentialDataPtr'";
const char* const kNullHandle = "Assertion failed '((void *)0) != handle'";
const char* const kRoom =
    "Assertion failed '( ( credentialPtr->credentialDataPtr + credentialPtr->numberOfBytes ) >= ( credDataPtr + "
    "numberOfBytes + ( 5 ) ) )'";

using DescriptorUse = std::function<void(DkitCredential*)>;

TEST(DkitCredentialDeathTest, DescriptorChecksInEveryOperationThatTakesOne) {
    static U8 byte = 0xAA;
    const std::pair<const char*, DescriptorUse> uses[] = {
        {"AddBlock", [](DkitCredential* c) { dkitCredentialAddBlock(c, CREDBLOCKTYPE_MIFARE_UID, 8, &byte); }},
        {"AddBlockWithSourceDetails",
         [](DkitCredential* c) { dkitCredentialAddBlockWithSourceDetails(c, DkitCredentialSourceDetails{}); }},
        {"GetNumberOfBlocks", [](DkitCredential* c) { dkitCredentialGetNumberOfBlocks(c); }},
        {"Finalize", [](DkitCredential* c) { dkitCredentialFinalize(c); }},
        {"GetNextBlockHandle", [](DkitCredential* c) { dkitCredentialGetNextBlockHandle(c, nullptr); }},
        {"GetNextBlockHandleOfType",
         [](DkitCredential* c) { dkitCredentialGetNextBlockHandleOfType(c, nullptr, CREDBLOCKTYPE_MIFARE_UID); }},
    };
    for (const auto& entry : uses) {
        SCOPED_TRACE(entry.first);
        const DescriptorUse& use = entry.second;
        expectFatal([&use] { use(nullptr); }, kNullDescriptor);
        expectFatal(
            [&use] {
                // Both faults at once: the size is checked first.
                DkitCredential credential{0, nullptr};
                use(&credential);
            },
            kZeroSize);
        expectFatal(
            [&use] {
                DkitCredential credential{6, nullptr};
                use(&credential);
            },
            kNullData);
    }
}

const U8 kData[64] = {};

void addBits(DkitCredential* credential, U32 bits) {
    dkitCredentialAddBlock(credential, CREDBLOCKTYPE_MIFARE_UID, bits, kData);
}

TEST(DkitCredentialDeathTest, WritingSidePreconditions) {
    struct Case {
        U16 capacity;
        void (*steps)(DkitCredential*);
        const char* message;
    };
    const Case cases[] = {
        {8, [](DkitCredential* c) { addBits(c, 0); }, "Assertion failed '0 != totalNofBits'"},
        {8, [](DkitCredential* c) { dkitCredentialAddBlock(c, CREDBLOCKTYPE_MIFARE_UID, 8, nullptr); },
         "Assertion failed '((void *)0) != credInfoDataPtr'"},
        // A block of 12 bytes does not fit behind one of 10 in 20, though
        // alone it would.
        {20,
         [](DkitCredential* c) {
             addBits(c, 5 * 8);
             addBits(c, 7 * 8);
         },
         kRoom},
        {16,
         [](DkitCredential* c) {
             addBits(c, 8);
             dkitCredentialFinalize(c);
             addBits(c, 8);
         },
         kRoom},
        // More bits than a 16-bit length can describe must not wrap into a
        // small block.
        {16, [](DkitCredential* c) { addBits(c, 65536u * 8); }, kRoom},
        {16, [](DkitCredential* c) { dkitCredentialFinalize(c); },
         "Assertion failed '0 != credInfoPtr - credentialPtr->credentialDataPtr'"},
    };
    for (const Case& c : cases) {
        expectFatal(
            [&c] {
                U8 buffer[64];
                DkitCredential credential{};
                dkitCredentialInitialize(&credential, buffer, c.capacity);
                c.steps(&credential);
            },
            c.message);
    }
}

TEST(DkitCredentialDeathTest, HandleAtOrPastTheLastByte) {
    // The area starts one byte into the storage, so that a handle just before
    // it can be formed.
    static U8 storage[13] = {0x00, 0x02, 0x00, 0x00, 0x01, 0x08, 0xAA, 0x02, 0x00, 0x00, 0x01, 0x08, 0xBB};
    static U8* const bytes = storage + 1;
    const U8* const handles[] = {bytes + 11, bytes + 12, storage};
    for (const U8* handle : handles) {
        expectFatal(
            [handle] {
                const DkitCredential credential{12, bytes};
                dkitCredentialGetNextBlockHandle(&credential, handle);
            },
            "Assertion failed 'handle < lastByteInCredentialPtr'");
        expectFatal(
            [handle] {
                const DkitCredential credential{12, bytes};
                dkitCredentialGetNextBlockHandleOfType(&credential, handle, CREDBLOCKTYPE_MIFARE_UID);
            },
            "Assertion failed 'handle < lastByteInCredentialPtr'");
    }
}

TEST(DkitCredentialDeathTest, GettersOnANullHandle) {
    const std::function<void()> getters[] = {
        [] { dkitCredentialBlockGetType(nullptr); },
        [] { dkitCredentialBlockGetNumberOfBytes(nullptr); },
        [] { dkitCredentialBlockGetNumberOfValidBitsInLastByte(nullptr); },
        [] { dkitCredentialBlockGetTotalNumberOfBits(nullptr); },
        [] { dkitCredentialBlockGetDataPtr(nullptr); },
    };
    for (const auto& getter : getters) {
        expectFatal(getter, kNullHandle);
    }
}

TEST(DkitCredentialDeathTest, SourceDetailsPreconditions) {
    static const U8 sourceBlock[7] = {0x01, 0x00, 0x00, 0x02, 0x08, 0x01, 0x02};
    static const U8 uidBlock[6] = {0x02, 0x00, 0x00, 0x01, 0x08, 0xAA};
    expectFatal([] { dkitCredentialBlockGetSourceDetails(nullptr, sourceBlock); },
                "Assertion failed '((void *)0) != sourceDetailsPtr'");
    expectFatal(
        [] {
            DkitCredentialSourceDetails details{};
            dkitCredentialBlockGetSourceDetails(&details, nullptr);
        },
        "Assertion failed '( (DkitCredentialBlockHandle )((void *)0)) != handle'");
    expectFatal(
        [] {
            DkitCredentialSourceDetails details{};
            dkitCredentialBlockGetSourceDetails(&details, uidBlock);
        },
        "Assertion failed '( ( DkitCredentialBlockType )0x0100 ) == ( (U16)( (((U16)((( U8* )handle)[0])) << 8 ) | "
        "((( U8* )handle)[1]) ))'");
}

// --- Properties ---------------------------------------------------------------

struct Block {
    DkitCredentialBlockType type;
    U32 bits;
    std::vector<U8> data;  // as stored: low bits below the valid ones cleared
};

TEST(DkitCredentialProperty, WrittenContainersReadBackBlockForBlock) {
    std::mt19937 rng(20240611);
    for (int round = 0; round < 2000; ++round) {
        const std::size_t capacity = std::uniform_int_distribution<std::size_t>(6, 255)(rng);
        std::vector<U8> buffer(capacity);
        DkitCredential credential{};
        dkitCredentialInitialize(&credential, buffer.data(), static_cast<U16>(capacity));

        std::vector<Block> written;
        std::size_t used = 0;
        for (;;) {
            const U32 bits = std::uniform_int_distribution<U32>(1, 80)(rng);
            const std::size_t bytes = (bits + 7) / 8;
            if (used + 5 + bytes > capacity) {
                break;
            }
            Block block{static_cast<DkitCredentialBlockType>(rng()), bits, std::vector<U8>(bytes)};
            for (U8& b : block.data) {
                b = static_cast<U8>(rng());
            }
            dkitCredentialAddBlock(&credential, block.type, bits, block.data.data());
            const unsigned validBits = (bits - 1) % 8 + 1;
            block.data.back() &= static_cast<U8>(0xFF00u >> validBits);
            written.push_back(block);
            used += 5 + bytes;
        }
        if (written.empty()) {
            continue;
        }
        dkitCredentialFinalize(&credential);
        ASSERT_EQ(used, credential.numberOfBytes);
        ASSERT_EQ(TRUE, dkitCredentialIsValid(&credential));
        ASSERT_EQ(written.size(), dkitCredentialGetNumberOfBlocks(&credential));

        DkitCredentialBlockHandle handle = nullptr;
        for (const Block& block : written) {
            handle = dkitCredentialGetNextBlockHandle(&credential, handle);
            ASSERT_NE(nullptr, handle);
            EXPECT_EQ(block.type, dkitCredentialBlockGetType(handle));
            EXPECT_EQ(block.bits, dkitCredentialBlockGetTotalNumberOfBits(handle));
            const U8* data = dkitCredentialBlockGetDataPtr(handle);
            EXPECT_EQ(block.data, std::vector<U8>(data, data + dkitCredentialBlockGetNumberOfBytes(handle)));
        }
        EXPECT_EQ(nullptr, dkitCredentialGetNextBlockHandle(&credential, handle));
    }
}

// Arbitrary received bytes: the check never reads outside the area, and when
// it accepts, the walk and every getter stay inside it without asserting.
TEST(DkitCredentialProperty, RandomAreasAreSafeToCheckAndWalk) {
    std::mt19937 rng(7);
    int validSeen = 0;
    for (int round = 0; round < 20000; ++round) {
        // Plausible blocks with small length fields, then a bit flipped or
        // the area cut or lengthened now and then.
        std::vector<U8> bytes;
        const int blocks = std::uniform_int_distribution<int>(1, 4)(rng);
        for (int i = 0; i < blocks; ++i) {
            const U8 count = static_cast<U8>(rng() % 9);
            bytes.insert(bytes.end(), {static_cast<U8>(rng() % 3), 0, static_cast<U8>(rng() % 2), count, 8});
            for (U8 k = 0; k < count; ++k) {
                bytes.push_back(static_cast<U8>(rng()));
            }
        }
        if (rng() % 2 == 0) {
            bytes[rng() % bytes.size()] ^= static_cast<U8>(1u << (rng() % 8));
        }
        if (rng() % 3 == 0) {
            bytes.resize(rng() % (bytes.size() + 2));
        }
        const std::size_t size = bytes.size();
        Area area(bytes);
        const DkitCredential credential = area.credential();
        if (!dkitCredentialIsValid(&credential)) {
            continue;
        }
        ++validSeen;
        std::size_t covered = 0;
        for (DkitCredentialBlockHandle h = dkitCredentialGetNextBlockHandle(&credential, nullptr); h != nullptr;
             h = dkitCredentialGetNextBlockHandle(&credential, h)) {
            const U8* data = dkitCredentialBlockGetDataPtr(h);
            const U16 count = dkitCredentialBlockGetNumberOfBytes(h);
            ASSERT_LE(data + count, area.data.get() + size);
            covered += 5u + count;
            if (dkitCredentialBlockGetType(h) == CREDBLOCKTYPE_SOURCE_DETAILS) {
                DkitCredentialSourceDetails details{};
                dkitCredentialBlockGetSourceDetails(&details, h);
            }
        }
        EXPECT_EQ(size, covered);
    }
    EXPECT_GT(validSeen, 0);
}

}  // namespace
