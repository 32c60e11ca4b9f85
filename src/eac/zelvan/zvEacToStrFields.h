// Printers written as tables. A printer is the size of the body record it
// needs and a list of rows, one a piece of output in order; zvEacPrintTable
// checks the size and prints the rows. Every table is checked where it is
// compiled: each row lies inside its record, and each format takes exactly
// the arguments its row passes, so a typing slip cannot reach printf.
#pragma once

#include <cstddef>
#include <span>

#include "eac/zelvan/zvEacRecord.h"
#include "eac/zelvan/zvEacToStr.h"
#include "eac/zelvan/zvEacToStrPrivate.h"

using ZvEacNameOf = const char* (*)(U32 code);
using ZvEacRowPrinter = void (*)(ZvEacBytes body);

enum class ZvEacRowKind : U8 {
    FIELD,           // field line: `format` with one or two arguments
    DEVICE_ID,       // field line: `format` is the label of the 12-byte id
    TIME,            // field line: `format` with year, month, day, hour, minute, second
    FLAG_BLOCK,      // "\n", then the indication flags: status at `offset`, mask at `test`
    PHYSICAL_BLOCK,  // "\n", then the physical-representation flags of the byte at `offset`
    CUSTOM,          // `custom` prints what a row cannot say; it reads through the view
    ROWS,            // the rows of `rows`, a part that several tables share
};

// A field of the record that a CUSTOM row fills, for readers of the tables
// that cannot run the row (the dissector's generator). `path` is the
// field's name, behind its groups' names ("block.data").
struct ZvEacFieldDecl {
    const char* path;
    ZvEacValueKind kind;
    U8 width;  // of a NUMBER, in bytes
    ZvEacNameOf names = nullptr;
};

// What a FIELD row gives a conversion of its format.
enum class ZvEacRowArg : U8 {
    NONE,
    VALUE,   // the field as a number
    NAME,    // the text `name` gives for the field
    YES_NO,  // "Yes" when the field has a bit of `test` set, else "No"
    NOTE,    // `note` when the field equals `test`, else an empty text
};

struct ZvEacRow {
    ZvEacRowKind kind = ZvEacRowKind::FIELD;
    // The field's name in the record, snake_case. A FLAG_BLOCK's fields are
    // "indication_status", "indication_mask" and the group
    // "indication_flags"; a PHYSICAL_BLOCK's "physical_representation" and
    // "physical_representation_flags".
    const char* field = nullptr;
    std::size_t offset = 0;  // in the body
    std::size_t width = 0;   // bytes; numbers are 1, 2 or 4 bytes, big-endian
    const char* format = nullptr;
    ZvEacRowArg first = ZvEacRowArg::NONE;
    ZvEacRowArg second = ZvEacRowArg::NONE;
    ZvEacNameOf name = nullptr;
    U32 test = 0;
    const char* note = nullptr;
    ZvEacRowPrinter custom = nullptr;
    std::span<const ZvEacRow> rows = {};
    std::span<const ZvEacFieldDecl> declares = {};  // CUSTOM: the fields it fills
};

