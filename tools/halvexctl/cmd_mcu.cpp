// halvexctl mcu: the MCU command link for a service technician. "version"
// asks the firmware for its version through MCU_GetVersion; "reset" pulses
// the MCU's reset line (MCU_Reset, on the models that drive it) and asks for
// the version of the restarted firmware; "raw" sends one frame of any code
// and shows the bytes that went out and what came back.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "halvex32.h"
#include "halvex32_service.h"
#include "tools/halvexctl/commands.h"

namespace halvexctl {
namespace {

namespace svc = hx::service;

struct RawRequest {
    std::string kind;
    std::string code;
    std::string word;
};

// "sent:    23 35 00 00 FF FF 56"; in JSON the bytes as numbers.
void AddFrame(Report& r, const char* key, const uint8_t* bytes) {
    r.Line("%-8s", (std::string(key) + ":").c_str());
    Json& list = r[key] = Json::array();
    for (std::size_t i = 0; i < svc::kFrameBytes; ++i) {
        r.Line(" %02X", bytes[i]);
        list.push_back(bytes[i]);
    }
    r.Line("\n");
}

bool AddVersion(Report& r, const char* label) {
    uint32_t version = 0;
    if (!MCU_GetVersion(&version)) return false;
    const std::string dotted =
        Format("%u.%u.%u.%u", version >> 24, (version >> 16) & 0xFF, (version >> 8) & 0xFF, version & 0xFF);
    r.Line("%s: 0x%08X (%s)\n", label, version, dotted.c_str());
    r["version"] = version;
    r["dotted"] = dotted;
    return true;
}

int PrintVersion(Report& r, const char* label) {
    if (!AddVersion(r, label)) return Fail("the MCU did not answer the version query");
    r.Print();
    return kExitOk;
}

int RunVersion(Context& ctx) {
    if (const int rc = RequireGroup(ctx, svc::kMcu, "MCU version support")) return rc;
    Report r;
    return PrintVersion(r, "MCU version");
}

int RunReset(Context& ctx) {
    if (const int rc = RequireGroup(ctx, svc::kMcu, "MCU maintenance")) return rc;
    if (!MCU_Reset()) return NoFeature(std::string(ctx.info.model) + " does not drive the MCU's reset line");
    Report r;
    r.Line("reset pulse sent\n");
    r["reset_sent"] = true;
    if (ctx.virtualBoard) {
        const uint32_t restarts = svc::GetBoardMcu().restarts;
        r.Line("board: MCU restarts %u\n", restarts);
        r["board_mcu_restarts"] = restarts;
    }
    return PrintVersion(r, "MCU version after the restart");
}

svc::FrameKind KindOf(const std::string& kind) {
    if (kind == "post") return svc::FrameKind::Post;
    return kind == "command" ? svc::FrameKind::Command : svc::FrameKind::Query;
}

// What the answer says: an echo, the word of a query, or neither.
void AddAnswer(Report& r, const RawRequest& req, const svc::FrameExchange& x) {
    AddFrame(r, "answer", x.answer);
    r["matches"] = x.matches;
    if (req.kind == "command") {
        r.Line("%s\n", x.matches ? "echoed" : "not an echo of the request");
    } else if (!x.matches) {
        r.Line("not an answer to this query (code or checksum differs)\n");
    } else {
        r.Line("word:    0x%08X\n", x.word);
        r["answer_word"] = x.word;
    }
}

int RunRaw(Context& ctx, const RawRequest& req) {
    uint32_t code = 0, word = 0;
    if (!ParseNumber(req.code, 0xFF, &code)) return BadUsage("CODE must be a byte (0x35, 35h or 53)");
    if (!ParseNumber(req.word, 0xFFFFFFFFul, &word)) return BadUsage("WORD must be a 32-bit number");
    if (const int rc = Require(ctx, ctx.info.mcuLink, "MCU link")) return rc;
    const svc::FrameExchange x = svc::ExchangeFrame(KindOf(req.kind), static_cast<uint8_t>(code), word);
    if (x.result == svc::FrameResult::NoLink) return Fail("the MCU link cannot be opened");
    Report r;
    r.json = {{"kind", req.kind}, {"code", code}, {"word", word}};
    AddFrame(r, "sent", x.sent);
    r["posted"] = x.result == svc::FrameResult::Posted;
    if (x.result == svc::FrameResult::Posted) r.Line("posted; no answer is read\n");
    if (x.result == svc::FrameResult::Answered) AddAnswer(r, req, x);
    r.Print();
    switch (x.result) {
        case svc::FrameResult::Posted: return kExitOk;
        case svc::FrameResult::Answered: return x.matches ? kExitOk : kExitFailed;
        case svc::FrameResult::WriteFailed: return Fail("the frame could not be written");
        default: return Fail("no complete answer within the time-out");
    }
}

}  // namespace

void AddMcuCommand(CLI::App& app, Command& command) {
    auto* mcu = app.add_subcommand("mcu", "The MCU command link: firmware version, reset, raw frames, events");
    mcu->require_subcommand(1);
    mcu->add_subcommand("version", "Query the MCU firmware version")->callback([&command] {
        command = {RunVersion};
    });
    mcu->add_subcommand("reset", "Pulse the MCU's reset line, then query the version")->callback([&command] {
        command = {RunReset};
    });
    auto* raw = mcu->add_subcommand("raw", "Send one frame and show what went out and what came back");
    static RawRequest request;
    raw->add_option("kind", request.kind, "query (answer with the same code), command (echo) or post (no answer)")
        ->required()
        ->check(CLI::IsMember({"query", "command", "post"}));
    raw->add_option("code", request.code, "command code, e.g. 0x35 or 35h")->required();
    raw->add_option("word", request.word, "32-bit payload, e.g. 0xFFFF0000")->required();
    raw->callback([&command] { command = {[](Context& ctx) { return RunRaw(ctx, request); }}; });
    AddMcuWatchCommand(*mcu, command);
}

}  // namespace halvexctl
