// COM-port discovery of the Windows DLL: the registry search of
// mcu/registry_search.h on the real registry.
#pragma once

#include "core/types.h"
#include "mcu/registry_search.h"

namespace hx::os::win32 {

// The Windows registry as a RegistrySource.
const RegistrySource& WindowsRegistry();

// InventoryOps::findMcuPort of the Windows DLL: searches for `portKind` by
// the OS major version found at load.
bool FindMcuPortInRegistry(u32 portKind, wchar_t* path);

}  // namespace hx::os::win32
