#include "devices/zvEacDevices.h"

#include <algorithm>
#include <cstdio>

#include "eac/zelvan/zvEacDropReport.h"
#include "eac/zelvan/zvEacRecord.h"
#include "eac/zelvan/zvEacTelegrams.h"
#include "hal/include/icLocalTime.h"
#include "output/zvEacJson.h"
#include "stats/zvEacStats.h"

namespace {

constexpr U8 kMaster = 0;

constexpr std::array<const char*, ZV_EAC_DEVICE_SLOTS> kSlotNames{
    "lock", "door", "handle", "key_cylinder", "tamper", "activator", "door_mode", "access", "event", "dtc", "alarm",
};

// Which telegram carries which state, in which field. Everything else is
// looked at no further, so most telegrams cost a table lookup.
struct StateRow {
    U8 msgId;
    ZvEacDeviceSlot slot;
    const char* field;
};

constexpr std::array kStateRows{
    StateRow{ZV_EAC_MSGID_DABS_LOCK_STATE, ZvEacDeviceSlot::LOCK, "state"},
    StateRow{ZV_EAC_MSGID_DABS_DOOR_STATE, ZvEacDeviceSlot::DOOR, "state"},
    StateRow{ZV_EAC_MSGID_DABS_HANDLE_STATE_FOR_DEVICE, ZvEacDeviceSlot::HANDLE, "state"},
    StateRow{ZV_EAC_MSGID_DABS_KEY_CYLINDER_STATE_FOR_DEVICE, ZvEacDeviceSlot::KEY_CYLINDER, "state"},
    StateRow{ZV_EAC_MSGID_DABS_TAMPER_STATE, ZvEacDeviceSlot::TAMPER, "state"},
    StateRow{ZV_EAC_MSGID_DABS_TAMPER_STATE_FOR_DEVICE, ZvEacDeviceSlot::TAMPER, "state"},
    StateRow{ZV_EAC_MSGID_ACTIVATOR, ZvEacDeviceSlot::ACTIVATOR, "activator_state"},
    StateRow{ZV_EAC_MSGID_DOOR_MODE, ZvEacDeviceSlot::DOOR_MODE, "mode"},
    StateRow{ZV_EAC_MSGID_ACCESS_DECISION, ZvEacDeviceSlot::ACCESS, "decision"},
    StateRow{ZV_EAC_MSGID_EVENT, ZvEacDeviceSlot::EVENT, "event"},
    StateRow{ZV_EAC_MSGID_DTC, ZvEacDeviceSlot::DTC, "dtc_id"},
    StateRow{ZV_EAC_MSGID_ALARM, ZvEacDeviceSlot::ALARM, "alarm_id"},
};

const StateRow* stateRowOf(U8 msgId) {
    const auto* row =
        std::find_if(kStateRows.begin(), kStateRows.end(), [msgId](const StateRow& r) { return r.msgId == msgId; });
    return row == kStateRows.end() ? nullptr : row;
}

bool isIdentity(U8 msgId) {
    return msgId == ZV_EAC_MSGID_VERSION || msgId == ZV_EAC_MSGID_DABS_DEVICE_INFO ||
           msgId == ZV_EAC_MSGID_EXTENDED_DEVICE_INFO;
}

const ZvEacField* fieldNamed(const std::vector<ZvEacField>& fields, const char* name) {
    const auto it = std::find_if(fields.begin(), fields.end(),
                                 [name](const ZvEacField& f) { return std::string_view(f.name) == name; });
    return it == fields.end() ? nullptr : &*it;
}

// Runs of blanks as one: the printers pad numbers for their columns.
std::string squeezed(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == ' ' && (out.empty() || out.back() == ' ')) {
            continue;
        }
        out.push_back(c == '\n' || c == '\t' ? ' ' : c);
    }
    while (!out.empty() && out.back() == ' ') {
        out.pop_back();
    }
    return out;
}

// Bytes from the bus as text for a table: printable ASCII kept, the rest dots.
std::string printable(const std::vector<U8>& bytes) {
    std::string out;
    for (const U8 byte : bytes) {
        out.push_back(byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '.');
    }
    return out;
}

std::string fit(const std::string& text, std::size_t width) {
    if (text.size() <= width) {
        return text;
    }
    std::string cut = text.substr(0, width - 1);
    cut += '~';
    return cut;
}

