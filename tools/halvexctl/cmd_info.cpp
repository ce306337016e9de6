// halvexctl info: the detected model, the family in each slot group with a
// one-line status of the feature, the expansion card, and whether hardware
// access is open. The status comes from the exports that read without
// changing anything; features that can only be set say which command sets them.
#include <cstdio>
#include <string>

#include "halvex32.h"
#include "halvex32_service.h"
#include "tools/halvexctl/commands.h"

namespace halvexctl {
namespace {

const char* OrDash(const char* text) { return *text ? text : "-"; }

namespace svc = hx::service;

std::string Format(const char* format, auto... values) {
    char line[160];
    std::snprintf(line, sizeof line, format, values...);
    return line;
}

std::string WdtStatus(const svc::Info&) {
    const svc::WdtRegisters r = svc::ReadWdtRegisters();
    if (r.value == 0) return "stopped";
    return Format("counting, %u %s", r.value, r.unitSeconds ? "s" : "min");
}

std::string DioStatus(const svc::Info& info) {
    return Format("%u inputs, %u outputs (di read, do write)", info.diLines, info.doLines);
}

std::string PoeStatus(const svc::Info&) {
    std::string line;
    for (uint32_t port = 1; port <= svc::PoeLastPort(); ++port) {
        line += Format("%s%u:%s", port > 1 ? " " : "", port, GetStatusPoEPort(static_cast<uint8_t>(port)) ? "on" : "off");
    }
    return line.empty() ? "no ports" : line;
}

std::string TriggerStatus(const svc::Info&) {
    return Format("DTIO unit %u, DTFO unit %u (dtio, dtfo)", GetUnitDTIO(), GetUnitDTFO());
}

std::string IgnStatus(const svc::Info&) {
    uint32_t state = 0;
    double volts = 0.0;
    if (!IGN_GetState(&state)) return "not read: the MCU did not answer";
    if (!IGN_GetBatteryVoltage(&volts)) return Format("state 0x%X, battery not read", state);
    return Format("state 0x%X, battery %.2f V", state, volts);
}

std::string CanStatus(const svc::Info&) {
    uint32_t timing[2] = {0, 0};
    if (!CAN_BitTimingGet(0, timing, sizeof timing)) return "not read: the MCU did not answer";
    return Format("bit timing words %u, %u (can bittiming)", timing[0], timing[1]);
}

std::string McuStatus(const svc::Info&) {
    uint32_t version = 0;
    if (!MCU_GetVersion(&version)) return "not read: the MCU did not answer";
    return Format("firmware version 0x%08X", version);
}

std::string AdcStatus(const svc::Info&) {
    double volts = 0.0;
    if (!ADC_GetData(0, &volts)) return "not read: the MCU did not answer";
    return Format("channel 0 at %.3f V (adc read)", volts);
}

std::string QeiStatus(const svc::Info&) {
    uint32_t position = 0;
    if (!QEI_GetPosition(0, &position)) return "not read: the MCU did not answer";
    return Format("channel 0 at position %u (qei read)", position);
}

std::string Dt2Status(const svc::Info&) { return Format("unit %u (dt2)", DT2_GetUnit()); }

std::string SetOnly(const char* how) { return how; }

// One line per slot group, in the order of the groups.
std::string GroupStatus(const svc::Info& info, std::size_t group) {
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
        default: return "";
    }
}

int RunInfo(Context& ctx) {
    const hx::service::Info& info = ctx.info;
    std::printf("back-end:        %s%s%s\n", OrDash(info.backend), *info.board ? ", board " : "", info.board);
    std::printf("hardware access: %s\n", info.accessOpen ? "open" : "not open (library refused to load)");
    std::printf("model:           %s\n", *info.model ? info.model : "none detected");
    std::printf("OS major:        %u\n", info.osMajor);
    std::printf("expansion card:  %s\n", *info.expansionCard ? info.expansionCard : "none");
    if (!*info.model) return 0;
    std::printf("slot groups:\n");
    for (std::size_t i = 0; i < svc::kGroupCount; ++i) {
        const svc::SlotGroup& g = info.groups[i];
        const std::string status = *g.family && info.accessOpen ? GroupStatus(info, i) : "";
        if (status.empty()) std::printf("  %-10s %s\n", g.name, OrDash(g.family));
        else std::printf("  %-10s %-4s %s\n", g.name, g.family, status.c_str());
    }
    return 0;
}

}  // namespace

void AddInfoCommand(CLI::App& app, Command& command) {
    app.add_subcommand("info", "Show the detected model, its driver families and the expansion card")
        ->callback([&command] { command = {RunInfo}; });
}

}  // namespace halvexctl
