#include "busSimOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "busSimScenario.h"

namespace {

constexpr U32 kBitRates[] = {9600, 19200, 38400, 57600, 115200};

// Longest time-like value accepted, in seconds (about 46 days): keeps every
// conversion to 32-bit milliseconds in range.
constexpr double kMaxSeconds = 4.0e6;

enum class Opt : U8 {
    OUTPUT,
    LINK,
    BAUD,
    RATE,
    DEVICES,
    TIME,
    COUNT,
    SEED,
    FAULTS,
    FPS,
    WAIT_READER,
    DELAY,
    HOLD,
    SUMMARY,
    QUIET,
    HELP,
};

struct OptRow {
    char shortName;  // '\0' when there is none
    const char* longName;
    bool takesValue;
    Opt opt;
};

constexpr OptRow kOptions[] = {
    {'o', "output", true, Opt::OUTPUT},
    {'\0', "link", true, Opt::LINK},
    {'b', "baud", true, Opt::BAUD},
    {'\0', "rate", true, Opt::RATE},
    {'n', "devices", true, Opt::DEVICES},
    {'t', "time", true, Opt::TIME},
    {'c', "count", true, Opt::COUNT},
    {'s', "seed", true, Opt::SEED},
    {'\0', "faults", true, Opt::FAULTS},
    {'\0', "fps", true, Opt::FPS},
    {'\0', "wait-reader", true, Opt::WAIT_READER},
    {'\0', "delay", true, Opt::DELAY},
    {'\0', "hold", false, Opt::HOLD},
    {'\0', "summary", true, Opt::SUMMARY},
    {'q', "quiet", false, Opt::QUIET},
    {'h', "help", false, Opt::HELP},
};

std::optional<U32> parseUnsigned(std::string_view text, U32 low, U32 high) {
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    const unsigned long long value = std::strtoull(std::string(text).c_str(), nullptr, 10);
    if (value < low || value > high) {
        return std::nullopt;
    }
    return static_cast<U32>(value);
}

std::optional<double> parseNumber(std::string_view text, double low, double high) {
    const std::string copy(text);
    if (copy.empty() || copy.find_first_not_of("0123456789.") != std::string::npos) {
        return std::nullopt;
    }
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(copy.c_str(), &end);
    if (errno != 0 || end != copy.c_str() + copy.size() || !std::isfinite(value) || value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

std::string invalid(const std::string& option, std::string_view value, const char* expected) {
    return "invalid value '" + std::string(value) + "' for " + option + " (" + expected + ")";
}

// Applies one option; an empty result means success.
std::string apply(Opt opt, const std::string& name, std::string_view value, BusSimOptions& options, bool& outputGiven) {
    switch (opt) {
        case Opt::OUTPUT:
            if (outputGiven) {
                return "give one of DEVICE and -o FILE, once";
            }
            outputGiven = true;
            options.line.kind = BUS_SIM_LINE_FILE;
            options.line.path = value;
            return value.empty() ? "empty file name for " + name : "";
        case Opt::LINK:
            options.line.link = value;
            return value.empty() ? "empty name for " + name : "";
        case Opt::RATE:
            if (value == "max") {
                options.line.paced = false;
                return "";
            }
            [[fallthrough]];
        case Opt::BAUD:
            for (const U32 rate : kBitRates) {
                if (parseUnsigned(value, rate, rate)) {
                    options.line.bitRate = rate;
                    options.line.paced = true;
                    return "";
                }
            }
            return invalid(
                name, value,
                opt == Opt::RATE ? "9600, 19200, 38400, 57600, 115200 or max" : "9600, 19200, 38400, 57600 or 115200");
        case Opt::DEVICES:
            if (const auto n = parseUnsigned(value, 1, BUS_SIM_MAX_DEVICES)) {
                options.devices = static_cast<U8>(*n);
                return "";
            }
            return invalid(name, value, "1 to 254");
        case Opt::TIME:
            if (const auto s = parseNumber(value, 0.0, kMaxSeconds); s && *s > 0.0) {
                options.seconds = *s;
                return "";
            }
            return invalid(name, value, "seconds, more than 0");
        case Opt::COUNT:
            if (const auto n = parseUnsigned(value, 1, 0xFFFFFFFF)) {
                options.frames = *n;
                return "";
            }
            return invalid(name, value, "a number of frames, at least 1");
        case Opt::SEED:
            if (const auto n = parseUnsigned(value, 0, 0xFFFFFFFF)) {
                options.seed = *n;
                return "";
            }
            return invalid(name, value, "0 to 4294967295");
        case Opt::FAULTS:
            if (const auto p = parseNumber(value, 0.0, 1.0)) {
                options.faultRate = *p;
                return "";
            }
            return invalid(name, value, "a probability per frame, 0 to 1");
        case Opt::FPS:
            if (const auto f = parseNumber(value, 0.0, 100000.0); f && *f > 0.0) {
                options.framesPerSecond = *f;
                return "";
            }
            return invalid(name, value, "frames per second, more than 0");
        case Opt::WAIT_READER:
            if (const auto s = parseNumber(value, 0.0, kMaxSeconds); s && *s > 0.0) {
                options.waitReaderSeconds = *s;
                return "";
            }
            return invalid(name, value, "seconds, more than 0");
        case Opt::DELAY:
            if (const auto s = parseNumber(value, 0.0, kMaxSeconds)) {
                options.delaySeconds = *s;
                return "";
            }
            return invalid(name, value, "seconds");
        case Opt::HOLD:
            options.hold = true;
            return "";
        case Opt::SUMMARY:
            options.summaryPath = value;
            return value.empty() ? "empty file name for " + name : "";
        case Opt::QUIET:
            options.quiet = true;
            return "";
        case Opt::HELP:
            return "";
    }
    return "";
}

}  // namespace

BusSimParseResult busSimParseOptions(int argc, const char* const* argv, BusSimOptions& options, std::string& error) {
    options = BusSimOptions{};
    bool outputGiven = false;
    bool help = false;
    bool ptyOnlyGiven = false;
    bool optionsEnded = false;

    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i] != nullptr ? argv[i] : "";
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            if (outputGiven) {
                error = arg.empty() || arg[0] == '-' ? "unexpected argument '" + std::string(arg) + "'"
                                                     : "give one of DEVICE and -o FILE, once";
                return BUS_SIM_PARSE_ERROR;
            }
            outputGiven = true;
            options.line.kind = BUS_SIM_LINE_DEVICE;
            options.line.path = arg;
            if (arg.empty()) {
                error = "empty device name";
                return BUS_SIM_PARSE_ERROR;
            }
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }

