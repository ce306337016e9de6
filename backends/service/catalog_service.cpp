// The service access to the library's catalog: the family in each slot group
// of every model, straight from frame/catalog (for `halvexctl models`).
#include "backends/service/catalog_groups.h"
#include "frame/catalog.h"
#include "halvex32_service.h"

namespace hx::service {
namespace {

constexpr const char* kGroupNames[kGroupCount] = {
    "WDT", "DIO", "DICOS", "PoE", "DTIO/DTFO", "IGN", "CAN", "PWM", "MCU", "LED", "ADC", "QEI", "DT2", "init",
};

const char* OrEmpty(const char* text) { return text ? text : ""; }

}  // namespace

void FillGroups(const PlatformOps& p, SlotGroup* groups) {
    const char* const families[kGroupCount] = {
        p.wdt.family, p.dio.family, p.dicos.family, p.poe.family, p.trigger.family, p.ign.family, p.can.family,
        p.pwm.family, p.mcu.family, p.led.family,   p.adc.family, p.qei.family,     p.dt2.family, p.init.family,
    };
    for (std::size_t i = 0; i < kGroupCount; ++i) groups[i] = {kGroupNames[i], OrEmpty(families[i])};
}

bool GetCatalogEntry(std::size_t index, CatalogEntry* entry) {
    if (index >= kPlatformCount || !entry) return false;
    const PlatformOps& p = PlatformCatalog[index];
    *entry = {p.modelKey, {}, p.dio.inputLines, p.dio.outputLines};
    FillGroups(p, entry->groups);
    return true;
}

}  // namespace hx::service
