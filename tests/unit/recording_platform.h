// A platform table whose slots record their call (ordinal of the export, the
// arguments as the slot received them, and whether hardware access was still
// open) and return one wide value cut to the slot's result type, so tests see
// what the dispatch forwarded and a narrowed signature shows as a cut value.
#pragma once

#include <cstdint>
#include <type_traits>
#include <vector>

#include "core/platform_ops.h"
#include "sim/virtual_board.h"

namespace hx::test {

struct RecordedCall {
    int ordinal;
    std::vector<std::uint64_t> args;
    bool accessOpen;
};

inline std::vector<RecordedCall>& Calls() {
    static std::vector<RecordedCall> calls;
    return calls;
}

inline constexpr std::uint32_t kSlotResult = 0x12345678;

template <typename T>
std::uint64_t AsWord(T v) {
    if constexpr (std::is_pointer_v<T>) {
        return reinterpret_cast<std::uintptr_t>(v);
    } else {
        return static_cast<std::uint64_t>(v);
    }
}

template <int Ordinal, typename R, typename... A>
R Record(A... args) {
    Calls().push_back({Ordinal, {AsWord(args)...}, sim::TheBoard().AccessOpen()});
    if constexpr (!std::is_void_v<R>) return static_cast<R>(kSlotResult);
}

template <int Ordinal, typename R, typename... A>
constexpr auto Recorder(R (*)(A...)) {
    return &Record<Ordinal, R, A...>;
}

// Fills `slot` with the recorder for export `ordinal`.
#define HX_RECORD(slot, ordinal) (slot) = ::hx::test::Recorder<ordinal>(slot)

inline constexpr int kDeinitMarker = 1000;

inline void RecordDeinit() { Calls().push_back({kDeinitMarker, {}, sim::TheBoard().AccessOpen()}); }

// The slots the dispatch and unload tests use, ordinals as in the export table.
inline PlatformOps RecordingPlatform() {
    PlatformOps p{};
    p.modelKey = "Recording";
    HX_RECORD(p.dio.DIReadLine, 1);
    HX_RECORD(p.dio.DIReadPort, 2);
    HX_RECORD(p.dio.DOWritePort, 4);
    HX_RECORD(p.wdt.SetWDT, 9);
    HX_RECORD(p.wdt.StopWDT, 11);
    HX_RECORD(p.dicos.SetupDICOS, 12);
    HX_RECORD(p.dicos.StartDICOS, 13);
    HX_RECORD(p.dicos.StopDICOS, 14);
    HX_RECORD(p.poe.GetStatusPoEPort, 16);
    HX_RECORD(p.trigger.SetupDTIO, 19);
    HX_RECORD(p.trigger.StartDTIO, 20);
    HX_RECORD(p.trigger.SetUnitDTIO, 22);
    HX_RECORD(p.trigger.SetupDTFO, 24);
    HX_RECORD(p.trigger.StartDTFO, 25);
    HX_RECORD(p.can.CAN_Stop, 35);
    HX_RECORD(p.can.CAN_Send, 36);
    HX_RECORD(p.dt2.DT2_StPull, 73);
    HX_RECORD(p.dt2.DT2_EiSendResult, 75);
    p.init.deinit = RecordDeinit;
    return p;
}

inline ExpansionCardOps RecordingCard() {
    ExpansionCardOps c{};
    c.name = "Recording card";
    HX_RECORD(c.PCI_GetStatusPoEPort, 63);
    return c;
}

}  // namespace hx::test
