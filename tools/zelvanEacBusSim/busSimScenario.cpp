#include "busSimScenario.h"

#include <array>
#include <cstdio>
#include <deque>
#include <optional>
#include <vector>

#include "Dkit/Include/dkitCredential.h"
#include "base/icError.h"
#include "busSimRandom.h"

namespace {

constexpr const char* kModuleFile = "zelvanEacBusSim/busSimScenario";

constexpr ZvEacNwkAddr kMasterAddr = 0;

// --- timing (microseconds of idle line) -----------------------------------------------

constexpr U32 kDeviceReactionMin_us = 1500;
constexpr U32 kDeviceReactionMax_us = 4000;
constexpr U32 kMasterPauseMin_us = 800;
constexpr U32 kMasterPauseMax_us = 2500;
// How long the master waits for an answer before it moves on.
constexpr U32 kAnswerTimeout_us = 30000;
constexpr U32 kAnswerTimeoutJitter_us = 1000;

// Simulated wall clock for SET_TIME and event time stamps: a fixed start,
// advanced per frame, so the telegrams do not depend on when the run happens.
constexpr U32 kClockMsPerFrame = 20;
constexpr U8 kClockStartYear = 24;  // 2024
constexpr U8 kClockStartMonth = 3;
constexpr U8 kClockStartDay = 18;
constexpr U32 kClockStartSecondOfDay = 7 * 3600 + 45 * 60;

// --- presence ---------------------------------------------------------------------------

// One device always leaves early in the run, so even a short run shows a
// device going offline and coming back.
constexpr U32 kFirstLeaveCycle = 3;
constexpr U32 kFirstLeaveCycles = 2;
constexpr U32 kRandomLeavesFromCycle = 6;
constexpr double kLeaveChancePerCycle = 0.012;
constexpr U32 kAbsentCyclesMin = 2;
constexpr U32 kAbsentCyclesMax = 5;
// Unanswered polls after which the master forgets a device and probes it.
constexpr U8 kMissesUntilForgotten = 3;

// --- what devices say unprompted (answer to a plain poll) -------------------------------

constexpr double kReaderCredentialChance = 0.30;
constexpr double kKeypadInputChance = 0.30;
constexpr double kLockChangeChance = 0.12;
constexpr double kActivatorChance = 0.20;
constexpr double kAlarmChance = 0.02;
constexpr double kOddIdChance = 0.01;
constexpr double kParameterRejectChance = 0.2;

// --- vendor data ------------------------------------------------------------------------

constexpr ZvEacVendorId kVendorId = 0x5A;
constexpr U8 kProtocolMajor = 2;
constexpr U8 kProtocolMinor = 1;
constexpr U8 kDevIdManufacturer = 0x0A;

enum class Kind : U8 { LOCK, READER, KEYPAD, DOOR_CONTROLLER };
constexpr U8 kKindCount = 4;

struct KindInfo {
    ZvEacDabsProductClass productClass;
    ZvEacProductId product;
    U8 firmwareMajor;
    U8 firmwareMinor;
    U16 firmwareBuild;
    const char* firmwareText;
    const char* hardwareText;
    const char* firmwareFile;
    const char* firmwareReady;
};

constexpr std::array<KindInfo, kKindCount> kKindInfo{{
    {ZV_EAC_PRODCLASS_LOCK, 0x11, 4, 2, 118, "ZL-Lock 4.2.118", "ZL-HW rev C", "zl_lock_4_3_0.img", "ZL-Lock 4.3.0"},
    {ZV_EAC_PRODCLASS_READER, 0x12, 2, 7, 33, "ZR-Reader 2.7.33", "ZR-HW rev B", "zr_reader_2_8_0.img",
     "ZR-Reader 2.8.0"},
    {ZV_EAC_PRODCLASS_KEYPAD_READER, 0x13, 1, 9, 4, "ZK-Keypad 1.9.4", "ZK-HW rev A", "zk_keypad_1_10_0.img",
     "ZK-Keypad 1.10.0"},
    {ZV_EAC_PRODCLASS_MOTORLOCK_CONTROLLER, 0x14, 3, 1, 250, "ZD-DoorCtl 3.1.250", "ZD-HW rev D",
     "zd_doorctl_3_2_0.img", "ZD-DoorCtl 3.2.0"},
}};

const KindInfo& infoOf(Kind kind) { return kKindInfo[static_cast<U8>(kind)]; }

// --- requests of the master -----------------------------------------------------------------

enum class Request : U8 {
    PROBE,  // a frame without data to an address the master does not know yet
    POLL,   // a frame without data: "anything to report?"
    GET_VERSION_FIRMWARE,
    GET_VERSION_HARDWARE,
    GET_DEVICE_INFO,
    GET_EXTENDED_INFO,
    GET_SUPPORTED_LOCK_STATES,
    GET_SUPPORTED_DOOR_STATES,
    SET_TIME,
    SET_PARAMETER,
    GET_PARAMETER,
    GET_LOCK_STATE,
    GET_DOOR_STATE,
    GET_HANDLE_STATES,
    GET_KEY_CYLINDER_STATES,
    GET_TAMPER_STATE,
    GET_ALL_TAMPER_STATES,
    GET_ACTIVATOR_STATE,
    GET_ALL_STATES,
    GET_EVENT,
    GET_DTCS,
    CLEAR_DTC,
    GET_ALARMS,
    CONFIRM_ALARM,
    SET_PERMANENT_INDICATION,
    SET_DOOR_MODE,
    RESET_DOOR_MODE,
    ACTION_WITH_TIMER,
    FIRMWARE_UPGRADE,
    BLOCK_OPEN,
    BLOCK_DATA,
    BLOCK_CLOSE,
    RESET,
    INDICATE_CREDENTIAL_REQUEST,
    ACCESS_GRANTED,
    ACCESS_DENIED,
    GRANT_ACCESS_SEQUENCE,
    INDICATE_ACCESS_DENIED,
    RESERVED_ID,
    UNDECLARED_ID,
};

constexpr Request kStartup[] = {
    Request::GET_VERSION_FIRMWARE,
    Request::GET_VERSION_HARDWARE,
    Request::GET_DEVICE_INFO,
    Request::GET_EXTENDED_INFO,
    Request::GET_SUPPORTED_LOCK_STATES,
    Request::GET_SUPPORTED_DOOR_STATES,
    Request::SET_TIME,
    Request::SET_PARAMETER,
    Request::GET_EVENT,
};

// Regular polls per kind, taken in turn.
constexpr Request kLockPolls[] = {Request::POLL, Request::GET_LOCK_STATE,    Request::GET_DOOR_STATE,
                                  Request::POLL, Request::GET_HANDLE_STATES, Request::GET_KEY_CYLINDER_STATES,
                                  Request::POLL, Request::GET_TAMPER_STATE};
constexpr Request kReaderPolls[] = {Request::POLL, Request::POLL, Request::GET_TAMPER_STATE, Request::POLL,
                                    Request::GET_EVENT};
constexpr Request kKeypadPolls[] = {Request::POLL, Request::POLL, Request::GET_ALL_TAMPER_STATES, Request::POLL,
                                    Request::GET_TAMPER_STATE};
constexpr Request kDoorControllerPolls[] = {Request::POLL, Request::GET_ACTIVATOR_STATE, Request::GET_DOOR_STATE,
                                            Request::POLL, Request::GET_LOCK_STATE,      Request::GET_ALL_STATES};

// Service requests the master spreads over the bus, one every few visits,
// so that every telegram of the catalogue shows up early in a run.
constexpr Request kServiceRotation[] = {
    Request::GET_EVENT,
    Request::GET_DTCS,
    Request::SET_PERMANENT_INDICATION,
    Request::GET_ALARMS,
    Request::SET_DOOR_MODE,
    Request::RESERVED_ID,
    Request::GET_PARAMETER,
    Request::CLEAR_DTC,
    Request::INDICATE_CREDENTIAL_REQUEST,
    Request::ACTION_WITH_TIMER,
    Request::RESET_DOOR_MODE,
    Request::UNDECLARED_ID,
    Request::SET_PERMANENT_INDICATION,
    Request::SET_DOOR_MODE,
    Request::RESERVED_ID,
    Request::FIRMWARE_UPGRADE,
    Request::GET_EXTENDED_INFO,
    Request::CONFIRM_ALARM,
    Request::SET_TIME,
    Request::RESERVED_ID,
    Request::GET_PARAMETER,
    Request::RESET,
    Request::RESERVED_ID,
    Request::SET_PARAMETER,
};
constexpr U32 kServiceEveryNthVisit = 3;

constexpr U8 kReservedIds[] = {
    ZV_EAC_MSGID_RESERVED_0x40, ZV_EAC_MSGID_RESERVED_0x50, ZV_EAC_MSGID_RESERVED_0x58, ZV_EAC_MSGID_RESERVED_0x59,
    ZV_EAC_MSGID_RESERVED_0x68, ZV_EAC_MSGID_RESERVED_0x69, ZV_EAC_MSGID_RESERVED_0xA4, ZV_EAC_MSGID_RESERVED_0xA9,
};
// Ids the catalogue does not declare: the two gaps in its range and a few
// outside it.
constexpr U8 kUndeclaredIds[] = {0xBC, 0xC4, 0x10, 0xE7};

constexpr ZvEacTeleParamId kParameters[] = {
    ZV_EAC_PARAM_ID_TMO_SLAVE_OFFLINE,  ZV_EAC_PARAM_ID_TMO_SLAVE_MIN,       ZV_EAC_PARAM_ID_TMO_SLAVE_PROBE_MAX,
    ZV_EAC_PARAM_ID_TMO_SLAVE_POLL_MAX, ZV_EAC_PARAM_ID_ACCESS_DECISION_TMO, ZV_EAC_PARAM_ID_RX_BUF_LENGTH,
    ZV_EAC_PARAM_ID_EAC_PARAM_A,        ZV_EAC_PARAM_ID_EAC_PARAM_B,         ZV_EAC_PARAM_ID_OEM_FLASH_PARAM_A,
    ZV_EAC_PARAM_ID_OEM_FLASH_PARAM_B,  ZV_EAC_PARAM_ID_OEM_PARAM_128,       ZV_EAC_PARAM_ID_OEM_PARAM_143,
};

constexpr ZvEacVersionSelector kFirmwareSelectors[] = {ZV_EAC_VERSION_DEVICE_FW, ZV_EAC_VERSION_DIU_FW};
constexpr ZvEacVersionSelector kHardwareSelectors[] = {ZV_EAC_VERSION_DEVICE_HW, ZV_EAC_VERSION_DIU_HW};

constexpr ZvEacTeleEventCode kRoutineEvents[] = {
    ZV_EAC_EVENT_BATTERY_OK,        ZV_EAC_EVENT_BATTERY_LOW,
    ZV_EAC_EVENT_RADIO_DISTURBANCE, ZV_EAC_EVENT_RADIO_DISTURBANCE_RESET,
    ZV_EAC_EVENT_LOCK_JAMMED,       ZV_EAC_EVENT_LOCK_NOT_JAMMED,
    ZV_EAC_EVENT_DEVICE_ONLINE,     ZV_EAC_EVENT_DEVICE_OFFLINE,
    ZV_EAC_EVENT_BATTERY_FLAT,
};

constexpr ZvEacDidoDataId kExtendedDataIds[] = {0x00000001, 0x00000010, 0x00010002};

constexpr U8 kFirmwareBlocks = 3;
constexpr U8 kFirmwareBlockSize = 24;
constexpr U32 kFirmwareImageSize = 0x0001C400;
constexpr U8 kFirmwareStatusStarted = 1;
constexpr U8 kFirmwareStatusDone = 2;
constexpr U8 kBlockOpOpen = 1;
constexpr U8 kBlockOpOpenConfirm = 2;
constexpr U8 kBlockOpData = 3;
constexpr U8 kBlockOpAck = 4;
constexpr U8 kBlockOpClose = 5;

// --- model ------------------------------------------------------------------------------------

struct Device {
    ZvEacNwkAddr address = 0;
    Kind kind = Kind::LOCK;
    ZvEacDabsDeviceId id{};
    ZvEacDoorSide side = ZV_EAC_DOORSIDE_UNKNOWN;

