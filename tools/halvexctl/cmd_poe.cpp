// halvexctl poe: PoE port power, on the board or on the expansion card.
//   status [PORT...] [--card [INDEX]]
//   on|off PORT... [--card [INDEX]]
// Without PORT, status shows every port. On the virtual board --card plugs
// an expansion card (8086:1521, behind a switch on bus 2) before the load.
#include <cstdio>
#include <string>
#include <vector>

#include "halvex32.h"
#include "halvex32_service.h"
#include "tools/halvexctl/commands.h"

namespace halvexctl {
namespace {

namespace svc = hx::service;

constexpr uint32_t kVirtualCardId = 0x15218086;
constexpr uint8_t kVirtualCardBridgeBus = 2;

struct PoeOptions {
    std::vector<uint32_t> ports;
    std::vector<CLI::Option*> cardOptions;  // --card of each subcommand
    uint32_t cardIndex = 0;
    bool Card() const {
        for (const CLI::Option* o : cardOptions) {
            if (o->count()) return true;
        }
        return false;
    }
};
PoeOptions g_options;

// The ports the command acts on: on the board, or on the card.
struct Target {
    bool card;
    uint32_t index;
    uint32_t first, last;
    std::string name;  // "Trelo-11" or "the card at index 0"
};

std::string Range(const Target& t) { return std::to_string(t.first) + ".." + std::to_string(t.last); }

int Resolve(Context& ctx, Target& t) {
    if (!g_options.Card()) {
        if (const int rc = RequireGroup(ctx, svc::kPoe, "PoE ports")) return rc;
        t = {false, 0, 1, svc::PoeLastPort(), ctx.info.model};
        if (!t.last) return NoFeature(t.name + " has no PoE ports enabled");
        return 0;
    }
    if (!ctx.loaded) return Fail("hardware access is not open");
    if (!*ctx.info.expansionCard) return NoFeature("no PoE expansion card found");
    const uint32_t indexes = svc::PoeCardIndexCount();
    if (g_options.cardIndex >= indexes) {
        return BadUsage("card index " + std::to_string(g_options.cardIndex) + " is outside 0.." + std::to_string(indexes - 1));
    }
    t = {true, g_options.cardIndex, 1, svc::PoeCardPortCount(),
         std::string("the ") + ctx.info.expansionCard + " card at index " + std::to_string(g_options.cardIndex)};
    return 0;
}

int CheckPorts(const Target& t, const std::vector<uint32_t>& ports) {
    for (uint32_t p : ports) {
        if (p < t.first || p > t.last) {
            return BadUsage("port " + std::to_string(p) + " is outside the PoE ports of " + t.name + ": " + Range(t));
        }
    }
    return 0;
}

svc::PoeChannel ChannelOf(const Target& t, uint32_t port) {
    return t.card ? svc::PoeCardChannel(t.index, port) : svc::PoePortChannel(port);
}

bool PortOn(const Target& t, uint32_t port) {
    return (t.card ? PCI_GetStatusPoEPort(t.index, port) : GetStatusPoEPort(static_cast<uint8_t>(port))) != 0;
}

bool Switch(const Target& t, uint32_t port, bool on) {
    if (t.card) return (on ? PCI_EnablePoEPort(t.index, port) : PCI_DisablePoEPort(t.index, port)) != 0;
    const auto p = static_cast<uint8_t>(port);
    return (on ? EnablePoEPort(p) : DisablePoEPort(p)) != 0;
}

// A virtual board shows, beside the library's answer, whether the port's
// device actually gets power.
void AddRow(const Context& ctx, const Target& t, uint32_t port, Report& r) {
    const svc::PoeChannel ch = ChannelOf(t, port);
    const bool on = PortOn(t, port);
    Json row = {{"port", port}, {"on", on}, {"controller", ch.controller}, {"channel", ch.channel}};
    r.Line("%-5u %-6s %-18s", port, on ? "on" : "off", Format("%02Xh/%u", ch.controller, ch.channel).c_str());
    if (ctx.virtualBoard) {
        const svc::BoardPoePort b = t.card ? svc::GetBoardCardPort(t.index, port) : svc::GetBoardPoePort(port);
        r.Line("  %s", b.exists ? (b.powered ? "powered" : "no power") : "not on this board");
        row["on_board"] = b.exists;
        row["powered"] = b.exists && b.powered;
    }
    r.Line("\n");
    r["ports"].push_back(row);
}

void PrintTable(const Context& ctx, const Target& t, const std::vector<uint32_t>& ports) {
    Report r;
    r.Line("%-5s %-6s %s%s\n", "port", "state", "controller/channel", ctx.virtualBoard ? "  board" : "");
    r.json = {{"card", t.card ? Json(t.index) : Json()}, {"ports", Json::array()}};
    for (uint32_t p : ports) AddRow(ctx, t, p, r);
    r.Print();
}

// Loads the library (with the card plugged in, on the virtual board), then
// resolves the ports and runs `body`.
template <typename Body>
int WithPorts(Context& ctx, Body body) {
    if (ctx.virtualBoard) {
        const uint32_t index = g_options.cardIndex < svc::PoeCardIndexCount() ? g_options.cardIndex : 0;
        svc::PlugBoardCard(g_options.Card() ? kVirtualCardId : 0, kVirtualCardBridgeBus, index);
    }
    if (!Attach(ctx)) return kExitUsage;
    Target t{};
    int rc = Resolve(ctx, t);
    if (!rc) rc = body(t);
    Detach(ctx);
    return rc;
}

int RunStatus(Context& ctx) {
    return WithPorts(ctx, [&](const Target& t) {
        std::vector<uint32_t> ports = g_options.ports;
        if (const int rc = CheckPorts(t, ports)) return rc;
        for (uint32_t p = t.first; ports.empty() && p <= t.last; ++p) g_options.ports.push_back(p);
        PrintTable(ctx, t, ports.empty() ? g_options.ports : ports);
        return 0;
    });
}

int RunSwitch(Context& ctx, bool on) {
    return WithPorts(ctx, [&](const Target& t) {
        if (const int rc = CheckPorts(t, g_options.ports)) return rc;
        for (uint32_t p : g_options.ports) {
            if (!Switch(t, p, on)) return Fail("port " + std::to_string(p) + " refused");
        }
        PrintTable(ctx, t, g_options.ports);
        return 0;
    });
}

void AddCardOption(CLI::App* sub) {
    g_options.cardOptions.push_back(
        sub->add_option("--card", g_options.cardIndex, "The expansion card's ports; INDEX 0..7 (default 0)")
            ->expected(0, 1)
            ->type_name("INDEX"));
}

}  // namespace

void AddPoeCommand(CLI::App& app, Command& command) {
    CLI::App* poe = app.add_subcommand("poe", "PoE port power: status, on, off");
    poe->require_subcommand(1);

    CLI::App* status = poe->add_subcommand("status", "Show each port's state and its controller/channel");
    status->add_option("PORT", g_options.ports, "Ports (default: all)");
    AddCardOption(status);
    status->callback([&command] { command = {RunStatus, false}; });

    for (const bool on : {true, false}) {
        CLI::App* sub = poe->add_subcommand(on ? "on" : "off", on ? "Switch port power on" : "Switch port power off");
        sub->add_option("PORT", g_options.ports, "Ports")->required();
        AddCardOption(sub);
        sub->callback([&command, on] { command = {[on](Context& ctx) { return RunSwitch(ctx, on); }, false}; });
    }
}

}  // namespace halvexctl
