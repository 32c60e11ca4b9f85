#include "hal/common/icUartPort.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "base/icError.h"
#include "hal/include/icOsal.h"

namespace {

constexpr const char* kModule = "hal/common/icUartPort";

// Bytes popped from the transmit FIFO per write.
constexpr std::size_t kTxChunk = 256;

UartInstancePtr toHandle(IcUartPort* port) { return reinterpret_cast<UartInstancePtr>(port); }

IcUartPort* fromHandle(void* ui) { return icDriverFromHandle<IcUartPort>(ui, kIcUartTag, kModule); }

IcUartPort* newPort(UartBitrate bitrate) {
    IcUartPort* port = icUartPlatformNew();
    if (port != nullptr) {
        port->bitrate = bitrate;
    }
    return port;
}

void openNow(IcUartPort* port) {
    port->failure = IcUartFailure::NONE;
    icUartPlatformOpen(port);
}

void startReceiving(IcUartPort* port) {
    port->receiving = true;
    icUartPlatformStartReceiving(port);
}

void stopReceiving(IcUartPort* port) {
    icUartPlatformStopReceiving(port);
    port->receiving = false;
    osalApi->waitObjectReset(port->rxReady);
}

void closePort(IcUartPort* port) {
    if (port->portIsOpen == TRUE) {
        stopReceiving(port);
        icUartPlatformClose(port);
        port->portIsOpen = FALSE;
    }
}

void openPort(IcUartPort* port, Boolean doOpen) {
    if (doOpen == TRUE) {
        if (port->portIsOpen == FALSE) {
            openNow(port);
        }
    } else {
        closePort(port);
    }
}

const char* failureVerb(IcUartFailure failure) { return failure == IcUartFailure::CONFIGURE ? "configure" : "open"; }

}  // namespace

std::size_t icUartReceiveRoom(const IcUartPort* port) {
    if (port->fifoOps == nullptr || port->fifoOps->freeRoom == nullptr) {
        return kIcUartRxChunk;
    }
    return std::min<std::size_t>(port->fifoOps->freeRoom(port->rxFifo), kIcUartRxChunk);
}

void icUartDeliver(const IcUartPort* port, std::span<const Char> bytes) {
    if (port->fifoOps != nullptr && port->fifoOps->pushBlock != nullptr) {
        // One push for the whole read: the bytes came in together.
        port->fifoOps->pushBlock(port->rxFifo, bytes.data(), static_cast<UartFifoIndex>(bytes.size()));
        return;
    }
    for (const Char byte : bytes) {
        port->uartRxCb(port->rxFifo, byte);
    }
}

void icUartLost(IcUartPort* port, const char* reason) {
    if (port->lostCb != nullptr) {
        closePort(port);
        port->lostCb(port->lostCbArg, icUartPlatformShownName(port->device.data()), reason);
        return;
    }
    icUartPlatformReportAndExit("read", port->device.data(), reason);
}

// ---- driver interface ----------------------------------------------------------

void uartInit() {}

UartInstancePtr uartNew(U8 index, UartBitrate bitrate) {
    IcUartPort* port = newPort(bitrate);
    if (port != nullptr) {
        icUartPlatformDeviceName(index, port->device);
    }
    return toHandle(port);
}

UartInstancePtr uartNewDevice(const char* devicePath, UartBitrate bitrate) {
    IC_ASSERT(kModule, devicePath != nullptr);
    IcUartPort* port = newPort(bitrate);
    if (port != nullptr) {
        const int len = std::snprintf(port->device.data(), port->device.size(), "%s", devicePath);
        port->deviceNameTooLong = len < 0 || static_cast<std::size_t>(len) >= port->device.size();
    }
    return toHandle(port);
}

void uartOpenRx(UartInstancePtr ui, UartRxCb rxCb, UartFifo userParam) {
    IcUartPort* port = fromHandle(ui);
    if (port == nullptr || port->receiving) {
        return;
    }
    port->uartRxCb = rxCb;
    port->rxFifo = userParam;
    openPort(port, TRUE);
    if (port->portIsOpen == FALSE) {
        // Queued console text goes out on the way (the exit hook).
        icUartPlatformOpenFailed(port, failureVerb(port->failure));
    }
    startReceiving(port);
}