    bool present = true;
    U32 backInCycle = 0;

    // The master's picture of the device.
    bool known = false;
    U8 missed = 0;
    std::deque<Request> queue;
    U32 visits = 0;
    U32 pollIndex = 0;

    // The device's own state.
    std::deque<ZvEacTeleEventCode> events;
    U16 eventIndex = 0;
    ZvEacLockStateCode lock = ZV_EAC_LOCK_STATE_LOCKED;
    ZvEacDoorStateCode door = ZV_EAC_DOOR_STATE_CLOSED;
    ZvEacHandleStateCode handle = ZV_EAC_HANDLE_STATE_NOT_USED;
    ZvEacKeyCylinderStateCode cylinder = ZV_EAC_KEY_CYLINDER_STATE_NOT_USED;
    ZvEacTamperStateCode tamper = ZV_EAC_TAMPER_STATE_NO_TAMPER;
    ZvEacActivatorStateCode activator = ZV_EAC_ACTIVATOR_STATE_NOT_ACTIVE;
    ZvEacDoorMode doorMode = ZV_EAC_DOORMODE_CLOSED_LOCKED;
    ZvEacAlarmId pendingAlarm = ZV_EAC_ALARM_UNKNOWN_ALARM;
    ZvEacTeleParamId parameter = ZV_EAC_PARAM_ID_TMO_SLAVE_OFFLINE;
    ZvEacDidoDataId extendedDataId = 1;
    U16 block = 0;
};

// Alternation counters: which form or variant comes next.
struct Turns {
    U32 service = 0;
    U32 firmwareSelector = 0;
    U32 hardwareSelector = 0;
    U32 reserved = 0;
    U32 undeclared = 0;
    U32 credential = 0;
    U32 access = 0;
    U32 grant = 0;
    U32 denied = 0;
    U32 activator = 0;
    U32 doorMode = 0;
    U32 permanentIndication = 0;
    U32 parameter = 0;
    U32 setTime = 0;
    U32 extendedData = 0;
    U32 reset = 0;
    U32 alarm = 0;
};

BusSimRandom said;    // what is said on the bus
BusSimRandom timing;  // the idle times between frames
std::vector<Device> devices;
ZvEacDabsDeviceId gatewayId{};
std::size_t nextDevice = 0;
U32 cycle = 0;
U32 frameNumber = 0;
bool lastPollUnanswered = false;
std::optional<BusSimFrame> pendingAnswer;
Turns turns;

template <typename T, std::size_t N>
const T& inTurn(const T (&items)[N], U32& turn) {
    return items[turn++ % N];
}

// --- simulated clock ----------------------------------------------------------------------

constexpr bool isLeapYear(U32 year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

U8 daysInMonth(U32 year, U8 month) {
    constexpr U8 kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

ZvEacTeleTime clockNow() {
    const U32 seconds = kClockStartSecondOfDay + frameNumber / (1000 / kClockMsPerFrame);
    U32 days = seconds / 86400;
    U32 year = 2000 + kClockStartYear;
    U8 month = kClockStartMonth;
    U8 day = kClockStartDay;
    while (days-- > 0) {
        if (++day > daysInMonth(year, month)) {
            day = 1;
            if (++month > 12) {
                month = 1;
                ++year;
            }
        }
    }
    const U32 secondOfDay = seconds % 86400;
    return ZvEacTeleTime{static_cast<U8>(year % 100),
                         month,
                         day,
                         static_cast<U8>(secondOfDay / 3600),
                         static_cast<U8>(secondOfDay / 60 % 60),
                         static_cast<U8>(secondOfDay % 60)};
}

// --- devices --------------------------------------------------------------------------------

ZvEacDabsDeviceId makeDeviceId(U8 kindCode, ZvEacNwkAddr address) {
    ZvEacDabsDeviceId id{};
    id.id[0] = kDevIdManufacturer;
    id.id[1] = kindCode;
    for (std::size_t i = 2; i < 10; ++i) {
        id.id[i] = said.byte();
    }
    id.id[10] = 0;
    id.id[11] = address;
    return id;
}

BusSimIndication indicationFor(const Device& d, ZvEacPermanentIndicationFlags on) {
    return BusSimIndication{d.side, on | ZV_EAC_PERMANENT_INDICATION_FLAG_BACKLIGHT,
                            on | ZV_EAC_PERMANENT_INDICATION_FLAG_BACKLIGHT |
                                ZV_EAC_PERMANENT_INDICATION_FLAG_ACCESS_DENIED |
                                ZV_EAC_PERMANENT_INDICATION_FLAG_ACCESS_GRANTED,
                            static_cast<ZvEacPhysicalRepresentation>(ZV_EAC_PHYSICAL_REPRESENTATION_VISUAL |
                                                                     ZV_EAC_PHYSICAL_REPRESENTATION_AUDIBLE)};
}

// A device that comes back has restarted: its states are the defaults again
// and its first event tells so.
void restart(Device& d) {
    d.lock = ZV_EAC_LOCK_STATE_LOCKED;
    d.door = ZV_EAC_DOOR_STATE_CLOSED;
    d.handle = ZV_EAC_HANDLE_STATE_NOT_USED;
    d.cylinder = ZV_EAC_KEY_CYLINDER_STATE_NOT_USED;
    d.tamper = ZV_EAC_TAMPER_STATE_NO_TAMPER;
    d.activator = ZV_EAC_ACTIVATOR_STATE_NOT_ACTIVE;
    d.doorMode = ZV_EAC_DOORMODE_CLOSED_LOCKED;
    d.block = 0;
    d.events.clear();
    d.events.push_back(said.chance(0.5) ? ZV_EAC_EVENT_RESTARTED : ZV_EAC_EVENT_WATCHDOG_RESET);
}

void queueStartup(Device& d) {
    d.queue.clear();
    for (const Request r : kStartup) {
        const bool locking = d.kind == Kind::LOCK || d.kind == Kind::DOOR_CONTROLLER;
        if ((r == Request::GET_SUPPORTED_LOCK_STATES || r == Request::GET_SUPPORTED_DOOR_STATES) && !locking) {
            continue;
        }
        d.queue.push_back(r);
    }
}

void startCycle() {
    ++cycle;
    const std::size_t firstLeaver = said.below(static_cast<U32>(devices.size()));
    for (std::size_t i = 0; i < devices.size(); ++i) {
        Device& d = devices[i];
        if (!d.present) {
            if (cycle >= d.backInCycle) {
                d.present = true;
                restart(d);
            }
            continue;
        }
        if (cycle == kFirstLeaveCycle && i == firstLeaver) {
            d.present = false;
            d.backInCycle = cycle + kFirstLeaveCycles;
        } else if (cycle >= kRandomLeavesFromCycle && said.chance(kLeaveChancePerCycle)) {
            d.present = false;
            d.backInCycle = cycle + said.between(kAbsentCyclesMin, kAbsentCyclesMax);
        }
    }
}

// --- the master -------------------------------------------------------------------------------

bool serviceFits(Request r, Kind kind) {
    switch (r) {
        case Request::SET_DOOR_MODE:
        case Request::RESET_DOOR_MODE:
            return kind == Kind::LOCK || kind == Kind::DOOR_CONTROLLER;
        case Request::INDICATE_CREDENTIAL_REQUEST:
            return kind == Kind::READER || kind == Kind::KEYPAD;
        default:
            return true;
    }
}

Request regularPoll(Device& d) {
    switch (d.kind) {
        case Kind::LOCK:
            return kLockPolls[d.pollIndex++ % std::size(kLockPolls)];
        case Kind::READER:
            return kReaderPolls[d.pollIndex++ % std::size(kReaderPolls)];
        case Kind::KEYPAD:
            return kKeypadPolls[d.pollIndex++ % std::size(kKeypadPolls)];
        case Kind::DOOR_CONTROLLER:
            return kDoorControllerPolls[d.pollIndex++ % std::size(kDoorControllerPolls)];
    }
    return Request::POLL;
}

Request chooseRequest(Device& d) {
    if (!d.known) {
        return Request::PROBE;
    }
    if (!d.queue.empty()) {
        const Request r = d.queue.front();
        d.queue.pop_front();
        return r;
    }
    if (++d.visits % kServiceEveryNthVisit == 0) {
        // A service request that does not suit this device waits for the
        // next one that it suits.
        const Request r = kServiceRotation[turns.service % std::size(kServiceRotation)];
        if (serviceFits(r, d.kind)) {
            ++turns.service;
            return r;
        }
    }
    return regularPoll(d);
}

BusSimTelegram buildRequest(Request r, Device& d) {
    switch (r) {
        case Request::PROBE:
        case Request::POLL:
            return BusSimTelegram{};
        case Request::GET_VERSION_FIRMWARE:
            return busSimTeleGetVersion(inTurn(kFirmwareSelectors, turns.firmwareSelector));
        case Request::GET_VERSION_HARDWARE:
            return busSimTeleGetVersion(inTurn(kHardwareSelectors, turns.hardwareSelector));
        case Request::GET_DEVICE_INFO:
            return busSimTeleBare(ZV_EAC_MSGID_DABS_GET_DEVICE_INFO);
        case Request::GET_EXTENDED_INFO:
            d.extendedDataId = inTurn(kExtendedDataIds, turns.extendedData);
            return busSimTeleGetExtendedDeviceInfo(d.id, d.extendedDataId);
        case Request::GET_SUPPORTED_LOCK_STATES:
            return busSimTeleBare(ZV_EAC_MSGID_DABS_GET_SUPPORTED_LOCK_STATES);
        case Request::GET_SUPPORTED_DOOR_STATES:
            return busSimTeleBare(ZV_EAC_MSGID_DABS_GET_SUPPORTED_DOOR_STATES);
        case Request::SET_TIME:
            if (turns.setTime++ % 2 == 0) {
                return busSimTeleSetTime(clockNow(), ZV_EAC_TIME_FUNCTION_LOCAL_TIME, 0);
            }
            return busSimTeleSetTime(clockNow(), ZV_EAC_TIME_FUNCTION_UTC_TIME, 4);
        case Request::SET_PARAMETER:
            d.parameter = inTurn(kParameters, turns.parameter);
            return busSimTeleParameter(ZV_EAC_MSGID_SET_PARAMETER, d.parameter, 200 + said.below(800));
        case Request::GET_PARAMETER:
            d.parameter = inTurn(kParameters, turns.parameter);
            return busSimTeleGetParameter(d.parameter);
        case Request::GET_LOCK_STATE:
            return busSimTeleBare(ZV_EAC_MSGID_DABS_GET_LOCK_STATE);
        case Request::GET_DOOR_STATE:
            return busSimTeleBare(ZV_EAC_MSGID_DABS_GET_DOOR_STATE);
        case Request::GET_HANDLE_STATES:
            return busSimTeleBare(ZV_EAC_MSGID_DABS_GET_ALL_HANDLE_STATES);
        case Request::GET_KEY_CYLINDER_STATES:
            return busSimTeleBare(ZV_EAC_MSGID_DABS_GET_ALL_KEY_CYLINDER_STATES);
        case Request::GET_TAMPER_STATE:
            return busSimTeleBare(ZV_EAC_MSGID_DABS_GET_TAMPER_STATE);
        case Request::GET_ALL_TAMPER_STATES:
            return busSimTeleBare(ZV_EAC_MSGID_DABS_GET_ALL_TAMPER_STATES);
        case Request::GET_ACTIVATOR_STATE:
            return busSimTeleDeviceIdOnly(ZV_EAC_MSGID_DABS_GET_ACTIVATOR_STATE, d.id);
        case Request::GET_ALL_STATES:
            return busSimTeleDeviceIdOnly(ZV_EAC_MSGID_DABS_GET_ALL_STATES, d.id);
        case Request::GET_EVENT:
            return busSimTeleGetEvent(d.eventIndex);
        case Request::GET_DTCS:
            return busSimTeleGetDtcs(d.id, static_cast<ZvEacDtcRequest>(said.below(4)));
        case Request::CLEAR_DTC:
            return busSimTeleClearDtc(d.id, said.chance(0.5) ? 0 : 0x00A10300 + said.below(16));
        case Request::GET_ALARMS:
            return busSimTeleGetAlarms(
                d.id, said.chance(0.5) ? ZV_EAC_ALARM_REQUEST_ALL : ZV_EAC_ALARM_REQUEST_ACTIVE_NOT_CONFIRMED);
        case Request::CONFIRM_ALARM: {
            const ZvEacAlarmId alarm = d.pendingAlarm != ZV_EAC_ALARM_UNKNOWN_ALARM
                                           ? d.pendingAlarm
                                           : static_cast<ZvEacAlarmId>(ZV_EAC_ALARM_APPLICATION_SPECIFIC_TO_XX);
            d.pendingAlarm = ZV_EAC_ALARM_UNKNOWN_ALARM;
            return busSimTeleConfirmAlarm(d.id, alarm);
        }
        case Request::SET_PERMANENT_INDICATION:
            return busSimTeleSetPermanentIndication(indicationFor(d, ZV_EAC_PERMANENT_INDICATION_FLAG_SHOW_CARD),
                                                    turns.permanentIndication++ % 2 == 1);
        case Request::SET_DOOR_MODE: {
            constexpr ZvEacDoorMode kModes[] = {ZV_EAC_DOORMODE_OPEN, ZV_EAC_DOORMODE_CLOSED_UNLOCKED,
                                                ZV_EAC_DOORMODE_CLOSED_SECURED,
                                                ZV_EAC_DOORMODE_CLOSED_LOCKED_RESTRICTED};
            const U32 turn = turns.doorMode++;
            d.doorMode = kModes[turn / 2 % std::size(kModes)];
            const U32 seconds = said.chance(0.3) ? 0xFFFFFFFF : 60 * said.between(1, 120);
            if (turn % 2 == 0) {
                return busSimTeleSetDoorMode(d.doorMode, seconds, ZV_EAC_LIGHT_INDICATION_DEFAULT);
            }
            return busSimTeleSetDoorModeWithIndication(d.doorMode, seconds,
                                                       indicationFor(d, ZV_EAC_PERMANENT_INDICATION_FLAG_DOOR_HELD));
        }
        case Request::RESET_DOOR_MODE:
            d.doorMode = ZV_EAC_DOORMODE_CLOSED_LOCKED;
            return busSimTeleBare(ZV_EAC_MSGID_RESET_DOOR_MODE);
        case Request::ACTION_WITH_TIMER: {
            const BusSimTimedAction groups[] = {{1, 0, 5000}, {2, 5000, 30000}, {7, 60000, 1000}};
            return busSimTeleActionWithTimer(d.id, std::span(groups).first(said.between(1, 3)));
        }
        case Request::FIRMWARE_UPGRADE:
            return busSimTeleFirmwareUpgrade(d.id, 0, infoOf(d.kind).firmwareFile);
        case Request::BLOCK_OPEN: {
            const U8 size[] = {static_cast<U8>(kFirmwareImageSize >> 24), static_cast<U8>(kFirmwareImageSize >> 16),
                               static_cast<U8>(kFirmwareImageSize >> 8), static_cast<U8>(kFirmwareImageSize)};
            d.block = 0;
            return busSimTeleBlockData(kBlockOpOpen, std::nullopt, size);
        }
        case Request::BLOCK_DATA: {
            std::array<U8, kFirmwareBlockSize> payload{};
            for (U8& b : payload) {
                b = said.byte();
            }
            return busSimTeleBlockData(kBlockOpData, ++d.block, payload);
        }
        case Request::BLOCK_CLOSE: {
            const U8 crc[] = {said.byte(), said.byte(), said.byte(), said.byte()};
            return busSimTeleBlockData(kBlockOpClose, std::nullopt, crc);
        }
        case Request::RESET:
            return busSimTeleReset(turns.reset++ % 2 == 0 ? ZV_EAC_RESET_DEVICE : ZV_EAC_RESET_DIU);
        case Request::INDICATE_CREDENTIAL_REQUEST:
            return busSimTeleIndicateCredentialRequest(d.kind == Kind::KEYPAD
                                                           ? ZV_EAC_CREDENTIAL_INDICATION_SHOW_CARD
                                                           : ZV_EAC_CREDENTIAL_INDICATION_ENTER_PIN_CODE);
        case Request::ACCESS_GRANTED:
            return busSimTeleAccessDecision(ZV_EAC_ACCD_ACCESS_GRANTED);
        case Request::ACCESS_DENIED:
            return busSimTeleAccessDecision(ZV_EAC_ACCD_ACCESS_DENIED);
        case Request::GRANT_ACCESS_SEQUENCE: {
            const auto action = said.chance(0.5) ? ZV_EAC_REQ_SEQ_ACTION_UNLOCK_AND_OPEN : ZV_EAC_REQ_SEQ_ACTION_UNLOCK;
            const bool ownTime = said.chance(0.5);
            const auto timer = ownTime ? ZV_EAC_TIMER_SPECIFIER_SET_TIME : ZV_EAC_TIMER_SPECIFIER_USE_DEFAULT;
            const U16 seconds = ownTime ? static_cast<U16>(said.between(3, 15)) : 0;
            if (turns.grant++ % 2 == 0) {
                return busSimTeleGrantAccess(action, timer, seconds, ZV_EAC_LIGHT_INDICATION_DEFAULT);
            }
            return busSimTeleGrantAccessWithIndication(
                action, timer, seconds, indicationFor(d, ZV_EAC_PERMANENT_INDICATION_FLAG_ACCESS_GRANTED));
        }
        case Request::INDICATE_ACCESS_DENIED:
            if (turns.denied++ % 2 == 0) {
                return busSimTeleAccessDenied(said.chance(0.5) ? ZV_EAC_LIGHT_INDICATION_DEFAULT
                                                               : ZV_EAC_LIGHT_INDICATION_NO_INDICATION);
            }
            return busSimTeleAccessDeniedWithIndication(
                indicationFor(d, ZV_EAC_PERMANENT_INDICATION_FLAG_ACCESS_DENIED));
        case Request::RESERVED_ID: {
            const U8 payload[] = {said.byte(), said.byte()};
            return busSimTeleBare(inTurn(kReservedIds, turns.reserved), std::span(payload).first(said.below(3)));
        }
        case Request::UNDECLARED_ID: {
            const U8 payload[] = {said.byte(), said.byte(), said.byte()};
            return busSimTeleBare(inTurn(kUndeclaredIds, turns.undeclared), std::span(payload).first(said.below(4)));
        }
    }
    IC_ASSERT(kModuleFile, FALSE);
    return BusSimTelegram{};
}

// --- the devices ------------------------------------------------------------------------------

// Builds one credential container with the writing side of the credential
// module; `style` walks through the technologies and sub types.
BusSimTelegram credential(const Device& d, U32 style) {
    std::array<U8, sizeof(ZvEacTeleGenericCredential::credInfoData) - 1> area{};
    DkitCredential container{};
    dkitCredentialInitialize(&container, area.data(), static_cast<U16>(area.size()));
    std::array<U8, 16> bits{};
    for (U8& b : bits) {
        b = said.byte();
    }
    const auto source = [&](DkitCredentialSourceMainDetails main, U8 sub) {
        DkitCredentialSourceDetails details{};
        details.main = main;
        details.additional.mifare = static_cast<DkitCredentialAdditionalDetailsMifare>(sub);
        dkitCredentialAddBlockWithSourceDetails(&container, details);
    };
    switch (style) {
        case 0:
            source(DKIT_CREDENTIALSOURCE_MIFARE, DKIT_CREDENTIALADDITIONALDETAILS_MIFARE_CLASSIC_1K);
            dkitCredentialAddBlock(&container, CREDBLOCKTYPE_MIFARE_UID, 32, bits.data());
            break;
        case 1:
            source(DKIT_CREDENTIALSOURCE_ICLASS, DKIT_CREDENTIALADDITIONALDETAILS_ICLASS_STD);
            dkitCredentialAddBlock(&container, CREDBLOCKTYPE_ICLASS_ACCESS_ID, 26, bits.data());
            break;
        case 2:
            source(DKIT_CREDENTIALSOURCE_LEGIC, DKIT_CREDENTIALADDITIONALDETAILS_LEGIC_PRIME);
            dkitCredentialAddBlock(&container, CREDBLOCKTYPE_LEGIC_UID, 32, bits.data());
            break;
        case 3:
            source(DKIT_CREDENTIALSOURCE_SEOS, DKIT_CREDENTIALADDITIONALDETAILS_SEOS_14443A);
            dkitCredentialAddBlock(&container, CREDBLOCKTYPE_SEOS_CREDENTIAL, 128, bits.data());
            dkitCredentialAddBlock(&container, CREDBLOCKTYPE_UNDEFINED_DYNAMIC_DATA, 40, bits.data() + 3);
            break;
        case 4:
            source(DKIT_CREDENTIALSOURCE_LOW_FREQUENCY, DKIT_CREDENTIALADDITIONALDETAILS_LOW_FREQUENCY_UNKNOWN);
            dkitCredentialAddBlock(&container, CREDBLOCKTYPE_UNDEFINED_DYNAMIC_DATA, 37, bits.data());
            break;
        case 5:
            source(DKIT_CREDENTIALSOURCE_PICO_PASS, DKIT_CREDENTIALADDITIONALDETAILS_PICO_PASS_UNKNOWN);
            dkitCredentialAddBlock(&container, CREDBLOCKTYPE_ISO_15693_UID, 64, bits.data());
            break;
        case 6:
            source(DKIT_CREDENTIALSOURCE_MIFARE, DKIT_CREDENTIALADDITIONALDETAILS_MIFARE_DESFIRE);
            dkitCredentialAddBlock(&container, CREDBLOCKTYPE_MIFARE_UID, 56, bits.data());
            dkitCredentialAddBlock(&container, CREDBLOCKTYPE_UNDEFINED_DYNAMIC_DATA, 16, bits.data() + 8);
            break;
        default:
            source(DKIT_CREDENTIALSOURCE_LEGIC, DKIT_CREDENTIALADDITIONALDETAILS_LEGIC_14443B);
            dkitCredentialAddBlock(&container, CREDBLOCKTYPE_ISO_14443B_UID, 32, bits.data());
            break;
    }
    dkitCredentialFinalize(&container);
    return busSimTeleGenericCredential(d.id, d.side, container);
}

constexpr U32 kCredentialStyles = 10;  // UID only, with sector data, 8 containers

BusSimTelegram presentCard(const Device& d) {
    const U32 style = turns.credential++ % kCredentialStyles;
    std::array<U8, 7> uid{};
    for (U8& b : uid) {
        b = said.byte();
    }
    if (style == 0) {
        return busSimTeleMifareUidOnly(std::span(uid).first(said.chance(0.5) ? 4 : 7));
    }
    if (style == 1) {
        std::array<U8, 48> sector{};
        for (U8& b : sector) {
            b = said.byte();
        }
        constexpr U8 kCardTypes[] = {ZV_EAC_CREDTYPE_MIFARE_1K, ZV_EAC_CREDTYPE_MIFARE_4K,
                                     ZV_EAC_CREDTYPE_MIFARE_DESFIRE};
        return busSimTeleMifareWithSectorData(said.pick(kCardTypes), uid,
                                              std::span(sector).first(std::size_t{16} * said.between(1, 3)));
    }
    return credential(d, style - 2);
}

void queueAccess(Device& d) {
    if (turns.access++ % 3 == 2) {
        d.queue.push_back(Request::ACCESS_DENIED);
        d.queue.push_back(Request::INDICATE_ACCESS_DENIED);
    } else {
        d.queue.push_back(Request::ACCESS_GRANTED);
        d.queue.push_back(Request::GRANT_ACCESS_SEQUENCE);
    }
}

BusSimTelegram activatorAnswer(Device& d) {
    if (turns.activator++ % 2 == 0) {
        return busSimTeleActivator(d.id, d.side, d.activator, std::nullopt);
    }
    return busSimTeleActivator(d.id, d.side, d.activator, static_cast<U8>(1 + said.below(4)));
}

// What a device says to a plain poll: news of its kind, or nothing (a frame
// without data).
BusSimTelegram pollAnswer(Device& d) {
    if (said.chance(kOddIdChance)) {
        const U8 payload[] = {said.byte(), said.byte()};
        return busSimTeleBare(inTurn(kUndeclaredIds, turns.undeclared), payload);
    }
    if (said.chance(kAlarmChance)) {
        constexpr ZvEacAlarmId kAlarms[] = {ZV_EAC_ALARM_BURGLARY, ZV_EAC_ALARM_FIRE, ZV_EAC_ALARM_PANIC,
                                            static_cast<ZvEacAlarmId>(70)};
        d.pendingAlarm = inTurn(kAlarms, turns.alarm);
        d.queue.push_back(Request::CONFIRM_ALARM);
        return busSimTeleAlarm(d.id, d.pendingAlarm, static_cast<ZvEacAlarmDetails>(said.below(4)),
                               static_cast<ZvEacAlarmLevel>(1 + said.below(3)),
                               ZV_EAC_ALARM_FLAG_ACTIVE | ZV_EAC_ALARM_FLAG_OCCURRED);
    }
    switch (d.kind) {
        case Kind::READER:
            if (said.chance(kReaderCredentialChance)) {
                queueAccess(d);
                return presentCard(d);
            }
            break;
        case Kind::KEYPAD:
            if (said.chance(kKeypadInputChance)) {
                std::array<U8, 8> keys{};
                const U32 digits = said.between(4, 6);
                for (U32 i = 0; i < digits; ++i) {
                    keys[i] = static_cast<U8>('0' + said.below(10));
                }
                keys[digits] = '#';
                if (said.chance(0.5)) {
                    d.queue.push_back(Request::INDICATE_CREDENTIAL_REQUEST);
                } else {
                    queueAccess(d);
                }
                return busSimTeleKeypad(d.id, d.side, std::span(keys).first(digits + 1));
            }
            break;
        case Kind::LOCK:
            if (said.chance(kLockChangeChance)) {
                if (said.chance(0.5)) {
                    d.lock = d.lock == ZV_EAC_LOCK_STATE_LOCKED ? ZV_EAC_LOCK_STATE_UNLOCKED : ZV_EAC_LOCK_STATE_LOCKED;
                    return busSimTeleStatus(ZV_EAC_MSGID_DABS_LOCK_STATE, d.lock);
                }
                d.cylinder = d.cylinder == ZV_EAC_KEY_CYLINDER_STATE_NOT_USED
                                 ? static_cast<ZvEacKeyCylinderStateCode>(said.between(
                                       ZV_EAC_KEY_CYLINDER_STATE_USED, ZV_EAC_KEY_CYLINDER_STATE_USED_SPECIFIC_POS_2))
                                 : ZV_EAC_KEY_CYLINDER_STATE_NOT_USED;
                return busSimTeleSideStatus(ZV_EAC_MSGID_DABS_KEY_CYLINDER_STATE_FOR_DEVICE, d.id, d.side, d.cylinder);
            }
            break;
        case Kind::DOOR_CONTROLLER:
            if (said.chance(kActivatorChance)) {
                if (said.chance(0.5)) {
                    d.activator = d.activator == ZV_EAC_ACTIVATOR_STATE_ACTIVE ? ZV_EAC_ACTIVATOR_STATE_NOT_ACTIVE
                                                                               : ZV_EAC_ACTIVATOR_STATE_ACTIVE;
                    return activatorAnswer(d);
                }
                d.door = d.door == ZV_EAC_DOOR_STATE_CLOSED ? ZV_EAC_DOOR_STATE_NOTCLOSED : ZV_EAC_DOOR_STATE_CLOSED;
                return busSimTeleStatus(ZV_EAC_MSGID_DABS_DOOR_STATE, d.door);
            }
            break;
    }
    return BusSimTelegram{};
}

BusSimTelegram versionAnswer(const Device& d, const BusSimTelegram& request) {
    const KindInfo& info = infoOf(d.kind);
    const auto selector = static_cast<ZvEacVersionSelector>(request.length() > 1 ? request.data()[1] : 0);
    const bool hardware = selector == ZV_EAC_VERSION_DEVICE_HW || selector == ZV_EAC_VERSION_DIU_HW;
    return busSimTeleVersion(BusSimVersion{kProtocolMajor, kProtocolMinor, kVendorId, info.product, selector,
                                           hardware ? U8{3} : info.firmwareMajor, hardware ? U8{0} : info.firmwareMinor,
                                           hardware ? U16{1} : info.firmwareBuild,
                                           hardware ? info.hardwareText : info.firmwareText});
}

BusSimTelegram answer(Request r, Device& d, const BusSimTelegram& request) {
    const U8 msgid = request.msgid().value_or(0);
    switch (r) {
        case Request::PROBE:
            d.known = true;
            queueStartup(d);
            return BusSimTelegram{};
        case Request::POLL:
            return pollAnswer(d);
        case Request::GET_VERSION_FIRMWARE:
        case Request::GET_VERSION_HARDWARE:
            return versionAnswer(d, request);
        case Request::GET_DEVICE_INFO:
            return busSimTeleDeviceInfo(d.id, gatewayId, d.side, infoOf(d.kind).productClass);
        case Request::GET_EXTENDED_INFO: {
            char serial[16];
            const int n = std::snprintf(serial, sizeof serial, "SN%02X%02X-%02X%02X", d.id.id[2], d.id.id[3],
                                        d.id.id[4], d.address);
            return busSimTeleExtendedDeviceInfo(d.id, ZV_EAC_ONLINESTATUS_ONLINE, d.extendedDataId,
                                                {reinterpret_cast<const U8*>(serial), static_cast<std::size_t>(n)});
        }
        case Request::GET_SUPPORTED_LOCK_STATES: {
            const U8 states[] = {ZV_EAC_LOCK_STATE_UNLOCKED, ZV_EAC_LOCK_STATE_LOCKED, ZV_EAC_LOCK_STATE_SECURED,
                                 ZV_EAC_LOCK_STATE_JAMMED};
            return busSimTeleStateList(ZV_EAC_MSGID_DABS_SUPPORTED_LOCK_STATES,
                                       std::span(states).first(d.kind == Kind::LOCK ? 4 : 3));
        }
        case Request::GET_SUPPORTED_DOOR_STATES: {
            const U8 states[] = {ZV_EAC_DOOR_STATE_NOTCLOSED, ZV_EAC_DOOR_STATE_CLOSED};
            return busSimTeleStateList(ZV_EAC_MSGID_DABS_SUPPORTED_DOOR_STATES, states);
        }
        case Request::SET_PARAMETER:
            return busSimTeleResult(msgid, said.chance(kParameterRejectChance)
                                               ? ZV_EAC_RESULT_FAIL_PARAMETER_OUT_OF_RANGE
                                               : ZV_EAC_RESULT_OK);
        case Request::GET_PARAMETER:
            return busSimTeleParameter(ZV_EAC_MSGID_PARAMETER, d.parameter, 100 + said.below(1000));
        case Request::GET_LOCK_STATE:
            return busSimTeleStatus(ZV_EAC_MSGID_DABS_LOCK_STATE, d.lock);
        case Request::GET_DOOR_STATE:
            return busSimTeleStatus(ZV_EAC_MSGID_DABS_DOOR_STATE, d.door);
        case Request::GET_HANDLE_STATES:
        case Request::GET_ALL_STATES:
            d.handle = said.chance(0.2) ? ZV_EAC_HANDLE_STATE_USED : ZV_EAC_HANDLE_STATE_NOT_USED;
            return busSimTeleSideStatus(ZV_EAC_MSGID_DABS_HANDLE_STATE_FOR_DEVICE, d.id, d.side, d.handle);
        case Request::GET_KEY_CYLINDER_STATES:
            return busSimTeleSideStatus(ZV_EAC_MSGID_DABS_KEY_CYLINDER_STATE_FOR_DEVICE, d.id, d.side, d.cylinder);
        case Request::GET_TAMPER_STATE:
            d.tamper = said.chance(0.05) ? ZV_EAC_TAMPER_STATE_TAMPER : ZV_EAC_TAMPER_STATE_NO_TAMPER;
            return busSimTeleStatus(ZV_EAC_MSGID_DABS_TAMPER_STATE, d.tamper);
        case Request::GET_ALL_TAMPER_STATES:
            return busSimTeleTamperForDevice(d.id, d.tamper);
        case Request::GET_ACTIVATOR_STATE:
            return activatorAnswer(d);
        case Request::GET_EVENT: {
            ZvEacTeleEventCode event = said.pick(kRoutineEvents);
            if (!d.events.empty()) {
                event = d.events.front();
                d.events.pop_front();
            }
            ++d.eventIndex;
            return busSimTeleEvent(clockNow(), event, static_cast<U16>(said.below(0x0400)));
        }
        case Request::GET_DTCS: {
            constexpr ZvEacDtcFlags kFlags[] = {
                ZV_EAC_DTC_FLAG_TEST_COMPLETED, ZV_EAC_DTC_FLAG_TEST_FAILED | ZV_EAC_DTC_FLAG_TEST_COMPLETED,
                ZV_EAC_DTC_FLAG_TEST_FAILED | ZV_EAC_DTC_FLAG_CONFIRMED | ZV_EAC_DTC_FLAG_TEST_COMPLETED};
            return busSimTeleDtc(d.id, 0x00A10300 + said.below(16), said.pick(kFlags));
        }
        case Request::GET_ALARMS:
            return busSimTeleAlarm(d.id, d.pendingAlarm, 0, d.pendingAlarm == ZV_EAC_ALARM_UNKNOWN_ALARM ? 0 : 2,
                                   d.pendingAlarm == ZV_EAC_ALARM_UNKNOWN_ALARM ? 0 : ZV_EAC_ALARM_FLAG_OCCURRED);
        case Request::SET_DOOR_MODE:
        case Request::RESET_DOOR_MODE:
            return busSimTeleDoorMode(d.doorMode);
        case Request::ACTION_WITH_TIMER:
            return busSimTeleResult(msgid, ZV_EAC_RESULT_OK_OP_PENDING);
        case Request::FIRMWARE_UPGRADE:
            d.queue.push_back(Request::BLOCK_OPEN);
            for (U8 i = 0; i < kFirmwareBlocks; ++i) {
                d.queue.push_back(Request::BLOCK_DATA);
            }
            d.queue.push_back(Request::BLOCK_CLOSE);
            return busSimTeleFirmwareStatus(d.id, kFirmwareStatusStarted, 0, nullptr);
        case Request::BLOCK_OPEN: {
            const U8 blockSize[] = {kFirmwareBlockSize};
            return busSimTeleBlockData(kBlockOpOpenConfirm, std::nullopt, blockSize);
        }
        case Request::BLOCK_DATA:
            return busSimTeleBlockData(kBlockOpAck, d.block, {});
        case Request::BLOCK_CLOSE:
            return busSimTeleFirmwareStatus(d.id, kFirmwareStatusDone, 100, infoOf(d.kind).firmwareReady);
        case Request::RESET:
            restart(d);
            queueStartup(d);
            return busSimTeleResult(msgid, ZV_EAC_RESULT_OK);
        case Request::RESERVED_ID:
        case Request::UNDECLARED_ID:
            return busSimTeleResult(msgid, ZV_EAC_RESULT_FAIL_UNKNOWN_CMD);
        case Request::SET_TIME:
        case Request::CLEAR_DTC:
        case Request::CONFIRM_ALARM:
        case Request::SET_PERMANENT_INDICATION:
        case Request::INDICATE_CREDENTIAL_REQUEST:
        case Request::ACCESS_GRANTED:
        case Request::ACCESS_DENIED:
        case Request::GRANT_ACCESS_SEQUENCE:
        case Request::INDICATE_ACCESS_DENIED:
            return busSimTeleResult(msgid, ZV_EAC_RESULT_OK);
    }
    IC_ASSERT(kModuleFile, FALSE);
    return BusSimTelegram{};
}

BusSimFrame masterTurn() {
    if (nextDevice == 0) {
        startCycle();
    }
    Device& d = devices[nextDevice];
    nextDevice = (nextDevice + 1) % devices.size();

    const Request r = chooseRequest(d);
    const U32 gap = lastPollUnanswered ? kAnswerTimeout_us + timing.below(kAnswerTimeoutJitter_us)
                                       : timing.between(kMasterPauseMin_us, kMasterPauseMax_us);
    BusSimFrame poll{kMasterAddr, d.address, buildRequest(r, d), gap};

    if (d.present) {
        d.missed = 0;
        lastPollUnanswered = false;
        pendingAnswer = BusSimFrame{d.address, kMasterAddr, answer(r, d, poll.telegram),
                                    timing.between(kDeviceReactionMin_us, kDeviceReactionMax_us)};
    } else {
        lastPollUnanswered = true;
        if (d.known && ++d.missed >= kMissesUntilForgotten) {
            d.known = false;
            d.queue.clear();
        }
    }
    return poll;
}

}  // namespace

void busSimScenarioInit(U32 seed, U8 deviceCount) {
    IC_ASSERT(kModuleFile, deviceCount >= 1 && deviceCount <= BUS_SIM_MAX_DEVICES);
    said = BusSimRandom(seed, 1);
    timing = BusSimRandom(seed, 2);
    turns = Turns{};
    nextDevice = 0;
    cycle = 0;
    frameNumber = 0;
    lastPollUnanswered = false;
    pendingAnswer.reset();

    gatewayId = makeDeviceId(0xF0, 0);
    devices.assign(deviceCount, Device{});
    for (U8 i = 0; i < deviceCount; ++i) {
        Device& d = devices[i];
        d.address = static_cast<ZvEacNwkAddr>(i + 1);
        d.kind = static_cast<Kind>(i % kKindCount);
        d.id = makeDeviceId(static_cast<U8>(0x10 + i % kKindCount), d.address);
        d.side = d.kind == Kind::LOCK || d.kind == Kind::DOOR_CONTROLLER
                     ? ZV_EAC_DOORSIDE_BOTH_SIDES
                     : static_cast<ZvEacDoorSide>(1 + i / kKindCount % 2);
        d.eventIndex = static_cast<U16>(said.below(500));
        restart(d);
    }
}

BusSimFrame busSimScenarioNext() {
    ++frameNumber;
    if (pendingAnswer) {
        BusSimFrame frame = *pendingAnswer;
        pendingAnswer.reset();
        return frame;
    }
    return masterTurn();
}
