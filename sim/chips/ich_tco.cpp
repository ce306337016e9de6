#include "sim/chips/ich_tco.h"

#include <algorithm>

namespace hx::sim {
namespace {

// Offsets in the TCO block.
constexpr u16 kRld = 0x00;
constexpr u16 kSts1 = 0x04;
constexpr u16 kSts2 = 0x06;
constexpr u16 kCnt1 = 0x08;
constexpr u16 kTmr = 0x12;

constexpr u16 kSts1Timeout = 1u << 3;
constexpr u16 kSts2SecondTimeout = 1u << 1;
constexpr u16 kCnt1Halt = 1u << 11;
constexpr u16 kTickMask = 0x03FF;
constexpr u16 kPowerOnTicks = 4;

constexpr u32 kSmiEnGlobal = 1u << 0;
constexpr u32 kSmiEnTco = 1u << 13;
constexpr u32 kGcsNoReboot = 1u << 5;
constexpr u32 kGcsBootFromLpc = 3u << 10;  // boot BIOS straps

constexpr u64 kMsPerTick = 600;
constexpr u8 kFloating = 0xFF;

bool InBlock(u16 port) { return port >= kTcoFirstPort && port <= kTcoLastPort; }
bool InSmiEn(u16 port) { return port >= kSmiEnFirstPort && port <= kSmiEnLastPort; }

}  // namespace

void IchTco::Install() {
    state_ = IchTcoState{};
    state_.present = true;
    state_.regs[kCnt1 + 1] = static_cast<u8>(kCnt1Halt >> 8);
    state_.regs[kTmr] = kPowerOnTicks;
    state_.counter = kPowerOnTicks;
    state_.smiEn = kSmiEnGlobal | kSmiEnTco;
    state_.gcs = kGcsNoReboot | kGcsBootFromLpc;
}

void IchTco::PowerOnReset() {
    const u32 smis = state_.smiCount;
    Install();
    state_.smiCount = smis;
}

u16 IchTco::Register16(u16 port) const {
    return static_cast<u16>(ReadByte(port) | ReadByte(static_cast<u16>(port + 1)) << 8);
}

bool IchTco::NoReboot() const { return (state_.gcs & kGcsNoReboot) != 0; }

bool IchTco::Running() const { return !(Register16(kTcoFirstPort + kCnt1) & kCnt1Halt); }

u8 IchTco::ReadByte(u16 port) const {
    if (InSmiEn(port)) return static_cast<u8>(state_.smiEn >> (8 * (port - kSmiEnFirstPort)));
    if (!InBlock(port)) return kFloating;
    const u16 offset = port - kTcoFirstPort;
    if (offset == kRld) return static_cast<u8>(state_.counter & kTickMask);
    if (offset == kRld + 1) return static_cast<u8>((state_.counter & kTickMask) >> 8);
    return state_.regs[offset];
}

u32 IchTco::ReadPort(u16 port, u8 size) {
    u32 value = 0;
    for (u8 i = 0; i < size; ++i) value |= u32{ReadByte(static_cast<u16>(port + i))} << (8 * i);
    return value;
}

// A write reaches each 16-bit register it touches once, with the byte lanes
// it covers, so that a word write to TCO_RLD is one reload.
void IchTco::WritePort(u16 port, u32 value, u8 size) {
    for (u8 i = 0; i < size;) {
        const u16 at = static_cast<u16>(port + i);
        if (InSmiEn(at)) {
            const u32 shift = 8 * (at - kSmiEnFirstPort);
            state_.smiEn = (state_.smiEn & ~(0xFFu << shift)) | (((value >> (8 * i)) & 0xFF) << shift);
            ++i;
            continue;
        }
        const u16 base = static_cast<u16>((at - kTcoFirstPort) & ~1u);
        u16 bits = 0, lanes = 0;
        for (; i < size && static_cast<u16>((port + i - kTcoFirstPort) & ~1u) == base; ++i) {
            const u32 lane = (port + i - kTcoFirstPort) & 1u;
            bits |= static_cast<u16>(((value >> (8 * i)) & 0xFF) << (8 * lane));
            lanes |= static_cast<u16>(0xFF << (8 * lane));
        }
        WriteRegister16(base, bits, lanes);
    }
}

void IchTco::WriteRegister16(u16 offset, u16 bits, u16 laneMask) {
    if (offset >= kTcoRegs) return;
    u16 reg = static_cast<u16>(state_.regs[offset] | state_.regs[offset + 1] << 8);
    switch (offset) {
        case kRld:
            return Reload();
        case kSts1:
        case kSts2:
            reg = static_cast<u16>(reg & ~(bits & laneMask));  // write 1 to clear
            break;
        case kTmr:
            reg = static_cast<u16>(((reg & ~laneMask) | (bits & laneMask)) & kTickMask);
            break;
        default:
            reg = static_cast<u16>((reg & ~laneMask) | (bits & laneMask));
            break;
    }
    state_.regs[offset] = static_cast<u8>(reg);
    state_.regs[offset + 1] = static_cast<u8>(reg >> 8);
}

u32 IchTco::ReadPhys(u32 address) { return address == kGcsAddress ? state_.gcs : 0; }

void IchTco::WritePhys(u32 address, u32 value) {
    if (address == kGcsAddress) state_.gcs = value;
}

// A reload value of 0 still takes one tick to run out.
void IchTco::Reload() {
    const u16 ticks = static_cast<u16>(Register16(kTcoFirstPort + kTmr) & kTickMask);
    state_.counter = std::max<u16>(ticks, 1);
    state_.phaseMs = 0;
}

u64 IchTco::MsToEvent() const {
    if (!Running()) return kNoEvent;
    return state_.counter * kMsPerTick - state_.phaseMs;
}

void IchTco::Advance(u64 fromMs, u64 toMs) {
    u64 now = fromMs;
    while (now < toMs && Running()) {
        const u64 step = std::min<u64>(toMs - now, kMsPerTick - state_.phaseMs);
        now += step;
        state_.phaseMs += static_cast<u32>(step);
        if (state_.phaseMs < kMsPerTick) continue;
        state_.phaseMs = 0;
        if (--state_.counter == 0) TimeOut(now);
    }
}

void IchTco::TimeOut(u64 atMs) {
    const u16 sts1 = Register16(kTcoFirstPort + kSts1);
    Reload();
    if (!(sts1 & kSts1Timeout)) {
        state_.regs[kSts1] = static_cast<u8>(sts1 | kSts1Timeout);
        if ((state_.smiEn & kSmiEnGlobal) && (state_.smiEn & kSmiEnTco)) ++state_.smiCount;
        return;
    }
    state_.regs[kSts2] = static_cast<u8>(state_.regs[kSts2] | kSts2SecondTimeout);
    if (!(state_.gcs & kGcsNoReboot)) board_.ResetMachineAt(atMs, "ICH TCO timer, second time-out");
}

}  // namespace hx::sim
