#include "common/statemachine/icStateMachine.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Client events of the test machine. In traces the engine's own events read
// as "A1" (enter) and "A3" (exit).
constexpr IcSmEvent EV_GO_B = 10;       // A moves to B
constexpr IcSmEvent EV_STAY = 11;       // A requests itself
constexpr IcSmEvent EV_JUNCTION = 20;   // the junction consumes it
constexpr IcSmEvent EV_PASS = 21;       // the junction looks at it and passes it on
constexpr IcSmEvent EV_LEAVE_J = 30;    // the junction, when active, moves to A
constexpr IcSmEvent EV_FIRST_SEQ = 40;  // numbered events for the queue test

std::string trace;  // "<state><event> " per call
bool chainBToD = false;
void* seenUserData = nullptr;

Boolean record(const char* name, IcSmEvent ev, void* userData) {
    trace += name + std::to_string(ev) + " ";
    seenUserData = userData;
    return TRUE;
}

Boolean stateB(IcSmStateMachine* sm, IcSmEvent ev, void* userData);
Boolean stateD(IcSmStateMachine*, IcSmEvent ev, void* userData) { return record("D", ev, userData); }

Boolean stateA(IcSmStateMachine* sm, IcSmEvent ev, void* userData) {
    if (ev == EV_GO_B) {
        sm->nextState = stateB;
    } else if (ev == EV_STAY) {
        sm->nextState = stateA;
    }
    return record("A", ev, userData);
}

Boolean stateB(IcSmStateMachine* sm, IcSmEvent ev, void* userData) {
    if (ev == IC_SM_EV_ENTER_STATE && chainBToD) {
        sm->nextState = stateD;
    }
    return record("B", ev, userData);
}

Boolean junction(IcSmStateMachine* sm, IcSmEvent ev, void* userData) {
    if (ev == EV_LEAVE_J) {
        sm->nextState = stateA;
    }
    record("J", ev, userData);
    return ev == EV_JUNCTION ? TRUE : FALSE;
}

class IcStateMachineTest : public testing::Test {
protected:
    void SetUp() override {
        trace.clear();
        chainBToD = false;
    }

    // Init and deliver the first enter event, then forget the trace so far.
    void start(IcSmState first, IcSmState junctionState = nullptr) {
        icSmInit(&sm, first, junctionState, &appData);
        icSmExe(&sm);
        trace.clear();
    }

    void post(std::initializer_list<IcSmEvent> events) {
        for (IcSmEvent ev : events) {
            icSmHandleEvent(&sm, ev);
        }
    }

    void runAll() {
        while (icSmHasEventsInQueue(&sm)) {
            icSmExe(&sm);
        }
    }

    IcSmStateMachine sm{};
    int appData = 0;
};

TEST_F(IcStateMachineTest, FirstEnterEventIsQueuedByInitAndDeliveredByFirstExe) {
    icSmInit(&sm, stateA, nullptr, &appData);
    EXPECT_EQ(trace, "");
    EXPECT_TRUE(icSmHasEventsInQueue(&sm));

    icSmExe(&sm);
    EXPECT_EQ(trace, "A1 ");
    EXPECT_EQ(seenUserData, &appData);
    EXPECT_FALSE(icSmHasEventsInQueue(&sm));

    icSmExe(&sm);  // empty queue: nobody is called
    EXPECT_EQ(trace, "A1 ");
}

TEST_F(IcStateMachineTest, TransitionsRunWithinTheSameExe) {
    struct Case {
        IcSmEvent event;
        bool chain;
        const char* expected;
        IcSmState finalState;
    };
    const Case cases[] = {
        {EV_PASS, false, "A21 ", stateA},
        {EV_GO_B, false, "A10 A3 B1 ", stateB},
        {EV_GO_B, true, "A10 A3 B1 B3 D1 ", stateD},  // B's enter handler moves on to D
        {EV_STAY, false, "A11 ", stateA},             // requesting itself: no exit, no entry
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        chainBToD = c.chain;
        start(stateA);
        post({c.event});
        icSmExe(&sm);
        EXPECT_EQ(trace, c.expected);
        EXPECT_EQ(sm.activeState, c.finalState);
        EXPECT_EQ(sm.nextState, c.finalState);
        EXPECT_FALSE(icSmHasEventsInQueue(&sm));  // enter and exit never take a queue slot
    }
}

TEST_F(IcStateMachineTest, FullQueueKeepsNineEventsInOrderWhereverTheIndicesStand) {
    for (U8 offset = 0; offset < IC_SM_EVENT_QUEUE_SIZE; ++offset) {
        SCOPED_TRACE(offset);
        start(stateA);
        for (U8 i = 0; i < offset; ++i) {  // move both indices round the ring first
            post({EV_PASS});
            icSmExe(&sm);
        }
        trace.clear();
        for (U8 i = 0; i < 10; ++i) {
            post({static_cast<IcSmEvent>(EV_FIRST_SEQ + i)});
        }
        runAll();
        EXPECT_EQ(trace, "A40 A41 A42 A43 A44 A45 A46 A47 A48 ");
    }
}

TEST_F(IcStateMachineTest, JunctionSeesEventsFirstButNeverEnterOrExitEvents) {
    icSmInit(&sm, stateA, junction, &appData);
    post({EV_JUNCTION, EV_PASS, EV_GO_B});
    runAll();
    // Consumed events never reach A; enter and exit go straight to the states.
    EXPECT_EQ(trace, "A1 J20 J21 A21 J10 A10 A3 B1 ");

    // The junction as active state: not consumed, so it is offered the event
    // a second time as the active state; leaving it sends it no exit event.
    start(junction, junction);
    post({EV_LEAVE_J});
    icSmExe(&sm);
    EXPECT_EQ(trace, "J30 J30 A1 ");
    EXPECT_EQ(sm.activeState, stateA);
}

TEST_F(IcStateMachineTest, NullStatesAreSkipped) {
    start(nullptr);
    post({EV_PASS});
    icSmExe(&sm);
    EXPECT_EQ(trace, "");

    sm.nextState = stateA;  // from no state into A: an enter event, no exit
    post({EV_PASS});
    icSmExe(&sm);
    sm.nextState = nullptr;  // from A into no state: an exit event, then nothing
    post({EV_PASS});
    icSmExe(&sm);
    EXPECT_EQ(trace, "A1 A21 A3 ");
    EXPECT_EQ(sm.activeState, nullptr);
}

}  // namespace
