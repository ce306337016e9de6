// The platform inventory on Windows: the raw SMBIOS table that Windows keeps
// in the registry, and the OS major version from ntdll.
#pragma once

#include "core/backend.h"

namespace hx::os::win32 {

// Reads HKLM\SYSTEM\CurrentControlSet\Services\mssmbios\Data "SMBiosData".
// A value longer than `capacity` is read whole into a larger static buffer
// and its first `capacity` bytes are delivered, so that the detection always
// searches bytes the registry actually returned.
SmbiosRead ReadRegistrySmbios(u8* buffer, u32 capacity);

// RtlGetVersion's major version (the real one, not the compatibility value
// GetVersionEx reports); 0 when ntdll or the function is missing.
u32 RtlMajorVersion();

}  // namespace hx::os::win32
