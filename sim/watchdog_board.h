// The watchdog chips of the virtual board as a model's row describes them:
// the IT87 Super I/O every model carries, wired to reset the machine through
// the board's reset path, and the chipset TCO timer on the boards that wire
// it to reset; both advance on the board clock in one reset domain.
#pragma once

#include "sim/board.h"
#include "sim/chips/ich_tco.h"
#include "sim/chips/it87.h"
#include "sim/models.h"

namespace hx::sim {

// The chip objects of one board (process-local); all their state is in the
// BoardState, so another process can attach its own set to a shared state.
class WatchdogChips {
public:
    WatchdogChips(Board& board, BoardState& state)
        : superIo_(board, state.superIo), tco_(board, state.tco), domain_(state), board_(board) {}

    // Power-on state of the chips `model` carries, and the pad words on the
    // watchdog's reset path as the firmware leaves them, written into the
    // board state.
    void PowerOn(const BoardModel& model);
    // Attaches the chips `model` carries to the board and wires the watchdog
    // to its reset path (state untouched).
    void Attach(const BoardModel& model);

    It87& SuperIo() { return superIo_; }
    IchTco& Tco() { return tco_; }

private:
    It87 superIo_;
    IchTco tco_;
    ResetDomain domain_;
    Board& board_;
};

// The chips of this process's virtual board (sim/virtual_board.h).
It87& TheSuperIo();
IchTco& TheTco();

// Powers on (with `powerOn`) and attaches the chips `model` carries to this
// process's board (after the board state has been cleared and the other
// chips attached).
void WireWatchdogChips(const BoardModel& model, bool powerOn = true);

}  // namespace hx::sim
