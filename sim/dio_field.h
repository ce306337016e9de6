// The board's isolated DI/DO connector as a field device sees it: inputs are
// driven active or inactive from outside, outputs show as switched on or
// off. Which chip carries the lines is the board's DIO wiring.
#pragma once

#include "core/types.h"

namespace hx::sim {

struct FieldLines {
    u8 inputCount;     // 0: the board has no isolated DIO
    u8 outputCount;
    u32 inputsActive;  // line n at bit n
    u32 outputsOn;     // line n at bit n
};

FieldLines ReadFieldLines();
// False for a line the board does not have.
bool DriveFieldInput(u32 line, bool active);

}  // namespace hx::sim
