// Sequences of output openings, claims and releases through the guard, over
// a small world of names: files, links to them, a terminal (a pseudo-terminal
// standing in for the serial port), a link to it, /dev/null and names the
// input spells. Checks the two promises every output path relies on: no line
// is ever opened for writing, and no two outputs ever hold one file.

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "hal/include/icOutputGuard.h"

namespace {

[[noreturn]] void fail(const char* what, const std::string& path) {
    std::fprintf(stderr, "outputGuardFuzz: %s '%s'\n", what, path.c_str());
    std::abort();
}

std::string world;               // the folder the names live in
std::vector<std::string> names;  // fixed names: files, links, the line
int lineMaster = -1;

void makeWorld() {
    char folder[] = "/tmp/outputGuardFuzz-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        fail("cannot make a folder", folder);
    }
    world = folder;
    lineMaster = posix_openpt(O_RDWR | O_NOCTTY);
    if (lineMaster < 0 || grantpt(lineMaster) != 0 || unlockpt(lineMaster) != 0) {
        fail("cannot open a pseudo-terminal", "");
    }
    const std::string line = ptsname(lineMaster);
    const std::string file = world + "/a";
    if (symlink(file.c_str(), (world + "/linkToA").c_str()) != 0 ||
        symlink(line.c_str(), (world + "/linkToLine").c_str()) != 0) {
        fail("cannot make links in", world);
    }
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(world, ignored);
    });
    names = {line, world + "/linkToLine", file, world + "/linkToA", world + "/./a", world + "/b", "/dev/null"};
}

bool isLine(int fd) { return isatty(fd) != 0; }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    makeWorld();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    icOutputGuardReset();
    std::array<std::FILE*, IC_OUTPUT_USE_COUNT> open{};
    std::array<std::string, IC_OUTPUT_USE_COUNT> openPath{};
    std::size_t at = 0;
    auto next = [&]() -> uint8_t { return at < size ? data[at++] : 0; };
    auto pickPath = [&]() -> std::string {
        const uint8_t choice = next();
        if (choice < 0xF0) {
            return names[choice % names.size()];
        }
        // A name spelled by the input, kept inside the folder: two letters
        // at most, so the folder stays small however long the run.
        std::string spelled = world + "/";
        for (int i = 0; i < 2; ++i) {
            spelled.push_back(static_cast<char>('a' + next() % 4));
        }
        return spelled;
    };

    while (at < size) {
        const uint8_t op = next();
        const auto use = static_cast<IcOutputUse>(next() % IC_OUTPUT_USE_COUNT);
        std::string reason;
        switch (op % 4) {
            case 0: {
                const std::string path = pickPath();
                icOutputGuardSetSource(path.c_str());
                break;
            }
            case 1: {
                const std::string path = pickPath();
                // A check never opens; it only answers.
                (void)icOutputGuardCheck(path.c_str(), use, reason);
                break;
            }
            case 2: {
                const std::string path = pickPath();
                if (open[use] != nullptr) {
                    std::fclose(open[use]);
                    open[use] = nullptr;
                    icOutputGuardRelease(use);
                }
                std::FILE* file = icOutputOpen(path.c_str(), "a", use, reason);
                if (file == nullptr) {
                    if (reason.empty()) {
                        fail("refused without a reason:", path);
                    }
                    break;
                }
                if (isLine(fileno(file))) {
                    fail("a line opened for writing:", path);
                }
                open[use] = file;
                openPath[use] = path;
                break;
            }
            default:
                if (open[use] != nullptr) {
                    std::fclose(open[use]);
                    open[use] = nullptr;
                }
                icOutputGuardRelease(use);
                break;
        }
        // No two outputs on one file (/dev/null excepted: nothing is kept).
        for (std::size_t i = 0; i < open.size(); ++i) {
            for (std::size_t j = i + 1; j < open.size(); ++j) {
                if (open[i] == nullptr || open[j] == nullptr) {
                    continue;
                }
                struct stat si {};
                struct stat sj {};
                if (fstat(fileno(open[i]), &si) == 0 && fstat(fileno(open[j]), &sj) == 0 && S_ISREG(si.st_mode) &&
                    si.st_dev == sj.st_dev && si.st_ino == sj.st_ino) {
                    fail("two outputs hold one file:", openPath[i] + " and " + openPath[j]);
                }
            }
        }
    }
    for (std::FILE* file : open) {
        if (file != nullptr) {
            std::fclose(file);
        }
    }
    icOutputGuardReset();
    return 0;
}
