#include "tools/halvexctl/context.h"

#include <cstdio>

#include "core/backend.h"
#include "frame/lifecycle.h"
#include "backends/linux/linux_native.h"
#include "sim/virtual_board.h"

namespace halvexctl {

bool Attach(Context& ctx) {
    if (ctx.virtualBoard) {
        if (ctx.model.empty()) ctx.model = hx::sim::kDefaultModel;
        if (!hx::sim::SetUpBoard(ctx.model.c_str())) {
            Fail("unknown virtual board model '" + ctx.model + "' (see 'halvexctl models')");
            return false;
        }
        hx::UseBackend(hx::sim::VirtualBackend());
    } else {
        hx::UseBackend(hx::os::LinuxNativeBackend());
    }
    ctx.loaded = hx::ProcessAttach();
    return true;
}

void Detach(Context& ctx) {
    hx::ProcessDetach();
    ctx.loaded = false;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "halvexctl: %s\n", message.c_str());
    return 1;
}

}  // namespace halvexctl
