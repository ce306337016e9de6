// The virtual firmware's ignition sense: the key and the battery voltage of
// the board's world, answered as queries F5h..FBh or as the text requests
// of code 3Fh, in the form the board's firmware has. docs/virtual-firmware.md
// gives the readings, the state word and the settings their meaning.
#pragma once

#include "core/types.h"
#include "sim/firmware/link_state.h"

namespace hx::sim {

// State word bits (F5h).
inline constexpr u32 kIgnitionKeyOnBit = 0x1;
inline constexpr u32 kIgnitionBatteryLowBit = 0x2;
// Mode word bits (setting word 0).
inline constexpr u32 kIgnitionModeKeyControl = 0x1;
inline constexpr u32 kIgnitionModeCutOff = 0x2;

// How a sense form reads the battery: `counts` counts stand for
// `fullScaleMillivolts`; the converter saturates at `maxReading`.
struct BatteryScale {
    u32 fullScaleMillivolts;
    u32 counts;
    u32 maxReading;
};
// {0, 0, 0} for IgnitionSense::None.
BatteryScale BatteryScaleOf(IgnitionSense sense);
// The reading of `millivolts` on `sense`'s converter (rounded down).
u32 BatteryReading(IgnitionSense sense, u32 millivolts);

// The world of a board at rest: the key on, a 12.0 V battery, the settings
// the controller leaves the factory with (the cut-off in `sense`'s scale).
IgnitionWorld IgnitionAtRest(IgnitionSense sense);

// The state word and the battery reading the firmware answers now.
u32 IgnitionStateWord(const McuFirmwareState& state);
u32 IgnitionBatteryReading(const McuFirmwareState& state);

// The result word of query `code` (F5h..FBh; `word` is the request's payload).
u32 IgnitionQuery(McuFirmwareState& state, u8 code, u32 word);

// The answer to a text request (code 3Fh): 7 bytes into `out`, or 0 when
// the request is none the firmware knows.
u32 IgnitionText(McuFirmwareState& state, const u8* request, u8* out);

}  // namespace hx::sim
