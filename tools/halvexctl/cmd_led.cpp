// halvexctl led set CH --mode M --value V: LED_SetCurrentDriving for one
// output. How CH reaches the library depends on the model's LED family:
//   L2 (four-channel driver): CH 0..3 becomes channel bit CH in the high half
//       of the select word, the mode its low half; CH "all" sends no channel
//       bits, which the library turns into every channel.
//   L1, L3 (one output): CH must be 0 (or "all"); the mode is the first argument.
// The mode and the value go through as they are (L1, L3: mode 0..2; L2: 0..3;
// L3: value 0..500). On the virtual board the output is shown as the
// board's driver drives it.
#include <cstdio>
#include <string>

#include "halvex32.h"
#include "halvex32_service.h"
#include "tools/halvexctl/commands.h"

namespace halvexctl {
namespace {

namespace svc = hx::service;

constexpr uint32_t kChannelOutputs = 4;  // outputs of the four-channel driver (L2)
constexpr uint32_t kChannelShift = 16;   // L2: channel bits in the select's high half
constexpr uint32_t kModeMax = 0xFFFF;    // L2: the mode is the select's low half

struct LedArgs {
    std::string channel;
    std::string mode;
    std::string value;
};
LedArgs g_args;

bool IsChannels(const Context& ctx) { return std::string(ctx.info.groups[svc::kLed].family) == "L2"; }

// The first argument of LED_SetCurrentDriving for output `channel` (-1: all).
bool FirstArgument(const Context& ctx, long channel, uint32_t mode, uint32_t* first) {
    if (!IsChannels(ctx)) return channel <= 0 && (*first = mode, true);
    if (channel >= static_cast<long>(kChannelOutputs) || mode > kModeMax) return false;
    *first = (channel < 0 ? 0 : (1u << channel) << kChannelShift) | mode;
    return true;
}

void AddBoardOutputs(const Context& ctx, long channel, Report& r) {
    if (!ctx.virtualBoard) return;
    Json& board = r["board"] = Json::array();
    for (uint32_t n = 0; n < kChannelOutputs; ++n) {
        const svc::BoardLedOutput o = svc::GetBoardLed(n);
        if (!o.exists || (channel >= 0 && n != static_cast<uint32_t>(channel))) continue;
        r.Line("board: LED %u %u mA, duty %u%%, %s\n", n, o.current, o.duty, o.on ? "on" : "off");
        board.push_back({{"output", n}, {"milliamps", o.current}, {"duty_percent", o.duty}, {"on", o.on}});
    }
}

int RunSet(Context& ctx) {
    if (const int rc = RequireGroup(ctx, svc::kLed, "LED drive")) return rc;
    uint32_t channel = 0, mode = 0, value = 0, first = 0;
    const bool all = g_args.channel == "all";
    if (!all && !ParseNumber(g_args.channel, kChannelOutputs, &channel)) return BadUsage("CH must be an output number or 'all'");
    if (!ParseNumber(g_args.mode, UINT32_MAX, &mode) || !ParseNumber(g_args.value, UINT32_MAX, &value)) {
        return BadUsage("--mode and --value must be 32-bit numbers");
    }
    const long output = all ? -1 : static_cast<long>(channel);
    if (!FirstArgument(ctx, output, mode, &first)) {
        return BadUsage(IsChannels(ctx) ? "CH must be 0..3 or 'all', the mode at most 0xFFFF"
                                    : std::string(ctx.info.model) + " has one LED output: CH must be 0");
    }
    if (!LED_SetCurrentDriving(first, value)) {
        return Fail("LED_SetCurrentDriving failed: a mode or value the family refuses, or the MCU did not echo");
    }
    Report r;
    r.Line("LED %s: mode %u, value %u sent (first argument 0x%08X)\n", g_args.channel.c_str(), mode, value, first);
    r.json = {{"output", all ? Json("all") : Json(channel)}, {"mode", mode}, {"value", value},
              {"first_argument", first}};
    AddBoardOutputs(ctx, output, r);
    r.Print();
    return kExitOk;
}

}  // namespace

void AddLedCommand(CLI::App& app, Command& command) {
    auto* led = app.add_subcommand("led", "LED drive current and duty");
    led->require_subcommand(1);
    auto* set = led->add_subcommand("set", "Set the drive of output CH: --mode M --value V");
    set->add_option("channel", g_args.channel, "output: 0..3 on a four-channel driver, 0 otherwise; or 'all'")->required();
    set->add_option("--mode", g_args.mode, "driver mode (0..2; 0..3 on a four-channel driver)")->required();
    set->add_option("--value", g_args.value, "the current or duty value, as the mode reads it")->required();
    set->callback([&command] { command = {RunSet}; });
}

}  // namespace halvexctl
