#include "busSimSummary.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <utility>

#include "eac/zelvan/zvEacTelegrams.h"
#include "eac/zelvan/zvEacToStr.h"

namespace {

constexpr ZvEacNwkAddr kMasterAddr = 0;
constexpr std::size_t kAddresses = 256;
constexpr std::size_t kMsgIds = 256;

struct Counts {
    U32 good = 0;
    U32 faulty = 0;
};

U32 runSeed = 0;
U8 devices = 0;
std::array<Counts, kMsgIds> byMsgId{};
Counts empty{};
std::array<U32, BUS_SIM_FAULT_KINDS> faults{};
std::array<U32, kAddresses> onlineReports{};
std::array<U32, kAddresses> offlineReports{};
U32 totalBytes = 0;

struct DeviceCounts {
    U32 polls = 0;
    U32 answers = 0;
    U32 missed = 0;
};
std::array<DeviceCounts, kAddresses> deviceCounts{};
// (device, message id) -> telegrams, intact only.
std::map<std::pair<unsigned, unsigned>, U32> telegramsTo;
std::map<std::pair<unsigned, unsigned>, U32> telegramsFrom;

enum DropKind : U8 { DROP_BCC = 0, DROP_TIMEOUT = 1, DROP_NO_ETX = 2, DROP_KINDS = 3 };
constexpr const char* kDropNames[DROP_KINDS] = {"bcc", "timeout", "noetx"};
std::array<U32, DROP_KINDS> drops{};
U32 noiseBytes = 0;

// The sniffer's picture of the bus, updated exactly as it updates its own.
std::array<bool, kAddresses> online{};
// The last lock, door and tamper state each device sent intact, by the
// names the value tables give them: what a table of device states must end
// with.
struct LastStates {
    std::string lock;
    std::string door;
    std::string tamper;
};
std::array<LastStates, kAddresses> lastStates{};

void noteState(const BusSimFrame& frame) {
    const std::span<const U8> bytes = frame.telegram.bytes();
    if (bytes.size() < 2) {
        return;
    }
    LastStates& last = lastStates[frame.source];
    switch (bytes[0]) {
        case ZV_EAC_MSGID_DABS_LOCK_STATE:
            last.lock = zvEacLockStateCodeToStr(bytes[1]);
            break;
        case ZV_EAC_MSGID_DABS_DOOR_STATE:
            last.door = zvEacDoorStateCodeToStr(bytes[1]);
            break;
        case ZV_EAC_MSGID_DABS_TAMPER_STATE:
            last.tamper = zvEacTamperStateCodeToStr(bytes[1]);
            break;
        case ZV_EAC_MSGID_DABS_TAMPER_STATE_FOR_DEVICE:
            // The device id first, then the state.
            if (bytes.size() > 1 + sizeof(ZvEacDabsDeviceId)) {
                last.tamper = zvEacTamperStateCodeToStr(bytes[1 + sizeof(ZvEacDabsDeviceId)]);
            }
            break;
        default:
            break;
    }
}
ZvEacNwkAddr currentProbeOrPoll = 0;

void observe(const BusSimFrame& frame) {
    const std::optional<U8> msgid = frame.telegram.msgid();
    if (frame.source == kMasterAddr) {
        ++deviceCounts[frame.destination].polls;
        if (msgid) {
            ++telegramsTo[{frame.destination, *msgid}];
        }
        if (currentProbeOrPoll != kMasterAddr) {
            ++deviceCounts[currentProbeOrPoll].missed;
        }
        // The device the master addressed last is online and did not answer.
        if (currentProbeOrPoll != kMasterAddr && online[currentProbeOrPoll]) {
            online[currentProbeOrPoll] = false;
            ++offlineReports[currentProbeOrPoll];
        }
        currentProbeOrPoll = frame.destination;
    } else {
        if (msgid) {
            ++telegramsFrom[{frame.source, *msgid}];
            noteState(frame);
        }
        if (frame.source == currentProbeOrPoll) {
            ++deviceCounts[frame.source].answers;
        }
        if (!online[frame.source]) {
            online[frame.source] = true;
            ++onlineReports[frame.source];
        }
        currentProbeOrPoll = kMasterAddr;
    }
}

void appendLine(std::string& text, const char* format, auto... args) {
    char line[128];
    const int n = std::snprintf(line, sizeof line, format, args...);
    if (n > 0) {
        text.append(line, static_cast<std::size_t>(n) < sizeof line ? static_cast<std::size_t>(n) : sizeof line - 1);
    }
}

}  // namespace

