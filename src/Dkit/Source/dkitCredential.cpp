#include "Dkit/Include/dkitCredential.h"

#include <cstring>
#include <functional>

#include "base/icError.h"

namespace {

constexpr const char* kFile = "Dkit/Source/dkitCredential";

constexpr U32 kHeaderSize = 5;
constexpr U32 kLengthOffset = 2;
constexpr U32 kValidBitsOffset = 4;

// Every position is an offset from the start of the area, kept in 32 bits:
// a received length field can point up to 64 KiB beyond the area, and neither
// a 16-bit sum nor a pointer may be formed out there.
U32 readU16(const U8* area, U32 offset) { return (static_cast<U32>(area[offset]) << 8) | area[offset + 1]; }

// A block starts at `offset` when its header and at least one data byte lie
// inside the area and its length field is not zero. Whether all its data
// fits is left to dkitCredentialIsValid.
bool blockAt(const DkitCredential* credentialPtr, U32 offset) {
    return offset + kHeaderSize < credentialPtr->numberOfBytes &&
           readU16(credentialPtr->credentialDataPtr, offset + kLengthOffset) != 0;
}

// Offset just behind the block at `offset`; only called where a whole header
// lies inside the area.
U32 blockEnd(const DkitCredential* credentialPtr, U32 offset) {
    return offset + kHeaderSize + readU16(credentialPtr->credentialDataPtr, offset + kLengthOffset);
}

// Offset reached by walking every block from the start.
U32 endOfBlocks(const DkitCredential* credentialPtr) {
    U32 offset = 0;
    while (blockAt(credentialPtr, offset)) {
        offset = blockEnd(credentialPtr, offset);
    }
    return offset;
}

void assertDescriptor(const DkitCredential* credentialPtr) {
    IC_ASSERT_TEXT(kFile, nullptr != credentialPtr, "Assertion failed '((void *)0) != credentialPtr'");
    IC_ASSERT_TEXT(kFile, 0 != credentialPtr->numberOfBytes, "Assertion failed '0 != credentialPtr->numberOfBytes'");
    IC_ASSERT_TEXT(kFile, nullptr != credentialPtr->credentialDataPtr,
                   "Assertion failed '((void *)0) != credentialPtr->credentialDataPtr'");
}

// A handle given back to the walk must point into the area before its last
// byte. One before the area is refused as well: it could only come from a
// caller's pointer arithmetic, never from the walk.
void assertHandle(const DkitCredential* credentialPtr, DkitCredentialBlockHandle handle) {
    const U8* first = credentialPtr->credentialDataPtr;
    const U8* lastByteInCredentialPtr = first + credentialPtr->numberOfBytes - 1;
    const std::less<const U8*> before;
    IC_ASSERT_TEXT(kFile, nullptr == handle || (!before(handle, first) && before(handle, lastByteInCredentialPtr)),
                   "Assertion failed 'handle < lastByteInCredentialPtr'");
}

// The walk step without assertions: the block after `handle` (the first block
// for a null handle) or null.
DkitCredentialBlockHandle nextBlock(const DkitCredential* credentialPtr, DkitCredentialBlockHandle handle) {
    U32 candidate = 0;
    if (nullptr != handle) {
        const U32 offset = static_cast<U32>(handle - credentialPtr->credentialDataPtr);
        // A handle too close to the end to hold a header has no successor
        // (and its length field must not be read).
        if (offset + kHeaderSize > credentialPtr->numberOfBytes) {
            return nullptr;
        }
        candidate = blockEnd(credentialPtr, offset);
    }
    return blockAt(credentialPtr, candidate) ? credentialPtr->credentialDataPtr + candidate : nullptr;
}

void assertBlockHandle(DkitCredentialBlockHandle handle) {
    IC_ASSERT_TEXT(kFile, nullptr != handle, "Assertion failed '((void *)0) != handle'");
}

}  // namespace

Boolean dkitCredentialIsValid(const DkitCredential* credentialPtr) {
    if (nullptr == credentialPtr || nullptr == credentialPtr->credentialDataPtr || credentialPtr->numberOfBytes <= 5) {
        return FALSE;
    }
    if (!blockAt(credentialPtr, 0)) {
        return FALSE;
    }
    // The blocks must cover the area exactly: trailing bytes, zeros or not,
    // and a last block running past the end both fail.
    return endOfBlocks(credentialPtr) == credentialPtr->numberOfBytes ? TRUE : FALSE;
}

DkitCredentialBlockHandle dkitCredentialGetNextBlockHandle(const DkitCredential* credentialPtr,
                                                           DkitCredentialBlockHandle handle) {
    assertDescriptor(credentialPtr);
    assertHandle(credentialPtr, handle);
    return nextBlock(credentialPtr, handle);
}

DkitCredentialBlockHandle dkitCredentialGetNextBlockHandleOfType(const DkitCredential* credentialPtr,
                                                                 DkitCredentialBlockHandle handle,
                                                                 DkitCredentialBlockType type) {
    assertDescriptor(credentialPtr);
    assertHandle(credentialPtr, handle);
    do {
        handle = nextBlock(credentialPtr, handle);
    } while (nullptr != handle && dkitCredentialBlockGetType(handle) != type);
    return handle;
}

DkitCredentialBlockType dkitCredentialBlockGetType(DkitCredentialBlockHandle handle) {
    assertBlockHandle(handle);
    return static_cast<DkitCredentialBlockType>(readU16(handle, 0));
}

U16 dkitCredentialBlockGetNumberOfBytes(DkitCredentialBlockHandle handle) {
    assertBlockHandle(handle);
    return static_cast<U16>(readU16(handle, kLengthOffset));
}

U8 dkitCredentialBlockGetNumberOfValidBitsInLastByte(DkitCredentialBlockHandle handle) {
    assertBlockHandle(handle);
    return handle[kValidBitsOffset];
}

