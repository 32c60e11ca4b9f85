// A telegram decoded into a record: the printers' walk, recording instead of
// printing.
#include <string_view>

#include "eac/zelvan/zvEacRecord.h"
#include "eac/zelvan/zvEacToStr.h"
#include "eac/zelvan/zvEacToStrPrivate.h"

Boolean zvEacDecodeRecord(U8 direction, U8 address, U8 length, const U8* data, ZvEacRecord& record) {
    const ZvEacBytes telegram(data, length);
    record = ZvEacRecord{};
    record.direction = direction;
    record.address = address;
    record.length = length;
    record.msgId = telegram.u8(0);
    record.msgName = zvEacMsgIdToStr(record.msgId);
    zvEacRecordWalkBegin(record);
    const ZvEacBodyOutcome outcome = telegram.size() == 0 ? ZvEacBodyOutcome::SHORT : zvEacWalkBody(telegram);
    zvEacRecordWalkEnd(record);

    switch (outcome) {
        case ZvEacBodyOutcome::PRINTED:
        case ZvEacBodyOutcome::HEADER_ONLY:
            return TRUE;
        case ZvEacBodyOutcome::UNDECODED_LENGTH:
            record.rawReason = ZvEacRawReason::UNDECODED_LENGTH;
            break;
        case ZvEacBodyOutcome::SHORT:
            record.rawReason = ZvEacRawReason::SHORT;
            break;
        case ZvEacBodyOutcome::NO_PRINTER:
            record.rawReason = std::string_view(record.msgName).starts_with("MSGID_") ? ZvEacRawReason::NO_DECODER
                                                                                      : ZvEacRawReason::UNKNOWN_ID;
            break;
    }
    // A printer that found the body short part way has recorded a part.
    record.body.clear();
    record.raw.assign(data, data + (data != nullptr ? length : 0));
    return FALSE;
}
