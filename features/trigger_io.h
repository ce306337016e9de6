// Deterministic trigger I/O (DTIO and DTFO), families T1, T2 and T3: two
// trigger blocks of the on-board MCU that take over the board's I/O lines
// while they run. Each has setup, start, stop and a time unit.
//
//   T1  full frames under the library lock; the routing hooks only when a
//       platform set them; unit word = unit x 80 + adjust, 32 bits.
//   T2  start, stop and prepare as short commands, no lock; the routing
//       hooks with their defaults; unit word = unit x 25 + adjust, 16 bits.
//       While the MCU receive thread runs, a setup or start first sends the
//       block's prepare, which hands the inputs over from DICOS: DICOS is
//       stopped.
//   T3  T2, with the blocks' hold line on a pad word: released by a short
//       pulse before a start, raised before a stop and left high.
#pragma once

#include <atomic>

#include "core/platform_ops.h"
#include "core/state.h"

namespace hx {
namespace trigger {

// One block's command codes, its unit cell, and the setup words that the
// older firmware does not take as 0 (bit k: word k).
struct Block {
    u8 stop;
    u8 prepare;
    u8 start;
    u8 unit;
    u8 setupFirst;  // word k goes with code setupFirst + k
    u32 wordsNotZero;
    std::atomic<u16>* unitCell;
};

inline constexpr Block kDtio{0x61, 0x62, 0x63, 0x64, 0x69, 0b110, &DtioUnit};
inline constexpr Block kDtfo{0x41, 0x42, 0x43, 0x44, 0x49, 0b100, &DtfoUnit};

Bool32 SetupT1(const Block& block, void* setup, u32 size);
Bool32 StartT1(const Block& block);
Bool32 StopT1(const Block& block);
Bool32 SetUnitT1(const Block& block, u16 unit, u32 adjust);

Bool32 SetupT2(const Block& block, void* setup, u32 size);
Bool32 StartT2(const Block& block);
Bool32 StopT2(const Block& block);
Bool32 SetUnitT2(const Block& block, u16 unit, u32 adjust);

Bool32 StartT3(const Block& block);
Bool32 StopT3(const Block& block);

// A family's four operations on a block.
struct Style {
    Bool32 (*setup)(const Block&, void*, u32);
    Bool32 (*start)(const Block&);
    Bool32 (*stop)(const Block&);
    Bool32 (*setUnit)(const Block&, u16, u32);
};

inline constexpr Style kFramed{&SetupT1, &StartT1, &StopT1, &SetUnitT1};
inline constexpr Style kShort{&SetupT2, &StartT2, &StopT2, &SetUnitT2};
inline constexpr Style kShortHeld{&SetupT2, &StartT3, &StopT3, &SetUnitT2};

// The export slots of one block in one style.
template <const Style& S, const Block& B>
struct Bound {
    static Bool32 Setup(void* setup, u32 size) { return S.setup(B, setup, size); }
    static Bool32 Start() { return S.start(B); }
    static Bool32 Stop() { return S.stop(B); }
    static Bool32 SetUnit(u16 unit, u32 adjust) { return S.setUnit(B, unit, adjust); }
};

template <const Style& S>
constexpr TriggerOps Family(const char* name) {
    using Io = Bound<S, kDtio>;
    using Fo = Bound<S, kDtfo>;
    return {name, &Io::Setup, &Io::Start, &Io::Stop, &Io::SetUnit, &Fo::Setup, &Fo::Start, &Fo::Stop, &Fo::SetUnit};
}

}  // namespace trigger

inline constexpr TriggerOps T1 = trigger::Family<trigger::kFramed>("T1");
inline constexpr TriggerOps T2 = trigger::Family<trigger::kShort>("T2");
inline constexpr TriggerOps T3 = trigger::Family<trigger::kShortHeld>("T3");

}  // namespace hx