U32 dkitCredentialBlockGetTotalNumberOfBits(DkitCredentialBlockHandle handle) {
    assertBlockHandle(handle);
    return readU16(handle, kLengthOffset) * 8u + handle[kValidBitsOffset] - 8u;
}

const U8* dkitCredentialBlockGetDataPtr(DkitCredentialBlockHandle handle) {
    assertBlockHandle(handle);
    return handle + kHeaderSize;
}

void dkitCredentialBlockGetSourceDetails(DkitCredentialSourceDetails* sourceDetailsPtr,
                                         DkitCredentialBlockHandle handle) {
    IC_ASSERT_TEXT(kFile, nullptr != sourceDetailsPtr, "Assertion failed '((void *)0) != sourceDetailsPtr'");
    IC_ASSERT_TEXT(kFile, nullptr != handle, "Assertion failed '( (DkitCredentialBlockHandle )((void *)0)) != handle'");
    IC_ASSERT_TEXT(kFile, CREDBLOCKTYPE_SOURCE_DETAILS == readU16(handle, 0),
                   "Assertion failed '( ( DkitCredentialBlockType )0x0100 ) == ( (U16)( (((U16)((( U8* )handle)[0])) "
                   "<< 8 ) | ((( U8* )handle)[1]) ))'");
    // A received block may be shorter than the two bytes of the record; only
    // the bytes it really holds are read, the missing ones read as 0.
    const U32 count = readU16(handle, kLengthOffset);
    const U8 mainByte = count >= 1 ? handle[kHeaderSize] : 0;
    const U8 additionalByte = count >= 2 ? handle[kHeaderSize + 1] : 0;
    sourceDetailsPtr->main = static_cast<DkitCredentialSourceMainDetails>(mainByte);
    std::memcpy(&sourceDetailsPtr->additional, &additionalByte, 1);
}

U8 dkitCredentialGetNumberOfBlocks(const DkitCredential* credentialPtr) {
    assertDescriptor(credentialPtr);
    U8 count = 0;
    for (U32 offset = 0; blockAt(credentialPtr, offset); offset = blockEnd(credentialPtr, offset)) {
        ++count;
    }
    return count;
}

void dkitCredentialInitialize(DkitCredential* credentialPtr, U8* buffer, U16 nofBytesAvailable) {
    credentialPtr->numberOfBytes = nofBytesAvailable;
    credentialPtr->credentialDataPtr = buffer;
    if (nullptr != buffer) {
        std::memset(buffer, 0, nofBytesAvailable);
    }
}

void dkitCredentialAddBlock(DkitCredential* credentialPtr, DkitCredentialBlockType credBlockType, U32 totalNofBits,
                            const U8* credInfoDataPtr) {
    // Kept in 32 bits: a bit count beyond what 16 bits of length can describe
    // must fail the room check, not wrap into a small block.
    const U32 numberOfBytes = ((totalNofBits - 1) >> 3) + 1;
    const U8 validBits = static_cast<U8>(((totalNofBits - 1) & 7) + 1);

    assertDescriptor(credentialPtr);
    IC_ASSERT_TEXT(kFile, 0 != totalNofBits, "Assertion failed '0 != totalNofBits'");
    IC_ASSERT_TEXT(kFile, nullptr != credInfoDataPtr, "Assertion failed '((void *)0) != credInfoDataPtr'");

    // First free slot: step over existing blocks while the new one would
    // still fit behind the current position. Existing blocks are never
    // overwritten; when the free tail is too small the room check fails.
    const U32 capacity = credentialPtr->numberOfBytes;
    U32 offset = 0;
    while (offset + kHeaderSize + numberOfBytes <= capacity &&
           readU16(credentialPtr->credentialDataPtr, offset + kLengthOffset) != 0) {
        offset = blockEnd(credentialPtr, offset);
    }
    IC_ASSERT_TEXT(kFile, capacity >= offset + numberOfBytes + kHeaderSize,
                   "Assertion failed '( ( credentialPtr->credentialDataPtr + credentialPtr->numberOfBytes ) >= ( "
                   "credDataPtr + numberOfBytes + ( 5 ) ) )'");

    U8* block = credentialPtr->credentialDataPtr + offset;
    block[0] = static_cast<U8>(credBlockType >> 8);
    block[1] = static_cast<U8>(credBlockType);
    block[2] = static_cast<U8>(numberOfBytes >> 8);
    block[3] = static_cast<U8>(numberOfBytes);
    block[kValidBitsOffset] = validBits;
    U8* data = block + kHeaderSize;
    std::memcpy(data, credInfoDataPtr, numberOfBytes);
    data[numberOfBytes - 1] &= static_cast<U8>(~(0xFFu >> validBits));
}

void dkitCredentialAddBlockWithSourceDetails(DkitCredential* credentialPtr,
                                             DkitCredentialSourceDetails credentialSourceDetails) {
    assertDescriptor(credentialPtr);
    U8 bytes[2] = {static_cast<U8>(credentialSourceDetails.main), 0};
    // The sub type is whichever member the caller set; its byte is the same.
    std::memcpy(&bytes[1], &credentialSourceDetails.additional, 1);
    dkitCredentialAddBlock(credentialPtr, CREDBLOCKTYPE_SOURCE_DETAILS, 16, bytes);
}

void dkitCredentialFinalize(DkitCredential* credentialPtr) {
    assertDescriptor(credentialPtr);
    const U32 used = endOfBlocks(credentialPtr);
    IC_ASSERT_TEXT(kFile, 0 != used, "Assertion failed '0 != credInfoPtr - credentialPtr->credentialDataPtr'");
    credentialPtr->numberOfBytes = static_cast<U16>(used);
}
