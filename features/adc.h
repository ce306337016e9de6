// Analog inputs, family A1: start and stop words and the raw reading of a
// channel over the MCU command link. The converter's 3723 counts span
// 33.0 V; the start and stop words and the channel numbers are the
// firmware's and pass through unchanged.
#pragma once

#include "core/platform_ops.h"

namespace hx {
namespace adc {

// A1h echoed. When the MCU does not echo it, the stop goes out with the
// same word before the start fails.
Bool32 Start(u32 value);
// A0h echoed.
Bool32 Stop(u32 value);
// A2h queried with the channel; the answer word, unsigned, in volts.
Bool32 GetData(u32 channel, double* volts);

}  // namespace adc

inline constexpr AdcOps A1{"A1", &adc::Start, &adc::Stop, &adc::GetData};

}  // namespace hx
