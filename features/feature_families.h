// Families of the MCU-based features: DICOS C1..C3, DTIO/DTFO T1..T3,
// ignition G1..G3, CAN N1, PWM M1, MCU V1/V2, LED L1..L3, ADC A1, QEI Q1,
// DT2 E1/E2. The slots are filled as the features land.
#pragma once

#include "core/platform_ops.h"
#include "features/can.h"
#include "features/dicos.h"
#include "features/dt2.h"

namespace hx {

inline constexpr TriggerOps T1{"T1"};
inline constexpr TriggerOps T2{"T2"};
inline constexpr TriggerOps T3{"T3"};

inline constexpr IgnOps G1{"G1"};
inline constexpr IgnOps G2{"G2"};  // leaves IGN_GetSetting empty
inline constexpr IgnOps G3{"G3"};

inline constexpr PwmOps M1{"M1"};

inline constexpr McuOps V1{"V1"};  // leaves MCU_Reset empty
inline constexpr McuOps V2{"V2"};

inline constexpr LedOps L1{"L1"};
inline constexpr LedOps L2{"L2"};
inline constexpr LedOps L3{"L3"};

inline constexpr AdcOps A1{"A1"};

inline constexpr QeiOps Q1{"Q1"};

}  // namespace hx
