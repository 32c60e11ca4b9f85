#include "benchRig.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <sstream>

#include "fifo/icFifo.h"
#include "hal/include/icPlatformTimer.h"

namespace bench {

namespace {

constexpr IcFifoIndex kFifoSize = 255;

struct IndexState {
    std::vector<StreamFrame>* frames = nullptr;
    std::size_t offset = 0;  // position of the byte being received
};

void collectFrame(void* cbArg, ZvEacNwkAddr source, ZvEacNwkAddr destination, ZvEacNwkLen length, U8* data) {
    auto* state = static_cast<IndexState*>(cbArg);
    StreamFrame frame;
    frame.etxOffset = state->offset;
    frame.source = source;
    frame.destination = destination;
    if (data != nullptr) {
        frame.telegram.assign(data, data + length);
    }
    state->frames->push_back(std::move(frame));
    zvEacNwkFree(data);
}

U32 stillClock() { return 1000; }

// Deterministic filler for telegram bodies.
class Lcg {
public:
    explicit Lcg(U32 seed) : state_(seed) {}
    U8 next() {
        state_ = state_ * 1664525u + 1013904223u;
        return static_cast<U8>(state_ >> 24);
    }

private:
    U32 state_;
};

struct TelegramShape {
    U8 msgId;
    U8 length;
};

// What a polled device answers, and what the master asks: ids from the
// catalogue with body sizes of their layouts.
constexpr std::array<TelegramShape, 8> kMasterTelegrams{{
    {0xA2, 1},   // get lock state
    {0xB6, 2},   // get DTCs
    {0xB2, 1},   // get device info
    {0x60, 2},   // get event
    {0x55, 14},  // set door mode
    {0x54, 16},  // grant access sequence
    {0xBE, 10},  // set time
    {0xB9, 11},  // set permanent indication
}};
constexpr std::array<TelegramShape, 8> kDeviceTelegrams{{
    {0xA3, 2},   // lock state
    {0xB7, 18},  // DTC
    {0xB3, 30},  // device info
    {0x61, 24},  // event
    {0x28, 3},   // result
    {0x41, 20},  // credential, UID only
    {0x21, 30},  // version
    {0xC1, 16},  // alarm
}};

long readLongAfter(const std::string& text, const char* key) {
    const std::size_t pos = text.find(key);
    if (pos == std::string::npos) {
        return 0;
    }
    return std::strtol(text.c_str() + pos + std::strlen(key), nullptr, 10);
}

std::string slurp(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

std::optional<std::vector<U8>> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    return std::vector<U8>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool writeFile(const std::string& path, const std::vector<U8>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

std::vector<StreamFrame> indexFrames(const std::vector<U8>& bytes) {
    static std::array<Char, kFifoSize> txBuf{};
    static std::array<Char, kFifoSize> rxBuf{};
    static IcFifoInstance fifoTx{};
    static IcFifoInstance fifoRx{};
    static bool fifosReady = false;
    if (!fifosReady) {
        icFifoInit(&fifoTx, txBuf.data(), kFifoSize);
        icFifoInit(&fifoRx, rxBuf.data(), kFifoSize);
        fifosReady = true;
    }
    icFifoReset(&fifoRx);

    std::vector<StreamFrame> frames;
    IndexState state{&frames, 0};
    ZvEacNwkInst inst{};
    platformTimerSetTickSource(stillClock);
    zvEacNwkInit(&inst, &fifoTx, &fifoRx, collectFrame, nullptr, &state);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        state.offset = i;
        icFifoPushChar(&fifoRx, static_cast<Char>(bytes[i]));
        while (icFifoCharsToPop(&fifoRx) != 0) {
            zvEacNwkExe(&inst);
        }
    }
    zvEacNwkExe(&inst);
    platformTimerSetTickSource(nullptr);
    return frames;
}

std::vector<U8> builtinStream(std::size_t frames) {
    Lcg random(0x5A17u);
    std::vector<U8> stream;
    std::array<U8, ZV_EAC_NWK_MAX_ENCODED_FRAME> encoded{};
    std::array<U8, ZV_EAC_FRAME_MAX_DATA> telegram{};
    constexpr U8 kDevices = 8;
    for (std::size_t i = 0; i < frames; ++i) {
        const bool fromMaster = (i % 2) == 0;
        const std::size_t kind = (i / 2) % kMasterTelegrams.size();
        const TelegramShape shape = fromMaster ? kMasterTelegrams[kind] : kDeviceTelegrams[kind];
        const U8 device = static_cast<U8>(1 + (i / 2) % kDevices);
        telegram[0] = shape.msgId;
        for (U8 b = 1; b < shape.length; ++b) {
            telegram[b] = random.next();
        }
        const std::size_t size = zvEacFrameEncode(fromMaster ? 0 : device, fromMaster ? device : 0,
                                                  std::span<const U8>(telegram.data(), shape.length), encoded);
        stream.insert(stream.end(), encoded.begin(), encoded.begin() + static_cast<std::ptrdiff_t>(size));
    }
    return stream;
}

std::vector<U8> loadStreamOrBuiltin(const std::string& path, std::size_t builtinFrames) {
    if (!path.empty()) {
        if (auto bytes = readFile(path)) {
            return *bytes;
        }
        std::fprintf(stderr, "cannot read stream %s; using the built-in one\n", path.c_str());
    }
    return builtinStream(builtinFrames);
}

double monotonicSeconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

ProcSample sampleProcess(pid_t pid) {
    ProcSample sample;
    const std::string base = "/proc/" + std::to_string(pid);
    const std::string status = slurp(base + "/status");
    if (status.empty()) {
        return sample;
    }
    sample.rssKb = readLongAfter(status, "VmRSS:");
    sample.hwmKb = readLongAfter(status, "VmHWM:");

    double schedNs = 0.0;
    bool haveSched = false;
    if (DIR* dir = opendir((base + "/task").c_str())) {
        while (const dirent* entry = readdir(dir)) {
            if (entry->d_name[0] == '.') {
                continue;
            }
            const std::string task = base + "/task/" + entry->d_name;
            std::istringstream sched(slurp(task + "/schedstat"));
            double onCpuNs = 0.0;
            if (sched >> onCpuNs) {
                schedNs += onCpuNs;
                haveSched = true;
            }
            const std::string taskStatus = slurp(task + "/status");
            const long switches = readLongAfter(taskStatus, "\nvoluntary_ctxt_switches:") +
                                  readLongAfter(taskStatus, "nonvoluntary_ctxt_switches:");
            sample.contextSwitches += switches;
            sample.threads.push_back({std::strtol(entry->d_name, nullptr, 10), onCpuNs * 1e-9, switches});
        }
        closedir(dir);
        std::sort(sample.threads.begin(), sample.threads.end(),
                  [](const ProcSample::Thread& a, const ProcSample::Thread& b) { return a.tid < b.tid; });
    }
    if (haveSched) {
        sample.cpuSeconds = schedNs * 1e-9;
    } else {
        // Fields 14 and 15 (user and system ticks) follow the command name,
        // which ends with the last ')'.
        const std::string stat = slurp(base + "/stat");
        const std::size_t close = stat.rfind(')');
        if (close == std::string::npos) {
            return sample;
        }
        std::istringstream fields(stat.substr(close + 2));
        std::string field;
        long utime = 0;
        long stime = 0;
        for (int i = 3; i <= 15 && (fields >> field); ++i) {
            if (i == 14) {
                utime = std::strtol(field.c_str(), nullptr, 10);
            } else if (i == 15) {
                stime = std::strtol(field.c_str(), nullptr, 10);
            }
        }
        sample.cpuSeconds = static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
    }
    sample.valid = true;
    return sample;
}

// ---- the line ------------------------------------------------------------------

PtyLine::PtyLine() {
    const int fd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    char name[128] = {};
    if (grantpt(fd) != 0 || unlockpt(fd) != 0 || ptsname_r(fd, name, sizeof name) != 0) {
        close(fd);
        return;
    }
    // Raw 8-bit line as a serial port would be; readers that do not set the
    // line up themselves (cat) would otherwise get echo and line editing.
    const int slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        close(fd);
        return;
    }
    termios tio{};
    if (tcgetattr(slave, &tio) == 0) {
        cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD | CSTOPB;
        cfsetispeed(&tio, B115200);
        cfsetospeed(&tio, B115200);
        (void)tcsetattr(slave, TCSANOW, &tio);
    }
    close(slave);
    masterFd_ = fd;
    slavePath_ = name;
}

PtyLine::~PtyLine() {
    if (masterFd_ >= 0) {
        close(masterFd_);
    }
}

bool PtyLine::readerAttached() const {
    pollfd pfd{masterFd_, POLLIN, 0};
    if (poll(&pfd, 1, 0) < 0) {
        return false;
    }
    return (pfd.revents & POLLHUP) == 0;
}

bool PtyLine::writeAll(const U8* data, std::size_t len) {
    while (len > 0) {
        const ssize_t n = write(masterFd_, data, len);
        if (n > 0) {
            data += n;
            len -= static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            return false;
        }
    }
    return true;
}

void PtyLine::discardInput() {
    std::array<char, 4096> buf{};
    pollfd pfd{masterFd_, POLLIN, 0};
    while (poll(&pfd, 1, 0) > 0 && (pfd.revents & POLLIN) != 0) {
        if (read(masterFd_, buf.data(), buf.size()) <= 0) {
            return;
        }
    }
}

// ---- the reader ----------------------------------------------------------------

ReaderProcess::~ReaderProcess() {
    if (pid_ > 0 && !reaped_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (terminalHold_ >= 0) {
        close(terminalHold_);  // the terminal's last user gone: the drain's reads end
    }
    if (drain_.joinable()) {
        drain_.join();
    }
    if (stdinFd_ >= 0) {
        close(stdinFd_);
    }
    if (outReadFd_ >= 0) {
        close(outReadFd_);
    }
}

bool ReaderProcess::start(const std::vector<std::string>& argv, const std::string& ptyPath,
                          const std::string& outFile) {
    if (argv.empty()) {
        return false;
    }
    std::vector<std::string> args;
    for (std::string arg : argv) {
        for (std::size_t pos = arg.find("{pty}"); pos != std::string::npos; pos = arg.find("{pty}")) {
            arg.replace(pos, 5, ptyPath);
        }
        args.push_back(arg);
    }
    if (outFile == kTerminal) {
        std::vector<char*> cargs;
        for (std::string& arg : args) {
            cargs.push_back(arg.data());
        }
        cargs.push_back(nullptr);
        return startOnTerminal(cargs);
    }
    std::array<int, 2> inPipe{};
    if (pipe2(inPipe.data(), O_CLOEXEC) != 0) {
        return false;
    }
    int outFd = -1;
    int errFd = -1;
    if (outFile.empty()) {
        std::array<int, 2> outPipe{};
        if (pipe2(outPipe.data(), O_CLOEXEC) != 0) {
            return false;
        }
        outReadFd_ = outPipe[0];
        outFd = outPipe[1];
    } else {
        outFd = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        errFd = open((outFile + ".stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (outFd < 0) {
            return false;
        }
    }
    std::vector<char*> cargs;
    for (std::string& arg : args) {
        cargs.push_back(arg.data());
    }
    cargs.push_back(nullptr);

    const pid_t pid = fork();
    if (pid < 0) {
        return false;
    }
    if (pid == 0) {
        dup2(inPipe[0], STDIN_FILENO);
        dup2(outFd, STDOUT_FILENO);
        if (errFd >= 0) {
            dup2(errFd, STDERR_FILENO);
        }
        signal(SIGPIPE, SIG_DFL);
        execvp(cargs[0], cargs.data());
        _exit(127);
    }
    close(inPipe[0]);
    close(outFd);
    if (errFd >= 0) {
        close(errFd);
    }
    stdinFd_ = inPipe[1];
    pid_ = pid;
    return true;
}

bool ReaderProcess::startOnTerminal(std::vector<char*>& cargs) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    std::array<char, 128> name{};
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 ||
        ptsname_r(master, name.data(), name.size()) != 0) {
        if (master >= 0) {
            close(master);
        }
        return false;
    }
    const winsize size{40, 120, 0, 0};
    (void)ioctl(master, TIOCSWINSZ, &size);
    terminalHold_ = open(name.data(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    const pid_t pid = fork();
    if (pid < 0) {
        close(master);
        return false;
    }
    if (pid == 0) {
        setsid();
        const int slave = open(name.data(), O_RDWR);
        if (slave < 0) {
            _exit(127);
        }
        (void)ioctl(slave, TIOCSCTTY, 0);
        dup2(slave, STDIN_FILENO);
        dup2(slave, STDOUT_FILENO);
        dup2(slave, STDERR_FILENO);
        setenv("TERM", "xterm-256color", 1);
        signal(SIGPIPE, SIG_DFL);
        execvp(cargs[0], cargs.data());
        _exit(127);
    }
    stdinFd_ = master;
    pid_ = pid;
    // Read as fast as the program writes, like a terminal window; ends when
    // the program and everything it started have closed the terminal.
    drain_ = std::thread([master] {
        std::array<char, 16384> buffer{};
        while (true) {
            const ssize_t n = read(master, buffer.data(), buffer.size());
            if (n > 0 || (n < 0 && errno == EINTR)) {
                continue;
            }
            return;
        }
    });
    return true;
}

bool ReaderProcess::sendText(const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(stdinFd_, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool ReaderProcess::running() {
    if (pid_ <= 0 || reaped_) {
        return false;
    }
    if (waitpid(pid_, &status_, WNOHANG) == pid_) {
        reaped_ = true;
        return false;
    }
    return true;
}

int ReaderProcess::stop(const std::string& quitText, double graceSeconds) {
    const auto waitFor = [&](double seconds) {
        const double until = monotonicSeconds() + seconds;
        while (running() && monotonicSeconds() < until) {
            usleep(5000);
        }
        return !running();
    };
    bool killed = false;
    if (!quitText.empty() && running()) {
        sendText(quitText);
    }
    if (!waitFor(quitText.empty() ? 0.0 : graceSeconds)) {
        kill(pid_, SIGTERM);
        if (!waitFor(graceSeconds)) {
            kill(pid_, SIGKILL);
            killed = true;
            waitFor(graceSeconds);
        }
    }
    if (killed || !WIFEXITED(status_)) {
        return -1;
    }
    return WEXITSTATUS(status_);
}

std::string unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            const char c = text[++i];
            out += c == 'n' ? '\n' : (c == 't' ? '\t' : (c == 'r' ? '\r' : c));
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace bench
