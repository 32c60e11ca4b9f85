#include "hal/common/icOsalQueue.h"

#include <cstring>
#include <new>

struct OsalQueueMsg {
    OsalQueueMsg* next;
    U32 signal;
    void* content;
};

struct OsalMsgQueue {
    OsalQueueMsg* queue;
    Char name[5];
    OsalSem emptySem;  // available while the queue holds messages
    OsalSem mutexSem;  // guards the list
};

OsalResCodes icOsalQueueCreate(const char* name, OsalQueue* qid) {
    if (qid == nullptr) {
        return OSAL_RES_FAIL;
    }
    auto* q = new (std::nothrow) OsalMsgQueue{};
    if (q == nullptr) {
        return OSAL_RES_FAIL;
    }
    if (name != nullptr) {
        std::strncpy(q->name, name, sizeof q->name - 1);
    }
    q->name[sizeof q->name - 1] = '\0';
    q->queue = nullptr;
    q->emptySem = icOsalSemNewOwned(FALSE);
    q->mutexSem = icOsalSemNewOwned(FALSE);
    *qid = q;
    osalApi->semSignal(q->mutexSem);
    return OSAL_RES_SUCCESS;
}

OsalResCodes icOsalQueueSend(OsalQueue queueId, U32 qsignal, void* content) {
    if (queueId == nullptr) {
        return OSAL_RES_FAIL;
    }
    auto* msg = new (std::nothrow) OsalQueueMsg{nullptr, qsignal, content};
    if (msg == nullptr) {
        return OSAL_RES_FAIL;
    }
    osalApi->semWait(queueId->mutexSem, MAX_U32);
    const bool wasEmpty = queueId->queue == nullptr;
    OsalQueueMsg** tail = &queueId->queue;
    while (*tail != nullptr) {
        tail = &(*tail)->next;
    }
    *tail = msg;
    // A non-empty list already has its mark (or a receiver between its two
    // waits, who renews it), and a semaphore of count 1 must not be released
    // twice.
    if (wasEmpty) {
        osalApi->semSignal(queueId->emptySem);
    }
    osalApi->semSignal(queueId->mutexSem);
    return OSAL_RES_SUCCESS;
}

OsalResCodes icOsalQueueRecv(OsalQueue queueId, U32 timeout, U32* qsignal, void** content) {
    if (queueId == nullptr) {
        return OSAL_RES_FAIL;
    }
    if (osalApi->semWait(queueId->emptySem, timeout) != OSAL_RES_SUCCESS) {
        return OSAL_RES_TIMEOUT;
    }
    osalApi->semWait(queueId->mutexSem, MAX_U32);
    OsalQueueMsg* msg = queueId->queue;
    queueId->queue = msg->next;
    if (qsignal != nullptr) {
        *qsignal = msg->signal;
    }
    if (content != nullptr) {
        *content = msg->content;
    }
    if (queueId->queue != nullptr) {
        osalApi->semSignal(queueId->emptySem);
    }
    osalApi->semSignal(queueId->mutexSem);
    delete msg;
    return OSAL_RES_SUCCESS;
}

OsalResCodes icOsalQueueDelete(OsalQueue queueId) {
    if (queueId == nullptr) {
        return OSAL_RES_FAIL;
    }
    U32 signal = 0;
    void* content = nullptr;
    while (icOsalQueueRecv(queueId, 0, &signal, &content) == OSAL_RES_SUCCESS) {
    }
    osalApi->semWait(queueId->mutexSem, MAX_U32);
    icOsalSemDelete(queueId->emptySem);
    icOsalSemDelete(queueId->mutexSem);
    delete queueId;
    return OSAL_RES_SUCCESS;
}
