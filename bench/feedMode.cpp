// The measuring tools behind bench/run.sh: feeding a reader through a
// pseudo-terminal (CPU, wake-ups, memory, throughput), timing the sniffer's
// latency per frame, and making or describing byte streams.

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "benchModes.h"
#include "benchRig.h"

namespace {

using bench::StreamFrame;

// 115200 bit/s with 8 data bits, no parity and two stop bits: 11 bits a byte.
constexpr double kLineRate = 115200.0 / 11.0;
constexpr std::size_t kBuiltinFrames = 20000;
constexpr std::size_t kMaxChunk = 4096;
constexpr double kTick = 0.001;  // the feeder writes once a millisecond
constexpr double kAttachTimeout = 10.0;

struct Options {
    std::string stream;
    double rate = kLineRate;
    bool maxRate = false;
    bool idle = false;
    double seconds = 10.0;
    long frames = 0;
    double gapMs = 0.0;
    double settle = 1.0;
    double drain = 2.0;
    std::string out;
    std::vector<std::string> commands;
    std::string quit;
    std::string label = "reader";
    std::vector<std::string> readerArgs;
};

constexpr const char* kFeedUsage =
    "usage: zvCoreBench feed [options] -- READER ARGS...   ({pty} in ARGS is the line)\n"
    "  --stream FILE    recorded bus byte stream (default: built-in stream)\n"
    "  --rate N|max     bytes per second, or as fast as the reader takes them (default 10473)\n"
    "  --idle           open the line but send nothing\n"
    "  --seconds S      feeding time (default 10)\n"
    "  --settle S       wait after the reader opened the line (default 1)\n"
    "  --drain S        after feeding, wait at most S for the output to settle (default 2)\n"
    "  --out FILE       reader's standard output (default /dev/null); tty: a terminal of its own\n"
    "  --command TEXT   typed on the reader's standard input before feeding (\\n ends a line)\n"
    "  --quit TEXT      typed at the end to stop the reader (else SIGTERM)\n"
    "  --label NAME     name on the result line\n";

constexpr const char* kLatencyUsage =
    "usage: zvCoreBench latency [options] -- SNIFFER ARGS...   ({pty} in ARGS is the line)\n"
    "  --stream FILE    recorded bus byte stream (default: built-in stream)\n"
    "  --rate N         bytes per second within frames (default 10473)\n"
    "  --gap-ms G       idle line after every frame (default 0: back to back)\n"
    "  --seconds S      feeding time (default 10)\n"
    "  --frames N       stop after N frames with data instead\n"
    "  --settle S, --command TEXT, --quit TEXT, --label NAME as for feed\n";

bool parseDouble(const char* text, double& out) {
    char* end = nullptr;
    out = std::strtod(text, &end);
    return end != text && *end == '\0' && std::isfinite(out) && out >= 0.0;
}

bool parseOptions(int argc, char** argv, Options& o, const char* usage) {
    int i = 1;
    const auto value = [&](const char* name) -> const char* {
        if (i + 1 >= argc) {
            std::fprintf(stderr, "%s needs a value\n%s", name, usage);
            return nullptr;
        }
        return argv[++i];
    };
    for (; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const char* v = nullptr;
        bool ok = true;
        if (arg == "--") {
            for (++i; i < argc; ++i) {
                o.readerArgs.emplace_back(argv[i]);
            }
            break;
        }
        if (arg == "--idle") {
            o.idle = true;
            continue;
        }
        if (arg == "-h" || arg == "--help") {
            std::fputs(usage, stdout);
            std::exit(0);
        }
        if ((v = value(argv[i])) == nullptr) {
            return false;
        }
        if (arg == "--stream") {
            o.stream = v;
        } else if (arg == "--rate") {
            o.maxRate = std::strcmp(v, "max") == 0;
            ok = o.maxRate || (parseDouble(v, o.rate) && o.rate > 0.0);
        } else if (arg == "--seconds") {
            ok = parseDouble(v, o.seconds);
        } else if (arg == "--frames") {
            o.frames = std::strtol(v, nullptr, 10);
            ok = o.frames > 0;
        } else if (arg == "--gap-ms") {
            ok = parseDouble(v, o.gapMs);
        } else if (arg == "--settle") {
            ok = parseDouble(v, o.settle);
        } else if (arg == "--drain") {
            ok = parseDouble(v, o.drain);
        } else if (arg == "--out") {
            o.out = v;
        } else if (arg == "--command") {
            o.commands.push_back(bench::unescape(v));
        } else if (arg == "--quit") {
            o.quit = bench::unescape(v);
        } else if (arg == "--label") {
            o.label = v;
        } else {
            std::fprintf(stderr, "unknown option %s\n%s", argv[i], usage);
            return false;
        }
        if (!ok) {
            std::fprintf(stderr, "bad value for %s: %s\n", argv[i - 1], v);
            return false;
        }
    }
    if (o.readerArgs.empty()) {
        std::fprintf(stderr, "no reader program given\n%s", usage);
        return false;
    }
    return true;
}

void sleepUntil(double when) {
    const double left = when - bench::monotonicSeconds();
    if (left <= 0.0) {
        return;
    }
    timespec ts{static_cast<time_t>(left), static_cast<long>((left - std::floor(left)) * 1e9)};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

// Starts the reader on a fresh line and waits until it has opened the line
// and settled; types the commands. FALSE (with a message) when it did not.
bool startReader(const Options& o, bench::PtyLine& line, bench::ReaderProcess& reader, const std::string& outFile) {
    if (!line.ok()) {
        std::fprintf(stderr, "cannot open a pseudo-terminal\n");
        return false;
    }
    if (!reader.start(o.readerArgs, line.slavePath(), outFile)) {
        std::fprintf(stderr, "cannot start %s\n", o.readerArgs[0].c_str());
        return false;
    }
    const double deadline = bench::monotonicSeconds() + kAttachTimeout;
    while (!line.readerAttached()) {
        if (!reader.running() || bench::monotonicSeconds() > deadline) {
            std::fprintf(stderr, "%s did not open %s\n", o.readerArgs[0].c_str(), line.slavePath().c_str());
            return false;
        }
        usleep(2000);
    }
    sleepUntil(bench::monotonicSeconds() + o.settle / 2);
    for (const std::string& command : o.commands) {
        reader.sendText(command);
    }
    sleepUntil(bench::monotonicSeconds() + o.settle / 2);
    return reader.running();
}

// Plays the stream over and over at the line's pace (or as fast as the line
// takes it) and keeps count of the frames whose ETX has gone out.
class Feeder {
public:
    Feeder(const std::vector<U8>& bytes, const std::vector<StreamFrame>& frames, const Options& o)
        : bytes_(bytes), frames_(frames), o_(o) {}

    // Writes what is due by `elapsed` seconds after the start; `now` is the
    // time taken just before the write, handed to onDataEtx for every frame
    // with data whose ETX the write carried. FALSE when the line failed.
    template <typename OnDataEtx>
    bool step(int fd, double elapsed, double now, OnDataEtx onDataEtx) {
        chunk_.clear();
        Cursor ahead = cursor_;
        while (chunk_.size() < kMaxChunk && (o_.maxRate || ahead.due <= elapsed)) {
            chunk_.push_back(bytes_[ahead.pos]);
            (void)advance(ahead);
        }
        if (chunk_.empty()) {
            return true;
        }
        const ssize_t n = write(fd, chunk_.data(), chunk_.size());
        if (n < 0) {
            return errno == EAGAIN || errno == EINTR;
        }
        chunks_ += n > 0 ? 1 : 0;
        for (ssize_t i = 0; i < n; ++i) {
            advanceOne(now, onDataEtx);
        }
        return true;
    }

    std::size_t bytesWritten() const { return bytesWritten_; }
    std::size_t passes() const { return passes_; }
    // Writes that carried bytes: what a reader has to wake up for.
    std::size_t chunks() const { return chunks_; }
    std::size_t dataFramesWritten() const { return dataFramesWritten_; }
    double nextDue() const { return cursor_.due; }

private:
    struct Cursor {
        std::size_t pos = 0;        // next byte of the pass
        std::size_t nextFrame = 0;  // first frame whose ETX has not gone out
        double due = 0.0;           // when the byte at pos is due, from the start
    };

    // Moves past one byte; returns the frame whose ETX it was, if any.
    const StreamFrame* advance(Cursor& c) const {
        const StreamFrame* done = nullptr;
        if (c.nextFrame < frames_.size() && frames_[c.nextFrame].etxOffset == c.pos) {
            done = &frames_[c.nextFrame++];
            c.due += o_.gapMs / 1000.0;
        }
        c.due += o_.maxRate ? 0.0 : 1.0 / o_.rate;
        if (++c.pos == bytes_.size()) {
            c.pos = 0;
            c.nextFrame = 0;
        }
        return done;
    }

    template <typename OnDataEtx>
    void advanceOne(double now, OnDataEtx& onDataEtx) {
        const StreamFrame* frame = advance(cursor_);
        if (frame != nullptr && !frame->telegram.empty()) {
            onDataEtx(*frame, now);
            ++dataFramesWritten_;
        }
        ++bytesWritten_;
        if (cursor_.pos == 0) {
            ++passes_;
        }
    }

    const std::vector<U8>& bytes_;
    const std::vector<StreamFrame>& frames_;
    const Options& o_;
    std::vector<U8> chunk_;
    Cursor cursor_;
    std::size_t passes_ = 0;
    std::size_t chunks_ = 0;
    std::size_t bytesWritten_ = 0;
    std::size_t dataFramesWritten_ = 0;
};

long fileSize(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

// Waits until the output file has stopped growing (or `limit` passes).
void waitForQuietOutput(const std::string& path, double limit) {
    const double deadline = bench::monotonicSeconds() + limit;
    long last = fileSize(path);
    double quietSince = bench::monotonicSeconds();
    while (bench::monotonicSeconds() < deadline) {
        usleep(50000);
        const long now = fileSize(path);
        if (now != last) {
            last = now;
            quietSince = bench::monotonicSeconds();
        } else if (bench::monotonicSeconds() - quietSince >= 0.3) {
            return;
        }
    }
}

bool loadFrames(const Options& o, std::vector<U8>& bytes, std::vector<StreamFrame>& frames) {
    bytes = bench::loadStreamOrBuiltin(o.stream, kBuiltinFrames);
    if (bytes.empty()) {
        std::fprintf(stderr, "the stream is empty\n");
        return false;
    }
    frames = bench::indexFrames(bytes);
    return true;
}

double percentile(std::vector<double> values, double p) {
    if (values.empty()) {
        return NAN;
    }
    std::sort(values.begin(), values.end());
    const double rank = p / 100.0 * static_cast<double>(values.size() - 1);
    const auto lo = static_cast<std::size_t>(std::floor(rank));
    const std::size_t hi = std::min(lo + 1, values.size() - 1);
    return values[lo] + (values[hi] - values[lo]) * (rank - static_cast<double>(lo));
}

// ---- latency: what the sniffer writes ------------------------------------------

// Follows the sniffer's output and notes when each message's header appears
// and when the prompt after it completes the message.
class OutputWatcher {
public:
    struct Message {
        double headerAt = 0.0;
        double completeAt = 0.0;
        bool incoming = false;
        int address = -1;
    };

    void feed(const char* data, std::size_t len, double now) {
        std::lock_guard<std::mutex> lock(mutex_);
        for (std::size_t i = 0; i < len; ++i) {
            onChar(data[i], now);
        }
    }

    std::vector<Message> messages() {
        std::lock_guard<std::mutex> lock(mutex_);
        return messages_;
    }

private:
    static constexpr std::string_view kIncoming = " ==> from";
    static constexpr std::string_view kOutgoing = "<==  to  ";
    static constexpr std::string_view kPrompt = " > ";
    enum class State : U8 { OUTSIDE, ADDRESS, BODY };

    bool windowEndsWith(std::string_view marker) const {
        return window_.size() >= marker.size() &&
               std::string_view(window_).substr(window_.size() - marker.size()) == marker;
    }

    void onChar(char c, double now) {
        window_.push_back(c);
        if (window_.size() > 16) {
            window_.erase(0, window_.size() - 16);
        }
        switch (state_) {
            case State::OUTSIDE:
            case State::BODY:
                if (windowEndsWith(kIncoming) || windowEndsWith(kOutgoing)) {
                    if (state_ == State::BODY) {
                        messages_.back().completeAt = now;  // no prompt came: count it done
                    }
                    messages_.push_back(Message{now, 0.0, windowEndsWith(kIncoming), -1});
                    state_ = State::ADDRESS;
                    address_.clear();
                } else if (state_ == State::BODY && windowEndsWith(kPrompt)) {
                    messages_.back().completeAt = now;
                    state_ = State::OUTSIDE;
                }
                break;
            case State::ADDRESS:
                // "  %3d " follows the direction.
                address_.push_back(c);
                if (address_.size() == 6) {
                    messages_.back().address = std::atoi(address_.c_str());
                    state_ = State::BODY;
                }
                break;
        }
    }

    std::mutex mutex_;
    std::vector<Message> messages_;
    std::string window_;
    std::string address_;
    State state_ = State::OUTSIDE;
};

}  // namespace

int runFeed(int argc, char** argv) {
    Options o;
    if (!parseOptions(argc, argv, o, kFeedUsage)) {
        return 2;
    }
    std::vector<U8> bytes;
    std::vector<StreamFrame> frames;
    if (!o.idle && !loadFrames(o, bytes, frames)) {
        return 1;
    }
    bench::PtyLine line;
    bench::ReaderProcess reader;
    const std::string outFile = o.out.empty() ? "/dev/null" : o.out;
    if (!startReader(o, line, reader, outFile)) {
        return 1;
    }
    const int fd = line.masterFd();
    (void)fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);

    const bench::ProcSample before = bench::sampleProcess(reader.pid());
    const double start = bench::monotonicSeconds();
    const double end = start + o.seconds;
    Feeder feeder(bytes, frames, o);
    bool lineFailed = false;
    if (o.idle) {
        sleepUntil(end);
    } else {
        const auto ignore = [](const StreamFrame&, double) {};
        for (long tick = 1;; ++tick) {
            double now = bench::monotonicSeconds();
            if (now >= end) {
                break;
            }
            if (o.maxRate) {
                // Wait for room in the line, never past the end.
                pollfd pfd{fd, POLLOUT, 0};
                const int waitMs = static_cast<int>(std::ceil((end - now) * 1000.0));
                if (poll(&pfd, 1, std::min(waitMs, 100)) <= 0) {
                    continue;
                }
                now = bench::monotonicSeconds();
            }
            if (!feeder.step(fd, now - start, now, ignore)) {
                lineFailed = true;
                break;
            }
            line.discardInput();
            if (!o.maxRate) {
                sleepUntil(start + static_cast<double>(tick) * kTick);
            }
        }
    }
    const double fedSeconds = bench::monotonicSeconds() - start;
    const bench::ProcSample after = bench::sampleProcess(reader.pid());
    if (o.out.empty()) {
        sleepUntil(bench::monotonicSeconds() + std::min(o.drain, 0.5));
    } else {
        waitForQuietOutput(o.out, o.drain);
    }
    const bench::ProcSample last = bench::sampleProcess(reader.pid());
    const int exitStatus = reader.stop(o.quit, 3.0);

    const double cpu = after.cpuSeconds - before.cpuSeconds;
    std::printf(
        "label=%s mode=%s seconds=%.3f bytes=%zu passes=%zu frames_expected=%zu cpu_s=%.4f cpu_pct=%.3f "
        "wakeups_per_s=%.1f chunks=%zu wakeups_per_chunk=%.3f rss_start_kb=%ld rss_end_kb=%ld hwm_kb=%ld "
        "throughput_Bps=%.0f exit=%d line=%s\n",
        o.label.c_str(), o.idle ? "idle" : (o.maxRate ? "max" : "rate"), fedSeconds, feeder.bytesWritten(),
        feeder.passes(), feeder.dataFramesWritten(), cpu, 100.0 * cpu / fedSeconds,
        static_cast<double>(after.contextSwitches - before.contextSwitches) / fedSeconds, feeder.chunks(),
        feeder.chunks() > 0
            ? static_cast<double>(after.contextSwitches - before.contextSwitches) / static_cast<double>(feeder.chunks())
            : 0.0,
        before.rssKb, last.rssKb, last.hwmKb, static_cast<double>(feeder.bytesWritten()) / fedSeconds, exitStatus,
        lineFailed ? "failed" : "ok");
    // Per thread, in creation order: where the time and the wake-ups go.
    for (const bench::ProcSample::Thread& t : after.threads) {
        for (const bench::ProcSample::Thread& b : before.threads) {
            if (b.tid == t.tid) {
                std::printf("  thread %ld: cpu_pct=%.3f wakeups_per_s=%.1f\n", t.tid,
                            100.0 * (t.cpuSeconds - b.cpuSeconds) / fedSeconds,
                            static_cast<double>(t.contextSwitches - b.contextSwitches) / fedSeconds);
            }
        }
    }
    return before.valid && after.valid && !lineFailed ? 0 : 1;
}

int runLatency(int argc, char** argv) {
    Options o;
    if (!parseOptions(argc, argv, o, kLatencyUsage)) {
        return 2;
    }
    if (o.maxRate || o.idle) {
        std::fprintf(stderr, "latency needs a paced line\n");
        return 2;
    }
    std::vector<U8> bytes;
    std::vector<StreamFrame> frames;
    if (!loadFrames(o, bytes, frames)) {
        return 1;
    }
    bench::PtyLine line;
    bench::ReaderProcess sniffer;
    if (!startReader(o, line, sniffer, "")) {
        return 1;
    }
    OutputWatcher watcher;
    const int outFd = sniffer.outputFd();
    // Drops what the start-up wrote, then follows the output.
    std::thread follower([&] {
        char buf[8192];
        for (;;) {
            const ssize_t n = read(outFd, buf, sizeof buf);
            if (n > 0) {
                watcher.feed(buf, static_cast<std::size_t>(n), bench::monotonicSeconds());
            } else if (n == 0 || errno != EINTR) {
                return;
            }
        }
    });

    struct Sent {
        double at;
        bool incoming;
        int address;
    };
    std::vector<Sent> sent;
    const int fd = line.masterFd();
    (void)fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    const double start = bench::monotonicSeconds();
    const double end = start + o.seconds;
    Feeder feeder(bytes, frames, o);
    const auto note = [&](const StreamFrame& frame, double at) {
        const bool incoming = frame.source != 0;
        sent.push_back(Sent{at, incoming, incoming ? frame.source : frame.destination});
    };
    for (long tick = 1;; ++tick) {
        const double now = bench::monotonicSeconds();
        if ((o.frames > 0 && static_cast<long>(sent.size()) >= o.frames) || (o.frames == 0 && now >= end)) {
            break;
        }
        // Frames with a gap after them are written with their last byte
        // exactly when it is due, not at the next millisecond.
        if (!feeder.step(fd, now - start, now, note)) {
            std::fprintf(stderr, "the line failed\n");
            break;
        }
        const double nextTick = start + static_cast<double>(tick) * kTick;
        sleepUntil(o.gapMs > 0.0 ? std::min(nextTick, start + feeder.nextDue()) : nextTick);
    }
    sleepUntil(bench::monotonicSeconds() + 0.5);
    sniffer.stop(o.quit, 3.0);
    follower.join();

    const std::vector<OutputWatcher::Message> messages = watcher.messages();
    std::vector<double> headerMs;
    std::vector<double> completeMs;
    std::size_t mismatched = 0;
    const std::size_t n = std::min(messages.size(), sent.size());
    for (std::size_t i = 0; i < n; ++i) {
        const OutputWatcher::Message& m = messages[i];
        if (m.incoming != sent[i].incoming || m.address != sent[i].address) {
            ++mismatched;
            continue;
        }
        headerMs.push_back((m.headerAt - sent[i].at) * 1000.0);
        if (m.completeAt > 0.0) {
            completeMs.push_back((m.completeAt - sent[i].at) * 1000.0);
        }
    }
    std::printf(
        "label=%s frames_sent=%zu messages_seen=%zu mismatched=%zu "
        "header_ms_p50=%.3f header_ms_p90=%.3f header_ms_p99=%.3f header_ms_max=%.3f "
        "complete_ms_p50=%.3f complete_ms_p90=%.3f complete_ms_p99=%.3f complete_ms_max=%.3f\n",
        o.label.c_str(), sent.size(), messages.size(), mismatched, percentile(headerMs, 50), percentile(headerMs, 90),
        percentile(headerMs, 99), percentile(headerMs, 100), percentile(completeMs, 50), percentile(completeMs, 90),
        percentile(completeMs, 99), percentile(completeMs, 100));
    return mismatched == 0 && messages.size() == sent.size() ? 0 : 1;
}

int runStreamTool(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--info") == 0) {
        const auto bytes = bench::readFile(argv[2]);
        if (!bytes) {
            std::fprintf(stderr, "cannot read %s\n", argv[2]);
            return 1;
        }
        const std::vector<StreamFrame> frames = bench::indexFrames(*bytes);
        std::size_t data = 0;
        for (const StreamFrame& f : frames) {
            data += f.telegram.empty() ? 0 : 1;
        }
        std::printf("bytes=%zu frames=%zu data_frames=%zu bytes_per_frame=%.2f line_seconds=%.2f\n", bytes->size(),
                    frames.size(), data,
                    frames.empty() ? 0.0 : static_cast<double>(bytes->size()) / static_cast<double>(frames.size()),
                    static_cast<double>(bytes->size()) / kLineRate);
        return 0;
    }
    if ((argc == 3 || argc == 5) && std::strcmp(argv[1], "--write") == 0) {
        std::size_t count = kBuiltinFrames;
        if (argc == 5 && std::strcmp(argv[3], "--frames") == 0) {
            count = static_cast<std::size_t>(std::strtoul(argv[4], nullptr, 10));
        }
        return bench::writeFile(argv[2], bench::builtinStream(count)) ? 0 : 1;
    }
    std::fprintf(stderr, "usage: zvCoreBench stream --write FILE [--frames N] | --info FILE\n");
    return 2;
}
