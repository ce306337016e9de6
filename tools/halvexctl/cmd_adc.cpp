// halvexctl adc: the analog inputs of the MCU. "read CH" prints the
// voltage at a channel (ADC_GetData), and with --watch once every interval
// until Ctrl-C or --for; "start" and "stop" send the MCU a start or stop
// word as they are (the virtual firmware reads it as channel n at bit n, 0
// for every channel; docs/virtual-firmware.md). On the virtual board,
// "board adc CH VOLTS" sets the voltage at an input.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "halvex32.h"
#include "halvex32_service.h"
#include "tools/halvexctl/commands.h"

namespace halvexctl {
namespace {

namespace svc = hx::service;

constexpr Ms kDefaultIntervalMs = 500;

struct AdcArgs {
    std::string channel;
    std::string word;
    std::string volts;
    bool watch = false;
    std::string interval;
    std::string duration;
};
AdcArgs g_args;

int RequireAdc(const Context& ctx) { return RequireGroup(ctx, svc::kAdc, "ADC"); }

bool ReadChannel(uint32_t channel) {
    double volts = 0;
    if (!ADC_GetData(channel, &volts)) return false;
    Emit({{"channel", channel}, {"volts", volts}}, Format("ADC %u: %.3f V\n", channel, volts));
    return true;
}

std::optional<Ms> DurationOr(const std::string& text, std::optional<Ms> otherwise) {
    return text.empty() ? otherwise : ParseDuration(text);
}

int RunRead(Context& ctx) {
    if (const int rc = RequireAdc(ctx)) return rc;
    uint32_t channel = 0;
    if (!ParseNumber(g_args.channel, UINT32_MAX, &channel)) return BadUsage("CH must be a channel number");
    const std::optional<Ms> interval = DurationOr(g_args.interval, kDefaultIntervalMs);
    const std::optional<Ms> limit = DurationOr(g_args.duration, std::nullopt);
    if (!interval || *interval == 0) return BadUsage("bad --interval '" + g_args.interval + "'");
    if (!g_args.duration.empty() && !limit) return BadUsage("bad --for '" + g_args.duration + "'");
    if (!ReadChannel(channel)) return Fail("ADC_GetData failed: the MCU did not answer for channel " + g_args.channel);
    if (!g_args.watch) return 0;
    CatchInterrupt(true);
    for (Ms elapsed = 0; !Interrupted() && !(limit && elapsed + *interval > *limit); elapsed += *interval) {
        SleepMs(*interval);
        if (!Interrupted() && !ReadChannel(channel)) return CatchInterrupt(false), Fail("ADC_GetData failed");
    }
    CatchInterrupt(false);
    return 0;
}

int RunStartStop(Context& ctx, bool start) {
    if (const int rc = RequireAdc(ctx)) return rc;
    uint32_t word = 0;
    if (!ParseNumber(g_args.word, UINT32_MAX, &word)) return BadUsage("WORD must be a 32-bit number");
    if (!(start ? ADC_Start(word) : ADC_Stop(word))) {
        return Fail(std::string(start ? "ADC_Start" : "ADC_Stop") + " failed: the MCU did not take it");
    }
    return 0;
}

// "board adc CH VOLTS": the voltage at the input, then what the firmware reads there.
int RunBoardAdc(Context& ctx) {
    if (const int rc = RequireVirtualBoard(ctx)) return rc;
    uint32_t channel = 0;
    char* end = nullptr;
    const double volts = std::strtod(g_args.volts.c_str(), &end);
    if (!ParseNumber(g_args.channel, UINT32_MAX, &channel)) return BadUsage("CH must be a channel number");
    if (g_args.volts.empty() || *end != '\0' || volts < 0) return BadUsage("VOLTS must be a voltage such as 12.5");
    if (!svc::SetBoardAdcVolts(channel, volts)) {
        const std::string missing = std::string(ctx.info.board) + " has no analog input";
        return svc::GetBoardAdc(0).exists ? BadUsage(missing + " " + g_args.channel) : NoFeature(missing + "s");
    }
    const svc::BoardAdcInput in = svc::GetBoardAdc(channel);
    Emit({{"channel", channel}, {"volts", in.volts}, {"reading", in.reading}, {"sampling", in.sampling}},
         Format("ADC %u: %.3f V at the input, reading %u%s\n", channel, in.volts, in.reading,
                in.sampling ? "" : " (held: the channel is stopped)"));
    return kExitOk;
}

}  // namespace

void AddAdcCommand(CLI::App& app, Command& command) {
    auto* adc = app.add_subcommand("adc", "The MCU's analog inputs");
    adc->require_subcommand(1);
    auto* read = adc->add_subcommand("read", "Print the voltage at channel CH");
    read->add_option("channel", g_args.channel, "channel number")->required();
    read->add_flag("--watch", g_args.watch, "keep reading until Ctrl-C");
    read->add_option("--interval", g_args.interval, "--watch: time between readings (default 500ms)");
    read->add_option("--for", g_args.duration, "--watch: stop after this long, e.g. 10s");
    read->callback([&command] { command = {RunRead}; });
    for (const bool start : {true, false}) {
        auto* sub = adc->add_subcommand(start ? "start" : "stop", start ? "Send ADC_Start with WORD" : "Send ADC_Stop with WORD");
        sub->add_option("word", g_args.word, "32-bit word (virtual board: channel n at bit n, 0 every channel)")->required();
        sub->callback([&command, start] { command = {[start](Context& ctx) { return RunStartStop(ctx, start); }}; });
    }
    auto* board = BoardSubcommand(app).add_subcommand("adc", "Set the voltage at an analog input: CH VOLTS");
    board->add_option("channel", g_args.channel, "channel number")->required();
    board->add_option("volts", g_args.volts, "volts at the input")->required();
    board->callback([&command] { command = {RunBoardAdc}; });
}

}  // namespace halvexctl