void uartOpenTx(UartInstancePtr ui, UartTxPopChar popChar, UartTxCharsToSend charsToSend, UartFifo userParam) {
    IcUartPort* port = fromHandle(ui);
    if (port == nullptr) {
        return;
    }
    port->uartTxPopChar = popChar;
    port->uartTxCharsToSend = charsToSend;
    port->txFifo = userParam;
    openPort(port, TRUE);
}

void uartStartTx(void* ui) {
    IcUartPort* port = fromHandle(ui);
    if (port == nullptr || port->uartTxPopChar == nullptr || port->uartTxCharsToSend == nullptr) {
        return;
    }
    // The start hook fires only when a push finds the FIFO empty, so nothing
    // may be left behind: take chunks until the FIFO is empty.
    std::array<Char, kTxChunk> buf{};
    bool wrote = false;
    for (;;) {
        std::size_t n = 0;
        while (n < buf.size() && port->uartTxCharsToSend(port->txFifo) > 0) {
            buf[n++] = port->uartTxPopChar(port->txFifo);
        }
        if (n == 0) {
            break;
        }
        if (icUartPlatformWrite(port, std::span<const Char>(buf.data(), n))) {
            wrote = true;
        }
    }
    if (wrote) {
        icUartPlatformDrain(port);
    }
}

void uartStopTx(UartInstancePtr) {}
void uartStartRx(UartInstancePtr) {}
void uartStopRx(UartInstancePtr) {}

void uartExe(UartInstancePtr ui) {
    IcUartPort* port = fromHandle(ui);
    if (port == nullptr || !port->receiving || osalWaitObjIsSet(port->rxReady) == FALSE || port->uartRxCb == nullptr) {
        return;
    }
    icUartPlatformReceive(port);
}

const char* uartDeviceName(UartInstancePtr ui) {
    const IcUartPort* port = fromHandle(ui);
    return port != nullptr ? icUartPlatformShownName(port->device.data()) : "";
}

void uartSetLostHandler(UartInstancePtr ui, UartLostCb cb, void* arg) {
    IcUartPort* port = fromHandle(ui);
    if (port != nullptr) {
        port->lostCb = cb;
        port->lostCbArg = arg;
    }
}

Boolean uartReopen(UartInstancePtr ui) {
    IcUartPort* port = fromHandle(ui);
    if (port == nullptr || port->uartRxCb == nullptr) {
        return FALSE;
    }
    if (port->portIsOpen == FALSE) {
        openNow(port);
        if (port->portIsOpen == FALSE) {
            return FALSE;
        }
    }
    if (!port->receiving) {
        startReceiving(port);
    }
    return TRUE;
}

void uartSetFifoOps(UartInstancePtr ui, const UartFifoOps* ops) {
    IcUartPort* port = fromHandle(ui);
    if (port != nullptr) {
        port->fifoOps = ops;
    }
}

OsalWaitObject uartRxWaitObject(UartInstancePtr ui) {
    IcUartPort* port = fromHandle(ui);
    return port != nullptr ? port->rxReady : nullptr;
}

void uartCloseTx(UartInstancePtr ui) {
    IcUartPort* port = fromHandle(ui);
    if (port == nullptr) {
        return;
    }
    port->uartTxPopChar = nullptr;
    port->uartTxCharsToSend = nullptr;
    openPort(port, FALSE);
}

void uartCloseRx(UartInstancePtr ui) {
    IcUartPort* port = fromHandle(ui);
    if (port == nullptr) {
        return;
    }
    stopReceiving(port);
    openPort(port, FALSE);
    port->uartRxCb = nullptr;
}

void uartDelete(UartInstancePtr ui) {
    IcUartPort* port = fromHandle(ui);
    if (port == nullptr) {
        return;
    }
    stopReceiving(port);
    openPort(port, FALSE);
    port->tag = 0;
    icUartPlatformDelete(port);
}
