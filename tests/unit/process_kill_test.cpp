// Processes that share the MCU link killed with SIGKILL at random points of
// the sharing protocol, round after round: the owner of the port (serving
// the others) or a client. The survivors must recover (a call started after
// the kill succeeds) and a process must hold the port again; the killed one
// is replaced by a fresh process. This process runs the board's firmware.
//
// Long form (HX_REPORT_DIR optional):
//   HX_KILL_ROUNDS=500 HX_REPORT_DIR=out build/default/tests/unit/hx_unit_tests --gtest_filter='ProcessKill*'
// writes out/R4.json (recovery times per round, kills, findings).
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <vector>

#include "mcu/shared_link.h"
#include "mcu_fixture.h"
#include "os/posix/wait_posix.h"

namespace hx::test {
namespace {

using os::i64;
constexpr int kProcesses = 3;
constexpr int kShortRounds = 6;
// From the kill: a client waiting for a killed owner sees the port come free
// and takes it, so its call and the next ones succeed well within this.
constexpr i64 kRecoveryGoalMs = 1000;
constexpr i64 kCallBoundMs = 2 * (kSharedReplyTimeoutMs + 10);  // a client's turn behind one that times out, and its own
constexpr i64 kHangGuardMs = 10000;
constexpr u32 kExpected = 0xFFFFEDCB;  // the inputs word of kActive
constexpr u16 kActive = 0x1234;

struct Slot {
    std::atomic<pid_t> pid;
    std::atomic<u32> owner;           // this process serves the others
    std::atomic<i64> recoveredAtMs;   // the end of its first good read that started after the last kill
    std::atomic<i64> waitedUntilMs;   // the end of a call in flight at the kill
    std::atomic<i64> longestCallMs;
    std::atomic<u32> badReads;        // failed or wrong, not in flight at a kill
};
struct Area {
    std::atomic<i64> killAtMs;
    Slot slot[kProcesses];
};

i64 Now() { return os::MonotonicMs(); }

void Worker(Area& a, Slot& me) {
    for (u32 n = 0;; ++n) {
        const i64 kill = a.killAtMs.load(), start = Now();
        u32 word = kAllInputsRequest;
        const bool ok = ReadInputsShared(&word) && word == kExpected;
        if (n % 2) WriteOutputsShared(0x00010000u | (n & 1u));
        const i64 end = Now();
        me.owner.store(os::HandleIsOpen(sharedLink.serverThread.load()));
        me.longestCallMs.store(std::max(me.longestCallMs.load(), end - start));
        if (ok && start >= kill && me.recoveredAtMs.load() < kill) me.recoveredAtMs.store(end);
        if (start < kill) me.waitedUntilMs.store(end);
        if (!ok && start >= kill) me.badReads.fetch_add(1);
    }
}

class ProcessKill : public McuLinkTest {
protected:
    void SetUp() override {
        McuLinkTest::SetUp();
        void* m = mmap(nullptr, sizeof(Area), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        ASSERT_NE(m, MAP_FAILED);
        area_ = new (m) Area{};
    }
    void TearDown() override {
        for (Slot& s : area_->slot) End(s);
        munmap(area_, sizeof(Area));
        McuLinkTest::TearDown();
    }
    void Spawn(Slot& s) {
        s.recoveredAtMs = s.waitedUntilMs = s.longestCallMs = 0;
        s.owner = s.badReads = 0;
        const pid_t pid = fork();
        if (pid == 0) Worker(*area_, s);
        s.pid = pid;
    }
    static void End(Slot& s) {
        if (s.pid > 0) kill(s.pid, SIGKILL), waitpid(s.pid, nullptr, 0);
        s.pid = 0;
        s.owner = 0;
    }
    // Waits until every live process read well after the kill; the recovery
    // time of the round, from the kill or from the end of a process's call in
    // flight at the kill (a client that waited for a killed owner waits out
    // its reply time-out first), or -1 on the hang guard. `fromKill`: the
    // worst time from the kill itself.
    i64 Recovery(i64 killAt, i64& fromKill) {
        for (i64 until = killAt + kHangGuardMs; Now() < until; usleep(1000)) {
            i64 worst = 0;
            for (Slot& s : area_->slot) {
                if (s.pid.load() <= 0) continue;  // the one killed
                const i64 at = s.recoveredAtMs.load();
                worst = at < killAt ? -1 : worst < 0 ? worst : std::max(worst, at - std::max(killAt, s.waitedUntilMs.load()));
                if (at >= killAt) fromKill = std::max(fromKill, at - killAt);
            }
            if (worst >= 0) return worst;
        }
        return -1;
    }
    Area* area_ = nullptr;
};

TEST_F(ProcessKill, TheOthersRecoverAndTheNextProcessTakesThePort) {
#if defined(__SANITIZE_THREAD__)
    // Forked children of a threaded process run many times slower under
    // ThreadSanitizer, past the 1 s this test holds them to; the races of
    // the sharing are covered by the soak's race runs.
    GTEST_SKIP() << "recovery times are not measurable under ThreadSanitizer";
#endif
    ASSERT_TRUE(sim::SetUpBoard("Trelo-11"));
    ASSERT_TRUE(Load());
    ASSERT_TRUE(sim::StartBoardLinks());
    Edit([](sim::SerialLinkState& s) { s.mcu.diActive = kActive; });
    const char* long_rounds = std::getenv("HX_KILL_ROUNDS");
    const int rounds = long_rounds ? std::atoi(long_rounds) : kShortRounds;
    for (Slot& s : area_->slot) Spawn(s);
    std::mt19937 random(20250715);
    std::vector<i64> recovery;
    int ownerKills = 0, findings = 0;
    i64 longest = 0, worstFromKill = 0;
    for (int round = 0; round < rounds; ++round) {
        usleep(1000 * (5 + random() % 60));
        const auto owner = std::find_if(std::begin(area_->slot), std::end(area_->slot), [](Slot& s) { return s.owner.load(); });
        Slot& victim = round % 2 == 0 && owner != std::end(area_->slot) ? *owner : area_->slot[random() % kProcesses];
        ownerKills += static_cast<int>(victim.owner.load());
        const i64 killAt = Now();
        area_->killAtMs.store(killAt);
        End(victim);
        i64 fromKill = 0;
        const i64 r = Recovery(killAt, fromKill);
        worstFromKill = std::max(worstFromKill, fromKill);
        recovery.push_back(r);
        for (Slot& s : area_->slot) longest = std::max(longest, s.longestCallMs.load());
        const auto owners = std::count_if(std::begin(area_->slot), std::end(area_->slot), [](Slot& s) { return s.owner.load(); });
        const bool bad = r < 0 || fromKill > kRecoveryGoalMs || owners != 1 || longest > kCallBoundMs;
        findings += bad;
        EXPECT_FALSE(bad) << "round " << round << ": recovery " << r << " ms, owners " << owners << ", longest call "
                          << longest << " ms";
        Spawn(victim);
    }
    for (Slot& s : area_->slot) findings += s.badReads.load() != 0;
    std::sort(recovery.begin(), recovery.end());
    const i64 median = recovery.empty() ? 0 : recovery[recovery.size() / 2];
    const i64 worst = recovery.empty() ? 0 : recovery.back();
    std::cout << "R4: " << rounds << " rounds, " << ownerKills << " owner kills, recovery median " << median << " ms, max "
              << worst << " ms (" << worstFromKill << " ms from the kill), longest call " << longest << " ms\n";
    if (const char* dir = std::getenv("HX_REPORT_DIR")) {
        std::filesystem::create_directories(dir);
        std::ofstream(std::string(dir) + "/R4.json")
            << R"({"id": "R4", "title": "Processes sharing the MCU link killed", "family": "hardening", "command": )"
            << R"("HX_KILL_ROUNDS=)" << rounds << R"( build/default/tests/unit/hx_unit_tests --gtest_filter='ProcessKill*'", )"
            << R"("findings": )" << findings << R"(, "rows": [{"measure": "rounds", "value": )" << rounds
            << R"(, "unit": "rounds"}, {"measure": "owner kills", "value": )" << ownerKills
            << R"(, "unit": "kills"}, {"measure": "client kills", "value": )" << rounds - ownerKills
            << R"(, "unit": "kills"}, {"measure": "median recovery after a call in flight", "value": )" << median
            << R"(, "unit": "ms", "bound": )" << kRecoveryGoalMs
            << R"(}, {"measure": "max recovery after a call in flight", "value": )" << worst
            << R"(, "unit": "ms", "bound": )" << kRecoveryGoalMs
            << R"(}, {"measure": "max recovery from the kill", "value": )" << worstFromKill
            << R"(, "unit": "ms", "goal": "<= 1000 ms", "ok": )" << (worstFromKill <= kRecoveryGoalMs ? "true" : "false")
            << R"(}, {"measure": "longest call", "value": )" << longest << R"(, "unit": "ms", "bound": )" << kCallBoundMs
            << "}]}\n";
    }
}

}  // namespace
}  // namespace hx::test
