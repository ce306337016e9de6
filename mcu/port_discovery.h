// MCU port discovery: the device path of a link's COM port from its PortKind.
// The platform inventory answers (Windows registry, Linux sysfs, the virtual
// board's published links); discovery keeps no state and takes no lock.
#pragma once

#include "core/types.h"
#include "os/os.h"

namespace hx {

// 1 when a port was found and `path` (os::kPortPathChars characters) holds
// its device path, 0 otherwise (the buffer is then undefined).
Bool32 FindMcuPort(u32 portKind, os::PathChar* path);

}  // namespace hx
