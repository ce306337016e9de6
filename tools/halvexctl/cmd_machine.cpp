// halvexctl board reset|destroy: the shared virtual machine as a whole.
#include "tools/halvexctl/commands.h"

namespace halvexctl {

void AddMachineCommand(CLI::App&, Command&) {}

}  // namespace halvexctl
