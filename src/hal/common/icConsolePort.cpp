#include "hal/common/icConsolePort.h"

#include <algorithm>

#include "base/icError.h"
#include "hal/include/icOsal.h"

namespace {

constexpr const char* kModule = "hal/common/icConsolePort";

constexpr std::chrono::milliseconds kExitOutputBudget{700};

using Clock = std::chrono::steady_clock;

std::atomic<bool> stopRequested{false};
std::atomic<IcConsolePort*> activeConsole{nullptr};

UartInstancePtr toHandle(IcConsolePort* port) { return reinterpret_cast<UartInstancePtr>(port); }

IcConsolePort* fromHandle(void* ui) { return icDriverFromHandle<IcConsolePort>(ui, kIcConsoleTag, kModule); }

// Folds each line end of piped input into one CR; returns how many
// characters are left at the front of `keys`.
std::size_t foldLineEnds(IcConsolePort* port, std::span<Char> keys) {
    std::size_t kept = 0;
    for (Char chr : keys) {
        const bool afterCr = port->lastWasCr;
        port->lastWasCr = chr == '\r';
        if (chr == '\n') {
            if (afterCr) {
                continue;
            }
            chr = '\r';
        }
        keys[kept++] = chr;
    }
    return kept;
}

}  // namespace

std::size_t icConsoleInputRoom(const IcConsolePort* port) {
    const UartFifoOps* ops = port->fifoOps.load();
    if (ops == nullptr || ops->freeRoom == nullptr) {
        return kIcConsoleInputChunk;
    }
    return std::min<std::size_t>(ops->freeRoom(port->rxFifo.load()), kIcConsoleInputChunk);
}

std::size_t icConsoleDeliver(IcConsolePort* port, std::span<Char> keys) {
    const UartRxCb rxCb = port->uartRxCb.load();
    if (rxCb == nullptr) {
        return 0;
    }
    const std::size_t count = port->keysAsTyped ? keys.size() : foldLineEnds(port, keys);
    const UartFifo fifo = port->rxFifo.load();
    const UartFifoOps* ops = port->fifoOps.load();
    if (count > 0 && ops != nullptr && ops->pushBlock != nullptr) {
        // One push for the whole read: the keys came in together.
        ops->pushBlock(fifo, keys.data(), static_cast<UartFifoIndex>(count));
    } else {
        for (std::size_t i = 0; i < count; ++i) {
            rxCb(fifo, keys[i]);
        }
    }
    return count;
}

std::size_t icConsoleTakeOutput(IcConsolePort* port, std::span<Char> out) {
    const UartFifo fifo = port->txFifo.load();
    const UartTxPopChar pop = port->uartTxPopChar.load();
    if (fifo == nullptr || pop == nullptr) {
        return 0;
    }
    std::size_t n = 0;
    const UartFifoOps* ops = port->fifoOps.load();
    if (ops != nullptr && ops->popBlock != nullptr) {
        while (n < out.size()) {
            const auto want = static_cast<UartFifoIndex>(std::min<std::size_t>(out.size() - n, 0xFFFF));
            const UartFifoIndex got = ops->popBlock(fifo, want, out.data() + n);
            if (got == 0) {
                break;
            }
            n += got;
        }
        return n;
    }
    const UartTxCharsToSend count = port->uartTxCharsToSend.load();
    while (count != nullptr && n < out.size() && count(fifo) > 0) {
        out[n++] = pop(fifo);
    }
    return n;
}

bool icConsoleOutputWaits(const IcConsolePort* port) {
    const UartFifoOps* ops = port->fifoOps.load();
    return ops == nullptr || ops->charsHeld == nullptr || ops->charsHeld(port->txFifo.load()) > 0;
}

bool icConsoleRequestStop() { return stopRequested.exchange(true); }

IcConsolePort* icConsoleActive() { return activeConsole.load(); }

std::recursive_timed_mutex& icConsoleOutputLock() {
    static auto* const mutex = new std::recursive_timed_mutex;
    return *mutex;
}

