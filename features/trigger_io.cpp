#include "features/trigger_io.h"

#include <cstring>

#include "core/hw_access.h"
#include "core/library_lock.h"
#include "dio/routing.h"
#include "mcu/frame.h"
#include "mcu/link.h"
#include "os/os.h"

namespace hx::trigger {
namespace {

constexpr u32 kWordBytes = sizeof(u32);

// Unit words: unit x factor + adjust, in 32 bits. The older firmware's unit
// register has 16.
constexpr u32 kFramedUnitFactor = 80;
constexpr u32 kShortUnitFactor = 25;
constexpr u32 kShortUnitMax = 0xFFFF;

// The older firmware takes a setup record of at least three words.
constexpr u32 kShortSetupMinSize = 3 * kWordBytes;

// The blocks' hold line: a whole pad word, 1 holds the blocks, 0 lets them
// run. A start releases them after a pulse this long.
constexpr u32 kHoldPad = 0xFED0C1E8;
constexpr u32 kHold = 1;
constexpr u32 kRelease = 0;
constexpr u32 kHoldPulseMs = 10;

Bool32 Result(bool ok) { return ok ? kTrue : kFalse; }

bool CommandLocked(u8 code, u32 word) {
    LibraryLockGuard lock;
    return McuCommand(code, word) != kFalse;
}

bool ShortEcho(u8 code) {
    McuFrame frame;
    BuildShortCommand(code, frame);
    return McuExchangeEcho(frame) != kFalse;
}

// The block's prepare, then DICOS stopped through the platform: the inputs
// go over to the block.
bool DtPrepare(u8 code) {
    if (!ShortEcho(code)) return false;
    const PlatformOps* p = CurrentPlatform.load();
    return p && p->dicos.StopDICOS && p->dicos.StopDICOS() != kFalse;
}

// While the receive thread runs, DICOS may report on the link: prepare first.
bool PrepareIfReceiving(const Block& b) { return serialPortMcu.rxRunning.load() == 0 || DtPrepare(b.prepare); }

// The older firmware's words that must not be 0 become 1, in the caller's
// record (which need not be aligned).
void ReplaceZeroWords(const Block& b, u8* record) {
    constexpr u32 kOne = 1;
    for (u32 k = 0; b.wordsNotZero >> k; ++k) {
        u32 word = 0;
        std::memcpy(&word, record + k * kWordBytes, kWordBytes);
        if ((b.wordsNotZero >> k & 1u) && word == 0) std::memcpy(record + k * kWordBytes, &kOne, kWordBytes);
    }
}

bool StoreUnit(const Block& b, u16 unit) {
    b.unitCell->store(unit);
    return true;
}

}  // namespace

// ---- T1: full frames under the library lock ------------------------------------------

Bool32 SetupT1(const Block& b, void* setup, u32 size) {
    if (!OpenCommandLink() || !setup) return kFalse;
    const u8* record = static_cast<const u8*>(setup);
    LibraryLockGuard lock;
    return McuCommandRange(b.setupFirst, record, record + size);
}

Bool32 StartT1(const Block& b) {
    if (!OpenCommandLink() || !CommandLocked(b.start, 0)) return kFalse;
    CallTriggerModeHookIfSet();
    return kTrue;
}

Bool32 StopT1(const Block& b) {
    if (!OpenCommandLink() || !CommandLocked(b.stop, 0)) return kFalse;
    CallDioModeHookIfSet();
    return kTrue;
}

Bool32 SetUnitT1(const Block& b, u16 unit, u32 adjust) {
    return Result(OpenCommandLink() && CommandLocked(b.unit, unit * kFramedUnitFactor + adjust) && StoreUnit(b, unit));
}

// ---- T2: short commands, no lock ------------------------------------------------------

Bool32 SetupT2(const Block& b, void* setup, u32 size) {
    if (!setup || size < kShortSetupMinSize || !OpenCommandLink() || !PrepareIfReceiving(b)) return kFalse;
    u8* record = static_cast<u8*>(setup);
    ReplaceZeroWords(b, record);
    return McuCommandRange(b.setupFirst, record, record + size);
}

Bool32 StartT2(const Block& b) {
    if (!OpenCommandLink() || !PrepareIfReceiving(b) || !ShortEcho(b.start)) return kFalse;
    CallTriggerModeHook();
    return kTrue;
}

Bool32 StopT2(const Block& b) {
    if (!OpenCommandLink() || !ShortEcho(b.stop)) return kFalse;
    CallDioModeHook();
    return kTrue;
}

Bool32 SetUnitT2(const Block& b, u16 unit, u32 adjust) {
    if (!OpenCommandLink()) return kFalse;
    const u32 word = unit * kShortUnitFactor + adjust;
    return Result(word <= kShortUnitMax && McuCommand(b.unit, word) && StoreUnit(b, unit));
}

// ---- T3: T2 with the hold line ---------------------------------------------------------

Bool32 StartT3(const Block& b) {
    HwWritePhys32(kHoldPad, kHold);
    os::SleepMs(kHoldPulseMs);
    HwWritePhys32(kHoldPad, kRelease);
    return StartT2(b);
}

// The line stays high, whatever the stop's answer.
Bool32 StopT3(const Block& b) {
    HwWritePhys32(kHoldPad, kHold);
    return StopT2(b);
}

}  // namespace hx::trigger
