#include "Appl/zelvanEacSniffer/captureRing.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "capture/zvCapSavefile.h"
#include "hal/include/icLocalTime.h"

std::string captureRingFileName(const std::string& path, U32 number, U64 wall_us) {
    IcLocalTime t{};
    icLocalTimeAt(wall_us, &t);
    std::array<char, 48> tag{};
    std::snprintf(tag.data(), tag.size(), "_%05u_%04u%02u%02uT%02u%02u%02u", static_cast<unsigned>(number),
                  static_cast<unsigned>(t.year), static_cast<unsigned>(t.month), static_cast<unsigned>(t.day),
                  static_cast<unsigned>(t.hour), static_cast<unsigned>(t.minute), static_cast<unsigned>(t.second));
    // The extension of the last path component, unless the name is all
    // extension (".pcap").
    const std::size_t nameStart = path.find_last_of("/\\") == std::string::npos ? 0 : path.find_last_of("/\\") + 1;
    const std::size_t dot = path.find_last_of('.');
    const std::size_t cut = dot != std::string::npos && dot > nameStart ? dot : path.size();
    return path.substr(0, cut) + tag.data() + path.substr(cut);
}

CaptureRing::~CaptureRing() {
    std::string ignored;
    (void)close(ignored);
}

void CaptureRing::setNote(Note note, void* arg) {
    note_ = note;
    noteArg_ = arg;
}

Boolean CaptureRing::open(const std::string& path, const CaptureRingLimits& limits, std::string& error) {
    std::string ignored;
    (void)close(ignored);
    base_ = path;
    limits_ = limits;
    number_ = 0;
    kept_.clear();
    return startFile(error);
}

// Called with no file open.
Boolean CaptureRing::startFile(std::string& error) {
    if (limits_.rotates()) {
        ++number_;
        current_ = captureRingFileName(base_, number_, clock_ != nullptr ? clock_() : icWallClockNow_us());
    } else {
        current_ = base_;
    }
    writer_ = zvCapWriterOpen(current_.c_str(), error);
    if (writer_ == nullptr) {
        return FALSE;
    }
    fileBytes_ = ZV_CAP_FILE_HEADER_SIZE;
    filePackets_ = 0;
    fileStartKnown_ = FALSE;
    if (!limits_.rotates()) {
        return TRUE;
    }
    kept_.push_back(current_);
    while (limits_.keepFiles != 0 && kept_.size() > limits_.keepFiles) {
        errno = 0;
        if (std::remove(kept_.front().c_str()) != 0 && errno != ENOENT && note_ != nullptr) {
            note_(noteArg_, "Could not delete capture file " + kept_.front() + ": " + std::strerror(errno) + "\n");
        }
        kept_.pop_front();
    }
    return TRUE;
}

Boolean CaptureRing::append(U64 wall_us, std::span<const U8> packet, std::string& error) {
    if (writer_ == nullptr) {
        return FALSE;
    }
    const U64 record = ZV_CAP_RECORD_HEADER_SIZE + packet.size();
    // A file that holds no packet yet takes the next whatever its size or
    // age: no empty files, and a packet is never held back.
    const bool full = limits_.maxBytes != 0 && fileBytes_ + record > limits_.maxBytes;
    const bool old = limits_.maxDuration_us != 0 && fileStartKnown_ != FALSE && wall_us > fileStart_us_ &&
                     wall_us - fileStart_us_ >= limits_.maxDuration_us;
    if (filePackets_ != 0 && (full || old)) {
        const Boolean closed = zvCapWriterClose(writer_, error);
        writer_ = nullptr;
        if (closed == FALSE || startFile(error) == FALSE) {
            return FALSE;
        }
    }
    if (zvCapWriterAppend(writer_, wall_us, packet, error) == FALSE) {
        return FALSE;
    }
    if (fileStartKnown_ == FALSE) {
        fileStartKnown_ = TRUE;
        fileStart_us_ = wall_us;
    }
    fileBytes_ += record;
    ++filePackets_;
    return TRUE;
}

Boolean CaptureRing::flush(std::string& error) { return writer_ != nullptr ? zvCapWriterFlush(writer_, error) : FALSE; }

Boolean CaptureRing::close(std::string& error) {
    if (writer_ == nullptr) {
        return TRUE;
    }
    const Boolean ok = zvCapWriterClose(writer_, error);
    writer_ = nullptr;
    return ok;
}
