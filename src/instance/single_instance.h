// Instance semaphores, the per-user instance registry and the hand-over of a second start's
// arguments to the running instance in single-instance mode (key 10005).
#pragma once

#include <optional>
#include <string>

#include "instance/instance_protocol.h"
#include "platform/text.h"

namespace tesmo {

// The single-instance stage of the start-up. In the ordinary mode (key 10005 = 0) it takes
// the first free numbered semaphore; otherwise a start that finds the first instance
// running activates that instance's windows, hands over its arguments and ends the process
// with exit code 0.
void checkSingleInstance();

// The first instance's process id under HKCU\SOFTWARE\dravik-labs\tesmo\pids, one value per
// executable. Written without a lock: a later first instance overwrites it.
long writeInstancePid();
// 0 when none is recorded or the value is not 4 bytes long.
unsigned long readInstancePid();

// Whether the semaphore instanceSemaphoreName still exists; true when that cannot be told.
bool isMainInstanceAlive();

// Writes `arguments` into the communication file of process `processId` once the file is
// free, and waits for the first instance to take them. Done (no failure) also when the first
// instance ended meanwhile, which leaves nothing behind. Either way the next waiting start
// is let in before this returns.
HandOverFailure notifyRunningInstance(unsigned long processId, WideView arguments);

}  // namespace tesmo
