// halvexctl ign: the ignition state, the battery voltage and the ignition
// settings as the MCU reports them through the IGN_ exports. On the virtual
// board, "board ign on|off" turns the key and "board battery VOLTS" sets the
// battery; both print what the board senses and what the library reads.
// The state word and the settings mean what the MCU firmware makes of them
// (docs/virtual-firmware.md for the virtual board).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "halvex32.h"
#include "halvex32_service.h"
#include "tools/halvexctl/commands.h"

namespace halvexctl {
namespace {

namespace svc = hx::service;

constexpr uint32_t kKeyOnBit = 0x1;  // state word bit 0; the older text form reports only this

struct IgnArgs {
    std::string key;    // board ign: on|off
    std::string volts;  // board battery
};
IgnArgs g_args;

int RequireIgn(const Context& ctx) { return RequireGroup(ctx, svc::kIgn, "ignition control"); }

int RunState(Context& ctx) {
    if (const int rc = RequireIgn(ctx)) return rc;
    uint32_t state = 0;
    if (!IGN_GetState(&state)) return Fail("IGN_GetState failed: the MCU did not answer");
    const bool keyOn = (state & kKeyOnBit) != 0;
    Emit({{"state", state}, {"key_on", keyOn}}, Format("state %08X (key %s)\n", state, keyOn ? "on" : "off"));
    return kExitOk;
}

int RunVoltage(Context& ctx) {
    if (const int rc = RequireIgn(ctx)) return rc;
    double volts = 0.0;
    if (!IGN_GetBatteryVoltage(&volts)) return Fail("IGN_GetBatteryVoltage failed: the MCU did not answer");
    Emit({{"battery_volts", volts}}, Format("battery %.3f V\n", volts));
    return kExitOk;
}

int RunSettings(Context& ctx) {
    if (const int rc = RequireIgn(ctx)) return rc;
    IgnSetting s{};
    if (!IGN_GetSetting(&s, sizeof s)) {
        return Fail("IGN_GetSetting failed: " + std::string(ctx.info.model) +
                    " reports no ignition settings, or the MCU did not answer");
    }
    Emit({{"setting0", s.setting0}, {"setting1", s.setting1}, {"setting2", s.setting2}, {"setting3", s.setting3},
          {"voltage", s.voltage}},
         Format("setting0 %08X\nsetting1 %u\nsetting2 %u\nsetting3 %u\nvoltage  %.3f V\n", s.setting0, s.setting1,
                s.setting2, s.setting3, s.voltage));
    return kExitOk;
}

// The board's side, then what the library reads of it.
void PrintBoardIgnition(const Context& ctx) {
    const svc::BoardIgnition b = svc::GetBoardIgnition();
    Report r;
    r.Line("board:   key %s, battery %.3f V, reading %u (%u counts = %.1f V), state %08X\n", b.keyOn ? "on" : "off",
           b.batteryVolts, b.reading, b.counts, b.fullScaleVolts, b.state);
    r["board"] = {{"key_on", b.keyOn}, {"battery_volts", b.batteryVolts}, {"reading", b.reading}, {"counts", b.counts},
                  {"full_scale_volts", b.fullScaleVolts}, {"state", b.state}};
    if (*ctx.info.groups[svc::kIgn].family) {
        uint32_t state = 0;
        double volts = 0.0;
        const bool stateRead = IGN_GetState(&state), voltsRead = IGN_GetBatteryVoltage(&volts);
        r.Line("library: state %s, battery %s\n", stateRead ? Format("%08X", state).c_str() : "failed",
               voltsRead ? Format("%.3f V", volts).c_str() : "failed");
        r["library"] = {{"state", stateRead ? Json(state) : Json()},
                        {"battery_volts", voltsRead ? Json(volts) : Json()}};
    }
    r.Print();
}

int RequireSense(const Context& ctx) {
    if (const int rc = RequireVirtualBoard(ctx)) return rc;
    if (std::string(svc::GetBoardIgnition().sense) == "none") {
        return NoFeature(std::string(ctx.info.board) + "'s MCU senses no ignition key or battery");
    }
    return 0;
}

int RunBoardKey(Context& ctx) {
    if (const int rc = RequireSense(ctx)) return rc;
    if (g_args.key != "on" && g_args.key != "off") return BadUsage("usage: board ign on|off");
    svc::SetBoardIgnition(g_args.key == "on");
    PrintBoardIgnition(ctx);
    return 0;
}

int RunBoardBattery(Context& ctx) {
    if (const int rc = RequireSense(ctx)) return rc;
    char* end = nullptr;
    const double volts = std::strtod(g_args.volts.c_str(), &end);
    if (g_args.volts.empty() || *end != '\0' || !svc::SetBoardBatteryVolts(volts)) {
        return BadUsage("bad battery voltage '" + g_args.volts + "': 0 to 60 V");
    }
    PrintBoardIgnition(ctx);
    return 0;
}

void Add(CLI::App& parent, Command& command, const char* name, const char* help, int (*run)(Context&)) {
    parent.add_subcommand(name, help)->callback([&command, run] { command = {run}; });
}

}  // namespace

void AddIgnCommand(CLI::App& app, Command& command) {
    auto* ign = app.add_subcommand("ign", "Ignition state, battery voltage and ignition settings");
    ign->require_subcommand(1);
    Add(*ign, command, "state", "The ignition state word (IGN_GetState)", RunState);
    Add(*ign, command, "voltage", "The battery voltage in volts (IGN_GetBatteryVoltage)", RunVoltage);
    Add(*ign, command, "settings", "The ignition settings record (IGN_GetSetting)", RunSettings);

    CLI::App& board = BoardSubcommand(app);
    auto* key = board.add_subcommand("ign", "Turn the ignition key on or off; prints the board's and the library's view");
    key->add_option("ON_OFF", g_args.key, "on or off")->required();
    key->callback([&command] { command = {RunBoardKey}; });
    auto* battery = board.add_subcommand("battery", "Set the battery voltage; prints the board's and the library's view");
    battery->add_option("VOLTS", g_args.volts, "0 to 60")->required();
    battery->callback([&command] { command = {RunBoardBattery}; });
}

}  // namespace halvexctl
