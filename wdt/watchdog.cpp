#include "wdt/watchdog.h"

#include "core/hw_access.h"
#include "core/library_lock.h"
#include "core/state.h"
#include "wdt/superio.h"
#include "wdt/tco.h"

namespace hx::wdt {

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

// The first write of the entry key doubles as the test for hardware access.
Bool32 InitSequence(bool exitConfiguration) {
    if (Shared().wdtInitDone.load(kRelaxed)) return kTrue;
    LibraryLockGuard lock;
    if (!HwWriteByte(sio::kIndexPort, sio::kEntryKey[0])) return kFalse;
    sio::Enter();
    sio::SelectGpio();
    if (exitConfiguration) sio::Exit();
    WdtCount.store(kDefaultCount, kRelaxed);
    WdtUnit.store(kDefaultUnit, kRelaxed);
    Shared().wdtInitDone.store(1, kRelaxed);
    return kTrue;
}

}  // namespace

bool InSeconds() { return WdtUnit.load(kRelaxed) == kUnitSeconds; }

u16 TimeoutValue(Margin margin) {
    const u8 add = InSeconds() ? margin.seconds : margin.minutes;
    return static_cast<u16>(WdtCount.load(kRelaxed) + add);
}

u8 ConfigValue(u8 forMinutes, u8 forSeconds) { return InSeconds() ? forSeconds : forMinutes; }

Bool32 SetWDT(u16 count, u8 unit) {
    WdtCount.store(count, kRelaxed);
    if (unit != kUnitMinutes && unit != kUnitSeconds) return kFalse;
    WdtUnit.store(unit, kRelaxed);
    return kTrue;
}

Bool32 InitWDT() { return InitSequence(true); }
Bool32 InitWDTNoExit() { return InitSequence(false); }

Bool32 ReloadSuperIo(Margin margin) {
    LibraryLockGuard lock;
    if (!WdtRunning.load(kRelaxed)) return kTrue;
    sio::Enter();
    sio::SelectGpio();
    sio::WriteWdtValue(TimeoutValue(margin));
    sio::Exit();
    return kTrue;
}

}  // namespace hx::wdt
