// The shared data section of Halvex32.dll.
#pragma once

#include "os/os.h"

namespace hx::os::win32 {

// Four words in the DLL section ".shared" (flag SHARED in the section table).
extern SharedWords SharedSection;

}  // namespace hx::os::win32
