#include "common/statemachine/icStateMachine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Client events of the test machine.
constexpr IcSmEvent EV_GO_B = 10;       // A moves to B
constexpr IcSmEvent EV_STAY = 11;       // A requests itself
constexpr IcSmEvent EV_JUNCTION = 20;   // the junction consumes it
constexpr IcSmEvent EV_PASS = 21;       // the junction looks at it and passes it on
constexpr IcSmEvent EV_LEAVE_J = 30;    // the junction, when active, moves to A
constexpr IcSmEvent EV_FIRST_SEQ = 40;  // numbered events for the queue tests

struct Trace {
    std::vector<std::string> calls;
    bool chainBToD = false;
    void* seenUserData = nullptr;
};

Trace* trace = nullptr;

std::string entry(const char* state, IcSmEvent ev) { return std::string(state) + ":" + std::to_string(ev); }

Boolean record(const char* name, IcSmEvent ev, void* userData) {
    trace->calls.push_back(entry(name, ev));
    trace->seenUserData = userData;
    return TRUE;
}

Boolean stateB(IcSmStateMachine* sm, IcSmEvent ev, void* userData);
Boolean stateD(IcSmStateMachine*, IcSmEvent ev, void* userData) { return record("D", ev, userData); }

Boolean stateA(IcSmStateMachine* sm, IcSmEvent ev, void* userData) {
    record("A", ev, userData);
    if (ev == EV_GO_B) {
        sm->nextState = stateB;
    } else if (ev == EV_STAY) {
        sm->nextState = stateA;
    }
    return TRUE;
}

Boolean stateB(IcSmStateMachine* sm, IcSmEvent ev, void* userData) {
    record("B", ev, userData);
    if (ev == IC_SM_EV_ENTER_STATE && trace->chainBToD) {
        sm->nextState = stateD;
    }
    return TRUE;
}

Boolean junction(IcSmStateMachine* sm, IcSmEvent ev, void* userData) {
    record("J", ev, userData);
    if (ev == EV_LEAVE_J) {
        sm->nextState = stateA;
    }
    return ev == EV_JUNCTION ? TRUE : FALSE;
}

class IcStateMachineTest : public testing::Test {
protected:
    void SetUp() override { trace = &t; }
    void TearDown() override { trace = nullptr; }

    // Init and deliver the first enter event, then forget the trace so far.
    void start(IcSmState first, IcSmState junctionState = nullptr) {
        icSmInit(&sm, first, junctionState, &appData);
        icSmExe(&sm);
        t.calls.clear();
    }

    IcSmStateMachine sm{};
    Trace t;
    int appData = 0;
};

TEST_F(IcStateMachineTest, FirstEnterEventIsQueuedByInitAndDeliveredByFirstExe) {
    icSmInit(&sm, stateA, nullptr, &appData);
    EXPECT_TRUE(t.calls.empty());
    EXPECT_TRUE(icSmHasEventsInQueue(&sm));

    icSmExe(&sm);
    EXPECT_EQ(t.calls, std::vector<std::string>{entry("A", IC_SM_EV_ENTER_STATE)});
    EXPECT_EQ(t.seenUserData, &appData);
    EXPECT_FALSE(icSmHasEventsInQueue(&sm));

    icSmExe(&sm);  // empty queue: nobody is called
    EXPECT_EQ(t.calls.size(), 1U);
}

TEST_F(IcStateMachineTest, TransitionsRunWithinTheSameExe) {
    struct Case {
        const char* name;
        IcSmEvent event;
        bool chainBToD;
        std::vector<std::string> expected;
        IcSmState finalState;
    };
    const Case cases[] = {
        {"plain event", EV_PASS, false, {entry("A", EV_PASS)}, stateA},
        {"to B",
         EV_GO_B,
         false,
         {entry("A", EV_GO_B), entry("A", IC_SM_EV_EXIT_STATE), entry("B", IC_SM_EV_ENTER_STATE)},
         stateB},
        {"to B, whose enter moves on to D",
         EV_GO_B,
         true,
         {entry("A", EV_GO_B), entry("A", IC_SM_EV_EXIT_STATE), entry("B", IC_SM_EV_ENTER_STATE),
          entry("B", IC_SM_EV_EXIT_STATE), entry("D", IC_SM_EV_ENTER_STATE)},
         stateD},
        {"to itself", EV_STAY, false, {entry("A", EV_STAY)}, stateA},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        t.chainBToD = c.chainBToD;
        start(stateA);
        icSmHandleEvent(&sm, c.event);
        icSmExe(&sm);
        EXPECT_EQ(t.calls, c.expected);
        EXPECT_EQ(sm.activeState, c.finalState);
        EXPECT_EQ(sm.nextState, c.finalState);
        // Enter and exit events never take a queue slot.
        EXPECT_FALSE(icSmHasEventsInQueue(&sm));
    }
}