std::string csvCell(const std::string& text) {
    if (text.find_first_of(",\"\n") == std::string::npos) {
        return text;
    }
    std::string out(1, '"');
    for (const char c : text) {
        out += c;
        if (c == '"') {
            out += c;
        }
    }
    out += '"';
    return out;
}

std::string utcOrEmpty(U64 wall_us) { return wall_us == 0 ? std::string() : zvEacJsonUtcTime(wall_us); }

std::string missedPercent(const ZvEacStatsDeviceView& view) {
    if (view.polls == 0) {
        return "-";
    }
    std::array<char, 16> text{};
    (void)std::snprintf(text.data(), text.size(), "%.1f%%", 100.0 * view.missed / view.polls);
    return text.data();
}

}  // namespace

std::string zvEacDeviceShortText(const std::string& text) {
    // What follows "0x2: " is the name; a name loses its table's prefix.
    const std::size_t colon = text.find(": ");
    std::string name = colon != std::string::npos ? text.substr(colon + 2) : text;
    const std::size_t state = name.rfind("STATE_");
    if (state != std::string::npos && name.size() > state + 6) {
        return name.substr(state + 6);
    }
    for (const char* prefix : {"DOORMODE_", "PRODCLASS_", "ZV_EAC_ALARM_"}) {
        const std::string_view p(prefix);
        if (name.rfind(p, 0) == 0 && name.size() > p.size()) {
            return name.substr(p.size());
        }
    }
    return name;
}

std::string zvEacDeviceClock(U64 wall_us) {
    if (wall_us == 0) {
        return "-";
    }
    IcLocalTime t{};
    icLocalTimeAt(wall_us, &t);
    std::array<char, 16> text{};
    (void)std::snprintf(text.data(), text.size(), "%02d:%02d:%02d", t.hour, t.minute, t.second);
    return text.data();
}

const char* zvEacDeviceSlotName(ZvEacDeviceSlot slot) {
    const auto index = static_cast<std::size_t>(slot);
    return index < kSlotNames.size() ? kSlotNames[index] : "";
}

void ZvEacDeviceTable::reset() {
    devices_.assign(devices_.size(), ZvEacDevice{});
    ++generation_;
}

void ZvEacDeviceTable::setState(ZvEacDevice& device, ZvEacDeviceSlot slot, const std::string& text, U64 wall_us) {
    ZvEacDeviceValue& value = device.state[static_cast<std::size_t>(slot)];
    if (value.known && value.text == text) {
        return;
    }
    value.known = true;
    value.text = text;
    value.changed_us = wall_us;
    device.lastChange_us = wall_us;
    device.lastChanged = slot;
    ++generation_;
    if (changeHook_ != nullptr) {
        changeHook_(changeArg_, wall_us, static_cast<U8>(&device - devices_.data()), slot, text);
    }
}

