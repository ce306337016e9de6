#include "frame/diagnostics.h"

#include "core/library_lock.h"
#include "wdt/superio.h"

namespace hx {

SuperIoWatchdogSnapshot ReadSuperIoWatchdog() {
    using namespace sio;
    LibraryLockGuard lock;
    Enter();
    const u8 idHigh = Read(kRegChipIdHigh);
    const u8 idLow = Read(kRegChipIdLow);
    SelectGpio();
    const u8 config = Read(kRegWdtConfig);
    const u8 low = Read(kRegWdtValueLow);
    const u8 high = Read(kRegWdtValueHigh);
    Exit();
    return {static_cast<u16>(idHigh << 8 | idLow), config, static_cast<u16>(high << 8 | low),
            (config & kWdtUnitSeconds) != 0};
}

}  // namespace hx
