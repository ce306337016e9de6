// What load and unload leave behind for the rest of the process and for the
// other processes that have the library loaded.
#include <sys/wait.h>
#include <unistd.h>

#include "halvex32.h"
#include "mcu/link.h"
#include "virtual_fixture.h"

namespace hx::test {
namespace {

using AfterUnload = VirtualBoardTest;

// A process whose library refused to load (no hardware access) answers
// InitDIO's default by clearing DioSharedFlag; that must stay its own word.
TEST_F(AfterUnload, ARefusedLoadNeverTouchesTheWordsOfTheLoadedProcesses) {
    SharedWords* shared = os::AttachSharedWords();
    ASSERT_NE(shared, nullptr);
    shared->dioSharedFlag.store(1);
    const pid_t pid = fork();
    if (pid == 0) {
        sim::SetUpBoard("Trelo-01");
        sim::TheBoardState().faults.openFails = true;
        UseBackend(sim::VirtualBackend());
        if (ProcessAttach()) _exit(20);
        InitDIO();
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(shared->dioSharedFlag.load(), 1u);
    os::DetachSharedWords();
}

// A receive thread that missed its stop may still signal the answer event,
// so unload and the next load keep it open and the same.
TEST_F(AfterUnload, TheAnswerEventLivesOnAcrossUnloadAndReload) {
    LoadModel("Trelo-11");
    const os::Handle answer = os::EventCreate();
    ASSERT_TRUE(os::HandleIsOpen(answer));
    serialPortMcu.answerEvent.store(answer);
    Unload();
    EXPECT_TRUE(os::EventSet(answer));
    ASSERT_TRUE(Load());
    EXPECT_EQ(serialPortMcu.answerEvent.load(), answer);
}

}  // namespace
}  // namespace hx::test
