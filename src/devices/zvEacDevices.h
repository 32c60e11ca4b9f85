// What each device on the bus is and what state it reported last: identity
// (kind, firmware, hardware, serial number), presence (online since when,
// first and last heard) and decoded states, each with the time it last
// changed. It sees every telegram, whatever the print filter lets through,
// so that a table of the bus is whole. Polls, answers and answer times come
// from the statistics, which count them already.
#pragma once

#include <array>
#include <span>
#include <string>
#include <vector>

#include "base/hal_types.h"

// The states the table keeps, in its columns' order.
enum class ZvEacDeviceSlot : U8 {
    LOCK,
    DOOR,
    HANDLE,
    KEY_CYLINDER,
    TAMPER,
    ACTIVATOR,
    DOOR_MODE,
    ACCESS,  // the last access decision the master gave the device
    EVENT,
    DTC,
    ALARM,
    COUNT,
};
inline constexpr std::size_t ZV_EAC_DEVICE_SLOTS = static_cast<std::size_t>(ZvEacDeviceSlot::COUNT);

// "lock", "door", "handle", "key_cylinder", ...: the column names.
const char* zvEacDeviceSlotName(ZvEacDeviceSlot slot);
// A value's text for a narrow column: the name without its value table's
// prefix ("LOCK_STATE_LOCKED" -> "LOCKED", "0x2: ZV_EAC_ALARM_BURGLARY" ->
// "BURGLARY").
std::string zvEacDeviceShortText(const std::string& text);
// "13:05:09" in local time; "-" for 0 (never).
std::string zvEacDeviceClock(U64 wall_us);

struct ZvEacDeviceValue {
    bool known = false;
    std::string text;    // as the reports print it
    U64 changed_us = 0;  // when it last took a new value (its first report counts)
    // The telegram it came from, as far as it fits: the same bytes again
    // (a device answers every poll with its state) need no decoding.
    std::array<U8, 24> wire{};
    U8 wireLength = 0;
};

struct ZvEacDevice {
    bool seen = false;  // a frame from it or to it
    U64 firstSeen_us = 0;
    U64 lastHeard_us = 0;  // its last frame (0: never heard)
    bool online = false;
    // An ONLINE or OFFLINE was reported (a replay of raw line bytes starts
    // its clock at 0, so the time cannot say it).
    bool presenceKnown = false;
    U64 presenceSince_us = 0;  // the last ONLINE or OFFLINE
    std::string kind;          // product class, as printed
    std::string firmware;
    std::string hardware;
    std::string serial;
    std::array<ZvEacDeviceValue, ZV_EAC_DEVICE_SLOTS> state{};
    U32 drops = 0;  // dropped frames whose header names it
    U64 lastChange_us = 0;
    ZvEacDeviceSlot lastChanged = ZvEacDeviceSlot::COUNT;  // COUNT: nothing changed yet
};

class ZvEacDeviceTable {
public:
    void reset();
    // A delivered frame: `data` holds `length` bytes, byte 0 the message id.
    void takeTelegram(U64 wall_us, U8 source, U8 destination, U8 length, const U8* data);
    void presence(U64 wall_us, U8 device, bool online);
    // A dropped frame as on the line; counted against the device its header
    // names, when the header was read.
    void drop(std::span<const U8> wire);
    const ZvEacDevice& device(U8 address) const { return devices_[address]; }
    // Grows with every change, so that a view redraws only when it moved.
    U64 generation() const { return generation_; }
    // Told every time a state takes a new value (the history of a report).
    using ChangeHook = void (*)(void* arg, U64 wall_us, U8 address, ZvEacDeviceSlot slot, const std::string& text);
    void onChange(ChangeHook hook, void* arg) {
        changeHook_ = hook;
        changeArg_ = arg;
    }

private:
    void setState(ZvEacDevice& device, ZvEacDeviceSlot slot, const std::string& text, U64 wall_us);
    std::vector<ZvEacDevice> devices_ = std::vector<ZvEacDevice>(256);  // by address
    U64 generation_ = 0;
    ChangeHook changeHook_ = nullptr;
    void* changeArg_ = nullptr;
};

// The table as text for the console, one line a device that was seen,
// fitting 80 columns (`wide`: every column), times in local time.
std::string zvEacDevicesText(const ZvEacDeviceTable& table, bool wide);
// Every column, one row a device, times in UTC (ISO 8601); RFC 4180 quoting.
std::string zvEacDevicesCsv(const ZvEacDeviceTable& table);
