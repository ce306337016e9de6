#include "sim/chips/trigger_hold_pad.h"

#include "sim/firmware/trigger_engine.h"

namespace hx::sim {
namespace {

constexpr u32 kWordBytes = 4;

}  // namespace

void TriggerHoldPad::PowerOn() { mcu_.world.triggerHold.padWord = kTriggerHoldPowerOn; }

void TriggerHoldPad::Attach(Board& board, u32 address) { board.AttachPhys(address, address + kWordBytes - 1, this); }

u32 TriggerHoldPad::ReadPhys(u32) { return mcu_.world.triggerHold.padWord; }

void TriggerHoldPad::WritePhys(u32, u32 value) { TriggerHoldLine(mcu_, value); }

}  // namespace hx::sim