        const OptRow* row = nullptr;
        std::string name;
        std::optional<std::string_view> inlineValue;
        if (arg[1] == '-') {
            std::string_view body = arg.substr(2);
            const std::size_t equals = body.find('=');
            if (equals != std::string_view::npos) {
                inlineValue = body.substr(equals + 1);
                body = body.substr(0, equals);
            }
            for (const OptRow& candidate : kOptions) {
                if (body == candidate.longName) {
                    row = &candidate;
                }
            }
            name = "--" + std::string(body);
        } else {
            for (const OptRow& candidate : kOptions) {
                if (candidate.shortName != '\0' && arg[1] == candidate.shortName) {
                    row = &candidate;
                }
            }
            name = std::string("-") + arg[1];
            if (arg.size() > 2) {
                inlineValue = arg.substr(2);
            }
        }
        if (row == nullptr) {
            error = "unknown option '" + std::string(arg) + "'";
            return BUS_SIM_PARSE_ERROR;
        }
        if (!row->takesValue && inlineValue) {
            error = "option " + name + " takes no value";
            return BUS_SIM_PARSE_ERROR;
        }
        std::string_view value;
        if (row->takesValue) {
            if (inlineValue) {
                value = *inlineValue;
            } else if (i + 1 < argc && argv[i + 1] != nullptr) {
                value = argv[++i];
            } else {
                error = "option " + name + " needs a value";
                return BUS_SIM_PARSE_ERROR;
            }
        }
        help = help || row->opt == Opt::HELP;
        ptyOnlyGiven = ptyOnlyGiven || row->opt == Opt::LINK || row->opt == Opt::HOLD || row->opt == Opt::WAIT_READER ||
                       row->opt == Opt::DELAY;
        error = apply(row->opt, name, value, options, outputGiven);
        if (!error.empty()) {
            return BUS_SIM_PARSE_ERROR;
        }
    }
    if (help) {
        return BUS_SIM_PARSE_HELP;
    }
    if (options.line.kind == BUS_SIM_LINE_FILE && options.frames == 0 && options.seconds == 0.0) {
        error = "a file needs an end: give -c FRAMES or -t SECONDS";
        return BUS_SIM_PARSE_ERROR;
    }
    if (ptyOnlyGiven && options.line.kind != BUS_SIM_LINE_PTY) {
        error = "--link, --hold, --wait-reader and --delay apply to a pseudo-terminal only";
        return BUS_SIM_PARSE_ERROR;
    }
    return BUS_SIM_PARSE_RUN;
}

