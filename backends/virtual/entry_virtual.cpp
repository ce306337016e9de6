// Entry points of libhalvex32-virtual.so: the library on the virtual board.
// HALVEX_VIRTUAL_MODEL names the model (default: one with every feature);
// HALVEX_VIRTUAL_NO_ACCESS=1 makes hardware access fail to open. Each process
// is a virtual machine of its own, with its own shared words and MCU channel.
#include <cstdlib>
#include <cstring>

#include "frame/lifecycle.h"
#include "os/os.h"
#include "os/posix/machine_names.h"
#include "sim/virtual_board.h"

namespace {

constexpr char kModelVariable[] = "HALVEX_VIRTUAL_MODEL";
constexpr char kNoAccessVariable[] = "HALVEX_VIRTUAL_NO_ACCESS";

__attribute__((constructor)) void HalvexVirtualLoad() {
    const char* model = std::getenv(kModelVariable);
    if (!model || !*model) model = hx::sim::kDefaultModel;
    if (!hx::sim::SetUpBoard(model)) {
        hx::os::Diagnostic("unknown virtual board model in HALVEX_VIRTUAL_MODEL; using the default");
        hx::sim::SetUpBoard(hx::sim::kDefaultModel);
    }
    const char* noAccess = std::getenv(kNoAccessVariable);
    hx::sim::TheBoardState().faults.openFails = noAccess && std::strcmp(noAccess, "1") == 0;
    hx::os::UseMachinePrivateNames();
    hx::UseBackend(hx::sim::VirtualBackend());
    if (!hx::ProcessAttach()) {
        hx::os::Diagnostic("hardware access unavailable: the virtual board refused to open (HALVEX_VIRTUAL_NO_ACCESS=1)");
    }
}

__attribute__((destructor)) void HalvexVirtualUnload() {
    hx::ProcessDetach();
    hx::os::RemoveMachinePrivateNames();
}

}  // namespace
