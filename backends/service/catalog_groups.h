// The slot groups of a catalog row as the service header names them, for
// GetInfo (the detected model) and GetCatalogEntry (every model).
#pragma once

#include "core/platform_ops.h"
#include "halvex32_service.h"

namespace hx::service {

// groups[i] = {name of group i, family in it or ""}, for all kGroupCount groups.
void FillGroups(const PlatformOps& p, SlotGroup* groups);

}  // namespace hx::service
