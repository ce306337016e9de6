#include "wdt/tco.h"

#include "core/hw_access.h"

namespace hx::tco {

namespace {

constexpr u8 kWord = 2;
constexpr double kRoundHalfUp = 0.5;

u16 ReadWord(u16 port) {
    u32 value = 0;
    HwReadPort(port, &value, kWord);
    return static_cast<u16>(value);
}

void WriteWord(u16 port, u16 value) { HwWritePort(port, value, kWord); }

u16 WithTicks(u16 reg, u16 ticks) { return static_cast<u16>((reg & ~kTickMask) | (ticks & kTickMask)); }

// Lets the second time-out reset the machine.
bool ClearNoReboot() {
    u32 gcs = 0;
    if (!HwReadPhys32(kGcsAddress, &gcs)) return false;
    return HwWritePhys32(kGcsAddress, gcs & ~kGcsNoReboot);
}

}  // namespace

u16 TicksFor(u16 seconds) {
    const double ticks = seconds / kSecondsPerTick + kRoundHalfUp;
    return static_cast<u16>(static_cast<u32>(ticks));
}

Bool32 Configure(u16 seconds) {
    const u16 ticks = TicksFor(seconds);
    TcoTicks.store(ticks >= kMinTicks && ticks <= kMaxTicks ? ticks : kDefaultTicks, std::memory_order_relaxed);
    if (!ClearNoReboot()) return kFalse;
    WriteWord(kTmrPort, WithTicks(ReadWord(kTmrPort), TcoTicks.load(std::memory_order_relaxed)));
    WriteWord(kSmiEnPort, static_cast<u16>(ReadWord(kSmiEnPort) & ~kSmiEnTco));
    return kTrue;
}

void Reload() { WriteWord(kRldPort, WithTicks(ReadWord(kRldPort), TcoTicks.load(std::memory_order_relaxed))); }

void Start() {
    Reload();
    WriteWord(kCnt1Port, static_cast<u16>(ReadWord(kCnt1Port) & ~kCnt1Halt));
}

void Halt() { WriteWord(kCnt1Port, static_cast<u16>(ReadWord(kCnt1Port) | kCnt1Halt)); }

}  // namespace hx::tco
