#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <ostream>
#include <string>
#include <thread>

#include "fifo/icFifo.h"
#include "fifo/icFifoDriverHooks.h"
#include "hal/include/icOsal.h"
#include "hal/include/multiUart.h"
#include "support/ptyPair.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The main loop's part: sleep on the driver's wait object and let uartExe
// move what the line brought in.
void serve(UartInstancePtr ui) {
    const OsalWaitObject ready = uartRxWaitObject(ui);
    osalApi->waitForObjects(&ready, 1, 10);
    uartExe(ui);
}

[[noreturn]] void serveUntilTheEnd(UartInstancePtr ui) {
    for (;;) {
        serve(ui);
    }
}

class SerialDriverTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pty.ok()) << pty.error();
        icFifoInit(&rxFifo, rxBuf.data(), static_cast<IcFifoIndex>(rxBuf.size()));
    }
    void TearDown() override {
        if (ui != nullptr) {
            uartCloseRx(ui);
            uartDelete(ui);
        }
    }
    void openRx(UartBitrate rate = UART_115200) {
        ui = uartNewDevice(pty.slavePath().c_str(), rate);
        ASSERT_NE(ui, nullptr);
        uartSetFifoOps(ui, &kIcFifoDriverOps);
        uartOpenRx(ui, icFifoDriverPushChar, &rxFifo);
    }
    // Serves the driver and pops from the FIFO until `count` bytes came or
    // the time-out ran out. `takePerPass` > 0 makes a slow consumer that
    // leaves the FIFO nearly full for the driver's next read.
    std::string collect(std::size_t count, std::size_t takePerPass = 0, std::chrono::milliseconds timeout = 20s) {
        std::string got;
        const auto deadline = Clock::now() + timeout;
        while (got.size() < count && Clock::now() < deadline) {
            serve(ui);
            for (std::size_t n = 0; icFifoCharsToPop(&rxFifo) > 0 && (takePerPass == 0 || n < takePerPass); ++n) {
                got.push_back(icFifoPopChar(&rxFifo));
            }
            if (takePerPass > 0) {
                std::this_thread::sleep_for(1ms);
            }
        }
        return got;
    }

    PtyPair pty;
    std::array<Char, 255> rxBuf{};
    IcFifoInstance rxFifo{};
    UartInstancePtr ui = nullptr;
};

TEST_F(SerialDriverTest, EveryByteValueArrivesInOrder) {
    openRx();
    std::string all;
    for (int i = 0; i < 256; ++i) {
        all.push_back(static_cast<char>(i));
    }
    ASSERT_TRUE(pty.write(all));
    EXPECT_EQ(collect(all.size()), all);
}

TEST_F(SerialDriverTest, BurstLargerThanTheFifoArrivesCompleteWithASlowConsumer) {
    openRx();
    std::string burst;
    for (int i = 0; i < 6000; ++i) {
        burst.push_back(static_cast<char>((i * 7 + i / 256) & 0xFF));
    }
    bool written = false;
    std::thread writer([&] { written = pty.write(burst, 30s); });
    const std::string got = collect(burst.size(), 64, 30s);
    writer.join();
    EXPECT_TRUE(written);
    ASSERT_EQ(got.size(), burst.size());
    EXPECT_TRUE(got == burst) << "bytes arrived complete but changed or reordered";
}

struct RateCase {
    UartBitrate rate;
    speed_t speed;
};
void PrintTo(const RateCase& c, std::ostream* os) { *os << "bitrate " << static_cast<int>(c.rate); }

class SerialLineSettingsTest : public SerialDriverTest, public testing::WithParamInterface<RateCase> {};

