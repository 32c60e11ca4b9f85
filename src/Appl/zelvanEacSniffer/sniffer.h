// The running sniffer: everything the wiring, the main loop and the console
// commands share, built once in main and handed to the parts that need it.
#pragma once

#include <array>

#include "Appl/zelvanEacSniffer/busObserver.h"
#include "Appl/zelvanEacSniffer/capture.h"
#include "Appl/zelvanEacSniffer/commandLine.h"
#include "Appl/zelvanEacSniffer/jsonOutput.h"
#include "Appl/zelvanEacSniffer/reconnect.h"
#include "Appl/zelvanEacSniffer/topView.h"
#include "eac/zelvan/zvEacNetwork.h"
#include "fifo/icFifo.h"
#include "filter/zvEacFilter.h"
#include "hal/include/multiUart.h"

inline constexpr IcFifoIndex kSnifferFifoTxSize = 255;
inline constexpr IcFifoIndex kSnifferFifoRxSize = 255;
inline constexpr IcFifoIndex kSnifferFifoShellTxSize = 5000;
inline constexpr IcFifoIndex kSnifferFifoShellRxSize = 255;

struct Sniffer {
    MainCommandLine cli;
    Boolean running = FALSE;
    UartInstancePtr comAinst = nullptr;  // the serial port
    UartInstancePtr ui = nullptr;        // the console
    ZvEacNwkInst nwkInst{};
    BusObserver observer{};
    CaptureRecorder recorder;
    JsonOutput json;
    // Started with --json -: standard output is the records', the console
    // writes to standard error.
    bool stdoutIsJson = false;
    PortReconnect reconnect{};
    TopView top;

    IcFifoInstance fifoTx{};
    IcFifoInstance fifoRx{};
    IcFifoInstance fifoShellTx{};
    IcFifoInstance fifoShellRx{};
    std::array<Char, kSnifferFifoTxSize> fifoBufTx{};
    std::array<Char, kSnifferFifoRxSize> fifoBufRx{};
    // When each received byte came off the line: the frame receiver measures
    // the gaps inside a frame by these, not by when the main loop got round
    // to it.
    std::array<U16, kSnifferFifoRxSize> fifoRxArrivalTicks{};
    // ... and the microseconds into those ticks, for the capture's stamps.
    std::array<U16, kSnifferFifoRxSize> fifoRxArrivalMicros{};
    std::array<Char, kSnifferFifoShellTxSize> fifoShellBufTx{};
    std::array<Char, kSnifferFifoShellRxSize> fifoShellBufRx{};

    // Console replies that outlive the command that made them.
    std::array<char, ZV_EAC_FILTER_TEXT_MAX + 16> filterReply{};
    std::array<char, 512> statsCsvReply{};
};

// Text for the console, through the shell.
void snifferPrint(const char* text);
