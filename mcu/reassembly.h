// Frame reassembly of the receive threads: fixed-size frames that begin with
// one of a few lead bytes, cut out of a byte stream read piece by piece. The
// state is the link's heldCount and frameBuf, so the component needs no
// thread and no port of its own.
//
// Each read asks for exactly the bytes that complete the frame being held (a
// whole frame when none is held), so a completed frame is handled without
// waiting for later traffic. A read whose first byte is a lead byte starts a
// new frame and drops a partial one; while nothing is held, the bytes of a
// read before its first lead byte are dropped. A lead byte anywhere else
// inside a read is frame content.
#pragma once

#include "core/types.h"
#include "mcu/frame.h"
#include "mcu/link.h"

namespace hx {

struct FrameFormat {
    u32 size;  // bytes per frame, at most kLinkFrameBufSize
    u8 leads[2];
    u32 leadCount;
};

// serialPortMcu: answers (23h) and event frames (40h) of 7 bytes.
inline constexpr FrameFormat kMcuFrameFormat{kFrameSize, {kLeadRequest, kLeadEvent}, 2};
// serialPortCan: CAN frames (24h) of 16 bytes.
inline constexpr FrameFormat kCanFrameFormat{kCanFrameSize, {kLeadCan, kLeadCan}, 1};

// serialPortMcu on the boards whose MCU sends 3-byte DI messages: a lead
// byte, a value and their sum modulo 256; lead 40h a DI change (the value
// names the lines that changed), lead 23h an answer.
inline constexpr u32 kDiMessageSize = 3;
inline constexpr u32 kDiMessageValue = 1;
inline constexpr u32 kDiMessageSum = 2;
inline constexpr FrameFormat kDiMessageFormat{kDiMessageSize, {kLeadRequest, kLeadEvent}, 2};

enum class DiMessageKind : u8 { Dropped, Answer, DiChange };

// What a complete 3-byte message carries; one whose sum does not match is
// dropped.
DiMessageKind ClassifyDiMessage(const u8* message);

// The byte count the next read asks for. A held count that is not below the
// frame size (never left by TakeFrameBytes) is dropped first.
u32 FrameBytesWanted(McuLink& link, const FrameFormat& format);

// Takes the bytes of one read, of which at most FrameBytesWanted count. True
// when they complete a frame, which is then copied to `frame` (format.size
// bytes); nothing stays held afterwards.
bool TakeFrameBytes(McuLink& link, const FrameFormat& format, const u8* bytes, u32 count, u8* frame);

}  // namespace hx
