#include "report/zvReportHtml.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string_view>
#include <vector>

#include "eac/zelvan/zvEacToStr.h"
#include "output/zvEacJson.h"
#include "report/zvReportAssets.h"
#include "stats/zvEacStats.h"

namespace {

using Json = nlohmann::json;
using Row = std::vector<std::string>;

constexpr double kMicrosPerSecond = 1e6;
constexpr double kAttentionMissedPercent = 1.0;
constexpr const char* kUnknownMsgId = "## unknown msgid ###";

// The statistics exactly as `stats csv` writes them, so that the page and
// the file can never disagree.
struct StatsCsv {
    Row deviceHeader;
    std::vector<Row> devices;
    Row lineHeader;
    Row line;
};

Row splitCsvLine(std::string_view line) {
    Row cells;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = line.find(',', start);
        cells.emplace_back(
            line.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
        if (comma == std::string_view::npos) {
            return cells;
        }
        start = comma + 1;
    }
}

StatsCsv statsCsv() {
    std::string text;
    zvEacStatsWriteCsv([](void* arg, const char* piece) { *static_cast<std::string*>(arg) += piece; }, &text);
    StatsCsv csv;
    int section = 0;
    bool header = true;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        const std::string_view line(text.data() + start, (end == std::string::npos ? text.size() : end) - start);
        start = end == std::string::npos ? text.size() : end + 1;
        if (line.empty()) {
            ++section;
            header = true;
            continue;
        }
        Row cells = splitCsvLine(line);
        if (section == 0) {
            (header ? csv.deviceHeader : csv.devices.emplace_back()) = std::move(cells);
        } else {
            (header ? csv.lineHeader : csv.line) = std::move(cells);
        }
        header = false;
    }
    return csv;
}

std::string cellOf(const Row& header, const Row& row, std::string_view column) {
    for (std::size_t i = 0; i < header.size() && i < row.size(); ++i) {
        if (header[i] == column) {
            return row[i];
        }
    }
    return {};
}

unsigned long long numberOf(const std::string& text) {
    unsigned long long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            break;
        }
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return value;
}

// The smallest time by which half the answers had come; -1 without any.
int percentile50(std::span<const U32> histogram) {
    unsigned long long total = 0;
    for (const U32 count : histogram) {
        total += count;
    }
    if (total == 0) {
        return -1;
    }
    const unsigned long long rank = (total + 1) / 2;
    unsigned long long seen = 0;
    for (std::size_t ms = 0; ms < histogram.size(); ++ms) {
        seen += histogram[ms];
        if (seen >= rank) {
            return static_cast<int>(ms);
        }
    }
    return static_cast<int>(histogram.size() - 1);
}

std::string format(const char* pattern, double value) {
    std::array<char, 64> text{};
    (void)std::snprintf(text.data(), text.size(), pattern, value);
    return text.data();
}

double seconds(U64 wall_us) { return static_cast<double>(wall_us) / kMicrosPerSecond; }

std::string utc(U64 wall_us) { return wall_us == 0 ? std::string("-") : zvEacJsonUtcTime(wall_us); }

// JSON inside a script element: nothing in it may close the element or
// open markup, whatever a device sent.
void appendScriptSafe(std::string& out, std::string_view text) {
    for (const char c : text) {
        switch (c) {
            case '<':
                out += "\\u003c";
                break;
            case '>':
                out += "\\u003e";
                break;
            case '&':
                out += "\\u0026";
                break;
            default:
                out += c;
        }
    }
}

class Page {
public:
    void raw(std::string_view text) { out_ += text; }
    void script(std::string_view text) { appendScriptSafe(out_, text); }
    void text(std::string_view text) { out_ += zvReportHtmlText(text); }
    void element(std::string_view tag, std::string_view text) {
        out_ += '<';
        out_ += tag;
        out_ += '>';
        this->text(text);
        out_ += "</";
        out_ += tag.substr(0, tag.find(' '));
        out_ += '>';
    }
    std::string take() { return std::move(out_); }

private:
    std::string out_;
};

