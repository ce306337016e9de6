// halvexctl: the Halvex32 library at a shell prompt.
#include <CLI/CLI.hpp>

#include "tools/halvexctl/commands.h"
#include "tools/halvexctl/context.h"

int main(int argc, char** argv) {
    using namespace halvexctl;
    CLI::App app{"halvexctl: watchdog, DIO, PoE and MCU features of the supported industrial PCs"};
    app.require_subcommand(1);
    app.set_version_flag("--version", "halvexctl " HALVEX32_VERSION);
    Context ctx;
    std::string model;
    auto* virt = app.add_option("--virtual", model, "Run on the virtual board of MODEL (default: a full-featured one)")
                     ->expected(0, 1)
                     ->type_name("MODEL");
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
        return app.exit(e);
    }
    ctx.virtualBoard = virt->count() > 0;
    ctx.model = model;
    if (!command.run) return Fail("no command");
    if (!command.loads) return command.run(ctx);
    if (!Attach(ctx)) return 1;
    const int rc = command.run(ctx);
    Detach(ctx);
    return rc;
}
