// Driver interface shared by the serial port driver and the console driver.
#pragma once

#include "fifo/icFifo.h"
#include "hal/include/hal_types.h"

struct UartInstance;
using UartInstancePtr = UartInstance*;

enum UartBitrate : U8 {
    UART_9600 = 0,
    UART_19200 = 1,
    UART_38400 = 2,
    UART_57600 = 3,
    UART_115200 = 4,
};

// Hooks: the application hands in the FIFO functions and a FIFO.
using UartTxPopChar = Char (*)(IcFifoInstance* fifo);
using UartTxCharsToSend = IcFifoIndex (*)(IcFifoInstance* fifo);
using UartRxCb = void (*)(IcFifoInstance* fifo, Char chr);

// --- serial port driver -----------------------------------------------------
void uartInit();
// Port index 0 is the first serial port (/dev/ttyS0).
UartInstancePtr uartNew(U8 port, UartBitrate bitrate);
// Any device path: /dev/ttyUSB0, /dev/serial/by-id/..., a pseudo-terminal.
UartInstancePtr uartNewDevice(const char* devicePath, UartBitrate bitrate);
void uartOpenRx(UartInstancePtr ui, UartRxCb rxCb, IcFifoInstance* userParam);
void uartOpenTx(UartInstancePtr ui, UartTxPopChar popChar, UartTxCharsToSend charsToSend, IcFifoInstance* userParam);
void uartStartTx(void* ui);
void uartStopTx(UartInstancePtr ui);
void uartStartRx(UartInstancePtr ui);
void uartStopRx(UartInstancePtr ui);
void uartExe(UartInstancePtr ui);
void uartCloseTx(UartInstancePtr ui);
void uartCloseRx(UartInstancePtr ui);
void uartDelete(UartInstancePtr ui);

// --- console driver ---------------------------------------------------------
void consoleInit();
UartInstancePtr consoleNew();
void consoleOpenTx(UartInstancePtr ui, UartTxPopChar popChar, UartTxCharsToSend charsToSend, IcFifoInstance* userParam);
void consoleOpenRx(UartInstancePtr ui, UartRxCb rxCb, IcFifoInstance* userParam);
void consoleStartThread(UartInstancePtr ui);
void consoleCloseTx(UartInstancePtr ui);
void consoleCloseRx(UartInstancePtr ui);
void consoleExe(UartInstancePtr ui);
void consoleDelete(UartInstancePtr ui);

// SIGINT, SIGTERM or SIGHUP arrived: the main loop stops in order, as after
// `quit`.
Boolean consoleStopRequested();
// TRUE once after the process was stopped (Ctrl-Z) and continued: the
// console mode is back, but the screen shows what the shell wrote meanwhile,
// so the line being typed wants showing again.
Boolean consoleResumed();
// Writes out everything still queued for the console (at shutdown, before
// the process ends).
void consoleFlush(UartInstancePtr ui);
