// Register snapshots for service tools: what a chip holds, read with the
// drivers' own access sequences.
#pragma once

#include "core/types.h"

namespace hx {

// The Super I/O watchdog as the chip holds it.
struct SuperIoWatchdogSnapshot {
    u16 chipId;        // global registers 20h:21h
    u8 config;         // logical device 7, register 72h
    u16 value;         // 74h:73h; 0 = stopped
    bool unitSeconds;  // 72h counts seconds (else minutes)
};

// Enters configuration mode, reads and leaves it, under LibraryLock.
SuperIoWatchdogSnapshot ReadSuperIoWatchdog();

}  // namespace hx
