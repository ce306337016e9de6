// The watchdog chips of the virtual board: the IT87 Super I/O every model
// carries and, on the models whose watchdog also arms it, the chipset TCO
// timer; both advance on the board clock in one reset domain.
#pragma once

#include "sim/board.h"
#include "sim/chips/ich_tco.h"
#include "sim/chips/it87.h"
#include "sim/models.h"

namespace hx::sim {

It87& TheSuperIo();
IchTco& TheTco();

// Attaches and powers on the chips `model` carries (after the board state
// has been cleared and the other chips attached).
void WireWatchdogChips(Board& board, const BoardModel& model);

}  // namespace hx::sim
