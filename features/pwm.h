// PWM generators, family M1: posted commands on the MCU command link.
#pragma once

#include "core/platform_ops.h"

namespace hx {

inline constexpr PwmOps M1{"M1"};

}  // namespace hx
