#include "mcu/reassembly.h"

namespace hx {
namespace {

bool IsLead(const FrameFormat& format, u8 byte) {
    for (u32 i = 0; i < format.leadCount; ++i) {
        if (format.leads[i] == byte) return true;
    }
    return false;
}

u32 HeldBytes(const McuLink& link, const FrameFormat& format) {
    const u32 held = link.heldCount.load(std::memory_order_relaxed);
    return held < format.size ? held : 0;
}

// Where the bytes of a read that belong to a frame begin.
u32 Resynchronise(const FrameFormat& format, const u8* bytes, u32 count, u32* held) {
    if (count == 0) return 0;
    if (IsLead(format, bytes[0])) {
        *held = 0;  // a new frame starts here; a partial one is dropped
        return 0;
    }
    if (*held != 0) return 0;  // the bytes continue the frame held
    u32 skip = 0;
    while (skip < count && !IsLead(format, bytes[skip])) ++skip;
    return skip;
}

}  // namespace

u32 FrameBytesWanted(McuLink& link, const FrameFormat& format) {
    const u32 held = HeldBytes(link, format);
    link.heldCount.store(held, std::memory_order_relaxed);
    return format.size - held;
}

bool TakeFrameBytes(McuLink& link, const FrameFormat& format, const u8* bytes, u32 count, u8* frame) {
    u32 held = HeldBytes(link, format);
    if (count > format.size - held) count = format.size - held;  // never beyond the frame
    const u32 skip = Resynchronise(format, bytes, count, &held);
    const u32 taken = count - skip;
    if (taken == format.size) {
        // A whole frame in one read: frameBuf, which on serialPortMcu also
        // carries the last answer to its exchange, is left alone.
        for (u32 i = 0; i < taken; ++i) frame[i] = bytes[i];
        link.heldCount.store(0, std::memory_order_relaxed);
        return true;
    }
    for (u32 i = 0; i < taken; ++i) link.frameBuf[held + i].store(bytes[skip + i], std::memory_order_relaxed);
    held += taken;
    if (held < format.size) {
        link.heldCount.store(held, std::memory_order_relaxed);
        return false;
    }
    link.heldCount.store(0, std::memory_order_relaxed);
    for (u32 i = 0; i < format.size; ++i) frame[i] = link.frameBuf[i].load(std::memory_order_relaxed);
    return true;
}

DiMessageKind ClassifyDiMessage(const u8* message) {
    if (static_cast<u8>(message[kFrameLead] + message[kDiMessageValue]) != message[kDiMessageSum]) {
        return DiMessageKind::Dropped;
    }
    return message[kFrameLead] == kLeadRequest ? DiMessageKind::Answer : DiMessageKind::DiChange;
}

}  // namespace hx
