// Printers of the credential telegrams: MIFARE UID, MIFARE UID with sector
// data, and the generic credential with its block container.
#include <algorithm>
#include <string>

#include "Dkit/Include/dkitCredential.h"
#include "eac/zelvan/zvEacTelegrams.h"
#include "eac/zelvan/zvEacToStr.h"
#include "eac/zelvan/zvEacToStrFields.h"
#include "eac/zelvan/zvEacToStrPrivate.h"

namespace {

// Generic credential body: device id, door side, then the container.
constexpr std::size_t kGenCredDoorSideOffset = 12;
constexpr std::size_t kGenCredContainerOffset = 13;
// Telegram bytes in front of the container, message id included.
constexpr std::size_t kGenCredTelegramOverhead = 1 + kGenCredContainerOffset;

// MIFARE with sector data: fixed part, then the sector data.
constexpr std::size_t kSectorCardTypeOffset = 0;
constexpr std::size_t kSectorUidLengthOffset = 1;
constexpr std::size_t kSectorUidOffset = 2;
constexpr std::size_t kSectorDataLengthOffset = 11;
constexpr std::size_t kSectorDataOffset = 12;

void printHexBytes(ZvEacBytes bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        zvEacOut("%02x ", bytes.u8(i));
    }
}

struct BlockTypeName {
    DkitCredentialBlockType type;
    const char* text;
};

// Padded to 36 characters so that the bracketed type code lines up.
constexpr BlockTypeName kBlockTypeNames[] = {
    {CREDBLOCKTYPE_UNKNOWN, "CREDBLOCKTYPE_UNKNOWN               "},
    {CREDBLOCKTYPE_SOURCE_DETAILS, "CREDBLOCKTYPE_SOURCE_DETAILS        "},
    {CREDBLOCKTYPE_MIFARE_UID, "CREDBLOCKTYPE_MIFARE_UID            "},
    {CREDBLOCKTYPE_UNDEFINED_DYNAMIC_DATA, "CREDBLOCKTYPE_UNDEFINED_DYNAMIC_DATA"},
    {CREDBLOCKTYPE_ICLASS_ACCESS_ID, "CREDBLOCKTYPE_ICLASS_ACCESS_ID      "},
    {CREDBLOCKTYPE_ISO_14443B_UID, "CREDBLOCKTYPE_ISO_14443B_UID        "},
    {CREDBLOCKTYPE_ISO_15693_UID, "CREDBLOCKTYPE_ISO_15693_UID         "},
    {CREDBLOCKTYPE_LEGIC_UID, "CREDBLOCKTYPE_LEGIC_UID             "},
    {CREDBLOCKTYPE_SEOS_CREDENTIAL, "CREDBLOCKTYPE_SEOS_CREDENTIAL       "},
};
constexpr const char* kUnknownBlockTypeName = "## unknown Credential Block Type ## ";

constexpr bool allNamesAre36Wide() {
    for (const BlockTypeName& row : kBlockTypeNames) {
        if (std::char_traits<char>::length(row.text) != 36) {
            return false;
        }
    }
    return std::char_traits<char>::length(kUnknownBlockTypeName) == 36;
}
static_assert(allNamesAre36Wide(), "block type names must be 36 characters wide");

using SubTypeToStr = const char* (*)(U32);

// The sub-type table that belongs to a main type, or null where the main
// type has none.
SubTypeToStr subTypeTableFor(U8 mainType) {
    switch (mainType) {
        case DKIT_CREDENTIALSOURCE_MIFARE:
            return zvEacCredTypeSubMifareToStr;
        case DKIT_CREDENTIALSOURCE_ICLASS:
            return zvEacCredTypeSubIclassToStr;
        case DKIT_CREDENTIALSOURCE_LOW_FREQUENCY:
            return zvEacCredTypeSubLowFrequencyToStr;
        case DKIT_CREDENTIALSOURCE_PICO_PASS:
            return zvEacCredTypeSubPicoPassToStr;
        case DKIT_CREDENTIALSOURCE_LEGIC:
            return zvEacCredTypeSubLegicToStr;
        case DKIT_CREDENTIALSOURCE_SEOS:
            return zvEacCredTypeSubSeosToStr;
        default:
            return nullptr;
    }
}

