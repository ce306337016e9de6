// The virtual MCU firmware: a byte-in, byte-out state machine behind the
// MCU command link. Requests are 7-byte frames (lead 23h, code, 32-bit
// payload least significant byte first, checksum = sum of bytes 0..5). A
// query is answered with the same code and its result word, a command with
// an exact echo, a post not at all. The setup records of DTFO, DTIO and QEI
// are open-ended: their first code opens one, and each next code in turn is
// a further word for as long as the caller sends. The older dialects are
// understood too: ShortCommand frames (23h, c, 00h, 23h + c, 00h, 00h, 00h)
// of the DICOS and trigger I/O codes that use them are echoed, and the
// ignition text requests of code 3Fh are answered. Events are sent on
// demand as 7-byte frames with lead 40h or as 3-byte DI messages.
#pragma once

#include "core/types.h"
#include "sim/firmware/link_state.h"

namespace hx::sim {

// Where the firmware's output goes: one call per answer or event.
struct ByteSink {
    void (*emit)(void* context, const u8* bytes, u32 count);
    void* context;
};

inline constexpr u32 kFirmwareVersion = 0x00010203;

namespace fw {
// Lead bytes.
inline constexpr u8 kLeadRequest = 0x23;
inline constexpr u8 kLeadEvent = 0x40;
// Event codes.
inline constexpr u8 kEventDt2Indexed = 0x21;
inline constexpr u8 kEventDiChange = 0x30;
inline constexpr u8 kEventPwmStatus = 0x41;
inline constexpr u8 kEventCanStatus = 0x61;
// Request codes.
inline constexpr u8 kDicosStop = 0x30, kDicosStart = 0x31, kDicosSetup = 0x32, kDicosSetup2 = 0x33;
inline constexpr u8 kDiRead = 0x35, kDoWrite = 0x37;
inline constexpr u8 kIgnText = 0x3F;
inline constexpr u8 kDtfoStop = 0x41, kDtfoPrepare = 0x42, kDtfoStart = 0x43, kDtfoUnit = 0x44;
inline constexpr u8 kDtfoSetupFirst = 0x49;
inline constexpr u8 kDt2Stop = 0x50, kDt2Start = 0x51, kDt2Unit = 0x52;
inline constexpr u8 kDt2SetupFirst = 0x53, kDt2SetupLast = 0x5A, kDt2Result = 0x5F;
inline constexpr u8 kDtioStop = 0x61, kDtioPrepare = 0x62, kDtioStart = 0x63, kDtioUnit = 0x64;
inline constexpr u8 kDtioSetupFirst = 0x69;
inline constexpr u8 kLedSet = 0x7A;
inline constexpr u8 kCanStop = 0x80, kCanStart = 0x81;
inline constexpr u8 kCanTimingSetFirst = 0x82, kCanTimingSetLast = 0x83;
inline constexpr u8 kCanTimingGetFirst = 0x84, kCanTimingGetLast = 0x85;
inline constexpr u8 kCanSetupFirst = 0x86, kCanSetupLast = 0x89;
inline constexpr u8 kPwmStop = 0x90, kPwmStart = 0x91, kPwmGenerator = 0x92, kPwmPeriod = 0x93;
inline constexpr u8 kPwmPulse = 0x94, kPwmWidth = 0x95, kPwmInvert = 0x96, kPwmSyncTimeBase = 0x97;
inline constexpr u8 kPwmSyncUpdate = 0x98, kPwmClock = 0x99, kPwmSetupFirst = 0x9A, kPwmSetupLast = 0x9C;
inline constexpr u8 kAdcStop = 0xA0, kAdcStart = 0xA1, kAdcRead = 0xA2;
inline constexpr u8 kQeiStop = 0xB0, kQeiStart = 0xB1, kQeiChannel = 0xB2, kQeiDirection = 0xB3;
inline constexpr u8 kQeiVelocity = 0xB4, kQeiPosition = 0xB5, kQeiSetPosition = 0xB6;
inline constexpr u8 kQeiSetupFirst = 0xB9;
inline constexpr u8 kIgnState = 0xF5, kIgnBattery = 0xF6, kIgnSettingFirst = 0xF7, kIgnSettingLast = 0xFB;
inline constexpr u8 kVersion = 0xFF;
}  // namespace fw

// Power-on state: version, inputs idle, outputs off, every engine stopped.
// The board's functions and world (set when the board is wired), and the
// restart count, are kept.
void PowerOnFirmware(McuFirmwareState& state);
// The reset line was pulsed: power-on state, one restart more.
void RestartFirmware(McuFirmwareState& state);

// Bytes from the library; answers go to `sink`.
void FirmwareReceive(McuFirmwareState& state, const u8* bytes, u32 count, const ByteSink& sink);

// What the firmware answers to a 7-byte request (0 bytes: no answer);
// `out` holds 7 bytes. Updates the state as the request asks.
u32 FirmwareHandle(McuFirmwareState& state, const u8* request, u8* out);

// Sum of bytes 0..5 modulo 256, as the firmware computes it.
u8 FirmwareChecksum(const u8* frame);
// An answer frame: lead 23h, `code`, `word`, checksum (7 bytes into `out`).
void BuildAnswerFrame(u8 code, u32 word, u8* out);

// Bytes the firmware sends on its own (events). The link host puts them on
// the line after the answer it is sending; see KickLinks. False, and counted
// in outbox.dropped, when they do not fit.
bool FirmwareRaise(McuFirmwareState& state, const u8* bytes, u32 count);
bool FirmwareRaiseEvent(McuFirmwareState& state, u8 code, u32 payload);
// Moves up to `max` waiting bytes to `out`; returns how many.
u32 FirmwareTakeOutbox(McuFirmwareState& state, u8* out, u32 max);

// An event frame (7 bytes) and a 3-byte DI message (40h, value, checksum).
void BuildEventFrame(u8 code, u32 payload, u8* out);
void BuildShortDiMessage(u8 value, u8* out);
inline constexpr u32 kShortDiMessageBytes = 3;

// The n-th frame received, counted from the first (n < framesReceived and
// within the log's capacity), or nullptr.
const ReceivedFrame* ReceivedAt(const McuFirmwareState& state, u32 n);

}  // namespace hx::sim
