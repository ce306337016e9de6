// The CAN controller: its command side on the MCU command link (codes
// 80h..89h) and its data side behind the CAN data link: 16-byte frames in
// both directions (lead 24h, flags u16, length, 8 data bytes, id u32,
// multi-byte fields least significant byte first, no checksum). Between the
// two lies the bus, with scripted peers, loopback, an acceptance filter, a
// load generator and the error states of a CAN node. What each word means is
// written down in docs/virtual-firmware.md ("CAN controller").
//
// Plain state machines: the link host calls them with the links locked and
// moves the bytes.
#pragma once

#include "core/types.h"
#include "sim/firmware/link_state.h"

namespace hx::sim {

inline constexpr u8 kCanLead = 0x24;

// Setup words (86h..89h).
inline constexpr u32 kCanSetupMode = 0;
inline constexpr u32 kCanSetupAcceptCode = 1;
inline constexpr u32 kCanSetupAcceptMask = 2;
// Bits of the mode word.
inline constexpr u32 kCanModeLoopback = 1u << 0;    // the library's own frames come back to it
inline constexpr u32 kCanModeListenOnly = 1u << 1;  // nothing the library sends reaches the bus

// Bit-timing words (82h/83h set, 84h/85h get); 0 reads as the default.
inline constexpr u32 kCanTimingBitRate = 0;     // bit/s
inline constexpr u32 kCanTimingSamplePoint = 1;  // tenths of a percent
inline constexpr u32 kCanDefaultBitRate = 500000;
inline constexpr u32 kCanDefaultSamplePoint = 875;

// Flags bits of a message, as the controller reads them.
inline constexpr u16 kCanFlagExtended = 1u << 0;  // 29-bit identifier
inline constexpr u16 kCanFlagRemote = 1u << 1;    // remote transmission request

// The status word of event 61h: state bits, then the error counters.
inline constexpr u32 kCanStatusWarning = 1u << 0;  // an error counter at 96 or more
inline constexpr u32 kCanStatusPassive = 1u << 1;  // an error counter at 128 or more
inline constexpr u32 kCanStatusBusOff = 1u << 2;   // the controller has left the bus
inline constexpr u32 kCanStatusOverrun = 1u << 3;  // frames for the library were lost
inline constexpr u32 kCanStatusTecShift = 16;      // transmit error counter, bits 16..23
inline constexpr u32 kCanStatusRecShift = 24;      // receive error counter, bits 24..31

enum class CanBusState : u8 { ErrorActive, ErrorWarning, ErrorPassive, BusOff };

// Start, 8 data bits, parity, stop: a 921600-baud link carries 5,236
// frames a second.
inline constexpr u32 kCanBitsPerCharacter = 11;
u32 CanWireFramesPerSecond(u32 baud);

// ---- command side (the MCU firmware) ----

// A command of the controller's codes (stop, start, bit timing set, setup).
void CanCommand(McuFirmwareState& state, u8 code, u32 word);
// The answer word of a bit-timing query.
u32 CanQuery(const McuFirmwareState& state, u8 code);
// The bus state changes: the status word goes to the library as event 61h.
bool CanSetBusState(McuFirmwareState& state, CanBusState busState);

// ---- data side ----

// Bytes from the library; every complete frame is logged, and put on the
// bus while the controller is started.
void CanControllerReceive(SerialLinkState& links, const u8* bytes, u32 count);

// The frame the controller sends for a message received from the bus.
void BuildCanWireFrame(const CanWireMessage& message, u8* out);

// The n-th message received from the library, or nullptr (as ReceivedAt of
// the firmware); the n-th the library put on the bus.
const CanWireMessage* CanReceivedAt(const CanControllerState& state, u32 n);
const CanWireMessage* CanBusFrameAt(const CanControllerState& state, u32 n);

// ---- the bus ----

// A peer sends `message`: it reaches the library while the controller is
// started and its filter accepts it. False when it does not.
bool CanBusTransmit(SerialLinkState& links, const CanWireMessage& message);
// A peer that answers every frame of id `trigger`; false when all are taken.
bool CanAddPeer(CanControllerState& state, u32 trigger, const CanWireMessage& reply);
void CanClearPeers(CanControllerState& state);

// A new load: `rate` frames a second, or a burst of `burst` frames (rate
// 0); both 0 ends the load.
void CanSetLoad(CanControllerState& state, u32 rate, u32 burst, u32 id);
// Queues up to `wanted` frames of the load while the controller is on the
// bus; the load takes at most half of the queue, so that peers still get
// through. Returns how many it queued.
u32 CanLoadFrames(SerialLinkState& links, u32 wanted);
bool CanLoadActive(const SerialLinkState& links);
// The frame of the load with sequence number `sequence`.
CanWireMessage CanLoadFrame(u32 id, u32 sequence);

// ---- the queue towards the library ----

// A frame for the library as it is (no bus rules); false when full.
bool CanQueueFrame(CanControllerState& state, const CanWireMessage& message);
u32 CanQueuedBytes(const CanControllerState& state);
// The queued bytes that lie in one piece; CanQueueTaken after writing some.
const u8* CanQueueSpan(const CanControllerState& state, u32* count);
void CanQueueTaken(CanControllerState& state, u32 count);

}  // namespace hx::sim
