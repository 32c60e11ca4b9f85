// The OSAL message queues, written once on top of the OSAL semaphores; each
// platform layer lists these in its operations table and provides the two
// hooks below. Nothing outside the platform layer includes this header.
#pragma once

#include "hal/include/icOsal.h"

OsalResCodes icOsalQueueCreate(const char* name, OsalQueue* qid);
OsalResCodes icOsalQueueDelete(OsalQueue queueId);
OsalResCodes icOsalQueueSend(OsalQueue queueId, U32 qsignal, void* content);
OsalResCodes icOsalQueueRecv(OsalQueue queueId, U32 timeout, U32* qsignal, void** content);

// ---- hooks each platform layer provides --------------------------------------

// A semaphore that its owner deletes with icOsalSemDelete, unlike those of
// semCreate, which live as long as the process. Never nullptr: a failure
// takes the fatal path.
OsalSem icOsalSemNewOwned(Boolean signaled);
void icOsalSemDelete(OsalSem sem);
