// PWM generators, family M1: posted commands on the MCU command link.
//
// Every operation writes its frames and reads no answer, so success means
// only that every frame was written. Values pass to the MCU unchanged; the
// firmware gives clock, period, width and the start, stop and invert values
// their meaning. The select-then-set pairs (generator 92h, pulse output 94h)
// are written under the library lock, so two threads' pairs never
// interleave. Status events (41h) reach PwmStatusCallback on the MCU receive
// thread (mcu/receiver.cpp).
#pragma once

#include "core/platform_ops.h"

namespace hx {
namespace pwm {

// 99h clock; the module argument is not sent anywhere.
Bool32 ClockSet(u32 module, u32 clock);
// 92h generator, then the first three words of the record at 9Ah..9Ch. A
// null record or one shorter than 12 bytes fails before anything is sent;
// bytes beyond the first 12 are not sent.
Bool32 GenSetup(u32 generator, void* setup, u32 size);
// 92h generator, 93h period.
Bool32 GenPeriod(u32 generator, u32 period);
// 94h pulse output, 95h width.
Bool32 PulseWidth(u32 pulse, u32 width);
// 96h value.
Bool32 PulseInvert(u32 value);
// 91h value.
Bool32 Start(u32 value);
// 90h value.
Bool32 Stop(u32 value);
// 92h generator, 97h 0.
Bool32 SyncTimeBase(u32 generator);
// 92h generator, 98h 0.
Bool32 SyncUpdate(u32 generator);

}  // namespace pwm

inline constexpr PwmOps M1{"M1",           &pwm::ClockSet, &pwm::GenSetup,     &pwm::GenPeriod,
                           &pwm::PulseWidth, &pwm::PulseInvert, &pwm::Start,   &pwm::Stop,
                           &pwm::SyncTimeBase, &pwm::SyncUpdate};

}  // namespace hx
