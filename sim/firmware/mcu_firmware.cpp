#include "sim/firmware/mcu_firmware.h"

#include <cstring>

#include "sim/firmware/adc_engine.h"
#include "sim/firmware/can_controller.h"
#include "sim/firmware/dicos_engine.h"
#include "sim/firmware/dt2_engine.h"
#include "sim/firmware/ignition_engine.h"
#include "sim/firmware/led_engine.h"
#include "sim/firmware/pwm_engine.h"
#include "sim/firmware/qei_engine.h"
#include "sim/firmware/trigger_engine.h"

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

u32 Payload(const u8* f) {
    u32 word = 0;
    for (u32 i = 0; i < kPayloadBytes; ++i) word |= u32{f[kPayload + i]} << (8 * i);
    return word;
}

bool InRange(u8 code, u8 first, u8 last) { return code >= first && code <= last; }

bool IsTriggerCode(u8 c) { return InRange(c, kDtfoStop, kDtfoUnit) || InRange(c, kDtioStop, kDtioUnit); }

// Start, stop and prepare of the trigger blocks: the codes the older
// dialect sends as short commands.
bool IsTriggerControl(u8 c) { return IsTriggerCode(c) && c != kDtfoUnit && c != kDtioUnit; }
bool IsTriggerPrepare(u8 c) { return c == kDtfoPrepare || c == kDtioPrepare; }

bool ShortTriggerDialect(const McuFunctionSet& f) {
    return f.trigger == TriggerDialect::Short || f.trigger == TriggerDialect::ShortHeld;
}

// ShortCommand c: 23h, c, 00h, 23h + c, 00h, 00h, 00h (no checksum). DICOS
// C2 sends it for stop and start on every board; the older trigger dialect
// for the blocks' stop, start and prepare. No other code comes in this form.
bool TakesShortCommand(const McuFunctionSet& f, u8 code) {
    if (code == kDicosStop || code == kDicosStart) return true;
    return ShortTriggerDialect(f) && IsTriggerControl(code);
}

bool IsShortCommand(const McuFunctionSet& functions, const u8* f) {
    return TakesShortCommand(functions, f[kCode]) && f[kLead] == kLeadRequest && f[kPayload] == 0 &&
           f[kPayload + 1] == static_cast<u8>(kLeadRequest + f[kCode]) && f[kPayload + 2] == 0 &&
           f[kPayload + 3] == 0 && f[kChecksum] == 0;
}

// Whether the board's firmware has the function a full frame of `code`
// belongs to. The DI, DICOS, DT2 and CAN codes are known on every board.
bool Carries(const McuFunctionSet& f, u8 code) {
    if (InRange(code, kIgnState, kIgnSettingLast)) {
        return f.ignition == IgnitionSense::Queries33V || f.ignition == IgnitionSense::Queries12Bit;
    }
    if (code == kIgnText) return f.ignition == IgnitionSense::Text10Bit;
    if (IsTriggerCode(code)) {
        if (f.trigger == TriggerDialect::None) return false;
        // The older dialect takes start, stop and prepare only as short
        // commands; the framed one has no prepare.
        return ShortTriggerDialect(f) ? !IsTriggerControl(code) : !IsTriggerPrepare(code);
    }
    if (InRange(code, kPwmStop, kPwmSetupLast)) return f.pwmOutputs != 0;
    if (InRange(code, kAdcStop, kAdcRead)) return f.adcChannels != 0;
    if (InRange(code, kQeiStop, kQeiSetPosition) || code == kQeiSetupFirst) return f.qeiChannels != 0;
    if (code == kLedSet) return f.led != LedDriver::None;
    return true;
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
    if (code == kDiRead) return InputAnswer(s, word);
    // Every firmware answers the version query (the DIO drivers probe with
    // it); one without version reporting answers 0.
    if (code == kVersion) return s.functions.versionQuery ? s.version : 0;
    if (code == kAdcRead) return AdcQuery(s, word);
    if (InRange(code, kQeiDirection, kQeiPosition)) return QeiQuery(s, code, word);
    if (InRange(code, kCanTimingGetFirst, kCanTimingGetLast)) return CanQuery(s, code);
    if (InRange(code, kIgnState, kIgnSettingLast)) return IgnitionQuery(s, code, word);
    return 0;
}

