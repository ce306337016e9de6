#include "mcu/link.h"

#include "mcu/port_discovery.h"
#include "mcu/receiver.h"
#include "mcu/shared_link.h"
#include "core/port_kind.h"

namespace hx {

McuLink serialPortMcu{};
McuLink serialPortCan{};

namespace {

// A port kind of 0 means the UART at I/O base 2E8h.
constexpr u32 kDefaultPortKind = kPortUart2E8;
constexpr u32 kGatePollMs = 1;

void ClearLink(McuLink& link, u32 baud) {
    link.comHandle.store(os::kNoHandle);
    link.rxThread.store(os::kNoHandle);
    link.stopEvent.store(os::kNoHandle);
    link.ioEvent.store(os::kNoHandle);
    link.rxThreadProc.store(RxThreadKind::None);
    link.portKind.store(0);
    link.baudRate.store(baud);
    link.rxRunning.store(0);
    // answerEvent is not reset: once created it lives until the process
    // ends, because a receive thread that did not stop in time may still
    // set it.
    link.heldCount.store(0);
    link.opening.store(false);
    link.starting.store(false);
    link.portUsers.store(0);
    ClearFrameBuf(link);
}

// A read or write in progress: its descriptor is not closed under it.
class PortUse {
public:
    explicit PortUse(McuLink& link) : link_(link) { link_.portUsers.fetch_add(1); }
    ~PortUse() { link_.portUsers.fetch_sub(1); }
    PortUse(const PortUse&) = delete;
    PortUse& operator=(const PortUse&) = delete;

private:
    McuLink& link_;
};

}  // namespace

void CloseEvent(std::atomic<os::Handle>& event) {
    os::Handle h = event.exchange(os::kNoHandle);
    if (os::HandleIsOpen(h)) os::CloseHandle(h);
}

bool EnsureEvent(std::atomic<os::Handle>& event) {
    if (os::HandleIsOpen(event.load())) return true;
    const os::Handle h = os::EventCreate();
    if (!os::HandleIsOpen(h)) return false;
    event.store(h);
    return true;
}

void StopThread(std::atomic<u32>& running, std::atomic<os::Handle>& thread, void (*wake)(), bool joinUnterminated) {
    if (running.exchange(0) != 0) {
        wake();
        os::SleepMs(kStopSettleMs);
    }
    const os::Handle h = thread.load();
    if (!os::HandleIsOpen(h)) return;
    if (os::ThreadActive(h)) {
        wake();
        if (!os::ThreadWait(h, kStopJoinMs)) {
            os::ThreadTerminate(h);
            if (joinUnterminated) os::ThreadWait(h, os::kInfinite);
        }
    }
    os::ThreadClose(h);
    thread.store(os::kNoHandle);
}

void SetLinkDefaults() {
    ClearLink(serialPortMcu, kMcuLinkBaud);
    ClearLink(serialPortCan, kCanLinkBaud);
}


LinkGate::LinkGate(std::atomic<bool>& flag) : flag_(flag) {
    while (flag_.exchange(true)) os::SleepMs(kGatePollMs);
}

LinkGate::~LinkGate() { flag_.store(false); }

Bool32 OpenMcuLink(McuLink& link) {
    if (os::HandleIsOpen(link.comHandle.load())) return kTrue;
    // Two first calls at once must not both open the port: the second open
    // of the same terminal can fail its configuration and close the port
    // under the first.
    const LinkGate gate(link.opening);
    if (os::HandleIsOpen(link.comHandle.load())) return kTrue;  // opened by the call that held the gate
    if (link.portKind.load() == 0) link.portKind.store(kDefaultPortKind);

    os::PathChar path[os::kPortPathChars] = {};
    if (!FindMcuPort(link.portKind.load(), path)) return kFalse;
    path[os::kPortPathChars - 1] = 0;

    const os::Handle port = os::SerialOpen(path);
    if (!os::HandleIsOpen(port)) {
        link.comHandle.store(port);  // kInvalidHandle: the next call searches again
        return kFalse;
    }
    if (!os::SerialSetup(port, link.baudRate.load())) {
        os::CloseHandle(port);
        link.comHandle.store(os::kNoHandle);
        return kFalse;
    }
    os::SerialResetLine(port);
    // Published only now: a caller that finds the handle open writes at
    // once, and the line reset above would discard what it wrote.
    link.comHandle.store(port);
    return kTrue;
}

Bool32 PrepareLinkEvents(McuLink& link) {
    return EnsureEvent(link.stopEvent) && EnsureEvent(link.ioEvent) ? kTrue : kFalse;
}

Bool32 LinkRead(McuLink& link, u8* buffer, u32 count, u32* bytesRead, u32 timeoutMs) {
    *bytesRead = 0;  // a failed read reports no bytes, whichever step failed
    if (!PrepareLinkEvents(link)) return kFalse;
    const PortUse use(link);
    return os::SerialRead(link.comHandle.load(), link.stopEvent.load(), link.ioEvent.load(), buffer, count,
                          bytesRead, timeoutMs)
               ? kTrue
               : kFalse;
}

Bool32 LinkWrite(McuLink& link, const u8* buffer, u32 count, u32* bytesWritten) {
    const PortUse use(link);
    return os::SerialWrite(link.comHandle.load(), buffer, count, bytesWritten) ? kTrue : kFalse;
}

void StopLinkReceiver(McuLink& link) {
    const os::Handle port = link.comHandle.load();
    if (link.rxRunning.exchange(0) != 0) {
        os::EventSet(link.stopEvent.load());
        os::SerialPurge(port, false);
        os::SleepMs(kStopSettleMs);
    }
    const os::Handle thread = link.rxThread.load();
    if (os::HandleIsOpen(thread)) {
        if (os::ThreadActive(thread)) {
            os::EventSet(link.stopEvent.load());
            os::EventSet(link.ioEvent.load());
            // A thread that first ran after step 1 has set rxRunning again:
            // cleared after the stop event, so that the thread sees either.
            link.rxRunning.store(0);
            if (!os::ThreadWait(thread, kStopJoinMs)) os::ThreadTerminate(thread);
        }
        os::ThreadClose(thread);
        link.rxThread.store(os::kNoHandle);
    }
    os::SerialPurge(port, false);
    CloseEvent(link.stopEvent);
    CloseEvent(link.ioEvent);
}

void CloseLinkPort(McuLink& link) {
    // Taken away first: a read or write that starts now finds no port; those
    // in progress end (by their time-outs at the latest) before the close.
    const os::Handle port = link.comHandle.exchange(os::kNoHandle);
    if (!os::HandleIsOpen(port)) return;
    for (u32 waited = 0; link.portUsers.load() != 0 && waited < kPortDrainMs; ++waited) os::SleepMs(1);
    os::CloseHandle(port);
}

void CloseMcuLinks() {
    StopDt2EventThread();
    // A receive thread that no unload step stopped (DT2 events without CAN
    // or DICOS) must not outlive the port it reads.
    StopLinkReceiver(serialPortMcu);
    StopLinkReceiver(serialPortCan);
    CloseDt2Event();  // only now that no receive thread can signal it
    CloseSharedLink();
    CloseLinkPort(serialPortMcu);
    CloseLinkPort(serialPortCan);
}

void CopyFrameBuf(const McuLink& link, u8* out, u32 count) {
    for (u32 i = 0; i < count && i < kLinkFrameBufSize; ++i) out[i] = link.frameBuf[i].load(std::memory_order_relaxed);
}

void StoreFrameBuf(McuLink& link, const u8* bytes, u32 count) {
    for (u32 i = 0; i < count && i < kLinkFrameBufSize; ++i) link.frameBuf[i].store(bytes[i], std::memory_order_relaxed);
}

void ClearFrameBuf(McuLink& link) {
    for (std::atomic<u8>& b : link.frameBuf) b.store(0, std::memory_order_relaxed);
}

}  // namespace hx
