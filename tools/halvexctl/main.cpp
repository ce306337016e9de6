// halvexctl: the Halvex32 library at a shell prompt.
#include <CLI/CLI.hpp>

#include "tools/halvexctl/commands.h"
#include "tools/halvexctl/context.h"

namespace {

constexpr char kExitCodes[] =
    "Exit codes: 0 ok, 1 the operation failed, 2 usage (bad arguments or values, unknown model,\n"
    "a line, port or channel outside the model's range), 3 the model has no such feature.\n"
    "Errors go to stderr as \"halvexctl: ...\" lines, also with --json.";

}  // namespace

int main(int argc, char** argv) {
    using namespace halvexctl;
    CLI::App app{"halvexctl: watchdog, DIO, PoE and MCU features of the supported industrial PCs"};
    app.require_subcommand(1);
    app.set_version_flag("--version", "halvexctl " HALVEX32_VERSION);
    app.footer(kExitCodes);
    app.fallthrough();  // the options below also after the subcommand
    Context ctx;
    std::string model;
    auto* virt = app.add_option("--virtual", model, "Run on the virtual board of MODEL (default: a full-featured one)")
                     ->expected(0, 1)
                     ->type_name("MODEL");
    bool json = false;
    app.add_flag("--json", json, "Readings as JSON objects, one per line (events: one per line as they come)");
    Command command;
    AddInfoCommand(app, command);
    AddModelsCommand(app, command);
    AddWdtCommand(app, command);
    AddMcuCommand(app, command);
    AddDioCommand(app, command);
    AddBoardCommand(app, command);
    AddMachineCommand(app, command);
    AddPoeCommand(app, command);
    AddDicosCommand(app, command);
    AddDt2Command(app, command);
    AddCanCommand(app, command);
    AddQeiCommand(app, command);
    AddAdcCommand(app, command);
    AddLedCommand(app, command);
    AddPwmCommand(app, command);
    AddTriggerCommand(app, command);
    AddIgnCommand(app, command);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == kExitOk ? kExitOk : kExitUsage;
    }
    ctx.virtualBoard = virt->count() > 0;
    ctx.model = model;
    SetJsonOutput(json);
    if (!command.run) return BadUsage("no command");
    if (!command.loads) return command.run(ctx);
    if (!Attach(ctx)) return kExitUsage;
    const int rc = command.run(ctx);
    Detach(ctx);
    return rc;
}