// Always describes the first source-details block of the container.
void zvEacPrintGenericCredentialSourceDetails(const DkitCredential* credentialPtr) {
    if (!dkitCredentialIsValid(credentialPtr)) {
        return;
    }
    const DkitCredentialBlockHandle handle =
        dkitCredentialGetNextBlockHandleOfType(credentialPtr, nullptr, CREDBLOCKTYPE_SOURCE_DETAILS);
    if (nullptr == handle || dkitCredentialBlockGetNumberOfBytes(handle) != 2) {
        zvEacGroupBegin("source_details");
        zvEacPrintLine(" Source details not specified.");
        zvEacGroupEnd();
        return;
    }
    const U8* data = dkitCredentialBlockGetDataPtr(handle);
    const U8 mainType = data[0];
    const U8 subType = data[1];

    zvEacGroupBegin("source_details");
    zvEacPrintLine(" Source details:");
    zvEacFieldNumber("main_type", mainType);
    zvEacPrintLine("  mainType:        %s (%d)", zvEacCredTypeMainToStr(mainType), mainType);
    zvEacFieldNumber("sub_type", subType);
    // Every line, SEOS included, goes through the logger so that the log
    // file holds the same report as the console.
    if (const SubTypeToStr toStr = subTypeTableFor(mainType); nullptr != toStr) {
        zvEacPrintLine("  subType:         %s (%d)", toStr(subType), subType);
    } else {
        zvEacPrintLine(" subType:         ## unknown credential sub type ## (%1d)", subType);
    }
    zvEacGroupEnd();
}

void printCredentialBlock(U8 blockNumber, DkitCredentialBlockHandle handle) {
    const DkitCredentialBlockType type = dkitCredentialBlockGetType(handle);
    const ZvEacBytes data(dkitCredentialBlockGetDataPtr(handle), dkitCredentialBlockGetNumberOfBytes(handle));
    zvEacFieldNumber("number", blockNumber);
    zvEacPrintLine("Block Number:    %d", blockNumber);
    zvEacFieldNumber("type", type);
    zvEacPrintLine(" BlockType:      %s (0x%04X) ", zvEacDkitCredentialBlockTypeToStr(type), type);
    zvEacFieldNumber("bits", dkitCredentialBlockGetTotalNumberOfBits(handle));
    zvEacPrintLine(" NofBitsInBlock: %2u", static_cast<unsigned>(dkitCredentialBlockGetTotalNumberOfBits(handle)));
    zvEacFieldBytes("data", data);
    zvEacPrintLine(" BlockData:      [ ");
    printHexBytes(data);
    zvEacOut("]");
}

}  // namespace

const char* zvEacDkitCredentialBlockTypeToStr(U32 blockType) {
    const auto type = static_cast<DkitCredentialBlockType>(blockType);
    for (const BlockTypeName& row : kBlockTypeNames) {
        if (row.type == type) {
            return row.text;
        }
    }
    return kUnknownBlockTypeName;
}

Boolean zvEacPrintMifareCredentialUidOnly(ZvEacBytes body) {
    if (!body.has(0, 1)) {
        return FALSE;
    }
    const U8 lengthInBits = body.u8(0);
    const std::size_t uidBytes = (static_cast<std::size_t>(lengthInBits) + 7) / 8;
    if (!body.has(1, uidBytes)) {
        return FALSE;
    }
    zvEacFieldNumber("bits", lengthInBits);
    zvEacPrintLine("bits(%d) ", lengthInBits);
    zvEacFieldBytes("uid", body.slice(1, uidBytes));
    if (uidBytes != 0) {
        zvEacOut("[ ");
        printHexBytes(body.slice(1, uidBytes));
        zvEacOut("]");
    }
    return TRUE;
}

Boolean zvEacPrintMifareCredentialWithSectorData(ZvEacBytes body) {
    if (!body.has(0, kSectorDataOffset)) {
        return FALSE;
    }
    const U8 uidLength = body.u8(kSectorUidLengthOffset);
    const U8 dataLength = body.u8(kSectorDataLengthOffset);
    if (!body.has(kSectorUidOffset, uidLength) || !body.has(kSectorDataOffset, dataLength)) {
        return FALSE;
    }
    zvEacFieldNumber("card_type", body.u8(kSectorCardTypeOffset));
    zvEacPrintLine("type(% 3d), ", body.u8(kSectorCardTypeOffset));
    zvEacFieldNumber("uid_length", uidLength);
    zvEacPrintLine("uid len(% 3d), ", uidLength);
    zvEacFieldNumber("data_length", dataLength);
    zvEacPrintLine("data len(% 3d), ", dataLength);
    zvEacFieldBytes("uid", body.slice(kSectorUidOffset, uidLength));
    if (uidLength != 0) {
        zvEacPrintLine("uid[ ");
        printHexBytes(body.slice(kSectorUidOffset, uidLength));
        zvEacOut("] ");
    }
    zvEacFieldBytes("data", body.slice(kSectorDataOffset, dataLength));
    if (dataLength != 0) {
        zvEacPrintLine("data[ ");
        printHexBytes(body.slice(kSectorDataOffset, dataLength));
        zvEacOut("]");
    }
    return TRUE;
}

