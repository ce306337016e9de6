// The virtual-board side of the service access: choosing a board model,
// its clock, and what its watchdog chips and reset line show. Every use of
// the virtual board's own names is in this file.
#include <algorithm>
#include <cmath>
#include <iterator>

#include "backends/service/attach.h"
#include "core/state.h"
#include "halvex32_service.h"
#include "os/posix/machine_names.h"
#include "sim/board_links.h"
#include "sim/dio_board.h"
#include "sim/dio_field.h"
#include "sim/dt2_board.h"
#include "sim/firmware/adc_engine.h"
#include "sim/firmware/can_controller.h"
#include "sim/firmware/dt2_engine.h"
#include "sim/firmware/ignition_engine.h"
#include "sim/firmware/led_engine.h"
#include "sim/firmware/mcu_firmware.h"
#include "sim/firmware/qei_engine.h"
#include "sim/firmware/trigger_engine.h"
#include "sim/mcu_board.h"
#include "sim/poe_board.h"
#include "sim/posix/link_host.h"
#include "sim/posix/shared_machine.h"
#include "sim/virtual_board.h"
#include "sim/watchdog_board.h"

namespace hx::service {
namespace {

// The expansion card every load plugs in (nicId 0: none).
struct PluggedCard {
    uint32_t nicId;
    uint8_t bridgeBus;
    uint8_t index;
};
PluggedCard g_card{};

BoardPoePort ViewOf(const sim::PoePortView& v) { return {v.exists, v.powered, v.controller, v.channel}; }

const sim::BoardModel* ModelOf(const char* model) {
    return sim::FindBoardModel(model && *model ? model : sim::kDefaultModel);
}

}  // namespace

Load LoadOnVirtualBoard(const char* model) {
    const sim::BoardModel* board = ModelOf(model);
    if (!board) return Load::UnknownModel;
    sim::LeaveSharedMachine();
    sim::SetUpBoard(board->name);
    os::UseMachinePrivateNames();  // this process's board is a machine of its own
    if (g_card.nicId) sim::PlaceExpansionCard(sim::TheBoardState(), g_card.nicId, g_card.bridgeBus, g_card.index);
    return AttachTo(sim::VirtualBackend(), board->name);
}

void LeaveVirtualBoard() {
    sim::LeaveSharedMachine();
    os::RemoveMachinePrivateNames();
}

const char* VirtualModel(std::size_t index) {
    return index < std::size(sim::kBoardModels) ? sim::kBoardModels[index].name : nullptr;
}

BoardStatus GetBoardStatus() {
    const sim::LinksLock hold;  // on a shared machine the clock catches up first
    BoardStatus s{};
    s.nowMs = sim::TheBoard().NowMs();
    const sim::It87& sio = sim::TheSuperIo();
    s.superIoChipId = sio.ChipId();
    s.superIoCounting = sio.Counting();
    s.superIoSeconds = sio.CountsSeconds();
    s.superIoMsLeft = sio.MsLeft();
    const sim::IchTco& tco = sim::TheTco();
    s.tco = tco.Present();
    s.tcoRunning = tco.Running();
    s.tcoTicksLeft = tco.TicksLeft();
    s.tcoNoReboot = tco.NoReboot();
    const auto& reset = sim::TheBoardState().reset;
    s.resets = reset.count;
    s.lastResetAtMs = reset.lastAtMs;
    s.lastResetCause = reset.count ? reset.lastCause : "";
    return s;
}

void AdvanceBoardClock(uint64_t ms) {
    const sim::LinksLock hold;
    sim::TheBoard().AdvanceClock(ms);
}

bool EmitBoardEvent(uint8_t code, uint32_t payload) { return sim::EmitMcuEvent(code, payload); }

DioLines GetBoardDioLines() {
    const sim::FieldLines f = sim::ReadFieldLines();
    return {f.inputCount, f.outputCount, f.inputsActive, f.outputsOn, sim::DioRouteName(sim::BoardDioRoute())};
}

bool SetBoardInput(uint32_t line, bool active) { return sim::DriveFieldInput(line, active); }

uint32_t BoardPoePortCount() {
    const sim::BoardModel* model = sim::FindBoardModel(sim::TheBoardState().model);
    return model ? model->poe->portCount : 0;
}

BoardPoePort GetBoardPoePort(uint32_t port) {
    return port <= 0xFF ? ViewOf(sim::BoardPoePort(sim::TheBoardState(), static_cast<u8>(port))) : BoardPoePort{};
}

BoardPoePort GetBoardCardPort(uint32_t card, uint32_t port) {
    if (card >= sim::kCardIndexes || port > sim::kCardPorts) return {};
    return ViewOf(sim::CardPoePort(sim::TheBoardState(), static_cast<u8>(card), static_cast<u8>(port)));
}

bool PlugBoardCard(uint32_t nicId, uint8_t bridgeBus, uint32_t card) {
    if (card >= sim::kCardIndexes) return false;
    g_card = {nicId, bridgeBus, static_cast<uint8_t>(card)};
    return true;
}

// Under the lock every access of the library to the board runs under.
void SetSmbusFaults(const SmbusFaults& faults) {
    const sim::LinksLock hold;
    sim::SmbusState& s = sim::TheBoardState().smbus;
    s.stuckBusy = faults.stuckBusy;
    s.stuckByteDone = faults.stuckByteDone;
    s.nakArmed = faults.nak;
    s.nakAddress = faults.nakAddress;
}

// ---- the virtual board's CAN bus -------------------------------------------------

namespace {

sim::CanWireMessage WireOf(const CanBusFrame& f) {
    sim::CanWireMessage m{f.id, f.flags, f.length, {}};
    std::copy(std::begin(f.data), std::end(f.data), m.data);
    return m;
}

// Changes the controller's state; the link host then sends what it owes.
template <typename Fn>
auto OnCanBus(Fn&& fn) {
    sim::LockLinks();
    const auto result = fn(sim::TheLinksUnlocked());
    sim::UnlockLinks();
    sim::KickLinks();
    return result;
}

u32 WireRate() { return sim::CanWireFramesPerSecond(sim::LinkUart(sim::LinkRole::Can).baud); }

}  // namespace

CanController GetCanController() {
    CanController v{};
    v.link = sim::LinkUart(sim::LinkRole::Can).attach != sim::UartAttach::None;
    v.wireRate = WireRate();
    sim::EditLinks([&](sim::SerialLinkState& s) {
        const sim::CanEngineState& e = s.mcu.can;
        const sim::CanControllerState& c = s.can;
        v.started = e.running;
        v.busOff = e.busOff;
        v.bitRate = sim::CanQuery(s.mcu, sim::fw::kCanTimingGetFirst + sim::kCanTimingBitRate);
        v.samplePoint = sim::CanQuery(s.mcu, sim::fw::kCanTimingGetFirst + sim::kCanTimingSamplePoint);
        std::copy(std::begin(e.setup), std::end(e.setup), v.setup);
        v.status = e.status;
        v.starts = e.starts;
        v.stops = e.stops;
        v.fromLibrary = c.framesReceived;
        v.onBus = c.onBus;
        v.toLibrary = c.delivered;
        v.waiting = sim::CanQueuedBytes(c) / sim::kCanFrameBytes;
        v.missed = c.missed;
        v.filtered = c.filtered;
        v.overruns = c.overruns;
        v.loadSent = c.load.sent;
    });
    return v;
}

bool GetCanBusFrame(uint32_t n, CanBusFrame* frame) {
    bool found = false;
    sim::EditLinks([&](sim::SerialLinkState& s) {
        const sim::CanWireMessage* m = sim::CanBusFrameAt(s.can, n);
        if (!m) return;
        *frame = {m->id, m->flags, m->length, {}};
        std::copy(std::begin(m->data), std::end(m->data), frame->data);
        found = true;
    });
    return found;
}

bool SendCanFromPeer(const CanBusFrame& frame) {
    return OnCanBus([&](sim::SerialLinkState& s) { return sim::CanBusTransmit(s, WireOf(frame)); });
}

bool AddCanPeer(uint32_t trigger, const CanBusFrame& reply) {
    return OnCanBus([&](sim::SerialLinkState& s) { return sim::CanAddPeer(s.can, trigger, WireOf(reply)); });
}

void ClearCanPeers() {
    OnCanBus([](sim::SerialLinkState& s) { return sim::CanClearPeers(s.can), true; });
}

static_assert(static_cast<int>(CanBusState::BusOff) == static_cast<int>(sim::CanBusState::BusOff));
bool SetCanBusState(CanBusState state) {
    return OnCanBus([&](sim::SerialLinkState& s) { return sim::CanSetBusState(s.mcu, static_cast<sim::CanBusState>(state)); });
}

uint32_t StartCanLoad(uint32_t framesPerSecond, uint32_t id) {
    const u32 rate = std::min(framesPerSecond, WireRate());
    return OnCanBus([&](sim::SerialLinkState& s) { return sim::CanSetLoad(s.can, rate, 0, id), rate; });
}

void StartCanBurst(uint32_t frames, uint32_t id) {
    OnCanBus([&](sim::SerialLinkState& s) { return sim::CanSetLoad(s.can, 0, frames, id), true; });
}

void SetCanLinkPaced(bool paced) {
    OnCanBus([&](sim::SerialLinkState& s) { return s.can.paced = paced; });
}

// ---- the virtual board's DI change events ------------------------------------------

// ---- the virtual board's DT2 engine and status pads --------------------------------

BoardDt2Engine GetBoardDt2Engine() {
    const sim::Dt2EngineState e = sim::ReadDt2Engine();
    BoardDt2Engine v{e.running, e.unit, {}, e.nextIndex, e.waitingCount, e.triggers, e.raised, e.missed,
                     e.results, e.answered, e.lastIndex, e.lastResult};
    std::copy(std::begin(e.setup), std::end(e.setup), v.setup);
    return v;
}

uint32_t FireBoardDt2Lines(uint32_t lines) { return sim::FireDt2Lines(lines); }

bool GetBoardDt2Result(uint8_t index, uint8_t* result) {
    const sim::Dt2EngineState e = sim::ReadDt2Engine();
    return result && sim::Dt2ResultOf(e, index, result);
}

uint32_t BoardStatusLineCount() { return sim::TheStatusPads().Count(); }

BoardStatusLine GetBoardStatusLine(uint32_t line) {
    const sim::StatusLineView v = sim::TheStatusPads().Line(line);
    return {v.exists, v.name ? v.name : "", v.output, v.input, v.high, v.driven};
}

bool DriveBoardStatusLine(uint32_t line, int level) {
    const sim::LineDrive drive = level < 0 ? sim::LineDrive::Release : level ? sim::LineDrive::High : sim::LineDrive::Low;
    return sim::TheStatusPads().Drive(line, drive);
}

// ---- the virtual board's ignition and battery ----

namespace {

constexpr double kMillivoltsPerVolt = 1000.0;
constexpr double kBatteryMaxVolts = 60.0;
static_assert(sizeof(BoardIgnition::settings) / sizeof(uint32_t) == sim::kIgnitionSettingWords);

const char* SenseName(sim::IgnitionSense sense) {
    switch (sense) {
        case sim::IgnitionSense::Queries33V: return "queries 33V";
        case sim::IgnitionSense::Queries12Bit: return "queries 12-bit";
        case sim::IgnitionSense::Text10Bit: return "text 10-bit";
        default: return "none";
    }
}

}  // namespace

BoardIgnition GetBoardIgnition() {
    const sim::McuFirmwareState mcu = sim::ReadMcuFirmware();
    const sim::IgnitionWorld& w = mcu.world.ignition;
    const sim::BatteryScale scale = sim::BatteryScaleOf(mcu.functions.ignition);
    BoardIgnition v{SenseName(mcu.functions.ignition), w.keyOn, w.batteryMillivolts / kMillivoltsPerVolt,
                    sim::IgnitionBatteryReading(mcu), scale.fullScaleMillivolts / kMillivoltsPerVolt, scale.counts,
                    sim::IgnitionStateWord(mcu), {}};
    std::copy(std::begin(w.settings), std::end(w.settings), v.settings);
    return v;
}

bool SetBoardIgnition(bool on) { return sim::SetIgnitionKey(on); }

bool SetBoardBatteryVolts(double volts) {
    if (!(volts >= 0.0 && volts <= kBatteryMaxVolts)) return false;
    return sim::SetBatteryMillivolts(static_cast<u32>(std::lround(volts * kMillivoltsPerVolt)));
}

// ---- the virtual board's PWM outputs ----

uint32_t BoardPwmOutputCount() { return sim::PwmOutputCount(); }

BoardPwmOutput GetBoardPwmOutput(uint32_t output) {
    const sim::PwmOutputView v = sim::ReadPwmOutput(output);
    return {v.exists, v.running, v.period, v.width, v.inverted, v.dutyPercent, v.frequencyHz, v.clockHz};
}

// ---- the virtual board's trigger I/O blocks (DTIO, DTFO) ----

BoardTriggerBlock GetBoardTriggerBlock(TriggerBlock block) {
    const sim::McuFirmwareState s = sim::ReadMcuFirmware();
    const sim::TriggerUnitState& t = block == TriggerBlock::Dtfo ? s.trigger.dtfo : s.trigger.dtio;
    const sim::TriggerDialect d = s.functions.trigger;
    BoardTriggerBlock v{sim::TriggerDialectName(d), t.running, t.unit, sim::TriggerTickNs(d, t.unit), {},
                        t.prepares, t.starts, t.stops, t.refusedStarts, sim::TriggerHeld(s)};
    static_assert(std::size(v.setup) == sim::kSetupWordsKept);
    std::copy(std::begin(t.setup), std::end(t.setup), v.setup);
    return v;
}

// ---- the virtual board's shaft encoder ----

int32_t SetBoardShaftRpm(int32_t rpm) { return sim::SetShaftRpm(rpm); }

BoardEncoder GetBoardEncoder(uint32_t channel) {
    const sim::McuFirmwareState s = sim::ReadMcuFirmware();
    if (channel >= sim::QeiChannels(s)) return {};
    return {true,
            (s.qei.running >> channel & 1u) != 0,
            s.qei.position[channel],
            s.qei.direction[channel],
            sim::QeiVelocity(s, channel),
            sim::QeiLinesPerRev(s)};
}

// ---- the virtual board's ADC inputs, LED outputs and MCU restarts ----

namespace {

constexpr double kMillivoltsMax = 4294967295.0;

const char* LedDriverName(sim::LedDriver driver) {
    switch (driver) {
        case sim::LedDriver::Linear: return "linear";
        case sim::LedDriver::Channels: return "channels";
        case sim::LedDriver::Dimmer: return "dimmer";
        default: return "";
    }
}

}  // namespace

bool SetBoardAdcVolts(uint32_t channel, double volts) {
    const double mV = std::clamp(std::round(volts * kMillivoltsPerVolt), 0.0, kMillivoltsMax);
    return sim::SetAdcInput(channel, static_cast<u32>(mV));
}

BoardAdcInput GetBoardAdc(uint32_t channel) {
    sim::McuFirmwareState& mcu = sim::TheLinks().mcu;
    const sim::LinksLock lock;
    if (channel >= mcu.functions.adcChannels || channel >= sim::kAdcChannelsMax) return {};
    return {true, mcu.world.adc.millivolts[channel] / kMillivoltsPerVolt, !(mcu.adc.held >> channel & 1u),
            sim::AdcQuery(mcu, channel)};
}

BoardLedOutput GetBoardLed(uint32_t output) {
    const sim::McuFirmwareState mcu = sim::ReadMcuFirmware();
    if (output >= sim::LedOutputs(mcu.functions.led)) return {false, LedDriverName(mcu.functions.led), 0, 0, false, 0};
    const sim::LedOutputState& o = mcu.led.outputs[output];
    return {true, LedDriverName(mcu.functions.led), o.current, o.duty, o.on, mcu.led.refused};
}

BoardMcu GetBoardMcu() {
    const sim::McuFirmwareState mcu = sim::ReadMcuFirmware();
    const sim::ResetLineWorld& line = mcu.world.resetLine;
    return {mcu.functions.resetPad != 0, line.padWord, line.high, mcu.restarts,
            mcu.functions.versionQuery ? mcu.version : 0};
}

bool PresetBoardMcuResetPad(uint32_t word) { return sim::PresetMcuResetPad(word); }

void SeedLedGenerator(uint32_t seed) { LedSeed.store(seed); }

// ---- the shared virtual machine ----------------------------------------------------

namespace {

constexpr std::size_t kObjectNameMax = 160;
char g_object[kObjectNameMax];

// The card plugged for every load goes into a shared machine that lacks it
// (a card already there keeps its registers).
void PlugCardIfMissing() {
    if (!g_card.nicId) return;
    const sim::LinksLock hold;
    sim::BoardState& state = sim::TheBoardState();
    if (!sim::CardPoePort(state, g_card.index, 1).exists) {
        sim::PlaceExpansionCard(state, g_card.nicId, g_card.bridgeBus, g_card.index);
    }
}

MachineResult ResetMachine(const sim::BoardModel& model, const char* board) {
    const bool stays = sim::OnSharedMachine(model, board);
    switch (sim::JoinSharedMachine(model, board, false)) {
        case sim::MachineJoin::Absent: return MachineResult::Absent;
        case sim::MachineJoin::Failed: return MachineResult::Failed;
        default: break;
    }
    sim::ResetSharedMachine();
    if (!stays) sim::LeaveSharedMachine();
    return MachineResult::Done;
}

MachineResult DestroyMachine(const sim::BoardModel& model, const char* board) {
    return sim::DestroySharedMachine(model.name, board) ? MachineResult::Done : MachineResult::Absent;
}

MachineAction OnMachine(const char* model, MachineResult (*act)(const sim::BoardModel&, const char*)) {
    const char* board = sim::SharedBoardName();
    const sim::BoardModel* m = ModelOf(model);
    if (!m) return {MachineResult::UnknownModel, "", board, ""};
    if (!sim::SharedMachineObject(m->name, board, g_object, sizeof g_object)) g_object[0] = '\0';
    return {act(*m, board), m->name, board, g_object};
}

}  // namespace

Load LoadOnSharedVirtualBoard(const char* model) {
    const sim::BoardModel* board = ModelOf(model);
    if (!board) return Load::UnknownModel;
    const char* name = sim::SharedBoardName();
    const sim::MachineJoin join = sim::JoinSharedMachine(*board, name);
    if (join != sim::MachineJoin::Created && join != sim::MachineJoin::Joined) return LoadOnVirtualBoard(board->name);
    os::UseMachineNames(board->name, name);
    PlugCardIfMissing();
    return AttachTo(sim::VirtualBackend(), board->name);
}

MachineAction ResetSharedVirtualBoard(const char* model) { return OnMachine(model, ResetMachine); }

MachineAction DestroySharedVirtualBoard(const char* model) { return OnMachine(model, DestroyMachine); }

bool BoardClockFollowsRealTime() { return sim::MachineClockFollowsRealTime(); }

}  // namespace hx::service
