// Credential block container: a packed sequence of typed blocks, each holding
// a bit string, built in and read from memory the caller owns.
//
// Block layout (big-endian, no padding):
//   0..1  block type
//   2..3  number of data bytes N (at least 1; 0 marks free space)
//   4     number of valid bits in the last data byte (1..8)
//   5..   N data bytes, bits packed from the MSB of the first byte
//
// Reading received bytes: point a DkitCredential at them, call
// dkitCredentialIsValid, and only when it answers TRUE walk the blocks and
// read them through the handles the walk returns. Misuse of any operation is
// a programming error and ends the process through the fatal-error handler.
#pragma once

#include "base/hal_types.h"

struct DkitCredential {
    // Capacity while building; bytes occupied after finalize and on receipt.
    U16 numberOfBytes;
    U8* credentialDataPtr;  // not owned
};

// First header byte of a block inside the data area; null means "no block",
// and as an input "before the first block".
using DkitCredentialBlockHandle = const U8*;

using DkitCredentialBlockType = U16;

inline constexpr DkitCredentialBlockType CREDBLOCKTYPE_UNKNOWN = 0x0000;
inline constexpr DkitCredentialBlockType CREDBLOCKTYPE_SOURCE_DETAILS = 0x0100;
inline constexpr DkitCredentialBlockType CREDBLOCKTYPE_MIFARE_UID = 0x0200;
inline constexpr DkitCredentialBlockType CREDBLOCKTYPE_UNDEFINED_DYNAMIC_DATA = 0x0201;
inline constexpr DkitCredentialBlockType CREDBLOCKTYPE_ICLASS_ACCESS_ID = 0x0300;
inline constexpr DkitCredentialBlockType CREDBLOCKTYPE_ISO_14443B_UID = 0x0400;
inline constexpr DkitCredentialBlockType CREDBLOCKTYPE_ISO_15693_UID = 0x0500;
inline constexpr DkitCredentialBlockType CREDBLOCKTYPE_LEGIC_UID = 0x0600;
inline constexpr DkitCredentialBlockType CREDBLOCKTYPE_SEOS_CREDENTIAL = 0x0700;

enum DkitCredentialSourceMainDetails : U8 {
    DKIT_CREDENTIALSOURCE_INVALID = 0,
    DKIT_CREDENTIALSOURCE_MIFARE = 1,
    DKIT_CREDENTIALSOURCE_ICLASS = 2,
    DKIT_CREDENTIALSOURCE_LOW_FREQUENCY = 3,
    // 4 is not assigned.
    DKIT_CREDENTIALSOURCE_PICO_PASS = 5,
    DKIT_CREDENTIALSOURCE_LEGIC = 6,
    DKIT_CREDENTIALSOURCE_SEOS = 7,
};

enum DkitCredentialAdditionalDetailsMifare : U8 {
    DKIT_CREDENTIALADDITIONALDETAILS_MIFARE_UNKNOWN = 0,
    DKIT_CREDENTIALADDITIONALDETAILS_MIFARE_CLASSIC_MINI = 6,
    DKIT_CREDENTIALADDITIONALDETAILS_MIFARE_CLASSIC_1K = 1,
    DKIT_CREDENTIALADDITIONALDETAILS_MIFARE_CLASSIC_4K = 2,
    DKIT_CREDENTIALADDITIONALDETAILS_MIFARE_ULTRALIGHT = 3,
    DKIT_CREDENTIALADDITIONALDETAILS_MIFARE_DESFIRE = 4,
    DKIT_CREDENTIALADDITIONALDETAILS_MIFARE_PLUS = 5,
};

enum DkitCredentialAdditionalDetailsIclass : U8 {
    DKIT_CREDENTIALADDITIONALDETAILS_ICLASS_UNKNOWN = 0,
    DKIT_CREDENTIALADDITIONALDETAILS_ICLASS_STD = 1,
};

enum DkitCredentialAdditionalDetailsLowFrequency : U8 {
    DKIT_CREDENTIALADDITIONALDETAILS_LOW_FREQUENCY_UNKNOWN = 0,
};

