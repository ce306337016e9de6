// Each command family registers its subcommands here.
#pragma once

#include <CLI/CLI.hpp>

#include "tools/halvexctl/context.h"

namespace halvexctl {

// A subcommand sets `run`; main attaches the library, runs it, detaches.
using Runner = std::function<int(Context&)>;

void AddInfoCommand(CLI::App& app, Runner& run);
void AddWdtCommand(CLI::App& app, Runner& run);
void AddMcuCommand(CLI::App& app, Runner& run);

}  // namespace halvexctl
