#include "tools/halvexctl/context.h"

#include <cstdio>

namespace halvexctl {

namespace svc = hx::service;

bool Attach(Context& ctx) {
    const svc::Load load = ctx.virtualBoard ? svc::LoadOnVirtualBoard(ctx.model.c_str()) : svc::LoadOnHardware();
    if (load == svc::Load::UnknownModel) {
        Fail("unknown virtual board model '" + ctx.model + "' (see 'halvexctl models')");
        return false;
    }
    ctx.loaded = load == svc::Load::Open;
    ctx.info = svc::GetInfo();
    if (ctx.virtualBoard) ctx.model = ctx.info.board;
    return true;
}

void Detach(Context& ctx) {
    svc::Unload();
    ctx.loaded = false;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "halvexctl: %s\n", message.c_str());
    return 1;
}

int Require(const Context& ctx, bool feature, const std::string& what) {
    if (!ctx.loaded) return Fail("hardware access is not open");
    if (!*ctx.info.model) return Fail("no supported model detected");
    if (!feature) return Fail(std::string(ctx.info.model) + " has no " + what);
    return 0;
}

int RequireGroup(const Context& ctx, svc::Group group, const std::string& what) {
    return Require(ctx, *ctx.info.groups[group].family != '\0', what);
}

}  // namespace halvexctl
