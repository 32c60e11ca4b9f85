#include "filter/zvEacFilter.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include "eac/zelvan/zvEacToStr.h"

namespace {

constexpr unsigned kValues = 256;
constexpr std::size_t kMaxWords = 64;
constexpr std::string_view kNamePrefix = "MSGID_";
constexpr const char* kUnknownMsgId = "## unknown msgid ###";

using Bits = std::array<U8, 32>;

ZvEacFilter active{};

bool bit(const Bits& bits, unsigned value) { return (bits[value / 8] & (1U << (value % 8))) != 0; }
void setBit(Bits& bits, unsigned value) { bits[value / 8] = static_cast<U8>(bits[value / 8] | (1U << (value % 8))); }

bool sameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
        if (upper(a[i]) != upper(b[i])) {
            return false;
        }
    }
    return true;
}

const char* nameOf(unsigned msgid) {
    const char* name = zvEacMsgIdToStr(static_cast<U8>(msgid));
    return std::strcmp(name, kUnknownMsgId) == 0 ? nullptr : name;
}

// 0 to 255, decimal or 0x hexadecimal, nothing else around it.
bool parseNumber(std::string_view text, unsigned& value) {
    unsigned base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty() || text.size() > 4) {
        return false;
    }
    value = 0;
    for (const char c : text) {
        unsigned digit = kValues;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        }
        if (digit >= base) {
            return false;
        }
        value = value * base + digit;
    }
    return value < kValues;
}

bool parseName(std::string_view text, unsigned& value) {
    for (unsigned id = 0; id < kValues; ++id) {
        const char* name = nameOf(id);
        if (name == nullptr) {
            continue;
        }
        const std::string_view full(name);
        if (sameText(text, full) ||
            (full.substr(0, kNamePrefix.size()) == kNamePrefix && sameText(text, full.substr(kNamePrefix.size())))) {
            value = id;
            return true;
        }
    }
    return false;
}

void explain(ZvEacFilterProblem* problem, std::string_view word, const char* why);

bool looksNumeric(std::string_view text) {
    const bool digits = !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    return digits || hex;
}

// Why a word is not one of the 256 values.
const char* numberProblem(std::string_view text, bool namesAllowed) {
    if (looksNumeric(text)) {
        return namesAllowed ? "a message id is 0 to 255 (0x00 to 0xff)" : "an address is 0 to 255";
    }
    return namesAllowed ? "no message of that name or number" : "not an address";
}

// One element of a list: a number, a range of numbers, or (for message ids)
// a catalogue name. nullptr, or why not.
const char* parseItem(std::string_view item, bool namesAllowed, Bits& bits) {
    unsigned first = 0;
    unsigned last = 0;
    const std::size_t dash = item.find('-');
    if (dash != std::string_view::npos) {
        const std::string_view from = item.substr(0, dash);
        const std::string_view to = item.substr(dash + 1);
        if (!parseNumber(from, first)) {
            return looksNumeric(from) ? numberProblem(from, namesAllowed) : "a range is two numbers";
        }
        if (!parseNumber(to, last)) {
            return looksNumeric(to) ? numberProblem(to, namesAllowed) : "a range is two numbers";
        }
        if (first > last) {
            return "a range runs upwards";
        }
    } else if (parseNumber(item, first) || (namesAllowed && parseName(item, first))) {
        last = first;
    } else {
        return numberProblem(item, namesAllowed);
    }
    for (unsigned value = first; value <= last; ++value) {
        setBit(bits, value);
    }
    return nullptr;
}

// A word of a list, items separated by commas ("5,7-9"; a trailing comma is
// harmless, so "5, 7" typed with a blank works). Counts the items read.
bool parseListWord(std::string_view word, bool namesAllowed, Bits& bits, unsigned& items, ZvEacFilterProblem* problem) {
    while (!word.empty()) {
        const std::size_t comma = word.find(',');
        const std::string_view item = word.substr(0, comma);
        if (!item.empty()) {
            if (const char* why = parseItem(item, namesAllowed, bits); why != nullptr) {
                explain(problem, item, why);
                return false;
            }
            ++items;
        }
        if (comma == std::string_view::npos) {
            break;
        }
        word.remove_prefix(comma + 1);
    }
    return true;
}

enum class Keyword : U8 { None, Addr, Msg, Off };

void explain(ZvEacFilterProblem* problem, std::string_view word, const char* why) {
    if (problem == nullptr) {
        return;
    }
    const int shown = word.size() < 40 ? static_cast<int>(word.size()) : 40;
    (void)std::snprintf(problem->text.data(), problem->text.size(), "%.*s%s: %s", shown, word.data(),
                        word.size() > 40 ? "..." : "", why);
}

Keyword keywordOf(std::string_view word) {
    if (sameText(word, "addr")) {
        return Keyword::Addr;
    }
    if (sameText(word, "msg")) {
        return Keyword::Msg;
    }
    if (sameText(word, "off")) {
        return Keyword::Off;
    }
    return Keyword::None;
}

// Appends to `text` without ever writing past `size`.
void append(char* text, std::size_t size, std::size_t& used, const char* format, auto... args) {
    if (used + 1 >= size) {
        return;
    }
    const int n = std::snprintf(text + used, size - used, format, args...);
    if (n > 0) {
        used += static_cast<std::size_t>(n) < size - used ? static_cast<std::size_t>(n) : size - used - 1;
    }
}

