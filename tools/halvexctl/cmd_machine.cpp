// halvexctl board reset|destroy: the shared virtual machine as a whole. Both
// act on the machine of the model and HALVEX_VIRTUAL_BOARD without loading
// the library on it (a load and unload would leave their own traces).
#include <cstdio>
#include <string>

#include "tools/halvexctl/commands.h"

namespace halvexctl {
namespace {

namespace svc = hx::service;

constexpr int kUsage = 2;

using MachineCall = svc::MachineAction (*)(const char* model);

int Report(const Context& ctx, MachineCall call, const char* done, const char* absent) {
    if (!ctx.virtualBoard) {
        std::fprintf(stderr, "halvexctl: 'board' acts on the virtual machine; use --virtual\n");
        return kUsage;
    }
    const svc::MachineAction a = call(ctx.model.c_str());
    const std::string machine = std::string(a.model) + " board '" + a.board + "' (/dev/shm" + a.object + ")";
    switch (a.result) {
        case svc::MachineResult::Done:
            std::printf("%s: %s\n", machine.c_str(), done);
            return 0;
        case svc::MachineResult::Absent:
            std::printf("%s: %s\n", machine.c_str(), absent);
            return 0;
        case svc::MachineResult::UnknownModel:
            std::fprintf(stderr, "halvexctl: unknown virtual board model '%s' (see 'halvexctl models')\n", ctx.model.c_str());
            return kUsage;
        case svc::MachineResult::Failed:
            break;
    }
    return Fail(machine + ": cannot open it");
}

int RunReset(Context& ctx) {
    return Report(ctx, svc::ResetSharedVirtualBoard, "back at power-on; every process on it sees it",
                  "not running; the next process on it powers it on");
}

int RunDestroy(Context& ctx) {
    return Report(ctx, svc::DestroySharedVirtualBoard, "destroyed; the next process on it creates it afresh",
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
