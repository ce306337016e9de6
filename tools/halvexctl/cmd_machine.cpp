// halvexctl board reset|destroy: the shared virtual machine as a whole. Both
// act on the machine of the model and HALVEX_VIRTUAL_BOARD without loading
// the library on it (a load and unload would leave their own traces).
#include <cstdio>
#include <string>

#include "tools/halvexctl/commands.h"

namespace halvexctl {
namespace {

namespace svc = hx::service;

using MachineCall = svc::MachineAction (*)(const char* model);

int ActOnMachine(const Context& ctx, MachineCall call, const char* done, const char* absent) {
    if (const int rc = RequireVirtualBoard(ctx)) return rc;
    const svc::MachineAction a = call(ctx.model.c_str());
    const std::string machine = std::string(a.model) + " board '" + a.board + "' (/dev/shm" + a.object + ")";
    switch (a.result) {
        case svc::MachineResult::Done:
            std::printf("%s: %s\n", machine.c_str(), done);
            return kExitOk;
        case svc::MachineResult::Absent:
            std::printf("%s: %s\n", machine.c_str(), absent);
            return kExitOk;
        case svc::MachineResult::UnknownModel:
            return UnknownModel(ctx.model);
        case svc::MachineResult::Failed:
            break;
    }
    return Fail(machine + ": cannot open it");
}

int RunReset(Context& ctx) {
    return ActOnMachine(ctx, svc::ResetSharedVirtualBoard, "back at power-on; every process on it sees it",
                  "not running; the next process on it powers it on");
}

int RunDestroy(Context& ctx) {
    return ActOnMachine(ctx, svc::DestroySharedVirtualBoard, "destroyed; the next process on it creates it afresh",
                  "nothing to destroy");
}

}  // namespace

void AddMachineCommand(CLI::App& app, Command& command) {
    CLI::App& board = BoardSubcommand(app);
    board.add_subcommand("reset", "Return the shared virtual machine to power-on state, in place")
        ->callback([&command] { command = {RunReset, false}; });
    board.add_subcommand("destroy", "Remove the shared virtual machine's objects (state, shared words, MCU channel)")
        ->callback([&command] { command = {RunDestroy, false}; });
}

}  // namespace halvexctl
