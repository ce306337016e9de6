// halvexctl info: the detected model, the family in each slot group, the
// expansion card, and whether hardware access is open.
// halvexctl models: the virtual board models (nothing is loaded).
#include <cstdio>

#include "halvex32_service.h"
#include "tools/halvexctl/commands.h"

namespace halvexctl {
namespace {

const char* OrDash(const char* text) { return *text ? text : "-"; }

int RunInfo(Context& ctx) {
    const hx::service::Info& info = ctx.info;
    std::printf("back-end:        %s%s%s\n", OrDash(info.backend), *info.board ? ", board " : "", info.board);
    std::printf("hardware access: %s\n", info.accessOpen ? "open" : "not open (library refused to load)");
    std::printf("model:           %s\n", *info.model ? info.model : "none detected");
    std::printf("OS major:        %u\n", info.osMajor);
    std::printf("expansion card:  %s\n", *info.expansionCard ? info.expansionCard : "none");
    if (!*info.model) return 0;
    std::printf("slot groups:\n");
    for (const hx::service::SlotGroup& g : info.groups) std::printf("  %-10s %s\n", g.name, OrDash(g.family));
    return 0;
}

int RunModels(Context&) {
    for (std::size_t i = 0; const char* name = hx::service::VirtualModel(i); ++i) std::printf("%s\n", name);
    return 0;
}

}  // namespace

void AddInfoCommand(CLI::App& app, Command& command) {
    app.add_subcommand("info", "Show the detected model, its driver families and the expansion card")
        ->callback([&command] { command = {RunInfo}; });
    app.add_subcommand("models", "List the virtual board models")->callback([&command] {
        command = {RunModels, false};
    });
}

}  // namespace halvexctl
