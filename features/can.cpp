#include "features/can.h"

#include "core/library_lock.h"
#include "core/state.h"
#include "mcu/frame.h"
#include "mcu/link.h"
#include "mcu/receiver.h"
#include "os/os.h"

namespace hx::can {
namespace {

// Command codes on the MCU command link.
constexpr u8 kStopCode = 0x80;
constexpr u8 kStartCode = 0x81;
constexpr u8 kTimingSetFirst = 0x82;  // 82h, 83h, ... one per bit-timing word
constexpr u8 kTimingGetFirst = 0x84;  // 84h, 85h, ...
constexpr u8 kSetupFirst = 0x86;      // 86h..89h
constexpr u32 kNoPayload = 0;

// The setup record has at most four words.
constexpr u32 kSetupMaxBytes = 16;

// The controller and the receive threads settle after a start, outside the
// lock; the receive threads get this long to take the stop under it.
constexpr u32 kStartSettleMs = 100;
constexpr u32 kStopPauseMs = 20;

const u8* EndOf(const void* record, u32 size) { return static_cast<const u8*>(record) + size; }

bool OpenBothLinks() { return OpenMcuLink(serialPortMcu) && OpenMcuLink(serialPortCan); }

Bool32 ExchangeEcho(u8 code) {
    McuFrame frame;
    BuildFrame(code, kNoPayload, frame);
    return McuExchangeEcho(frame);
}

// Under the library lock: the controller answered the start; now the
// threads. A thread that cannot start takes the whole stop with it.
bool StartThreads(u32 port) {
    if (StartMcuReceiver() && StartCanReceiver()) return true;
    Stop(port);  // takes the lock again: it is recursive
    return false;
}

}  // namespace

Bool32 Setup(u32, void* setup, u32 size) {
    if (!OpenMcuLink(serialPortMcu)) return kFalse;
    if (!setup) return kFalse;
    const u32 used = size < kSetupMaxBytes ? size : kSetupMaxBytes;
    LibraryLockGuard lock;
    return McuCommandRange(kSetupFirst, setup, EndOf(setup, used));
}

Bool32 Start(u32 port) {
    if (!OpenBothLinks()) return kFalse;
    {
        LibraryLockGuard lock;
        if (!ExchangeEcho(kStartCode) || !StartThreads(port)) return kFalse;
        CanStarted.store(1);
    }
    os::SleepMs(kStartSettleMs);
    return kTrue;
}

Bool32 Stop(u32) {
    if (!OpenBothLinks()) return kFalse;
    LibraryLockGuard lock;
    McuPost(kStopCode, kNoPayload);  // its echo, if any, is purged below
    // DI change events still need the MCU link's receive thread.
    if (DicosStarted.load() == 0) StopLinkReceiver(serialPortMcu);
    os::SleepMs(kStopPauseMs);
    StopLinkReceiver(serialPortCan);
    os::SerialPurge(serialPortMcu.comHandle.load(), false);
    if (!ExchangeEcho(kStopCode)) return kFalse;  // CanStarted stays: the unload tries again
    CanStarted.store(0);
    return kTrue;
}

Bool32 Send(u32, CanMessage* message, u32 size) {
    if (!OpenMcuLink(serialPortCan)) return kFalse;
    if (!message || size < kCanFrameSize) return kFalse;
    CanFrame frame;
    EncodeCanFrame(*message, frame);
    u32 written = 0;
    return LinkWrite(serialPortCan, frame, kCanFrameSize, &written) && written == kCanFrameSize ? kTrue : kFalse;
}

Bool32 BitTimingGet(u32, void* timing, u32 size) {
    if (!OpenMcuLink(serialPortMcu)) return kFalse;
    if (!timing) return kFalse;
    LibraryLockGuard lock;
    return McuQueryRange(kTimingGetFirst, timing, EndOf(timing, size));
}

Bool32 BitTimingSet(u32, void* timing, u32 size) {
    if (!OpenMcuLink(serialPortMcu)) return kFalse;
    if (!timing) return kFalse;
    LibraryLockGuard lock;
    return McuCommandRange(kTimingSetFirst, timing, EndOf(timing, size));
}

}  // namespace hx::can
