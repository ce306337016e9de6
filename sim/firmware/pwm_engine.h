// The virtual firmware's PWM generators: posts 90h..9Ch (never answered),
// and the status events (41h) they raise. Generator n drives output n; the
// board's row says how many there are. docs/virtual-firmware.md gives the
// words their meaning.
#pragma once

#include "core/types.h"
#include "sim/firmware/link_state.h"

namespace hx::sim {

// A post of the generators' codes. Status events go to the firmware's
// outbox (the link host sends them behind the post it is handling).
void PwmPost(McuFirmwareState& state, u8 code, u32 word);

// Output n as a meter on its pin sees it.
struct PwmOutputView {
    bool exists;
    bool running;
    bool inverted;       // active low
    u32 period;          // clock ticks
    u32 width;           // clock ticks active
    u32 clockHz;
    double dutyPercent;  // share of the time the pin is high
    double frequencyHz;  // pulses a second; 0 while the pin rests
};

// The outputs the board has (its generators).
u32 PwmOutputsOf(const McuFirmwareState& state);
PwmOutputView PwmOutputOf(const McuFirmwareState& state, u32 output);

// Status words of event 41h (payload bits 0..23; byte 3 is the generator).
inline constexpr u32 kPwmStatusStarted = 0x01;
inline constexpr u32 kPwmStatusStopped = 0x02;
inline constexpr u32 kPwmStatusWidthExceedsPeriod = 0x03;
inline constexpr u32 kPwmStatusDutyShift = 8;  // bits 8..23: active share in tenths of a percent

}  // namespace hx::sim
