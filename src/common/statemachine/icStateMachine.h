// Small engine for event-driven state machines whose states are functions.
#pragma once

#include "base/hal_types.h"

using IcSmEvent = U8;
inline constexpr IcSmEvent IC_SM_EV_NONE = 0;
inline constexpr IcSmEvent IC_SM_EV_ENTER_STATE = 1;
inline constexpr IcSmEvent IC_SM_EV_EXIT_STATE = 3;

inline constexpr U8 IC_SM_EVENT_QUEUE_SIZE = 10;

struct IcSmStateMachine;
using IcSmState = Boolean (*)(IcSmStateMachine* smPtr, IcSmEvent ev, void* userData);

struct IcSmStateMachine {
    IcSmState activeState;
    IcSmState nextState;
    IcSmState junctionState;
    IcSmEvent eventQueue[IC_SM_EVENT_QUEUE_SIZE];
    U8 eventQueueIndexIn;
    U8 eventQueueIndexOut;
    void* appPtr;
};

void icSmInit(IcSmStateMachine* smPtr, IcSmState firstState, IcSmState junctionState, void* appPtr);
void icSmHandleEvent(IcSmStateMachine* smPtr, IcSmEvent event);
void icSmExe(IcSmStateMachine* smPtr);
Boolean icSmHasEventsInQueue(const IcSmStateMachine* smPtr);
