// The MCU frame protocol on serialPortMcu: fixed 7-byte frames (lead byte,
// command code, 32-bit payload least significant byte first, checksum), and
// the exchanges every MCU feature is built on: query (answer with the same
// code and a result word), command (answer echoes the request), post (no
// answer), and their range forms over consecutive command codes. Also the
// 16-byte CAN frame of serialPortCan. No operation takes a lock; callers
// open the link first.
#pragma once

#include "core/types.h"
#include "halvex32.h"

namespace hx {

inline constexpr u32 kFrameSize = 7;
inline constexpr u32 kTransactBufferSize = 8;  // frame + the scratch byte of the hand-over
inline constexpr u32 kCanFrameSize = 16;

// Frame bytes.
inline constexpr u32 kFrameLead = 0;
inline constexpr u32 kFrameCode = 1;
inline constexpr u32 kFramePayload = 2;   // 4 bytes
inline constexpr u32 kFrameChecksum = 6;

inline constexpr u8 kLeadRequest = 0x23;  // '#': requests and answers
inline constexpr u8 kLeadEvent = 0x40;    // '@': unsolicited event frames
inline constexpr u8 kLeadCan = 0x24;      // '$': CAN frames

// CAN frame bytes (no checksum).
inline constexpr u32 kCanFrameFlags = 1;   // 2 bytes
inline constexpr u32 kCanFrameLength = 3;
inline constexpr u32 kCanFrameData = 4;    // 8 bytes
inline constexpr u32 kCanFrameId = 12;     // 4 bytes

// Time-outs in milliseconds: the first answer bytes or the hand-over, then
// completing a partial answer and the second echo attempt.
inline constexpr u32 kAnswerTimeoutMs = 1000;
inline constexpr u32 kCompletionTimeoutMs = 10;

// Posted generator setup words always start at this code.
inline constexpr u8 kPostRangeFirstCode = 0x9A;

using McuFrame = u8[kFrameSize];
using TransactBuffer = u8[kTransactBufferSize];
using CanFrame = u8[kCanFrameSize];

// Sum of frame bytes 0 to 5, modulo 256.
u8 FrameChecksum(const u8* frame);
// Lead 23h, the command, the word, the checksum.
void BuildFrame(u8 command, u32 word, u8* frame);
// The older firmware's short command c: 23h, c, 00h, 23h + c, 00h, 00h, 00h
// (no checksum).
void BuildShortCommand(u8 command, u8* frame);
u32 FramePayload(const u8* frame);

void EncodeCanFrame(const CanMessage& message, u8* frame);
// `reserved` becomes 0; the lead byte is not examined.
void DecodeCanFrame(const u8* frame, CanMessage* message);

// The exchanges. All act on serialPortMcu; 1 success, 0 failure.
Bool32 McuTransact(u8* frame);  // TransactBuffer: in request, out answer
Bool32 McuQuery(u8 command, u32* word);
// Ranges cover every 32-bit word whose first byte lies below `end`; the
// command code grows by one per word, modulo 256.
Bool32 McuQueryRange(u8 firstCommand, void* words, const void* end);
Bool32 McuExchangeEcho(const u8* frame);  // McuFrame
Bool32 McuCommand(u8 command, u32 word);
Bool32 McuCommandRange(u8 firstCommand, const void* words, const void* end);
Bool32 McuPost(u8 command, u32 word);
Bool32 McuPostRange(const void* words, const void* end);

// The hand-over paths used while a receive thread owns the reads.
Bool32 TransactViaReceiver(u8* frame);
Bool32 EchoViaReceiver(const u8* frame);

}  // namespace hx
