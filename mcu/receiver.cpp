#include "mcu/receiver.h"

#include "core/hw_access.h"
#include "core/state.h"
#include "halvex32.h"
#include "mcu/frame.h"
#include "mcu/reassembly.h"

namespace hx {

Dt2EventRecord dt2EventRecord{};

namespace {

// Event codes of the MCU's event frames (lead 40h).
constexpr u8 kEventDt2Indexed = 0x21;
constexpr u8 kEventDiChange = 0x30;
constexpr u8 kEventPwmStatus = 0x41;
constexpr u8 kEventCanStatus = 0x61;

// Frame bytes of the event payload as the events use them.
constexpr u32 kDiStateByte = kFramePayload;        // 8-bit variant: input state
constexpr u32 kDiChangeByte = kFramePayload + 1;   // 8-bit variant: changed lines
constexpr u32 kDiState16 = kFramePayload;          // 16-bit variant: inactive lines, 2 bytes
constexpr u32 kDiChange16 = kFramePayload + 2;     // 16-bit variant: changed lines, 2 bytes
constexpr u32 kPwmGeneratorByte = kFramePayload + 3;
constexpr u32 kPwmStatusMask = 0x00FFFFFF;         // frame bytes 2..4

// A read that failed without a stop (the port has gone) is retried after
// this pause, spent waiting on the stop event: a dead port is not polled in
// a tight loop, and a stop still ends the thread at once.
constexpr u32 kFailedReadPauseMs = 10;

enum class DiVariant : u8 { Events8, Events16 };

// What a receive thread keeps for one run.
struct McuRun {
    DiVariant variant;
    DiEventRecord record;  // sequence 0 at the start of the run
};

u16 Le16(const u8* p) { return static_cast<u16>(p[0] | p[1] << 8); }

bool StopSignalled(McuLink& link, u32 waitMs) {
    const os::Handle stop = link.stopEvent.load();
    return !os::HandleIsOpen(stop) || os::WaitAny(&stop, 1, waitMs) != os::kWaitTimedOut;
}

// The thread marks the link as served by it. A stop that came before the
// thread first ran has set the stop event (and cleared rxRunning before this
// store could be seen): the thread then ends at once.
bool BeginRun(McuLink& link) {
    link.rxRunning.store(1);
    return !StopSignalled(link, 0);
}

enum class ReadOutcome : u8 { Frame, Nothing, Stop };

ReadOutcome ReadFrame(McuLink& link, const FrameFormat& format, u8* frame) {
    u8 bytes[kLinkFrameBufSize] = {};
    u32 got = 0;
    if (!LinkRead(link, bytes, FrameBytesWanted(link, format), &got, os::kInfinite)) {
        return StopSignalled(link, kFailedReadPauseMs) ? ReadOutcome::Stop : ReadOutcome::Nothing;
    }
    if (!link.rxRunning.load()) return ReadOutcome::Stop;
    return TakeFrameBytes(link, format, bytes, got, frame) ? ReadOutcome::Frame : ReadOutcome::Nothing;
}

// The loop of both receive threads; `handle` takes each complete frame.
template <typename Handle>
void RunReceiver(McuLink& link, const FrameFormat& format, Handle&& handle) {
    if (BeginRun(link)) {
        while (link.rxRunning.load()) {
            u8 frame[kLinkFrameBufSize] = {};
            const ReadOutcome outcome = ReadFrame(link, format, frame);
            if (outcome == ReadOutcome::Stop) break;
            if (outcome == ReadOutcome::Frame) handle(frame);
        }
    }
    link.rxRunning.store(0);
}

// ---- serialPortMcu ------------------------------------------------------------

// The buffer is filled before the event is set; the waiting exchange reads it
// only after the event. The yield lets that exchange run at once.
void HandOverAnswer(const u8* frame) {
    StoreFrameBuf(serialPortMcu, frame, kTransactBufferSize);
    if (os::EventSet(serialPortMcu.answerEvent.load())) os::SleepMs(0);
}

void OnDt2Indexed(const u8* frame, McuRun&) {
    Dt2EventRecord& r = dt2EventRecord;
    r.value.store(FramePayload(frame));
    if (os::EventSet(r.event.load())) os::SleepMs(0);
}

void FillDiRecord(const u8* frame, DiVariant variant, DiEventRecord& record) {
    if (variant == DiVariant::Events8) {
        record.inputState = frame[kDiStateByte];
        record.eventValue = frame[kDiChangeByte];
        return;
    }
    // The 16-bit variant reports the inactive lines; the record holds the
    // active ones.
    record.inputState = static_cast<u16>(~Le16(frame + kDiState16));
    record.eventValue = Le16(frame + kDiChange16);
}

void OnDiChange(const u8* frame, McuRun& run) {
    FillDiRecord(frame, run.variant, run.record);
    ++run.record.sequence;  // modulo 256; the first event of a run carries 1
    if (DicosCallbackFn callback = DicosCallback.load()) callback(&run.record);
}

void OnPwmStatus(const u8* frame, McuRun&) {
    if (PwmStatusCallbackFn callback = PwmStatusCallback.load()) {
        callback(frame[kPwmGeneratorByte], FramePayload(frame) & kPwmStatusMask);
    }
}

void OnCanStatus(const u8* frame, McuRun&) {
    if (CanStatusCallbackFn callback = CanStatusCallbacks[0].load()) callback(FramePayload(frame));
}

struct EventRoute {
    u8 code;
    void (*handle)(const u8* frame, McuRun& run);
};

// Event frames by code; every other code is ignored.
constexpr EventRoute kEventRoutes[] = {
    {kEventDt2Indexed, OnDt2Indexed},
    {kEventDiChange, OnDiChange},
    {kEventPwmStatus, OnPwmStatus},
    {kEventCanStatus, OnCanStatus},
};

void DispatchEvent(const u8* frame, McuRun& run) {
    for (const EventRoute& route : kEventRoutes) {
        if (route.code == frame[kFrameCode]) {
            route.handle(frame, run);
            return;
        }
    }
}

void McuReceiverThread(void* raw, DiVariant variant) {
    McuLink& link = *static_cast<McuLink*>(raw);
    McuRun run{variant, {}};
    RunReceiver(link, kMcuFrameFormat, [&](const u8* frame) {
        if (frame[kFrameChecksum] != FrameChecksum(frame)) return;  // dropped silently
        if (frame[kFrameLead] == kLeadRequest) HandOverAnswer(frame);
        else DispatchEvent(frame, run);
    });
}

// ---- serialPortMcu on the boards whose MCU sends 3-byte DI messages ----------------

// The input byte of the GPIO block (bit n = 0 while input n is active).
constexpr u16 kDiInputPort = 0x604;
constexpr u16 kDiInputLines = 0xFF;

// The input state comes from the GPIO block, read as the message arrives.
void OnDiMessage(const u8* message, McuLink& link, DiEventRecord& record) {
    record.inputState = static_cast<u16>(~HwReadByte(kDiInputPort) & kDiInputLines);
    record.eventValue = message[kDiMessageValue];
    ++record.sequence;  // modulo 256; the first event of a run carries 1
    if (!link.rxRunning.load()) return;  // stopped meanwhile: no call
    if (DicosCallbackFn callback = DicosCallback.load()) callback(&record);
}

// ---- receive-thread bodies by link setting ----------------------------------------

// Indexed by RxThreadKind.
constexpr os::ThreadBody kReceiverBodies[] = {
    nullptr,                  // None
    McuReceiverThread8,       // McuEvents8
    McuReceiverThread16,      // McuEvents16
    CanReceiverThread,        // CanReceiver
    DicosPortReceiverThread,  // DicosPort
};
static_assert(sizeof kReceiverBodies / sizeof kReceiverBodies[0] == static_cast<u32>(RxThreadKind::DicosPort) + 1);

os::ThreadBody ReceiverBody(RxThreadKind kind) {
    const u32 index = static_cast<u32>(kind);
    return index < sizeof kReceiverBodies / sizeof kReceiverBodies[0] ? kReceiverBodies[index] : nullptr;
}

// Until the new thread has set rxRunning, an exchange reads the port itself,
// beside the thread, and may lose its answer to it. The start therefore
// returns once the thread reads (or has ended without running, when its link
// cannot open), waiting at most one answer time-out for a thread the system
// does not schedule.
void AwaitTakeover(const McuLink& link, os::Handle thread) {
    constexpr u32 kPollMs = 1;
    const u64 deadline = os::NowMs() + kAnswerTimeoutMs;
    while (!link.rxRunning.load() && !os::ThreadWait(thread, kPollMs) && os::NowMs() < deadline) {
    }
}

// Two threads starting the same link's receiver at once (the C2 start
// takes no library lock) would both start one, and one thread would be lost
// running on the port: the later start waits for the first and finds its
// thread.
Bool32 StartReceiver(McuLink& link) {
    if (os::HandleIsOpen(link.rxThread.load())) return kTrue;
    const LinkGate gate(link.starting);
    if (os::HandleIsOpen(link.rxThread.load())) return kTrue;  // started by the call that held the gate
    const os::ThreadBody body = ReceiverBody(link.rxThreadProc.load());
    if (!body || !PrepareLinkEvents(link)) return kFalse;
    // ThreadStart runs the thread at the top of the normal priority range.
    const os::Handle thread = os::ThreadStart(body, &link);
    if (!os::HandleIsOpen(thread)) return kFalse;
    link.rxThread.store(thread);
    AwaitTakeover(link, thread);
    return kTrue;
}

bool EnsureDt2Event() {
    return EnsureEvent(dt2EventRecord.event) && os::EventReset(dt2EventRecord.event.load());
}

}  // namespace

void McuReceiverThread8(void* link) { McuReceiverThread(link, DiVariant::Events8); }
void McuReceiverThread16(void* link) { McuReceiverThread(link, DiVariant::Events16); }

// Messages are cut out of the stream like frames (a read that starts with a
// lead byte starts a message); one whose sum does not match is dropped. The
// answer goes to the waiting exchange in frameBuf, its other bytes 0.
void DicosPortReceiverThread(void* raw) {
    McuLink& link = *static_cast<McuLink*>(raw);
    DiEventRecord record{};
    RunReceiver(link, kDiMessageFormat, [&](const u8* message) {
        switch (ClassifyDiMessage(message)) {
            case DiMessageKind::Answer: HandOverAnswer(message); break;
            case DiMessageKind::DiChange: OnDiMessage(message, link, record); break;
            case DiMessageKind::Dropped: break;
        }
    });
}

void CanReceiverThread(void* raw) {
    McuLink& link = *static_cast<McuLink*>(raw);
    if (!OpenMcuLink(link)) return;  // rxRunning stays clear
    RunReceiver(link, kCanFrameFormat, [](const u8* frame) {
        CanMessage message{};
        DecodeCanFrame(frame, &message);
        if (CanReceivedCallbackFn callback = CanReceivedCallbacks[0].load()) callback(&message, sizeof message);
    });
}

Bool32 StartMcuReceiver() { return StartReceiver(serialPortMcu); }
Bool32 StartCanReceiver() { return StartReceiver(serialPortCan); }

// ---- DT2 event thread ------------------------------------------------------------

os::ThreadBody Dt2EventThreadBody() { return Config.dt2EventThread.load() ? Dt2EventThread : nullptr; }

void Dt2EventThread(void* raw) {
    Dt2EventRecord& r = *static_cast<Dt2EventRecord*>(raw);
    // `running` was set by StartDt2EventThread before this thread existed.
    while (r.running.load()) {
        const os::Handle event = r.event.load();
        if (os::WaitAny(&event, 1, os::kInfinite) != 0) return;  // the event is gone: unload
        if (!r.running.load()) return;
        os::EventReset(event);
        if (Dt2IndexedCallbackFn callback = Dt2IndexedCallback.load()) callback(r.value.load());
    }
}

Bool32 StartDt2EventThread() {
    Dt2EventRecord& r = dt2EventRecord;
    if (os::HandleIsOpen(r.thread.load())) return kTrue;
    const os::ThreadBody body = Dt2EventThreadBody();
    // A stale signal (a value or a stop of an earlier run) must not reach the
    // new thread as a value.
    if (!body || !EnsureDt2Event()) return kFalse;
    // Running is set before the thread exists: a stop that comes before the
    // thread first runs then finds it set, and the thread finds it clear.
    r.running.store(1);
    const os::Handle thread = os::ThreadStart(body, &r);
    if (!os::HandleIsOpen(thread)) {
        r.running.store(0);
        return kFalse;
    }
    r.thread.store(thread);
    return kTrue;
}

void StopDt2EventThread() {
    StopThread(dt2EventRecord.running, dt2EventRecord.thread, [] { os::EventSet(dt2EventRecord.event.load()); });
}

void CloseDt2Event() {
    CloseEvent(dt2EventRecord.event);
    dt2EventRecord.value.store(0);
}

}  // namespace hx
