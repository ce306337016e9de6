// halvexctl mcu: the MCU command link for a service technician. "version"
// asks the firmware for its version; "raw" sends one frame of any code and
// shows the bytes that went out and what came back.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/library_lock.h"
#include "mcu/frame.h"
#include "mcu/link.h"
#include "tools/halvexctl/commands.h"

namespace halvexctl {
namespace {

constexpr hx::u8 kVersionQuery = 0xFF;

struct RawRequest {
    std::string kind;
    std::string code;
    std::string word;
};

// Accepts 0x35, 35h and plain decimal.
bool ParseNumber(const std::string& text, unsigned long max, hx::u32* out) {
    std::string t = text;
    int base = 0;
    if (!t.empty() && (t.back() == 'h' || t.back() == 'H')) {
        t.pop_back();
        base = 16;
    }
    if (t.empty()) return false;
    char* end = nullptr;
    const unsigned long v = std::strtoul(t.c_str(), &end, base);
    if (*end != '\0' || v > max) return false;
    *out = static_cast<hx::u32>(v);
    return true;
}

void PrintFrame(const char* label, const hx::u8* bytes, hx::u32 count) {
    std::printf("%-8s", label);
    for (hx::u32 i = 0; i < count; ++i) std::printf(" %02X", bytes[i]);
    std::printf("\n");
}

bool OpenLink(Context& ctx) {
    if (!ctx.loaded) return false;
    return hx::OpenMcuLink(hx::serialPortMcu) != 0;
}

int RunVersion(Context& ctx) {
    if (!OpenLink(ctx)) return Fail("the MCU link cannot be opened");
    hx::u32 version = 0;
    hx::Bool32 ok;
    {
        hx::LibraryLockGuard lock;
        ok = hx::McuQuery(kVersionQuery, &version);
    }
    if (!ok) return Fail("the MCU did not answer the version query");
    std::printf("MCU version: 0x%08X (%u.%u.%u.%u)\n", version, version >> 24, (version >> 16) & 0xFF,
                (version >> 8) & 0xFF, version & 0xFF);
    return 0;
}

int RunRaw(Context& ctx, const RawRequest& r) {
    hx::u32 code = 0, word = 0;
    if (!ParseNumber(r.code, 0xFF, &code)) return Fail("CODE must be a byte (0x35, 35h or 53)");
    if (!ParseNumber(r.word, 0xFFFFFFFFul, &word)) return Fail("WORD must be a 32-bit number");
    if (!OpenLink(ctx)) return Fail("the MCU link cannot be opened");
    hx::TransactBuffer frame = {};
    hx::BuildFrame(static_cast<hx::u8>(code), word, frame);
    PrintFrame("sent:", frame, hx::kFrameSize);
    if (r.kind == "post") {
        hx::LibraryLockGuard lock;
        if (!hx::McuPost(static_cast<hx::u8>(code), word)) return Fail("the frame could not be written");
        std::printf("posted; no answer is read\n");
        return 0;
    }
    hx::TransactBuffer answer = {};
    std::memcpy(answer, frame, hx::kFrameSize);
    hx::Bool32 ok;
    {
        hx::LibraryLockGuard lock;
        ok = hx::McuTransact(answer);
    }
    if (!ok) return Fail("no complete answer within the time-out");
    PrintFrame("answer:", answer, hx::kFrameSize);
    if (r.kind == "command") {
        const bool echoed = std::memcmp(answer, frame, hx::kFrameSize) == 0;
        std::printf("%s\n", echoed ? "echoed" : "not an echo of the request");
        return echoed ? 0 : 1;
    }
    const bool matches = answer[hx::kFrameCode] == code && answer[hx::kFrameChecksum] == hx::FrameChecksum(answer);
    if (!matches) {
        std::printf("not an answer to this query (code or checksum differs)\n");
        return 1;
    }
    std::printf("word:    0x%08X\n", hx::FramePayload(answer));
    return 0;
}

}  // namespace

void AddMcuCommand(CLI::App& app, Runner& run) {
    auto* mcu = app.add_subcommand("mcu", "The MCU command link: firmware version, raw frames");
    mcu->require_subcommand(1);
    mcu->add_subcommand("version", "Query the MCU firmware version")->callback([&run] { run = RunVersion; });
    auto* raw = mcu->add_subcommand("raw", "Send one frame and show what went out and what came back");
    static RawRequest request;
    raw->add_option("kind", request.kind, "query (answer with the same code), command (echo) or post (no answer)")
        ->required()
        ->check(CLI::IsMember({"query", "command", "post"}));
    raw->add_option("code", request.code, "command code, e.g. 0x35 or 35h")->required();
    raw->add_option("word", request.word, "32-bit payload, e.g. 0xFFFF0000")->required();
    raw->callback([&run] { run = [](Context& ctx) { return RunRaw(ctx, request); }; });
}

}  // namespace halvexctl
