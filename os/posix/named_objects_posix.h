#pragma once

namespace hx::os {

// Name of the POSIX shared-memory object that carries the named objects of
// the link sharing. Tests point it elsewhere so that parallel test processes
// do not meet.
void SetSharedLinkName(const char* name);
const char* SharedLinkName();

}  // namespace hx::os
