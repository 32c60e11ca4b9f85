// Operating-system abstraction: threads, locks, wait objects and message
// queues behind one constant table of operations.
#pragma once

#include "base/hal_types.h"

enum OsalResCodes : S8 {
    OSAL_RES_FAIL = -1,
    OSAL_RES_SUCCESS = 0,
    OSAL_RES_TIMEOUT = 1,
};

enum OsalPrio : U8 {
    OSAL_PRIO_HIGH = 0,
    OSAL_PRIO_NORMAL = 1,
    OSAL_PRIO_LOW = 2,
};

// Opaque handles; a null handle means "none".
struct OsalSemObject;
struct OsalWaitObjectRecord;
struct OsalMsgQueue;
using OsalSem = OsalSemObject*;
using OsalWaitObject = OsalWaitObjectRecord*;
using OsalQueue = OsalMsgQueue*;

using OsalTaskFunction = void (*)(void* arg);

struct OsalApi {
    OsalResCodes (*taskCreate)(OsalTaskFunction startFunc, void* arg);
    OsalResCodes (*sleep)(U32 timeout);
    // Semaphores have a maximum count of 1; releasing an available one is fatal.
    OsalSem (*semCreate)(Boolean signaled);
    OsalResCodes (*semWait)(OsalSem sem, U32 timeout);
    OsalResCodes (*semSignal)(OsalSem sem);
    OsalResCodes (*queueCreate)(const char* name, OsalQueue* qid);
    OsalResCodes (*queueDelete)(OsalQueue queueId);
    OsalResCodes (*queueSend)(OsalQueue queueId, U32 qsignal, void* content);
    OsalResCodes (*queueRecv)(OsalQueue queueId, U32 timeout, U32* qsignal, void** content);
    void (*setPriority)(OsalPrio prio);
    // Returns as soon as any one object is set; timeout_ms 0 waits without limit.
    void (*waitForObjects)(const OsalWaitObject* waitList, U8 numOfWaitObjects, U16 timeout_ms);
    // Manual-reset wait objects: they stay set until reset. nullptr on failure.
    OsalWaitObject (*waitObjCreate)();
    void (*waitObjSignal)(OsalWaitObject obj);
    void (*waitObjectReset)(OsalWaitObject obj);
};

extern const OsalApi* const osalApi;

// Whether a wait object is set right now, without waiting (tests and the
// platform layer use it; the core never needs it).
Boolean osalWaitObjIsSet(OsalWaitObject obj);
