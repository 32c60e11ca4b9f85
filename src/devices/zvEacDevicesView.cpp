#include "devices/zvEacDevicesView.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "filter/zvEacFilter.h"
#include "stats/zvEacStats.h"

namespace {

constexpr U64 kFreshFor_us = 2000000;  // a change stands out this long

struct Column {
    const char* title;
    std::size_t width;
    ZvEacDeviceSlot slot;  // COUNT: not a state
};

// The narrow set always, the rest while the terminal is wide enough.
constexpr std::array kStateColumns{
    Column{"lock", 9, ZvEacDeviceSlot::LOCK},
    Column{"door", 9, ZvEacDeviceSlot::DOOR},
    Column{"handle", 8, ZvEacDeviceSlot::HANDLE},
    Column{"tamper", 9, ZvEacDeviceSlot::TAMPER},
    Column{"door mode", 11, ZvEacDeviceSlot::DOOR_MODE},
    Column{"access", 8, ZvEacDeviceSlot::ACCESS},
    Column{"event", 16, ZvEacDeviceSlot::EVENT},
    Column{"alarm", 14, ZvEacDeviceSlot::ALARM},
};
constexpr std::size_t kNarrowStates = 2;

std::string padded(std::string text, std::size_t width) {
    if (text.size() > width) {
        text.resize(width - 1);
        text += '~';
    }
    text.resize(width, ' ');
    return text;
}

double missedShare(U8 address) {
    const ZvEacStatsDeviceView view = zvEacStatsDevice(address);
    return view.polls == 0 ? 0.0 : 100.0 * view.missed / view.polls;
}

}  // namespace

Boolean zvEacViewFilterValid(const std::string& text) {
    ZvEacFilter filter{};
    return zvEacFilterParseText(("addr " + text).c_str(), filter);
}

std::vector<IcScreenLine> zvEacDevicesViewLines(const ZvEacDeviceTable& table, const ZvEacViewOptions& options) {
    std::vector<IcScreenLine> lines;
    lines.push_back({{padded(options.status, options.columns), IcScreenStyle::HEADER}});

    // As many state columns as fit after the fixed ones (79 columns with
    // the narrow set): address, kind, state, since, then changed, what,
    // missed and drop.
    std::size_t states = kNarrowStates;
    std::size_t width = 4 + 1 + 8 + 1 + 7 + 1 + 8 + 1 + 8 + 1 + 7 + 1 + 6 + 1 + 4;
    for (std::size_t i = 0; i < kNarrowStates; ++i) {
        width += kStateColumns[i].width + 1;
    }
    while (states < kStateColumns.size() && width + kStateColumns[states].width + 1 <= options.columns) {
        width += kStateColumns[states].width + 1;
        ++states;
    }
    std::string titles = "addr kind     state   since    ";
    for (std::size_t i = 0; i < states; ++i) {
        titles += padded(kStateColumns[i].title, kStateColumns[i].width) + " ";
    }
    titles += "changed  what    missed drop";
    lines.push_back({{padded(titles, options.columns), IcScreenStyle::HEADER}});

    ZvEacFilter filter{};
    const bool filtered = !options.addressFilter.empty() &&
                          zvEacFilterParseText(("addr " + options.addressFilter).c_str(), filter) != FALSE;
    std::vector<U8> shown;
    for (unsigned a = 1; a < 256; ++a) {
        const auto address = static_cast<U8>(a);
        if (table.device(address).seen && (!filtered || zvEacFilterAddressPasses(filter, address, address) != FALSE)) {
            shown.push_back(address);
        }
    }
    if (options.sort == ZvEacViewSort::LAST_CHANGE) {
        std::stable_sort(shown.begin(), shown.end(), [&table](U8 a, U8 b) {
            return table.device(a).lastChange_us > table.device(b).lastChange_us;
        });
    } else if (options.sort == ZvEacViewSort::MISSED) {
        std::stable_sort(shown.begin(), shown.end(), [](U8 a, U8 b) { return missedShare(a) > missedShare(b); });
    }

    const std::size_t bodyRows = options.rows > 3 ? options.rows - 3U : 0U;
    for (std::size_t i = 0; i < shown.size() && i < bodyRows; ++i) {
        const U8 address = shown[i];
        const ZvEacDevice& d = table.device(address);
        const bool away = d.presenceKnown && !d.online;
        const IcScreenStyle rowStyle = away ? IcScreenStyle::DIM : IcScreenStyle::PLAIN;
        const auto fresh = [&options](U64 changed_us) {
            return changed_us != 0 && changed_us + kFreshFor_us > options.now_us;
        };
        IcScreenLine line;
        std::array<char, 8> number{};
        (void)std::snprintf(number.data(), number.size(), "%4u ", static_cast<unsigned>(address));
        line.push_back({number.data(), rowStyle});
        line.push_back({padded(d.kind.empty() ? "-" : zvEacDeviceShortText(d.kind), 8) + " ", rowStyle});
        const std::string presence = !d.presenceKnown ? "seen" : (d.online ? "online" : "OFFLINE");
        line.push_back({padded(presence, 7) + " " + padded(zvEacDeviceClock(d.presenceSince_us), 8) + " ",
                        fresh(d.presenceSince_us) && !away ? IcScreenStyle::HIGHLIGHT : rowStyle});
        for (std::size_t s = 0; s < states; ++s) {
            const ZvEacDeviceValue& v = d.state[static_cast<std::size_t>(kStateColumns[s].slot)];
            line.push_back({padded(v.known ? zvEacDeviceShortText(v.text) : "-", kStateColumns[s].width),
                            fresh(v.changed_us) && !away ? IcScreenStyle::HIGHLIGHT : rowStyle});
            line.push_back({" ", rowStyle});
        }
        const char* what = d.lastChanged == ZvEacDeviceSlot::COUNT ? "-" : zvEacDeviceSlotName(d.lastChanged);
        std::array<char, 40> tail{};
        (void)std::snprintf(tail.data(), tail.size(), "%5.1f%% %4u", missedShare(address),
                            static_cast<unsigned>(std::min<U32>(d.drops, 9999)));
        line.push_back(
            {padded(zvEacDeviceClock(d.lastChange_us), 8) + " " + padded(what, 7) + " " + tail.data(), rowStyle});
        lines.push_back(std::move(line));
    }
    while (lines.size() + 1 < options.rows) {
        lines.push_back({});
    }
    std::string footer = options.typing.empty()
                             ? " q quit  a by address  c by last change  m by missed %  / filter  " +
                                   std::string(options.addressFilter.empty() ? "" : "Esc all devices")
                             : " addresses (5,7-9), Enter to apply, Esc to cancel: " + options.typing;
    lines.push_back({{padded(footer, options.columns), IcScreenStyle::HEADER}});
    return lines;
}