void ZvEacDeviceTable::takeTelegram(U64 wall_us, U8 source, U8 destination, U8 length, const U8* data) {
    const U8 address = source == kMaster ? destination : source;
    if (address == kMaster) {
        return;
    }
    ZvEacDevice& device = devices_[address];
    if (!device.seen) {
        device.seen = true;
        device.firstSeen_us = wall_us;
        ++generation_;
    }
    if (source != kMaster) {
        device.lastHeard_us = wall_us;
    }
    if (length == 0 || data == nullptr) {
        return;
    }
    const U8 msgId = data[0];
    const StateRow* row = stateRowOf(msgId);
    if (row == nullptr && !isIdentity(msgId)) {
        return;
    }
    if (row != nullptr) {
        const ZvEacDeviceValue& value = device.state[static_cast<std::size_t>(row->slot)];
        if (value.known && value.wireLength == length && std::equal(data, data + length, value.wire.begin())) {
            return;
        }
    }
    const U8 direction = source == kMaster ? 0 : 1;
    ZvEacRecord record;
    if (zvEacDecodeRecord(direction, address, length, data, record) == FALSE) {
        return;  // a body the decoder cannot read says nothing about the state
    }
    if (row != nullptr) {
        const ZvEacField* field = fieldNamed(record.body, row->field);
        if (field != nullptr) {
            setState(device, row->slot, squeezed(field->text), wall_us);
            ZvEacDeviceValue& value = device.state[static_cast<std::size_t>(row->slot)];
            const bool fits = length <= value.wire.size();
            value.wireLength = fits ? length : 0;
            if (fits) {
                std::copy(data, data + length, value.wire.begin());
            }
        }
        return;
    }
    const auto changeIdentity = [&](std::string& slot, const std::string& text) {
        if (!text.empty() && slot != text) {
            slot = text;
            ++generation_;
        }
    };
    if (msgId == ZV_EAC_MSGID_VERSION) {
        const ZvEacField* selector = fieldNamed(record.body, "selector");
        const ZvEacField* version = fieldNamed(record.body, "version_major");
        if (selector == nullptr || version == nullptr) {
            return;
        }
        const std::string& which = selector->text;
        if (which.size() > 3 && which.compare(which.size() - 3, 3, "_FW") == 0) {
            changeIdentity(device.firmware, squeezed(version->text));
        } else if (which.size() > 3 && which.compare(which.size() - 3, 3, "_HW") == 0) {
            changeIdentity(device.hardware, squeezed(version->text));
        }
    } else if (msgId == ZV_EAC_MSGID_DABS_DEVICE_INFO) {
        if (const ZvEacField* kind = fieldNamed(record.body, "product_class")) {
            changeIdentity(device.kind, squeezed(kind->text));
        }
    } else {
        const ZvEacField* id = fieldNamed(record.body, "data_id");
        const ZvEacField* bytes = fieldNamed(record.body, "data");
        if (id != nullptr && id->number == 1 && bytes != nullptr) {
            changeIdentity(device.serial, printable(bytes->bytes));
        }
    }
}

void ZvEacDeviceTable::presence(U64 wall_us, U8 address, bool online) {
    ZvEacDevice& device = devices_[address];
    if (!device.seen) {
        device.firstSeen_us = wall_us;
    }
    device.seen = true;
    device.presenceKnown = true;
    device.online = online;
    device.presenceSince_us = wall_us;
    ++generation_;
}

void ZvEacDeviceTable::drop(std::span<const U8> wire) {
    const ZvEacDropHeader header = zvEacDropHeaderOf(wire);
    if (header.addressesKnown == FALSE) {
        return;
    }
    const U8 address = header.source == kMaster ? header.destination : header.source;
    if (address == kMaster) {
        return;
    }
    ++devices_[address].drops;
    ++generation_;
}

