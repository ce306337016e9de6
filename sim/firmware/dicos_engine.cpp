#include "sim/firmware/dicos_engine.h"

#include "sim/firmware/mcu_firmware.h"

namespace hx::sim {
namespace {

// The compact setup word (boards with 8-bit frames or 3-byte messages):
// byte 0 the layout tag, then one byte each of watched lines, edge mode and
// edge level.
constexpr u32 kCompactTag = 0x03;
constexpr u32 kTagByte = 0, kLinesByte = 1, kModeByte = 2, kLevelByte = 3;
// The wide setup (boards with 16-bit frames): watched lines in the low half
// and edge mode in the high half of the first word, edge level in the low
// half of the second.
constexpr u32 kHalfShift = 16;
constexpr u32 kLowHalf = 0xFFFF;
constexpr u32 kLowByte = 0xFF;
// The 8-bit event frame: input state in payload byte 0, changed lines in byte 1.
constexpr u32 kChangedByteShift = 8;

u32 Byte(u32 word, u32 index) { return (word >> (8 * index)) & kLowByte; }

// Edge level bits name the level a line goes to on the edge that counts:
// 0 low (current flowing: active), 1 high (inactive).
u16 ToActive(u32 levels, u32 lineMask) { return static_cast<u16>(~levels & lineMask); }

DicosWatch DecodeWide(const DicosEngineState& e) {
    return {static_cast<u16>(e.setup[0] & kLowHalf), static_cast<u16>(e.setup[0] >> kHalfShift),
            ToActive(e.setup[1], kLowHalf)};
}

// A compact word without its tag leaves nothing watched.
DicosWatch DecodeCompact(const DicosEngineState& e) {
    const u32 w = e.setup[0];
    if (Byte(w, kTagByte) != kCompactTag) return {};
    return {static_cast<u16>(Byte(w, kLinesByte)), static_cast<u16>(Byte(w, kModeByte)),
            ToActive(Byte(w, kLevelByte), kLowByte)};
}

bool Raise(McuFirmwareState& s, DiEventForm form, u32 after, u16 counted) {
    switch (form) {
        case DiEventForm::Frame8:
            return FirmwareRaiseEvent(s, fw::kEventDiChange, (after & kLowByte) | (counted & kLowByte) << kChangedByteShift);
        case DiEventForm::Frame16:
            return FirmwareRaiseEvent(s, fw::kEventDiChange, (~after & kLowHalf) | u32{counted} << kHalfShift);
        case DiEventForm::Message3: {
            u8 message[kShortDiMessageBytes];
            BuildShortDiMessage(static_cast<u8>(counted & kLowByte), message);
            return FirmwareRaise(s, message, sizeof message);
        }
        case DiEventForm::None: break;
    }
    return false;
}

}  // namespace

void DicosCommand(McuFirmwareState& s, u8 code, u32 word) {
    switch (code) {
        case fw::kDicosStop: s.dicos.running = false; return;
        case fw::kDicosStart: s.dicos.running = true; return;
        case fw::kDicosSetup: s.dicos.setup[0] = word; return;
        case fw::kDicosSetup2: s.dicos.setup[1] = word; return;
        default: return;
    }
}

DicosWatch DecodeDicosSetup(const DicosEngineState& engine, DiEventForm form) {
    switch (form) {
        case DiEventForm::Frame16: return DecodeWide(engine);
        case DiEventForm::Frame8:
        case DiEventForm::Message3: return DecodeCompact(engine);
        case DiEventForm::None: break;
    }
    return {};
}

bool DicosInputsChanged(McuFirmwareState& s, DiEventForm form, u32 before, u32 after) {
    if (!s.dicos.running) return false;
    const DicosWatch w = DecodeDicosSetup(s.dicos, form);
    // A one-edge line whose new state is not the one its edge goes to does not count.
    const u32 otherEdge = w.oneEdge & (after ^ w.toActive);
    const u16 counted = static_cast<u16>((before ^ after) & w.lines & ~otherEdge);
    if (counted == 0 || !Raise(s, form, after, counted)) return false;
    ++s.dicos.events;
    return true;
}

}  // namespace hx::sim
