// Entry points of libhalvex32-virtual.so: the library on the virtual board.
// HALVEX_VIRTUAL_MODEL names the model (default: one with every feature);
// HALVEX_VIRTUAL_BOARD names the board (default "default"); every process
// with the same two is on one shared machine (sim/posix/shared_machine.h),
// with its shared words and MCU channel. HALVEX_VIRTUAL_NO_ACCESS=1 makes
// hardware access fail to open in this process.
#include <cstdlib>
#include <cstring>

#include "frame/lifecycle.h"
#include "os/os.h"
#include "os/posix/machine_names.h"
#include "sim/posix/shared_machine.h"
#include "sim/virtual_board.h"

namespace {

constexpr char kModelVariable[] = "HALVEX_VIRTUAL_MODEL";
constexpr char kNoAccessVariable[] = "HALVEX_VIRTUAL_NO_ACCESS";

const hx::sim::BoardModel& ChosenModel() {
    const char* name = std::getenv(kModelVariable);
    if (const hx::sim::BoardModel* model = hx::sim::FindBoardModel(name && *name ? name : hx::sim::kDefaultModel)) {
        return *model;
    }
    hx::os::Diagnostic("unknown virtual board model in HALVEX_VIRTUAL_MODEL; using the default");
    return *hx::sim::FindBoardModel(hx::sim::kDefaultModel);
}

// The shared machine, or a board of this process's own when it cannot be had.
void TakeBoard(const hx::sim::BoardModel& model) {
    const char* board = hx::sim::SharedBoardName();
    const hx::sim::MachineJoin join = hx::sim::JoinSharedMachine(model, board);
    if (join == hx::sim::MachineJoin::Created || join == hx::sim::MachineJoin::Joined) {
        hx::os::UseMachineNames(model.name, board);
        return;
    }
    hx::os::Diagnostic("the shared virtual machine cannot be opened; this process runs on a board of its own");
    hx::sim::SetUpBoard(model.name);
    hx::os::UseMachinePrivateNames();
}

__attribute__((constructor)) void HalvexVirtualLoad() {
    TakeBoard(ChosenModel());
    const char* noAccess = std::getenv(kNoAccessVariable);
    hx::sim::TheBoard().RefuseOpen(noAccess && std::strcmp(noAccess, "1") == 0);
    hx::UseBackend(hx::sim::VirtualBackend());
    if (!hx::ProcessAttach()) {
        hx::os::Diagnostic("hardware access unavailable: the virtual board refused to open (HALVEX_VIRTUAL_NO_ACCESS=1)");
    }
}

__attribute__((destructor)) void HalvexVirtualUnload() {
    hx::ProcessDetach();
    hx::sim::LeaveSharedMachine();
    hx::os::RemoveMachinePrivateNames();
}

}  // namespace
