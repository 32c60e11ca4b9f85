// Terminals and serial devices are character devices of the tty drivers'
// major numbers; the kernel lists those drivers in /proc/tty/drivers, and the
// numbers below stand in where that cannot be read.
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <mutex>
#include <vector>

#include "hal/common/icFileProbe.h"

namespace {

struct MajorRange {
    unsigned first;
    unsigned last;
};

// Console and virtual terminals, /dev/tty and /dev/ptmx, the old and Unix 98
// pseudo-terminals, 8250/16550 ports, USB CDC-ACM and USB serial adapters,
// the serial ports of many boards.
constexpr std::array<MajorRange, 6> kKnownLineMajors{{
    {2, 5},
    {136, 143},
    {166, 166},
    {188, 188},
    {204, 204},
    {207, 208},
}};

std::vector<MajorRange> readTtyDrivers() {
    std::vector<MajorRange> majors(kKnownLineMajors.begin(), kKnownLineMajors.end());
    std::FILE* drivers = std::fopen("/proc/tty/drivers", "re");
    if (drivers == nullptr) {
        return majors;
    }
    // Each line: name, device node, major, minor range, type.
    std::array<char, 256> line{};
    while (std::fgets(line.data(), static_cast<int>(line.size()), drivers) != nullptr) {
        unsigned major = 0;
        if (std::sscanf(line.data(), "%*s %*s %u", &major) == 1) {
            majors.push_back({major, major});
        }
    }
    (void)std::fclose(drivers);  // read only
    return majors;
}

bool isLineMajor(unsigned major) {
    static std::once_flag once;
    static std::vector<MajorRange> majors;
    std::call_once(once, [] { majors = readTtyDrivers(); });
    return std::any_of(majors.begin(), majors.end(),
                       [major](const MajorRange& range) { return major >= range.first && major <= range.last; });
}

IcFileKind kindOf(const struct stat& node, IcFileId* id) {
    id->volume = static_cast<U64>(node.st_dev);
    id->index = static_cast<U64>(node.st_ino);
    if (S_ISCHR(node.st_mode) && isLineMajor(major(node.st_rdev))) {
        return IC_FILE_LINE;
    }
    return IC_FILE_WRITABLE;
}

}  // namespace

IcFileKind icFileProbePath(const char* path, IcFileId* id) {
    struct stat node {};
    if (::stat(path, &node) != 0) {
        // A name that cannot be looked at is left to the open to judge.
        return IC_FILE_MISSING;
    }
    return kindOf(node, id);
}

IcFileKind icFileProbeOpen(std::intptr_t os, IcFileId* id) {
    const int fd = static_cast<int>(os);
    struct stat node {};
    if (::fstat(fd, &node) != 0) {
        return IC_FILE_MISSING;
    }
    const IcFileKind kind = kindOf(node, id);
    return ::isatty(fd) != 0 ? IC_FILE_LINE : kind;
}

std::intptr_t icFileOsOfStream(std::FILE* file) { return ::fileno(file); }
