// Driver interface shared by the serial port driver and the console driver.
#pragma once

#include "base/hal_types.h"
#include "hal/include/icOsal.h"

struct UartInstance;
using UartInstancePtr = UartInstance*;

enum UartBitrate : U8 {
    UART_9600 = 0,
    UART_19200 = 1,
    UART_38400 = 2,
    UART_57600 = 3,
    UART_115200 = 4,
};

// The FIFOs between a driver and the core, as a driver sees them: a handle it
// only passes back to the functions it was handed with it, and a count.
using UartFifo = void*;
using UartFifoIndex = U16;

// Hooks: the application hands in the FIFO functions and a FIFO.
using UartTxPopChar = Char (*)(UartFifo fifo);
using UartTxCharsToSend = UartFifoIndex (*)(UartFifo fifo);
using UartRxCb = void (*)(UartFifo fifo, Char chr);

// What a driver may do with its FIFOs beyond the byte hooks: ask, without
// side effects, how much a FIFO holds or has room for, and move blocks. The
// application hands in the FIFO's own functions (fifo/icFifoDriverHooks.h);
// a driver never looks inside a FIFO. Without them a driver makes do with the byte hooks: it then
// cannot tell how much room a FIFO has, and a full one drops what is pushed.
struct UartFifoOps {
    UartFifoIndex (*charsHeld)(UartFifo fifo);
    UartFifoIndex (*freeRoom)(UartFifo fifo);
    UartFifoIndex (*pushBlock)(UartFifo fifo, const Char* block, UartFifoIndex len);
    UartFifoIndex (*popBlock)(UartFifo fifo, UartFifoIndex maxCharsToPop, Char* buffer);
};

// The main loop sleeps in one waitForObjects on the drivers' wait objects;
// each is set when the driver's periodic hook (uartExe, consoleExe) has work
// to do, which the hook then does on the main loop's thread. Where a driver
// has a device descriptor the object stands for it; a driver that receives in
// a thread of its own sets it from there. The objects belong to the instance.

// --- serial port driver -----------------------------------------------------
void uartInit();
// Port index 0 is the first serial port (/dev/ttyS0).
UartInstancePtr uartNew(U8 port, UartBitrate bitrate);
// Any device path: /dev/ttyUSB0, /dev/serial/by-id/..., a pseudo-terminal.
UartInstancePtr uartNewDevice(const char* devicePath, UartBitrate bitrate);
void uartOpenRx(UartInstancePtr ui, UartRxCb rxCb, UartFifo userParam);
void uartOpenTx(UartInstancePtr ui, UartTxPopChar popChar, UartTxCharsToSend charsToSend, UartFifo userParam);
void uartStartTx(void* ui);
void uartStopTx(UartInstancePtr ui);
void uartStartRx(UartInstancePtr ui);
void uartStopRx(UartInstancePtr ui);
// Moves what the line has received into the receive FIFO, in one read, as
// far as the FIFO has room; what does not fit waits in the system's buffer.
// A failed read ends the process with status 1.
void uartExe(UartInstancePtr ui);
void uartSetFifoOps(UartInstancePtr ui, const UartFifoOps* ops);
// Set while received bytes wait for uartExe.
OsalWaitObject uartRxWaitObject(UartInstancePtr ui);
// For a sniffer that must outlive an unplugged adapter: with a handler set, a
// port that fails while receiving is closed and the handler hears the device
// and the reason, instead of the program ending with status 1. uartReopen
// then tries to open the same device again: TRUE once it receives again.
using UartLostCb = void (*)(void* arg, const char* device, const char* reason);
void uartSetLostHandler(UartInstancePtr ui, UartLostCb cb, void* arg);
Boolean uartReopen(UartInstancePtr ui);
// The device the port opens, for messages.
const char* uartDeviceName(UartInstancePtr ui);
void uartCloseTx(UartInstancePtr ui);
void uartCloseRx(UartInstancePtr ui);
void uartDelete(UartInstancePtr ui);

// --- console driver ---------------------------------------------------------
// Before consoleInit: the console writes to standard error, because standard
// output carries data of its own (JSON records) that text must not break.
void consoleUseStandardError();
void consoleInit();
UartInstancePtr consoleNew();
void consoleOpenTx(UartInstancePtr ui, UartTxPopChar popChar, UartTxCharsToSend charsToSend, UartFifo userParam);
void consoleOpenRx(UartInstancePtr ui, UartRxCb rxCb, UartFifo userParam);
void consoleStartThread(UartInstancePtr ui);
void consoleCloseTx(UartInstancePtr ui);
void consoleCloseRx(UartInstancePtr ui);
// Takes the keys typed so far into the input FIFO and writes what the output
// FIFO holds to the screen, in one write where it can, without waiting for a
// slow screen (the rest goes out on a later call).
void consoleExe(UartInstancePtr ui);
void consoleSetFifoOps(UartInstancePtr ui, const UartFifoOps* ops);
// Copies the console's wait objects into `list` (room for `maxObjects`) and
// returns how many it copied: set while keys wait, while the screen takes
// output that waits, or on a stop request.
inline constexpr U8 CONSOLE_MAX_WAIT_OBJECTS = 4;
U8 consoleWaitObjects(UartInstancePtr ui, OsalWaitObject* list, U8 maxObjects);
// The output FIFO's make-room hook (icFifoSetMakeRoomFunc with the console
// instance): when output comes faster than the screen takes it, writes some
// out at once, waiting up to 100 ms for the screen, so that text is not lost
// and the serial line waits no longer than its system buffer allows.
void consoleMakeRoom(void* ui);
void consoleDelete(UartInstancePtr ui);

// SIGINT, SIGTERM or SIGHUP arrived: the main loop stops in order, as after
// `quit`.
Boolean consoleStopRequested();
// TRUE once after the process was stopped (Ctrl-Z) and continued: the
// console mode is back, but the screen shows what the shell wrote meanwhile,
// so the line being typed wants showing again.
Boolean consoleResumed();
// Writes out everything still queued for the console (at shutdown, before
// the process ends). A screen that does not take it gets 0.7 s in all, from
// the first flush on the way out; what is left then is dropped.
void consoleFlush(UartInstancePtr ui);
// One byte of standard input, for the port prompt before the console driver
// runs. Reads no further than that byte, so whatever follows is left for the
// console driver. FALSE at the end of the input or on a read error.
Boolean consoleReadStdinByte(Char* chr);
