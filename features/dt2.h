// DT2 trigger engine, families E1 and E2: setup, start, stop, unit and
// indexed-event results over the MCU command link; status pads in memory.
//
// Setup, start, stop, unit and results are one code for both families. The
// setup record's source fields carry library-level source codes, which the
// platform's DT2 source map turns into the engine's mask bits; the caller's
// record is never changed. The status lines bypass the MCU: E1 drives nine
// output pads and samples eight input pads by bit 0 of each pad word; E2
// has four pads with separate output and input levels and disables, two it
// drives (under a mask) and two it samples, switching those to inputs first.
#pragma once

#include "core/platform_ops.h"
#include "core/state.h"

namespace hx {
namespace dt2 {

// The mask of `code` in `map`; 0 for no map, no matching pair, or code 0.
u32 LookupSource(const Dt2SourcePair* map, u32 code);

Bool32 Setup(Dt2Setup* setup, u32 size);
Bool32 Start();
Bool32 Stop();
Bool32 SetUnit(u32 unit, u32 adjust);
Bool32 EiSendResult(u8 index, u8 result);

// E1: bit i of `values` to output pad i (i = 0..8); `mask` is not used.
Bool32 StPushE1(u32 mask, u32 values);
// E1: bit i of the result from input pad i (i = 0..7).
Bool32 StPullE1(u32* values);
// E2: for each of the two output pads whose mask bit is set, drive bit i of `values`.
Bool32 StPushE2(u32 mask, u32 values);
// E2: both input pads, switched from output to input where needed.
Bool32 StPullE2(u32* values);

}  // namespace dt2

constexpr Dt2Ops Dt2Family(const char* family, Bool32 (*push)(u32, u32), Bool32 (*pull)(u32*)) {
    return {family, &dt2::Setup, &dt2::Start, &dt2::Stop, &dt2::SetUnit, push, pull, &dt2::EiSendResult};
}

inline constexpr Dt2Ops E1 = Dt2Family("E1", &dt2::StPushE1, &dt2::StPullE1);
inline constexpr Dt2Ops E2 = Dt2Family("E2", &dt2::StPushE2, &dt2::StPullE2);

}  // namespace hx
