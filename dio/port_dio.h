// The register pattern shared by the DIO families of the GPIO byte block
// (600h..605h) and of the 29Eh/29Fh pair: each family is a layout of lanes,
// a lane being a run of lines held by consecutive bits of one byte register.
#pragma once

#include "core/platform_ops.h"

namespace hx {

// How DOWritePort stores a lane's lines into its register.
enum class PortStore : u8 {
    Merge,      // read-modify-write: the register's other bits are kept
    LineBits,   // the register := the lane's lines, other bits 0
    WholeByte,  // the register := eight bits of the value from the lane's first line on
};

struct PortLane {
    u16 port = 0;
    u8 shift = 0;      // register bit of the lane's first line
    u8 firstLine = 0;
    u8 count = 0;      // 0: unused entry
    PortStore store = PortStore::Merge;
};

inline constexpr int kMaxLanes = 3;

struct PortLayout {
    PortLane inputs[kMaxLanes];
    PortLane outputs[kMaxLanes];
    bool needsFlag = false;  // every operation but InitDIO waits for DioSharedFlag
};

// How long a checked write waits for its read-back, in milliseconds of
// yielding reads; past it the call returns (and releases the lock).
inline constexpr u64 kReadBackBoundMs = 100;

u32 PortReadLine(const PortLayout& layout, u8 line);
u16 PortReadAll(const PortLayout& layout);
void PortWriteLine(const PortLayout& layout, u8 line, u32 value, bool checked);
void PortWriteAll(const PortLayout& layout, u16 value, bool checked);

// The seven slots of a layout's family (InitDIO is the family's own).
template <const PortLayout& L>
struct PortDriver {
    static u32 DIReadLine(u8 line) { return PortReadLine(L, line); }
    static u16 DIReadPort() { return PortReadAll(L); }
    static void DOWriteLine(u8 line, u32 value) { PortWriteLine(L, line, value, false); }
    static void DOWritePort(u16 value) { PortWriteAll(L, value, false); }
    static void DOWriteLineChecked(u8 line, u32 value) { PortWriteLine(L, line, value, true); }
    static void DOWritePortChecked(u16 value) { PortWriteAll(L, value, true); }

    static constexpr u8 Lines(const PortLane (&lanes)[kMaxLanes]) {
        u8 n = 0;
        for (const PortLane& lane : lanes) n = static_cast<u8>(n + lane.count);
        return n;
    }
    static constexpr DioOps Ops(const char* family, Bool32 (*init)()) {
        return {family,     init,        DIReadLine,         DIReadPort,         DOWriteLine,
                DOWritePort, DOWriteLineChecked, DOWritePortChecked, Lines(L.inputs), Lines(L.outputs)};
    }
};

// The InitDIO variants of the port-mapped families.
Bool32 InitDioChipsetGpio();    // D1, D2: ICH GPIO 14, 19, 21 as outputs driven low
Bool32 InitDioPads();           // D3: two pads low, on every call
Bool32 InitDioMcuProbe();       // D4: the MCU answers, outputs off, routed by pads
Bool32 InitDioRouting();        // D5, D6: the DIO routing hook
Bool32 InitDioFlagOnly();       // D9
Bool32 InitDioPadOutputClear(); // D11: outputs off, one pad low

// D10: two outputs on memory-mapped pads.
Bool32 InitDioPadOutputs();
void PadOutputWriteLine(u8 line, u32 value);

}  // namespace hx
