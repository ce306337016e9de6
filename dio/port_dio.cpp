#include "dio/port_dio.h"

#include "core/hw_access.h"
#include "core/library_lock.h"
#include "core/state.h"
#include "os/os.h"

namespace hx {
namespace {

u32 LaneMask(const PortLane& lane) { return ((u32{1} << lane.count) - 1u) << lane.firstLine; }

bool HasLine(const PortLane& lane, u8 line) {
    return lane.count != 0 && line >= lane.firstLine && line < lane.firstLine + lane.count;
}

const PortLane* LaneOf(const PortLane (&lanes)[kMaxLanes], u8 line) {
    for (const PortLane& lane : lanes) {
        if (HasLine(lane, line)) return &lane;
    }
    return nullptr;
}

u8 RegisterBit(const PortLane& lane, u8 line) { return static_cast<u8>(1u << (lane.shift + line - lane.firstLine)); }

// The lane's lines of a register byte, at their line positions.
u32 LinesOf(const PortLane& lane, u8 reg) { return (u32{reg} >> lane.shift << lane.firstLine) & LaneMask(lane); }

bool Usable(const PortLayout& layout) { return !layout.needsFlag || Shared().dioSharedFlag.load() != 0; }

// The outputs as the registers read them back, line n at bit n.
u32 ReadBackAll(const PortLayout& layout) {
    u32 lines = 0;
    for (const PortLane& lane : layout.outputs) {
        if (lane.count) lines |= LinesOf(lane, HwReadByte(lane.port));
    }
    return lines;
}

u32 OutputMask(const PortLayout& layout) {
    u32 mask = 0;
    for (const PortLane& lane : layout.outputs) {
        if (lane.count) mask |= LaneMask(lane);
    }
    return mask;
}

// Yields and reads until `done` holds or kReadBackBoundMs have passed.
template <typename Done>
void WaitForReadBack(Done done) {
    const u64 start = os::NowMs();
    do {
        os::SleepMs(0);
        if (done()) return;
    } while (os::NowMs() - start < kReadBackBoundMs);
}

void StoreLane(const PortLane& lane, u16 value) {
    const u8 lines = static_cast<u8>(((value & LaneMask(lane)) >> lane.firstLine) << lane.shift);
    switch (lane.store) {
        case PortStore::LineBits:
            HwWriteByte(lane.port, lines);
            break;
        case PortStore::WholeByte:
            HwWriteByte(lane.port, static_cast<u8>(value >> lane.firstLine));
            break;
        case PortStore::Merge: {
            const u8 kept = static_cast<u8>(HwReadByte(lane.port) & ~(LaneMask(lane) >> lane.firstLine << lane.shift));
            HwWriteByte(lane.port, kept | lines);
            break;
        }
    }
}

}  // namespace

u32 PortReadLine(const PortLayout& layout, u8 line) {
    if (!Usable(layout)) return 0;
    LibraryLockGuard lock;
    const PortLane* lane = LaneOf(layout.inputs, line);
    if (!lane) return 0;
    return (HwReadByte(lane->port) & RegisterBit(*lane, line)) ? 0u : 1u;
}

u16 PortReadAll(const PortLayout& layout) {
    if (!Usable(layout)) return 0;
    LibraryLockGuard lock;
    u32 lines = 0;
    for (const PortLane& lane : layout.inputs) {
        if (lane.count) lines |= LinesOf(lane, static_cast<u8>(~HwReadByte(lane.port)));
    }
    return static_cast<u16>(lines);
}

void PortWriteLine(const PortLayout& layout, u8 line, u32 value, bool checked) {
    const PortLane* lane = LaneOf(layout.outputs, line);
    if (!lane || !Usable(layout)) return;
    LibraryLockGuard lock;
    const u8 bit = RegisterBit(*lane, line);
    const u8 want = value ? bit : 0;
    HwWriteByte(lane->port, static_cast<u8>((HwReadByte(lane->port) & ~bit) | want));
    if (checked) WaitForReadBack([&] { return (HwReadByte(lane->port) & bit) == want; });
}

void PortWriteAll(const PortLayout& layout, u16 value, bool checked) {
    if (!Usable(layout)) return;
    LibraryLockGuard lock;
    for (const PortLane& lane : layout.outputs) {
        if (lane.count) StoreLane(lane, value);
    }
    const u32 want = value & OutputMask(layout);
    if (checked) WaitForReadBack([&] { return ReadBackAll(layout) == want; });
}

}  // namespace hx
