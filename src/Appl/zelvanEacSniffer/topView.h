// The live device table in place of the scrolling console (--top, or the
// top command): redrawn at most four times a second and only when something
// changed, with the line's figures above it. Keys sort it, narrow it to
// some addresses and leave it.
#pragma once

#include <deque>
#include <string>

#include "Appl/zelvanEacSniffer/busObserver.h"
#include "base/hal_types.h"
#include "devices/zvEacDevicesView.h"

struct Sniffer;

class TopView {
public:
    // FALSE, with the reason, when the terminal cannot show it. `endsProgram`:
    // leaving the view ends the sniffer (--top) instead of returning to the
    // console.
    Boolean open(Sniffer& sniffer, bool endsProgram, std::string& reason);
    void close();
    bool active() const { return sniffer_ != nullptr; }
    // A key typed while the view is open.
    void key(Char key);
    // The main loop's step: draws when due. Milliseconds until the next
    // draw may be due, MAX_U32 while closed.
    void exe();
    U32 nextDeadline_ms() const;

private:
    struct Sample {
        U64 at_us;
        U64 bytes;
        U32 frames;
        U32 drops;
    };
    std::string status(U64 now_us);
    void draw(U64 now_us);

    Sniffer* sniffer_ = nullptr;
    BusObserverPrompt savedPrompt_ = nullptr;
    bool endsProgram_ = false;
    ZvEacViewSort sort_ = ZvEacViewSort::ADDRESS;
    std::string filter_;
    std::string typing_;
    bool typingFilter_ = false;
    bool dirty_ = true;
    U64 drawnGeneration_ = 0;
    U64 lastDraw_us_ = 0;
    U16 drawnRows_ = 0;
    U16 drawnColumns_ = 0;
    std::deque<Sample> samples_;  // the last minute, for rates
};
