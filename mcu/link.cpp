#include "mcu/link.h"

namespace hx {

McuLink serialPortMcu{};
McuLink serialPortCan{};

namespace {

void ClearLink(McuLink& link, u32 baud) {
    link.comHandle.store(os::kNoHandle);
    link.rxThread.store(os::kNoHandle);
    link.stopEvent.store(os::kNoHandle);
    link.ioEvent.store(os::kNoHandle);
    link.rxThreadProc.store(RxThreadKind::None);
    link.portKind.store(0);
    link.baudRate.store(baud);
    link.rxRunning.store(0);
    link.answerEvent.store(os::kNoHandle);
    link.heldCount.store(0);
    for (u8& b : link.frameBuf) b = 0;
}

void CloseComHandle(McuLink& link) {
    os::Handle h = link.comHandle.exchange(os::kNoHandle);
    if (os::HandleIsOpen(h)) os::CloseHandle(h);
}

void CloseEvent(std::atomic<os::Handle>& event) {
    os::Handle h = event.exchange(os::kNoHandle);
    if (os::HandleIsOpen(h)) os::CloseHandle(h);
}

}  // namespace

void SetLinkDefaults() {
    ClearLink(serialPortMcu, kMcuLinkBaud);
    ClearLink(serialPortCan, kCanLinkBaud);
}

void StopLinkReceiver(McuLink& link) {
    // No receive thread can run before the receiver subsystem exists; the
    // events of the link are released all the same.
    link.rxRunning.store(0);
    CloseEvent(link.stopEvent);
    CloseEvent(link.ioEvent);
    CloseEvent(link.answerEvent);
}

void CloseMcuLinks() {
    CloseComHandle(serialPortMcu);
    CloseComHandle(serialPortCan);
}

}  // namespace hx
