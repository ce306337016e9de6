// Hostile arguments for all 77 exports on each of the 29 virtual boards:
// null pointers, sizes 0, 1, one below the record's minimum and huge, indexes
// across 0..FFFFFFFFh, callbacks swapped while events flow. One table of
// argument classes per argument type, one table of the exports' signatures in
// those classes; the walk varies one argument at a time over its classes.
// Every call must return what its family states (the default, the refusal or
// the documented value) and a refused call must leave the board alone: no
// register write, no MCU frame, no CAN frame, outputs and the caller's record
// unchanged. Run under ASan+UBSan by the asan preset.
//
// Long form (every index 0..257 plus the 32-bit boundaries, all models in one
// process, figures in $HX_REPORT_DIR/R1.json):
//   HX_SWEEP_LONG=1 HX_REPORT_DIR=bench/results build/asan/tests/unit/hx_unit_tests --gtest_filter='*HostileSweep*'
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "halvex32.h"
#include "halvex32_service.h"
#include "sim/dio_field.h"
#include "sim/poe_board.h"
#include "tests/unit/mcu_fixture.h"

namespace hx::test {
namespace {

using service::Group;

// ---- argument classes ----------------------------------------------------------

// Index class: lines, ports, channels, cards, units, values (u8/u16 arguments
// see the low bits, as the C ABI passes them).
std::vector<u32> Indexes() {
    std::vector<u32> v{0, 1, 2, 3, 4, 8, 9, 16, 17, 128, 255, 256, 0x10001, 0x80000000, 0xFFFFFFFF};
    if (std::getenv("HX_SWEEP_LONG")) {
        for (u32 i = 5; i < 258; ++i) v.push_back(i);
        v.insert(v.end(), {0xFFFF, 0x10000, 0x7FFFFFFF, 0xFFFFFFFE});
    }
    return v;
}

// An argument the export accepts and ignores (the CAN port): its ends only.
const std::vector<u32> kIgnored{0, 1, 0xFFFFFFFF}, kNone;

// Record classes: the bytes a record needs at least, and the most the library
// may touch whatever the size (0: as far as the size says; the caller's record
// is then `nominal` bytes and a larger size is the caller's error).
enum class Rec : u8 { None, Dicos, CanSetup, CanMsg, Timing, PwmGen, QeiSetup, Trigger, Ign, Dt2, U32Out, F64Out };
struct Record {
    u32 min, cap, nominal;
    bool exact;  // the size must be exactly `min`
};
constexpr Record kRecords[] = {
    {0, 0, 0, false},    {6, 6, 6, false},    {0, 16, 16, false}, {16, 16, 16, false},
    {0, 0, 8, false},    {12, 12, 12, false}, {0, 0, 8, false},   {0, 0, 12, false},
    {24, 24, 24, false}, {32, 32, 32, true},  {4, 4, 4, false},   {8, 8, 8, false},
};
// Size class: 0, 1, odd, one below the minimum, the minimum, one above, huge.
std::vector<u32> Sizes(const Record& r) {
    std::vector<u32> v{0, 1, 3, 5, r.min + 1, 0x7FFFFFFF, 0xFFFFFFFF};
    if (r.min > 0) v.insert(v.end(), {r.min - 1, r.min});
    return v;
}
// Pointer class: null, the caller's record filled (A5h bytes), or all zero.
constexpr int kPointers[] = {0, 0xA5, 0};


// Callback class: none, one recording callback, another. Each records the
// last value it was called with, per event kind.
enum Kind { kDi, kCanRx, kCanStatus, kPwmStatus, kDt2Event, kKinds };
std::atomic<u32> g_last[2][kKinds];
template <int C>
struct Cb {
    static void HX_CALLBACK Dicos(DiEventRecord* r) { g_last[C][kDi] = r->eventValue; }
    static void HX_CALLBACK CanRx(CanMessage* m, u32) { g_last[C][kCanRx] = m->id; }
    static void HX_CALLBACK CanStatus(u32 status) { g_last[C][kCanStatus] = status; }
    static void HX_CALLBACK Pwm(u32, u32 status) { g_last[C][kPwmStatus] = status; }
    static void HX_CALLBACK Dt2(u32 event) { g_last[C][kDt2Event] = event; }
};
// The callback of class `c`: none, the first or the second recording one.
template <typename Fn>
Fn Callback(u32 c, Fn first, Fn second) {
    return c == 0 ? nullptr : c == 1 ? first : second;
}
constexpr u32 kCallbackClasses = 3;

// ---- the exports in those classes ----------------------------------------------

struct Args {
    u32 a, b;   // value arguments
    void* p;    // record pointer
    u32 size;
    u32 cb;     // callback class
    u8 fill = 0xA5;  // the record's bytes
};
using Call = u64 (*)(const Args&);

enum class Want : u8 { Any, One, Refused };  // Refused: 0, and the board sees nothing

// Which values the family accepts beyond the generic rules (feature absent:
// default; null record, size below the minimum: refused); an accepted call
// returns the row's Want.
enum class Rule : u8 {
    All,       // every value
    None,      // no value (no service to install on this back-end)
    DiLine,    // a: an (active) input line
    DoLine,    // a: an output line (a line beyond them is ignored)
    PoePort,   // a: port 1..ports
    Card,      // a, b: card 0..7, port 1..4
    RegIndex,  // a: index 0
    WdtUnit,   // b: unit 0 or 1
    LedMode,   // a, b: a mode (and L3 value) in range
    TrigUnit,  // a, b: T2/T3 refuse unit x 25 + adjust above FFFFh
    LineMask,  // C1 and C3 refuse a record whose lineMask is empty
};

constexpr int kOwn = -1, kCard = -2;  // groups: own body, expansion card
struct Export {
    const char* name;
    int group;
    u8 a, b;    // value arguments a and b: 0 none, 1 index class, 2 ignored by the export
    Rec rec;
    bool cb;    // has a callback argument
    Rule rule;
    Want want;   // of an accepted call
    u32 na, nb;  // valid values of a and b
    Call call;
};

#define X(expr) []([[maybe_unused]] const Args& x) -> u64 { return (expr); }
#define V(expr) []([[maybe_unused]] const Args& x) -> u64 { return (expr), 0; }
const Export kExports[] = {
    {"DIReadLine", Group::kDio, 1, 0, Rec::None, 0, Rule::DiLine, Want::One, 0, 0, X(DIReadLine(x.a))},
    {"DIReadPort", Group::kDio, 0, 0, Rec::None, 0, Rule::All, Want::Any, 0, 0, X(DIReadPort())},
    {"DOWriteLine", Group::kDio, 1, 1, Rec::None, 0, Rule::DoLine, Want::Any, 0, 1, V(DOWriteLine(x.a, x.b))},
    {"DOWritePort", Group::kDio, 1, 0, Rec::None, 0, Rule::All, Want::Any, 0, 0, V(DOWritePort(x.a))},
    {"InitDIO", Group::kDio, 0, 0, Rec::None, 0, Rule::All, Want::Any, 0, 0, X(InitDIO())},
    {"InitWDT", Group::kWdt, 0, 0, Rec::None, 0, Rule::All, Want::Any, 0, 0, X(InitWDT())},
    {"RegisterWinIOService", kOwn, 0, 0, Rec::None, 0, Rule::None, Want::Any, 0, 0, X(RegisterWinIOService())},
    {"ResetWDT", Group::kWdt, 0, 0, Rec::None, 0, Rule::All, Want::One, 0, 0, X(ResetWDT())},
    {"SetWDT", Group::kWdt, 1, 1, Rec::None, 0, Rule::WdtUnit, Want::One, 255, 1, X(SetWDT(x.a, x.b))},
    {"StartWDT", Group::kWdt, 0, 0, Rec::None, 0, Rule::All, Want::Any, 0, 0, X(StartWDT())},
    {"StopWDT", Group::kWdt, 0, 0, Rec::None, 0, Rule::All, Want::Any, 0, 0, X(StopWDT())},
    {"SetupDICOS", Group::kDicos, 0, 0, Rec::Dicos, 0, Rule::LineMask, Want::Any, 0, 0, X(SetupDICOS(static_cast<DicosSetup*>(x.p), x.size))},
    {"StartDICOS", Group::kDicos, 0, 0, Rec::None, 0, Rule::All, Want::Any, 0, 0, X(StartDICOS())},
    {"StopDICOS", Group::kDicos, 0, 0, Rec::None, 0, Rule::All, Want::Any, 0, 0, X(StopDICOS())},
    {"RegisterCallbackDICOS", kOwn, 0, 0, Rec::None, 1, Rule::All, Want::One, 0, 0, X(RegisterCallbackDICOS(Callback(x.cb, Cb<0>::Dicos, Cb<1>::Dicos)))},
    {"GetStatusPoEPort", Group::kPoe, 1, 0, Rec::None, 0, Rule::PoePort, Want::Any, 1, 0, X(GetStatusPoEPort(x.a))},
    {"EnablePoEPort", Group::kPoe, 1, 0, Rec::None, 0, Rule::PoePort, Want::One, 1, 0, X(EnablePoEPort(x.a))},
    {"DisablePoEPort", Group::kPoe, 1, 0, Rec::None, 0, Rule::PoePort, Want::One, 1, 0, X(DisablePoEPort(x.a))},
    {"SetupDTIO", Group::kTrigger, 0, 0, Rec::Trigger, 0, Rule::All, Want::Any, 0, 0, X(SetupDTIO(x.p, x.size))},
    {"StartDTIO", Group::kTrigger, 0, 0, Rec::None, 0, Rule::All, Want::Any, 0, 0, X(StartDTIO())},
    {"StopDTIO", Group::kTrigger, 0, 0, Rec::None, 0, Rule::All, Want::Any, 0, 0, X(StopDTIO())},
    {"SetUnitDTIO", Group::kTrigger, 1, 1, Rec::None, 0, Rule::TrigUnit, Want::Any, 3, 5, X(SetUnitDTIO(x.a, x.b))},
    {"GetUnitDTIO", kOwn, 0, 0, Rec::None, 0, Rule::All, Want::Any, 0, 0, X(GetUnitDTIO())},
    {"SetupDTFO", Group::kTrigger, 0, 0, Rec::Trigger, 0, Rule::All, Want::Any, 0, 0, X(SetupDTFO(x.p, x.size))},
    {"StartDTFO", Group::kTrigger, 0, 0, Rec::None, 0, Rule::All, Want::Any, 0, 0, X(StartDTFO())},
    {"StopDTFO", Group::kTrigger, 0, 0, Rec::None, 0, Rule::All, Want::Any, 0, 0, X(StopDTFO())},
    {"SetUnitDTFO", Group::kTrigger, 1, 1, Rec::None, 0, Rule::TrigUnit, Want::Any, 3, 5, X(SetUnitDTFO(x.a, x.b))},
    {"GetUnitDTFO", kOwn, 0, 0, Rec::None, 0, Rule::All, Want::Any, 0, 0, X(GetUnitDTFO())},
    {"DOWriteLineChecked", Group::kDio, 1, 1, Rec::None, 0, Rule::DoLine, Want::Any, 0, 1, V(DOWriteLineChecked(x.a, x.b))},
    {"DOWritePortChecked", Group::kDio, 1, 0, Rec::None, 0, Rule::All, Want::Any, 0, 0, V(DOWritePortChecked(x.a))},
    {"CAN_RegisterReceived", kOwn, 1, 0, Rec::None, 1, Rule::RegIndex, Want::One, 0, 0, X(CAN_RegisterReceived(x.a, Callback(x.cb, Cb<0>::CanRx, Cb<1>::CanRx)))},
    {"CAN_RegisterStatus", kOwn, 1, 0, Rec::None, 1, Rule::RegIndex, Want::One, 0, 0, X(CAN_RegisterStatus(x.a, Callback(x.cb, Cb<0>::CanStatus, Cb<1>::CanStatus)))},
    {"CAN_Setup", Group::kCan, 2, 0, Rec::CanSetup, 0, Rule::All, Want::Any, 0, 0, X(CAN_Setup(x.a, x.p, x.size))},
    {"CAN_Start", Group::kCan, 2, 0, Rec::None, 0, Rule::All, Want::Any, 0, 0, X(CAN_Start(x.a))},
    {"CAN_Stop", Group::kCan, 2, 0, Rec::None, 0, Rule::All, Want::Any, 0, 0, X(CAN_Stop(x.a))},
    {"CAN_Send", Group::kCan, 2, 0, Rec::CanMsg, 0, Rule::All, Want::Any, 0, 0, X(CAN_Send(x.a, static_cast<CanMessage*>(x.p), x.size))},
    {"CAN_BitTimingGet", Group::kCan, 2, 0, Rec::Timing, 0, Rule::All, Want::Any, 0, 0, X(CAN_BitTimingGet(x.a, x.p, x.size))},
    {"CAN_BitTimingSet", Group::kCan, 2, 0, Rec::Timing, 0, Rule::All, Want::Any, 0, 0, X(CAN_BitTimingSet(x.a, x.p, x.size))},
    {"PWM_RegisterStatus", kOwn, 0, 0, Rec::None, 1, Rule::All, Want::One, 0, 0, X(PWM_RegisterStatus(Callback(x.cb, Cb<0>::Pwm, Cb<1>::Pwm)))},
    {"PWM_GenSetup", Group::kPwm, 1, 0, Rec::PwmGen, 0, Rule::All, Want::Any, 0, 0, X(PWM_GenSetup(x.a, x.p, x.size))},
    {"PWM_GenPeriod", Group::kPwm, 1, 1, Rec::None, 0, Rule::All, Want::Any, 0, 1000, X(PWM_GenPeriod(x.a, x.b))},
    {"PWM_PulseWidth", Group::kPwm, 1, 1, Rec::None, 0, Rule::All, Want::Any, 0, 500, X(PWM_PulseWidth(x.a, x.b))},
    {"PWM_Start", Group::kPwm, 1, 0, Rec::None, 0, Rule::All, Want::Any, 1, 0, X(PWM_Start(x.a))},
    {"PWM_Stop", Group::kPwm, 1, 0, Rec::None, 0, Rule::All, Want::Any, 1, 0, X(PWM_Stop(x.a))},
    {"PWM_SyncTimeBase", Group::kPwm, 1, 0, Rec::None, 0, Rule::All, Want::Any, 0, 0, X(PWM_SyncTimeBase(x.a))},
    {"PWM_SyncUpdate", Group::kPwm, 1, 0, Rec::None, 0, Rule::All, Want::Any, 0, 0, X(PWM_SyncUpdate(x.a))},
    {"IGN_GetState", Group::kIgn, 0, 0, Rec::U32Out, 0, Rule::All, Want::Any, 0, 0, X(IGN_GetState(static_cast<u32*>(x.p)))},
    {"IGN_GetBatteryVoltage", Group::kIgn, 0, 0, Rec::F64Out, 0, Rule::All, Want::Any, 0, 0, X(IGN_GetBatteryVoltage(static_cast<double*>(x.p)))},
    {"MCU_GetVersion", Group::kMcu, 0, 0, Rec::U32Out, 0, Rule::All, Want::Any, 0, 0, X(MCU_GetVersion(static_cast<u32*>(x.p)))},
    {"LED_SetCurrentDriving", Group::kLed, 1, 1, Rec::None, 0, Rule::LedMode, Want::Any, 1, 100, X(LED_SetCurrentDriving(x.a, x.b))},
    {"PWM_PulseInvert", Group::kPwm, 1, 0, Rec::None, 0, Rule::All, Want::Any, 0, 0, X(PWM_PulseInvert(x.a))},
    {"ADC_Start", Group::kAdc, 1, 0, Rec::None, 0, Rule::All, Want::Any, 1, 0, X(ADC_Start(x.a))},
    {"ADC_Stop", Group::kAdc, 1, 0, Rec::None, 0, Rule::All, Want::Any, 1, 0, X(ADC_Stop(x.a))},
    {"ADC_GetData", Group::kAdc, 1, 0, Rec::F64Out, 0, Rule::All, Want::Any, 0, 0, X(ADC_GetData(x.a, static_cast<double*>(x.p)))},
    {"QEI_Start", Group::kQei, 1, 0, Rec::None, 0, Rule::All, Want::Any, 1, 0, X(QEI_Start(x.a))},
    {"QEI_Stop", Group::kQei, 1, 0, Rec::None, 0, Rule::All, Want::Any, 1, 0, X(QEI_Stop(x.a))},
    {"QEI_Setup", Group::kQei, 2, 0, Rec::QeiSetup, 0, Rule::All, Want::Any, 0, 0, X(QEI_Setup(x.a, x.p, x.size))},
    {"QEI_GetDirection", Group::kQei, 1, 0, Rec::U32Out, 0, Rule::All, Want::Any, 0, 0, X(QEI_GetDirection(x.a, static_cast<u32*>(x.p)))},
    {"QEI_GetVelocity", Group::kQei, 1, 0, Rec::U32Out, 0, Rule::All, Want::Any, 0, 0, X(QEI_GetVelocity(x.a, static_cast<u32*>(x.p)))},
    {"QEI_GetPosition", Group::kQei, 1, 0, Rec::U32Out, 0, Rule::All, Want::Any, 0, 0, X(QEI_GetPosition(x.a, static_cast<u32*>(x.p)))},
    {"QEI_SetPosition", Group::kQei, 1, 1, Rec::None, 0, Rule::All, Want::Any, 0, 0, X(QEI_SetPosition(x.a, x.b))},
    {"IGN_GetSetting", Group::kIgn, 0, 0, Rec::Ign, 0, Rule::All, Want::Any, 0, 0, X(IGN_GetSetting(static_cast<IgnSetting*>(x.p), x.size))},
    {"PCI_GetStatusPoEPort", kCard, 1, 1, Rec::None, 0, Rule::Card, Want::Any, 0, 1, X(PCI_GetStatusPoEPort(x.a, x.b))},
    {"PCI_EnablePoEPort", kCard, 1, 1, Rec::None, 0, Rule::Card, Want::One, 0, 1, X(PCI_EnablePoEPort(x.a, x.b))},
    {"PCI_DisablePoEPort", kCard, 1, 1, Rec::None, 0, Rule::Card, Want::One, 0, 1, X(PCI_DisablePoEPort(x.a, x.b))},
    {"PWM_ClockSet", Group::kPwm, 1, 1, Rec::None, 0, Rule::All, Want::Any, 0, 1000000, X(PWM_ClockSet(x.a, x.b))},
    {"DT2_Setup", Group::kDt2, 0, 0, Rec::Dt2, 0, Rule::All, Want::Any, 0, 0, X(DT2_Setup(static_cast<Dt2Setup*>(x.p), x.size))},
    {"DT2_Start", Group::kDt2, 0, 0, Rec::None, 0, Rule::All, Want::Any, 0, 0, X(DT2_Start())},
    {"DT2_Stop", Group::kDt2, 0, 0, Rec::None, 0, Rule::All, Want::Any, 0, 0, X(DT2_Stop())},
    {"DT2_SetUnit", Group::kDt2, 1, 1, Rec::None, 0, Rule::All, Want::Any, 1, 0, X(DT2_SetUnit(x.a, x.b))},
    {"DT2_GetUnit", kOwn, 0, 0, Rec::None, 0, Rule::All, Want::Any, 0, 0, X(DT2_GetUnit())},
    {"DT2_StPush", Group::kDt2, 1, 1, Rec::None, 0, Rule::All, Want::One, 0, 0, X(DT2_StPush(x.a, x.b))},
    {"DT2_StPull", Group::kDt2, 0, 0, Rec::U32Out, 0, Rule::All, Want::One, 0, 0, X(DT2_StPull(static_cast<u32*>(x.p)))},
    {"DT2_EiRegisterIndexed", kOwn, 0, 0, Rec::None, 1, Rule::All, Want::One, 0, 0, X(DT2_EiRegisterIndexed(Callback(x.cb, Cb<0>::Dt2, Cb<1>::Dt2)))},
    {"DT2_EiSendResult", Group::kDt2, 1, 1, Rec::None, 0, Rule::All, Want::Any, 0, 0, X(DT2_EiSendResult(x.a, x.b))},
    {"MCU_Reset", Group::kMcu, 0, 0, Rec::None, 0, Rule::All, Want::Any, 0, 0, X(MCU_Reset())},
    {"StopDIO", kOwn, 0, 0, Rec::None, 0, Rule::All, Want::One, 0, 0, X(StopDIO())},
};
#undef X
#undef V
static_assert(sizeof kExports / sizeof kExports[0] == 77);

// ---- the expected result ----------------------------------------------------------

struct Model {
    const sim::BoardModel* board;
    service::Info info;
    bool card;  // an expansion card is plugged in
    const char* Family(int group) const { return group >= 0 ? info.groups[group].family : ""; }
    bool Has(int group) const { return group == kOwn || (group == kCard ? card : Family(group)[0] != '\0'); }
};

bool LedModeOk(const char* family, u32 selection, u32 value) {
    if (std::strcmp(family, "L2") == 0) return (selection & 0xFFFF) <= 3;
    if (std::strcmp(family, "L3") == 0) return selection <= 2 && (selection != 1 || value <= 500);
    return selection <= 2;
}

Want Expected(const Export& e, const Model& m, const Args& x) {
    if (!m.Has(e.group)) return Want::Refused;
    const Record& r = kRecords[static_cast<int>(e.rec)];
    if (e.rec != Rec::None) {
        const bool shortTrigger = e.rec == Rec::Trigger && std::strcmp(m.Family(e.group), "T1") != 0;
        const u32 min = shortTrigger ? 12 : r.min;
        const bool sized = e.rec != Rec::U32Out && e.rec != Rec::F64Out;
        if (!x.p || (sized && (r.exact ? x.size != min : x.size < min))) return Want::Refused;
    }
    const u32 line = x.a & 0xFF;
    const bool card = x.a < 8 && x.b >= 1 && x.b <= 4;
    switch (e.rule) {
        case Rule::All: return e.want;
        case Rule::None: return Want::Refused;
        case Rule::DiLine: return line < m.board->dio->inputs ? e.want : Want::Refused;
        case Rule::DoLine: return line < m.board->dio->outputs ? e.want : Want::Refused;
        case Rule::PoePort: return line >= 1 && line <= m.board->poe->portCount ? e.want : Want::Refused;
        case Rule::Card: return card ? e.want : Want::Refused;
        case Rule::RegIndex: return x.a == 0 ? e.want : Want::Refused;
        case Rule::WdtUnit: return (x.b & 0xFF) <= 1 ? e.want : Want::Refused;
        case Rule::LedMode: return LedModeOk(m.Family(e.group), x.a, x.b) ? e.want : Want::Refused;
        case Rule::LineMask: return x.fill == 0 && std::strcmp(m.Family(e.group), "C2") != 0 ? Want::Refused : e.want;
        case Rule::TrigUnit:
            return std::strcmp(m.Family(e.group), "T1") != 0 && (x.a & 0xFFFF) * 25u + x.b > 0xFFFF ? Want::Refused : e.want;
    }
    return e.want;
}

// ---- what the board saw ----------------------------------------------------------

constexpr u32 kPciConfigAddress = 0xCF8, kPciConfigData = 0xCFC;  // a device search, not a device access

struct Seen {
    u32 writes, mcuFrames, canFrames, outputs;
};

Seen Observe() {
    Seen s{0, 0, 0, sim::ReadFieldLines().outputsOn};
    for (const sim::Access& a : Log()) {
        const bool write = a.kind == sim::AccessKind::PortWrite || a.kind == sim::AccessKind::PhysWrite;
        s.writes += write && a.address != kPciConfigAddress && a.address != kPciConfigData;
    }
    sim::EditLinks([&](sim::SerialLinkState& l) { s.mcuFrames = l.mcu.framesReceived, s.canFrames = l.can.framesReceived; });
    return s;
}

// A frame an earlier call wrote without awaiting an answer may reach the
// firmware only now: after a call that may write, a refused call's count
// starts once the line is still.
void SettleLinks() {
    for (Seen last = Observe(), now{}; ; last = now) {
        usleep(3000);
        now = Observe();
        if (now.mcuFrames == last.mcuFrames && now.canFrames == last.canFrames) return;
    }
}

// ---- the sweep ------------------------------------------------------------------

std::atomic<u64> g_calls{0}, g_findings{0}, g_models{0};  // the long run's figures

class HostileSweep : public McuLinkTest, public ::testing::WithParamInterface<std::size_t> {
protected:
    void SetUp() override {
        McuLinkTest::SetUp();
        const sim::BoardModel& b = sim::kBoardModels[GetParam()];
        sim::StopBoardLinks();
        ASSERT_TRUE(sim::SetUpBoard(b.name));
        model_.card = GetParam() % 2 == 0;  // every other board has a PoE card, at index 5
        if (model_.card) {
            ASSERT_TRUE(sim::PlaceExpansionCard(sim::TheBoardState(), 0x15218086, 1, 5));
        }
        Load();
        ASSERT_TRUE(sim::StartBoardLinks());
        model_.board = &b;
        model_.info = service::GetInfo();
        for (u32 line = 0; line < b.dio->inputs; ++line) sim::DriveFieldInput(line, true);
        InitDIO();  // D4 reads nothing before it
        ++g_models;
    }