TEST_F(IcStateMachineTest, FullQueueKeepsNineEventsInOrderWhereverTheIndicesStand) {
    for (U8 offset = 0; offset < IC_SM_EVENT_QUEUE_SIZE; ++offset) {
        SCOPED_TRACE(offset);
        start(stateA);
        // Move both indices round the ring first.
        for (U8 i = 0; i < offset; ++i) {
            icSmHandleEvent(&sm, EV_PASS);
            icSmExe(&sm);
        }
        t.calls.clear();

        for (U8 i = 0; i < 10; ++i) {
            icSmHandleEvent(&sm, static_cast<IcSmEvent>(EV_FIRST_SEQ + i));
        }
        while (icSmHasEventsInQueue(&sm)) {
            icSmExe(&sm);
        }
        std::vector<std::string> expected;
        for (U8 i = 0; i < 9; ++i) {
            expected.push_back(entry("A", static_cast<IcSmEvent>(EV_FIRST_SEQ + i)));
        }
        EXPECT_EQ(t.calls, expected);
    }
}

TEST_F(IcStateMachineTest, JunctionSeesEventsFirstButNeverEnterEvents) {
    icSmInit(&sm, stateA, junction, &appData);
    icSmExe(&sm);
    EXPECT_EQ(t.calls, std::vector<std::string>{entry("A", IC_SM_EV_ENTER_STATE)});
    t.calls.clear();

    icSmHandleEvent(&sm, EV_JUNCTION);
    icSmHandleEvent(&sm, EV_PASS);
    icSmHandleEvent(&sm, EV_GO_B);
    icSmExe(&sm);
    icSmExe(&sm);
    icSmExe(&sm);
    const std::vector<std::string> expected = {
        entry("J", EV_JUNCTION),  // consumed: A never sees it
        entry("J", EV_PASS),
        entry("A", EV_PASS),  // passed on
        entry("J", EV_GO_B),
        entry("A", EV_GO_B),  //
        entry("A", IC_SM_EV_EXIT_STATE),
        entry("B", IC_SM_EV_ENTER_STATE),  // no junction call for either
    };
    EXPECT_EQ(t.calls, expected);
}

TEST_F(IcStateMachineTest, LeavingTheJunctionAsActiveStateSendsNoExitEvent) {
    start(junction, junction);
    icSmHandleEvent(&sm, EV_LEAVE_J);
    icSmExe(&sm);
    // Not consumed by the junction, so the active state (the same function)
    // is offered the event a second time.
    const std::vector<std::string> expected = {entry("J", EV_LEAVE_J), entry("J", EV_LEAVE_J),
                                               entry("A", IC_SM_EV_ENTER_STATE)};
    EXPECT_EQ(t.calls, expected);
    EXPECT_EQ(sm.activeState, stateA);
}

TEST_F(IcStateMachineTest, NullStatesAreSkipped) {
    icSmInit(&sm, nullptr, nullptr, &appData);
    icSmExe(&sm);
    icSmHandleEvent(&sm, EV_PASS);
    icSmExe(&sm);
    EXPECT_TRUE(t.calls.empty());

    // From no state into A: an enter event, no exit.
    sm.nextState = stateA;
    icSmHandleEvent(&sm, EV_PASS);
    icSmExe(&sm);
    EXPECT_EQ(t.calls, std::vector<std::string>{entry("A", IC_SM_EV_ENTER_STATE)});
    t.calls.clear();

    // From A into no state: an exit event, then nothing.
    sm.nextState = nullptr;
    icSmHandleEvent(&sm, EV_PASS);
    icSmExe(&sm);
    const std::vector<std::string> expected = {entry("A", EV_PASS), entry("A", IC_SM_EV_EXIT_STATE)};
    EXPECT_EQ(t.calls, expected);
    EXPECT_EQ(sm.activeState, nullptr);
}

}  // namespace