TEST_P(SerialLineSettingsTest, ReadBackAsSet) {
    // Start from a cooked, 7E1, flow-controlled line so every setting has to
    // be changed by the driver.
    termios before{};
    ASSERT_EQ(tcgetattr(pty.slaveFd(), &before), 0);
    before.c_cflag = (before.c_cflag & ~static_cast<tcflag_t>(CSIZE | CSTOPB)) | CS7 | PARENB | CRTSCTS;
    before.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
    before.c_iflag |= ICRNL | IXON | ISTRIP;
    before.c_oflag |= OPOST;
    before.c_cc[VMIN] = 1;
    before.c_cc[VTIME] = 5;
    cfsetispeed(&before, B4800);
    cfsetospeed(&before, B4800);
    ASSERT_EQ(tcsetattr(pty.slaveFd(), TCSANOW, &before), 0);

    openRx(GetParam().rate);
    termios tio{};
    ASSERT_EQ(tcgetattr(pty.slaveFd(), &tio), 0);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_NE(tio.c_cflag & CSTOPB, 0u) << "two stop bits";
    EXPECT_EQ(tio.c_cflag & (PARENB | CRTSCTS), 0u);
    EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(tio.c_iflag & (ICRNL | IXON | ISTRIP), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_cc[VMIN], 0);
    EXPECT_EQ(tio.c_cc[VTIME], 0);
    EXPECT_EQ(cfgetispeed(&tio), GetParam().speed);
    EXPECT_EQ(cfgetospeed(&tio), GetParam().speed);
}

INSTANTIATE_TEST_SUITE_P(Rates, SerialLineSettingsTest,
                         testing::Values(RateCase{UART_9600, B9600}, RateCase{UART_19200, B19200},
                                         RateCase{UART_38400, B38400}, RateCase{UART_57600, B57600},
                                         RateCase{UART_115200, B115200}, RateCase{static_cast<UartBitrate>(7), B9600}),
                         [](const testing::TestParamInfo<RateCase>& info) {
                             return "Bitrate" + std::to_string(info.param.rate);
                         });

