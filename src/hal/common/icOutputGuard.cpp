#include "hal/include/icOutputGuard.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "hal/common/icFileProbe.h"

namespace {

struct Held {
    bool held = false;
    bool identified = false;  // the file existed when it was checked
    IcFileId id{};
    std::string path;
};

constexpr std::array<const char*, IC_OUTPUT_USE_COUNT> kUseNames{
    "the log file",          "the capture file",     "the statistics CSV file", "a table being written",
    "the JSON records file", "the devices CSV file", "the report file",
};

constexpr const char* kLineRefusal = "refused: a terminal or serial device; the sniffer never writes to one";

// Claims are made by the main loop and released by whichever thread leaves
// the process; the lock keeps the records whole.
std::mutex guardLock;
Held source;
std::array<Held, IC_OUTPUT_USE_COUNT> outputs;

Held identify(const char* path, IcFileKind& kind) {
    Held held;
    held.held = true;
    held.path = path;
    kind = icFileProbePath(path, &held.id);
    held.identified = kind != IC_FILE_MISSING;
    return held;
}

bool sameFile(const Held& a, const Held& b) {
    if (!a.held || !b.held) {
        return false;
    }
    if (a.identified && b.identified) {
        return a.id == b.id;
    }
    // A file not created yet is known by its name alone.
    return a.path == b.path;
}

// Called with guardLock held.
bool refuse(const Held& candidate, IcFileKind kind, IcOutputUse use, std::string& reason) {
    if (kind == IC_FILE_LINE) {
        reason = kLineRefusal;
        return true;
    }
    if (sameFile(candidate, source)) {
        reason = "refused: it is the port or file being read";
        return true;
    }
    for (std::size_t other = 0; other < outputs.size(); ++other) {
        if (other != use && sameFile(candidate, outputs[other])) {
            reason = std::string("refused: it is already ") + kUseNames[other];
            return true;
        }
    }
    return false;
}

}  // namespace

void icOutputGuardSetSource(const char* path) {
    const std::lock_guard<std::mutex> guard(guardLock);
    if (path == nullptr) {
        source = Held{};
        return;
    }
    IcFileKind kind = IC_FILE_MISSING;
    source = identify(path, kind);
}

Boolean icOutputGuardCheck(const char* path, IcOutputUse use, std::string& reason) {
    if (path == nullptr || use >= IC_OUTPUT_USE_COUNT) {
        reason = "no file";
        return FALSE;
    }
    IcFileKind kind = IC_FILE_MISSING;
    const Held candidate = identify(path, kind);
    const std::lock_guard<std::mutex> guard(guardLock);
    return refuse(candidate, kind, use, reason) ? FALSE : TRUE;
}

Boolean icOutputGuardClaim(std::intptr_t os, const char* path, IcOutputUse use, std::string& reason) {
    if (path == nullptr || use >= IC_OUTPUT_USE_COUNT) {
        reason = "no file";
        return FALSE;
    }
    Held candidate;
    candidate.held = true;
    candidate.path = path;
    const IcFileKind kind = icFileProbeOpen(os, &candidate.id);
    candidate.identified = kind != IC_FILE_MISSING;
    const std::lock_guard<std::mutex> guard(guardLock);
    if (refuse(candidate, kind, use, reason)) {
        return FALSE;
    }
    outputs[use] = candidate;
    return TRUE;
}

void icOutputGuardRelease(IcOutputUse use) {
    if (use >= IC_OUTPUT_USE_COUNT) {
        return;
    }
    const std::lock_guard<std::mutex> guard(guardLock);
    outputs[use] = Held{};
}

std::FILE* icOutputOpen(const char* path, const char* mode, IcOutputUse use, std::string& reason) {
    if (icOutputGuardCheck(path, use, reason) == FALSE) {
        return nullptr;
    }
    std::FILE* file = std::fopen(path, mode);
    if (file == nullptr) {
        reason = std::strerror(errno);
        return nullptr;
    }
    if (icOutputGuardClaim(icOutputStreamOs(file), path, use, reason) == FALSE) {
        (void)std::fclose(file);  // nothing written
        return nullptr;
    }
    return file;
}

std::intptr_t icOutputStreamOs(std::FILE* file) { return icFileOsOfStream(file); }

void icOutputGuardReset() {
    const std::lock_guard<std::mutex> guard(guardLock);
    source = Held{};
    outputs.fill(Held{});
}
