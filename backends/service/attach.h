// Between the two halves of the service access: the library side loads on
// any back-end, the virtual side sets up the board and hands over its own.
#pragma once

#include "core/backend.h"
#include "halvex32_service.h"

namespace hx::service {

// Chooses `backend`, runs the load sequence and remembers `board` (the
// virtual board model, "" on real hardware) for GetInfo.
Load AttachTo(const Backend* backend, const char* board);

// After the unload: off any shared virtual machine, and this process's own
// names removed (virtual_service.cpp).
void LeaveVirtualBoard();

}  // namespace hx::service