std::string zvEacDevicesText(const ZvEacDeviceTable& table, bool wide) {
    std::string out;
    const auto line = [&out](const char* format, auto... args) {
        std::array<char, 512> text{};
        (void)std::snprintf(text.data(), text.size(), format, args...);
        out += text.data();
    };
    if (wide) {
        line(
            "%4s %-10s %-8s %-8s %-10s %-10s %-10s %-10s %-10s %-10s %-10s %-10s %-16s %-10s %-14s %6s %6s %7s %5s "
            "%-16s %-16s %-12s\n",
            "addr", "kind", "state", "since", "lock", "door", "handle", "cylinder", "tamper", "activator", "door mode",
            "access", "event", "dtc", "alarm", "polls", "answ", "missed", "drops", "firmware", "hardware", "serial");
    } else {
        // 79 columns: a terminal of 80 never wraps it.
        line("%4s %-8s %-7s %-8s %-9s %-9s %-8s %-7s %6s %4s\n", "addr", "kind", "state", "since", "lock", "door",
             "changed", "what", "missed", "drop");
    }
    for (unsigned a = 1; a < 256; ++a) {
        const ZvEacDevice& d = table.device(static_cast<U8>(a));
        if (!d.seen) {
            continue;
        }
        const ZvEacStatsDeviceView view = zvEacStatsDevice(static_cast<U8>(a));
        const std::string presence = !d.presenceKnown ? "seen" : (d.online ? "online" : "OFFLINE");
        const auto cell = [&d](ZvEacDeviceSlot slot, std::size_t width) {
            const ZvEacDeviceValue& v = d.state[static_cast<std::size_t>(slot)];
            return fit(v.known ? zvEacDeviceShortText(v.text) : std::string("-"), width);
        };
        const std::string kind = fit(d.kind.empty() ? std::string("-") : zvEacDeviceShortText(d.kind), 10);
        if (wide) {
            line(
                "%4u %-10s %-8s %-8s %-10s %-10s %-10s %-10s %-10s %-10s %-10s %-10s %-16s %-10s %-14s %6u %6u %7s "
                "%5u %-16s %-16s %-12s\n",
                a, kind.c_str(), presence.c_str(), zvEacDeviceClock(d.presenceSince_us).c_str(),
                cell(ZvEacDeviceSlot::LOCK, 10).c_str(), cell(ZvEacDeviceSlot::DOOR, 10).c_str(),
                cell(ZvEacDeviceSlot::HANDLE, 10).c_str(), cell(ZvEacDeviceSlot::KEY_CYLINDER, 10).c_str(),
                cell(ZvEacDeviceSlot::TAMPER, 10).c_str(), cell(ZvEacDeviceSlot::ACTIVATOR, 10).c_str(),
                cell(ZvEacDeviceSlot::DOOR_MODE, 10).c_str(), cell(ZvEacDeviceSlot::ACCESS, 10).c_str(),
                cell(ZvEacDeviceSlot::EVENT, 16).c_str(), cell(ZvEacDeviceSlot::DTC, 10).c_str(),
                cell(ZvEacDeviceSlot::ALARM, 14).c_str(), static_cast<unsigned>(view.polls),
                static_cast<unsigned>(view.answers), missedPercent(view).c_str(), static_cast<unsigned>(d.drops),
                fit(d.firmware.empty() ? "-" : d.firmware, 16).c_str(),
                fit(d.hardware.empty() ? "-" : d.hardware, 16).c_str(),
                fit(d.serial.empty() ? "-" : d.serial, 12).c_str());
        } else {
            const char* what = d.lastChanged == ZvEacDeviceSlot::COUNT ? "-" : zvEacDeviceSlotName(d.lastChanged);
            line("%4u %-8s %-7s %-8s %-9s %-9s %-8s %-7s %6s %4u\n", a, fit(kind, 8).c_str(), presence.c_str(),
                 zvEacDeviceClock(d.presenceSince_us).c_str(), cell(ZvEacDeviceSlot::LOCK, 9).c_str(),
                 cell(ZvEacDeviceSlot::DOOR, 9).c_str(), zvEacDeviceClock(d.lastChange_us).c_str(),
                 fit(what, 7).c_str(), missedPercent(view).c_str(),
                 static_cast<unsigned>(std::min<U32>(d.drops, 9999)));
        }
    }
    return out;
}

std::string zvEacDevicesCsv(const ZvEacDeviceTable& table) {
    // Built by appending: g++ 12 warns falsely about "literal" + std::string
    // when it optimises.
    std::string out =
        "address,kind,online,presence_since,first_seen,last_heard,polls,answers,missed,answer_mean_ms,"
        "answer_p99_ms,drops,firmware,hardware,serial";
    for (const char* name : kSlotNames) {
        out += ',';
        out += name;
        out += ',';
        out += name;
        out += "_changed";
    }
    out += '\n';
    const auto cell = [&out](const std::string& text) {
        out += ',';
        out += csvCell(text);
    };
    for (unsigned a = 1; a < 256; ++a) {
        const ZvEacDevice& d = table.device(static_cast<U8>(a));
        if (!d.seen) {
            continue;
        }
        const ZvEacStatsDeviceView view = zvEacStatsDevice(static_cast<U8>(a));
        std::array<char, 160> figures{};
        (void)std::snprintf(figures.data(), figures.size(), "%u,%u,%u,%.1f,%u,%u", static_cast<unsigned>(view.polls),
                            static_cast<unsigned>(view.answers), static_cast<unsigned>(view.missed),
                            view.answerMeanTenths_ms / 10.0, static_cast<unsigned>(view.answerP99_ms),
                            static_cast<unsigned>(d.drops));
        out += std::to_string(a);
        cell(d.kind);
        cell(!d.presenceKnown ? std::string() : std::string(d.online ? "1" : "0"));
        cell(utcOrEmpty(d.presenceSince_us));
        cell(utcOrEmpty(d.firstSeen_us));
        cell(utcOrEmpty(d.lastHeard_us));
        out += ',';
        out += figures.data();
        cell(d.firmware);
        cell(d.hardware);
        cell(d.serial);
        for (const ZvEacDeviceValue& v : d.state) {
            cell(v.known ? v.text : std::string());
            cell(v.known ? utcOrEmpty(v.changed_us) : std::string());
        }
        out += '\n';
    }
    return out;
}