    // One call: the result and what the board saw against what the family states.
    void Check(const Export& e, Args x) {
        const Record& r = kRecords[static_cast<int>(e.rec)];
        if (!r.cap && x.size > r.nominal) x.size = r.nominal;  // the caller's record is that long
        // Exactly the record (whole words where the size is free): ASan sees any overrun.
        std::vector<u8> record(r.cap ? r.cap : std::max<u32>(4, (x.size + 3) / 4 * 4), x.fill);
        if (x.p) x.p = record.data();
        const std::vector<u8> before = record;
        const Want want = Expected(e, model_, x);
        if (want == Want::Refused && wrote_) SettleLinks();
        wrote_ = want != Want::Refused;
        sim::ClearAccessLog(sim::TheBoardState());
        const Seen s0 = Observe();
        const u64 result = e.call(x);
        const Seen s1 = Observe();
        ++g_calls;
        const bool quiet = s1.writes == 0 && s1.mcuFrames == s0.mcuFrames && s1.canFrames == s0.canFrames &&
                           s1.outputs == s0.outputs && record == before;
        const bool ok = want == Want::Any || (want == Want::One ? result == 1 : result == 0 && quiet);
        g_findings += !ok;
        EXPECT_TRUE(ok) << model_.board->name << " " << e.name << "(a=" << x.a << " b=" << x.b
                        << " p=" << (x.p ? "rec" : "null") << " size=" << x.size << " cb=" << x.cb << ") = " << result
                        << (want == Want::One ? ", want 1" : ", want 0 untouched") << " writes " << s1.writes
                        << " mcu frames " << s1.mcuFrames - s0.mcuFrames << " can frames " << s1.canFrames - s0.canFrames;
    }

