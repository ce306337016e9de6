// The chipset (ICH/PCH) TCO timer that family W1 arms beside the Super I/O
// watchdog. The registers are taken at the fixed addresses the boards use:
// the TCO block at 460h, SMI_EN at 430h, GCS at physical FED1F410h.
#pragma once

#include <atomic>

#include "core/state.h"

namespace hx::tco {

inline constexpr u16 kRldPort = 0x460;     // TCO_RLD: a write reloads the timer
inline constexpr u16 kCnt1Port = 0x468;    // TCO1_CNT
inline constexpr u16 kTmrPort = 0x472;     // TCO_TMR: initial tick count
inline constexpr u16 kSmiEnPort = 0x430;   // SMI_EN, low half
inline constexpr u32 kGcsAddress = 0xFED1F410;  // GCS in the root complex block

inline constexpr u16 kCnt1Halt = 1u << 11;   // TCO_TMR_HLT
inline constexpr u16 kSmiEnTco = 1u << 13;   // TCO_EN: SMI on the first time-out
inline constexpr u32 kGcsNoReboot = 1u << 5;  // NO_REBOOT: second time-out does not reset
inline constexpr u16 kTickMask = 0x03FF;      // bits 0..9 hold the tick count

inline constexpr double kSecondsPerTick = 0.6;
inline constexpr u16 kMinTicks = 3;
inline constexpr u16 kMaxTicks = 1023;
inline constexpr u16 kDefaultTicks = kTcoInitialTicks;  // 60 seconds

// Per process (core/state.h); read and written only under LibraryLock (by W1).
inline constexpr auto& TcoTicks = Cells.tcoTicks;
inline constexpr auto& TcoActive = Cells.tcoActive;

// Nearest whole number of 0.6 s ticks (halves upward), as a 16-bit number.
u16 TicksFor(u16 seconds);

// Programs `seconds` (ticks within 3..1023, otherwise 60 s), clears
// NO_REBOOT and the TCO SMI. False when GCS cannot be read or written.
Bool32 Configure(u16 seconds);
void Start();
void Reload();
void Halt();

}  // namespace hx::tco