// Row builders, the only way rows are made. Numbers and names read a byte
// unless the builder says otherwise.
namespace zvEacRow {
using Arg = ZvEacRowArg;
using Kind = ZvEacRowKind;

constexpr ZvEacRow field(std::size_t offset, std::size_t width, const char* format, Arg first, Arg second = Arg::NONE) {
    return {.offset = offset, .width = width, .format = format, .first = first, .second = second};
}
constexpr ZvEacRow u8(std::size_t offset, const char* format) { return field(offset, 1, format, Arg::VALUE); }
constexpr ZvEacRow u16(std::size_t offset, const char* format) { return field(offset, 2, format, Arg::VALUE); }
constexpr ZvEacRow u32(std::size_t offset, const char* format) { return field(offset, 4, format, Arg::VALUE); }
constexpr ZvEacRow valueTwice(std::size_t offset, const char* format) {
    return field(offset, 1, format, Arg::VALUE, Arg::VALUE);
}
// Functions come by reference, so a row made here cannot hold a null one.
// (Where GCC builds with -fsanitize=null it cannot compare a function's
// address with null at compile time, so the check cannot look.)
using NameOf = const char* (&)(U32 code);
constexpr ZvEacRow withName(ZvEacRow row, NameOf nameOf) {
    row.name = &nameOf;
    return row;
}
constexpr ZvEacRow name(std::size_t offset, const char* format, NameOf nameOf) {
    return withName(field(offset, 1, format, Arg::NAME), nameOf);
}
constexpr ZvEacRow nameAndValue(std::size_t offset, const char* format, NameOf nameOf) {
    return withName(field(offset, 1, format, Arg::NAME, Arg::VALUE), nameOf);
}
constexpr ZvEacRow valueAndName(std::size_t offset, const char* format, NameOf nameOf) {
    return withName(field(offset, 1, format, Arg::VALUE, Arg::NAME), nameOf);
}
constexpr ZvEacRow yesNo(std::size_t offset, U32 bits, const char* format) {
    return {.offset = offset, .width = 1, .format = format, .first = Arg::YES_NO, .test = bits};
}
constexpr ZvEacRow withNote(std::size_t offset, std::size_t width, const char* format, U32 when, const char* note) {
    return {.offset = offset,
            .width = width,
            .format = format,
            .first = Arg::VALUE,
            .second = Arg::NOTE,
            .test = when,
            .note = note};
}
constexpr ZvEacRow deviceId(std::size_t offset, const char* label) {
    return {.kind = Kind::DEVICE_ID, .offset = offset, .width = 12, .format = label};
}
constexpr ZvEacRow time(std::size_t offset, const char* format) {
    return {.kind = Kind::TIME, .offset = offset, .width = 6, .format = format};
}
constexpr ZvEacRow flagBlock(std::size_t statusOffset, std::size_t maskOffset) {
    return {.kind = Kind::FLAG_BLOCK, .offset = statusOffset, .width = 4, .test = static_cast<U32>(maskOffset)};
}
constexpr ZvEacRow physicalBlock(std::size_t offset) {
    return {.kind = Kind::PHYSICAL_BLOCK, .offset = offset, .width = 1};
}
constexpr ZvEacRow custom(void (&printer)(ZvEacBytes body)) { return {.kind = Kind::CUSTOM, .custom = &printer}; }
constexpr ZvEacRow rows(std::span<const ZvEacRow> part) { return {.kind = Kind::ROWS, .rows = part}; }

// The same rows with the field's name in front: the printers' tables use
// these.
constexpr ZvEacRow named(const char* fieldName, ZvEacRow row) {
    row.field = fieldName;
    return row;
}
constexpr ZvEacRow u8(const char* f, std::size_t offset, const char* format) { return named(f, u8(offset, format)); }
constexpr ZvEacRow u16(const char* f, std::size_t offset, const char* format) { return named(f, u16(offset, format)); }
constexpr ZvEacRow u32(const char* f, std::size_t offset, const char* format) { return named(f, u32(offset, format)); }
constexpr ZvEacRow valueTwice(const char* f, std::size_t offset, const char* format) {
    return named(f, valueTwice(offset, format));
}
constexpr ZvEacRow name(const char* f, std::size_t offset, const char* format, NameOf nameOf) {
    return named(f, name(offset, format, nameOf));
}
constexpr ZvEacRow nameAndValue(const char* f, std::size_t offset, const char* format, NameOf nameOf) {
    return named(f, nameAndValue(offset, format, nameOf));
}
constexpr ZvEacRow valueAndName(const char* f, std::size_t offset, const char* format, NameOf nameOf) {
    return named(f, valueAndName(offset, format, nameOf));
}
constexpr ZvEacRow yesNo(const char* f, std::size_t offset, U32 bits, const char* format) {
    return named(f, yesNo(offset, bits, format));
}
constexpr ZvEacRow withNote(const char* f, std::size_t offset, std::size_t width, const char* format, U32 when,
                            const char* note) {
    return named(f, withNote(offset, width, format, when, note));
}
constexpr ZvEacRow deviceId(const char* f, std::size_t offset, const char* label) {
    return named(f, deviceId(offset, label));
}
constexpr ZvEacRow time(const char* f, std::size_t offset, const char* format) {
    return named(f, time(offset, format));
}
constexpr ZvEacRow custom(const char* f, void (&printer)(ZvEacBytes body), std::span<const ZvEacFieldDecl> declares) {
    ZvEacRow row = named(f, custom(printer));
    row.declares = declares;
    return row;
}
}  // namespace zvEacRow

