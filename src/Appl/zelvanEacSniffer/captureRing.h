// A capture written as a ring of files for unattended runs: a new numbered
// file starts when the current one reaches its size or its time, and only
// the newest files of the run are kept. A file changes only between packets,
// so each file holds whole packets and reads on its own. Without limits it
// is the one file named.
//
// Names: the given FILE with "_NNNNN_YYYYMMDDTHHMMSS" before its extension
// (bus.pcap: bus_00001_20261208T101500.pcap), the number counting the run's
// files from 1, the time the file was started (local time). Within a run the
// names sort in the order of the files; the time keeps runs apart.
#pragma once

#include <deque>
#include <span>
#include <string>

#include "base/hal_types.h"
#include "capture/zvCapFile.h"

struct CaptureRingLimits {
    U64 maxBytes = 0;        // 0: any size; a file ends before the packet that would take it beyond
    U64 maxDuration_us = 0;  // 0: any time; a file ends before the first packet stamped this long after its start
    U32 keepFiles = 0;       // 0: all; else the run deletes its older files
    bool rotates() const { return maxBytes != 0 || maxDuration_us != 0; }
};

// The name of file `number` of a ring on `path`, started at `wall_us`.
std::string captureRingFileName(const std::string& path, U32 number, U64 wall_us);

class CaptureRing {
public:
    // Told of a file of the run that could not be deleted.
    using Note = void (*)(void* arg, const std::string& text);
    using Clock = U64 (*)();

    CaptureRing() = default;
    ~CaptureRing();
    CaptureRing(const CaptureRing&) = delete;
    CaptureRing& operator=(const CaptureRing&) = delete;

    void setNote(Note note, void* arg);
    // The wall clock the file names are taken from (tests pin it).
    void setClock(Clock clock) { clock_ = clock; }
    // Opens the first file; FALSE with the reason when it cannot be created.
    Boolean open(const std::string& path, const CaptureRingLimits& limits, std::string& error);
    // Appends one packet, after starting the next file where a limit says
    // so; FALSE with the reason when the packet did not go into a file.
    Boolean append(U64 wall_us, std::span<const U8> packet, std::string& error);
    Boolean flush(std::string& error);
    // Closes the file; FALSE (with `error`) when its last data did not reach it.
    Boolean close(std::string& error);
    bool isOpen() const { return writer_ != nullptr; }
    // The file being written (the last one, once closed).
    const std::string& currentPath() const { return current_; }

private:
    Boolean startFile(std::string& error);

    ZvCapWriter* writer_ = nullptr;
    std::string base_;
    std::string current_;
    CaptureRingLimits limits_{};
    Clock clock_ = nullptr;
    Note note_ = nullptr;
    void* noteArg_ = nullptr;
    U32 number_ = 0;
    U64 fileBytes_ = 0;
    U64 filePackets_ = 0;
    U64 fileStart_us_ = 0;
    Boolean fileStartKnown_ = FALSE;
    // The run's files still on disk, oldest first.
    std::deque<std::string> kept_;
};
