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

int Reap(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : (WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1);
}

// A child that runs `start` (a nonzero result is its exit code), tells it is
// ready, holds on until it is released or killed, and then exits with `end()`.
class Holder {
public:
    template <typename Start, typename End>
    Holder(Start start, End end) {
        int ready[2], hold[2];
        if (pipe(ready) != 0 || pipe(hold) != 0) return;
        char c = 1;
        if ((pid_ = fork()) == 0) {
            close(hold[1]);
            if (const int code = start()) _exit(code);
            if (write(ready[1], &c, 1) != 1) _exit(11);
            while (read(hold[0], &c, 1) > 0) {
            }
            _exit(end());
        }
        close(hold[0]);
        close(ready[1]);
        hold_ = hold[1];
        ready_ = read(ready[0], &c, 1) == 1;
        close(ready[0]);
    }
    ~Holder() { close(hold_); }
    int Release() { return close(hold_), hold_ = -1, Reap(pid_); }
    int Kill() { return kill(pid_, SIGKILL), Reap(pid_); }
    bool ready_ = false;

private:
    pid_t pid_ = -1;
    int hold_ = -1;
};

// Attaches and stores `value` in dioSharedFlag.
auto Store(u32 value) {
    return [value] {
        SharedWords* w = os::AttachSharedWords();
        return w ? (w->dioSharedFlag.store(value), 0) : 10;
    };
}

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
    std::string name_;
};

TEST_F(SharedWordsTest, ProcessesSeeTheSameWordsAKilledOneLeavesThemAndTheyStartAtZeroOnceNoneHasThem) {
    Holder a(Store(0x33), [] { return 0; });
    Holder b(Store(0x44), [] { return os::AttachSharedWords()->wdtInitDone.load() == 0x55 ? 0 : 12; });
    ASSERT_TRUE(a.ready_ && b.ready_);
    EXPECT_EQ(a.Kill(), 128 + SIGKILL);
    Holder reader(
        [] {
            SharedWords* w = os::AttachSharedWords();
            return w && w->dioSharedFlag.load() == 0x44 ? (w->wdtInitDone.store(0x55), 0) : 13;
        },
        [] { return 0; });
    EXPECT_EQ(reader.Release(), 0) << "B still has the library loaded: the words stay";
    EXPECT_EQ(b.Release(), 0) << "B sees the reader's word";

    SharedWords* w = os::AttachSharedWords();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->dioSharedFlag.load(), 0u) << "nobody had it loaded: zero again";
    EXPECT_EQ(w->wdtInitDone.load(), 0u);
}

TEST_F(SharedWordsTest, InitOfOneProcessIsSeenByTheInitDioDefaultOfAnother) {
    // A Trelo-13 process sets DioSharedFlag at load; a process without a
    // platform clears it through InitDIO's default; the first sees 0.
    Holder trelo13(
        [] {
            sim::SetUpBoard("Trelo-13");
            UseBackend(sim::VirtualBackend());
            return ProcessAttach() && Shared().dioSharedFlag.load() == 1 ? 0 : 20;
        },
        [] {
            const u32 seen = Shared().dioSharedFlag.load();
            ProcessDetach();
            return seen == 0 ? 0 : 22;
        });
    ASSERT_TRUE(trelo13.ready_);
    sim::SetUpBoard("Trelo-01");
    const char text[] = "no model here";
    sim::SetSmbiosBlob(reinterpret_cast<const u8*>(text), sizeof text - 1);
    UseBackend(sim::VirtualBackend());
    ASSERT_TRUE(ProcessAttach());
    EXPECT_EQ(Shared().dioSharedFlag.load(), 1u);
    EXPECT_EQ(InitDIO(), 0);
    EXPECT_EQ(trelo13.Release(), 0);
    ProcessDetach();
}

}  // namespace
}  // namespace hx::test
