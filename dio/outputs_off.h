#pragma once

namespace hx {

// Switches every output of the GPIO byte block at 600h..605h off (driver D4
// and the unload step of its platform). The caller holds the library lock.
void AllOutputsOff();

}  // namespace hx
