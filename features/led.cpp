#include "features/led.h"

#include <algorithm>

#include "core/library_lock.h"
#include "core/state.h"
#include "mcu/frame.h"
#include "mcu/link.h"

namespace hx::led {
namespace {

constexpr u8 kLedCode = 0x7A;

// Payload bytes 2..5 of the frame: b2, b3 and the 16-bit word b4:b5 (least
// significant byte first), packed into the frame's 32-bit word.
constexpr u32 kByteBits = 8;
constexpr u32 kWordShift = 16;
constexpr u32 kByteMask = 0xFF;
constexpr u32 kHalfMask = 0xFFFF;

u32 Payload(u32 b2, u32 b3, u32 word) {
    return (b2 & kByteMask) | (b3 & kByteMask) << kByteBits | (word & kHalfMask) << kWordShift;
}

Bool32 Send(u32 payload) {
    McuFrame frame;
    BuildFrame(kLedCode, payload, frame);
    return McuExchangeEcho(frame);
}

Bool32 SendLocked(u32 payload) {
    LibraryLockGuard lock;
    return Send(payload);
}

// ---- L1: a linear current driver with a 12-bit setting ----
constexpr u32 kLinearModeLast = 2;
constexpr u32 kLinearScaled = 1;
constexpr double kLinearOffset = 62.863;
constexpr double kLinearStep = 2.0582;
constexpr u64 kLinearSettingMask = 0xFFF;
constexpr u32 kLinearSettingScale = 4;

u32 LinearWord(u32 mode, u32 value) {
    if (mode != kLinearScaled) return value & kHalfMask;
    const auto setting = static_cast<u64>((static_cast<double>(value) + kLinearOffset) / kLinearStep);
    return static_cast<u32>(setting & kLinearSettingMask) * kLinearSettingScale;
}

// ---- L2: up to four channels, a duty and a current code ----
constexpr u32 kChannelsModeLast = 3;
constexpr u32 kChannelsShift = 16;    // of the select word
constexpr u32 kAllChannels = 0xFFFF;  // no channel given
constexpr u32 kNibble = 0x0F;
constexpr u32 kMaskShift = 4;         // channel mask in the high nibble of b2
constexpr u32 kFullDuty = 100;        // percent
constexpr u32 kDutyDivisor = 100;
constexpr u32 kCurrentMax = 1999;
constexpr double kCodePerCurrent = 0.1705;
constexpr double kCodeOffset = 34.6;
constexpr u32 kDutyOnlyCode = 0x1AA;  // mode 2: the driver's fixed current
constexpr u32 kCurrentShift = 16;     // mode 3: current in the high half, duty x 100 in the low

enum ChannelsMode : u32 { kOff = 0, kCurrent = 1, kDutyOnly = 2, kCurrentAndDuty = 3 };

u32 CurrentCode(u32 current) {
    if (current == 0) return 0;
    const double limited = std::min(current, kCurrentMax);
    return static_cast<u32>(limited * kCodePerCurrent + kCodeOffset) & kHalfMask;
}

u32 Duty(u32 hundredths) { return std::min(hundredths / kDutyDivisor, kFullDuty); }

struct DutyAndCode {
    u32 duty;
    u32 code;
};

DutyAndCode ChannelsSetting(u32 mode, u32 value) {
    switch (mode) {
        case kCurrent: return {kFullDuty, CurrentCode(value)};
        case kDutyOnly: return {Duty(value), kDutyOnlyCode};
        case kCurrentAndDuty: return {Duty(value & kHalfMask), CurrentCode(value >> kCurrentShift)};
        default: return {0, 0};
    }
}

// ---- L3: a dimmer with a 10-bit level and a random byte ----
constexpr u32 kDimmerModeLast = 2;
constexpr u32 kDimmerLevelMode = 1;
constexpr u32 kDimmerValueMax = 500;
constexpr double kLevelPerValue = 0.8403;
constexpr u32 kLevelHighShift = 6;  // b3: level bits 6..13
constexpr u32 kLevelLowScale = 4;   // b4: level bits 0..5 at bits 2..7

// The generator: seed := seed x 214013 + 2531011 (mod 2^32), the byte is
// bits 16..23 of the new seed.
constexpr u32 kSeedFactor = 214013;
constexpr u32 kSeedIncrement = 2531011;
constexpr u32 kRandomShift = 16;

}  // namespace

u8 NextRandomByte() {
    u32 seed = LedSeed.load(std::memory_order_relaxed);
    u32 next = 0;
    do {
        next = seed * kSeedFactor + kSeedIncrement;
    } while (!LedSeed.compare_exchange_weak(seed, next, std::memory_order_relaxed));
    return static_cast<u8>(next >> kRandomShift);
}

Bool32 SetLinear(u32 mode, u32 value) {
    if (mode > kLinearModeLast || !OpenCommandLink()) return kFalse;
    return SendLocked(Payload(mode, 0, LinearWord(mode, value)));
}

Bool32 SetChannels(u32 select, u32 value) {
    const u32 mode = select & kHalfMask;
    if (mode > kChannelsModeLast) return kFalse;
    const u32 given = select >> kChannelsShift;
    const u32 channels = given ? given : kAllChannels;
    const DutyAndCode s = ChannelsSetting(mode, value);
    if (!OpenCommandLink()) return kFalse;
    return SendLocked(Payload((mode & kNibble) | (channels & kNibble) << kMaskShift, s.duty, s.code));
}

Bool32 SetDimmer(u32 mode, u32 value) {
    if (mode > kDimmerModeLast || value > kDimmerValueMax || !OpenCommandLink()) return kFalse;
    const auto level = static_cast<u32>(value * kLevelPerValue);
    const bool levelled = mode == kDimmerLevelMode;
    const u32 b3 = levelled ? level >> kLevelHighShift : 0;
    const u32 b4 = levelled ? level * kLevelLowScale : 0;
    return Send(Payload(mode, b3, (b4 & kByteMask) | u32{NextRandomByte()} << kByteBits));
}

}  // namespace hx::led
