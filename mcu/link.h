// McuLink: the record of one serial link. serialPortMcu is the MCU command
// link (115200 baud), serialPortCan the CAN data link (921600 baud). The
// transport operations open and configure a link, read and write it, and stop
// its receive thread; none of them takes the library lock.
#pragma once

#include <atomic>

#include "core/types.h"
#include "os/os.h"

namespace hx {

// Receive-thread body chosen for a link by the platform init or a feature.
enum class RxThreadKind : u8 {
    None,
    McuEvents8,   // McuReceiverThread, 8-bit DI event variant
    McuEvents16,  // McuReceiverThread, 16-bit DI event variant
    CanReceiver,  // CanReceiverThread
    DicosPort,    // DicosPortReceiverThread (3-byte DI messages)
};

inline constexpr u32 kMcuLinkBaud = 115200;
inline constexpr u32 kCanLinkBaud = 921600;
inline constexpr u32 kLinkFrameBufSize = 16;

// How long StopLinkReceiver gives a receive thread, in milliseconds.
inline constexpr u32 kStopSettleMs = 20;
inline constexpr u32 kStopJoinMs = 500;
// How long a close waits for the reads and writes in progress on the port:
// an answer read (1000 ms) and its completion, with room to spare.
inline constexpr u32 kPortDrainMs = 1500;

struct McuLink {
    std::atomic<os::Handle> comHandle;  // 0 not opened, kInvalidHandle last open failed
    std::atomic<os::Handle> rxThread;
    std::atomic<os::Handle> stopEvent;  // ends a pending LinkRead and the receive thread
    std::atomic<os::Handle> ioEvent;    // completion event of the reads
    std::atomic<RxThreadKind> rxThreadProc;
    std::atomic<u32> portKind;          // 0 becomes 2E8h at the first open
    std::atomic<u32> baudRate;
    std::atomic<u32> rxRunning;         // 1 while the receive thread runs
    std::atomic<os::Handle> answerEvent;  // set by the receive thread for each answer frame; lives until the process ends
    std::atomic<u32> heldCount;         // bytes of a partial frame held in frameBuf
    // Partial frame of the receive thread; on serialPortMcu also the
    // hand-over buffer of the last answer frame. Bytes are atomic because the
    // receive thread fills them while an exchange may clear them.
    std::atomic<u8> frameBuf[kLinkFrameBufSize];
    // Held while one thread finds, opens and configures the port.
    std::atomic<bool> opening;
    std::atomic<bool> starting;  // a receive thread is being started (one start at a time)
    // Reads and writes in progress on comHandle: a close waits for them, as
    // callers without the library lock (C2, T2, T3) may be in one.
    std::atomic<u32> portUsers;
};

// Held while one thread does a step of a link that no other thread may do
// beside it (opening the port, starting the receive thread); a later caller
// waits until the first is done. Nothing is waited for while it is held but
// that step.
class LinkGate {
public:
    explicit LinkGate(std::atomic<bool>& flag);
    ~LinkGate();
    LinkGate(const LinkGate&) = delete;
    LinkGate& operator=(const LinkGate&) = delete;

private:
    std::atomic<bool>& flag_;
};

extern McuLink serialPortMcu;
extern McuLink serialPortCan;

// Process-attach presets: every field but answerEvent 0, then the two baud
// rates.
void SetLinkDefaults();

// 1 when the link is open: already (then without any system call, whatever
// portKind and baudRate say now), or found, opened and configured now.
Bool32 OpenMcuLink(McuLink& link);
// OpenMcuLink of the MCU command link, as the features test it.
inline bool OpenCommandLink() { return OpenMcuLink(serialPortMcu) != kFalse; }
// 1 when stopEvent and ioEvent both exist (created here when missing).
Bool32 PrepareLinkEvents(McuLink& link);
// Reads `count` bytes, all or nothing (os::SerialRead): 1 with *bytesRead =
// count; 0 with *bytesRead = 0 on the stop event, on a time-out (kInfinite:
// none) or on a failure, whatever part of the bytes had come.
Bool32 LinkRead(McuLink& link, u8* buffer, u32 count, u32* bytesRead, u32 timeoutMs);
// Writes without time-out. 1 when the write completed; the caller compares
// *bytesWritten with `count`.
Bool32 LinkWrite(McuLink& link, const u8* buffer, u32 count, u32* bytesWritten);
// Stops the link's receive thread and releases stopEvent and ioEvent;
// comHandle stays open. Never call it on the receive thread itself.
void StopLinkReceiver(McuLink& link);
// Sets comHandle to 0 and closes the port once no read or write uses it
// (after StopLinkReceiver; at most kPortDrainMs).
void CloseLinkPort(McuLink& link);
// Unload step after the unload sequence: stops the DT2 event thread and the
// receive threads, releases the DT2 event, closes both links.
void CloseMcuLinks();

// An unnamed manual-reset event in `event`, created when absent; false when
// it cannot be. CloseEvent closes it and leaves 0.
bool EnsureEvent(std::atomic<os::Handle>& event);
void CloseEvent(std::atomic<os::Handle>& event);

// The stop of one of the library's threads: clear its running flag and wake
// it, give it kStopSettleMs; if it is still active, wake it once more and
// give it kStopJoinMs, then terminate it where the OS allows it. With
// `joinUnterminated` a thread the OS could not end is waited for until it
// ends by itself. The handle is closed and the field 0.
void StopThread(std::atomic<u32>& running, std::atomic<os::Handle>& thread, void (*wake)(),
                bool joinUnterminated = false);

// frameBuf as plain bytes.
void CopyFrameBuf(const McuLink& link, u8* out, u32 count);
void StoreFrameBuf(McuLink& link, const u8* bytes, u32 count);
void ClearFrameBuf(McuLink& link);

}  // namespace hx