void summaryRow(Page& page, std::string_view label, const std::string& value, std::string_view csvColumn = {}) {
    page.raw("<tr");
    if (!csvColumn.empty()) {
        page.raw(" data-csv=\"");
        page.text(csvColumn);
        page.raw("\"");
    }
    page.raw("><th>");
    page.text(label);
    page.raw("</th><td>");
    page.text(value);
    page.raw("</td></tr>\n");
}

struct DeviceRow {
    U8 address = 0;
    const Row* csv = nullptr;  // its statistics, when counted
    const ZvEacDevice* table = nullptr;
};

std::vector<DeviceRow> deviceRows(const StatsCsv& csv, const ZvEacDeviceTable& devices) {
    std::vector<DeviceRow> rows;
    for (unsigned address = 1; address < 256; ++address) {
        DeviceRow row;
        row.address = static_cast<U8>(address);
        for (const Row& r : csv.devices) {
            if (!r.empty() && r[0] == std::to_string(address)) {
                row.csv = &r;
            }
        }
        if (devices.device(row.address).seen) {
            row.table = &devices.device(row.address);
        }
        if (row.csv != nullptr || row.table != nullptr) {
            rows.push_back(row);
        }
    }
    return rows;
}

// The figures of `stats csv` a device row shows, by their CSV names.
constexpr std::array<std::pair<const char*, const char*>, 12> kDeviceFigures{{
    {"polls", "polls"},
    {"answers", "answers"},
    {"missed", "missed"},
    {"online", "ONLINE"},
    {"offline", "OFFLINE"},
    {"telegrams_to", "to it"},
    {"telegrams_from", "from it"},
    {"answer_min_ms", "answer min ms"},
    {"answer_mean_ms", "mean ms"},
    {"answer_p99_ms", "p99 ms"},
    {"answer_max_ms", "max ms"},
    {"last_heard_s_ago", "last heard s ago"},
}};

