// Quadrature encoder interface, family Q1.
#pragma once

#include "core/platform_ops.h"

namespace hx {

inline constexpr QeiOps Q1{"Q1"};

}  // namespace hx
