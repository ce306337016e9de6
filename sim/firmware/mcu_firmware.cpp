#include "sim/firmware/mcu_firmware.h"

#include <cstring>

#include "sim/firmware/can_controller.h"
#include "sim/firmware/dicos_engine.h"
#include "sim/firmware/dt2_engine.h"

namespace hx::sim {
namespace {

using namespace fw;

constexpr u32 kLead = 0;
constexpr u32 kCode = 1;
constexpr u32 kPayload = 2;
constexpr u32 kChecksum = 6;
constexpr u32 kPayloadBytes = 4;
constexpr u32 kInputMaskShift = 16;
constexpr u32 kLowHalf = 0xFFFF;
constexpr u32 kHighHalf = 0xFFFF0000u;
constexpr u32 kPwmGenerators = 8, kPwmPulses = 8, kAdcChannels = 8, kQeiChannels = 4;

// Power-on readings: a battery at about 12 V, idle ADC inputs at mid scale.
constexpr u32 kBatteryRawAtRest = 1200;
constexpr u32 kAdcRawAtRest = 1861;
constexpr u32 kIgnitionOn = 1;

// Ignition text requests: the four ASCII letters of the payload.
constexpr u8 kTextState[4] = {'I', 'G', 'N', 'S'};
constexpr u8 kTextVoltage[4] = {'V', 'O', 'L', 'T'};

u32 Payload(const u8* f) {
    u32 word = 0;
    for (u32 i = 0; i < kPayloadBytes; ++i) word |= u32{f[kPayload + i]} << (8 * i);
    return word;
}

void Answer(u8 code, u32 word, u8* out) {
    out[kLead] = kLeadRequest;
    out[kCode] = code;
    for (u32 i = 0; i < kPayloadBytes; ++i) out[kPayload + i] = static_cast<u8>(word >> (8 * i));
    out[kChecksum] = FirmwareChecksum(out);
}

// ShortCommand c: 23h, c, 00h, 23h + c, 00h, 00h, 00h (no checksum). DICOS
// C2 and trigger I/O T2/T3 send it for stop, start and prepare; no other code
// comes in this form.
constexpr u8 kShortCommandCodes[] = {kDicosStop, kDicosStart, kDtfoStop,    kDtfoPrepare,
                                     kDtfoStart, kDtioStop,   kDtioPrepare, kDtioStart};

bool IsShortCommand(const u8* f) {
    bool known = false;
    for (u8 code : kShortCommandCodes) known = known || f[kCode] == code;
    return known && f[kLead] == kLeadRequest && f[kPayload] == 0 &&
           f[kPayload + 1] == static_cast<u8>(kLeadRequest + f[kCode]) && f[kPayload + 2] == 0 &&
           f[kPayload + 3] == 0 && f[kChecksum] == 0;
}

// ---- per-feature state changes ------------------------------------------------

// The input query samples the lines its mask names (bit 16 + n for line n)
// and reports each 0 = active; a line not asked for reads inactive. The mask
// comes back in the high half.
u32 InputAnswer(const McuFirmwareState& s, u32 word) {
    const u32 asked = word >> kInputMaskShift;
    return (word & kHighHalf) | (~(u32{s.diActive} & asked) & kLowHalf);
}

u32 Query(McuFirmwareState& s, u8 code, u32 word) {
    switch (code) {
        case kDiRead: return InputAnswer(s, word);
        case kAdcRead: return s.adc.raw[word % kAdcChannels];
        case kQeiDirection: return s.qei.direction[word % kQeiChannels];
        case kQeiVelocity: return s.qei.velocity[word % kQeiChannels];
        case kQeiPosition: return s.qei.position[word % kQeiChannels];
        case kIgnState: return s.ign.state;
        case kIgnBattery: return s.ign.batteryRaw;
        case kVersion: return s.version;
        default: break;
    }
    if (code >= kCanTimingGetFirst && code <= kCanTimingGetLast) return CanQuery(s, code);
    if (code >= kIgnSettingFirst && code <= kIgnSettingLast) return s.ign.settings[code - kIgnSettingFirst];
    return 0;
}

bool InRange(u8 code, u8 first, u8 last) { return code >= first && code <= last; }

void TriggerCommand(TriggerUnitState& t, u8 code, u8 stop, u32 word) {
    switch (code - stop) {
        case 0: t.running = false; break;
        case 1: ++t.prepares; break;
        case 2: t.running = true; break;
        case 3: t.unit = word; break;
        default: break;
    }
}

// The engines with codes of their own; false for any other code.
bool EngineCommand(McuFirmwareState& s, u8 code, u32 word) {
    if (InRange(code, kDicosStop, kDicosSetup2)) {
        DicosCommand(s, code, word);
    } else if (InRange(code, kDt2Stop, kDt2SetupLast) || code == kDt2Result) {
        Dt2Command(s, code, word);
    } else if (InRange(code, kCanStop, kCanSetupLast)) {
        CanCommand(s, code, word);
    } else {
        return false;
    }
    return true;
}

void Command(McuFirmwareState& s, u8 code, u32 word) {
    if (EngineCommand(s, code, word)) return;
    switch (code) {
        case kDoWrite: {
            const u16 mask = static_cast<u16>(word >> kInputMaskShift);
            s.doOn = static_cast<u16>((s.doOn & ~mask) | (word & mask));
            return;
        }
        case kLedSet: s.ledSetting = word; return;
        case kAdcStop: s.adc.stopValue = word; return;
        case kAdcStart: s.adc.startValue = word; return;
        case kQeiStop: s.qei.stopValue = word; return;
        case kQeiStart: s.qei.startValue = word; return;
        case kQeiChannel: s.qei.channel = word; return;
        case kQeiSetPosition: s.qei.position[s.qei.channel % kQeiChannels] = word; return;
        default: break;
    }
    if (InRange(code, kDtfoStop, kDtfoUnit)) TriggerCommand(s.dtfo, code, kDtfoStop, word);
    else if (InRange(code, kDtioStop, kDtioUnit)) TriggerCommand(s.dtio, code, kDtioStop, word);
}

// The kept words of the record that `first` opens; nullptr when `first`
// opens none.
u32* SetupRecord(McuFirmwareState& s, u8 first) {
    switch (first) {
        case kDtfoSetupFirst: return s.dtfo.setup;
        case kDtioSetupFirst: return s.dtio.setup;
        case kQeiSetupFirst: return s.qei.setup;
        default: return nullptr;
    }
}

// A word of an open-ended setup record: the record's first code, or the code
// that follows the last word taken, whatever that code means on its own.
// Any other request ends the record.
bool TakeSetupWord(McuFirmwareState& s, u8 code, u32 word) {
    auto& r = s.setupRecord;
    if (r.first == 0 || code != static_cast<u8>(r.first + r.words)) {
        r = {};
        if (!SetupRecord(s, code)) return false;
        r.first = code;
    }
    if (r.words < kSetupWordsKept) SetupRecord(s, r.first)[r.words] = word;
    ++r.words;
    return true;
}

void Post(McuFirmwareState& s, u8 code, u32 word) {
    auto& p = s.pwm;
    switch (code) {
        case kPwmStop: p.stopMask = word; return;
        case kPwmStart: p.startMask = word; return;
        case kPwmGenerator: p.generator = word; return;
        case kPwmPeriod: p.period[p.generator % kPwmGenerators] = word; return;
        case kPwmPulse: p.pulse = word; return;
        case kPwmWidth: p.width[p.pulse % kPwmPulses] = word; return;
        case kPwmInvert: p.invert = word; return;
        case kPwmSyncTimeBase: ++p.syncTimeBase; return;
        case kPwmSyncUpdate: ++p.syncUpdate; return;
        case kPwmClock: p.clock = word; return;
        default: break;
    }
    if (InRange(code, kPwmSetupFirst, kPwmSetupLast)) p.genSetup[p.generator % kPwmGenerators][code - kPwmSetupFirst] = word;
}

// ---- the command table ----------------------------------------------------------

constexpr bool IsQuery(u8 c) {
    return c == kDiRead || c == kAdcRead || c == kQeiDirection || c == kQeiVelocity || c == kQeiPosition ||
           c == kVersion || (c >= kCanTimingGetFirst && c <= kCanTimingGetLast) ||
           (c >= kIgnState && c <= kIgnSettingLast);
}

constexpr bool IsPost(u8 c) { return c >= kPwmStop && c <= kPwmSetupLast; }

constexpr bool IsCommand(u8 c) {
    return (c >= kDicosStop && c <= kDicosSetup2) || c == kDoWrite || (c >= kDtfoStop && c <= kDtfoUnit) ||
           (c >= kDt2Stop && c <= kDt2SetupLast) || c == kDt2Result || (c >= kDtioStop && c <= kDtioUnit) ||
           c == kLedSet || (c >= kCanStop && c <= kCanTimingSetLast) || (c >= kCanSetupFirst && c <= kCanSetupLast) ||
           c == kAdcStop || c == kAdcStart || (c >= kQeiStop && c <= kQeiChannel) || c == kQeiSetPosition;
}

// The exchange kind of each code, built once from the command map.
struct CommandTable {
    RequestKind kind[256];
    constexpr CommandTable() : kind{} {
        for (u32 c = 0; c < 256; ++c) {
            const u8 code = static_cast<u8>(c);
            kind[c] = IsQuery(code)     ? RequestKind::Query
                      : IsPost(code)    ? RequestKind::Post
                      : IsCommand(code) ? RequestKind::Command
                      : code == kIgnText ? RequestKind::Text
                                         : RequestKind::Unknown;
        }
    }
};
constexpr CommandTable kTable{};

u32 TextAnswer(McuFirmwareState& s, const u8* request, u8* out) {
    if (std::memcmp(request + kPayload, kTextState, sizeof kTextState) == 0) {
        Answer(kIgnText, s.ign.state != 0 ? 1u : 0u, out);
        return kMcuFrameBytes;
    }
    if (std::memcmp(request + kPayload, kTextVoltage, sizeof kTextVoltage) == 0) {
        Answer(kIgnText, s.ign.batteryRaw, out);
        return kMcuFrameBytes;
    }
    return 0;
}

void Log(McuFirmwareState& s, const u8* frame, RequestKind kind) {
    ReceivedFrame& r = s.log[s.framesReceived % kFirmwareLogCapacity];
    std::memcpy(r.bytes, frame, kMcuFrameBytes);
    r.kind = kind;
    ++s.framesReceived;
}

}  // namespace

u8 FirmwareChecksum(const u8* frame) {
    u8 sum = 0;
    for (u32 i = 0; i < kChecksum; ++i) sum = static_cast<u8>(sum + frame[i]);
    return sum;
}

void PowerOnFirmware(McuFirmwareState& s) {
    std::memset(&s, 0, sizeof s);
    s.poweredOn = true;
    s.version = kFirmwareVersion;
    s.ign.state = kIgnitionOn;
    s.ign.batteryRaw = kBatteryRawAtRest;
    for (u32& raw : s.adc.raw) raw = kAdcRawAtRest;
}

u32 FirmwareHandle(McuFirmwareState& s, const u8* request, u8* out) {
    const u8 code = request[kCode];
    if (request[kChecksum] != FirmwareChecksum(request)) {
        s.setupRecord = {};
        if (!IsShortCommand(request)) {
            Log(s, request, RequestKind::BadChecksum);
            return 0;
        }
        Log(s, request, RequestKind::ShortCommand);
        Command(s, code, 0);
        std::memcpy(out, request, kMcuFrameBytes);
        return kMcuFrameBytes;
    }
    const u32 word = Payload(request);
    if (TakeSetupWord(s, code, word)) {
        Log(s, request, RequestKind::Command);
        std::memcpy(out, request, kMcuFrameBytes);
        return kMcuFrameBytes;
    }
    const RequestKind kind = kTable.kind[code];
    Log(s, request, kind);
    switch (kind) {
        case RequestKind::Query: Answer(code, Query(s, code, word), out); return kMcuFrameBytes;
        case RequestKind::Command:
            Command(s, code, word);
            std::memcpy(out, request, kMcuFrameBytes);
            return kMcuFrameBytes;
        case RequestKind::Post: Post(s, code, word); return 0;
        case RequestKind::Text: return TextAnswer(s, request, out);
        default: return 0;
    }
}

void FirmwareReceive(McuFirmwareState& s, const u8* bytes, u32 count, const ByteSink& sink) {
    for (u32 i = 0; i < count; ++i) {
        ++s.bytesReceived;
        if (s.rxHeld == 0 && bytes[i] != kLeadRequest) {
            ++s.noiseBytes;
            continue;
        }
        s.rx[s.rxHeld++] = bytes[i];
        if (s.rxHeld < kMcuFrameBytes) continue;
        s.rxHeld = 0;
        u8 answer[kMcuFrameBytes];
        const u32 n = FirmwareHandle(s, s.rx, answer);
        if (n) sink.emit(sink.context, answer, n);
    }
}

void BuildEventFrame(u8 code, u32 payload, u8* out) {
    Answer(code, payload, out);
    out[kLead] = kLeadEvent;
    out[kChecksum] = FirmwareChecksum(out);
}

// 40h, the value, their sum modulo 256.
void BuildShortDiMessage(u8 value, u8* out) {
    out[0] = kLeadEvent;
    out[1] = value;
    out[2] = static_cast<u8>(kLeadEvent + value);
}

bool FirmwareRaise(McuFirmwareState& s, const u8* bytes, u32 count) {
    OutboxState& o = s.outbox;
    if (count > kOutboxBytes - (o.tail - o.head)) {
        o.dropped += count;
        return false;
    }
    for (u32 i = 0; i < count; ++i) o.bytes[o.tail++ % kOutboxBytes] = bytes[i];
    return true;
}

bool FirmwareRaiseEvent(McuFirmwareState& s, u8 code, u32 payload) {
    u8 frame[kMcuFrameBytes];
    BuildEventFrame(code, payload, frame);
    return FirmwareRaise(s, frame, sizeof frame);
}

u32 FirmwareTakeOutbox(McuFirmwareState& s, u8* out, u32 max) {
    OutboxState& o = s.outbox;
    u32 n = 0;
    while (n < max && o.head != o.tail) out[n++] = o.bytes[o.head++ % kOutboxBytes];
    return n;
}

const ReceivedFrame* ReceivedAt(const McuFirmwareState& s, u32 n) {
    if (n >= s.framesReceived || s.framesReceived - n > kFirmwareLogCapacity) return nullptr;
    return &s.log[n % kFirmwareLogCapacity];
}

}  // namespace hx::sim