void deviceTable(Page& page, const StatsCsv& csv, const std::vector<DeviceRow>& rows) {
    std::array<bool, ZV_EAC_DEVICE_SLOTS> slotUsed{};
    for (const DeviceRow& row : rows) {
        for (std::size_t slot = 0; row.table != nullptr && slot < ZV_EAC_DEVICE_SLOTS; ++slot) {
            slotUsed[slot] = slotUsed[slot] || row.table->state[slot].known;
        }
    }
    page.raw("<div class=\"scroll\"><table id=\"device-table\">\n<thead><tr><th data-csv=\"device\">device</th>");
    page.raw("<th>kind</th><th>at the end</th><th>since (UTC)</th>");
    for (const auto& [column, label] : kDeviceFigures) {
        page.raw("<th data-csv=\"");
        page.text(column);
        page.raw("\">");
        page.text(label);
        page.raw("</th>");
        if (std::string_view(column) == "missed") {
            page.raw("<th>missed %</th>");
        }
        if (std::string_view(column) == "answer_mean_ms") {
            page.raw("<th>p50 ms</th>");
        }
    }
    page.raw("<th>drops</th><th>firmware</th><th>hardware</th><th>serial</th>");
    for (std::size_t slot = 0; slot < ZV_EAC_DEVICE_SLOTS; ++slot) {
        if (slotUsed[slot]) {
            page.element("th", zvEacDeviceSlotName(static_cast<ZvEacDeviceSlot>(slot)));
        }
    }
    page.raw("</tr></thead>\n<tbody>\n");
    for (const DeviceRow& row : rows) {
        const Row empty;
        const Row& figures = row.csv != nullptr ? *row.csv : empty;
        const unsigned long long polls = numberOf(cellOf(csv.deviceHeader, figures, "polls"));
        const unsigned long long missed = numberOf(cellOf(csv.deviceHeader, figures, "missed"));
        const double missedPercent =
            polls == 0 ? 0.0 : 100.0 * static_cast<double>(missed) / static_cast<double>(polls);
        std::string attention;
        if (missedPercent > kAttentionMissedPercent) {
            attention += "misses more than 1 % of polls; ";
        }
        if (row.table != nullptr && !row.table->online && row.table->presenceKnown) {
            attention += "offline at the end; ";
        }
        if (row.table != nullptr && row.table->drops != 0) {
            attention += "dropped frames; ";
        }
        page.raw(attention.empty() ? "<tr>" : "<tr class=\"attention\" title=\"");
        if (!attention.empty()) {
            page.text(attention.substr(0, attention.size() - 2));
            page.raw("\">");
        }
        page.element("td", std::to_string(row.address));
        const ZvEacDevice* device = row.table;
        page.element("td", device != nullptr ? device->kind : "");
        page.element("td", device == nullptr || !device->presenceKnown ? "-" : device->online ? "online" : "offline");
        page.element("td", device != nullptr ? utc(device->presenceSince_us) : "-");
        for (const auto& [column, label] : kDeviceFigures) {
            page.element("td", cellOf(csv.deviceHeader, figures, column));
            if (std::string_view(column) == "missed") {
                page.element("td", polls == 0 ? "-" : format("%.1f", missedPercent));
            }
            if (std::string_view(column) == "answer_mean_ms") {
                const int p50 = percentile50(zvEacStatsAnswerHistogram(row.address));
                page.element("td", p50 < 0 ? std::string() : std::to_string(p50));
            }
        }
        page.element("td", device != nullptr ? std::to_string(device->drops) : "0");
        page.element("td", device != nullptr ? device->firmware : "");
        page.element("td", device != nullptr ? device->hardware : "");
        page.element("td", device != nullptr ? device->serial : "");
        for (std::size_t slot = 0; slot < ZV_EAC_DEVICE_SLOTS; ++slot) {
            if (slotUsed[slot]) {
                const bool known = device != nullptr && device->state[slot].known;
                page.element("td", known ? zvEacDeviceShortText(device->state[slot].text) : "");
            }
        }
        page.raw("</tr>\n");
    }
    page.raw("</tbody></table></div>\n");
}

const char* msgName(U8 id) {
    const char* name = zvEacMsgIdToStr(id);
    return std::string_view(name) == kUnknownMsgId ? "(undeclared)" : name;
}

void messageMix(Page& page, Json& data) {
    Json mix = Json::array();
    page.raw(
        "<table id=\"mix-table\"><thead><tr><th>message id</th><th>name</th><th>to devices</th><th>from "
        "devices</th></tr></thead><tbody>\n");
    for (unsigned id = 0; id < 256; ++id) {
        unsigned long long to = 0;
        unsigned long long from = 0;
        for (unsigned address = 0; address < 256; ++address) {
            to += zvEacStatsTelegrams(static_cast<U8>(address), ZV_EAC_STATS_TO_DEVICE, static_cast<U8>(id));
            from += zvEacStatsTelegrams(static_cast<U8>(address), ZV_EAC_STATS_FROM_DEVICE, static_cast<U8>(id));
        }
        if (to == 0 && from == 0) {
            continue;
        }
        std::array<char, 8> hex{};
        (void)std::snprintf(hex.data(), hex.size(), "0x%02x", id);
        const char* name = msgName(static_cast<U8>(id));
        page.raw("<tr>");
        page.element("td", hex.data());
        page.element("td", name);
        page.element("td", std::to_string(to));
        page.element("td", std::to_string(from));
        page.raw("</tr>\n");
        mix.push_back(Json{{"id", id}, {"name", name}, {"to", to}, {"from", from}});
    }
    page.raw("</tbody></table>\n");
    data["mix"] = std::move(mix);
}

