#include "Appl/zelvanEacSniffer/topView.h"

#include <array>
#include <cstdio>

#include "Appl/zelvanEacSniffer/sniffer.h"
#include "Shell/shell.h"
#include "hal/include/icScreen.h"
#include "logger/logger.h"
#include "stats/zvEacStats.h"

namespace {

constexpr U64 kDrawEvery_us = 250000;      // at most four times a second
constexpr U64 kFiguresEvery_us = 1000000;  // the header's figures move on
constexpr U64 kMinute_us = 60000000;

constexpr Char kEscape = 0x1b;
constexpr Char kBackspace = 0x08;
constexpr Char kDelete = 0x7f;

U32 dropsOf(const ZvEacStatsLineView& line) {
    U32 drops = 0;
    for (const U32 n : line.drops) {
        drops += n;
    }
    return drops;
}

}  // namespace

Boolean TopView::open(Sniffer& sniffer, bool endsProgram, std::string& reason) {
    if (active()) {
        return TRUE;
    }
    if (icScreenOpen(reason) == FALSE) {
        return FALSE;
    }
    sniffer_ = &sniffer;
    endsProgram_ = endsProgram;
    typingFilter_ = false;
    dirty_ = true;
    lastDraw_us_ = 0;
    samples_.clear();
    // The view owns the screen: reports still reach the log file and the
    // records, not the console.
    loggerSetScreenOutput(FALSE);
    savedPrompt_ = sniffer.observer.prompt;
    sniffer.observer.prompt = nullptr;
    exe();
    return TRUE;
}

void TopView::close() {
    if (!active()) {
        return;
    }
    Sniffer& sniffer = *sniffer_;
    sniffer_ = nullptr;
    icScreenClose();
    loggerSetScreenOutput(TRUE);
    sniffer.observer.prompt = savedPrompt_;
    shellRedrawLine();
}

void TopView::key(Char key) {
    if (!active()) {
        return;
    }
    dirty_ = true;
    if (typingFilter_) {
        if (key == '\r' || key == '\n') {
            if (typing_.empty() || zvEacViewFilterValid(typing_) != FALSE) {
                filter_ = typing_;
                typingFilter_ = false;
            }
        } else if (key == kEscape) {
            typingFilter_ = false;
        } else if (key == kBackspace || key == kDelete) {
            if (!typing_.empty()) {
                typing_.pop_back();
            }
        } else if (((key >= '0' && key <= '9') || key == ',' || key == '-') && typing_.size() < 60) {
            typing_.push_back(key);
        }
        return;
    }
    switch (key) {
        case 'q':
        case 'Q': {
            Sniffer& sniffer = *sniffer_;
            close();
            if (endsProgram_) {
                sniffer.running = FALSE;
            }
            break;
        }
        case 'a':
            sort_ = ZvEacViewSort::ADDRESS;
            break;
        case 'c':
            sort_ = ZvEacViewSort::LAST_CHANGE;
            break;
        case 'm':
            sort_ = ZvEacViewSort::MISSED;
            break;
        case '/':
            typingFilter_ = true;
            typing_ = filter_;
            break;
        case kEscape:
            filter_.clear();
            break;
        default:
            break;
    }
}

std::string TopView::status(U64 now_us) {
    const ZvEacStatsLineView line = zvEacStatsLineTotals();
    samples_.push_back(Sample{now_us, line.bytes, line.frames, dropsOf(line)});
    while (samples_.size() > 1 && samples_.front().at_us + kMinute_us < now_us) {
        samples_.pop_front();
    }
    // Rates over the last second or so; drops over the last minute.
    const Sample& newest = samples_.back();
    const Sample* second = &samples_.front();
    for (const Sample& s : samples_) {
        if (s.at_us + kFiguresEvery_us <= now_us) {
            second = &s;
        }
    }
    const double span_s = static_cast<double>(newest.at_us - second->at_us) / 1e6;
    const double framesPerSecond = span_s > 0 ? (newest.frames - second->frames) / span_s : 0.0;
    const double bitsPerByte = 11.0;  // start bit, 8 data bits, 2 stop bits
    const double load = span_s > 0 && line.bitRate != 0 ? 100.0 * static_cast<double>(newest.bytes - second->bytes) *
                                                              bitsPerByte / (span_s * line.bitRate)
                                                        : 0.0;
    const char* on = "on";
    const char* off = "off";
    std::array<char, 200> text{};
    (void)std::snprintf(text.data(), text.size(),
                        " line %5.1f %%  %6.0f frames/s  drops last minute %u  capture %s  log %s  json %s  "
                        "sort: %s%s%s",
                        load, framesPerSecond, static_cast<unsigned>(newest.drops - samples_.front().drops),
                        sniffer_->recorder.recording() ? on : off, loggerLogsToFile() != FALSE ? on : off,
                        sniffer_->json.active() != FALSE ? on : off,
                        sort_ == ZvEacViewSort::ADDRESS       ? "address"
                        : sort_ == ZvEacViewSort::LAST_CHANGE ? "last change"
                                                              : "missed %",
                        filter_.empty() ? "" : "  devices: ", filter_.c_str());
    return text.data();
}

void TopView::draw(U64 now_us) {
    ZvEacViewOptions options;
    options.sort = sort_;
    options.addressFilter = filter_;
    options.typing = typingFilter_ ? typing_ + "_" : std::string();
    options.now_us = now_us;
    icScreenSize(options.rows, options.columns);
    options.status = status(now_us);
    icScreenDraw(zvEacDevicesViewLines(sniffer_->observer.devices, options));
    drawnGeneration_ = sniffer_->observer.devices.generation();
    drawnRows_ = options.rows;
    drawnColumns_ = options.columns;
    lastDraw_us_ = now_us;
    dirty_ = false;
}

void TopView::exe() {
    if (!active()) {
        return;
    }
    const U64 now_us = loggerReportInstant_us();
    if (lastDraw_us_ != 0 && now_us < lastDraw_us_ + kDrawEvery_us) {
        return;
    }
    U16 rows = 0;
    U16 columns = 0;
    icScreenSize(rows, columns);
    const ZvEacDeviceTable& table = sniffer_->observer.devices;
    const bool changed = dirty_ || table.generation() != drawnGeneration_ || rows != drawnRows_ ||
                         columns != drawnColumns_ || now_us >= lastDraw_us_ + kFiguresEvery_us;
    if (changed) {
        draw(now_us);
    }
}

U32 TopView::nextDeadline_ms() const {
    if (!active()) {
        return MAX_U32;
    }
    const U64 now_us = loggerReportInstant_us();
    const bool pending = dirty_ || sniffer_->observer.devices.generation() != drawnGeneration_;
    // The figures move on, and highlights fade, even on a quiet bus.
    const U64 due_us = lastDraw_us_ + (pending ? kDrawEvery_us : kFiguresEvery_us);
    return due_us <= now_us ? 0U : static_cast<U32>((due_us - now_us + 999) / 1000);
}
