// LED drive current and duty, families L1, L2 and L3.
#pragma once

#include "core/platform_ops.h"

namespace hx {

inline constexpr LedOps L1{"L1"};
inline constexpr LedOps L2{"L2"};
inline constexpr LedOps L3{"L3"};

}  // namespace hx
