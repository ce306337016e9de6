#pragma once

namespace hx::os {

// A process whose hardware is its own (a virtual board set up in-process)
// is a machine of its own: it names its shared words and its MCU sharing
// channel after its process ID, so that processes on other virtual boards
// never take its words or its link for theirs. Remove them at unload; a
// killed process leaves two small objects in /dev/shm.
void UseMachinePrivateNames();
void RemoveMachinePrivateNames();

}  // namespace hx::os
