#pragma once

namespace hx::os {

// Name of the POSIX shared-memory object holding the shared words. Tests
// point it elsewhere so that parallel test processes do not meet.
void SetSharedWordsName(const char* name);
const char* SharedWordsName();

}  // namespace hx::os
