// The virtual firmware's trigger I/O blocks, DTIO (61h..64h, setup from 69h)
// and DTFO (41h..44h, setup from 49h), in the dialect the board's firmware
// speaks. docs/virtual-firmware.md gives the words their meaning.
#pragma once

#include "core/types.h"
#include "sim/firmware/link_state.h"

namespace hx::sim {

// Whether the blocks take a command of theirs (`word` 0 for a short
// command); false: it is refused, not answered, and nothing changes but the
// count of refused starts. True for every other code.
bool TriggerTakes(McuFirmwareState& state, u8 code, u32 word);
// A command of the blocks' codes (stop, prepare, start, unit) that they took.
void TriggerCommand(McuFirmwareState& state, u8 code, u32 word);

// The hold line's pad word was written: a high level stops both blocks, and
// while it stays high the blocks take no start.
void TriggerHoldLine(McuFirmwareState& state, u32 padWord);
bool TriggerHeld(const McuFirmwareState& state);

// The clock the unit word counts: 80 MHz framed, 25 MHz in the older
// dialect; 0 without trigger I/O.
u32 TriggerClockHz(TriggerDialect dialect);
// The unit word as a tick length in nanoseconds (0 without trigger I/O).
double TriggerTickNs(TriggerDialect dialect, u32 unitWord);
// "framed", "short", "short, held by a line", "none".
const char* TriggerDialectName(TriggerDialect dialect);

}  // namespace hx::sim
