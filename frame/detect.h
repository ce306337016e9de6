// Load-time detection: the model from the SMBIOS table, the PoE expansion
// card from a scan of the PCI buses.
#pragma once

#include "core/platform_ops.h"
#include "core/types.h"

namespace hx {

// SMBIOS text limits: the registry query gets a 4096-byte buffer and is
// offered 4095 of them, so the text always ends in a NUL.
inline constexpr u32 kSmbiosBufferSize = 4096;
inline constexpr u32 kSmbiosMaxLength = kSmbiosBufferSize - 1;

// Turns raw SMBIOS bytes into one searchable text: every byte outside
// 20h..7Fh becomes a blank.
void BlankSmbios(u8* bytes, u32 length);

const PlatformOps* FindPlatform();  // also sets OsMajorVersion
const ExpansionCardOps* FindExpansionCard();

}  // namespace hx
