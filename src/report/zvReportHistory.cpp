#include "report/zvReportHistory.h"

#include <algorithm>

#include "eac/zelvan/zvEacDropReport.h"

namespace {

constexpr U8 kMaster = 0;
// A device text longer than this is cut: the page shows it on hover only.
constexpr std::size_t kTextMax = 80;
constexpr const char* kOtherText = "(further texts)";

U8 laneOf(ZvReportLane lane) { return static_cast<U8>(lane); }

}  // namespace

ZvReportHistory::ZvReportHistory(ZvReportLimits limits) : limits_(limits), line_(limits.lineBuckets) {
    limits_.texts = std::max<std::size_t>(limits_.texts, 2);
    limits_.eventsPerDevice = std::max<std::size_t>(limits_.eventsPerDevice, 2);
}

void ZvReportHistory::reset() { *this = ZvReportHistory(limits_); }

void ZvReportHistory::seen(U64 wall_us) {
    if (!any_ || wall_us < first_us_) {
        first_us_ = wall_us;
    }
    last_us_ = any_ ? std::max(last_us_, wall_us) : wall_us;
    any_ = true;
}

ZvReportDeviceHistory& ZvReportHistory::deviceAt(U8 address) {
    auto& device = devices_[address];
    if (!device) {
        device = std::make_unique<ZvReportDeviceHistory>(limits_.answerBuckets);
    }
    return *device;
}

U16 ZvReportHistory::textIndex(const std::string& text) {
    const std::string key = text.size() > kTextMax ? text.substr(0, kTextMax) + "..." : text;
    if (const auto found = textIndex_.find(key); found != textIndex_.end()) {
        return found->second;
    }
    if (texts_.size() + 1 >= limits_.texts) {
        if (!textsFull_) {
            textsFull_ = true;
            texts_.emplace_back(kOtherText);
        }
        return static_cast<U16>(texts_.size() - 1);
    }
    const auto index = static_cast<U16>(texts_.size());
    texts_.push_back(key);
    textIndex_.emplace(key, index);
    return index;
}

void ZvReportHistory::event(U8 device, U64 wall_us, ZvReportLane lane, const std::string& text) {
    event(device, wall_us, laneOf(lane), text);
}

void ZvReportHistory::event(U8 address, U64 wall_us, U8 lane, const std::string& text) {
    ZvReportDeviceHistory& device = deviceAt(address);
    const bool presence = lane == laneOf(ZvReportLane::PRESENCE);
    const U64 offered = device.seenEvents++;
    if (!presence && offered % device.stride != 0) {
        return;
    }
    if (device.events.size() >= limits_.eventsPerDevice) {
        // Thin what is kept to every second change, presence aside (it makes
        // the lane's intervals), and keep only every second from now on.
        std::size_t kept = 0;
        std::size_t other = 0;
        for (const ZvReportEvent& e : device.events) {
            const bool keep = e.lane == laneOf(ZvReportLane::PRESENCE) || other++ % 2 == 0;
            if (keep) {
                device.events[kept++] = e;
            }
        }
        if (kept == device.events.size()) {  // nothing but presence: thin that too
            kept = 0;
            for (std::size_t i = 0; i < device.events.size(); i += 2) {
                device.events[kept++] = device.events[i];
            }
        }
        device.events.resize(kept);
        device.stride *= 2;
    }
    device.events.push_back(ZvReportEvent{wall_us, textIndex(text), lane});
}

void ZvReportHistory::unit(U64 wall_us, ZvEacNwkUnitKind kind, std::span<const U8> wire) {
    seen(wall_us);
    ZvReportLineBucket& bucket = line_.at(wall_us);
    bucket.bytes += wire.size();
    if (kind == ZV_EAC_NWK_UNIT_FRAME) {
        ++bucket.frames;
        return;
    }
    if (kind == ZV_EAC_NWK_UNIT_NOISE) {
        bucket.noiseBytes += wire.size();
        return;
    }
    ++bucket.drops;
    const ZvEacDropHeader header = zvEacDropHeaderOf(wire);
    if (header.addressesKnown == FALSE) {
        return;
    }
    const U8 address = header.source == kMaster ? header.destination : header.source;
    if (address != kMaster) {
        event(address, wall_us, ZvReportLane::DROP, zvEacDropReason(kind));
    }
}

void ZvReportHistory::answer(U64 wall_us, U8 device, U16 answer_ms) {
    seen(wall_us);
    ZvReportAnswerBucket one;
    one.count = 1;
    one.min_ms = answer_ms;
    one.max_ms = answer_ms;
    deviceAt(device).answers.at(wall_us).merge(one);
}

void ZvReportHistory::presence(U64 wall_us, U8 device, bool online) {
    seen(wall_us);
    event(device, wall_us, ZvReportLane::PRESENCE, online ? "ONLINE" : "OFFLINE");
}

void ZvReportHistory::state(U64 wall_us, U8 device, ZvEacDeviceSlot slot, const std::string& text) {
    if (slot >= ZvEacDeviceSlot::COUNT) {
        return;
    }
    seen(wall_us);
    event(device, wall_us, static_cast<U8>(slot), text);
}
