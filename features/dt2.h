// DT2 trigger engine, families E1 and E2: setup, start, stop, unit and
// indexed-event results over the MCU command link; status pads in memory.
#pragma once

#include "core/platform_ops.h"

namespace hx {

inline constexpr Dt2Ops E1{"E1"};
inline constexpr Dt2Ops E2{"E2"};

}  // namespace hx
