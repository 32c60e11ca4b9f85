// The serial port driver apart from the operating system: the record every
// platform's port starts with, the driver interface of multiUart.h written
// once on top of it, and the hooks through which it reaches the port. Each
// platform layer derives its port from IcUartPort and provides the hooks;
// nothing outside the platform layer includes this header.
#pragma once

#include <cstddef>
#include <span>

#include "hal/common/icDriverHandle.h"
#include "hal/include/multiUart.h"

// Bytes taken from the line per read; the receive FIFO holds fewer.
inline constexpr std::size_t kIcUartRxChunk = 256;

// Why the port could not be used. LEFT_EXCLUSIVE: the line refuses to open as
// exclusive, yet nobody holds its lock: a program that had it ended without
// clearing the mode (our own predecessor after SIGKILL, say) while something
// else keeps the line open.
enum class IcUartFailure : U8 { NONE, OPEN, BUSY, LEFT_EXCLUSIVE, CONFIGURE };

struct IcUartPort {
    // `deviceBuffer`: the platform's storage for the device path, as long as
    // the longest path it can open.
    explicit IcUartPort(std::span<char> deviceBuffer) : device(deviceBuffer) {}

    // Tags the record so that a console handle passed to a serial operation
    // is caught instead of misread. First, where every driver keeps its tag.
    U32 tag = kIcUartTag;
    UartTxPopChar uartTxPopChar = nullptr;
    UartFifo txFifo = nullptr;
    UartTxCharsToSend uartTxCharsToSend = nullptr;
    UartRxCb uartRxCb = nullptr;
    UartFifo rxFifo = nullptr;
    const UartFifoOps* fifoOps = nullptr;
    Boolean portIsOpen = FALSE;
    // The receive side is open: uartExe moves bytes.
    bool receiving = false;
    // Set while received bytes wait for uartExe.
    OsalWaitObject rxReady = nullptr;
    IcUartFailure failure = IcUartFailure::NONE;
    UartBitrate bitrate = UART_9600;
    // Set: a failure while receiving closes the port and tells this handler
    // instead of ending the program.
    UartLostCb lostCb = nullptr;
    void* lostCbArg = nullptr;
    std::span<char> device;
    bool deviceNameTooLong = false;
};

// How many bytes may be read now without the receive FIFO dropping any; at
// most kIcUartRxChunk.
std::size_t icUartReceiveRoom(const IcUartPort* port);
// Hands what one read brought into the receive FIFO.
void icUartDeliver(const IcUartPort* port, std::span<const Char> bytes);
// The port failed while receiving: closed and reported to the lost handler,
// or, without one, the end of the program.
void icUartLost(IcUartPort* port, const char* reason);

// ---- hooks each platform layer provides --------------------------------------

// A new port record with its wait object, or nullptr.
IcUartPort* icUartPlatformNew();
void icUartPlatformDelete(IcUartPort* port);
// The device path of the port with index `index` (0 for the first).
void icUartPlatformDeviceName(U8 index, std::span<char> out);
// Opens and configures the device at `bitrate`: sets portIsOpen, or records
// the failure.
void icUartPlatformOpen(IcUartPort* port);
// Lets the device go (receiving has already stopped).
void icUartPlatformClose(IcUartPort* port);
// Makes received bytes set rxReady, and stops that again.
void icUartPlatformStartReceiving(IcUartPort* port);
void icUartPlatformStopReceiving(IcUartPort* port);
// uartExe's work once rxReady is set: one read into the receive FIFO.
void icUartPlatformReceive(IcUartPort* port);
// false when no device is open to take the bytes.
bool icUartPlatformWrite(IcUartPort* port, std::span<const Char> bytes);
// Waits until the line has taken what was written.
void icUartPlatformDrain(IcUartPort* port);
// The device could not be opened or configured (`verb`): the recorded
// failure reported through icUartPlatformReportAndExit.
[[noreturn]] void icUartPlatformOpenFailed(const IcUartPort* port, const char* verb);
// One line on standard error, "cannot <what> <device>: <reason>", then the
// process ends with status 1 (queued console text is written out by the exit
// hook).
[[noreturn]] void icUartPlatformReportAndExit(const char* what, const char* device, const char* reason);
// How the operator knows the device.
const char* icUartPlatformShownName(const char* device);