Clock::time_point icConsoleExitDeadline() {
    static std::atomic<Clock::rep> deadline{0};
    Clock::rep expected = 0;
    const Clock::rep mine = (Clock::now() + kExitOutputBudget).time_since_epoch().count();
    return Clock::time_point(Clock::duration(deadline.compare_exchange_strong(expected, mine) ? mine : expected));
}

bool icConsoleLockOutputUntil(Clock::time_point deadline) {
    const auto left = deadline - Clock::now();
    return icConsoleOutputLock().try_lock_for(left < kIcConsoleExitLockWait ? left : kIcConsoleExitLockWait);
}

// ---- driver interface ----------------------------------------------------------

void consoleInit() {}

UartInstancePtr consoleNew() {
    IcConsolePort* port = icConsolePlatformNew();
    if (port != nullptr) {
        activeConsole = port;
    }
    return toHandle(port);
}

void consoleOpenTx(UartInstancePtr ui, UartTxPopChar popChar, UartTxCharsToSend charsToSend, UartFifo userParam) {
    IcConsolePort* port = fromHandle(ui);
    if (port == nullptr) {
        return;
    }
    port->txFifo = userParam;
    port->uartTxCharsToSend = charsToSend;
    port->uartTxPopChar = popChar;
    icConsolePlatformHooksChanged(port);
    consoleStartThread(ui);
}

void consoleOpenRx(UartInstancePtr ui, UartRxCb rxCb, UartFifo userParam) {
    IcConsolePort* port = fromHandle(ui);
    if (port == nullptr) {
        return;
    }
    port->rxFifo = userParam;
    port->uartRxCb = rxCb;
    icConsolePlatformHooksChanged(port);
    consoleStartThread(ui);
}

void consoleStartThread(UartInstancePtr ui) {
    IcConsolePort* port = fromHandle(ui);
    if (port != nullptr) {
        icConsolePlatformStart(port);
    }
}

void consoleExe(UartInstancePtr ui) {
    IcConsolePort* port = fromHandle(ui);
    if (port != nullptr) {
        icConsolePlatformExe(port);
    }
}

void consoleSetFifoOps(UartInstancePtr ui, const UartFifoOps* ops) {
    IcConsolePort* port = fromHandle(ui);
    if (port != nullptr) {
        port->fifoOps = ops;
    }
}

U8 consoleWaitObjects(UartInstancePtr ui, OsalWaitObject* list, U8 maxObjects) {
    const IcConsolePort* port = fromHandle(ui);
    if (port == nullptr || list == nullptr) {
        return 0;
    }
    const U8 count = std::min(port->waitCount, maxObjects);
    std::copy_n(port->waits.begin(), count, list);
    return count;
}

void consoleMakeRoom(void* ui) {
    IcConsolePort* port = fromHandle(ui);
    if (port != nullptr) {
        icConsolePlatformMakeRoom(port);
    }
}

void consoleCloseTx(UartInstancePtr ui) {
    IcConsolePort* port = fromHandle(ui);
    if (port == nullptr) {
        return;
    }
    icConsolePlatformStop(port);
    port->uartTxPopChar = nullptr;
    port->uartTxCharsToSend = nullptr;
    icConsolePlatformRestoreMode();
}

void consoleCloseRx(UartInstancePtr ui) {
    IcConsolePort* port = fromHandle(ui);
    if (port == nullptr) {
        return;
    }
    icConsolePlatformStop(port);
    port->uartRxCb = nullptr;
    icConsolePlatformRestoreMode();
}

void consoleDelete(UartInstancePtr ui) {
    IcConsolePort* port = fromHandle(ui);
    if (port == nullptr) {
        return;
    }
    IcConsolePort* expected = port;
    activeConsole.compare_exchange_strong(expected, nullptr);
    icConsolePlatformStop(port);
    icConsolePlatformRestoreMode();
    port->tag = 0;
    icConsolePlatformDelete(port);
}

Boolean consoleStopRequested() { return stopRequested.load() ? TRUE : FALSE; }

void consoleFlush(UartInstancePtr ui) {
    IcConsolePort* port = fromHandle(ui);
    if (port != nullptr) {
        icConsolePlatformFlush(port);
    }
}
