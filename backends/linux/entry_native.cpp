// Entry points of libhalvex32.so on real hardware: the constructor runs the
// load sequence, the destructor the unload sequence. When hardware access
// cannot be opened the library stays inert and every export returns its
// default.
#include "frame/lifecycle.h"
#include "backends/linux/linux_native.h"

namespace {

__attribute__((constructor)) void HalvexLoad() {
    hx::UseBackend(hx::os::LinuxNativeBackend());
    hx::ProcessAttach();
}

__attribute__((destructor)) void HalvexUnload() { hx::ProcessDetach(); }

}  // namespace
