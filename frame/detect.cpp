#include "frame/detect.h"

#include <algorithm>

#include "core/backend.h"
#include "frame/catalog.h"
#include "core/pci_config.h"
#include "core/state.h"

namespace hx {
namespace {

constexpr u8 kFirstText = 0x20;
constexpr u8 kLastText = 0x7F;
constexpr u8 kBlank = 0x20;

// Configuration cycles to device 0, function 0, register 0 of each bus.
constexpr u32 kPciBusShift = 16;
constexpr u32 kPciBusesScanned = 32;
constexpr u32 kPciNothingThere = 0xFFFFFFFF;

u8 g_smbiosText[kSmbiosBufferSize];  // static: the library allocates nothing

}  // namespace

void BlankSmbios(u8* bytes, u32 length) {
    for (u32 i = 0; i < length; ++i) {
        if (bytes[i] < kFirstText || bytes[i] > kLastText) bytes[i] = kBlank;
    }
}

const PlatformOps* FindPlatform() {
    const Backend* backend = CurrentBackend();
    if (!backend) return nullptr;
    const InventoryOps& inv = backend->inventory;
    OsMajorVersion.store(inv.osMajorVersion ? inv.osMajorVersion() : 0);
    if (!inv.readSmbios) return nullptr;

    g_smbiosText[kSmbiosMaxLength] = 0;
    const SmbiosRead read = inv.readSmbios(g_smbiosText, kSmbiosMaxLength);
    if (!read.found) return nullptr;
    const u32 length = std::min(read.reportedLength, kSmbiosMaxLength);
    if (!read.isBinary) return nullptr;
    // Never search bytes the source did not deliver.
    if (read.writtenLength < length) return nullptr;

    BlankSmbios(g_smbiosText, length);
    g_smbiosText[length] = 0;
    return MatchCatalog(reinterpret_cast<const char*>(g_smbiosText));
}

const ExpansionCardOps* FindExpansionCard() {
    for (u32 bus = 0; bus < kPciBusesScanned; ++bus) {
        const u32 id = PciConfigRead32(kPciConfigEnable | (bus << kPciBusShift));
        if (id == kPciNothingThere) continue;
        for (const ExpansionCardOps* card : ExpansionCardCatalog) {
            if (card->pciId == id) return card;
        }
    }
    return nullptr;
}

}  // namespace hx
