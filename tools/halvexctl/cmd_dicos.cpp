// halvexctl dicos watch: the MCU reports changes of the watched inputs as
// events (DI change of state), printed as libgpiod's gpiomon prints them:
// "<seconds> rising|falling <line>", rising = the input became active.
// "di monitor" uses the same events on the models that have them.
#include <atomic>
#include <chrono>
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

constexpr Ms kDemoStepMs = 200;  // --demo: one input changes this often
constexpr Ms kPollMs = 10;
constexpr uint32_t kMaxLines = 16;

struct WatchArgs {
    std::string lines;
    bool rising = false;
    bool falling = false;
    std::string duration;  // empty: until interrupted
    bool demo = false;
};
WatchArgs g_args;

std::chrono::steady_clock::time_point g_start;
std::atomic<uint32_t> g_shown{0};  // the lines whose changes are printed

double Seconds() { return std::chrono::duration<double>(std::chrono::steady_clock::now() - g_start).count(); }

// On the library's receive thread: one line per changed line.
void HX_CALLBACK OnEvent(DiEventRecord* e) {
    const double at = Seconds();
    const uint32_t changed = e->eventValue & g_shown.load();
    for (uint32_t line = 0; line < kMaxLines; ++line) {
        const uint32_t bit = 1u << line;
        if (changed & bit) EmitEdge(at, line, (e->inputState & bit) != 0);
    }
}

// --demo on the virtual board: walks one active input across the watched lines.
void DemoStep(Ms elapsed, uint32_t lines) {
    static Ms nextAt = 0;
    if (elapsed < nextAt || lines == 0) return;
    const uint32_t step = static_cast<uint32_t>(elapsed / kDemoStepMs);
    uint32_t nth = step % static_cast<uint32_t>(__builtin_popcount(lines));
    for (uint32_t line = 0; line < kMaxLines; ++line) {
        if (lines & (1u << line)) svc::SetBoardInput(line, nth-- == 0);
    }
    nextAt = (step + 1) * kDemoStepMs;
}

struct Watch {
    DicosSetup setup;
    std::optional<Ms> limit;
    bool demo;
};

// Registers the callback, sets up and starts the events, waits, stops.
int RunWatch(const Context& ctx, Watch w) {
    if (w.demo && !ctx.virtualBoard) return BadUsage("--demo drives the virtual board's inputs; use --virtual");
    g_shown.store(w.setup.lineMask);
    RegisterCallbackDICOS(OnEvent);
    if (!SetupDICOS(&w.setup, sizeof w.setup)) {
        char mask[8];
        std::snprintf(mask, sizeof mask, "%04X", w.setup.lineMask);
        return Fail(std::string("SetupDICOS refused the lines ") + mask + "h on " + ctx.info.model);
    }
    if (!StartDICOS()) return Fail(std::string("StartDICOS failed on ") + ctx.info.model);
    CatchInterrupt(true);
    for (Ms elapsed = 0; !Interrupted() && !(w.limit && elapsed >= *w.limit);) {
        if (w.demo) DemoStep(elapsed, w.setup.lineMask & ((1u << svc::GetBoardDioLines().inputCount) - 1));
        SleepMs(kPollMs);
        elapsed = static_cast<Ms>(Seconds() * kMsPerSecond);
    }
    CatchInterrupt(false);
    StopDICOS();
    RegisterCallbackDICOS(nullptr);
    return 0;
}

int RunDicosWatch(Context& ctx) {
    if (const int rc = RequireGroup(ctx, svc::kDicos, "DI change-of-state events")) return rc;
    char* end = nullptr;
    const unsigned long mask = std::strtoul(g_args.lines.c_str(), &end, 0);
    if (g_args.lines.empty() || *end != '\0' || mask == 0 || mask > 0xFFFF) {
        return BadUsage("--lines takes a mask of input lines, line n at bit n, e.g. 0x0F");
    }
    if (g_args.rising && g_args.falling) return BadUsage("--rising and --falling exclude each other (neither: both edges)");
    const auto limit = g_args.duration.empty() ? std::optional<Ms>{} : ParseDuration(g_args.duration);
    if (!g_args.duration.empty() && !limit) return BadUsage("--for takes a duration such as 10s or 5m");
    const auto lines = static_cast<uint16_t>(mask);
    // modeMask: the lines that count one kind of edge; polarityMask: of
    // those, the ones whose edge is the one to active.
    const bool oneEdge = g_args.rising || g_args.falling;
    const DicosSetup setup{lines, oneEdge ? lines : uint16_t{0}, g_args.rising ? lines : uint16_t{0}};
    g_start = std::chrono::steady_clock::now();
    return RunWatch(ctx, {setup, limit, g_args.demo});
}

}  // namespace

int MonitorInputsByEvents(Context& ctx, std::optional<Ms> limit, bool demo) {
    const uint32_t lines = ctx.info.diLines < kMaxLines ? (1u << ctx.info.diLines) - 1 : 0xFFFF;
    g_start = std::chrono::steady_clock::now();
    EmitInitialLines(DIReadPort(), ctx.info.diLines);
    return RunWatch(ctx, {{static_cast<uint16_t>(lines), 0, 0}, limit, demo});
}

void AddDicosCommand(CLI::App& app, Command& command) {
    auto* dicos = app.add_subcommand("dicos", "DI change-of-state events of the MCU");
    dicos->require_subcommand(1);
    auto* watch = dicos->add_subcommand("watch", "Print input changes as the MCU reports them, until Ctrl-C");
    watch->add_option("--lines", g_args.lines, "input lines to watch, line n at bit n, e.g. 0x0F")->required();
    watch->add_flag("--rising", g_args.rising, "only the changes to active");
    watch->add_flag("--falling", g_args.falling, "only the changes to inactive");
    watch->add_option("--for", g_args.duration, "stop after this long, e.g. 10s");
    watch->add_flag("--demo", g_args.demo, "virtual board: walk an active input across the watched lines");
    watch->callback([&command] { command = {RunDicosWatch}; });
}

}  // namespace halvexctl
