// The CAN controller: its command side on the MCU command link (codes
// 80h..89h) and its data side behind the CAN data link: 16-byte frames in
// both directions (lead 24h, flags u16, length, 8 data bytes, id u32,
// multi-byte fields least significant byte first, no checksum).
#pragma once

#include "core/types.h"
#include "sim/firmware/link_state.h"

namespace hx::sim {

inline constexpr u8 kCanLead = 0x24;

// A command of the controller's codes (stop, start, bit timing set, setup).
void CanCommand(McuFirmwareState& state, u8 code, u32 word);
// The answer word of a bit-timing query.
u32 CanQuery(const McuFirmwareState& state, u8 code);

// Bytes from the library; every complete frame is logged.
void CanControllerReceive(CanControllerState& state, const u8* bytes, u32 count);

// The frame the controller sends for a message received from the bus.
void BuildCanWireFrame(const CanWireMessage& message, u8* out);

// The n-th message received, or nullptr (as ReceivedAt of the firmware).
const CanWireMessage* CanReceivedAt(const CanControllerState& state, u32 n);

}  // namespace hx::sim