// --- checks made where a table is compiled ----------------------------------

namespace zvEacRowCheck {
enum class Conversion : U8 { END, SIGNED, UNSIGNED, TEXT, OTHER };

// The next conversion of a printf format from `p` on ("%%" is none).
constexpr Conversion next(const char*& p) {
    for (; *p != '\0'; ++p) {
        if (*p != '%') {
            continue;
        }
        ++p;
        if (*p == '%') {
            continue;
        }
        while (*p == '-' || *p == '+' || *p == ' ' || *p == '#' || *p == '0') {
            ++p;
        }
        while (*p >= '0' && *p <= '9') {
            ++p;
        }
        if (*p == '.') {
            ++p;
            while (*p >= '0' && *p <= '9') {
                ++p;
            }
        }
        const char c = *p;
        if (c == '\0') {
            return Conversion::OTHER;
        }
        ++p;
        switch (c) {
            case 'd':
            case 'i':
                return Conversion::SIGNED;
            case 'u':
            case 'x':
            case 'X':
                return Conversion::UNSIGNED;
            case 's':
                return Conversion::TEXT;
            default:
                return Conversion::OTHER;  // length modifiers too: rows pass int-sized numbers
        }
    }
    return Conversion::END;
}

// Numbers go to printf as unsigned; a signed conversion is safe only for
// values that fit an int with room to spare.
constexpr bool takes(const ZvEacRow& row, ZvEacRowArg arg, Conversion c) {
    switch (arg) {
        case ZvEacRowArg::NONE:
            return c == Conversion::END;
        case ZvEacRowArg::VALUE:
            return c == Conversion::UNSIGNED || (c == Conversion::SIGNED && row.width < 4);
        case ZvEacRowArg::NAME:
            return c == Conversion::TEXT;
        case ZvEacRowArg::YES_NO:
            return c == Conversion::TEXT && row.test != 0;
        case ZvEacRowArg::NOTE:
            return c == Conversion::TEXT && row.note != nullptr;
    }
    return false;
}

constexpr bool isNumber(Conversion c) { return c == Conversion::SIGNED || c == Conversion::UNSIGNED; }

constexpr bool rowsValid(std::span<const ZvEacRow> rows, std::size_t size);

constexpr bool rowValid(const ZvEacRow& row, std::size_t size) {
    if (row.offset > size || row.width > size - row.offset) {
        return false;
    }
    const char* p = row.format;
    switch (row.kind) {
        case ZvEacRowKind::FIELD:
            return p != nullptr && (row.width == 1 || row.width == 2 || row.width == 4) &&
                   row.first != ZvEacRowArg::NONE && takes(row, row.first, next(p)) &&
                   takes(row, row.second, next(p)) && next(p) == Conversion::END;
        case ZvEacRowKind::DEVICE_ID:
            return p != nullptr && row.width == 12 && next(p) == Conversion::END;
        case ZvEacRowKind::TIME:
            if (p == nullptr || row.width != 6) {
                return false;
            }
            for (int i = 0; i < 6; ++i) {
                if (!isNumber(next(p))) {
                    return false;
                }
            }
            return next(p) == Conversion::END;
        case ZvEacRowKind::FLAG_BLOCK:
            return row.width == 4 && row.test <= size && size - row.test >= 4;
        case ZvEacRowKind::PHYSICAL_BLOCK:
            return row.width == 1;
        case ZvEacRowKind::CUSTOM:
            return row.width == 0;
        case ZvEacRowKind::ROWS:
            return !row.rows.empty() && rowsValid(row.rows, size);
    }
    return false;
}

constexpr bool rowsValid(std::span<const ZvEacRow> rows, std::size_t size) {
    for (const ZvEacRow& row : rows) {
        if (!rowValid(row, size)) {
            return false;
        }
    }
    return true;
}
}  // namespace zvEacRowCheck

constexpr bool zvEacRowsValid(std::span<const ZvEacRow> rows, std::size_t size) {
    return zvEacRowCheck::rowsValid(rows, size);
}

