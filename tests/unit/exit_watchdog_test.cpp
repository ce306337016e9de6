// The watchdog when a process that armed it ends: the library's unload
// disarms it for every normal end (return from main, exit, dlclose); a
// process killed leaves it armed and the machine resets when it expires.
// A probe on this process's shared machine arms it; this process looks at
// the chips and runs the (manual) board clock past the time-out.
#include <gtest/gtest.h>

#include <string>

#include "halvex32_service.h"
#include "process_util.h"

namespace hx::test {
namespace {

namespace svc = hx::service;

constexpr uint64_t kPastTimeoutMs = 20000;  // 5 s plus each family's margin, with room

struct Ending {
    const char* how;
    bool staysArmed;
};
constexpr Ending kEndings[] = {{"return", false}, {"exit", false}, {"dlclose", false}, {"kill", true}};
// One model per family W1..W4.
constexpr const char* kModels[] = {"Trelo-01", "Trelo-04", "Trelo-11", "Trelo-16"};

bool Armed(const svc::BoardStatus& s) { return s.superIoCounting || (s.tco && s.tcoRunning); }

TEST(WatchdogAtExit, DisarmedByEveryNormalEndAndLeftArmedByAKill) {
    for (const char* model : kModels) {
        for (const Ending& e : kEndings) {
            SCOPED_TRACE(std::string(model) + " " + e.how);
            ASSERT_EQ(svc::LoadOnSharedVirtualBoard(model), svc::Load::Open);
            const uint32_t resets = svc::GetBoardStatus().resets;
            const ProcessResult probe = RunCommand("HALVEX_VIRTUAL_MODEL=" + std::string(model) + " " + HX_EXIT_PROBE +
                                                   " " + HX_VIRTUAL_LIBRARY + " " + e.how);
            EXPECT_EQ(probe.out, "armed=1 handlers=0\n") << probe.err;
            const svc::BoardStatus st = svc::GetBoardStatus();
            EXPECT_EQ(Armed(st), e.staysArmed) << st.superIoMsLeft << " ms left at " << st.nowMs;
            svc::AdvanceBoardClock(kPastTimeoutMs);
            EXPECT_EQ(svc::GetBoardStatus().resets - resets, e.staysArmed ? 1u : 0u);
            svc::Unload();
            svc::DestroySharedVirtualBoard(model);
        }
    }
}

}  // namespace
}  // namespace hx::test
