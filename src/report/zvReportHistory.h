// What the bus did over time, for the report: the line's bytes, frames,
// drops and noise per second, every device's answer times per second, and
// each device's changes of presence and state with their texts. Everything
// is kept in fixed-size aggregates, so that a sniffer left running for days
// holds the same memory as one running for a minute; where the aggregates
// had to coarsen, they say so, and the report says it on the page.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/hal_types.h"
#include "devices/zvEacDevices.h"
#include "eac/zelvan/zvEacNetwork.h"

// A run of time cut into equal buckets, at most `capacity` of them. When the
// run outgrows them, neighbours merge and every bucket covers twice the time:
// the memory stays the same however long the run, and no sample is lost.
template <typename Bucket>
class ZvReportBuckets {
public:
    static constexpr U64 kFirstWidth_us = 1'000'000;

    explicit ZvReportBuckets(std::size_t capacity) : capacity_(capacity < 2 ? 2 : capacity) {}

    // The bucket `wall_us` falls into. A time before the first (a clock set
    // back, a capture out of order) counts into the first bucket.
    Bucket& at(U64 wall_us) {
        if (buckets_.empty()) {
            start_us_ = wall_us - wall_us % kFirstWidth_us;
        }
        const U64 offset = wall_us > start_us_ ? wall_us - start_us_ : 0;
        U64 index = offset / width_us_;
        while (index >= capacity_) {
            coarsen();
            index = offset / width_us_;
        }
        if (index >= buckets_.size()) {
            buckets_.resize(static_cast<std::size_t>(index) + 1);
        }
        return buckets_[static_cast<std::size_t>(index)];
    }
    U64 start_us() const { return start_us_; }
    U64 width_us() const { return width_us_; }
    const std::vector<Bucket>& buckets() const { return buckets_; }

private:
    void coarsen() {
        const std::size_t half = (buckets_.size() + 1) / 2;
        for (std::size_t i = 0; i < half; ++i) {
            Bucket merged = buckets_[2 * i];
            if (2 * i + 1 < buckets_.size()) {
                merged.merge(buckets_[2 * i + 1]);
            }
            buckets_[i] = merged;
        }
        buckets_.resize(half);
        width_us_ *= 2;
    }

    std::size_t capacity_;
    U64 start_us_ = 0;
    U64 width_us_ = kFirstWidth_us;
    std::vector<Bucket> buckets_;
};

struct ZvReportLineBucket {
    U64 bytes = 0;  // every byte on the line, noise and dropped frames too
    U64 noiseBytes = 0;
    U32 frames = 0;  // delivered frames
    U32 drops = 0;   // dropped frames, any reason
    void merge(const ZvReportLineBucket& other) {
        bytes += other.bytes;
        noiseBytes += other.noiseBytes;
        frames += other.frames;
        drops += other.drops;
    }
};

struct ZvReportAnswerBucket {
    U32 count = 0;
    U16 min_ms = 0;
    U16 max_ms = 0;
    void merge(const ZvReportAnswerBucket& other) {
        if (other.count == 0) {
            return;
        }
        min_ms = count == 0 || other.min_ms < min_ms ? other.min_ms : min_ms;
        max_ms = other.max_ms > max_ms ? other.max_ms : max_ms;
        count += other.count;
    }
};

// What changed on a device's lane.
enum class ZvReportLane : U8 {
    // 0 .. ZV_EAC_DEVICE_SLOTS - 1: the device table's state slots
    PRESENCE = ZV_EAC_DEVICE_SLOTS,
    DROP,
};

struct ZvReportEvent {
    U64 wall_us;
    U16 text;  // into ZvReportHistory::texts()
    U8 lane;   // a ZvEacDeviceSlot or a ZvReportLane
};

struct ZvReportDeviceHistory {
    std::vector<ZvReportEvent> events;
    U64 seenEvents = 0;  // offered, kept or not
    U32 stride = 1;      // every stride-th change of state is kept once thinned
    ZvReportBuckets<ZvReportAnswerBucket> answers;
    explicit ZvReportDeviceHistory(std::size_t answerBuckets) : answers(answerBuckets) {}
};

struct ZvReportLimits {
    std::size_t lineBuckets = 4096;    // an hour and more at one second each
    std::size_t answerBuckets = 2048;  // per device
    std::size_t eventsPerDevice = 4096;
    std::size_t texts = 4096;
};

class ZvReportHistory {
public:
    explicit ZvReportHistory(ZvReportLimits limits = {});

    void reset();
    // Every run of bytes the receiver decided on. A dropped frame whose
    // header names a device is also a mark on that device's lane.
    void unit(U64 wall_us, ZvEacNwkUnitKind kind, std::span<const U8> wire);
    // An answer and how long the device took.
    void answer(U64 wall_us, U8 device, U16 answer_ms);
    void presence(U64 wall_us, U8 device, bool online);
    // A state of the device table took a new value.
    void state(U64 wall_us, U8 device, ZvEacDeviceSlot slot, const std::string& text);

    bool empty() const { return !any_; }
    U64 first_us() const { return first_us_; }
    U64 last_us() const { return last_us_; }
    const ZvReportBuckets<ZvReportLineBucket>& line() const { return line_; }
    // nullptr for a device never recorded.
    const ZvReportDeviceHistory* device(U8 address) const { return devices_[address].get(); }
    const std::vector<std::string>& texts() const { return texts_; }
    // Texts that did not fit the table share its last entry.
    bool textsFull() const { return textsFull_; }

private:
    void seen(U64 wall_us);
    ZvReportDeviceHistory& deviceAt(U8 address);
    void event(U8 device, U64 wall_us, ZvReportLane lane, const std::string& text);
    void event(U8 device, U64 wall_us, U8 lane, const std::string& text);
    U16 textIndex(const std::string& text);

    ZvReportLimits limits_;
    bool any_ = false;  // a replay of raw line bytes starts its clock at 0
    U64 first_us_ = 0;
    U64 last_us_ = 0;
    ZvReportBuckets<ZvReportLineBucket> line_;
    std::array<std::unique_ptr<ZvReportDeviceHistory>, 256> devices_{};
    std::vector<std::string> texts_;
    std::unordered_map<std::string, U16> textIndex_;
    bool textsFull_ = false;
};
