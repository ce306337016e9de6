// halvexctl dt2: the MCU's DT2 trigger engine and the board's status lines.
// "setup" sends the eight-word record (words not given are 0), "start",
// "stop", "unit" and "result" send one command each, "push" and "pull"
// drive and sample the status lines, and "watch" prints the indexed events
// as they arrive, answering each one when asked to. On the virtual board
// --drive sets what a device outside does to a status line, push and pull
// show the lines afterwards, and watch --fire fires the engine's trigger lines.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "halvex32.h"
#include "halvex32_service.h"
#include "tools/halvexctl/commands.h"

namespace halvexctl {
namespace {

namespace svc = hx::service;

constexpr std::size_t kSetupWords = 8;
constexpr uint32_t kIndexedReporting = 0x0C00;  // control word: bit 10 or 11 asks for events
constexpr uint32_t kIndexMask = 0xFF;           // the event's index: its low byte
constexpr Ms kFireGapMs = 50;
constexpr Ms kPollMs = 100;

struct Dt2Args {
    std::vector<std::string> words;  // setup words, or the command's numbers
    std::vector<std::string> drive;  // NAME=0|1|z
    std::vector<std::string> fire;   // trigger line masks
    std::string answer;              // watch: result sent for each index
    std::string duration;            // watch: empty = until interrupted
};
Dt2Args g_args;
int g_answer = -1;  // -1: events are not answered

bool ParseWords(const std::vector<std::string>& texts, uint32_t* words, std::size_t count, unsigned long long max) {
    if (texts.size() != count) return false;
    for (std::size_t i = 0; i < count; ++i) {
        if (!ParseNumber(texts[i], max, &words[i])) return false;
    }
    return true;
}

int Usage(const std::string& what) { return BadUsage("usage: dt2 " + what); }

int RequireDt2(const Context& ctx) { return RequireGroup(ctx, svc::kDt2, "DT2 trigger engine"); }

int Sent(bool ok, const char* what) {
    if (!ok) return Fail(std::string(what) + " failed: the MCU did not take it");
    return 0;
}

bool FindLine(const std::string& name, uint32_t* line) {
    for (uint32_t n = 0; n < svc::BoardStatusLineCount(); ++n) {
        if (name == svc::GetBoardStatusLine(n).name) return *line = n, true;
    }
    return false;
}

// NAME=1, NAME=0 or NAME=z (let go), on the virtual board only.
int ApplyDrives(const Context& ctx) {
    if (!g_args.drive.empty() && !ctx.virtualBoard) return BadUsage("--drive needs the virtual board");
    for (const std::string& item : g_args.drive) {
        const std::size_t eq = item.find('=');
        const std::string level = eq == std::string::npos ? "" : item.substr(eq + 1);
        uint32_t line = 0;
        if (!FindLine(item.substr(0, eq), &line) || (level != "0" && level != "1" && level != "z")) {
            return BadUsage("'" + item + "' is not NAME=0|1|z of a status line of " + ctx.info.model);
        }
        svc::DriveBoardStatusLine(line, level == "z" ? -1 : level == "1");
    }
    return 0;
}

// "SO0=1(out) ... SI0=0(in)": the lines as a device on them sees them.
void AddStatusLines(const Context& ctx, Report& r) {
    if (!ctx.virtualBoard) return;
    r.Line("lines:");
    Json& lines = r["lines"] = Json::array();
    for (uint32_t n = 0; n < svc::BoardStatusLineCount(); ++n) {
        const svc::BoardStatusLine l = svc::GetBoardStatusLine(n);
        r.Line(" %s=%u(%s)", l.name, l.high ? 1u : 0u, l.output ? "out" : "in");
        lines.push_back({{"name", l.name}, {"high", l.high}, {"output", l.output}});
    }
    r.Line("\n");
}

int RunSetup(Context& ctx) {
    if (const int rc = RequireDt2(ctx)) return rc;
    Dt2Setup record{};
    const std::size_t given = g_args.words.size();
    if (given == 0 || given > kSetupWords || !ParseWords(g_args.words, record.words, given, UINT32_MAX)) {
        return Usage("setup WORD... (one to eight 32-bit words; the rest are 0)");
    }
    if (!DT2_Setup(&record, sizeof record)) {
        return Fail("DT2_Setup failed: a source code that " + std::string(ctx.info.model) +
                    " does not know, no DT2 events on this model, or the MCU did not take the words");
    }
    return 0;
}

int RunStart(Context& ctx) {
    const int rc = RequireDt2(ctx);
    return rc ? rc : Sent(DT2_Start(), "DT2_Start");
}
int RunStop(Context& ctx) {
    const int rc = RequireDt2(ctx);
    return rc ? rc : Sent(DT2_Stop(), "DT2_Stop");
}

int RunUnit(Context& ctx) {
    if (const int rc = RequireDt2(ctx)) return rc;
    uint32_t args[2] = {0, 0};
    if (g_args.words.empty() || g_args.words.size() > 2 || !ParseWords(g_args.words, args, g_args.words.size(), UINT32_MAX)) {
        return Usage("unit UNIT [ADJUST]");
    }
    if (const int rc = Sent(DT2_SetUnit(args[0], args[1]), "DT2_SetUnit")) return rc;
    const uint32_t unit = DT2_GetUnit();
    Emit({{"unit", unit}}, Format("unit %u\n", unit));
    return kExitOk;
}

int RunResult(Context& ctx) {
    if (const int rc = RequireDt2(ctx)) return rc;
    uint32_t args[2] = {0, 0};
    if (!ParseWords(g_args.words, args, 2, 0xFF)) return Usage("result INDEX RESULT (0..255 each)");
    return Sent(DT2_EiSendResult(static_cast<uint8_t>(args[0]), static_cast<uint8_t>(args[1])), "DT2_EiSendResult");
}

int RunPush(Context& ctx) {
    if (const int rc = RequireDt2(ctx)) return rc;
    uint32_t args[2] = {0, 0};
    if (!ParseWords(g_args.words, args, 2, UINT32_MAX)) return Usage("push MASK VALUE");
    if (const int rc = ApplyDrives(ctx)) return rc;
    DT2_StPush(args[0], args[1]);
    Report r;
    AddStatusLines(ctx, r);
    if (ctx.virtualBoard) r.Print();
    return kExitOk;
}

int RunPull(Context& ctx) {
    if (const int rc = RequireDt2(ctx)) return rc;
    if (const int rc = ApplyDrives(ctx)) return rc;
    uint32_t values = 0;
    if (!DT2_StPull(&values)) return Fail("DT2_StPull failed");
    Report r;
    r.Line("status inputs %02X\n", values);
    r["status_inputs"] = values;
    AddStatusLines(ctx, r);
    r.Print();
    return kExitOk;
}

void HX_CALLBACK OnIndexed(uint32_t event) {
    const uint8_t index = static_cast<uint8_t>(event & kIndexMask);
    Json json = {{"event", "dt2_indexed"}, {"index", index}, {"payload", event}};
    std::string text = Format("DT2 indexed  index %02X  payload %08X", index, event);
    if (g_answer >= 0) {
        const bool sent = DT2_EiSendResult(index, static_cast<uint8_t>(g_answer));
        text += Format(sent ? "  answered %02X" : "  answer %02X failed", g_answer);
        json["answer"] = g_answer;
        json["answered"] = sent;
    }
    Emit(json, text + "\n");
}

// With --setup the record is sent and the engine started (the setup starts
// the event threads when the record asks for events); without, the threads
// are started for an engine set up before.
int StartWatch(Context& ctx, bool* started) {
    if (g_args.words.empty()) {
        if (svc::StartEventWatch() == svc::Watch::Started) return 0;
        return Fail("the MCU link of " + std::string(ctx.info.model) + " cannot be opened, or it has no event receiver");
    }
    uint32_t control = 0;
    if (ParseNumber(g_args.words[0], UINT32_MAX, &control) && (control & kIndexedReporting) == 0) {
        return BadUsage("the setup record asks for no indexed events (control word bit 10 or 11)");
    }
    if (const int rc = RunSetup(ctx)) return rc;
    if (!DT2_Start()) return Fail("DT2_Start failed: the MCU did not take it");
    *started = true;
    return 0;
}

int FireLines(const Context& ctx) {
    std::vector<uint32_t> masks;
    for (const std::string& text : g_args.fire) {
        uint32_t mask = 0;
        if (!ParseNumber(text, UINT32_MAX, &mask)) return BadUsage("bad --fire '" + text + "': a mask of trigger lines");
        masks.push_back(mask);
    }
    if (!masks.empty() && !ctx.virtualBoard) return BadUsage("--fire needs the virtual board");
    for (const uint32_t mask : masks) {
        const uint32_t events = svc::FireBoardDt2Lines(mask);
        Emit({{"event", "fired"}, {"mask", mask}, {"events", events}},
             Format("fired %08X: %u event(s)\n", mask, events));
        SleepMs(kFireGapMs);
    }
    return 0;
}

int RunWatch(Context& ctx) {
    if (const int rc = RequireDt2(ctx)) return rc;
    std::optional<Ms> duration;
    if (!g_args.duration.empty() && !(duration = ParseDuration(g_args.duration))) {
        return BadUsage("bad --for '" + g_args.duration + "'");
    }
    uint32_t answer = 0;
    if (!g_args.answer.empty() && !ParseNumber(g_args.answer, 0xFF, &answer)) return BadUsage("bad --answer '" + g_args.answer + "': 0..255");
    g_answer = g_args.answer.empty() ? -1 : static_cast<int>(answer);
    DT2_EiRegisterIndexed(OnIndexed);
    bool started = false;
    int rc = StartWatch(ctx, &started);
    if (rc == 0) {
        CatchInterrupt(true);
        NoteWatching("DT2 indexed events", duration.has_value());
        rc = FireLines(ctx);
        for (Ms waited = 0; rc == 0 && !Interrupted() && (!duration || waited < *duration); waited += kPollMs) SleepMs(kPollMs);
        CatchInterrupt(false);
    }
    if (started) DT2_Stop();
    svc::StopEventWatch();
    DT2_EiRegisterIndexed(nullptr);
    return rc;
}

void Add(CLI::App& dt2, Command& command, const char* name, const char* help, int (*run)(Context&)) {
    auto* sub = dt2.add_subcommand(name, help);
    sub->callback([&command, run] { command = {run}; });
}

}  // namespace

void AddDt2Command(CLI::App& app, Command& command) {
    auto* dt2 = app.add_subcommand("dt2", "DT2 trigger engine and status lines");
    dt2->require_subcommand(1);
    auto* setup = dt2->add_subcommand("setup", "Send the setup record (source fields as source codes)");
    setup->add_option("WORDS", g_args.words, "one to eight 32-bit words; the rest are 0")->required();
    setup->callback([&command] { command = {RunSetup}; });
    Add(*dt2, command, "start", "Start the engine", RunStart);
    Add(*dt2, command, "stop", "Stop the engine", RunStop);
    auto* unit = dt2->add_subcommand("unit", "Set the time unit: UNIT x 80 + ADJUST");
    unit->add_option("UNIT_ADJUST", g_args.words, "UNIT [ADJUST]")->required();
    unit->callback([&command] { command = {RunUnit}; });
    auto* result = dt2->add_subcommand("result", "Answer an indexed event");
    result->add_option("INDEX_RESULT", g_args.words, "INDEX RESULT")->required();
    result->callback([&command] { command = {RunResult}; });
    auto* push = dt2->add_subcommand("push", "Drive the status outputs: bit n of VALUE to output n (where MASK bit n is set)");
    push->add_option("MASK_VALUE", g_args.words, "MASK VALUE")->required();
    push->add_option("--drive", g_args.drive, "virtual board: a device drives status line NAME=0|1|z");
    push->callback([&command] { command = {RunPush}; });
    auto* pull = dt2->add_subcommand("pull", "Sample the status inputs");
    pull->add_option("--drive", g_args.drive, "virtual board: a device drives status line NAME=0|1|z");
    pull->callback([&command] { command = {RunPull}; });
    auto* watch = dt2->add_subcommand("watch", "Print the indexed events as they arrive, until Ctrl-C");
    watch->add_option("--setup", g_args.words, "send this record and start the engine first");
    watch->add_option("--answer", g_args.answer, "answer each index with this result (0..255)");
    watch->add_option("--fire", g_args.fire, "virtual board: fire these trigger lines (a mask; repeatable)");
    watch->add_option("--for", g_args.duration, "stop after this long (500ms, 5s, 1m)");
    watch->callback([&command] { command = {RunWatch}; });
}

}  // namespace halvexctl
