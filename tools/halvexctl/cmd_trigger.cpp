// halvexctl dtio, halvexctl dtfo: the MCU's two trigger I/O blocks. "setup"
// sends the words given (none: an empty record), "start" and "stop" switch
// the block and with it the board's I/O routing, "unit" sets the time unit
// and prints the unit the library keeps. On the virtual board every command
// then prints the block as the board's firmware holds it (running, unit word
// and tick length, setup words, prepares, the hold line where the board has
// one) and where the output drivers are routed.
#include <cstdio>
#include <string>
#include <vector>

#include "halvex32.h"
#include "halvex32_service.h"
#include "tools/halvexctl/commands.h"

namespace halvexctl {
namespace {

namespace svc = hx::service;

constexpr std::size_t kSetupWordsMax = 16;
constexpr std::size_t kSetupWordsShown = 3;
constexpr unsigned long long kUnitMax = 0xFFFF;
constexpr unsigned long long kWordMax = 0xFFFFFFFFull;
constexpr char kHeldDialect[] = "short, held by a line";

// The exports of one block.
struct BlockExports {
    const char* name;  // "DTIO", "DTFO"
    svc::TriggerBlock block;
    HX_BOOL(HX_API* setup)(void*, uint32_t);
    HX_BOOL(HX_API* start)(void);
    HX_BOOL(HX_API* stop)(void);
    HX_BOOL(HX_API* setUnit)(uint16_t, uint32_t);
    uint16_t(HX_API* getUnit)(void);
};

const BlockExports kDtio{"DTIO", svc::TriggerBlock::Dtio, SetupDTIO, StartDTIO, StopDTIO, SetUnitDTIO, GetUnitDTIO};
const BlockExports kDtfo{"DTFO", svc::TriggerBlock::Dtfo, SetupDTFO, StartDTFO, StopDTFO, SetUnitDTFO, GetUnitDTFO};

struct TriggerArgs {
    const BlockExports* block = &kDtio;
    std::vector<std::string> words;
    std::string unit;
    std::string adjust = "0";
};
TriggerArgs g_args;

std::string WordsText(const uint32_t* words, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) text += (i ? " " : "") + std::to_string(words[i]);
    return text.empty() ? "-" : text;
}

// The setup words shown: up to the last one that is not 0, words 0..2
// (lines, delay, width or period) always.
std::size_t SetupUsed(const svc::BoardTriggerBlock& b) {
    std::size_t used = kSetupWordsMax;
    while (used > kSetupWordsShown && b.setup[used - 1] == 0) --used;
    return used;
}

void AddBoard(const Context& ctx, Report& r) {
    if (!ctx.virtualBoard) return;
    const svc::BoardTriggerBlock b = svc::GetBoardTriggerBlock(g_args.block->block);
    const std::size_t used = SetupUsed(b);
    r.Line("board %s: %s, unit word %u (tick %.1f ns), setup %s, prepares %u, firmware %s", g_args.block->name,
           b.running ? "running" : "stopped", b.unitWord, b.tickNs, WordsText(b.setup, used).c_str(), b.prepares, b.dialect);
    Json& board = r["board"] = {{"block", g_args.block->name}, {"running", b.running}, {"unit_word", b.unitWord},
                                {"tick_ns", b.tickNs}, {"setup", std::vector<uint32_t>(b.setup, b.setup + used)},
                                {"prepares", b.prepares}, {"firmware", b.dialect}};
    if (std::string(b.dialect) == kHeldDialect) {
        r.Line(", hold line %s", b.held ? "high" : "low");
        board["hold_line_high"] = b.held;
    }
    const char* routing = svc::GetBoardDioLines().routing;
    r.Line("\nrouting: %s\n", routing);
    r["routing"] = routing;
}

int RequireTrigger(const Context& ctx) { return RequireGroup(ctx, svc::kTrigger, "trigger I/O (DTIO, DTFO)"); }

// The board as the command left it, then the result.
int Finish(const Context& ctx, Report& r, bool ok, const std::string& what) {
    AddBoard(ctx, r);
    if (!r.json.empty()) r.Print();
    return ok ? kExitOk : Fail(what + g_args.block->name + " failed: the MCU did not take it");
}

int Finish(const Context& ctx, bool ok, const std::string& what) {
    Report r;
    return Finish(ctx, r, ok, what);
}

int RunSetup(Context& ctx) {
    if (const int rc = RequireTrigger(ctx)) return rc;
    std::vector<uint32_t> record(g_args.words.size());
    if (record.size() > kSetupWordsMax) return BadUsage("setup takes at most 16 words");
    for (std::size_t i = 0; i < record.size(); ++i) {
        if (!ParseNumber(g_args.words[i], kWordMax, &record[i])) return BadUsage("bad setup word '" + g_args.words[i] + "'");
    }
    const bool ok = g_args.block->setup(record.data(), static_cast<uint32_t>(record.size() * sizeof(uint32_t)));
    Report r;
    r.Line("record %s\n", WordsText(record.data(), record.size()).c_str());
    r["record"] = record;
    return Finish(ctx, r, ok, "Setup");
}

int RunStart(Context& ctx) {
    const int rc = RequireTrigger(ctx);
    return rc ? rc : Finish(ctx, g_args.block->start(), "Start");
}
int RunStop(Context& ctx) {
    const int rc = RequireTrigger(ctx);
    return rc ? rc : Finish(ctx, g_args.block->stop(), "Stop");
}

int RunUnit(Context& ctx) {
    if (const int rc = RequireTrigger(ctx)) return rc;
    uint32_t unit = 0, adjust = 0;
    if (!ParseNumber(g_args.unit, kUnitMax, &unit)) return BadUsage("bad UNIT '" + g_args.unit + "': 0..65535");
    if (!ParseNumber(g_args.adjust, kWordMax, &adjust)) return BadUsage("bad --adjust '" + g_args.adjust + "'");
    const bool ok = g_args.block->setUnit(static_cast<uint16_t>(unit), adjust);
    const uint16_t kept = g_args.block->getUnit();
    Report r;
    r.Line("%s unit %u\n", g_args.block->name, kept);
    r["unit"] = kept;
    return Finish(ctx, r, ok, "SetUnit");
}

void AddBlock(CLI::App& app, Command& command, const char* name, const BlockExports& block) {
    auto* sub = app.add_subcommand(name, std::string("Trigger I/O block ") + block.name);
    sub->require_subcommand(1);
    sub->callback([&block] { g_args.block = &block; });
    auto* setup = sub->add_subcommand("setup", "Send the setup words (word k with the block's code + k)");
    setup->add_option("WORDS", g_args.words, "32-bit words; none: an empty record");
    setup->callback([&command, &block] { g_args.block = &block, command = {RunSetup}; });
    auto* start = sub->add_subcommand("start", "Start the block: the I/O lines go to trigger operation");
    start->callback([&command, &block] { g_args.block = &block, command = {RunStart}; });
    auto* stop = sub->add_subcommand("stop", "Stop the block: the I/O lines go back to DIO");
    stop->callback([&command, &block] { g_args.block = &block, command = {RunStop}; });
    auto* unit = sub->add_subcommand("unit", "Set the time unit (UNIT x 80 + ADJUST, or x 25 on the older firmware)");
    unit->add_option("UNIT", g_args.unit, "0..65535")->required();
    unit->add_option("--adjust", g_args.adjust, "added to the unit word (32-bit)");
    unit->callback([&command, &block] { g_args.block = &block, command = {RunUnit}; });
}

}  // namespace

void AddTriggerCommand(CLI::App& app, Command& command) {
    AddBlock(app, command, "dtio", kDtio);
    AddBlock(app, command, "dtfo", kDtfo);
}

}  // namespace halvexctl
