#include "sim/firmware/can_controller.h"

#include <cstring>

#include "sim/firmware/mcu_firmware.h"

namespace hx::sim {
namespace {

constexpr u32 kFlags = 1, kLength = 3, kData = 4, kId = 12;

CanWireMessage Parse(const u8* f) {
    CanWireMessage m{};
    m.flags = static_cast<u16>(f[kFlags] | f[kFlags + 1] << 8);
    m.length = f[kLength];
    std::memcpy(m.data, f + kData, sizeof m.data);
    m.id = u32{f[kId]} | u32{f[kId + 1]} << 8 | u32{f[kId + 2]} << 16 | u32{f[kId + 3]} << 24;
    return m;
}

}  // namespace

void CanCommand(McuFirmwareState& s, u8 code, u32 word) {
    switch (code) {
        case fw::kCanStop: s.can.running = false; ++s.can.stops; return;
        case fw::kCanStart: s.can.running = true; return;
        default: break;
    }
    if (code >= fw::kCanTimingSetFirst && code <= fw::kCanTimingSetLast) {
        s.can.bitTiming[code - fw::kCanTimingSetFirst] = word;
    } else if (code >= fw::kCanSetupFirst && code <= fw::kCanSetupLast) {
        s.can.setup[code - fw::kCanSetupFirst] = word;
    }
}

u32 CanQuery(const McuFirmwareState& s, u8 code) {
    if (code >= fw::kCanTimingGetFirst && code <= fw::kCanTimingGetLast) return s.can.bitTiming[code - fw::kCanTimingGetFirst];
    return 0;
}

void CanControllerReceive(CanControllerState& s, const u8* bytes, u32 count) {
    for (u32 i = 0; i < count; ++i) {
        if (s.rxHeld == 0 && bytes[i] != kCanLead) {
            ++s.noiseBytes;
            continue;
        }
        s.rx[s.rxHeld++] = bytes[i];
        if (s.rxHeld < kCanFrameBytes) continue;
        s.rxHeld = 0;
        s.log[s.framesReceived % kCanLogCapacity] = Parse(s.rx);
        ++s.framesReceived;
    }
}

void BuildCanWireFrame(const CanWireMessage& m, u8* out) {
    out[0] = kCanLead;
    out[kFlags] = static_cast<u8>(m.flags);
    out[kFlags + 1] = static_cast<u8>(m.flags >> 8);
    out[kLength] = m.length;
    std::memcpy(out + kData, m.data, sizeof m.data);
    for (u32 i = 0; i < 4; ++i) out[kId + i] = static_cast<u8>(m.id >> (8 * i));
}

const CanWireMessage* CanReceivedAt(const CanControllerState& s, u32 n) {
    if (n >= s.framesReceived || s.framesReceived - n > kCanLogCapacity) return nullptr;
    return &s.log[n % kCanLogCapacity];
}

}  // namespace hx::sim
