// Analog inputs, family A1.
#pragma once

#include "core/platform_ops.h"

namespace hx {

inline constexpr AdcOps A1{"A1"};

}  // namespace hx