Boolean zvEacPrintGenericCredential(ZvEacBytes body, U8 length) {
    if (!body.has(0, kGenCredContainerOffset)) {
        return FALSE;
    }
    // The container is what the telegram length leaves after the fixed
    // fields, and never more than was actually received.
    const std::size_t announced = length > kGenCredTelegramOverhead ? length - kGenCredTelegramOverhead : 0;
    const std::size_t containerSize = std::min(announced, body.size() - kGenCredContainerOffset);

    zvEacPrintDeviceIdLine("device_id", "Device id:      ", body, 0);
    zvEacFieldNumber("door_side", body.u8(kGenCredDoorSideOffset));
    zvEacPrintLine("Door side:       %s", zvEacDoorSideToStr(body.u8(kGenCredDoorSideOffset)));

    // The reading side of the container only reads; the descriptor's pointer
    // is mutable because the same record serves the writing side.
    DkitCredential credential{static_cast<U16>(containerSize),
                              const_cast<U8*>(body.at(kGenCredContainerOffset, containerSize))};
    if (!dkitCredentialIsValid(&credential)) {
        zvEacFieldBytes("invalid_container", body.slice(kGenCredContainerOffset, containerSize));
        zvEacPrintLine("Invalid message");
        return TRUE;
    }
    // In the record: the group "blocks", one group "block" per block, the
    // source details inside the block after which they print.
    zvEacGroupBegin("blocks");
    U8 blockNumber = 0;
    for (DkitCredentialBlockHandle handle = dkitCredentialGetNextBlockHandle(&credential, nullptr); nullptr != handle;
         handle = dkitCredentialGetNextBlockHandle(&credential, handle)) {
        zvEacGroupBegin("block");
        printCredentialBlock(blockNumber, handle);
        if (dkitCredentialBlockGetType(handle) == CREDBLOCKTYPE_SOURCE_DETAILS) {
            zvEacPrintGenericCredentialSourceDetails(&credential);
        }
        zvEacGroupEnd();
        ++blockNumber;
    }
    zvEacGroupEnd();
    return TRUE;
}

std::span<const ZvEacLayout> zvEacCredentialLayouts() {
    using When = ZvEacFormWhen;
    using K = ZvEacValueKind;
    static constexpr ZvEacFieldDecl kUidFields[] = {{"bits", K::NUMBER, 1}, {"uid", K::BYTES, 0}};
    static constexpr ZvEacFieldDecl kSectorFields[] = {{"card_type", K::NUMBER, 1},
                                                       {"uid_length", K::NUMBER, 1},
                                                       {"data_length", K::NUMBER, 1},
                                                       {"uid", K::BYTES, 0},
                                                       {"data", K::BYTES, 0}};
    static constexpr ZvEacFieldDecl kGenericFields[] = {
        {"device_id", K::BYTES, 0},
        {"door_side", K::NUMBER, 1, zvEacDoorSideToStr},
        {"invalid_container", K::BYTES, 0},
        {"blocks", K::GROUP, 0},
        {"blocks.block", K::GROUP, 0},
        {"blocks.block.number", K::NUMBER, 1},
        {"blocks.block.type", K::NUMBER, 2, zvEacDkitCredentialBlockTypeToStr},
        {"blocks.block.bits", K::NUMBER, 2},
        {"blocks.block.data", K::BYTES, 0},
        {"blocks.block.source_details", K::GROUP, 0},
        {"blocks.block.source_details.main_type", K::NUMBER, 1, zvEacCredTypeMainToStr},
        {"blocks.block.source_details.sub_type", K::NUMBER, 1},
    };
    static constexpr ZvEacLayout kLayouts[] = {
        {ZV_EAC_MSGID_MIFARE_CREDENTIAL_UID_ONLY, 1, {}, When::ALWAYS, 0, 0, kUidFields},
        {ZV_EAC_MSGID_MIFARE_CREDENTIAL_WITH_SECTOR_DATA, kSectorDataOffset, {}, When::ALWAYS, 0, 0, kSectorFields},
        {ZV_EAC_MSGID_GENERIC_CREDENTIAL, kGenCredContainerOffset, {}, When::ALWAYS, 0, 0, kGenericFields},
    };
    return kLayouts;
}
