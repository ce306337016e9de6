// A four-channel PoE power-sourcing controller on the SMBus, in one of two
// register layouts.
//
// Mode/enable layout: operating mode register 12h, two bits per channel
// (channel c at bits 2c+1..2c; 00b off, 11b automatic), and detect/class
// enable register 14h (detection of channel c at bit c, classification at
// bit c + 4). A channel in automatic mode with detection and classification
// enabled finds the powered device on its port and powers it.
//
// Control/status layout: control register 18h + c (bit 4 set: the channel
// is off; clear: on) and read-only status register 28h + c (bits 6..4 the
// class of the device found on the port, bits 2..0 the power state: 100b
// while it delivers power).
//
// Every other register of 00h..3Fh reads back what was written.
#pragma once

#include "sim/board_state.h"

namespace hx::sim {

inline constexpr u8 kPseChannels = 4;

class PseController {
public:
    explicit PseController(PseControllerState& state) : state_(state) {}

    // Power-on state at `address`: every channel off.
    void Install(u8 address, PseLayout layout);

    u8 Read(u8 reg) const;
    void Write(u8 reg, u8 value);

    bool Powered(u8 channel) const;

private:
    PseControllerState& state_;
};

// Whether `channel` of the controller in `state` delivers power.
bool PseChannelPowered(const PseControllerState& state, u8 channel);

}  // namespace hx::sim
