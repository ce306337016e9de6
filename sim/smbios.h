// Generator of raw SMBIOS structure tables: BIOS information (type 0),
// system information (type 1), baseboard information (type 2) and the
// end-of-table marker (type 127), each with its string set.
#pragma once

#include "core/types.h"

namespace hx::sim {

struct SmbiosIdentity {
    const char* biosVendor;
    const char* biosVersion;
    const char* biosDate;
    const char* systemManufacturer;
    const char* productName;
    const char* systemVersion;
    const char* serialNumber;
    const char* boardManufacturer;
    const char* boardProduct;
    const char* boardVersion;
};

// Writes the table into `out`; returns its length, or 0 when it does not fit.
u32 BuildSmbiosTable(const SmbiosIdentity& id, u8* out, u32 capacity);

// Windows keeps the table in the registry behind an 8-byte header
// (calling method, major, minor, DMI revision, 32-bit table length).
inline constexpr u32 kRawSmbiosHeader = 8;
u32 BuildRegistrySmbiosData(const SmbiosIdentity& id, u8* out, u32 capacity);

}  // namespace hx::sim
