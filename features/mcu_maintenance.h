// MCU maintenance, families V1 and V2: the firmware version, and on V2 the
// reset pulse on the MCU's reset line.
#pragma once

#include "core/platform_ops.h"

namespace hx {

inline constexpr McuOps V1{"V1"};  // leaves MCU_Reset empty
inline constexpr McuOps V2{"V2"};

}  // namespace hx
