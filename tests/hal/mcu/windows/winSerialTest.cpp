// The COM port set-up: the line settings on top of what a port had, the
// time-outs, the device names, and the report of a port that cannot be opened.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "fifo/icFifo.h"
#include "fifo/icFifoDriverHooks.h"
#include "hal/include/multiUart.h"
#include "hal/mcu/windows/icWinSerial.h"

namespace {

// A port as a driver might hand it over: everything the sniffer must not
// inherit switched on.
DCB hostileDcb() {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = CBR_1200;
    dcb.ByteSize = 7;
    dcb.Parity = EVENPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fParity = TRUE;
    dcb.fNull = TRUE;
    dcb.fErrorChar = TRUE;
    dcb.fAbortOnError = TRUE;
    dcb.fDsrSensitivity = TRUE;
    dcb.fOutxCtsFlow = TRUE;
    dcb.fOutxDsrFlow = TRUE;
    dcb.fOutX = TRUE;
    dcb.fInX = TRUE;
    dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
    return dcb;
}

TEST(WinSerialTest, LineSettingsOverrideWhatBlocksOrChangesBytes) {
    const std::pair<int, DWORD> rates[] = {
        {UART_9600, 9600},   {UART_19200, 19200},   {UART_38400, 38400},
        {UART_57600, 57600}, {UART_115200, 115200}, {7, 9600},
    };
    for (const auto& [bitrate, bitsPerSecond] : rates) {
        DCB dcb = hostileDcb();
        icWinSerialApplyLineSettings(dcb, static_cast<UartBitrate>(bitrate));
        EXPECT_EQ(dcb.BaudRate, bitsPerSecond) << bitrate;
        EXPECT_EQ(dcb.ByteSize, 8);
        EXPECT_EQ(dcb.Parity, NOPARITY);
        EXPECT_EQ(dcb.StopBits, TWOSTOPBITS);
        EXPECT_TRUE(dcb.fBinary);
        const DWORD flags[] = {dcb.fParity,       dcb.fNull,           dcb.fErrorChar,
                               dcb.fAbortOnError, dcb.fDsrSensitivity, dcb.fOutxCtsFlow,
                               dcb.fOutxDsrFlow,  dcb.fOutX,           dcb.fInX};
        for (const DWORD flag : flags) {
            EXPECT_EQ(flag, 0U);
        }
        EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));
        EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_ENABLE));
    }
    // Direction control of an RS-485 adapter and a lowered line stay as set.
    DCB dcb = hostileDcb();
    dcb.fRtsControl = RTS_CONTROL_TOGGLE;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    icWinSerialApplyLineSettings(dcb, UART_19200);
    EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_TOGGLE));
    EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_DISABLE));
}

TEST(WinSerialTest, ReadsReturnAtOnceAndWritesWait) {
    const COMMTIMEOUTS t = icWinSerialTimeouts();
    EXPECT_EQ(t.ReadIntervalTimeout, MAXDWORD);
    EXPECT_EQ(t.ReadTotalTimeoutMultiplier + t.ReadTotalTimeoutConstant, 0U);
    EXPECT_EQ(t.WriteTotalTimeoutMultiplier + t.WriteTotalTimeoutConstant, 0U);
}

TEST(WinSerialTest, PortIndexNamesTheDeviceAndTheOperatorSeesItsComName) {
    const std::pair<U8, std::string> names[] = {{0, "COM1"}, {9, "COM10"}, {255, "COM256"}};
    for (const auto& [port, com] : names) {
        std::array<char, 32> device{};
        icWinSerialDeviceName(port, device.data(), device.size());
        EXPECT_EQ(std::string(device.data()), "\\\\.\\" + com);
        EXPECT_EQ(std::string(icWinSerialShownName(device.data())), com);
    }
    EXPECT_STREQ(icWinSerialShownName("/dev/ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_STREQ(icWinSerialShownName("\\\\.\\pipe\\x"), "\\\\.\\pipe\\x");
}

// Opens COM219, which no machine has, and waits for the receive thread to end
// the process.
[[noreturn]] void openMissingPort() {
    static std::array<Char, 64> buf{};
    static IcFifoInstance fifo{};
    icFifoInit(&fifo, buf.data(), static_cast<IcFifoIndex>(buf.size()));
    uartOpenRx(uartNew(218, UART_115200), icFifoDriverPushChar, &fifo);
    for (;;) {
        Sleep(1000);
    }
}

TEST(WinSerialDeathTest, PortThatDoesNotExistEndsTheProcessWithItsName) {
    EXPECT_EXIT(openMissingPort(), testing::ExitedWithCode(1),
                testing::HasSubstr("cannot open COM219: the port does not exist\n"));
}
}  // namespace
