// halvexctl models: the virtual board models (nothing is loaded).
#include <cstdio>

#include "halvex32_service.h"
#include "tools/halvexctl/commands.h"

namespace halvexctl {
namespace {

int RunModels(Context&) {
    for (std::size_t i = 0; const char* name = hx::service::VirtualModel(i); ++i) std::printf("%s\n", name);
    return 0;
}

}  // namespace

void AddModelsCommand(CLI::App& app, Command& command) {
    app.add_subcommand("models", "List the virtual board models")->callback([&command] {
        command = {RunModels, false};
    });
}

}  // namespace halvexctl
