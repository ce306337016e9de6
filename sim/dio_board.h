// The port-mapped DIO chips of the virtual board as a model's row wires them:
// the GPIO byte block and the 29Eh/29Fh pair with the connector's lines on
// their bits, the ICH GPIO registers on the chipset boards, and the pads the
// output gates and the trigger routing read. Controls for tests and tools:
// the read-back lag and stuck output drivers, and the routing the board's
// pins or pads select.
#pragma once

#include "sim/board.h"
#include "sim/chips/dio_gpio.h"
#include "sim/models.h"

namespace hx::sim {

// The DIO chips of one board (process-local; their state is in BoardState).
class DioChips {
public:
    DioChips(Board& board, BoardState& state)
        : block_(state.dioField.block, state.dioField, kGpioBlockFirstPort, kDioBlockRegs),
          pair_(state.dioField.pair, state.dioField, kGpioPairFirstPort, kGpioPairRegs),
          ich_(state.dioField.ichGpio),
          board_(board) {}

    // Power-on state of the chips and pads `model` carries, into the board state.
    void PowerOn(const BoardModel& model);
    // Attaches the chips `model` carries and wires its connector (state untouched).
    void Attach(const BoardModel& model);

    // A port register as the board's logic sees it (no access logged, no lag used up).
    u8 Level(u16 port) const;

private:
    DioRegisterBlock block_;
    DioRegisterBlock pair_;
    IchGpio ich_;
    Board& board_;
};

// Powers on (with `powerOn`) and attaches the chips `model` carries.
void WireDioChips(const BoardModel& model, bool powerOn = true);

// Where the board's output drivers are routed: kNone on boards without
// trigger routing; kOff when the pins or pads select neither.
enum class DioRoute : u8 { kNone, kOff, kDio, kTrigger };
DioRoute BoardDioRoute();
const char* DioRouteName(DioRoute route);  // "none", "off", "DIO routed", "trigger routed"

// After each write, an output register reads its old value `reads` times (0: no lag).
void SetOutputReadBackLag(u32 reads);
// Output line `line`'s driver is stuck at `on` (field and read-back); false
// for a line the board does not have.
bool SetStuckOutput(u32 line, bool on);
void ClearStuckOutputs();

// For the field view (sim/dio_field.cpp): whether every gate holds, and the
// levels the output lanes drive, line n at bit n.
bool DioGatesHold(const DioGateSet& set);
u32 DioDrivenOutputs(const DioWiring& wiring);

}  // namespace hx::sim