TEST_F(SerialDriverTest, ClosingGivesTheLineBackForTheNextProgram) {
    openRx();
    int exclusive = 0;
    ASSERT_EQ(ioctl(pty.slaveFd(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1);
    uartCloseRx(ui);
    ASSERT_EQ(ioctl(pty.slaveFd(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);

    // Open again, the way another program would, and still receive.
    uartOpenRx(ui, icFifoDriverPushChar, &rxFifo);
    ASSERT_TRUE(pty.write("again"));
    EXPECT_EQ(collect(5), "again");
}

struct TxCase {
    const char* name;
    std::size_t queued;
    bool hooksSet;
};
void PrintTo(const TxCase& c, std::ostream* os) { *os << c.name; }

class SerialTransmitTest : public SerialDriverTest, public testing::WithParamInterface<TxCase> {};

TEST_P(SerialTransmitTest, WritesEverythingQueuedAndNothingElse) {
    std::array<Char, 1000> txBuf{};
    IcFifoInstance txFifo{};
    icFifoInit(&txFifo, txBuf.data(), static_cast<IcFifoIndex>(txBuf.size()));
    openRx();
    if (GetParam().hooksSet) {
        uartOpenTx(ui, icFifoDriverPopChar, icFifoDriverCharsToPop, &txFifo);
    }
    std::string queued;
    for (std::size_t i = 0; i < GetParam().queued; ++i) {
        queued.push_back(static_cast<char>(i % 251));
    }
    icFifoPushBlock(&txFifo, queued.data(), static_cast<IcFifoIndex>(queued.size()));

    uartStartTx(ui);
    const std::string expected = GetParam().hooksSet ? queued : std::string();
    EXPECT_EQ(pty.readExactly(expected.size(), 5s), expected);
    EXPECT_EQ(pty.read(50ms), "") << "nothing beyond what was queued";
    EXPECT_EQ(icFifoCharsToPop(&txFifo), GetParam().hooksSet ? 0u : queued.size());
}

INSTANTIATE_TEST_SUITE_P(Queues, SerialTransmitTest,
                         testing::Values(TxCase{"Empty", 0, true}, TxCase{"Ten", 10, true},
                                         TxCase{"MoreThanOneChunk", 600, true}, TxCase{"HooksUnset", 10, false}),
                         [](const testing::TestParamInfo<TxCase>& info) { return info.param.name; });

// --- failures end the process with status 1 and one line on stderr ----------

using SerialDriverDeathTest = SerialDriverTest;

// What an ordinary user meets: without CAP_SYS_ADMIN the system refuses to
// open a line in exclusive mode; with it, only the lock stops a second
// opener. The capability goes for the calling thread, which does the open.
void dropAdministratorRights() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    std::array<__user_cap_data_struct, _LINUX_CAPABILITY_U32S_3> data{};
    if (syscall(SYS_capget, &header, data.data()) == 0) {
        data[CAP_TO_INDEX(CAP_SYS_ADMIN)].effective &= ~CAP_TO_MASK(CAP_SYS_ADMIN);
        (void)syscall(SYS_capset, &header, data.data());
    }
}

struct BusyCase {
    const char* name;
    bool otherSniffer;  // else the line was only left in exclusive mode
    bool administrator;
    const char* message;
};
void PrintTo(const BusyCase& c, std::ostream* os) { *os << c.name; }

class SerialBusyDeathTest : public SerialDriverTest, public testing::WithParamInterface<BusyCase> {};

TEST_P(SerialBusyDeathTest, SaysWhyTheLineIsRefused) {
    const BusyCase& c = GetParam();
    // Each death-test child opens a pair of its own, hence the pattern.
    EXPECT_EXIT(
        {
            if (c.otherSniffer) {
                openRx();
            } else {
                (void)ioctl(pty.slaveFd(), TIOCEXCL);
            }
            if (!c.administrator) {
                dropAdministratorRights();
            }
            UartInstancePtr second = uartNewDevice(pty.slavePath().c_str(), UART_9600);
            uartOpenRx(second, icFifoDriverPushChar, &rxFifo);
            serveUntilTheEnd(second);
        },
        testing::ExitedWithCode(1), c.message);
}

constexpr const char* kInUse = "^cannot open /dev/pts/[0-9]+: port is in use by another program\n$";

INSTANTIATE_TEST_SUITE_P(
    Lines, SerialBusyDeathTest,
    testing::Values(BusyCase{"AnotherSniffer", true, true, kInUse},
                    BusyCase{"AnotherSnifferOrdinaryUser", true, false, kInUse},
                    BusyCase{"LeftExclusive", false, false,
                             "^cannot open /dev/pts/[0-9]+: the port was left in exclusive mode, but no program "
                             "holds its lock .* \\(fuser -v /dev/pts/[0-9]+ lists them\\)"}),
    [](const testing::TestParamInfo<BusyCase>& info) { return info.param.name; });

TEST_F(SerialDriverDeathTest, HangUpWhileReceivingEndsTheProgram) {
    EXPECT_EXIT(
        {
            openRx();
            pty.closeSlave();
            pty.closeMaster();
            serveUntilTheEnd(ui);
        },
        testing::ExitedWithCode(1), "^cannot read /dev/pts/[0-9]+: ");
}

struct OpenFailureCase {
    const char* name;
    const char* device;  // nullptr: the port index names it
    U8 index;
    const char* message;
};
void PrintTo(const OpenFailureCase& c, std::ostream* os) { *os << c.name; }

class SerialOpenFailureDeathTest : public testing::TestWithParam<OpenFailureCase> {};

TEST_P(SerialOpenFailureDeathTest, NamesTheDeviceAndTheReason) {
    const OpenFailureCase& c = GetParam();
    const std::string device = c.device != nullptr ? c.device : "/dev/ttyS" + std::to_string(c.index);
    if (c.device == nullptr && access(device.c_str(), F_OK) == 0) {
        GTEST_SKIP() << device << " exists here and may well open";
    }
    EXPECT_EXIT(
        {
            // An unknown bit rate must not get in the way of the open.
            const auto rate = static_cast<UartBitrate>(7);
            UartInstancePtr port = c.device != nullptr ? uartNewDevice(c.device, rate) : uartNew(c.index, rate);
            uartOpenRx(port, icFifoDriverPushChar, nullptr);
            serveUntilTheEnd(port);
        },
        testing::ExitedWithCode(1), c.message);
}

INSTANTIATE_TEST_SUITE_P(
    Devices, SerialOpenFailureDeathTest,
    testing::Values(OpenFailureCase{"Missing", "/dev/zv-no-such-port", 0,
                                    "^cannot open /dev/zv-no-such-port: No such file or directory\n$"},
                    OpenFailureCase{"NotASerialLine", "/dev/null", 0,
                                    "^cannot configure /dev/null: Inappropriate ioctl for device\n$"},
                    OpenFailureCase{"PortIndex9", nullptr, 9, "^cannot open /dev/ttyS9: "},
                    OpenFailureCase{"PortIndex255", nullptr, 255, "^cannot open /dev/ttyS255: "}),
    [](const testing::TestParamInfo<OpenFailureCase>& info) { return info.param.name; });

}  // namespace