    // Every argument of the export over its classes, the others valid.
    void Sweep(const Export& e) {
        const Record& r = kRecords[static_cast<int>(e.rec)];
        const Args valid{e.na, e.nb, &model_, r.nominal, 1};
        Check(e, valid);
        for (u32 v : e.a == 2 ? kIgnored : e.a ? indexes_ : kNone) Check(e, {v, e.nb, valid.p, valid.size, 1});
        for (u32 v : e.b ? indexes_ : kNone) Check(e, {e.na, v, valid.p, valid.size, 1});
        for (u32 c = 0; e.cb && c < kCallbackClasses; ++c) Check(e, {e.na, e.nb, valid.p, valid.size, c});
        for (const int p : {0, 1, 2}) {
            if (e.rec == Rec::None) break;
            const bool sized = e.rec != Rec::U32Out && e.rec != Rec::F64Out;
            for (u32 size : sized ? Sizes(r) : std::vector<u32>{r.nominal}) Check(e, {e.na, e.nb, p ? valid.p : nullptr, size, 1, static_cast<u8>(kPointers[p])});
        }
    }

    Model model_{};
    bool wrote_ = true;  // the last call may have written to a link
    const std::vector<u32> indexes_ = Indexes();
};

TEST_P(HostileSweep, EveryExportReturnsWhatItsFamilyStatesForHostileArguments) {
    for (const Export& e : kExports) {
        Sweep(e);
        if (std::strncmp(e.name, "Start", 5) == 0 || std::strstr(e.name, "_Start") || std::strstr(e.name, "_Setup")) StopDIO();
    }
}

// The board's MCU sends DICOS, PWM status, CAN status and DT2 events (and CAN
// frames) all the time while every registration export swaps its callbacks
// over the callback and index classes; then the last one registered gets
// the next event.
constexpr u8 kEventCodes[] = {0x30, 0x41, 0x61, 0x21};
constexpr u32 kChurnRounds = 20;
constexpr u32 kMarker = 0x5A;  // in no event of the flow

template <typename Pred>
bool Eventually(Pred pred) {
    for (int ms = 0; ms < 3000 && !pred(); ++ms) usleep(1000);
    return pred();
}

TEST_P(HostileSweep, CallbacksSwappedWhileEventsFlowLeaveTheLastOneCalled) {
    const sim::BoardModel& b = *model_.board;
    const bool shortForm = b.dio->mcuEvents == sim::DiEventForm::Message3;
    const bool watching = model_.info.mcuLink && service::StartEventWatch() == service::Watch::Started;
    const bool can = model_.Has(Group::kCan) && b.can.attach != sim::UartAttach::None && CAN_Start(0);
    std::atomic<bool> stop{false};
    std::thread board([&] {
        for (u32 n = 0; !stop; ++n) {
            sim::EmitMcuEvent(kEventCodes[n % sizeof kEventCodes], n & 0x3F);
            if (shortForm) sim::EmitShortDiMessage(static_cast<u8>(n & 0x3F));
            if (can) sim::SendCanMessage({n & 0x3F, 0, 0, {}});
            usleep(200);
        }
    });
    for (u32 round = 0; round < kChurnRounds; ++round) {
        for (const Export& e : kExports) {
            for (u32 c = 0; e.cb && c < kCallbackClasses; ++c) {
                for (u32 index : {0u, 1u, 0xFFFFFFFFu}) Check(e, {index, 0, nullptr, 0, (c + round) % kCallbackClasses});
            }
        }
    }
    stop = true;
    board.join();
    for (const Export& e : kExports) {
        if (e.cb) Check(e, {0, 0, nullptr, 0, 1});  // the first recording callback, everywhere
    }
    if (watching && !shortForm) {
        sim::EmitMcuEvent(0x61, kMarker);
        EXPECT_TRUE(Eventually([] { return g_last[0][kCanStatus] == kMarker; })) << b.name << ": CAN status lost";
    }
    if (watching && shortForm) {
        sim::EmitShortDiMessage(kMarker);
        EXPECT_TRUE(Eventually([] { return g_last[0][kDi] == kMarker; })) << b.name << ": DI message lost";
    }
    if (can) {
        sim::SendCanMessage({kMarker, 0, 0, {}});
        EXPECT_TRUE(Eventually([] { return g_last[0][kCanRx] == kMarker; })) << b.name << ": CAN frame lost";
        CAN_Stop(0);
    }
    service::StopEventWatch();
}

INSTANTIATE_TEST_SUITE_P(Models, HostileSweep, ::testing::Range<std::size_t>(0, sim::kBoardModelCount),
                         [](const ::testing::TestParamInfo<std::size_t>& i) {
                             std::string name = sim::kBoardModels[i.param].name;
                             for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });

// The long run's figures, when HX_REPORT_DIR is set.
class Report : public ::testing::Environment {
    void TearDown() override {
        const char* dir = std::getenv("HX_REPORT_DIR");
        if (!dir || g_models == 0) return;
        std::filesystem::create_directories(dir);
        const u64 findings = g_findings + ::testing::UnitTest::GetInstance()->failed_test_count();
        std::ofstream(std::string(dir) + "/R1.json")
            << R"({"id": "R1", "title": "Hostile-argument sweep", "family": "hardening", "command": )"
            << R"("HX_SWEEP_LONG=1 build/asan/tests/unit/hx_unit_tests --gtest_filter='*HostileSweep*'", )"
            << R"("findings": )" << findings << R"(, "rows": [{"measure": "calls", "value": )" << g_calls
            << R"(, "unit": "calls"}, {"measure": "models", "value": )" << g_models / 2
            << R"(, "unit": "models"}, {"measure": "exports", "value": )" << std::size(kExports)
            << R"(, "unit": "exports"}, {"measure": "findings", "value": )" << findings
            << R"(, "unit": "findings", "bound": 0, "ok": )" << (findings == 0 ? "true" : "false") << "}]}\n";
    }
};
[[maybe_unused]] ::testing::Environment* const g_report = ::testing::AddGlobalTestEnvironment(new Report);

}  // namespace
}  // namespace hx::test
