// Per-platform inits I1..I12: at load they store the PlatformConfig values
// and the link settings the drivers read later; they touch no hardware.
#pragma once

#include "core/platform_ops.h"
#include "core/state.h"

namespace hx {

// DT2 source maps (pairs ended by {0, 0}).
extern const Dt2SourcePair kDt2MapA[];
extern const Dt2SourcePair kDt2MapB[];
extern const Dt2SourcePair kDt2MapBForI4[];

void InitI1();
void DeinitI1();
void InitI2();
void InitI3();
void InitI4();
void InitI5();
void InitI6();
void InitI7();
void InitI8();
void InitI9();
void InitI10();
void InitI11();
void InitI12();

inline constexpr InitOps I1{"I1", InitI1, DeinitI1};
inline constexpr InitOps I2{"I2", InitI2, nullptr};
inline constexpr InitOps I3{"I3", InitI3, nullptr};
inline constexpr InitOps I4{"I4", InitI4, nullptr};
inline constexpr InitOps I5{"I5", InitI5, nullptr};
inline constexpr InitOps I6{"I6", InitI6, nullptr};
inline constexpr InitOps I7{"I7", InitI7, nullptr};
inline constexpr InitOps I8{"I8", InitI8, nullptr};
inline constexpr InitOps I9{"I9", InitI9, nullptr};
inline constexpr InitOps I10{"I10", InitI10, nullptr};
inline constexpr InitOps I11{"I11", InitI11, nullptr};
inline constexpr InitOps I12{"I12", InitI12, nullptr};

}  // namespace hx