namespace zvEacRowCheck {
// Lower-case letters, digits and single underscores inside; dots between
// the names of a path.
constexpr bool isName(const char* name, bool path = false) {
    if (name == nullptr || !(*name >= 'a' && *name <= 'z')) {
        return false;
    }
    char last = *name;
    for (const char* p = name + 1; *p != '\0'; last = *p, ++p) {
        const bool letter = (*p >= 'a' && *p <= 'z') || (*p >= '0' && *p <= '9');
        const bool joint = *p == '_' || (path && *p == '.');
        if (!letter && !(joint && last != '_' && last != '.')) {
            return false;
        }
    }
    return last != '_' && last != '.';
}

constexpr bool rowsNamed(std::span<const ZvEacRow> rows) {
    for (const ZvEacRow& row : rows) {
        switch (row.kind) {
            case ZvEacRowKind::FLAG_BLOCK:
            case ZvEacRowKind::PHYSICAL_BLOCK:
                break;
            case ZvEacRowKind::ROWS:
                if (!rowsNamed(row.rows)) {
                    return false;
                }
                break;
            case ZvEacRowKind::CUSTOM:
                for (const ZvEacFieldDecl& decl : row.declares) {
                    if (!isName(decl.path, true)) {
                        return false;
                    }
                }
                [[fallthrough]];
            default:
                if (!isName(row.field)) {
                    return false;
                }
        }
    }
    return true;
}
}  // namespace zvEacRowCheck

// Every field of a printer's table has a name for the record.
constexpr bool zvEacRowsNamed(std::span<const ZvEacRow> rows) { return zvEacRowCheck::rowsNamed(rows); }

// The door side and the two flag blocks that end every form with an
// indication.
template <typename Record>
constexpr ZvEacRow kZvEacIndicationSettings[] = {
    zvEacRow::name("door_side", offsetof(Record, doorSide), "Door side:         %s", zvEacDoorSideToStr),
    zvEacRow::flagBlock(offsetof(Record, indicationStatus), offsetof(Record, indicationMask)),
    zvEacRow::physicalBlock(offsetof(Record, physicalRepresentation)),
};

// Prints the rows; the caller has checked the body's length.
void zvEacPrintRows(ZvEacBytes body, std::span<const ZvEacRow> rows);

// A printer for a body record of `size` bytes: prints nothing and returns
// FALSE when the body is shorter.
template <std::size_t size, const auto& rows>
Boolean zvEacPrintTable(ZvEacBytes body) {
    static_assert(zvEacRowsValid(rows, size), "a row reaches past the record or its format does not fit its arguments");
    static_assert(zvEacRowsNamed(rows), "a field without a snake_case name");
    if (!body.has(0, size)) {
        return FALSE;
    }
    zvEacPrintRows(body, rows);
    return TRUE;
}

// As zvEacPrintTable, for a record followed by as many one-byte entries as
// the byte at `countOffset` says; the custom rows print the entries.
template <std::size_t size, std::size_t countOffset, const auto& rows>
Boolean zvEacPrintCountedTable(ZvEacBytes body) {
    static_assert(countOffset < size);
    if (!body.has(0, size) || !body.has(size, body.u8(countOffset))) {
        return FALSE;
    }
    return zvEacPrintTable<size, rows>(body);
}

// The tables as readers outside the printer find them (the dissector's
// generator): for each id, its forms in the order the printer tries them;
// the first that applies is the body's layout. `size` is the fixed part of
// the body the rows read. A printer without rows has one form with no rows
// and declares the fields it fills in `declares`.
enum class ZvEacFormWhen : U8 {
    ALWAYS,
    BYTE_IS,        // the body byte at `at` is `value`
    BYTE_NOT_ZERO,  // the body byte at `at` is not 0
    LENGTH_IS,      // the telegram is `at` bytes long
};

struct ZvEacLayout {
    U8 msgId;
    std::size_t size;
    std::span<const ZvEacRow> rows;
    ZvEacFormWhen when = ZvEacFormWhen::ALWAYS;
    std::size_t at = 0;
    U8 value = 0;
    std::span<const ZvEacFieldDecl> declares = {};
};

std::span<const ZvEacLayout> zvEacDeviceLayouts();
std::span<const ZvEacLayout> zvEacServiceLayouts();
std::span<const ZvEacLayout> zvEacCredentialLayouts();

// One field line of text made by the printers themselves.
void zvEacPrintLine(const char* format, ...) IC_PRINTF_FORMAT(1, 2);
