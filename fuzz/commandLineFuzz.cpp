// Arbitrary argument vectors (the input split at NUL bytes, one word each)
// through the command-line reader. Checks that whatever it settles on is
// consistent: texts it keeps point into the vector, a run has exactly one
// source, and the values it hands on are ones the rest of the program takes
// (any -b value is taken and read as 19200 when no row has it, as always).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Appl/zelvanEacSniffer/commandLine.h"

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "commandLineFuzz: %s\n", what);
    std::abort();
}

bool pointsIntoVector(const char* text, const std::vector<std::string>& words) {
    if (text == nullptr) {
        return true;
    }
    for (const std::string& word : words) {
        if (text >= word.data() && text <= word.data() + word.size()) {
            return true;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Usage and help texts are the reader's answers, not the fuzzer's news.
    if (std::freopen("/dev/null", "w", stdout) == nullptr) {
        fail("cannot silence standard output");
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::vector<std::string> words{"zelvanEacSniffer"};
    std::string word;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            words.push_back(word);
            word.clear();
        } else {
            word.push_back(static_cast<char>(data[i]));
        }
    }
    words.push_back(word);
    // Without words the reader asks for the port on standard input.
    if (words.size() < 2) {
        return 0;
    }
    std::vector<char*> argv;
    for (std::string& w : words) {
        argv.push_back(w.data());
    }
    argv.push_back(nullptr);

    const MainCommandLine cl = mainParseCommandLine(static_cast<int>(words.size()), argv.data());
    const MainOptions& o = cl.options;
    for (const char* text : {o.logFile, o.captureFile, o.readFile, o.statsCsvFile, o.filter, o.jsonFile}) {
        if (!pointsIntoVector(text, words)) {
            fail("an option's text points outside the vector");
        }
    }
    if (cl.outcome != MAIN_CLI_RUN) {
        return 0;
    }
    if (o.verbosity < -1 || o.verbosity > 3) {
        fail("verbosity out of range");
    }
    if (o.readFile != nullptr && !cl.devicePath.empty()) {
        fail("a run with both a port and a file to read");
    }
    if (o.readFile != nullptr && o.reconnect != FALSE) {
        fail("--reconnect accepted with -r");
    }
    return 0;
}
