// A pseudo-terminal pair that stands in for a serial line in tests: the code
// under test opens slavePath() like /dev/ttyUSB0, the test plays the other end
// of the line through the master side.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

class PtyPair {
public:
    // Opens the pair, both sides in raw mode (8 bits, no echo, no line
    // editing, no CR/LF translation). Check ok() before use.
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool ok() const { return masterFd_ >= 0 && slaveFd_ >= 0; }
    // Why the pair could not be opened (empty when ok()).
    const std::string& error() const { return error_; }

    // Device path of the slave side, e.g. /dev/pts/7.
    const std::string& slavePath() const { return slavePath_; }
    int masterFd() const { return masterFd_; }
    // The pair keeps a descriptor on the slave side of its own: the line does
    // not hang up while the code under test opens and closes the device, and
    // tests can read back its termios settings through it. -1 after
    // closeSlave().
    int slaveFd() const { return slaveFd_; }

    // Feeds bytes into the line (what a reader of the slave side receives).
    // Waits while the line's buffers are full; false on an error or when the
    // time-out runs out before everything was written.
    bool write(std::string_view bytes, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // What the slave side wrote to the line: waits up to `timeout` for the
    // first byte, then takes whatever else is there at once (at most maxBytes).
    // Empty when nothing came.
    std::string read(std::chrono::milliseconds timeout, std::size_t maxBytes = 4096);
    // Reads until `count` bytes arrived or the time-out ran out; returns what
    // arrived.
    std::string readExactly(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10));

    // Drops the pair's own slave descriptor (the line hangs up for the master
    // once the code under test closes the device too).
    void closeSlave();
    // Drops the master: a reader of the slave side sees a hang-up.
    void closeMaster();

private:
    int masterFd_ = -1;
    int slaveFd_ = -1;
    std::string slavePath_;
    std::string error_;
};
