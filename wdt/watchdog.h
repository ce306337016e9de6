// The Super I/O watchdog drivers W1..W4: the per-process count and unit, the
// shared InitWDT, the margin each family adds, and the family operations
// that fill the WdtOps groups.
#pragma once

#include <atomic>

#include "core/state.h"

namespace hx::wdt {

inline constexpr u8 kUnitMinutes = 0;
inline constexpr u8 kUnitSeconds = 1;
inline constexpr u16 kDefaultCount = kWdtInitialCount;
inline constexpr u8 kDefaultUnit = kWdtInitialUnit;
static_assert(kDefaultUnit == kUnitSeconds);

// Per process (core/state.h); SetWDT writes them without the lock.
inline constexpr auto& WdtCount = Cells.wdtCount;
inline constexpr auto& WdtUnit = Cells.wdtUnit;

// What a family adds to the requested count, per unit.
struct Margin {
    u8 minutes;
    u8 seconds;
};

// The time-out value for 73h/74h: the count plus the margin of the current
// unit, in 16 bits (a count near 65535 wraps).
u16 TimeoutValue(Margin margin);

// The 72h value for the current unit.
u8 ConfigValue(u8 forMinutes, u8 forSeconds);

bool InSeconds();

// One implementation for every family.
Bool32 SetWDT(u16 count, u8 unit);

// InitWDT of W1, W3 and W4 (the chip goes back to normal mode) and of W2
// (the chip stays in configuration mode).
Bool32 InitWDT();
Bool32 InitWDTNoExit();

// Kick shared by the families whose kick is the Super I/O value alone.
Bool32 ReloadSuperIo(Margin margin);

}  // namespace hx::wdt

namespace hx::w1 {
Bool32 StartWDT();
Bool32 StopWDT();
Bool32 ResetWDT();
}  // namespace hx::w1

namespace hx::w2 {
Bool32 StartWDT();
Bool32 StopWDT();
Bool32 ResetWDT();
}  // namespace hx::w2

namespace hx::w3 {
Bool32 StartWDT();
Bool32 StopWDT();
Bool32 ResetWDT();  // also W4's kick
}  // namespace hx::w3

namespace hx::w4 {
Bool32 StartWDT();
Bool32 StopWDT();
}  // namespace hx::w4
