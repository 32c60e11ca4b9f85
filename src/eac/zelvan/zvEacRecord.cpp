// The walk's output and the record it fills: the printers put out their text
// and open a field before each piece of it; the same calls print, record,
// or (for a caller that wants both) do both.
#include "eac/zelvan/zvEacRecord.h"

#include <cstdarg>
#include <cstdio>
#include <string_view>

#include "eac/zelvan/zvEacToStrPrivate.h"
#include "logger/logger.h"

namespace {

// Longer than any piece the logger keeps, so its own limit is the one that
// cuts a long text, as if the piece had gone to it directly.
constexpr std::size_t kPieceMax = 512;

struct Walk {
    bool print = true;
    ZvEacRecord* record = nullptr;
    // The entry lists of the record's body and the open groups, outermost
    // first. Only the innermost grows while a group is open, so the pointers
    // to the outer ones stay good.
    std::vector<std::vector<ZvEacField>*> lists;
    std::vector<ZvEacField*> groups;
    ZvEacField* open = nullptr;  // takes the text put out
};

Walk walk;
// The walks a record's decoding interrupted, innermost last.
std::vector<Walk> outerWalks;

ZvEacField* addField(const char* name, ZvEacValueKind kind) {
    if (walk.record == nullptr || name == nullptr) {
        return nullptr;
    }
    std::vector<ZvEacField>& list = *walk.lists.back();
    ZvEacField& field = list.emplace_back();
    field.name = name;
    field.kind = kind;
    walk.open = &field;
    return walk.open;
}

// A line's label is the words before its first colon ("Door side:   ");
// text with a bracket, digit or other sign before the colon has none
// ("timestamp(24.01.31 13:05:09)").
std::size_t labelLength(const std::string& text) {
    std::size_t i = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        const bool word =
            (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == ' ' || c == '_' || c == '[' || c == ']';
        if (!word) {
            break;
        }
    }
    if (i == 0 || i >= text.size() || text[i] != ':') {
        return 0;
    }
    ++i;
    if (i < text.size() && text[i] != ' ' && text[i] != '\n') {
        return 0;
    }
    while (i < text.size() && text[i] == ' ') {
        ++i;
    }
    return i;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n'; }

std::string trimmed(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && isBlank(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

// The printed text without line starts, indentation and label; lines
// joined by "\n".
std::string shownText(const std::string& printed) {
    std::string out;
    std::size_t at = 0;
    while (at <= printed.size()) {
        const std::size_t end = printed.find('\n', at);
        std::string line = trimmed(printed.substr(at, end == std::string::npos ? std::string::npos : end - at));
        if (!line.empty()) {
            if (out.empty()) {
                line.erase(0, labelLength(line));
            } else {
                out += '\n';
            }
            out += line;
        }
        if (end == std::string::npos) {
            break;
        }
        at = end + 1;
    }
    return out;
}

void finish(std::vector<ZvEacField>& fields) {
    for (ZvEacField& field : fields) {
        field.text = shownText(field.text);
        finish(field.fields);
    }
}

}  // namespace

void zvEacOut(const char* format, ...) {
    char text[kPieceMax];
    va_list args;
    va_start(args, format);
    const int written = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (written < 0) {
        return;
    }
    if (walk.print) {
        loggerPrintf("%s", text);
    }
    if (walk.open != nullptr) {
        walk.open->text += text;
    }
}

void zvEacFieldNumber(const char* name, U32 value) {
    if (ZvEacField* field = addField(name, ZvEacValueKind::NUMBER)) {
        field->number = value;
    }
}

void zvEacFieldBytes(const char* name, ZvEacBytes bytes) {
    if (ZvEacField* field = addField(name, ZvEacValueKind::BYTES)) {
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            field->bytes.push_back(bytes.u8(i));
        }
    }
}

void zvEacFieldText(const char* name, ZvEacBytes bytes) {
    // A text on the bus ends at a NUL; what follows is padding, which the
    // printers do not show either.
    std::size_t length = 0;
    while (length < bytes.size() && bytes.u8(length) != 0) {
        ++length;
    }
    zvEacFieldBytes(name, bytes.slice(0, length));
    if (walk.open != nullptr) {
        walk.open->kind = ZvEacValueKind::TEXT;
    }
}

void zvEacFieldShown(const char* text) {
    if (walk.open != nullptr) {
        walk.open->text = text;
        walk.open = walk.groups.empty() ? nullptr : walk.groups.back();
    }
}

void zvEacGroupBegin(const char* name) {
    if (ZvEacField* group = addField(name, ZvEacValueKind::GROUP)) {
        walk.groups.push_back(group);
        walk.lists.push_back(&group->fields);
    }
}

void zvEacGroupEnd() {
    if (walk.record != nullptr && !walk.groups.empty()) {
        walk.open = walk.groups.back();
        walk.groups.pop_back();
        walk.lists.pop_back();
    }
}

const char* zvEacRawReasonToStr(ZvEacRawReason reason) {
    switch (reason) {
        case ZvEacRawReason::UNKNOWN_ID:
            return "unknown_id";
        case ZvEacRawReason::NO_DECODER:
            return "no_decoder";
        case ZvEacRawReason::UNDECODED_LENGTH:
            return "undecoded_length";
        case ZvEacRawReason::SHORT:
            return "short";
        case ZvEacRawReason::NONE:
            break;
    }
    return "";
}

void zvEacRecordWalkBegin(ZvEacRecord& record) {
    outerWalks.push_back(walk);
    walk = Walk{};
    walk.print = false;
    walk.record = &record;
    walk.lists.push_back(&record.body);
}

void zvEacRecordWalkEnd(ZvEacRecord& record) {
    if (!outerWalks.empty()) {
        walk = outerWalks.back();
        outerWalks.pop_back();
    }
    finish(record.body);
}