enum DkitCredentialAdditionalDetailsPicoPass : U8 {
    DKIT_CREDENTIALADDITIONALDETAILS_PICO_PASS_UNKNOWN = 0,
};

enum DkitCredentialAdditionalDetailsLegic : U8 {
    DKIT_CREDENTIALADDITIONALDETAILS_LEGIC_UNKNOWN = 0,
    DKIT_CREDENTIALADDITIONALDETAILS_LEGIC_PRIME = 1,
    DKIT_CREDENTIALADDITIONALDETAILS_LEGIC_15693 = 2,
    DKIT_CREDENTIALADDITIONALDETAILS_LEGIC_14443A = 3,
    DKIT_CREDENTIALADDITIONALDETAILS_LEGIC_14443B = 4,
    DKIT_CREDENTIALADDITIONALDETAILS_LEGIC_INSIDE_SECURE = 5,
    DKIT_CREDENTIALADDITIONALDETAILS_LEGIC_FELICA_SUBSET = 6,
};

enum DkitCredentialAdditionalDetailsSeos : U8 {
    DKIT_CREDENTIALADDITIONALDETAILS_SEOS_UNKNOWN = 0,
    DKIT_CREDENTIALADDITIONALDETAILS_SEOS_14443A = 1,
    DKIT_CREDENTIALADDITIONALDETAILS_SEOS_14443B = 2,
};

// The two data bytes of a source-details block: the technology, then a sub
// type whose meaning depends on it.
struct DkitCredentialSourceDetails {
    DkitCredentialSourceMainDetails main;
    union {
        DkitCredentialAdditionalDetailsIclass iclass;
        DkitCredentialAdditionalDetailsMifare mifare;
        DkitCredentialAdditionalDetailsLowFrequency lowFrequency;
        DkitCredentialAdditionalDetailsPicoPass picoPass;
        DkitCredentialAdditionalDetailsLegic legic;
        DkitCredentialAdditionalDetailsSeos seos;
    } additional;
};
static_assert(sizeof(DkitCredentialSourceDetails) == 2, "source details are two wire bytes");

// Reading side.
Boolean dkitCredentialIsValid(const DkitCredential* credentialPtr);
DkitCredentialBlockHandle dkitCredentialGetNextBlockHandle(const DkitCredential* credentialPtr,
                                                           DkitCredentialBlockHandle handle);
DkitCredentialBlockHandle dkitCredentialGetNextBlockHandleOfType(const DkitCredential* credentialPtr,
                                                                 DkitCredentialBlockHandle handle,
                                                                 DkitCredentialBlockType type);
DkitCredentialBlockType dkitCredentialBlockGetType(DkitCredentialBlockHandle handle);
U16 dkitCredentialBlockGetNumberOfBytes(DkitCredentialBlockHandle handle);
U8 dkitCredentialBlockGetNumberOfValidBitsInLastByte(DkitCredentialBlockHandle handle);
U32 dkitCredentialBlockGetTotalNumberOfBits(DkitCredentialBlockHandle handle);
const U8* dkitCredentialBlockGetDataPtr(DkitCredentialBlockHandle handle);
// The block must be of type CREDBLOCKTYPE_SOURCE_DETAILS.
void dkitCredentialBlockGetSourceDetails(DkitCredentialSourceDetails* sourceDetailsPtr,
                                         DkitCredentialBlockHandle handle);
U8 dkitCredentialGetNumberOfBlocks(const DkitCredential* credentialPtr);

// Writing side: initialize, add blocks, finalize, then send numberOfBytes
// bytes from credentialDataPtr.
void dkitCredentialInitialize(DkitCredential* credentialPtr, U8* buffer, U16 nofBytesAvailable);
// Stores the first totalNofBits bits of credInfoDataPtr, which must hold
// totalNofBits / 8 rounded up bytes.
void dkitCredentialAddBlock(DkitCredential* credentialPtr, DkitCredentialBlockType credBlockType, U32 totalNofBits,
                            const U8* credInfoDataPtr);
void dkitCredentialAddBlockWithSourceDetails(DkitCredential* credentialPtr,
                                             DkitCredentialSourceDetails credentialSourceDetails);
void dkitCredentialFinalize(DkitCredential* credentialPtr);
