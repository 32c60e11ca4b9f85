// The serial driver's set-up of a COM port, apart from the port itself so
// that it can be checked without one.
#pragma once

#include <cstddef>

#include "hal/include/multiUart.h"
#include "hal/mcu/windows/icWin.h"

// The line as the sniffer needs it, on top of what the port had: the bit
// rate (9600 for an unknown value), 8 data bits, no parity, two stop bits,
// every byte kept (NUL included, nothing replaced, no read stopped by a line
// error) and no flow control that could hold the line or the reads back.
void icWinSerialApplyLineSettings(DCB& dcb, UartBitrate bitrate);

// Reads return at once with what has arrived, possibly nothing; writes have
// no time limit.
COMMTIMEOUTS icWinSerialTimeouts();

// The device path of the port with index `port` (0 for COM1): "\\.\COM1".
void icWinSerialDeviceName(U8 port, char* out, std::size_t size);

// How the operator knows the port: "COM3" for "\\.\COM3", any other path as
// it is.
const char* icWinSerialShownName(const char* device);
