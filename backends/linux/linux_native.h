#pragma once

#include "core/backend.h"

namespace hx::os {

// Real hardware under Linux: ports through iopl(3), physical words through
// /dev/mem, SMBIOS from sysfs, the kernel's major version from uname.
const Backend* LinuxNativeBackend();

// Reads the raw SMBIOS table from `path` (a sysfs DMI table file).
SmbiosRead ReadSmbiosFile(const char* path, u8* buffer, u32 capacity);

}  // namespace hx::os
