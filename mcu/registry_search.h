// The Windows registry search of MCU port discovery, written against a small
// registry interface so that one implementation serves the Windows DLL (the
// real registry) and the tests (a registry of their own). Keys are opened
// below HKEY_LOCAL_MACHINE for reading; text is UTF-16.
#pragma once

#include <cstdint>

#include "core/types.h"

namespace hx {

using RegChar = char16_t;
using RegKey = std::uintptr_t;  // 0: no key
inline constexpr RegKey kNoRegKey = 0;

struct RegistrySource {
    // Opens HKLM\path for reading; kNoRegKey on failure.
    RegKey (*openKey)(const RegChar* path);
    // Number of sub-keys of an open key.
    bool (*subKeyCount)(RegKey key, u32* count);
    // Name of sub-key `index`; `capacity` characters with the NUL.
    bool (*enumSubKey)(RegKey key, u32 index, RegChar* name, u32 capacity);
    // Value data: *size holds the room in bytes and receives the bytes stored.
    bool (*queryValue)(RegKey key, const RegChar* name, u8* data, u32* size);
    void (*closeKey)(RegKey key);
    // Opens the device path as the link would (read/write, no sharing,
    // overlapped) and closes it again; true when the open succeeded.
    bool (*testOpen)(const RegChar* devicePath);
};

// Buffer limits of the searches.
inline constexpr u32 kRegKeyPathChars = 256;      // key paths, NUL included
inline constexpr u32 kRegSubKeyNameChars = 255;   // room offered for a sub-key name
inline constexpr u32 kAllocConfigBytes = 1020;
inline constexpr u32 kEnumListValueBytes = 2048;  // instance values and PortName of the list search
inline constexpr u32 kPortNameBytes = 16383;      // PortName on the other paths
inline constexpr u32 kDevicePathChars = 16;       // "\\.\" + port name + NUL

// OS major version from which the USB kinds are searched in the serial
// drivers' enumeration lists.
inline constexpr u32 kFirstOsWithDriverLists = 10;

// Finds the port of `portKind`; 1 with the device path in `path`
// (kDevicePathChars characters), 0 when not found. PCI kinds read the
// function's revision through HwAccess.
Bool32 RegistryFindMcuPort(const RegistrySource& registry, u32 osMajor, u32 portKind, RegChar* path);

// The search of one serial driver's enumeration list (OS major 10 and later).
Bool32 FindPortByServiceEnum(const RegistrySource& registry, const RegChar* enumKey, const RegChar* instancePrefix,
                             RegChar* path);

}  // namespace hx