void busSimSummaryInit(U32 seed, U8 deviceCount) {
    runSeed = seed;
    devices = deviceCount;
    byMsgId.fill(Counts{});
    empty = Counts{};
    faults.fill(0);
    onlineReports.fill(0);
    offlineReports.fill(0);
    online.fill(false);
    lastStates.fill(LastStates{});
    currentProbeOrPoll = kMasterAddr;
    totalBytes = 0;
    deviceCounts.fill(DeviceCounts{});
    telegramsTo.clear();
    telegramsFrom.clear();
    drops.fill(0);
    noiseBytes = 0;
}

void busSimSummaryFrame(const BusSimFrame& frame, bool intact, U32 wireBytes) {
    const std::optional<U8> msgid = frame.telegram.msgid();
    Counts& counts = msgid ? byMsgId[*msgid] : empty;
    ++(intact ? counts.good : counts.faulty);
    totalBytes += wireBytes;
    if (intact) {
        observe(frame);
    }
}

void busSimSummaryFault(BusSimFaultKind kind) {
    if (kind < BUS_SIM_FAULT_KINDS) {
        ++faults[kind];
    }
}

void busSimSummaryReceiverEffect(const BusSimWirePlan& plan, bool timedMedium) {
    switch (plan.fault) {
        case BUS_SIM_FAULT_BCC:
            // The ETX after the wrong BCC finds the receiver waiting for STX.
            ++drops[DROP_BCC];
            ++noiseBytes;
            break;
        case BUS_SIM_FAULT_ETX:
            // A pause ends the wait for the ETX; a file has a stray byte there.
            ++drops[timedMedium ? DROP_TIMEOUT : DROP_NO_ETX];
            break;
        case BUS_SIM_FAULT_NOISE:
            noiseBytes += static_cast<U32>(plan.segments.front().bytes.size());
            break;
        case BUS_SIM_FAULT_PAUSE:
            // The rest of the frame comes after the time-out, outside any frame.
            ++drops[DROP_TIMEOUT];
            noiseBytes += static_cast<U32>(plan.segments.back().bytes.size());
            break;
        default:
            break;
    }
}

void busSimSummaryBytes(U32 wireBytes) { totalBytes += wireBytes; }

U32 busSimSummaryFramesSent() {
    U32 frames = empty.good + empty.faulty;
    for (const Counts& counts : byMsgId) {
        frames += counts.good + counts.faulty;
    }
    return frames;
}