Json lineData(const ZvReportHistory& history, U32 bitRate, Json& notes) {
    const auto& line = history.line();
    Json bytes = Json::array();
    Json frames = Json::array();
    Json drops = Json::array();
    Json noise = Json::array();
    for (const ZvReportLineBucket& b : line.buckets()) {
        bytes.push_back(b.bytes);
        frames.push_back(b.frames);
        drops.push_back(b.drops);
        noise.push_back(b.noiseBytes);
    }
    const double width = seconds(line.width_us());
    if (line.width_us() > ZvReportBuckets<ZvReportLineBucket>::kFirstWidth_us) {
        notes.push_back("The line's figures are kept per " + format("%g", width) +
                        " s, not per second: the run outgrew the buckets.");
    }
    return Json{{"t0", seconds(line.start_us())},
                {"w", width},
                {"bitRate", bitRate},
                {"bytes", bytes},
                {"frames", frames},
                {"drops", drops},
                {"noise", noise}};
}

// Seconds since the epoch to the microsecond, exactly (a double would round
// the last digits of today's times).
void appendSeconds(std::string& out, U64 wall_us) {
    std::array<char, 32> text{};
    (void)std::snprintf(text.data(), text.size(), "%llu.%06llu", static_cast<unsigned long long>(wall_us / 1'000'000),
                        static_cast<unsigned long long>(wall_us % 1'000'000));
    out += text.data();
}

template <typename Range, typename Cell>
void appendArray(std::string& out, const Range& range, Cell cell) {
    out += '[';
    bool first = true;
    for (const auto& item : range) {
        if (!first) {
            out += ',';
        }
        first = false;
        cell(item);
    }
    out += ']';
}

// The devices' lanes and answer times as JSON text, written directly: they
// are numbers only, and the bulk of the data (a full history of 254 devices
// is a million changes), which a document of JSON values would hold several
// times over while the page is written.
std::string devicesData(const ZvReportHistory& history, const std::vector<DeviceRow>& rows, Json& notes) {
    std::string out;
    bool coarseAnswers = false;
    const auto number = [&out](unsigned long long value) { out += std::to_string(value); };
    appendArray(out, rows, [&](const DeviceRow& row) {
        const ZvReportDeviceHistory* device = history.device(row.address);
        out += "{\"a\":" + std::to_string(row.address) + ",\"events\":";
        if (device == nullptr) {
            out += "[],\"answers\":{}";
        } else {
            appendArray(out, device->events, [&](const ZvReportEvent& e) {
                out += '[';
                appendSeconds(out, e.wall_us);
                out += ',' + std::to_string(e.lane) + ',' + std::to_string(e.text) + ']';
            });
            if (device->stride > 1) {
                notes.push_back("Device " + std::to_string(row.address) + ": " + std::to_string(device->events.size()) +
                                " of " + std::to_string(device->seenEvents) +
                                " changes drawn (its lane filled; online and offline are all kept).");
            }
            const auto& answers = device->answers;
            coarseAnswers = coarseAnswers || answers.width_us() > ZvReportBuckets<ZvReportAnswerBucket>::kFirstWidth_us;
            out += ",\"answers\":{\"t0\":";
            appendSeconds(out, answers.start_us());
            out += ",\"w\":";
            appendSeconds(out, answers.width_us());
            const auto bound = [&out](const ZvReportAnswerBucket& b, U16 value) {
                out += b.count == 0 ? std::string("null") : std::to_string(value);
            };
            out += ",\"min\":";
            appendArray(out, answers.buckets(), [&](const ZvReportAnswerBucket& b) { bound(b, b.min_ms); });
            out += ",\"max\":";
            appendArray(out, answers.buckets(), [&](const ZvReportAnswerBucket& b) { bound(b, b.max_ms); });
            out += ",\"n\":";
            appendArray(out, answers.buckets(), [&](const ZvReportAnswerBucket& b) { number(b.count); });
            out += '}';
        }
        out += ",\"hist\":";
        appendArray(out, zvEacStatsAnswerHistogram(row.address), [&](U32 count) { number(count); });
        out += '}';
    });
    if (coarseAnswers) {
        notes.push_back("Answer times of long runs are drawn per bucket of several seconds (fastest and slowest).");
    }
    if (history.textsFull()) {
        notes.push_back("More different texts than the history keeps: the rest show as \"(further texts)\".");
    }
    return out;
}

}  // namespace

