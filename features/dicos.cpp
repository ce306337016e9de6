#include "features/dicos.h"

#include <cstring>

#include "core/library_lock.h"
#include "core/state.h"
#include "dio/routing.h"
#include "mcu/frame.h"
#include "mcu/link.h"
#include "mcu/receiver.h"
#include "mcu/shared_link.h"
#include "os/os.h"

namespace hx::dicos {
namespace {

// MCU command codes.
constexpr u8 kStop = 0x30;
constexpr u8 kStart = 0x31;
constexpr u8 kSetup = 0x32;
constexpr u8 kSetupSecondWord = 0x33;  // C3: the polarity word

// The record holds at least lineMask, modeMask and polarityMask.
constexpr u32 kMinSetupSize = 6;

// C1's connector has four inputs; a setup that names none of them is refused.
constexpr u16 kC1Lines = 0x000F;

// The setup word of C1 and C2: byte 0 the tag 03h, then the low bytes of
// lineMask, modeMask and the complement of polarityMask.
constexpr u32 kCompactSetupTag = 0x03;
constexpr u32 kLineByteShift = 8;
constexpr u32 kModeByteShift = 16;
constexpr u32 kPolarityByteShift = 24;
constexpr u32 kLowByte = 0xFF;

// The setup words of C3: lineMask in the low half and modeMask in the high
// half of the first; the complement of polarityMask in the low half of the
// second, its high half 0.
constexpr u32 kModeHalfShift = 16;
constexpr u32 kLowHalf = 0xFFFF;

// C2 reads its echo after this pause, then within the answer time-out.
constexpr u32 kDirectEchoPauseMs = 10;

DicosSetup Copy(const DicosSetup* setup) {
    DicosSetup s{};
    std::memcpy(&s, setup, sizeof s);  // the caller's record need not be aligned
    return s;
}

bool Usable(const DicosSetup* setup, u32 size) { return setup && size >= kMinSetupSize; }

u32 CompactSetupWord(const DicosSetup& s) {
    return kCompactSetupTag | (u32{s.lineMask} & kLowByte) << kLineByteShift |
           (u32{s.modeMask} & kLowByte) << kModeByteShift | (~u32{s.polarityMask} & kLowByte) << kPolarityByteShift;
}

void PurgeReceiveSide() { os::SerialPurge(serialPortMcu.comHandle.load(), false); }

// The family's receive-thread body, unless the platform init chose one.
void UseReceiverUnlessSet(RxThreadKind kind) {
    RxThreadKind none = RxThreadKind::None;
    serialPortMcu.rxThreadProc.compare_exchange_strong(none, kind);
}

Bool32 Result(bool ok) { return ok ? kTrue : kFalse; }

// The receive thread carries the events once it runs; one started that has
// not yet begun to read counts too, or it would be left running.
bool ReceiverStarted() {
    return serialPortMcu.rxRunning.load() != 0 || os::HandleIsOpen(serialPortMcu.rxThread.load());
}

// ---- C1 and C3: framed exchanges under the library lock ----------------------------

// While the events run, the MCU is told to stop them (not waiting for its
// echo, which the receive thread would take) and the thread ends; what the
// MCU sent meanwhile is discarded.
void StopEventReception() {
    if (!ReceiverStarted() || DicosStarted.load() != 1) return;
    McuPost(kStop, 0);
    StopLinkReceiver(serialPortMcu);
    os::SleepMs(kStopSettleMs);
    PurgeReceiveSide();
}

// The caller holds the lock and has opened the link. A failed echo leaves
// DicosStarted set (the receive thread is stopped all the same).
bool StopFramed() {
    StopEventReception();
    if (!McuCommand(kStop, 0)) return false;
    DicosStarted.store(0);
    return true;
}

// C3: true when this process holds the MCU port and serves the other
// processes' DIO. A process that cannot open the port opens the sharing
// objects instead, so that its DIO goes through the owner; it does not
// carry DICOS.
bool HoldMcuPort() {
    if (!OpenMcuLink(serialPortMcu)) {
        OpenSharedLinkObjects();
        return false;
    }
    return StartSharedLinkServer() != kFalse;
}

// ---- C2: the older dialect, written and read on the link directly -------------------

// All 7 bytes written, and after a pause all 7 read back as sent.
bool EchoedDirect(const u8* frame) {
    u32 written = 0;
    if (!LinkWrite(serialPortMcu, frame, kFrameSize, &written) || written != kFrameSize) return false;
    os::SleepMs(kDirectEchoPauseMs);
    u8 echo[kFrameSize] = {};
    u32 got = 0;
    LinkRead(serialPortMcu, echo, kFrameSize, &got, kAnswerTimeoutMs);
    return got == kFrameSize && std::memcmp(echo, frame, kFrameSize) == 0;
}

bool StopThroughPlatform() {
    const PlatformOps* p = CurrentPlatform.load();
    return p && p->dicos.StopDICOS && p->dicos.StopDICOS() != kFalse;
}

}  // namespace

// ---- C1 ---------------------------------------------------------------------------

Bool32 SetupC1(DicosSetup* setup, u32 size) {
    if (!Usable(setup, size) || !OpenMcuLink(serialPortMcu)) return kFalse;
    const DicosSetup s = Copy(setup);
    if ((s.lineMask & kC1Lines) == 0) return kFalse;
    LibraryLockGuard lock;
    return McuCommand(kSetup, CompactSetupWord(s));
}

Bool32 StartC1() {
    if (!OpenMcuLink(serialPortMcu)) return kFalse;
    LibraryLockGuard lock;
    if (!McuCommand(kStart, 0)) return kFalse;
    UseReceiverUnlessSet(RxThreadKind::McuEvents8);
    if (!StartMcuReceiver()) {
        StopC1();
        return kFalse;
    }
    CallDioModeHookIfSet();
    DicosStarted.store(1);
    return kTrue;
}

Bool32 StopC1() {
    if (!OpenMcuLink(serialPortMcu)) return kFalse;
    LibraryLockGuard lock;
    return Result(StopFramed());
}

// ---- C2 (no lock but in the stop) ---------------------------------------------------

Bool32 SetupC2(DicosSetup* setup, u32 size) {
    if (!Usable(setup, size) || !OpenMcuLink(serialPortMcu)) return kFalse;
    // The MCU takes a setup only while stopped: a running DICOS is stopped
    // around it and started again afterwards.
    const bool restart = ReceiverStarted();
    if (restart && !StopThroughPlatform()) return kFalse;
    u8 frame[kFrameSize];
    BuildFrame(kSetup, CompactSetupWord(Copy(setup)), frame);
    if (!EchoedDirect(frame)) return kFalse;
    // Through the export, as the application starts it.
    return Result(!restart || ::StartDICOS() != kFalse);
}

Bool32 StartC2() {
    if (!OpenMcuLink(serialPortMcu)) return kFalse;
    u8 frame[kFrameSize];
    BuildShortCommand(kStart, frame);
    if (!EchoedDirect(frame)) return kFalse;
    UseReceiverUnlessSet(RxThreadKind::DicosPort);
    if (!StartMcuReceiver()) return kFalse;  // the MCU stays started
    CallDioModeHook();
    DicosStarted.store(1);
    return kTrue;
}

Bool32 StopC2() {
    if (!OpenMcuLink(serialPortMcu)) return kFalse;
    u8 frame[kFrameSize];
    BuildShortCommand(kStop, frame);
    {
        LibraryLockGuard lock;
        // The first stop ends the messages; its echo goes with the receive
        // side. The second one is read back. Stopping a receive thread gives
        // the first echo time to arrive before the purge; without a thread
        // the stop waits as long itself, or that echo would come after the
        // purge and be taken for the second one, leaving the second one
        // to be misread by the next exchange.
        const bool threadRan = os::HandleIsOpen(serialPortMcu.rxThread.load());
        u32 written = 0;
        LinkWrite(serialPortMcu, frame, kFrameSize, &written);
        StopLinkReceiver(serialPortMcu);
        if (!threadRan) os::SleepMs(kStopSettleMs);
        PurgeReceiveSide();
        if (!EchoedDirect(frame)) return kFalse;
    }
    DicosStarted.store(0);
    return kTrue;
}

// ---- C3 -----------------------------------------------------------------------------

Bool32 SetupC3(DicosSetup* setup, u32 size) {
    if (!Usable(setup, size)) return kFalse;
    const DicosSetup s = Copy(setup);
    if (s.lineMask == 0 || !HoldMcuPort()) return kFalse;
    LibraryLockGuard lock;
    return Result(McuCommand(kSetup, u32{s.lineMask} | u32{s.modeMask} << kModeHalfShift) &&
                  McuCommand(kSetupSecondWord, ~u32{s.polarityMask} & kLowHalf));
}

Bool32 StartC3() {
    if (!HoldMcuPort()) return kFalse;
    LibraryLockGuard lock;
    if (!McuCommand(kStart, 0)) return kFalse;
    if (!StartMcuReceiver()) {
        StopC3();
        return kFalse;
    }
    DicosStarted.store(1);
    return kTrue;
}

Bool32 StopC3() {
    if (!HoldMcuPort()) return kFalse;
    LibraryLockGuard lock;
    if (!StopFramed()) return kFalse;
    PurgeReceiveSide();
    return kTrue;
}

}  // namespace hx::dicos
