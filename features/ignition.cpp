#include "features/ignition.h"

#include <cstddef>
#include <cstring>

#include "core/library_lock.h"
#include "mcu/frame.h"
#include "mcu/link.h"
#include "os/os.h"

namespace hx::ign {
namespace {

// Query codes on serialPortMcu.
constexpr u8 kStateCode = 0xF5;
constexpr u8 kBatteryCode = 0xF6;
constexpr u8 kSettingFirstCode = 0xF7;  // F7h..FBh: setting words 0..4
constexpr u32 kBatteryPayload = 0;

// IgnSetting: four words, then the voltage, whose low half the MCU sees as
// word 4 (the FBh request carries it; the answer is the raw cut-off reading).
constexpr u32 kSettingWords = 5;
constexpr u32 kSettingBytes = kSettingWords * sizeof(u32);
constexpr u32 kSettingRecordSize = 24;
constexpr std::size_t kVoltageOffset = 16;
static_assert(sizeof(IgnSetting) == kSettingRecordSize && offsetof(IgnSetting, voltage) == kVoltageOffset);
// Words 1..3 come in fiftieths; the record holds whole units.
constexpr u32 kSettingDivisor = 50;

// Battery scales, in the order of the arithmetic, each step in double.
// G1: 33 V full range over 3723 counts.
constexpr double kRange33V = 33.0;
constexpr double kCounts33V = 3723.0;
// G2, G3: a 3.4 V reference behind an 11:1 divider, read with 12 bits (G3)
// or 10 bits (G2); the steps are 1/4096 and 1/1024, exact in binary.
constexpr double kReferenceVolts = 3.4;
constexpr double kDividerRatio = 11.0;
constexpr double kStep12Bit = 0.000244140625;
constexpr double kStep10Bit = 0.0009765625;
constexpr u32 kReading10BitMask = 0x3FF;

// G2 text requests: code 3Fh, four ASCII letters as the payload.
constexpr u8 kTextCode = 0x3F;
constexpr u32 TextWord(const char (&letters)[5]) {
    return u32{static_cast<u8>(letters[0])} | u32{static_cast<u8>(letters[1])} << 8 |
           u32{static_cast<u8>(letters[2])} << 16 | u32{static_cast<u8>(letters[3])} << 24;
}
constexpr u32 kTextState = TextWord("IGNS");
constexpr u32 kTextVoltage = TextWord("VOLT");
// The MCU prepares a text answer before the read starts.
constexpr u32 kTextPauseMs = 10;
constexpr u32 kTextStateByte = kFramePayload;

using Scale = double (*)(u32 raw);

double Volts33V(u32 raw) { return (static_cast<double>(raw) * kRange33V) / kCounts33V; }
double Volts12Bit(u32 raw) { return ((static_cast<double>(raw) * kReferenceVolts) * kDividerRatio) * kStep12Bit; }
double Volts10Bit(u32 raw) { return ((static_cast<double>(raw) * kReferenceVolts) * kDividerRatio) * kStep10Bit; }

Bool32 GetBatteryVoltage(double* volts, Scale scale) {
    if (!OpenMcuLink(serialPortMcu)) return kFalse;
    if (!volts) return kFalse;
    LibraryLockGuard lock;
    u32 raw = kBatteryPayload;
    if (!McuQuery(kBatteryCode, &raw)) return kFalse;
    *volts = scale(raw);
    return kTrue;
}

Bool32 GetSetting(IgnSetting* setting, u32 size, Scale scale, bool clearVoltage) {
    if (!OpenMcuLink(serialPortMcu)) return kFalse;
    if (!setting || size < kSettingRecordSize) return kFalse;
    LibraryLockGuard lock;
    if (clearVoltage) setting->voltage = 0.0;
    u8* words = reinterpret_cast<u8*>(setting);
    if (!McuQueryRange(kSettingFirstCode, words, words + kSettingBytes)) return kFalse;
    setting->setting1 /= kSettingDivisor;
    setting->setting2 /= kSettingDivisor;
    setting->setting3 /= kSettingDivisor;
    u32 raw = 0;
    std::memcpy(&raw, words + kVoltageOffset, sizeof raw);
    setting->voltage = scale(raw);
    return kTrue;
}

// One text request written and read on the link directly: no lock, no
// receive thread. The answer's lead and code bytes are not examined.
bool TextRequest(u32 letters, u8* answer) {
    McuFrame request;
    BuildFrame(kTextCode, letters, request);
    u32 written = 0;
    if (!LinkWrite(serialPortMcu, request, kFrameSize, &written) || written != kFrameSize) return false;
    os::SleepMs(kTextPauseMs);
    u32 got = 0;
    if (!LinkRead(serialPortMcu, answer, kFrameSize, &got, kAnswerTimeoutMs) || got != kFrameSize) return false;
    return FrameChecksum(answer) == answer[kFrameChecksum];
}

}  // namespace

Bool32 GetStateQuery(u32* state) {
    if (!OpenMcuLink(serialPortMcu)) return kFalse;
    if (!state) return kFalse;
    LibraryLockGuard lock;
    return McuQuery(kStateCode, state);
}

Bool32 GetBatteryVoltageG1(double* volts) { return GetBatteryVoltage(volts, &Volts33V); }
Bool32 GetBatteryVoltageG3(double* volts) { return GetBatteryVoltage(volts, &Volts12Bit); }

Bool32 GetSettingG1(IgnSetting* setting, u32 size) { return GetSetting(setting, size, &Volts33V, false); }
Bool32 GetSettingG3(IgnSetting* setting, u32 size) { return GetSetting(setting, size, &Volts12Bit, true); }

Bool32 GetStateText(u32* state) {
    if (!OpenMcuLink(serialPortMcu)) return kFalse;
    if (!state) return kFalse;
    McuFrame answer;
    if (!TextRequest(kTextState, answer)) return kFalse;
    *state = answer[kTextStateByte] != 0 ? 1 : 0;
    return kTrue;
}

Bool32 GetBatteryVoltageText(double* volts) {
    if (!OpenMcuLink(serialPortMcu)) return kFalse;
    if (!volts) return kFalse;
    McuFrame answer;
    if (!TextRequest(kTextVoltage, answer)) return kFalse;
    *volts = Volts10Bit(FramePayload(answer) & kReading10BitMask);
    return kTrue;
}

}  // namespace hx::ign