// The engines with codes of their own; false for any other code.
bool EngineCommand(McuFirmwareState& s, u8 code, u32 word) {
    if (InRange(code, kDicosStop, kDicosSetup2)) {
        DicosCommand(s, code, word);
    } else if (InRange(code, kDt2Stop, kDt2SetupLast) || code == kDt2Result) {
        Dt2Command(s, code, word);
    } else if (InRange(code, kCanStop, kCanSetupLast)) {
        CanCommand(s, code, word);
    } else if (IsTriggerCode(code)) {
        TriggerCommand(s, code, word);
    } else if (InRange(code, kQeiStop, kQeiSetPosition)) {
        QeiCommand(s, code, word);
    } else if (InRange(code, kAdcStop, kAdcStart)) {
        AdcCommand(s, code, word);
    } else if (code == kLedSet) {
        LedCommand(s, word);
    } else {
        return false;
    }
    return true;
}

void Command(McuFirmwareState& s, u8 code, u32 word) {
    if (EngineCommand(s, code, word)) return;
    if (code == kDoWrite) {
        const u16 mask = static_cast<u16>(word >> kInputMaskShift);
        s.doOn = static_cast<u16>((s.doOn & ~mask) | (word & mask));
    }
}

// The kept words of the record that `first` opens; nullptr when `first`
// opens none on this board.
u32* SetupRecord(McuFirmwareState& s, u8 first) {
    if (!Carries(s.functions, first)) return nullptr;
    switch (first) {
        case kDtfoSetupFirst: return s.trigger.dtfo.setup;
        case kDtioSetupFirst: return s.trigger.dtio.setup;
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

void BuildAnswerFrame(u8 code, u32 word, u8* out) {
    out[kLead] = kLeadRequest;
    out[kCode] = code;
    for (u32 i = 0; i < kPayloadBytes; ++i) out[kPayload + i] = static_cast<u8>(word >> (8 * i));
    out[kChecksum] = FirmwareChecksum(out);
}

void PowerOnFirmware(McuFirmwareState& s) {
    const McuFunctionSet functions = s.functions;
    const McuWorldState world = s.world;
    const u32 restarts = s.restarts;
    std::memset(&s, 0, sizeof s);
    s.functions = functions;
    s.world = world;
    s.restarts = restarts;
    s.poweredOn = true;
    s.version = kFirmwareVersion;
}

void RestartFirmware(McuFirmwareState& s) {
    PowerOnFirmware(s);
    ++s.restarts;
}

u32 FirmwareHandle(McuFirmwareState& s, const u8* request, u8* out) {
    const u8 code = request[kCode];
    if (request[kChecksum] != FirmwareChecksum(request)) {
        s.setupRecord = {};
        if (!IsShortCommand(s.functions, request)) {
            Log(s, request, RequestKind::BadChecksum);
            return 0;
        }
        Log(s, request, RequestKind::ShortCommand);
        if (!TriggerTakes(s, code, 0)) return 0;
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
    const RequestKind kind = Carries(s.functions, code) ? kTable.kind[code] : RequestKind::Unknown;
    Log(s, request, kind);
    switch (kind) {
        case RequestKind::Query: BuildAnswerFrame(code, Query(s, code, word), out); return kMcuFrameBytes;
        case RequestKind::Command:
            if (!TriggerTakes(s, code, word)) return 0;
            Command(s, code, word);
            std::memcpy(out, request, kMcuFrameBytes);
            return kMcuFrameBytes;
        case RequestKind::Post: PwmPost(s, code, word); return 0;
        case RequestKind::Text: return IgnitionText(s, request, out);
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
    BuildAnswerFrame(code, payload, out);
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
