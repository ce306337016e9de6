// The virtual firmware's quadrature encoder inputs: commands B0h..B2h and
// B6h, queries B3h..B5h, setup words from B9h; every channel's encoder sits
// on the one shaft of the board's world and counts as the board clock runs.
// docs/virtual-firmware.md gives the words and units their meaning.
#pragma once

#include "core/types.h"
#include "sim/firmware/link_state.h"

namespace hx::sim {

inline constexpr u32 kQeiCountsPerLine = 4;         // both edges of both tracks
inline constexpr u32 kQeiDefaultLines = 1000;       // setup word 0 left at 0
inline constexpr std::int32_t kShaftRpmLimit = 100000;

void QeiCommand(McuFirmwareState& state, u8 code, u32 word);
u32 QeiQuery(McuFirmwareState& state, u8 code, u32 word);

// The encoder channels the board's firmware has (at most kQeiChannelsMax).
u32 QeiChannels(const McuFirmwareState& state);
// Lines per revolution as setup word 0 gives them.
u32 QeiLinesPerRev(const McuFirmwareState& state);
// Counts per second that `channel` measures now (0 while it is stopped).
u32 QeiVelocity(const McuFirmwareState& state, u32 channel);
// The shaft turns for `ms` milliseconds: the running channels count.
void QeiAdvance(McuFirmwareState& state, u64 ms);

}  // namespace hx::sim
