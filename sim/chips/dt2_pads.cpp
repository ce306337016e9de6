#include "sim/chips/dt2_pads.h"

namespace hx::sim {
namespace {

constexpr u32 kWordBytes = 4;

}  // namespace

void StatusPads::PowerOn() {
    state_ = {};
    for (u32 i = 0; i < Count(); ++i) state_.words[i] = wiring_->lines[i].firmware;
}

void StatusPads::Attach(Board& board) {
    for (u32 i = 0; i < Count(); ++i) {
        const u32 address = wiring_->lines[i].address;
        board.AttachPhys(address, address + kWordBytes - 1, this);
    }
}

u32 StatusPads::LineAt(u32 address) const {
    u32 i = 0;
    while (i < Count() && wiring_->lines[i].address != address) ++i;
    return i;
}

bool StatusPads::Drives(u32 line) const { return (state_.words[line] & wiring_->bits.outDisable) == 0; }
bool StatusPads::Sees(u32 line) const { return (state_.words[line] & wiring_->bits.inDisable) == 0; }

// The pad wins against a device outside that drives the other level.
bool StatusPads::High(u32 line) const {
    if (Drives(line)) return (state_.words[line] & wiring_->bits.outLevel) != 0;
    return (state_.driven & state_.drivenHigh) >> line & 1u;
}

u32 StatusPads::ReadPhys(u32 address) {
    const u32 line = LineAt(address);
    if (line == Count()) return 0;
    const PadBitLayout& b = wiring_->bits;
    const u32 word = state_.words[line];
    // A shared level bit reads the latch while the input buffer is off.
    if (!Sees(line)) return b.inLevel == b.outLevel ? word : word & ~b.inLevel;
    return (word & ~b.inLevel) | (High(line) ? b.inLevel : 0);
}

void StatusPads::WritePhys(u32 address, u32 value) {
    const u32 line = LineAt(address);
    if (line == Count()) return;
    const PadBitLayout& b = wiring_->bits;
    state_.words[line] = b.inLevel == b.outLevel ? value : value & ~b.inLevel;
}

StatusLineView StatusPads::Line(u32 line) const {
    if (line >= Count()) return {};
    return {true, wiring_->lines[line].name, Drives(line), Sees(line), High(line), (state_.driven >> line & 1u) != 0};
}

bool StatusPads::Drive(u32 line, LineDrive drive) {
    if (line >= Count()) return false;
    const u32 bit = 1u << line;
    state_.driven = drive == LineDrive::Release ? state_.driven & ~bit : state_.driven | bit;
    state_.drivenHigh = drive == LineDrive::High ? state_.drivenHigh | bit : state_.drivenHigh & ~bit;
    return true;
}

}  // namespace hx::sim
