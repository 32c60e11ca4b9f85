// The run's summary: frames sent per message id (intact and damaged apart),
// faults injected per kind, and the ONLINE and OFFLINE reports a sniffer
// must print per device, found by applying the sniffer's own rule to the
// frames that reach it intact.
//
// Stable, line-based text, one fact per line:
//   seed 7
//   devices 8
//   frames empty good 120 faulty 2     (frames without data)
//   frames 0xa3 good 12 faulty 1       (by message id, ascending)
//   faults bcc 3                       (every kind, also when 0)
//   reports device 5 online 2 offline 1 (every device 1..N)
//   device 5 polls 40 answers 38 missed 2  (every device 1..N, intact frames,
//                                           by the sniffer's rule)
//   device 5 to 0xa2 12                (telegrams per device, id and direction)
//   device 5 from 0xa3 12
//   drops bcc 3                        (frames the receiver drops, by kind:
//   drops timeout 2                     bcc, timeout, noetx)
//   drops noetx 0
//   state 5 online 1                   (every device 1..N: as the sniffer
//   state 5 lock LOCK_STATE_LOCKED      sees it at the end; the last lock,
//   state 5 door DOOR_STATE_CLOSED      door and tamper state sent intact,
//   state 5 tamper TAMPER_STATE_...     where one was)
//   noise bytes 17                     (bytes the receiver takes outside frames)
//   total frames 1500
//   total good 1490
//   total faulty 10
//   total bytes 34567
#pragma once

#include <string>

#include "base/hal_types.h"
#include "busSimScenario.h"
#include "busSimWire.h"

void busSimSummaryInit(U32 seed, U8 deviceCount);
// Every frame put on the line; `intact` when the receiver gets it whole.
void busSimSummaryFrame(const BusSimFrame& frame, bool intact, U32 wireBytes);
void busSimSummaryFault(BusSimFaultKind kind);
// What a frame's fault does to a receiver: which drop, how many bytes it
// takes as noise. `timedMedium`: the line keeps time (pauses exist).
void busSimSummaryReceiverEffect(const BusSimWirePlan& plan, bool timedMedium);
// Bytes on the line outside frames (noise).
void busSimSummaryBytes(U32 wireBytes);
U32 busSimSummaryFramesSent();

std::string busSimSummaryText();
// Whether the summary can be written to `path`, checked before a run so that
// a long run does not end in an error; FALSE with a reason in `error`.
bool busSimSummaryCanWrite(const std::string& path, std::string& error);
// Writes the text to `path` (replaced as a whole, so a reader never sees
// half of it) or, with an empty path, to standard output. FALSE with a
// reason in `error` when the file cannot be written.
bool busSimSummaryWrite(const std::string& path, std::string& error);
