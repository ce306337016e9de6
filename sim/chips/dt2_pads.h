// GPIO pads that carry a board's DT2 status lines past the MCU: one 32-bit
// pad word in physical memory per line. A pad drives its line while its
// output is enabled, and reports the line's level while its input buffer is
// on. Two word layouts occur: the Atom SoC's pad value word, whose bit 0 is
// both the output level written and the level read, and the PCH pad's
// first configuration word, with separate output and input level bits.
// Nothing pulls an undriven line up: it reads low.
#pragma once

#include <cstddef>

#include "core/types.h"
#include "sim/board.h"
#include "sim/board_state.h"

namespace hx::sim {

// Where the pad word keeps each control (one bit each; outLevel and
// inLevel may be the same bit).
struct PadBitLayout {
    u32 outLevel;    // the level the pad drives
    u32 inLevel;     // the level the pad sees (read only when a bit of its own)
    u32 outDisable;  // set: the pad does not drive
    u32 inDisable;   // set: the input buffer is off
};

struct StatusLineWiring {
    const char* name;  // as printed at the status connector
    u32 address;       // the pad word
    u32 firmware;      // the pad word as the firmware leaves it
};

struct StatusPadWiring {
    PadBitLayout bits;
    u8 count;  // 0: the board has no status lines
    StatusLineWiring lines[kMaxStatusLines];
};

// Drive of a line by a device outside the board.
enum class LineDrive : u8 { Release, Low, High };

struct StatusLineView {
    bool exists;
    const char* name;
    bool output;  // the pad drives the line
    bool input;   // the pad's input buffer is on
    bool high;    // the line's level
    bool driven;  // a device outside drives it
};

class StatusPads final : public PhysDevice {
public:
    explicit StatusPads(StatusPadState& state) : state_(state) {}

    // The board's status lines (nullptr: none); state untouched.
    void Wire(const StatusPadWiring* wiring) { wiring_ = wiring; }
    // The pad words as the firmware leaves them, nothing driven from outside.
    void PowerOn();
    // Claims each line's pad word on `board`.
    void Attach(Board& board);

    u32 ReadPhys(u32 address) override;
    void WritePhys(u32 address, u32 value) override;

    u32 Count() const { return wiring_ ? wiring_->count : 0; }
    StatusLineView Line(u32 line) const;
    // False for a line the board does not have.
    bool Drive(u32 line, LineDrive drive);

private:
    // The line whose pad word is at `address`, or Count() when none.
    u32 LineAt(u32 address) const;
    bool Drives(u32 line) const;
    bool Sees(u32 line) const;
    bool High(u32 line) const;

    StatusPadState& state_;
    const StatusPadWiring* wiring_ = nullptr;
};

}  // namespace hx::sim
