#include "sim/firmware/trigger_engine.h"

#include "sim/firmware/mcu_firmware.h"

namespace hx::sim {
namespace {

using namespace fw;

// Offsets of the codes from each block's stop code.
constexpr u32 kStopOffset = 0, kPrepareOffset = 1, kStartOffset = 2, kUnitOffset = 3;

void BlockCommand(TriggerUnitState& t, u32 offset, u32 word) {
    switch (offset) {
        case kStopOffset: t.running = false; break;
        case kPrepareOffset: ++t.prepares; break;
        case kStartOffset: t.running = true; break;
        case kUnitOffset: t.unit = word; break;
        default: break;
    }
}

}  // namespace

void TriggerCommand(McuFirmwareState& s, u8 code, u32 word) {
    if (code >= kDtfoStop && code <= kDtfoUnit) BlockCommand(s.trigger.dtfo, code - kDtfoStop, word);
    else if (code >= kDtioStop && code <= kDtioUnit) BlockCommand(s.trigger.dtio, code - kDtioStop, word);
}

}  // namespace hx::sim
