// Internals of the frame receiver shared with its tests: the receiver's
// events and its five state functions.
#pragma once

#include "base/hal_types.h"
#include "common/statemachine/icStateMachine.h"

// The first three values are the engine's own events under the receiver's names.
enum ZvEacNwkEvents : U8 {
    ZV_EAC_NWK_EV_NONE = IC_SM_EV_NONE,
    ZV_EAC_NWK_EV_ENTER_STATE = IC_SM_EV_ENTER_STATE,
    ZV_EAC_NWK_EV_EXIT_STATE = IC_SM_EV_EXIT_STATE,
    ZV_EAC_NWK_EV_DATA_RCVD = 4,   // a byte may be waiting in the receive FIFO
    ZV_EAC_NWK_EV_RX_TIMEOUT = 5,  // too long since the last byte of the frame in progress
};

// "Not running" marker of the receive timer; real start ticks are 14 bits wide.
inline constexpr U16 ZV_EAC_NWK_RX_TIMER_STOPPED = 0xFFFF;
inline constexpr U16 ZV_EAC_NWK_TICK_MASK = 0x3FFF;
// Largest gap in ms between two bytes of one frame that still keeps the frame.
inline constexpr U16 ZV_EAC_NWK_RX_MAX_GAP_MS = 189;

// Receiver states; `userData` is the ZvEacNwkInst that owns the machine.
Boolean nwkSmInitState(IcSmStateMachine* smPtr, IcSmEvent ev, void* userData);
Boolean nwkSmGetHeaderState(IcSmStateMachine* smPtr, IcSmEvent ev, void* userData);
Boolean nwkSmGetDataState(IcSmStateMachine* smPtr, IcSmEvent ev, void* userData);
Boolean nwkSmGetBccState(IcSmStateMachine* smPtr, IcSmEvent ev, void* userData);
Boolean nwkSmGetEtxState(IcSmStateMachine* smPtr, IcSmEvent ev, void* userData);
