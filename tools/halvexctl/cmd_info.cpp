// halvexctl info: the detected model, the family in each slot group, the
// expansion card, and whether hardware access is open.
#include <cstdio>

#include "core/backend.h"
#include "frame/catalog.h"
#include "core/state.h"
#include "sim/models.h"
#include "tools/halvexctl/commands.h"

namespace halvexctl {
namespace {

const char* OrDash(const char* family) { return family ? family : "-"; }

void PrintGroups(const hx::PlatformOps& p) {
    const struct {
        const char* group;
        const char* family;
    } rows[] = {
        {"WDT", p.wdt.family},       {"DIO", p.dio.family},   {"DICOS", p.dicos.family},
        {"PoE", p.poe.family},       {"DTIO/DTFO", p.trigger.family}, {"IGN", p.ign.family},
        {"CAN", p.can.family},       {"PWM", p.pwm.family},   {"MCU", p.mcu.family},
        {"LED", p.led.family},       {"ADC", p.adc.family},   {"QEI", p.qei.family},
        {"DT2", p.dt2.family},       {"init", p.init.family},
    };
    for (const auto& r : rows) std::printf("  %-10s %s\n", r.group, OrDash(r.family));
}

int RunInfo(Context& ctx) {
    const hx::Backend* backend = hx::CurrentBackend();
    std::printf("back-end:        %s%s%s\n", backend ? backend->name : "-",
                ctx.virtualBoard ? ", board " : "", ctx.virtualBoard ? ctx.model.c_str() : "");
    std::printf("hardware access: %s\n", ctx.loaded ? "open" : "not open (library refused to load)");
    const hx::PlatformOps* p = hx::CurrentPlatform.load();
    std::printf("model:           %s\n", p ? p->modelKey : "none detected");
    std::printf("OS major:        %u\n", hx::OsMajorVersion.load());
    const hx::ExpansionCardOps* card = hx::CurrentCard.load();
    std::printf("expansion card:  %s\n", card ? card->name : "none");
    if (p) {
        std::printf("slot groups:\n");
        PrintGroups(*p);
    }
    return 0;
}

int RunModels(Context&) {
    for (const hx::sim::BoardModel& m : hx::sim::kBoardModels) std::printf("%s\n", m.name);
    return 0;
}

}  // namespace

void AddInfoCommand(CLI::App& app, Runner& run) {
    app.add_subcommand("info", "Show the detected model, its driver families and the expansion card")
        ->callback([&run] { run = RunInfo; });
    app.add_subcommand("models", "List the virtual board models")->callback([&run] { run = RunModels; });
}

}  // namespace halvexctl
