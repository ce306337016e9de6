// POSIX implementation of the OS seam primitives of the library frame.
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <syslog.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "os/os.h"
#include "os/posix/shared_words_posix.h"
#include "os/posix/wait_posix.h"

namespace hx::os {
namespace {

pthread_mutex_t g_libraryLock;
bool g_libraryLockCreated = false;

}  // namespace

void CloseHandle(Handle h) {
    if (!HandleIsOpen(h)) return;
    const int fd = static_cast<int>(h - 1);
    // A serial port opened exclusively gives the exclusion up, or the device
    // would stay barred while another descriptor of it is open.
    if (isatty(fd)) (void)ioctl(fd, TIOCNXCL);
    ::close(fd);
}

void LibraryLockCreate() {
    if (g_libraryLockCreated) return;
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&g_libraryLock, &attr);
    pthread_mutexattr_destroy(&attr);
    g_libraryLockCreated = true;
}

void LibraryLockDelete() {
    if (!g_libraryLockCreated) return;
    pthread_mutex_destroy(&g_libraryLock);
    g_libraryLockCreated = false;
}

void LibraryLockEnter() {
    if (g_libraryLockCreated) pthread_mutex_lock(&g_libraryLock);
}

void LibraryLockLeave() {
    if (g_libraryLockCreated) pthread_mutex_unlock(&g_libraryLock);
}

void Diagnostic(const char* text) {
    std::fprintf(stderr, "halvex32: %s\n", text);
    std::fflush(stderr);
}

void SleepMs(u32 ms) {
    // Sleep(0) gives up the rest of the time slice; a zero nanosleep would
    // instead wait out the timer slack (about 50 us).
    if (ms == 0) {
        sched_yield();
        return;
    }
    timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>((ms % 1000) * 1000000L)};
    while (nanosleep(&ts, &ts) == -1 && errno == EINTR) {
    }
}

u64 NowMs() { return static_cast<u64>(MonotonicMs()); }

}  // namespace hx::os
