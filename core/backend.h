// The two things a build plugs into the portable core: the hardware access
// back-end (port I/O and 32-bit physical words) and the platform inventory
// (SMBIOS bytes, OS major version, COM-port discovery). The Windows DLL uses WinIo and the
// registry, the Linux library iopl, /dev/mem and sysfs, the virtual build the
// simulated board. One back-end is chosen before the load sequence runs.
#pragma once

#include "core/types.h"
#include "os/os.h"

namespace hx {

struct HwOps {
    bool (*open)();
    void (*close)();
    bool (*readPort)(u16 port, u32* value, u8 size);
    bool (*writePort)(u16 port, u32 value, u8 size);
    bool (*readPhys32)(u32 address, u32* value);
    bool (*writePhys32)(u32 address, u32 value);
};

// Outcome of reading the raw SMBIOS structure table.
struct SmbiosRead {
    bool found = false;       // the source exists and could be opened
    bool isBinary = false;    // the value has the binary type (always true off Windows)
    u32 reportedLength = 0;   // length of the whole table as the source reports it
    u32 writtenLength = 0;    // bytes actually stored into the caller's buffer
};

struct InventoryOps {
    // Copies up to `capacity` bytes of the raw SMBIOS table into `buffer`.
    SmbiosRead (*readSmbios)(u8* buffer, u32 capacity);
    // Major version of the running OS, 0 when unknown.
    u32 (*osMajorVersion)();
    // Device path of the COM port of a PortKind (mcu/port_kind.h) into
    // `path` (16 characters with the NUL); false when not found.
    bool (*findMcuPort)(u32 portKind, os::PathChar* path) = nullptr;
};

struct Backend {
    const char* name;
    HwOps hw;
    InventoryOps inventory;
    // RegisterWinIOService: installs the access driver as a service; empty
    // where the back-end has none (the export then returns 0).
    u32 (*registerService)() = nullptr;
};

// Selects the back-end used by HwAccess and detection. Must be called before
// the load sequence; the pointer is kept (backends are static constants).
void UseBackend(const Backend* backend);
const Backend* CurrentBackend();

}  // namespace hx
