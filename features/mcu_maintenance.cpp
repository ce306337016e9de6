#include "features/mcu_maintenance.h"

#include "core/hw_access.h"
#include "core/library_lock.h"
#include "mcu/frame.h"
#include "mcu/link.h"
#include "os/os.h"

namespace hx::mcu {
namespace {

constexpr u8 kVersionCode = 0xFF;

// The pad word of the MCU's reset line: bits 0..11 are the pad's
// configuration, the rest is kept. Bit 9 set and bit 8 clear make the pad
// an output; bit 0 is the level it drives.
constexpr u32 kResetPad = 0xD0C50528;
constexpr u32 kPadKeptBits = 0xFFFFF000;
constexpr u32 kPadOutputLow = 0x200;
constexpr u32 kPadOutputHigh = 0x201;
constexpr u32 kResetPulseMs = 50;

}  // namespace

Bool32 GetVersion(u32* version) {
    if (!OpenMcuLink(serialPortMcu) || !version) return kFalse;
    LibraryLockGuard lock;
    return McuQuery(kVersionCode, version);
}

Bool32 Reset() {
    u32 pad = 0;
    HwReadPhys32(kResetPad, &pad);
    const u32 kept = pad & kPadKeptBits;
    HwWritePhys32(kResetPad, kept | kPadOutputLow);
    HwWritePhys32(kResetPad, kept | kPadOutputHigh);
    os::SleepMs(kResetPulseMs);
    HwWritePhys32(kResetPad, kept | kPadOutputLow);
    return kTrue;
}

}  // namespace hx::mcu
