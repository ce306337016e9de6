// Ignition control, families G1, G2 and G3: the ignition state, the battery
// voltage and the ignition settings, read from the MCU.
#pragma once

#include "core/platform_ops.h"

namespace hx {

inline constexpr IgnOps G1{"G1"};
inline constexpr IgnOps G2{"G2"};  // leaves IGN_GetSetting empty
inline constexpr IgnOps G3{"G3"};

}  // namespace hx
