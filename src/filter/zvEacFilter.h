// What the sniffer prints: all telegrams, or only those to or from some
// devices and/or with some message ids. Only printing follows it; the
// statistics and the online bookkeeping always see everything.
//
// Expression, as typed after `filter` or given to --filter:
//   addr LIST    devices, e.g. 7 or 5,7-9 (0 to 255)
//   msg LIST     message ids by catalogue name (MSGID_LOCK_STATE, or
//                LOCK_STATE, any case) or number (0xa3, 163), ranges of
//                numbers too
//   both clauses, in either order; or `off`
#pragma once

#include <array>
#include <span>

#include "base/hal_types.h"

// Longest expression read from one text; any filter's description fits.
inline constexpr std::size_t ZV_EAC_FILTER_TEXT_MAX = 4096;

struct ZvEacFilter {
    Boolean byAddress;
    Boolean byMsgId;
    std::array<U8, 32> addresses;  // one bit per address
    std::array<U8, 32> msgIds;     // one bit per message id
};

// Why an expression was refused: the word and the reason, as
// "NOT_A_MSG: no message of that name or number".
struct ZvEacFilterProblem {
    std::array<char, 128> text{};
};

// Reads the words of an expression into `out`. FALSE, with `out`
// untouched, when it is not a valid expression; then `problem`, where
// given, says which word and why.
Boolean zvEacFilterParse(std::span<const char* const> words, ZvEacFilter& out, ZvEacFilterProblem* problem = nullptr);
// The same from one text, words separated by blanks, shorter than
// ZV_EAC_FILTER_TEXT_MAX.
Boolean zvEacFilterParseText(const char* text, ZvEacFilter& out, ZvEacFilterProblem* problem = nullptr);
// The filter as an expression that parses back to it ("off" when open),
// cut to fit `size`.
void zvEacFilterDescribe(const ZvEacFilter& filter, char* text, std::size_t size);

Boolean zvEacFilterAddressPasses(const ZvEacFilter& filter, U8 source, U8 destination);
// A telegram: its frame's addresses and its message id.
Boolean zvEacFilterTelegramPasses(const ZvEacFilter& filter, U8 source, U8 destination, U8 msgid);

// The filter in force for the whole program (open at start).
void zvEacFilterSet(const ZvEacFilter& filter);
const ZvEacFilter& zvEacFilterActive();

// Catalogue names for completion: the i-th name, nullptr past the last.
const char* zvEacFilterMsgIdName(std::size_t index);
