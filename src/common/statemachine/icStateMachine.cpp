// Event-driven state machines whose states are plain functions.
//
// Clients post events into the machine's own ring buffer and dispatch one
// per execute step. Enter and exit events caused by transitions are handed
// to the state functions directly and never take a queue slot, so a client
// that posts one event per step never sees the queue grow.
#include "common/statemachine/icStateMachine.h"

namespace {

constexpr U8 nextQueueIndex(U8 index) { return static_cast<U8>((index + 1U) % IC_SM_EVENT_QUEUE_SIZE); }

void icSmEventQueueInit(IcSmStateMachine* smPtr) {
    smPtr->eventQueueIndexIn = 0;
    smPtr->eventQueueIndexOut = 0;
}

IcSmEvent icSmGetNextEvent(IcSmStateMachine* smPtr) {
    if (smPtr->eventQueueIndexIn == smPtr->eventQueueIndexOut) {
        return IC_SM_EV_NONE;
    }
    // Indices come from a record the client owns; reduce them so a corrupted
    // record cannot make us read outside the ring.
    const U8 out = static_cast<U8>(smPtr->eventQueueIndexOut % IC_SM_EVENT_QUEUE_SIZE);
    const IcSmEvent event = smPtr->eventQueue[out];
    smPtr->eventQueueIndexOut = nextQueueIndex(out);
    return event;
}

Boolean icSmRunIdle(IcSmStateMachine* smPtr, IcSmEvent event) {
    Boolean isEventConsumed = FALSE;

    // The junction sees every event before the active state, but never an
    // enter event: entering is always addressed to the state being entered.
    if (smPtr->junctionState != nullptr && event != IC_SM_EV_ENTER_STATE) {
        isEventConsumed = smPtr->junctionState(smPtr, event, smPtr->appPtr);
    }
    if (!isEventConsumed && smPtr->activeState != nullptr) {
        (void)smPtr->activeState(smPtr, event, smPtr->appPtr);
    }

    // An enter handler may request the next state itself; follow the chain
    // until a state stays put.
    while (smPtr->activeState != smPtr->nextState) {
        if (smPtr->activeState != nullptr && smPtr->activeState != smPtr->junctionState) {
            (void)smPtr->activeState(smPtr, IC_SM_EV_EXIT_STATE, smPtr->appPtr);
        }
        smPtr->activeState = smPtr->nextState;
        if (smPtr->activeState != nullptr) {
            (void)smPtr->activeState(smPtr, IC_SM_EV_ENTER_STATE, smPtr->appPtr);
        }
    }
    return isEventConsumed;
}

}  // namespace

void icSmInit(IcSmStateMachine* smPtr, IcSmState firstState, IcSmState junctionState, void* appPtr) {
    smPtr->activeState = firstState;
    smPtr->nextState = firstState;
    smPtr->junctionState = junctionState;
    smPtr->appPtr = appPtr;
    icSmEventQueueInit(smPtr);
    // The first state's entry work runs on the first icSmExe, on the
    // client's thread and at the client's pace, not inside the init call.
    icSmHandleEvent(smPtr, IC_SM_EV_ENTER_STATE);
}

void icSmHandleEvent(IcSmStateMachine* smPtr, IcSmEvent event) {
    const U8 in = static_cast<U8>(smPtr->eventQueueIndexIn % IC_SM_EVENT_QUEUE_SIZE);
    const U8 next = nextQueueIndex(in);
    if (next == smPtr->eventQueueIndexOut) {
        return;  // full: one slot stays free so that "in == out" always means empty
    }
    smPtr->eventQueue[in] = event;
    smPtr->eventQueueIndexIn = next;
}

void icSmExe(IcSmStateMachine* smPtr) {
    const IcSmEvent event = icSmGetNextEvent(smPtr);
    if (event != IC_SM_EV_NONE) {
        (void)icSmRunIdle(smPtr, event);
    }
}

Boolean icSmHasEventsInQueue(const IcSmStateMachine* smPtr) {
    return smPtr->eventQueueIndexIn != smPtr->eventQueueIndexOut ? TRUE : FALSE;
}
