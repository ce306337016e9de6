// W3 (KRST#) and W4 (PWROK, with a PCH pad that enables the watchdog
// output). They share the kick, which adds one second in seconds mode; W4's
// start writes the count unchanged.
#include "core/hw_access.h"
#include "core/library_lock.h"
#include "core/state.h"
#include "wdt/superio.h"
#include "wdt/watchdog.h"

namespace hx {
namespace {

using namespace hx::wdt;

constexpr Margin kW3Margin{0, 1};
constexpr Margin kW4StartMargin{0, 0};
constexpr u8 kW4ClockSelect = 0x10;

// The PCH pad configuration word (DW0) of the watchdog enable line; bit 0
// is the output level.
constexpr u32 kW4PadAddress = 0xFD6D07C0;
constexpr u32 kPadTxHigh = 0x1;

// Stop values of 72h: W3 clears everything; W4 leaves seconds selected and
// both reset outputs off.
constexpr u8 kW3ConfigStopped = 0x00;
constexpr u8 kW4ConfigStopped = sio::kWdtUnitSeconds;

constexpr auto kRelaxed = std::memory_order_relaxed;

void SetPad(bool high) {
    if (high) {
        HwSetPhysBits(kW4PadAddress, kPadTxHigh);
    } else {
        HwClearPhysBits(kW4PadAddress, kPadTxHigh);
    }
}

void WriteStopped(u8 config) {
    sio::Write(sio::kRegWdtConfig, config);
    sio::WriteWdtValue(0);
    sio::Write(sio::kRegLedBlinkPins, 0);
}

}  // namespace

namespace w3 {

Bool32 StartWDT() {
    LibraryLockGuard lock;
    sio::Enter();
    sio::SelectGpio();
    sio::Write(sio::kRegWdtConfig,
               ConfigValue(sio::kWdtResetKrst, sio::kWdtUnitSeconds | sio::kWdtResetKrst));
    sio::Write(sio::kRegLedBlinkPins, sio::kLedPinGp52);
    sio::Write(sio::kRegLedBlinkCtrl, sio::kLedBlinkControl);
    sio::WriteWdtValue(TimeoutValue(kW3Margin));
    WdtRunning.store(1, kRelaxed);
    sio::Exit();
    return kTrue;
}

Bool32 StopWDT() {
    LibraryLockGuard lock;
    sio::Enter();
    sio::SelectGpio();
    WriteStopped(kW3ConfigStopped);
    sio::Exit();
    WdtRunning.store(0, kRelaxed);
    return kTrue;
}

Bool32 ResetWDT() { return ReloadSuperIo(kW3Margin); }

}  // namespace w3

namespace w4 {

Bool32 StartWDT() {
    LibraryLockGuard lock;
    sio::Enter();
    sio::SelectGpio();
    SetPad(true);
    sio::Write(sio::kRegWdtConfig,
               ConfigValue(sio::kWdtResetPwrOk, sio::kWdtUnitSeconds | sio::kWdtResetPwrOk));
    sio::Write(sio::kRegLedBlinkPins, sio::kLedPinGp52);
    sio::Write(sio::kRegLedBlinkCtrl, sio::kLedBlinkControl);
    sio::Write(sio::kRegClockSelect, kW4ClockSelect);
    sio::WriteWdtValue(TimeoutValue(kW4StartMargin));
    WdtRunning.store(1, kRelaxed);
    sio::Exit();
    return kTrue;
}

Bool32 StopWDT() {
    LibraryLockGuard lock;
    sio::Enter();
    sio::SelectGpio();
    WriteStopped(kW4ConfigStopped);
    SetPad(false);
    sio::Exit();
    WdtRunning.store(0, kRelaxed);
    return kTrue;
}

}  // namespace w4
}  // namespace hx
