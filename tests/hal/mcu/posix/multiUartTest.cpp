#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <string>
#include <thread>

#include "fifo/icFifo.h"
#include "hal/include/icOsal.h"
#include "hal/include/multiUart.h"
#include "support/ptyPair.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Pops from the FIFO until `count` bytes came or the time-out ran out;
// `pauseEvery` > 0 makes a slow consumer that lets the FIFO fill up.
std::string collect(IcFifoInstance& fifo, std::size_t count, std::size_t pauseEvery = 0,
                    std::chrono::milliseconds timeout = 20s) {
    std::string got;
    const auto deadline = Clock::now() + timeout;
    while (got.size() < count && Clock::now() < deadline) {
        if (icFifoCharsToPop(&fifo) == 0) {
            osalApi->waitForObjects(&fifo.event, 1, 10);
            continue;
        }
        got.push_back(icFifoPopChar(&fifo));
        if (pauseEvery > 0 && got.size() % pauseEvery == 0) {
            std::this_thread::sleep_for(1ms);
        }
    }
    return got;
}

[[noreturn]] void waitForTheEnd() {
    for (;;) {
        osalApi->sleep(1000);
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
        uartOpenRx(ui, icFifoPushChar, &rxFifo);
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
    EXPECT_EQ(collect(rxFifo, all.size()), all);
}

TEST_F(SerialDriverTest, BurstLargerThanTheFifoArrivesCompleteWithASlowConsumer) {
    openRx();
    std::string burst;
    for (int i = 0; i < 6000; ++i) {
        burst.push_back(static_cast<char>((i * 7 + i / 256) & 0xFF));
    }
    bool written = false;
    std::thread writer([&] { written = pty.write(burst, 30s); });
    const std::string got = collect(rxFifo, burst.size(), 64, 30s);
    writer.join();
    EXPECT_TRUE(written);
    ASSERT_EQ(got.size(), burst.size());
    EXPECT_TRUE(got == burst) << "bytes arrived complete but changed or reordered";
}

struct RateCase {
    UartBitrate rate;
    speed_t speed;
};

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
                                         RateCase{UART_115200, B115200}, RateCase{static_cast<UartBitrate>(7), B9600}));

TEST_F(SerialDriverTest, SecondOpenAfterTheFirstDoesNotReconfigure) {
    openRx(UART_19200);
    termios tio{};
    ASSERT_EQ(tcgetattr(pty.slaveFd(), &tio), 0);
    cfsetispeed(&tio, B4800);
    cfsetospeed(&tio, B4800);
    ASSERT_EQ(tcsetattr(pty.slaveFd(), TCSANOW, &tio), 0);

    uartOpenTx(ui, icFifoPopChar, icFifoCharsToPop, nullptr);
    uartOpenRx(ui, icFifoPushChar, &rxFifo);
    ASSERT_EQ(tcgetattr(pty.slaveFd(), &tio), 0);
    EXPECT_EQ(cfgetispeed(&tio), static_cast<speed_t>(B4800));
    ASSERT_TRUE(pty.write("ok"));
    EXPECT_EQ(collect(rxFifo, 2), "ok") << "still exactly one receive thread";
}

TEST_F(SerialDriverTest, ClosingGivesTheLineBackForTheNextProgram) {
    openRx();
    int exclusive = 0;
    ASSERT_EQ(ioctl(pty.slaveFd(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1);
    uartCloseRx(ui);
    ASSERT_EQ(ioctl(pty.slaveFd(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);

    // Open again, the way another program would, and still receive.
    uartOpenRx(ui, icFifoPushChar, &rxFifo);
    ASSERT_TRUE(pty.write("again"));
    EXPECT_EQ(collect(rxFifo, 5), "again");
}

struct TxCase {
    const char* name;
    std::size_t queued;
    bool hooksSet;
};

class SerialTransmitTest : public SerialDriverTest, public testing::WithParamInterface<TxCase> {};

TEST_P(SerialTransmitTest, WritesEverythingQueuedAndNothingElse) {
    std::array<Char, 1000> txBuf{};
    IcFifoInstance txFifo{};
    icFifoInit(&txFifo, txBuf.data(), static_cast<IcFifoIndex>(txBuf.size()));
    openRx();
    if (GetParam().hooksSet) {
        uartOpenTx(ui, icFifoPopChar, icFifoCharsToPop, &txFifo);
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

TEST_F(SerialDriverTest, StartTxHookOfTheFifoSendsAtOnce) {
    std::array<Char, 255> txBuf{};
    IcFifoInstance txFifo{};
    icFifoInit(&txFifo, txBuf.data(), static_cast<IcFifoIndex>(txBuf.size()));
    openRx();
    uartOpenTx(ui, icFifoPopChar, icFifoCharsToPop, &txFifo);
    icFifoSetStartTxFunc(&txFifo, uartStartTx, ui);
    icFifoPushChar(&txFifo, '\x02');
    EXPECT_EQ(pty.readExactly(1, 5s), "\x02");
}

// --- failures end the process with status 1 and one line on stderr ----------

using SerialDriverDeathTest = SerialDriverTest;

TEST_F(SerialDriverDeathTest, MissingDeviceIsNamedWithTheSystemsReason) {
    EXPECT_EXIT(
        {
            UartInstancePtr missing = uartNewDevice("/dev/zv-no-such-port", UART_9600);
            uartOpenRx(missing, icFifoPushChar, &rxFifo);
            waitForTheEnd();
        },
        testing::ExitedWithCode(1), "^cannot open /dev/zv-no-such-port: No such file or directory\n$");
}

TEST_F(SerialDriverDeathTest, SecondProgramOnABusyLineIsRefused) {
    // Each death-test child opens a pair of its own, hence the pattern.
    EXPECT_EXIT(
        {
            openRx();
            UartInstancePtr second = uartNewDevice(pty.slavePath().c_str(), UART_9600);
            uartOpenRx(second, icFifoPushChar, &rxFifo);
            waitForTheEnd();
        },
        testing::ExitedWithCode(1), "^cannot open /dev/pts/[0-9]+: port is in use by another program\n$");
}

TEST_F(SerialDriverDeathTest, DeviceThatIsNoSerialLineCannotBeConfigured) {
    EXPECT_EXIT(
        {
            UartInstancePtr notTty = uartNewDevice("/dev/null", UART_9600);
            uartOpenRx(notTty, icFifoPushChar, &rxFifo);
            waitForTheEnd();
        },
        testing::ExitedWithCode(1), "^cannot configure /dev/null: Inappropriate ioctl for device\n$");
}

TEST_F(SerialDriverDeathTest, HangUpWhileReceivingEndsTheProgram) {
    EXPECT_EXIT(
        {
            openRx();
            pty.closeSlave();
            pty.closeMaster();
            waitForTheEnd();
        },
        testing::ExitedWithCode(1), "^cannot read /dev/pts/[0-9]+: ");
}

TEST_F(SerialDriverDeathTest, PortIndexNamesTheLinuxSerialDevice) {
    for (const auto& [index, device] : {std::pair<U8, const char*>{9, "/dev/ttyS9"}, {255, "/dev/ttyS255"}}) {
        if (access(device, F_OK) == 0) {
            continue;  // a real port by that name: it may well open
        }
        EXPECT_EXIT(
            {
                uartOpenRx(uartNew(index, static_cast<UartBitrate>(7)), icFifoPushChar, &rxFifo);
                waitForTheEnd();
            },
            testing::ExitedWithCode(1), std::string("^cannot open ") + device + ": ");
    }
}

}  // namespace
