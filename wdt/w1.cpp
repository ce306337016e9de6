// W1: Super I/O watchdog through KRST#, with the chipset TCO timer armed
// beside it whenever the requested time fits the TCO range.
#include "core/library_lock.h"
#include "core/state.h"
#include "wdt/superio.h"
#include "wdt/tco.h"
#include "wdt/watchdog.h"

namespace hx::w1 {
namespace {

using namespace hx::wdt;

constexpr Margin kMargin{1, 5};
constexpr u8 kConfigMinutes = sio::kWdtResetKrst;
constexpr u8 kConfigSeconds = sio::kWdtUnitSeconds | sio::kWdtResetKrst;
constexpr u8 kGpioSet3WdtPin = 0x80;  // 27h bit 7: the pin carries the watchdog output

// The TCO range: up to 10 minutes or 610 seconds (1017 ticks of 0.6 s).
constexpr u16 kTcoMaxMinutes = 10;
constexpr u16 kTcoMaxSeconds = 610;
constexpr u16 kSecondsPerMinute = 60;

constexpr auto kRelaxed = std::memory_order_relaxed;

// The TCO time in seconds, or false when the request is beyond its range.
bool TcoSeconds(u16* seconds) {
    const u16 count = WdtCount.load(kRelaxed);
    if (InSeconds()) {
        *seconds = count;
        return count <= kTcoMaxSeconds;
    }
    *seconds = static_cast<u16>(count * kSecondsPerMinute);
    return count <= kTcoMaxMinutes;
}

}  // namespace

Bool32 StartWDT() {
    LibraryLockGuard lock;
    sio::Enter();
    sio::SelectGpio();
    sio::Write(sio::kRegWdtConfig, ConfigValue(kConfigMinutes, kConfigSeconds));
    u16 seconds = 0;
    if (TcoSeconds(&seconds)) {
        if (!tco::Configure(seconds)) {
            sio::Exit();
            return kFalse;
        }
        tco::Start();
        tco::TcoActive.store(1, kRelaxed);
    }
    sio::SetBits(sio::kRegGpioSet3PinSelect, kGpioSet3WdtPin);
    sio::Write(sio::kRegLedBlinkPins, sio::kLedPinGp37);
    sio::Write(sio::kRegLedBlinkCtrl, sio::kLedBlinkControl);
    sio::WriteWdtValue(TimeoutValue(kMargin));
    WdtRunning.store(1, kRelaxed);
    sio::Exit();
    return kTrue;
}

Bool32 StopWDT() {
    LibraryLockGuard lock;
    if (tco::TcoActive.load(kRelaxed)) {
        tco::Halt();
        tco::TcoActive.store(0, kRelaxed);
    }
    sio::Enter();
    sio::SelectGpio();
    sio::WriteWdtValue(0);
    sio::ClearBits(sio::kRegGpioSet3PinSelect, kGpioSet3WdtPin);
    sio::Exit();
    WdtRunning.store(0, kRelaxed);
    return kTrue;
}

// The TCO reload comes first, whether or not this process runs the watchdog.
Bool32 ResetWDT() {
    LibraryLockGuard lock;
    if (tco::TcoActive.load(kRelaxed)) tco::Reload();
    return ReloadSuperIo(kMargin);
}

}  // namespace hx::w1
