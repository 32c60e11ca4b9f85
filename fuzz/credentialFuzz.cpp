// Arbitrary bytes as a received credential block container. The reader's
// contract: check validity first, then walk the blocks and read them through
// the handles the walk returns. Nothing on that path may read outside the
// bytes or reach an assertion. A valid container must also come out the same
// when its blocks are written again through the writing side.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "Dkit/Include/dkitCredential.h"
#include "base/hal_types.h"

namespace {

constexpr std::size_t kHeaderSize = 5;
// The container's size field is 16 bits wide.
constexpr std::size_t kMaxArea = 0xFFFF;

constexpr DkitCredentialBlockType kTypesToSearch[] = {
    CREDBLOCKTYPE_UNKNOWN,          CREDBLOCKTYPE_SOURCE_DETAILS,  CREDBLOCKTYPE_MIFARE_UID,
    CREDBLOCKTYPE_ICLASS_ACCESS_ID, CREDBLOCKTYPE_SEOS_CREDENTIAL,
};

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "credentialFuzz: %s\n", what);
    std::abort();
}

void check(bool ok, const char* what) {
    if (!ok) {
        fail(what);
    }
}

struct Block {
    DkitCredentialBlockType type;
    U32 bits;
    const U8* data;
    U16 size;
    U8 validBits;
};

// Reads every block of a valid container through the getters, touching every
// data byte so that a block reaching past the area would be caught.
std::vector<Block> readBlocks(const DkitCredential& cred) {
    const U8* begin = cred.credentialDataPtr;
    const U8* end = begin + cred.numberOfBytes;
    std::vector<Block> blocks;
    std::size_t covered = 0;
    unsigned checksum = 0;
    for (DkitCredentialBlockHandle h = dkitCredentialGetNextBlockHandle(&cred, nullptr); h != nullptr;
         h = dkitCredentialGetNextBlockHandle(&cred, h)) {
        check(h == begin + covered, "blocks do not follow one another");
        const U16 size = dkitCredentialBlockGetNumberOfBytes(h);
        const U8 validBits = dkitCredentialBlockGetNumberOfValidBitsInLastByte(h);
        const U8* data = dkitCredentialBlockGetDataPtr(h);
        check(size != 0, "walk returned an empty block");
        check(data == h + kHeaderSize && data + size <= end, "block data outside the area");
        check(dkitCredentialBlockGetTotalNumberOfBits(h) == size * 8u + validBits - 8u, "total bits");
        for (U16 i = 0; i < size; ++i) {
            checksum += data[i];
        }
        const DkitCredentialBlockType type = dkitCredentialBlockGetType(h);
        if (type == CREDBLOCKTYPE_SOURCE_DETAILS) {
            DkitCredentialSourceDetails details{};
            dkitCredentialBlockGetSourceDetails(&details, h);
            check(static_cast<U8>(details.main) == data[0], "source details main type");
        }
        blocks.push_back(Block{type, dkitCredentialBlockGetTotalNumberOfBits(h), data, size, validBits});
        covered += kHeaderSize + size;
    }
    check(covered == cred.numberOfBytes, "blocks of a valid container do not cover it");
    check(dkitCredentialGetNumberOfBlocks(&cred) == static_cast<U8>(blocks.size()), "block count");
    (void)checksum;
    return blocks;
}

void searchByType(const DkitCredential& cred, const std::vector<Block>& blocks) {
    for (const DkitCredentialBlockType type : kTypesToSearch) {
        std::size_t expected = 0;
        for (const Block& b : blocks) {
            expected += b.type == type ? 1 : 0;
        }
        std::size_t found = 0;
        for (DkitCredentialBlockHandle h = dkitCredentialGetNextBlockHandleOfType(&cred, nullptr, type); h != nullptr;
             h = dkitCredentialGetNextBlockHandleOfType(&cred, h, type)) {
            check(dkitCredentialBlockGetType(h) == type, "search returned another type");
            ++found;
        }
        check(found == expected, "search by type missed or repeated a block");
    }
}

// Writes the blocks again and expects the same bytes. Only meaningful where
// the writer can express the block: 1 to 8 valid bits, and unused low bits
// of the last byte already clear.
void rewrite(const DkitCredential& cred, const std::vector<Block>& blocks) {
    for (const Block& b : blocks) {
        if (b.validBits == 0 || b.validBits > 8) {
            return;
        }
        if ((b.data[b.size - 1] & (0xFFu >> b.validBits)) != 0) {
            return;
        }
    }
    std::vector<U8> buffer(cred.numberOfBytes);
    DkitCredential out{};
    dkitCredentialInitialize(&out, buffer.data(), static_cast<U16>(buffer.size()));
    for (const Block& b : blocks) {
        dkitCredentialAddBlock(&out, b.type, b.bits, b.data);
    }
    dkitCredentialFinalize(&out);
    check(out.numberOfBytes == cred.numberOfBytes, "rewritten container has another size");
    check(std::memcmp(buffer.data(), cred.credentialDataPtr, buffer.size()) == 0, "rewritten container differs");
    check(dkitCredentialIsValid(&out) == TRUE, "rewritten container is invalid");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size > kMaxArea) {
        return 0;
    }
    // A block of exactly the received size, so that reading one byte beyond
    // it is caught.
    std::unique_ptr<U8[]> area(size != 0 ? new U8[size] : nullptr);
    if (size != 0) {
        std::memcpy(area.get(), data, size);
    }
    const DkitCredential cred{static_cast<U16>(size), area.get()};

    if (dkitCredentialIsValid(&cred) == FALSE) {
        // The walk alone (no data reads) is safe on any non-empty area.
        if (size != 0) {
            U8 count = 0;
            for (DkitCredentialBlockHandle h = dkitCredentialGetNextBlockHandle(&cred, nullptr); h != nullptr;
                 h = dkitCredentialGetNextBlockHandle(&cred, h)) {
                ++count;
            }
            check(count == dkitCredentialGetNumberOfBlocks(&cred), "block count of an invalid area");
        }
        return 0;
    }
    check(size > kHeaderSize, "valid container of 5 bytes or less");
    const std::vector<Block> blocks = readBlocks(cred);
    searchByType(cred, blocks);
    rewrite(cred, blocks);
    return 0;
}