std::string zvReportHtmlText(std::string_view text) {
    static constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            switch (c) {
                case '&':
                    out += "&amp;";
                    break;
                case '<':
                    out += "&lt;";
                    break;
                case '>':
                    out += "&gt;";
                    break;
                case '"':
                    out += "&quot;";
                    break;
                case '\'':
                    out += "&#39;";
                    break;
                default:
                    if ((c < 0x20 && c != '\n' && c != '\t') || c == 0x7f) {
                        out += kReplacement;
                    } else {
                        out += static_cast<char>(c);
                    }
            }
            ++i;
            continue;
        }
        // A sequence of 2 to 4 bytes; overlong forms, surrogates and values
        // above U+10FFFF are not UTF-8.
        const std::size_t length = c >= 0xC2 && c <= 0xDF   ? 2
                                   : c >= 0xE0 && c <= 0xEF ? 3
                                   : c >= 0xF0 && c <= 0xF4 ? 4
                                                            : 0;
        bool valid = length != 0 && i + length <= text.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            valid = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        }
        if (valid && length >= 3) {
            const auto second = static_cast<unsigned char>(text[i + 1]);
            valid = !((c == 0xE0 && second < 0xA0) || (c == 0xED && second > 0x9F) || (c == 0xF0 && second < 0x90) ||
                      (c == 0xF4 && second > 0x8F));
        }
        if (!valid) {
            out += kReplacement;
            ++i;
            continue;
        }
        out.append(text.substr(i, length));
        i += length;
    }
    return out;
}

