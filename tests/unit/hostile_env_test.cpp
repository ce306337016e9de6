// Another process cuts the machine's objects short or writes garbage into
// the library's shared data while this process and others use them. This
// process (on the shared machine, the owner of the MCU port) must go on with
// its board and its exports; a new process must load, use the link through
// the owner and unload within the time-outs (a probe under `timeout`).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/shm.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "halvex32.h"
#include "halvex32_service.h"
#include "os/posix/machine_names.h"
#include "process_util.h"

namespace hx::test {
namespace {

namespace svc = hx::service;

constexpr char kModel[] = "Trelo-11";
constexpr int kGarbage = 0xA5;
constexpr off_t kRecordIdAt = 4;  // the segment's id in a named object (os/posix/shared_segment_posix.cpp)
constexpr unsigned kLine = 5;

struct Hostile {
    const char* suffix;
    bool truncate;  // else garbage over all that the object names
};
constexpr Hostile kActs[] = {{".board", true}, {".link", true}, {".shared", true}, {".link", false}, {".shared", false}};

// By a child, as by any other process of the user; 0 when it was done.
int Act(const Hostile& h) {
    char name[160];
    if (!os::MachineObjectName(kModel, std::getenv("HALVEX_VIRTUAL_BOARD"), h.suffix, name, sizeof name)) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = shm_open(name, O_RDWR, 0);
        int id = -1;
        shmid_ds ds{};
        if (fd < 0 || h.truncate) _exit(fd < 0 || ftruncate(fd, 0) != 0);
        if (pread(fd, &id, sizeof id, kRecordIdAt) != sizeof id || shmctl(id, IPC_STAT, &ds) != 0) _exit(2);
        void* at = shmat(id, nullptr, 0);
        if (at == reinterpret_cast<void*>(-1)) _exit(3);
        std::memset(at, kGarbage, ds.shm_segsz);
        _exit(0);
    }
    int status = -1;
    waitpid(pid, &status, 0);
    return status;
}

TEST(HostileEnvironment, ObjectsCutShortOrOverwrittenCrashAndHangNobody) {
    for (const Hostile& h : kActs) {
        SCOPED_TRACE(std::string(h.suffix) + (h.truncate ? " truncated" : " garbage"));
        ASSERT_EQ(svc::LoadOnSharedVirtualBoard(kModel), svc::Load::Open);
        ASSERT_TRUE(InitDIO());
        DIReadPort();  // this process holds the MCU port and serves the others
        ASSERT_EQ(Act(h), 0);
        ASSERT_TRUE(svc::SetBoardInput(kLine, true));
        EXPECT_EQ(DIReadPort(), 1u << kLine);
        const ProcessResult probe = RunCommand("HALVEX_VIRTUAL_MODEL=" + std::string(kModel) + " timeout 60 " +
                                               HX_LOAD_PROBE + " " + HX_VIRTUAL_LIBRARY);
        EXPECT_EQ(probe.exitCode, 0) << probe.err;
        EXPECT_NE(probe.out.find("threads_left=0\n"), std::string::npos) << probe.out;
        EXPECT_EQ(DIReadPort(), 1u << kLine);
        svc::Unload();
        svc::DestroySharedVirtualBoard(kModel);
    }
}

}  // namespace
}  // namespace hx::test
