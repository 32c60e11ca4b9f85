// Shared by the translation units of the telegram printer: the bounds-checked
// view over a received telegram and the per-message printers.
#pragma once

#include <cstddef>

#include "base/hal_types.h"
#include "eac/zelvan/zvEacRecord.h"

// Read-only view over received bytes. Every read is checked against the
// received length: callers test has() before printing anything, and a read
// outside the view yields 0 instead of touching memory it does not own.
class ZvEacBytes {
public:
    constexpr ZvEacBytes() = default;
    constexpr ZvEacBytes(const U8* data, std::size_t size)
        : data_(size != 0 ? data : nullptr), size_(data ? size : 0) {}

    constexpr std::size_t size() const { return size_; }
    constexpr bool has(std::size_t offset, std::size_t count) const {
        return offset <= size_ && count <= size_ - offset;
    }
    constexpr U8 u8(std::size_t offset) const { return has(offset, 1) ? data_[offset] : 0; }
    constexpr U16 u16be(std::size_t offset) const {
        return has(offset, 2) ? static_cast<U16>((data_[offset] << 8) | data_[offset + 1]) : 0;
    }
    constexpr U32 u32be(std::size_t offset) const {
        return has(offset, 4) ? (static_cast<U32>(data_[offset]) << 24) | (static_cast<U32>(data_[offset + 1]) << 16) |
                                    (static_cast<U32>(data_[offset + 2]) << 8) | data_[offset + 3]
                              : 0;
    }
    // The bytes from `offset` on (empty when offset lies beyond the end).
    constexpr ZvEacBytes from(std::size_t offset) const {
        return offset < size_ ? ZvEacBytes(data_ + offset, size_ - offset) : ZvEacBytes();
    }
    // The `count` bytes at `offset`, as many of them as there are.
    constexpr ZvEacBytes slice(std::size_t offset, std::size_t count) const {
        const ZvEacBytes rest = from(offset);
        return ZvEacBytes(rest.data_, count < rest.size_ ? count : rest.size_);
    }
    // Pointer to `count` bytes at `offset`, or nullptr when they are not all there.
    constexpr const U8* at(std::size_t offset, std::size_t count) const {
        return has(offset, count) && count != 0 ? data_ + offset : nullptr;
    }

private:
    const U8* data_ = nullptr;
    std::size_t size_ = 0;
};

// What became of a telegram's body. The raw dump is all the body the
// operator gets for the last three; a length without a layout shows the
// header alone.
enum class ZvEacBodyOutcome : U8 { PRINTED, HEADER_ONLY, UNDECODED_LENGTH, SHORT, NO_PRINTER };

// Runs the printer of the telegram's id over its body, through the walk's
// output below.
ZvEacBodyOutcome zvEacWalkBody(ZvEacBytes telegram);

// The walk's output. Text goes to the logger while the walk prints. While
// it records, every field opened becomes an entry of the record (of the
// innermost open group), and the text put out after it, up to the next
// field, becomes its text.
void zvEacOut(const char* format, ...) IC_PRINTF_FORMAT(1, 2);
void zvEacFieldNumber(const char* name, U32 value);
void zvEacFieldBytes(const char* name, ZvEacBytes bytes);
void zvEacFieldText(const char* name, ZvEacBytes bytes);
// The text of the field opened last, for entries whose text is spread over
// lines that others share; what is put out after it goes to its group.
void zvEacFieldShown(const char* text);
void zvEacGroupBegin(const char* name);
void zvEacGroupEnd();
// The walk records into `record` instead of printing, until the matching
// end, which puts the walk back as it was and tidies the fields' texts.
void zvEacRecordWalkBegin(ZvEacRecord& record);
void zvEacRecordWalkEnd(ZvEacRecord& record);

// Printer contract: each printer first checks that everything it will read
// (fixed fields and entries announced by count fields) lies inside the view.
// If not, it prints nothing and returns FALSE, and the caller shows the raw
// dump instead. Otherwise it prints its field lines and returns TRUE.
// `body` starts at telegram byte 1; the three service printers get the whole
// telegram in `telegram` and index the body from byte 1 themselves.