std::string zvReportHtml(const ZvReportSource& source, const ZvReportHistory& history,
                         const ZvEacDeviceTable& devices) {
    const StatsCsv csv = statsCsv();
    const std::vector<DeviceRow> rows = deviceRows(csv, devices);
    Json data;
    Json notes = Json::array();

    Page page;
    page.raw(
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; script-src 'unsafe-inline'; "
        "style-src 'unsafe-inline'; img-src data:\">\n"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n");
    page.element("title", "ZELVAN EAC bus report: " + source.what);
    page.raw("\n<style>\n");
    page.raw(zvReportAssetUplotCss);
    page.raw(zvReportAssetPageCss);
    page.raw("</style>\n</head>\n<body>\n<header><h1>ZELVAN EAC bus report</h1>\n");
    page.element("p class=\"source\"", source.what);
    page.element("p class=\"version\"", source.version);
    page.raw("</header>\n");

    page.raw("<section id=\"summary\"><h2>Summary</h2>\n<table class=\"figures\">\n");
    summaryRow(page, "source", source.what);
    summaryRow(page, "first", history.empty() ? "-" : zvEacJsonUtcTime(history.first_us()));
    summaryRow(page, "last", history.empty() ? "-" : zvEacJsonUtcTime(history.last_us()));
    summaryRow(page, "duration",
               history.empty() ? "-" : format("%.1f s", seconds(history.last_us() - history.first_us())));
    const auto line = [&](std::string_view label, std::string_view column) {
        summaryRow(page, label, cellOf(csv.lineHeader, csv.line, column), column);
    };
    line("counted over (s)", "elapsed_s");
    line("bit rate (bit/s)", "bit_rate");
    line("frames", "frames");
    line("bytes", "bytes");
    line("line load (%)", "load_percent");
    line("dropped: wrong BCC", "dropped_bcc");
    line("dropped: time-out inside the frame", "dropped_timeout");
    line("dropped: no ETX", "dropped_no_etx");
    line("dropped: no memory", "dropped_no_memory");
    line("dropped: cut off at the end", "dropped_cut");
    line("noise bytes", "noise_bytes");
    std::size_t online = 0;
    for (const DeviceRow& row : rows) {
        online += row.table != nullptr && row.table->online ? 1U : 0U;
    }
    summaryRow(page, "devices seen", std::to_string(rows.size()));
    summaryRow(page, "devices online at the end", std::to_string(online));
    page.raw("</table></section>\n");

    page.raw(
        "<section id=\"devices\"><h2>Devices</h2>\n<p class=\"hint\">Marked rows need attention: more than 1 % of "
        "polls missed, offline at the end, or dropped frames addressed to the device. Figures as <code>stats "
        "csv</code> writes them.</p>\n");
    deviceTable(page, csv, rows);
    page.raw("</section>\n");

    page.raw(
        "<section id=\"timelines\"><h2>Device timelines</h2>\n<p class=\"hint\">One lane a device: online (green) and "
        "offline (grey), lock and door states, and marks for access decisions, events, DTCs, alarms and dropped "
        "frames. Hover for the text; drag to zoom, wheel to zoom, shift and wheel to pan, double-click to see it all. "
        "Every time chart follows the same zoom. Times in UTC.</p>\n<div id=\"chart-timeline\" "
        "class=\"chart\"></div></section>\n");
    page.raw(
        "<section id=\"answers\"><h2>Answer times</h2>\n<p class=\"hint\">From the last byte of a poll to the first "
        "byte of the answer; the red line is the master's receive time-out.</p>\n<label>device <select "
        "id=\"answer-device\"></select></label>\n<div id=\"chart-answers\" class=\"chart\"></div>\n<div "
        "id=\"chart-histogram\" class=\"chart\"></div></section>\n");
    page.raw(
        "<section id=\"line\"><h2>The line over time</h2>\n<div id=\"chart-load\" class=\"chart\"></div>\n<div "
        "id=\"chart-drops\" class=\"chart\"></div></section>\n");
    page.raw("<section id=\"mix\"><h2>Message mix</h2>\n<div id=\"chart-mix\" class=\"chart\"></div>\n");
    messageMix(page, data);
    page.raw("</section>\n");

    data["v"] = 1;
    data["first"] = seconds(history.first_us());
    data["last"] = seconds(history.last_us());
    data["timeout_ms"] = ZV_REPORT_ANSWER_TIMEOUT_MS;
    data["line"] = lineData(history, source.bitRate, notes);
    const std::string devicesText = devicesData(history, rows, notes);
    data["texts"] = history.texts();
    Json laneNames = Json::array();
    for (std::size_t slot = 0; slot < ZV_EAC_DEVICE_SLOTS; ++slot) {
        laneNames.push_back(zvEacDeviceSlotName(static_cast<ZvEacDeviceSlot>(slot)));
    }
    laneNames.push_back("presence");
    laneNames.push_back("drop");
    data["lanes"] = std::move(laneNames);
    data["notes"] = notes;

    page.raw("<section id=\"notes\"><h2>What was reduced</h2>\n<ul id=\"reductions\">\n");
    if (notes.empty()) {
        page.raw("<li>Nothing: every second and every change is drawn.</li>\n");
    }
    for (const Json& note : notes) {
        page.element("li", note.get<std::string>());
        page.raw("\n");
    }
    // Errors are collected from the first script on, so that the page shows
    // (and a test sees) what went wrong in any of them.
    page.raw(
        "</ul></section>\n<div id=\"zv-errors\"></div>\n<script>\nwindow.zvErrors = [];\n"
        "addEventListener('error', function (e) { window.zvErrors.push(String(e.message)); "
        "document.getElementById('zv-errors').textContent = window.zvErrors.join('\\n'); });\n</script>\n"
        "<script type=\"application/json\" id=\"zv-data\">");
    // The devices' part joins the rest as the object's first member.
    const std::string rest = data.dump(-1, ' ', false, Json::error_handler_t::replace);
    page.script("{\"devices\":");
    page.script(devicesText);
    page.script(",");
    page.script(std::string_view(rest).substr(1));
    page.raw("</script>\n<script>\n");
    page.raw(zvReportAssetUplotJs);
    page.raw("\n</script>\n<script>\n");
    page.raw(zvReportAssetPageJs);
    page.raw("\n</script>\n</body>\n</html>\n");
    return page.take();
}
