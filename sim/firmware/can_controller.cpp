#include "sim/firmware/can_controller.h"

#include <cstring>

#include "sim/firmware/mcu_firmware.h"

namespace hx::sim {
namespace {

constexpr u32 kFlags = 1, kLength = 3, kData = 4, kId = 12;
constexpr u32 kIdBytes = 4;
constexpr u32 kQueueMask = kCanQueueBytes - 1;
static_assert((kCanQueueBytes & kQueueMask) == 0, "the queue's byte counters wrap");
constexpr u32 kLoadShare = kCanQueueBytes / 2;
constexpr u8 kLoadLength = 8;
constexpr u32 kSequenceBytes = 4;

// Error counters by bus state (the transmit error counter; the receive
// counter stays 0).
struct BusStateRow {
    CanBusState state;
    u32 flags;
    u32 tec;
};
constexpr BusStateRow kBusStates[] = {
    {CanBusState::ErrorActive, 0, 0},
    {CanBusState::ErrorWarning, kCanStatusWarning, 96},
    {CanBusState::ErrorPassive, kCanStatusWarning | kCanStatusPassive, 128},
    {CanBusState::BusOff, kCanStatusWarning | kCanStatusPassive | kCanStatusBusOff, 255},
};

CanWireMessage Parse(const u8* f) {
    CanWireMessage m{};
    m.flags = static_cast<u16>(f[kFlags] | f[kFlags + 1] << 8);
    m.length = f[kLength];
    std::memcpy(m.data, f + kData, sizeof m.data);
    for (u32 i = 0; i < kIdBytes; ++i) m.id |= u32{f[kId + i]} << (8 * i);
    return m;
}

bool OnTheBus(const CanEngineState& e) { return e.running && !e.busOff; }

// Acceptance: the id bits that the mask names equal those of the code.
bool Accepted(const CanEngineState& e, u32 id) {
    return ((id ^ e.setup[kCanSetupAcceptCode]) & e.setup[kCanSetupAcceptMask]) == 0;
}

void ReportOverrun(McuFirmwareState& mcu, CanControllerState& c) {
    if (c.overrunReported) return;
    c.overrunReported = true;
    FirmwareRaiseEvent(mcu, fw::kEventCanStatus, mcu.can.status | kCanStatusOverrun);
}

// A frame on the bus, on its way to the library.
bool Deliver(SerialLinkState& links, const CanWireMessage& m) {
    CanControllerState& c = links.can;
    const CanEngineState& e = links.mcu.can;
    if (!OnTheBus(e)) {
        ++c.missed;
        return false;
    }
    if (!Accepted(e, m.id)) {
        ++c.filtered;
        return false;
    }
    if (!CanQueueFrame(c, m)) {
        ++c.overruns;
        ReportOverrun(links.mcu, c);
        return false;
    }
    return true;
}

void Answer(SerialLinkState& links, const CanWireMessage& m) {
    for (CanPeer& p : links.can.peers) {
        if (!p.used || p.trigger != m.id) continue;
        ++p.answers;
        Deliver(links, p.reply);
    }
}

// A complete frame from the library.
void TakeFromLibrary(SerialLinkState& links, const CanWireMessage& m) {
    CanControllerState& c = links.can;
    const CanEngineState& e = links.mcu.can;
    c.log[c.framesReceived % kCanLogCapacity] = m;
    ++c.framesReceived;
    if (!OnTheBus(e)) {
        ++c.notSent;
        return;
    }
    const u32 mode = e.setup[kCanSetupMode];
    if (mode & kCanModeLoopback) Deliver(links, m);
    if (mode & kCanModeListenOnly) {
        ++c.notSent;
        return;
    }
    c.busLog[c.onBus % kCanLogCapacity] = m;
    ++c.onBus;
    Answer(links, m);
}

void Start(McuFirmwareState& s) {
    CanEngineState& e = s.can;
    e.running = true;
    e.busOff = false;
    ++e.starts;
    // A start clears the error counters; a node that was in an error state
    // says it is back.
    if (e.status != 0) CanSetBusState(s, CanBusState::ErrorActive);
}

}  // namespace

u32 CanWireFramesPerSecond(u32 baud) { return baud / (kCanBitsPerCharacter * kCanFrameBytes); }

void CanCommand(McuFirmwareState& s, u8 code, u32 word) {
    switch (code) {
        case fw::kCanStop:
            s.can.running = false;
            ++s.can.stops;
            return;
        case fw::kCanStart: Start(s); return;
        default: break;
    }
    if (code >= fw::kCanTimingSetFirst && code <= fw::kCanTimingSetLast) {
        s.can.bitTiming[code - fw::kCanTimingSetFirst] = word;
    } else if (code >= fw::kCanSetupFirst && code <= fw::kCanSetupLast) {
        s.can.setup[code - fw::kCanSetupFirst] = word;
    }
}

u32 CanQuery(const McuFirmwareState& s, u8 code) {
    if (code < fw::kCanTimingGetFirst || code > fw::kCanTimingGetLast) return 0;
    const u32 index = code - fw::kCanTimingGetFirst;
    constexpr u32 kDefaults[kCanTimingWords] = {kCanDefaultBitRate, kCanDefaultSamplePoint};
    return s.can.bitTiming[index] ? s.can.bitTiming[index] : kDefaults[index];
}

bool CanSetBusState(McuFirmwareState& s, CanBusState busState) {
    for (const BusStateRow& row : kBusStates) {
        if (row.state != busState) continue;
        s.can.status = row.flags | row.tec << kCanStatusTecShift;
        s.can.busOff = busState == CanBusState::BusOff;
        return FirmwareRaiseEvent(s, fw::kEventCanStatus, s.can.status);
    }
    return false;
}

void CanControllerReceive(SerialLinkState& links, const u8* bytes, u32 count) {
    CanControllerState& s = links.can;
    for (u32 i = 0; i < count; ++i) {
        if (s.rxHeld == 0 && bytes[i] != kCanLead) {
            ++s.noiseBytes;
            continue;
        }
        s.rx[s.rxHeld++] = bytes[i];
        if (s.rxHeld < kCanFrameBytes) continue;
        s.rxHeld = 0;
        TakeFromLibrary(links, Parse(s.rx));
    }
}

void BuildCanWireFrame(const CanWireMessage& m, u8* out) {
    out[0] = kCanLead;
    out[kFlags] = static_cast<u8>(m.flags);
    out[kFlags + 1] = static_cast<u8>(m.flags >> 8);
    out[kLength] = m.length;
    std::memcpy(out + kData, m.data, sizeof m.data);
    for (u32 i = 0; i < kIdBytes; ++i) out[kId + i] = static_cast<u8>(m.id >> (8 * i));
}

const CanWireMessage* CanReceivedAt(const CanControllerState& s, u32 n) {
    if (n >= s.framesReceived || s.framesReceived - n > kCanLogCapacity) return nullptr;
    return &s.log[n % kCanLogCapacity];
}

const CanWireMessage* CanBusFrameAt(const CanControllerState& s, u32 n) {
    if (n >= s.onBus || s.onBus - n > kCanLogCapacity) return nullptr;
    return &s.busLog[n % kCanLogCapacity];
}

bool CanBusTransmit(SerialLinkState& links, const CanWireMessage& message) { return Deliver(links, message); }

bool CanAddPeer(CanControllerState& s, u32 trigger, const CanWireMessage& reply) {
    for (CanPeer& p : s.peers) {
        if (p.used) continue;
        p = {true, trigger, reply, 0};
        return true;
    }
    return false;
}

void CanClearPeers(CanControllerState& s) {
    for (CanPeer& p : s.peers) p = {};
}

void CanSetLoad(CanControllerState& s, u32 rate, u32 burst, u32 id) {
    CanLoadState& l = s.load;
    l = {rate, rate ? 0 : burst, id, 0, 0, l.epoch + 1};
}

bool CanLoadActive(const SerialLinkState& links) {
    const CanLoadState& l = links.can.load;
    return (l.rate || l.burstLeft) && OnTheBus(links.mcu.can);
}

CanWireMessage CanLoadFrame(u32 id, u32 sequence) {
    CanWireMessage m{id, 0, kLoadLength, {}};
    for (u32 i = 0; i < kSequenceBytes; ++i) {
        m.data[i] = static_cast<u8>(sequence >> (8 * i));
        m.data[kSequenceBytes + i] = static_cast<u8>(~sequence >> (8 * i));
    }
    return m;
}

u32 CanLoadFrames(SerialLinkState& links, u32 wanted) {
    CanLoadState& l = links.can.load;
    u32 n = 0;
    while (n < wanted && CanLoadActive(links) && CanQueuedBytes(links.can) < kLoadShare) {
        Deliver(links, CanLoadFrame(l.id, l.sequence));
        ++l.sequence;
        ++l.sent;
        if (l.burstLeft) --l.burstLeft;
        ++n;
    }
    return n;
}

bool CanQueueFrame(CanControllerState& s, const CanWireMessage& message) {
    if (kCanQueueBytes - CanQueuedBytes(s) < kCanFrameBytes) return false;
    u8 frame[kCanFrameBytes];
    BuildCanWireFrame(message, frame);
    for (u8 b : frame) s.queue[s.queueTail++ & kQueueMask] = b;
    ++s.delivered;
    return true;
}

u32 CanQueuedBytes(const CanControllerState& s) { return s.queueTail - s.queueHead; }

const u8* CanQueueSpan(const CanControllerState& s, u32* count) {
    const u32 at = s.queueHead & kQueueMask;
    const u32 queued = CanQueuedBytes(s);
    *count = queued < kCanQueueBytes - at ? queued : kCanQueueBytes - at;
    return s.queue + at;
}

void CanQueueTaken(CanControllerState& s, u32 count) {
    s.queueHead += count;
    if (CanQueuedBytes(s) == 0) s.overrunReported = false;
}

}  // namespace hx::sim
