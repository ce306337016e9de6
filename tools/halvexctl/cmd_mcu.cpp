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

void PrintFrame(const char* label, const uint8_t* bytes) {
    std::printf("%-8s", label);
    for (std::size_t i = 0; i < svc::kFrameBytes; ++i) std::printf(" %02X", bytes[i]);
    std::printf("\n");
}

int PrintVersion(const char* label) {
    uint32_t version = 0;
    if (!MCU_GetVersion(&version)) return Fail("the MCU did not answer the version query");
    std::printf("%s: 0x%08X (%u.%u.%u.%u)\n", label, version, version >> 24, (version >> 16) & 0xFF,
                (version >> 8) & 0xFF, version & 0xFF);
    return 0;
}

int RunVersion(Context& ctx) {
    if (const int rc = RequireGroup(ctx, svc::kMcu, "MCU version support")) return rc;
    return PrintVersion("MCU version");
}

int RunReset(Context& ctx) {
    if (const int rc = RequireGroup(ctx, svc::kMcu, "MCU maintenance")) return rc;
    if (!MCU_Reset()) return Fail(std::string(ctx.info.model) + " does not drive the MCU's reset line");
    std::printf("reset pulse sent\n");
    if (ctx.virtualBoard) std::printf("board: MCU restarts %u\n", svc::GetBoardMcu().restarts);
    return PrintVersion("MCU version after the restart");
}

svc::FrameKind KindOf(const std::string& kind) {
    if (kind == "post") return svc::FrameKind::Post;
    return kind == "command" ? svc::FrameKind::Command : svc::FrameKind::Query;
}

int RunRaw(Context& ctx, const RawRequest& r) {
    uint32_t code = 0, word = 0;
    if (!ParseNumber(r.code, 0xFF, &code)) return Fail("CODE must be a byte (0x35, 35h or 53)");
    if (!ParseNumber(r.word, 0xFFFFFFFFul, &word)) return Fail("WORD must be a 32-bit number");
    if (const int rc = Require(ctx, ctx.info.mcuLink, "MCU link")) return rc;
    const svc::FrameExchange x = svc::ExchangeFrame(KindOf(r.kind), static_cast<uint8_t>(code), word);
    if (x.result == svc::FrameResult::NoLink) return Fail("the MCU link cannot be opened");
    PrintFrame("sent:", x.sent);
    switch (x.result) {
        case svc::FrameResult::Posted:
            std::printf("posted; no answer is read\n");
            return 0;
        case svc::FrameResult::Answered:
            break;
        case svc::FrameResult::WriteFailed:
            return Fail("the frame could not be written");
        default:
            return Fail("no complete answer within the time-out");
    }
    PrintFrame("answer:", x.answer);
    if (r.kind == "command") {
        std::printf("%s\n", x.matches ? "echoed" : "not an echo of the request");
    } else if (!x.matches) {
        std::printf("not an answer to this query (code or checksum differs)\n");
    } else {
        std::printf("word:    0x%08X\n", x.word);
    }
    return x.matches ? 0 : 1;
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
