// Prints the rows of the table-driven printers, and the field line for the
// text the printers make themselves.
#include "eac/zelvan/zvEacToStrFields.h"

#include <bit>
#include <cstdarg>
#include <cstdio>

#include "eac/zelvan/zvEacTelegrams.h"
#include "eac/zelvan/zvEacToStr.h"

namespace {

// The six fields of a time, in printing order, one after the other.
static_assert(offsetof(ZvEacTeleTime, year) == 0 && offsetof(ZvEacTeleTime, month) == 1 &&
              offsetof(ZvEacTeleTime, day) == 2 && offsetof(ZvEacTeleTime, hour) == 3 &&
              offsetof(ZvEacTeleTime, minute) == 4 && offsetof(ZvEacTeleTime, second) == 5);

// Longer than any piece the logger keeps, so its own limit is the one that
// cuts a long text, as if the piece had gone to it directly.
constexpr std::size_t kLineMax = 512;

U32 valueOf(ZvEacBytes body, const ZvEacRow& row) {
    switch (row.width) {
        case 2:
            return body.u16be(row.offset);
        case 4:
            return body.u32be(row.offset);
        default:
            return body.u8(row.offset);
    }
}

// A yes/no row's field is its bits alone, shifted down as a bit field is
// read (0 or 1 for one bit): the whole byte would say yes for every row
// that shares it.
U32 recordedValue(const ZvEacRow& row, U32 value) {
    if (row.first != ZvEacRowArg::YES_NO || row.test == 0) {
        return value;
    }
    return (value & row.test) >> std::countr_zero(row.test);
}

// One argument of a FIELD row: a number or a text.
struct Shown {
    bool isText;
    unsigned number;
    const char* text;
};

Shown shown(const ZvEacRow& row, ZvEacRowArg arg, U32 value) {
    switch (arg) {
        case ZvEacRowArg::NAME:
            return {true, 0, row.name(value)};
        case ZvEacRowArg::YES_NO:
            return {true, 0, (value & row.test) != 0 ? "Yes" : "No"};
        case ZvEacRowArg::NOTE:
            return {true, 0, value == row.test ? row.note : ""};
        default:
            return {false, static_cast<unsigned>(value), nullptr};
    }
}

// The formats come from tables that zvEacRowsValid has matched with these
// arguments.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
void printField(ZvEacBytes body, const ZvEacRow& row) {
    const U32 value = valueOf(body, row);
    const Shown a = shown(row, row.first, value);
    zvEacFieldNumber(row.field, recordedValue(row, value));
    zvEacShellPrintInfoLine();
    if (row.second == ZvEacRowArg::NONE) {
        if (a.isText) {
            zvEacOut(row.format, a.text);
        } else {
            zvEacOut(row.format, a.number);
        }
        return;
    }
    const Shown b = shown(row, row.second, value);
    if (a.isText && b.isText) {
        zvEacOut(row.format, a.text, b.text);
    } else if (a.isText) {
        zvEacOut(row.format, a.text, b.number);
    } else if (b.isText) {
        zvEacOut(row.format, a.number, b.text);
    } else {
        zvEacOut(row.format, a.number, b.number);
    }
}

void printTime(ZvEacBytes body, const ZvEacRow& row) {
    const std::size_t at = row.offset;
    zvEacFieldBytes(row.field, body.slice(at, row.width));
    zvEacShellPrintInfoLine();
    zvEacOut(row.format, body.u8(at), body.u8(at + 1), body.u8(at + 2), body.u8(at + 3), body.u8(at + 4),
             body.u8(at + 5));
}
#pragma GCC diagnostic pop

}  // namespace

void zvEacPrintRows(ZvEacBytes body, std::span<const ZvEacRow> rows) {
    for (const ZvEacRow& row : rows) {
        switch (row.kind) {
            case ZvEacRowKind::FIELD:
                printField(body, row);
                break;
            case ZvEacRowKind::DEVICE_ID:
                zvEacPrintDeviceIdLine(row.field, row.format, body, row.offset);
                break;
            case ZvEacRowKind::TIME:
                printTime(body, row);
                break;
            case ZvEacRowKind::FLAG_BLOCK:
                zvEacOut("\n");
                printPermanentIndicationFlagsSettingsToStr(body.u32be(row.offset), body.u32be(row.test));
                break;
            case ZvEacRowKind::PHYSICAL_BLOCK:
                zvEacOut("\n");
                printPhysicalRepresentationFlagsSettingsToStr(body.u8(row.offset));
                break;
            case ZvEacRowKind::CUSTOM:
                row.custom(body);
                break;
            case ZvEacRowKind::ROWS:
                zvEacPrintRows(body, row.rows);
                break;
        }
    }
}

void zvEacPrintLine(const char* format, ...) {
    char text[kLineMax];
    va_list args;
    va_start(args, format);
    const int written = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    zvEacShellPrintInfoLine();
    if (written >= 0) {
        zvEacOut("%s", text);
    }
}