// Devices, states and indications.
Boolean zvEacPrintDeviceInfo(ZvEacBytes body);
Boolean zvEacPrintGetExtendedDeviceInfo(ZvEacBytes body);
Boolean zvEacPrintExtendedDeviceInfo(ZvEacBytes body);
Boolean zvEacPrintSupportedLockStates(ZvEacBytes body);
Boolean zvEacPrintSupportedDoorStates(ZvEacBytes body);
Boolean zvEacPrintLockState(ZvEacBytes body);
Boolean zvEacPrintDoorState(ZvEacBytes body);
Boolean zvEacPrintTamperState(ZvEacBytes body);
Boolean zvEacPrintHandleStateForDevice(ZvEacBytes body);
Boolean zvEacPrintKeyCylinderStateForDevice(ZvEacBytes body);
Boolean zvEacPrintTamperStateForDevice(ZvEacBytes body);
Boolean zvEacPrintGetAllStatesForDevice(ZvEacBytes body);
Boolean zvEacPrintActivator(ZvEacBytes body);
Boolean zvEacPrintActivatorWithActivatorId(ZvEacBytes body);
Boolean zvEacPrintDoorMode(ZvEacBytes body);
Boolean zvEacPrintSetDoorMode(ZvEacBytes body);
Boolean zvEacPrintSetDoorModeWithIndication(ZvEacBytes body);
Boolean zvEacPrintSetPermanentIndication(ZvEacBytes body);
Boolean zvEacSetPermanentIndicationWithPhysicalRepresentation(ZvEacBytes body);

// Access, alarms, diagnostics and service.
Boolean zvEacPrintGetVersion(ZvEacBytes body);
Boolean zvEacPrintVersion(ZvEacBytes body, U8 length);
Boolean zvEacPrintResult(ZvEacBytes body);
Boolean zvEacPrintReset(ZvEacBytes body);
Boolean zvEacPrintAccessDecision(ZvEacBytes body);
Boolean zvEacPrintIndicateCredentialRequest(ZvEacBytes body);
Boolean zvEacPrintGrantAccessSequence(ZvEacBytes body);
Boolean zvEacPrintGrantAccessSequenceWithIndication(ZvEacBytes body);
Boolean zvEacPrintIndicateAccessDenied(ZvEacBytes body);
Boolean zvEacPrintIndicateAccessDeniedWithIndication(ZvEacBytes body);
Boolean zvEacPrintGetEvent(ZvEacBytes body);
Boolean zvEacPrintEvent(ZvEacBytes body);
Boolean zvEacPrintParameter(ZvEacBytes body);
Boolean zvEacPrintGetParameter(ZvEacBytes body);
Boolean zvEacPrintKeypad(ZvEacBytes body);
Boolean zvEacPrintGetDtcs(ZvEacBytes body);
Boolean zvEacPrintDtc(ZvEacBytes body);
Boolean zvEacPrintClearDtc(ZvEacBytes body);
Boolean zvEacPrintGetAlarms(ZvEacBytes body);
Boolean zvEacPrintAlarm(ZvEacBytes body);
Boolean zvEacPrintConfirmAlarm(ZvEacBytes body);
Boolean zvEacPrintFirmwareUpgrade(ZvEacBytes telegram);
Boolean zvEacPrintFirmwareStatusNtf(ZvEacBytes telegram);
Boolean zvEacPrintBlockDataTransport(ZvEacBytes telegram);
Boolean zvEacPrintSetTime(ZvEacBytes body);

// Credentials.
Boolean zvEacPrintMifareCredentialUidOnly(ZvEacBytes body);
Boolean zvEacPrintMifareCredentialWithSectorData(ZvEacBytes body);
Boolean zvEacPrintGenericCredential(ZvEacBytes body, U8 length);

// Field-line helpers shared by the printers; callers have checked that the
// bytes they name lie inside the view.
// A field line with `label` and the 12-byte device id at `offset`.
void zvEacPrintDeviceIdLine(const char* label, ZvEacBytes bytes, std::size_t offset);
// The same line as the field `field` of the record.
void zvEacPrintDeviceIdLine(const char* field, const char* label, ZvEacBytes bytes, std::size_t offset);

// Bytes from the bus shown as text: printable ASCII (0x20..0x7E) as it is,
// anything else as '.', so a device cannot send control sequences to the
// operator's terminal. Writes at most `count` characters and a terminator
// into `out` (which holds count + 1).
void zvEacSanitizeText(const U8* bytes, std::size_t count, char* out);
