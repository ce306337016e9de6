#include "sim/firmware/dt2_engine.h"

#include <cstring>

#include "sim/firmware/mcu_firmware.h"

namespace hx::sim {
namespace {

// Setup words.
constexpr u32 kControl = 0;
constexpr u32 kLimitWord = 1;
constexpr u32 kFirstSource = 2;
constexpr u32 kSecondSource = 3;

// Control word: the first index of a run, reports per source, source kind.
constexpr u32 kStartIndexMask = 0xFF;
constexpr u32 kReportFirst = 1u << 10;
constexpr u32 kReportSecond = 1u << 11;
constexpr u32 kKindShift = 24;
constexpr u32 kKindNoLines = 0;  // word 3 is a parameter, not a line mask
// Limit word: how many events may wait for their result at once (0: any).
constexpr u32 kLimitMask = 0xFF;

// Event payload: index, line, sources, missed reports.
constexpr u32 kLineShift = 8;
constexpr u32 kFromFirst = 1u << 16;
constexpr u32 kFromSecond = 1u << 17;
constexpr u32 kMissedShift = 24;
constexpr u32 kMissedMax = 0xFF;

// Result payload: byte 0 the index, byte 1 the result.
constexpr u32 kResultShift = 8;

constexpr u32 kLines = 32;

bool TestBit(const u32* set, u8 n) { return (set[n / 32] >> (n % 32)) & 1u; }
void SetBit(u32* set, u8 n) { set[n / 32] |= 1u << (n % 32); }
void ClearBit(u32* set, u8 n) { set[n / 32] &= ~(1u << (n % 32)); }

void StartRun(Dt2EngineState& e) {
    e.running = true;
    e.nextIndex = static_cast<u8>(e.setup[kControl] & kStartIndexMask);
    std::memset(e.waiting, 0, sizeof e.waiting);
    e.waitingCount = 0;
    e.heldHead = e.heldCount = 0;
    e.missedSinceReport = 0;
}

bool LimitReached(const Dt2EngineState& e) {
    const u32 limit = e.setup[kLimitWord] & kLimitMask;
    return limit != 0 && e.waitingCount >= limit;
}

void Miss(Dt2EngineState& e) {
    ++e.missed;
    ++e.missedSinceReport;
}

// Sends the indexed event of `report` (line | sources) under the next index.
bool Raise(McuFirmwareState& s, u32 report) {
    Dt2EngineState& e = s.dt2;
    const u32 missed = e.missedSinceReport < kMissedMax ? e.missedSinceReport : kMissedMax;
    if (!FirmwareRaiseEvent(s, fw::kEventDt2Indexed, u32{e.nextIndex} | report | missed << kMissedShift)) {
        Miss(e);
        return false;
    }
    if (!TestBit(e.waiting, e.nextIndex)) ++e.waitingCount;  // an index reused before its result
    SetBit(e.waiting, e.nextIndex);
    ClearBit(e.answeredSet, e.nextIndex);
    ++e.nextIndex;
    ++e.raised;
    e.missedSinceReport = 0;
    return true;
}

// A report goes out now, or is held while the limit is reached; a full
// hold drops it.
bool Report(McuFirmwareState& s, u32 report) {
    Dt2EngineState& e = s.dt2;
    if (!LimitReached(e)) return Raise(s, report);
    if (e.heldCount == kDt2Held) {
        Miss(e);
    } else {
        e.held[(e.heldHead + e.heldCount++) % kDt2Held] = report;
    }
    return false;
}

// Held reports go out as far as the limit lets them.
void SendHeld(McuFirmwareState& s) {
    Dt2EngineState& e = s.dt2;
    while (e.running && e.heldCount && !LimitReached(e)) {
        const u32 report = e.held[e.heldHead];
        e.heldHead = (e.heldHead + 1) % kDt2Held;
        --e.heldCount;
        Raise(s, report);
    }
}

void TakeResult(McuFirmwareState& s, u32 word) {
    Dt2EngineState& e = s.dt2;
    const u8 index = static_cast<u8>(word);
    const u8 result = static_cast<u8>(word >> kResultShift);
    ++e.results;
    e.lastIndex = index;
    e.lastResult = result;
    e.resultOf[index] = result;
    SetBit(e.answeredSet, index);
    if (!TestBit(e.waiting, index)) return;
    ClearBit(e.waiting, index);
    --e.waitingCount;
    ++e.answered;
    SendHeld(s);
}

// The sources of line `n` that report it (kFromFirst, kFromSecond), and
// whether any source names it.
u32 ReportingSources(const Dt2EngineState& e, u32 n, bool* named) {
    const u32 control = e.setup[kControl];
    const u32 bit = 1u << n;
    const bool linesSet = (control >> kKindShift) != kKindNoLines;
    const bool inFirst = linesSet && (e.setup[kFirstSource] & bit);
    const bool inSecond = linesSet && (e.setup[kSecondSource] & bit);
    *named = inFirst || inSecond;
    return (inFirst && (control & kReportFirst) ? kFromFirst : 0) | (inSecond && (control & kReportSecond) ? kFromSecond : 0);
}

}  // namespace

void Dt2Command(McuFirmwareState& s, u8 code, u32 word) {
    Dt2EngineState& e = s.dt2;
    switch (code) {
        case fw::kDt2Stop: e.running = false; return;
        case fw::kDt2Start: StartRun(e); return;
        case fw::kDt2Unit: e.unit = word; return;
        case fw::kDt2Result: TakeResult(s, word); return;
        default: break;
    }
    if (code >= fw::kDt2SetupFirst && code <= fw::kDt2SetupLast) e.setup[code - fw::kDt2SetupFirst] = word;
}

u32 Dt2Fire(McuFirmwareState& s, u32 lines) {
    Dt2EngineState& e = s.dt2;
    u32 raised = 0;
    for (u32 n = 0; n < kLines && e.running; ++n) {
        if (!(lines >> n & 1u)) continue;
        bool named = false;
        const u32 sources = ReportingSources(e, n, &named);
        if (named) ++e.triggers;
        if (sources && Report(s, n << kLineShift | sources)) ++raised;
    }
    return raised;
}

bool Dt2ResultOf(const Dt2EngineState& e, u8 index, u8* result) {
    if (!TestBit(e.answeredSet, index)) return false;
    *result = e.resultOf[index];
    return true;
}

}  // namespace hx::sim
