#include "features/adc.h"

#include "core/library_lock.h"
#include "mcu/frame.h"
#include "mcu/link.h"

namespace hx::adc {
namespace {

// Command codes on the MCU command link.
constexpr u8 kStopCode = 0xA0;
constexpr u8 kStartCode = 0xA1;
constexpr u8 kReadCode = 0xA2;

// 3723 counts of the converter are 33.0 V at the input.
constexpr double kFullScaleVolts = 33.0;
constexpr double kFullScaleCounts = 3723.0;

}  // namespace

Bool32 Start(u32 value) {
    if (!OpenCommandLink()) return kFalse;
    LibraryLockGuard lock;
    if (McuCommand(kStartCode, value)) return kTrue;
    Stop(value);  // takes the lock again: it is recursive
    return kFalse;
}

Bool32 Stop(u32 value) {
    if (!OpenCommandLink()) return kFalse;
    LibraryLockGuard lock;
    return McuCommand(kStopCode, value);
}

Bool32 GetData(u32 channel, double* volts) {
    if (!OpenCommandLink() || !volts) return kFalse;
    LibraryLockGuard lock;
    u32 raw = channel;
    if (!McuQuery(kReadCode, &raw)) return kFalse;
    *volts = (static_cast<double>(raw) * kFullScaleVolts) / kFullScaleCounts;
    return kTrue;
}

}  // namespace hx::adc
