#include "sim/chips/mcu_reset_pad.h"

#include "sim/firmware/mcu_firmware.h"

namespace hx::sim {
namespace {

constexpr u32 kWordBytes = 4;
constexpr u32 kOutputEnables = 0x300;  // bit 8 (output disable) and bit 9
constexpr u32 kOutput = 0x200;         // ... as an output has them
constexpr u32 kLevel = 0x001;

}  // namespace

bool McuResetPad::DrivesHigh(u32 word) { return (word & kOutputEnables) == kOutput && (word & kLevel) != 0; }

void McuResetPad::Attach(Board& board) {
    if (address_) board.AttachPhys(address_, address_ + kWordBytes - 1, this);
}

void McuResetPad::Set(u32 word) {
    mcu_.world.resetLine.padWord = word;
    mcu_.world.resetLine.high = DrivesHigh(word);
}

u32 McuResetPad::ReadPhys(u32) { return mcu_.world.resetLine.padWord; }

void McuResetPad::WritePhys(u32, u32 value) {
    const bool wasHigh = mcu_.world.resetLine.high;
    Set(value);
    if (wasHigh && !mcu_.world.resetLine.high) RestartFirmware(mcu_);
}

}  // namespace hx::sim