std::string busSimSummaryText() {
    std::string text;
    appendLine(text, "seed %u\n", static_cast<unsigned>(runSeed));
    appendLine(text, "devices %u\n", static_cast<unsigned>(devices));
    U32 good = empty.good;
    U32 faulty = empty.faulty;
    appendLine(text, "frames empty good %u faulty %u\n", static_cast<unsigned>(empty.good),
               static_cast<unsigned>(empty.faulty));
    for (std::size_t id = 0; id < kMsgIds; ++id) {
        const Counts& counts = byMsgId[id];
        if (counts.good + counts.faulty == 0) {
            continue;
        }
        appendLine(text, "frames 0x%02x good %u faulty %u\n", static_cast<unsigned>(id),
                   static_cast<unsigned>(counts.good), static_cast<unsigned>(counts.faulty));
        good += counts.good;
        faulty += counts.faulty;
    }
    for (U8 kind = 0; kind < BUS_SIM_FAULT_KINDS; ++kind) {
        appendLine(text, "faults %s %u\n", busSimFaultName(static_cast<BusSimFaultKind>(kind)),
                   static_cast<unsigned>(faults[kind]));
    }
    for (unsigned address = 1; address <= devices; ++address) {
        appendLine(text, "reports device %u online %u offline %u\n", address,
                   static_cast<unsigned>(onlineReports[address]), static_cast<unsigned>(offlineReports[address]));
    }
    for (unsigned address = 1; address <= devices; ++address) {
        const DeviceCounts& counts = deviceCounts[address];
        appendLine(text, "device %u polls %u answers %u missed %u\n", address, static_cast<unsigned>(counts.polls),
                   static_cast<unsigned>(counts.answers), static_cast<unsigned>(counts.missed));
    }
    for (const auto& [key, count] : telegramsTo) {
        appendLine(text, "device %u to 0x%02x %u\n", key.first, key.second, static_cast<unsigned>(count));
    }
    for (const auto& [key, count] : telegramsFrom) {
        appendLine(text, "device %u from 0x%02x %u\n", key.first, key.second, static_cast<unsigned>(count));
    }
    for (U8 kind = 0; kind < DROP_KINDS; ++kind) {
        appendLine(text, "drops %s %u\n", kDropNames[kind], static_cast<unsigned>(drops[kind]));
    }
    for (unsigned address = 1; address <= devices; ++address) {
        appendLine(text, "state %u online %u\n", address, online[address] ? 1U : 0U);
        const LastStates& last = lastStates[address];
        for (const auto& [name, value] :
             {std::pair{"lock", &last.lock}, std::pair{"door", &last.door}, std::pair{"tamper", &last.tamper}}) {
            if (!value->empty()) {
                appendLine(text, "state %u %s %s\n", address, name, value->c_str());
            }
        }
    }
    appendLine(text, "noise bytes %u\n", static_cast<unsigned>(noiseBytes));
    appendLine(text, "total frames %u\n", static_cast<unsigned>(good + faulty));
    appendLine(text, "total good %u\n", static_cast<unsigned>(good));
    appendLine(text, "total faulty %u\n", static_cast<unsigned>(faulty));
    appendLine(text, "total bytes %u\n", static_cast<unsigned>(totalBytes));
    return text;
}

namespace {

// A device or a pipe (/dev/null, /dev/stdout, a FIFO) is written as it is:
// putting a file in its place would replace the device for everybody.
bool writtenInPlace(const std::string& path) {
    std::error_code ignored;
    const auto status = std::filesystem::status(path, ignored);
    return std::filesystem::exists(status) && !std::filesystem::is_regular_file(status);
}

}  // namespace

bool busSimSummaryCanWrite(const std::string& path, std::string& error) {
    if (path.empty() || writtenInPlace(path)) {
        return true;
    }
    const std::string temporary = path + ".part";
    std::FILE* file = std::fopen(temporary.c_str(), "w");
    if (file == nullptr) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    (void)std::fclose(file);  // nothing written: nothing to lose
    std::remove(temporary.c_str());
    return true;
}

bool busSimSummaryWrite(const std::string& path, std::string& error) {
    const std::string text = busSimSummaryText();
    if (path.empty()) {
        // A closed or full output loses the counts the run was made for.
        if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
            error = std::string("cannot write the summary to standard output: ") + std::strerror(errno);
            return false;
        }
        return true;
    }
    if (writtenInPlace(path)) {
        std::FILE* file = std::fopen(path.c_str(), "w");
        const bool written = file != nullptr && std::fwrite(text.data(), 1, text.size(), file) == text.size();
        const bool closed = file != nullptr && std::fclose(file) == 0;
        if (!written || !closed) {
            error = "cannot write " + path + ": " + std::strerror(errno);
            return false;
        }
        return true;
    }
    // Written aside and renamed, so that a reader never sees half of it.
    const std::string temporary = path + ".part";
    std::FILE* file = std::fopen(temporary.c_str(), "w");
    if (file == nullptr) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed || std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}
