#include "sim/firmware/trigger_engine.h"

#include "sim/firmware/mcu_firmware.h"

namespace hx::sim {
namespace {

using namespace fw;

// Offsets of the codes from each block's stop code.
constexpr u32 kStopOffset = 0, kPrepareOffset = 1, kStartOffset = 2, kUnitOffset = 3;

constexpr u32 kFramedClockHz = 80'000'000;
constexpr u32 kShortClockHz = 25'000'000;
constexpr double kNsPerSecond = 1e9;

// The older dialect's unit register: bytes 0..1 of the payload; bytes 2..3
// must be 0.
constexpr u32 kShortUnitHighHalf = 0xFFFF0000u;

constexpr u32 kHoldLevel = 0x1;

bool ShortDialect(TriggerDialect d) { return d == TriggerDialect::Short || d == TriggerDialect::ShortHeld; }

// The block a code of the blocks belongs to, and the code's offset in it.
TriggerUnitState* BlockOf(McuFirmwareState& s, u8 code, u32* offset) {
    if (code >= kDtfoStop && code <= kDtfoUnit) return *offset = code - kDtfoStop, &s.trigger.dtfo;
    if (code >= kDtioStop && code <= kDtioUnit) return *offset = code - kDtioStop, &s.trigger.dtio;
    return nullptr;
}

}  // namespace

bool TriggerHeld(const McuFirmwareState& s) {
    return s.functions.trigger == TriggerDialect::ShortHeld && (s.world.triggerHold.padWord & kHoldLevel) != 0;
}

bool TriggerTakes(McuFirmwareState& s, u8 code, u32 word) {
    u32 offset = 0;
    TriggerUnitState* t = BlockOf(s, code, &offset);
    if (!t) return true;
    if (offset == kStartOffset && TriggerHeld(s)) {
        ++t->refusedStarts;
        return false;
    }
    return !(offset == kUnitOffset && ShortDialect(s.functions.trigger) && (word & kShortUnitHighHalf) != 0);
}

void TriggerCommand(McuFirmwareState& s, u8 code, u32 word) {
    u32 offset = 0;
    TriggerUnitState* t = BlockOf(s, code, &offset);
    if (!t) return;
    switch (offset) {
        case kStopOffset: t->running = false, ++t->stops; break;
        case kPrepareOffset: ++t->prepares; break;
        case kStartOffset: t->running = true, ++t->starts; break;
        case kUnitOffset: t->unit = word; break;
        default: break;
    }
}

void TriggerHoldLine(McuFirmwareState& s, u32 padWord) {
    const bool wasHeld = TriggerHeld(s);
    s.world.triggerHold.padWord = padWord;
    if (wasHeld || !TriggerHeld(s)) return;
    s.trigger.dtio.running = s.trigger.dtfo.running = false;
    ++s.trigger.holds;
}

u32 TriggerClockHz(TriggerDialect d) {
    if (d == TriggerDialect::Framed) return kFramedClockHz;
    return ShortDialect(d) ? kShortClockHz : 0;
}

double TriggerTickNs(TriggerDialect d, u32 unitWord) {
    const u32 hz = TriggerClockHz(d);
    return hz ? unitWord * kNsPerSecond / hz : 0.0;
}

const char* TriggerDialectName(TriggerDialect d) {
    switch (d) {
        case TriggerDialect::Framed: return "framed";
        case TriggerDialect::Short: return "short";
        case TriggerDialect::ShortHeld: return "short, held by a line";
        default: return "none";
    }
}

}  // namespace hx::sim
