// zvCoreBench: without a mode name the Google Benchmark suite of the core;
// with one, a measuring tool that bench/run.sh drives.
//
//   zvCoreBench [benchmark options] [--stream=FILE]
//   zvCoreBench feed [options] -- READER ARGS ({pty} is the line)
//   zvCoreBench latency [options] -- SNIFFER ARGS
//   zvCoreBench stream (--write FILE [--frames N] | --info FILE)

#include <csignal>
#include <cstring>

#include "benchModes.h"

int main(int argc, char** argv) {
    // A reader that ends early must not take the rig down with it.
    std::signal(SIGPIPE, SIG_IGN);
    if (argc > 1) {
        if (std::strcmp(argv[1], "feed") == 0) {
            return runFeed(argc - 1, argv + 1);
        }
        if (std::strcmp(argv[1], "latency") == 0) {
            return runLatency(argc - 1, argv + 1);
        }
        if (std::strcmp(argv[1], "stream") == 0) {
            return runStreamTool(argc - 1, argv + 1);
        }
    }
    return runCoreBenchmarks(argc, argv);
}
