// The four shared words: one block for every process that has the library
// loaded, zero again once none has (also when a process was killed).
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "os/os.h"
#include "os/posix/shared_words_posix.h"
#include "virtual_fixture.h"

namespace hx::test {
namespace {

class SharedWordsTest : public ::testing::Test {
protected:
    void SetUp() override {
        name_ = PrivateSharedName("-words");
        os::SetSharedWordsName(name_.c_str());
    }
    void TearDown() override {
        os::DetachSharedWords();
        shm_unlink(name_.c_str());
    }

    // A child that attaches, stores `value` in dioSharedFlag, reports "ready"
    // on `ready`, and then waits until `hold` is closed before it checks that
    // wdtInitDone holds `expectAtEnd`.
    static pid_t StartHolder(u32 value, int ready, const int hold[2], u32 expectAtEnd) {
        const pid_t pid = fork();
        if (pid != 0) return pid;
        close(hold[1]);
        SharedWords* w = os::AttachSharedWords();
        if (!w) _exit(10);
        w->dioSharedFlag.store(value);
        const char one = 1;
        if (write(ready, &one, 1) != 1) _exit(11);
        char c;
        while (read(hold[0], &c, 1) > 0) {
        }
        _exit(w->wdtInitDone.load() == expectAtEnd ? 0 : 12);
    }

    // A child that attaches and exits with 0 when dioSharedFlag == expected,
    // after storing `store` in wdtInitDone.
    static int RunReader(u32 expected, u32 store) {
        const pid_t pid = fork();
        if (pid == 0) {
            SharedWords* w = os::AttachSharedWords();
            if (!w) _exit(10);
            w->wdtInitDone.store(store);
            _exit(w->dioSharedFlag.load() == expected ? 0 : 13);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    static void WaitReady(int fd) {
        char c = 0;
        ASSERT_EQ(read(fd, &c, 1), 1);
    }

    static int Reap(pid_t pid) {
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : (WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1);
    }

    std::string name_;
};

TEST_F(SharedWordsTest, TwoProcessesSeeTheSameWordsAndTheyStartAtZeroAfterBothExit) {
    int ready[2], hold[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(hold), 0);
    const pid_t holder = StartHolder(0x11, ready[1], hold, 0x22);
    close(hold[0]);
    WaitReady(ready[0]);
    EXPECT_EQ(RunReader(0x11, 0x22), 0) << "the second process sees the first one's word";
    close(hold[1]);
    EXPECT_EQ(Reap(holder), 0) << "the first process sees the second one's word";
    close(ready[0]);
    close(ready[1]);

    SharedWords* w = os::AttachSharedWords();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->dioSharedFlag.load(), 0u);
    EXPECT_EQ(w->wdtInitDone.load(), 0u);
}

TEST_F(SharedWordsTest, WordsSurviveAKilledProcessWhileAnotherHoldsThemAndResetAfterwards) {
    int readyA[2], holdA[2], readyB[2], holdB[2];
    ASSERT_EQ(pipe(readyA), 0);
    ASSERT_EQ(pipe(holdA), 0);
    ASSERT_EQ(pipe(readyB), 0);
    ASSERT_EQ(pipe(holdB), 0);
    const pid_t a = StartHolder(0x33, readyA[1], holdA, 0);
    WaitReady(readyA[0]);
    const pid_t b = StartHolder(0x44, readyB[1], holdB, 0x55);
    WaitReady(readyB[0]);

    kill(a, SIGKILL);
    EXPECT_EQ(Reap(a), 128 + SIGKILL);
    EXPECT_EQ(RunReader(0x44, 0x55), 0) << "B still has the library loaded: the words stay";

    kill(b, SIGKILL);
    EXPECT_EQ(Reap(b), 128 + SIGKILL);
    for (int fd : {readyA[0], readyA[1], holdA[0], holdA[1], readyB[0], readyB[1], holdB[0], holdB[1]}) close(fd);

    EXPECT_EQ(RunReader(0, 0), 0) << "nobody had it loaded: zero again after two killed processes";
}

TEST_F(SharedWordsTest, InitOfOneProcessIsSeenByTheInitDioDefaultOfAnother) {
    // A Trelo-13 process sets DioSharedFlag at load; a process without a
    // platform clears it through InitDIO's default; the first sees 0.
    int ready[2], hold[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(hold), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        close(hold[1]);
        sim::SetUpBoard("Trelo-13");
        UseBackend(sim::VirtualBackend());
        if (!ProcessAttach() || Shared().dioSharedFlag.load() != 1) _exit(20);
        const char one = 1;
        if (write(ready[1], &one, 1) != 1) _exit(21);
        char c;
        while (read(hold[0], &c, 1) > 0) {
        }
        const u32 seen = Shared().dioSharedFlag.load();
        ProcessDetach();
        _exit(seen == 0 ? 0 : 22);
    }
    close(hold[0]);
    WaitReady(ready[0]);
    sim::SetUpBoard("Trelo-01");
    const char text[] = "no model here";
    sim::SetSmbiosBlob(reinterpret_cast<const u8*>(text), sizeof text - 1);
    UseBackend(sim::VirtualBackend());
    ASSERT_TRUE(ProcessAttach());
    EXPECT_EQ(Shared().dioSharedFlag.load(), 1u);
    EXPECT_EQ(InitDIO(), 0);
    close(hold[1]);
    EXPECT_EQ(Reap(pid), 0);
    ProcessDetach();
    close(ready[0]);
    close(ready[1]);
}

}  // namespace
}  // namespace hx::test