// Runs of set bits as "a-b"; message ids with a catalogue name by name.
void describeBits(const Bits& bits, bool names, char* text, std::size_t size, std::size_t& used) {
    bool first = true;
    for (unsigned value = 0; value < kValues; ++value) {
        if (!bit(bits, value)) {
            continue;
        }
        const char* separator = first ? "" : ",";
        first = false;
        if (names && nameOf(value) != nullptr) {
            append(text, size, used, "%s%s", separator, nameOf(value));
            continue;
        }
        unsigned last = value;
        while (last + 1 < kValues && bit(bits, last + 1) && !(names && nameOf(last + 1) != nullptr)) {
            ++last;
        }
        const char* format = names ? "%s0x%02x" : "%s%u";
        append(text, size, used, format, separator, value);
        if (last != value) {
            append(text, size, used, names ? "-0x%02x" : "-%u", last);
        }
        value = last;
    }
}

}  // namespace

Boolean zvEacFilterParse(std::span<const char* const> words, ZvEacFilter& out, ZvEacFilterProblem* problem) {
    if (words.empty()) {
        explain(problem, "filter", "no expression");
        return FALSE;
    }
    if (words.size() == 1 && words[0] != nullptr && keywordOf(words[0]) == Keyword::Off) {
        out = ZvEacFilter{};
        return TRUE;
    }
    ZvEacFilter parsed{};
    Keyword clause = Keyword::None;
    unsigned items = 0;
    for (const char* word : words) {
        if (word == nullptr) {
            return FALSE;
        }
        const Keyword keyword = keywordOf(word);
        if (keyword == Keyword::Off) {
            explain(problem, word, "stands alone");
            return FALSE;
        }
        if (keyword != Keyword::None) {
            // Each clause once, and none left without a list.
            Boolean& given = keyword == Keyword::Addr ? parsed.byAddress : parsed.byMsgId;
            if (given != FALSE) {
                explain(problem, word, "given twice");
                return FALSE;
            }
            if (clause != Keyword::None && items == 0) {
                explain(problem, clause == Keyword::Addr ? "addr" : "msg", "no list after it");
                return FALSE;
            }
            given = TRUE;
            clause = keyword;
            items = 0;
            continue;
        }
        if (clause == Keyword::None) {
            explain(problem, word, "addr, msg or off expected");
            return FALSE;
        }
        const bool msg = clause == Keyword::Msg;
        if (!parseListWord(word, msg, msg ? parsed.msgIds : parsed.addresses, items, problem)) {
            return FALSE;
        }
    }
    if (items == 0) {
        explain(problem, clause == Keyword::Msg ? "msg" : "addr", "no list after it");
        return FALSE;
    }
    out = parsed;
    return TRUE;
}

Boolean zvEacFilterParseText(const char* text, ZvEacFilter& out, ZvEacFilterProblem* problem) {
    if (text == nullptr) {
        return FALSE;
    }
    std::array<char, ZV_EAC_FILTER_TEXT_MAX> copy{};
    const std::size_t length = std::strlen(text);
    if (length >= copy.size()) {
        explain(problem, "filter", "expression too long");
        return FALSE;
    }
    std::memcpy(copy.data(), text, length);
    std::array<const char*, kMaxWords> words{};
    std::size_t count = 0;
    char* p = copy.data();
    while (*p != '\0') {
        while (*p == ' ' || *p == '\t') {
            *p++ = '\0';
        }
        if (*p == '\0') {
            break;
        }
        if (count == words.size()) {
            explain(problem, "filter", "too many words");
            return FALSE;
        }
        words[count++] = p;
        while (*p != '\0' && *p != ' ' && *p != '\t') {
            ++p;
        }
    }
    return zvEacFilterParse(std::span<const char* const>(words.data(), count), out, problem);
}

void zvEacFilterDescribe(const ZvEacFilter& filter, char* text, std::size_t size) {
    if (text == nullptr || size == 0) {
        return;
    }
    text[0] = '\0';
    std::size_t used = 0;
    if (filter.byAddress == FALSE && filter.byMsgId == FALSE) {
        append(text, size, used, "%s", "off");
        return;
    }
    if (filter.byAddress != FALSE) {
        append(text, size, used, "%s", "addr ");
        describeBits(filter.addresses, false, text, size, used);
    }
    if (filter.byMsgId != FALSE) {
        append(text, size, used, "%s", filter.byAddress != FALSE ? " msg " : "msg ");
        describeBits(filter.msgIds, true, text, size, used);
    }
}

Boolean zvEacFilterAddressPasses(const ZvEacFilter& filter, U8 source, U8 destination) {
    return filter.byAddress == FALSE || bit(filter.addresses, source) || bit(filter.addresses, destination) ? TRUE
                                                                                                            : FALSE;
}

Boolean zvEacFilterTelegramPasses(const ZvEacFilter& filter, U8 source, U8 destination, U8 msgid) {
    if (zvEacFilterAddressPasses(filter, source, destination) == FALSE) {
        return FALSE;
    }
    return filter.byMsgId == FALSE || bit(filter.msgIds, msgid) ? TRUE : FALSE;
}

void zvEacFilterSet(const ZvEacFilter& filter) { active = filter; }

const ZvEacFilter& zvEacFilterActive() { return active; }

const char* zvEacFilterMsgIdName(std::size_t index) {
    for (unsigned id = 0; id < kValues; ++id) {
        if (nameOf(id) != nullptr && index-- == 0) {
            return nameOf(id);
        }
    }
    return nullptr;
}