std::string busSimUsage(const char* program) {
    return std::string("Usage: ") + program +
           " [OPTION]... [DEVICE]\n"
           "Plays a ZELVAN EAC bus: a master at address 0 probing and polling devices 1..N\n"
           "(locks, readers, keypads, door controllers) that answer with telegrams of their\n"
           "kind, leave the bus now and then and come back. The same seed plays the same bytes.\n"
           "\n"
           "Where the bytes go:\n"
           "  (default)            a new pseudo-terminal; its path is shown, and the play\n"
           "                       starts once a reader (the sniffer) has opened it\n"
           "  DEVICE               a serial port, 8 data bits, no parity, 2 stop bits\n"
           "  -o, --output FILE    a file, byte stream only, as fast as it goes; needs -c or -t\n"
           "                       (-t then counts the time the traffic takes on the line;\n"
           "                       a frame left without ETX is followed by a stray byte\n"
           "                       instead of a pause)\n"
           "\n"
           "Options:\n"
           "  -b, --baud RATE      bit rate: 9600, 19200, 38400, 57600 or 115200 (default 19200)\n"
           "      --rate max       no pacing: as fast as the reader takes the bytes (--rate\n"
           "                       RATE is the same as -b RATE)\n"
           "  -n, --devices N      devices 1..N on the bus, 1 to 254 (default 8)\n"
           "  -t, --time SECONDS   stop after this long\n"
           "  -c, --count FRAMES   stop after this many frames\n"
           "  -s, --seed N         seed of the scenario (default 1)\n"
           "      --faults RATE    probability per frame of a line fault, 0 to 1 (default 0):\n"
           "                       a wrong BCC, a missing ETX, noise between frames, or a\n"
           "                       400 ms pause inside a frame\n"
           "      --fps N          at most N frames per second, for traffic a person can read\n"
           "      --summary FILE   write the summary into FILE instead of standard output\n"
           "  -q, --quiet          no progress messages on standard error\n"
           "  -h, --help           show this help and exit\n"
           "\n"
           "Pseudo-terminal only:\n"
           "      --link NAME      also create the symbolic link NAME to it\n"
           "      --wait-reader SECONDS  give up when no reader opens it in time\n"
           "                       (default: wait without limit)\n"
           "      --delay SECONDS  pause between the reader opening it and the first frame\n"
           "                       (default 0.5)\n"
           "      --hold           after the play keep the line open until the reader\n"
           "                       closes it (a closed line ends a sniffer's session)\n"
           "\n"
           "The summary counts the frames sent per message id (good and damaged apart), the\n"
           "faults injected per kind and the ONLINE and OFFLINE reports a sniffer must print\n"
           "per device; per device also the polls, answers, missed answers and telegrams per\n"
           "message id that reached a sniffer intact, and the frames its receiver drops (by\n"
           "kind) and the bytes it takes as noise. It is printed at the end and on SIGUSR1.\n"
           "SIGINT and SIGTERM stop the play after the current frame.\n"
           "\n"
           "Exit status: 0 on success, 1 on a runtime error (a device or file that cannot be\n"
           "opened or written, no reader in time), 2 on a usage error.\n";
}
