#include "mcu/port_discovery.h"

#include "core/backend.h"

namespace hx {

Bool32 FindMcuPort(u32 portKind, os::PathChar* path) {
    const Backend* backend = CurrentBackend();
    if (!backend || !backend->inventory.findMcuPort) return kFalse;
    return backend->inventory.findMcuPort(portKind, path) ? kTrue : kFalse;
}

}  // namespace hx
