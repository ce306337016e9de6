#include "mcu/frame.h"

#include <cstring>

#include "mcu/link.h"

namespace hx {
namespace {

constexpr u32 kPayloadBytes = 4;
// Byte 3 of a short command carries 23h + the command.
constexpr u32 kShortSumByte = 3;

u32 LoadLe32(const u8* p) { return u32{p[0]} | u32{p[1]} << 8 | u32{p[2]} << 16 | u32{p[3]} << 24; }

void StoreLe32(u32 v, u8* p) {
    for (u32 i = 0; i < kPayloadBytes; ++i) p[i] = static_cast<u8>(v >> (8 * i));
}

// Range words are read and written bytewise: the records come from the
// application and need not be aligned.
u32 LoadWord(const u8* p) {
    u32 w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

void StoreWord(u32 w, u8* p) { std::memcpy(p, &w, sizeof w); }

bool WriteFrame(const u8* frame) {
    u32 written = 0;
    return LinkWrite(serialPortMcu, frame, kFrameSize, &written) && written == kFrameSize;
}

// Reads a whole frame: the first bytes within 1000 ms, the rest within 10 ms.
// `firstMustSucceed`: the echo path fails when the first read reports failure.
bool ReadAnswer(u8* answer, bool firstMustSucceed) {
    u32 got = 0;
    const Bool32 first = LinkRead(serialPortMcu, answer, kFrameSize, &got, kAnswerTimeoutMs);
    if (firstMustSucceed && !first) return false;
    if (got >= kFrameSize) return true;
    u32 more = 0;
    LinkRead(serialPortMcu, answer + got, kFrameSize - got, &more, kCompletionTimeoutMs);
    return got + more == kFrameSize;
}

// Steps shared by both hand-over paths: arm answerEvent, clear frameBuf,
// send, wait for the receive thread to hand an answer over.
bool SendAndAwaitHandOver(const u8* frame) {
    McuLink& link = serialPortMcu;
    if (!EnsureEvent(link.answerEvent)) return false;
    const os::Handle answer = link.answerEvent.load();
    if (!os::EventReset(answer)) return false;
    ClearFrameBuf(link);
    if (!WriteFrame(frame)) return false;
    return os::WaitAny(&answer, 1, kAnswerTimeoutMs) == 0;
}

}  // namespace

u8 FrameChecksum(const u8* frame) {
    u32 sum = 0;
    for (u32 i = 0; i < kFrameChecksum; ++i) sum += frame[i];
    return static_cast<u8>(sum);
}

void BuildFrame(u8 command, u32 word, u8* frame) {
    frame[kFrameLead] = kLeadRequest;
    frame[kFrameCode] = command;
    StoreLe32(word, frame + kFramePayload);
    frame[kFrameChecksum] = FrameChecksum(frame);
}

void BuildShortCommand(u8 command, u8* frame) {
    std::memset(frame, 0, kFrameSize);
    frame[kFrameLead] = kLeadRequest;
    frame[kFrameCode] = command;
    frame[kShortSumByte] = static_cast<u8>(kLeadRequest + command);
}

u32 FramePayload(const u8* frame) { return LoadLe32(frame + kFramePayload); }

void EncodeCanFrame(const CanMessage& message, u8* frame) {
    frame[0] = kLeadCan;
    frame[kCanFrameFlags] = static_cast<u8>(message.flags);
    frame[kCanFrameFlags + 1] = static_cast<u8>(message.flags >> 8);
    frame[kCanFrameLength] = message.length;
    std::memcpy(frame + kCanFrameData, message.data, sizeof message.data);
    StoreLe32(message.id, frame + kCanFrameId);
}

void DecodeCanFrame(const u8* frame, CanMessage* message) {
    message->id = LoadLe32(frame + kCanFrameId);
    message->flags = static_cast<u16>(frame[kCanFrameFlags] | frame[kCanFrameFlags + 1] << 8);
    message->reserved = 0;
    message->length = frame[kCanFrameLength];
    std::memcpy(message->data, frame + kCanFrameData, sizeof message->data);
}

Bool32 TransactViaReceiver(u8* frame) {
    if (!SendAndAwaitHandOver(frame)) return kFalse;
    CopyFrameBuf(serialPortMcu, frame, kTransactBufferSize);
    return kTrue;
}

Bool32 EchoViaReceiver(const u8* frame) {
    if (!SendAndAwaitHandOver(frame)) return kFalse;
    u8 answer[kFrameSize];
    CopyFrameBuf(serialPortMcu, answer, kFrameSize);
    return std::memcmp(answer, frame, kFrameSize) == 0 ? kTrue : kFalse;
}

Bool32 McuTransact(u8* frame) {
    if (serialPortMcu.rxRunning.load()) return TransactViaReceiver(frame);
    if (!WriteFrame(frame)) return kFalse;
    // Only the count matters here: the query checks what arrived.
    return ReadAnswer(frame, false) ? kTrue : kFalse;
}

Bool32 McuQuery(u8 command, u32* word) {
    TransactBuffer frame = {};
    BuildFrame(command, *word, frame);
    if (!McuTransact(frame)) return kFalse;
    if (frame[kFrameCode] != command || frame[kFrameChecksum] != FrameChecksum(frame)) return kFalse;
    *word = FramePayload(frame);
    return kTrue;
}

Bool32 McuQueryRange(u8 firstCommand, void* words, const void* end) {
    u8 command = firstCommand;
    for (u8* p = static_cast<u8*>(words); p < static_cast<const u8*>(end); p += sizeof(u32), ++command) {
        u32 word = LoadWord(p);
        if (!McuQuery(command, &word)) return kFalse;
        StoreWord(word, p);
    }
    return kTrue;
}

Bool32 McuExchangeEcho(const u8* frame) {
    if (serialPortMcu.rxRunning.load()) return EchoViaReceiver(frame);
    if (!WriteFrame(frame)) return kFalse;
    u8 answer[kFrameSize] = {};
    if (!ReadAnswer(answer, true)) return kFalse;
    if (std::memcmp(answer, frame, kFrameSize) == 0) return kTrue;
    // A stale answer or an event frame came first: one more frame, briefly.
    u32 got = 0;
    if (!LinkRead(serialPortMcu, answer, kFrameSize, &got, kCompletionTimeoutMs)) return kFalse;
    return std::memcmp(answer, frame, kFrameSize) == 0 ? kTrue : kFalse;
}

Bool32 McuCommand(u8 command, u32 word) {
    McuFrame frame;
    BuildFrame(command, word, frame);
    return McuExchangeEcho(frame);
}

Bool32 McuCommandRange(u8 firstCommand, const void* words, const void* end) {
    u8 command = firstCommand;
    for (const u8* p = static_cast<const u8*>(words); p < static_cast<const u8*>(end); p += sizeof(u32), ++command) {
        if (!McuCommand(command, LoadWord(p))) return kFalse;
    }
    return kTrue;
}

Bool32 McuPost(u8 command, u32 word) {
    McuFrame frame;
    BuildFrame(command, word, frame);
    return WriteFrame(frame) ? kTrue : kFalse;
}

Bool32 McuPostRange(const void* words, const void* end) {
    u8 command = kPostRangeFirstCode;
    for (const u8* p = static_cast<const u8*>(words); p < static_cast<const u8*>(end); p += sizeof(u32), ++command) {
        if (!McuPost(command, LoadWord(p))) return kFalse;
    }
    return kTrue;
}

}  // namespace hx
