// halvexctl info: the detected model, the family in each slot group with a
// one-line status of the feature, the expansion card, and whether hardware
// access is open. The status comes from the exports that read without
// changing anything; features that can only be set say which command sets them.
#include <cctype>
#include <string>

#include "halvex32.h"
#include "halvex32_service.h"
#include "tools/halvexctl/commands.h"

namespace halvexctl {
namespace {

const char* OrDash(const char* text) { return *text ? text : "-"; }
Json OrNull(const char* text) { return *text ? Json(text) : Json(nullptr); }

namespace svc = hx::service;

// A slot group's status: the text after the family, and the same facts.
struct Status {
    std::string text;
    Json json = Json::object();
};

constexpr char kNoAnswer[] = "not read: the MCU did not answer";

// The MCU did not answer: `key` is null.
Status NotRead(const char* key) { return {kNoAnswer, {{key, nullptr}}}; }

Status WdtStatus(const svc::Info&) {
    const svc::WdtRegisters r = svc::ReadWdtRegisters();
    Status s{"stopped", {{"counting", r.value != 0}}};
    if (r.value == 0) return s;
    s.json["value"] = r.value;
    s.json["unit"] = r.unitSeconds ? "s" : "min";
    s.text = Format("counting, %u %s", r.value, r.unitSeconds ? "s" : "min");
    return s;
}

Status DioStatus(const svc::Info& info) {
    return {Format("%u inputs, %u outputs (di read, do write)", info.diLines, info.doLines),
            {{"inputs", info.diLines}, {"outputs", info.doLines}}};
}

Status PoeStatus(const svc::Info&) {
    Status s{"", {{"ports", Json::array()}}};
    for (uint32_t port = 1; port <= svc::PoeLastPort(); ++port) {
        const bool on = GetStatusPoEPort(static_cast<uint8_t>(port)) != 0;
        s.text += Format("%s%u:%s", port > 1 ? " " : "", port, on ? "on" : "off");
        s.json["ports"].push_back({{"port", port}, {"on", on}});
    }
    if (s.text.empty()) s.text = "no ports";
    return s;
}

Status TriggerStatus(const svc::Info&) {
    const uint16_t dtio = GetUnitDTIO(), dtfo = GetUnitDTFO();
    return {Format("DTIO unit %u, DTFO unit %u (dtio, dtfo)", dtio, dtfo), {{"dtio_unit", dtio}, {"dtfo_unit", dtfo}}};
}

Status IgnStatus(const svc::Info&) {
    uint32_t state = 0;
    double volts = 0.0;
    if (!IGN_GetState(&state)) return NotRead("state");
    if (!IGN_GetBatteryVoltage(&volts)) {
        return {Format("state 0x%X, battery not read", state), {{"state", state}, {"battery_volts", nullptr}}};
    }
    return {Format("state 0x%X, battery %.2f V", state, volts), {{"state", state}, {"battery_volts", volts}}};
}

Status CanStatus(const svc::Info&) {
    uint32_t timing[2] = {0, 0};
    if (!CAN_BitTimingGet(0, timing, sizeof timing)) return NotRead("bit_timing");
    return {Format("bit timing words %u, %u (can bittiming)", timing[0], timing[1]), {{"bit_timing", timing}}};
}

Status McuStatus(const svc::Info&) {
    uint32_t version = 0;
    if (!MCU_GetVersion(&version)) return NotRead("version");
    return {Format("firmware version 0x%08X", version), {{"version", version}}};
}

Status AdcStatus(const svc::Info&) {
    double volts = 0.0;
    if (!ADC_GetData(0, &volts)) return NotRead("volts");
    return {Format("channel 0 at %.3f V (adc read)", volts), {{"channel", 0}, {"volts", volts}}};
}

Status QeiStatus(const svc::Info&) {
    uint32_t position = 0;
    if (!QEI_GetPosition(0, &position)) return NotRead("position");
    return {Format("channel 0 at position %u (qei read)", position), {{"channel", 0}, {"position", position}}};
}

Status Dt2Status(const svc::Info&) {
    const uint32_t unit = DT2_GetUnit();
    return {Format("unit %u (dt2)", unit), {{"unit", unit}}};
}

// Set by commands, nothing to read back.
Status SetOnly(const char* how) { return {how, {{"note", how}}}; }

// One line per slot group, in the order of the groups.
Status GroupStatus(const svc::Info& info, std::size_t group) {
    switch (group) {
        case svc::kWdt: return WdtStatus(info);
        case svc::kDio: return DioStatus(info);
        case svc::kDicos: return SetOnly("input change events (dicos watch)");
        case svc::kPoe: return PoeStatus(info);
        case svc::kTrigger: return TriggerStatus(info);
        case svc::kIgn: return IgnStatus(info);
        case svc::kCan: return CanStatus(info);
        case svc::kPwm: return SetOnly("generators set by commands, no read-back (pwm)");
        case svc::kMcu: return McuStatus(info);
        case svc::kLed: return SetOnly("drive set by commands, no read-back (led set)");
        case svc::kAdc: return AdcStatus(info);
        case svc::kQei: return QeiStatus(info);
        case svc::kDt2: return Dt2Status(info);
        case svc::kInit: return SetOnly("ran at load");
        default: return {};
    }
}

// "PoE" -> "poe", "DTIO/DTFO" -> "dtio_dtfo": the group's key in JSON.
std::string Key(const char* name) {
    std::string key = name;
    for (char& c : key) {
        const auto u = static_cast<unsigned char>(c);
        c = std::isalnum(u) ? static_cast<char>(std::tolower(u)) : '_';
    }
    return key;
}

void AddGroups(const svc::Info& info, Report& r) {
    r.Line("slot groups:\n");
    Json& groups = r["groups"] = Json::object();
    for (std::size_t i = 0; i < svc::kGroupCount; ++i) {
        const svc::SlotGroup& g = info.groups[i];
        Json& group = groups[Key(g.name)] = {{"family", OrNull(g.family)}};
        const Status status = *g.family && info.accessOpen ? GroupStatus(info, i) : Status{};
        group.update(status.json);
        if (status.text.empty()) r.Line("  %-10s %s\n", g.name, OrDash(g.family));
        else r.Line("  %-10s %-4s %s\n", g.name, g.family, status.text.c_str());
    }
}

int RunInfo(Context& ctx) {
    const hx::service::Info& info = ctx.info;
    Report r;
    r.Line("back-end:        %s%s%s\n", OrDash(info.backend), *info.board ? ", board " : "", info.board);
    r.Line("hardware access: %s\n", info.accessOpen ? "open" : "not open (library refused to load)");
    r.Line("model:           %s\n", *info.model ? info.model : "none detected");
    r.Line("OS major:        %u\n", info.osMajor);
    r.Line("expansion card:  %s\n", *info.expansionCard ? info.expansionCard : "none");
    r.json = {{"backend", OrNull(info.backend)}, {"board", OrNull(info.board)},
              {"access_open", info.accessOpen},  {"model", OrNull(info.model)},
              {"os_major", info.osMajor},        {"expansion_card", OrNull(info.expansionCard)}};
    if (*info.model) AddGroups(info, r);
    r.Print();
    return kExitOk;
}

}  // namespace

void AddInfoCommand(CLI::App& app, Command& command) {
    app.add_subcommand("info", "Show the detected model, its driver families and the expansion card")
        ->callback([&command] { command = {RunInfo}; });
}

}  // namespace halvexctl
