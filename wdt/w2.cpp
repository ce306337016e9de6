// W2: Super I/O watchdog through PWROK; needs InitWDT (in any process)
// before it starts, and routes the watchdog pads of the SoC.
#include "core/hw_access.h"
#include "core/library_lock.h"
#include "core/state.h"
#include "wdt/superio.h"
#include "wdt/watchdog.h"

namespace hx::w2 {
namespace {

using namespace hx::wdt;

constexpr Margin kMargin{1, 5};
constexpr u8 kConfigMinutes = sio::kWdtResetPwrOk;
constexpr u8 kConfigSeconds = sio::kWdtUnitSeconds | sio::kWdtResetPwrOk;
constexpr u8 kExtPinWdt = 0x20;  // 2Ah bit 5: the pin carries the watchdog output

// The SoC pad that carries the watchdog output: its configuration word
// (bit 0 of the function select) and its value word (bits 0..2: level,
// output disable, input disable; all cleared drives the pad low).
constexpr u32 kPadConfigAddress = 0xFED0C150;
constexpr u32 kPadConfigFunction0 = 0x1;
constexpr u32 kPadValueAddress = 0xFED0C158;
constexpr u32 kPadValueBits = 0x7;

constexpr auto kRelaxed = std::memory_order_relaxed;

}  // namespace

Bool32 StartWDT() {
    if (!Shared().wdtInitDone.load(kRelaxed)) return kFalse;
    LibraryLockGuard lock;
    sio::Enter();
    sio::SelectGpio();
    sio::Write(sio::kRegLedBlinkPins, sio::kLedPinGp37);
    sio::Write(sio::kRegLedBlinkCtrl, sio::kLedBlinkControl);
    sio::SetBits(sio::kRegExtPinSelect, kExtPinWdt);
    HwClearPhysBits(kPadConfigAddress, kPadConfigFunction0);
    HwClearPhysBits(kPadValueAddress, kPadValueBits);
    sio::Write(sio::kRegWdtConfig, ConfigValue(kConfigMinutes, kConfigSeconds));
    sio::WriteWdtValue(TimeoutValue(kMargin));
    WdtRunning.store(1, kRelaxed);
    sio::Exit();
    return kTrue;
}

// Only the process that started the watchdog stops it.
Bool32 StopWDT() {
    if (!WdtRunning.load(kRelaxed)) return kFalse;
    LibraryLockGuard lock;
    sio::Enter();
    sio::SelectGpio();
    sio::Write(sio::kRegLedBlinkPins, 0);
    sio::WriteWdtValue(0);
    sio::Exit();
    WdtRunning.store(0, kRelaxed);
    return kTrue;
}

Bool32 ResetWDT() { return ReloadSuperIo(kMargin); }

}  // namespace hx::w2
